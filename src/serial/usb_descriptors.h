#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace vellmor::serial {

// Where a device of the kernel's USB device list sits: "usbN" is the root hub of
// bus N (no ports), "B-P.P…" a device behind ports P… of bus B.
struct DevicePosition {
  std::uint32_t bus = 0;
  std::vector<std::uint32_t> ports;
};

// No value for interfaces ("1-2:1.0") and every other name that is not a device's.
std::optional<DevicePosition> ParseDeviceName(std::string_view name);

// What the identifier and the delivery order need from a `descriptors` attribute.
struct DeviceDescriptor {
  std::uint16_t usb_version = 0;
  std::uint16_t vendor = 0;
  std::uint16_t product = 0;
  bool names_serial = false;
  bool mass_storage = false;
};

// The device descriptor, then the raw configurations; no value without a valid
// device descriptor.
std::optional<DeviceDescriptor> ParseDescriptors(std::string_view bytes);

}  // namespace vellmor::serial
