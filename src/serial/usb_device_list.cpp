#include "usb_device_list.h"

#include <algorithm>
#include <optional>
#include <tuple>
#include <utility>

#include "usb_descriptors.h"
#include "usb_identifier.h"

namespace vellmor::serial {

namespace {

struct Device {
  SysfsUsbDevice found;
  DevicePosition position;
};

// Root hubs and other devices first, mass-storage devices last; within each group by
// bus, then by port path number by number, a hub before the devices behind it.
bool DeliveredBefore(const Device& a, const Device& b) {
  return std::tie(a.found.mass_storage, a.position.bus, a.position.ports, a.found.name) <
         std::tie(b.found.mass_storage, b.position.bus, b.position.ports, b.found.name);
}

DeviceId DeviceIdOf(const AttributeReader& read, const std::string& name,
                    const DeviceDescriptor& descriptor, const DevicePosition& position,
                    bool& made_up) {
  if (position.ports.empty()) {
    return WindowsUsbDeviceId(descriptor, position, std::nullopt);
  }
  // The kernel makes a serial attribute only for a device whose descriptor names one.
  const Attribute serial = descriptor.names_serial ? read(name + "/serial") : Attribute{};
  if (serial.status == Attribute::Status::kUnreadable) {
    return DeviceId::Unreadable();
  }
  const auto usable = serial.status == Attribute::Status::kText ? UsableSerial(serial.text)
                                                                : std::optional<std::string_view>();
  made_up = !usable;
  return WindowsUsbDeviceId(descriptor, position, usable);
}

}  // namespace

std::vector<SysfsUsbDevice> ReadUsbDeviceList(std::vector<std::string> names,
                                              const AttributeReader& read) {
  std::vector<Device> devices;
  // Interfaces ("1-2:1.0") and other entries fail by name, without a look at the disk.
  for (std::string& name : names) {
    auto position = ParseDeviceName(name);
    if (!position) {
      continue;
    }
    Device device;
    device.found.name = std::move(name);
    device.found.id = DeviceId::Unreadable();
    device.position = std::move(*position);
    SysfsUsbDevice& found = device.found;
    const Attribute raw = read(found.name + "/descriptors");
    const auto descriptor = raw.status == Attribute::Status::kText
                                ? ParseDescriptors(raw.text)
                                : std::optional<DeviceDescriptor>();
    if (descriptor) {
      // Root hubs stay in the first group, whatever their interfaces.
      found.mass_storage = descriptor->mass_storage && !device.position.ports.empty();
      found.vendor = descriptor->vendor;
      found.product = descriptor->product;
      found.id = DeviceIdOf(read, found.name, *descriptor, device.position, found.serial_made_up);
      const UsbClassMembership membership =
          UsbSetupClassMembership(*descriptor, device.position.ports.empty());
      found.listed = membership.listed;
      found.storage = membership.storage;
      for (const UsbInterface& interface : membership.listed_interfaces) {
        found.interface_ids.push_back(
            WindowsUsbInterfaceId(*descriptor, device.position, found.name, interface.number));
        if (interface.interface_class == kMassStorageClass) {
          found.storage_ids.push_back(found.interface_ids.back());
        }
      }
      if (membership.storage && !membership.composite) {
        found.storage_ids.push_back(found.id);
      }
    }
    devices.push_back(std::move(device));
  }
  std::sort(devices.begin(), devices.end(), DeliveredBefore);

  std::vector<SysfsUsbDevice> found;
  found.reserve(devices.size());
  for (Device& device : devices) {
    found.push_back(std::move(device.found));
  }
  return found;
}

}  // namespace vellmor::serial
