#pragma once

#include <filesystem>
#include <memory>
#include <string_view>

#include "usb_hub_source.h"

namespace vellmor::serial {

// The kernel's USB device list under <root>/bus/usb/devices, reported with the
// identifiers Windows gives the same devices, mass-storage devices last.
class SysfsUsbHubSource : public UsbHubSource {
 public:
  explicit SysfsUsbHubSource(std::filesystem::path root = "/sys");
  std::unique_ptr<UsbHubService> Bind(std::u16string_view moniker) override;

 private:
  std::filesystem::path m_root;
};

}  // namespace vellmor::serial
