#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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

// One entry of the USB device list as the scan saw it.
struct SysfsUsbDevice {
  std::string name;  // "usb1", "1-2.3"
  DeviceId id;
  std::uint16_t vendor = 0;
  std::uint16_t product = 0;
  bool mass_storage = false;
  // The identifier's instance was made up from the port, as Windows does without a usable serial.
  bool serial_made_up = false;
};

// Every device under <root>/bus/usb/devices in delivery order; no value when the
// list exists but cannot be read.
std::optional<std::vector<SysfsUsbDevice>> ScanSysfsUsbDevices(const std::filesystem::path& root);

}  // namespace vellmor::serial
