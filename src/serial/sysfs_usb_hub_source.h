#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "usb_device_list.h"
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

// Every device under <root>/bus/usb/devices in delivery order; no value when the
// list exists but cannot be read.
std::optional<std::vector<SysfsUsbDevice>> ScanSysfsUsbDevices(const std::filesystem::path& root);

}  // namespace vellmor::serial
