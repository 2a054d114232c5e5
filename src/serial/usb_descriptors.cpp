#include "usb_descriptors.h"

#include <cstddef>

namespace vellmor::serial {

namespace {

// Keeps every number in a device name inside 32 bits.
constexpr std::size_t kMaxNumberDigits = 9;
constexpr std::size_t kDeviceDescriptorSize = 18;
constexpr std::uint8_t kDeviceDescriptorType = 1;
constexpr std::uint8_t kInterfaceDescriptorType = 4;
constexpr std::size_t kInterfaceDescriptorSize = 9;
constexpr std::uint8_t kConfigurationDescriptorType = 2;
constexpr std::uint8_t kPrinterClass = 0x07;
constexpr std::uint8_t kHubClass = 0x09;
constexpr std::uint8_t kMiscellaneousClass = 0xEF;

std::optional<std::uint32_t> ParseNumber(std::string_view digits) {
  if (digits.empty() || digits.size() > kMaxNumberDigits) {
    return std::nullopt;
  }
  std::uint32_t value = 0;
  for (const char c : digits) {
    if (c < '0' || c > '9') {
      return std::nullopt;
    }
    value = value * 10 + static_cast<std::uint32_t>(c - '0');
  }
  return value;
}

std::uint8_t ByteAt(std::string_view bytes, std::size_t offset) {
  return static_cast<std::uint8_t>(bytes[offset]);
}

// USB stores words little-endian, and the kernel passes them on as they came.
std::uint16_t WordAt(std::string_view bytes, std::size_t offset) {
  return static_cast<std::uint16_t>(ByteAt(bytes, offset) | (ByteAt(bytes, offset + 1) << 8U));
}

}  // namespace

std::optional<DevicePosition> ParseDeviceName(std::string_view name) {
  DevicePosition position;
  if (name.substr(0, 3) == "usb") {
    const auto bus = ParseNumber(name.substr(3));
    if (!bus) {
      return std::nullopt;
    }
    position.bus = *bus;
    return position;
  }

  const auto dash = name.find('-');
  if (dash == std::string_view::npos) {
    return std::nullopt;
  }
  const auto bus = ParseNumber(name.substr(0, dash));
  if (!bus) {
    return std::nullopt;
  }
  position.bus = *bus;
  std::string_view rest = name.substr(dash + 1);
  for (;;) {
    const auto dot = rest.find('.');
    const auto port = ParseNumber(rest.substr(0, dot));
    if (!port) {
      return std::nullopt;
    }
    position.ports.push_back(*port);
    if (dot == std::string_view::npos) {
      return position;
    }
    rest.remove_prefix(dot + 1);
  }
}

// The kernel cuts a configuration short at its first faulty descriptor but leaves the
// raw total length as the device gave it, so the configurations are walked as one run
// of descriptors up to the first that does not fit, and what came before it still counts.
std::optional<DeviceDescriptor> ParseDescriptors(std::string_view bytes) {
  if (bytes.size() < kDeviceDescriptorSize || ByteAt(bytes, 0) != kDeviceDescriptorSize ||
      ByteAt(bytes, 1) != kDeviceDescriptorType) {
    return std::nullopt;
  }
  DeviceDescriptor device;
  device.usb_version = WordAt(bytes, 2);
  device.device_class = ByteAt(bytes, 4);
  device.device_subclass = ByteAt(bytes, 5);
  device.device_protocol = ByteAt(bytes, 6);
  device.vendor = WordAt(bytes, 8);
  device.product = WordAt(bytes, 10);
  device.names_serial = ByteAt(bytes, 16) != 0;
  device.configurations = ByteAt(bytes, 17);
  int configuration = 0;
  for (std::size_t at = kDeviceDescriptorSize; bytes.size() - at >= 2;) {
    const std::size_t length = ByteAt(bytes, at);
    if (length < 2 || length > bytes.size() - at) {
      break;
    }
    const std::uint8_t type = ByteAt(bytes, at + 1);
    if (type == kConfigurationDescriptorType) {
      ++configuration;
    }
    // The kernel passes over interface descriptors shorter than the standard's.
    if (type == kInterfaceDescriptorType && length >= kInterfaceDescriptorSize) {
      const std::uint8_t interface_class = ByteAt(bytes, at + 5);
      device.mass_storage = device.mass_storage || interface_class == kMassStorageClass;
      if (configuration <= 1 && ByteAt(bytes, at + 3) == 0) {
        device.interfaces.push_back({ByteAt(bytes, at + 2), interface_class});
      }
    }
    at += length;
  }
  return device;
}

namespace {

// The classes whose device nodes Windows files in the USB setup class; every other
// function goes to its own class (HID, media, camera, Bluetooth...) or, without an
// inbox driver, to none that the query sees.
bool InUsbSetupClass(std::uint8_t function_class) {
  return function_class == kHubClass || function_class == kMassStorageClass ||
         function_class == kPrinterClass;
}

}  // namespace

// The generic parent takes a device whose class is left to its interfaces (or that
// groups them by association) with one configuration and several interfaces.
UsbClassMembership UsbSetupClassMembership(const DeviceDescriptor& descriptor, bool root_hub) {
  UsbClassMembership membership;
  if (root_hub) {
    membership.listed = true;
    return membership;
  }
  const bool by_interface =
      descriptor.device_class == 0 ||
      (descriptor.device_class == kMiscellaneousClass && descriptor.device_subclass == 0x02 &&
       descriptor.device_protocol == 0x01);
  if (by_interface && descriptor.configurations == 1 && descriptor.interfaces.size() > 1) {
    membership.listed = true;
    membership.composite = true;
    for (const UsbInterface& interface : descriptor.interfaces) {
      if (InUsbSetupClass(interface.interface_class)) {
        membership.listed_interfaces.push_back(interface);
        membership.storage = membership.storage || interface.interface_class == kMassStorageClass;
      }
    }
    return membership;
  }
  std::uint8_t function_class = descriptor.device_class;
  if (by_interface) {
    // Nothing to tell by: listed, as a device whose descriptors cannot be read is.
    if (descriptor.interfaces.empty()) {
      membership.listed = true;
      return membership;
    }
    function_class = descriptor.interfaces.front().interface_class;
  }
  membership.listed = InUsbSetupClass(function_class);
  membership.storage = function_class == kMassStorageClass;
  return membership;
}

}  // namespace vellmor::serial
