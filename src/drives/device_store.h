#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "stick_history.h"

namespace vellmor::drives {

// One device instance as Windows' device store keeps it, plugged in now or not.
struct StoreDevice {
  std::u16string instance_id;  // "USB\VID_0781&PID_5567\4C53…", "USBSTOR\DISK&VEN_…\4C53…&0"
  std::optional<std::u16string> parent_id;     // where the store still knows it
  std::optional<std::u16string> service;       // "USBSTOR" for a mass-storage function
  std::optional<std::u16string> product_name;  // as the device reported it
  std::optional<std::u16string> location;      // "Port_#0002.Hub_#0001"
  std::optional<std::uint64_t> first_install_usec;
  std::optional<std::uint64_t> last_arrival_usec;
  std::optional<std::uint64_t> last_removal_usec;
};

// A FILETIME's 100-nanosecond ticks since 1601 as microseconds since the epoch; no value
// before 1970, or for 0, which the system writes for a time it does not know.
std::optional<std::uint64_t> FileTimeToUnixUsec(std::uint64_t ticks);

// Adds to `history` the sticks among the store's devices: a USB device with a disk below
// it, from a USBSTOR instance whose parent it is or whose serial it carries, or driven by
// USBSTOR itself. With `since_usec`, only the dates from then on count, and a stick the
// store keeps no date for is left out.
void AddStoreDevices(StickHistory& history, const std::vector<StoreDevice>& devices,
                     std::optional<std::uint64_t> since_usec);

}  // namespace vellmor::drives
