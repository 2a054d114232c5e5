#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "drives.h"
#include "serial/device_id.h"

namespace vellmor::drives {

// One object of a management query: each property read as text, numbers in decimal;
// a property without a value is absent.
using WmiRow = std::map<std::u16string, std::u16string>;
// Runs a WQL query; no value when it fails.
using WmiQuery = std::function<std::optional<std::vector<WmiRow>>(std::u16string_view wql)>;
// The configuration manager's device tree: the USB device a device hangs below (the
// identifier Win32_USBHub gives it), and the product string the device reported.
struct UsbDeviceTree {
  std::function<std::optional<std::u16string>(std::u16string_view instance)> usb_parent;
  std::function<std::optional<std::u16string>(std::u16string_view usb_device)> product_name;
  // Where the device is plugged in: "Port_#0002.Hub_#0001".
  std::function<std::optional<std::u16string>(std::u16string_view usb_device)> location;
};

// The hub list's devices with their disks (Win32_DiskDrive), partitions
// (Win32_DiskDriveToDiskPartition) and logical disks (Win32_LogicalDiskToPartition),
// a disk tied to its USB device through the device tree.
std::vector<UsbDevice> AssembleWmiDrives(const std::vector<serial::DeviceId>& hub_ids,
                                         const WmiQuery& query, const UsbDeviceTree& tree);

// An object path's key value, quoted for WQL: backslashes and quotes escaped.
std::u16string WqlQuoted(std::u16string_view value);

}  // namespace vellmor::drives
