#pragma once

#include <chrono>
#include <cstdint>
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

// What a query gave: every object, or why it gave none. A list cut short counts as
// failed, never as the whole list.
struct WmiAnswer {
  enum class Status { kDone, kFailed, kTimedOut };
  Status status = Status::kDone;
  std::vector<WmiRow> rows;
  std::string error;       // kFailed and kTimedOut: what the service said, in words
  std::uint32_t code = 0;  // kFailed: the HRESULT
};

// The service's code for an object that is not there (WBEM_E_NOT_FOUND): a disk
// unplugged while its volumes are asked for.
inline constexpr std::uint32_t kWbemNotFound = 0x80041002;

using WmiDeadline = std::optional<std::chrono::steady_clock::time_point>;
// Runs a WQL query; with a deadline, the whole query ends by then (kTimedOut).
using WmiQuery = std::function<WmiAnswer(std::u16string_view wql, WmiDeadline deadline)>;

// The configuration manager's device tree: the USB device a device hangs below (the
// identifier Win32_USBHub gives it), and the product string the device reported.
struct UsbDeviceTree {
  std::function<std::optional<std::u16string>(std::u16string_view instance)> usb_parent;
  std::function<std::optional<std::u16string>(std::u16string_view usb_device)> product_name;
  // Where the device is plugged in: "Port_#0002.Hub_#0001".
  std::function<std::optional<std::u16string>(std::u16string_view usb_device)> location;
};

// How long the volume queries of one scan may take together: a dying stick's volumes
// can keep the service busy for minutes.
inline constexpr std::chrono::milliseconds kVolumeQueryBudget{2000};

// The query the hub list comes from: the read action's objects, in the same order.
inline constexpr std::u16string_view kHubListQuery = u"SELECT DeviceID FROM Win32_USBHub";

// The hub list's devices (kHubListQuery) with their disks (Win32_DiskDrive), a disk tied
// to its USB device through the device tree; with ScanDepth::kVolumes also their
// partitions (Win32_DiskDriveToDiskPartition) and logical disks
// (Win32_LogicalDiskToPartition), all of those under `volume_deadline`. A device whose
// volume queries run out of time keeps what the disk list knows and gets
// SerialNote::kMediaUnreadable. No value, and the reason in `error`, when any query
// fails or the hub or disk list times out.
std::optional<std::vector<UsbDevice>> AssembleWmiDrives(
    const WmiQuery& query, const UsbDeviceTree& tree, ScanDepth depth,
    std::chrono::steady_clock::time_point volume_deadline, std::string& error);

// An object path's key value, quoted for WQL: backslashes and quotes escaped.
std::u16string WqlQuoted(std::u16string_view value);

// The management service's own codes (WBEM_E_...) in words; no value for others.
std::optional<std::string_view> WbemErrorWords(std::uint32_t code);

}  // namespace vellmor::drives
