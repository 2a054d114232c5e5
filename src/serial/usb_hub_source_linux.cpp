#include "usb_hub_source.h"

#include "sysfs_usb_hub_source.h"

namespace vellmor::serial {

std::unique_ptr<UsbHubSource> MakeSystemUsbHubSource() {
  return std::make_unique<SysfsUsbHubSource>("/sys");
}

std::unique_ptr<UsbHubSource> MakeSysfsUsbHubSource(const std::filesystem::path& root) {
  return std::make_unique<SysfsUsbHubSource>(root);
}

}  // namespace vellmor::serial
