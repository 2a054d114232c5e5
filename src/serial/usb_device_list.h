#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "device_id.h"

namespace vellmor::serial {

// One attribute file of a device, as read.
struct Attribute {
  enum class Status { kText, kMissing, kUnreadable };

  Status status = Status::kMissing;
  std::string text;
};

// Reads a file relative to the device list: "1-2/descriptors".
using AttributeReader = std::function<Attribute(const std::string& relative)>;

// One entry of the USB device list as the scan saw it.
struct SysfsUsbDevice {
  std::string name;  // "usb1", "1-2.3"
  DeviceId id;
  std::uint16_t vendor = 0;
  std::uint16_t product = 0;
  bool mass_storage = false;
  // A Win32_USBHub instance on Windows (in the USB setup class), and one that is or
  // holds a mass-storage function. A device whose descriptors cannot be read is listed.
  bool listed = true;
  bool storage = false;
  // A composite device's interface nodes in that class, delivered after it.
  std::vector<DeviceId> interface_ids;
  // The nodes that run the mass-storage driver: the device's own, or a composite
  // device's interface node.
  std::vector<DeviceId> storage_ids;
  // The identifier's instance was made up from the port, as Windows does without a usable serial.
  bool serial_made_up = false;
};

// The devices among the entry names, with their identifiers, in delivery order: devices
// without a mass-storage interface first, then by bus, then by port path number by number.
// Each device costs at most two reads, its descriptors and, when they name one, its serial.
std::vector<SysfsUsbDevice> ReadUsbDeviceList(std::vector<std::string> names,
                                              const AttributeReader& read);

}  // namespace vellmor::serial
