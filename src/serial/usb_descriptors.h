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
inline constexpr std::uint8_t kMassStorageClass = 0x08;

struct UsbInterface {
  std::uint8_t number = 0;
  std::uint8_t interface_class = 0;
};

struct DeviceDescriptor {
  std::uint16_t usb_version = 0;
  std::uint16_t vendor = 0;
  std::uint16_t product = 0;
  std::uint8_t device_class = 0;
  std::uint8_t device_subclass = 0;
  std::uint8_t device_protocol = 0;
  std::uint8_t configurations = 0;
  bool names_serial = false;
  // A mass-storage interface in any configuration.
  bool mass_storage = false;
  // The first configuration's interfaces in their first alternate setting.
  std::vector<UsbInterface> interfaces;
};

// The device descriptor, then the raw configurations; no value without a valid
// device descriptor.
std::optional<DeviceDescriptor> ParseDescriptors(std::string_view bytes);

// Where Windows files a device in its device manager: whether the device node is in
// the USB setup class (and so a Win32_USBHub instance), whether it is or holds a
// mass-storage function, and which interfaces of a composite device get device nodes
// of their own in that class (the "MI_xx" children).
struct UsbClassMembership {
  bool listed = false;
  bool storage = false;
  bool composite = false;
  std::vector<UsbInterface> listed_interfaces;
};

UsbClassMembership UsbSetupClassMembership(const DeviceDescriptor& descriptor, bool root_hub);

}  // namespace vellmor::serial
