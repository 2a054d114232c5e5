#include "usb_hub_source.h"

#include "sysfs_usb_hub_source.h"

namespace vellmor::serial {

std::unique_ptr<UsbHubSource> MakeSystemUsbHubSource() {
  return std::make_unique<SysfsUsbHubSource>("/sys");
}

}  // namespace vellmor::serial
