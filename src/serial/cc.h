#pragma once

#include <optional>
#include <vector>

#include "device_id.h"
#include "usb_hub_source.h"

namespace vellmor::serial {

// Binds, queries and applies the selection rule to every DeviceID in delivery
// order. Never fails: every failing step is absorbed and what was found so far
// is returned.
SerialValue CC(UsbHubSource& source);

// The identifiers the same query delivers, in order, with the same failure
// handling: a failed bind, query or start gives none; a failed fetch ends the list.
std::vector<DeviceId> CollectDeviceIds(UsbHubSource& source);

// The whole list, or no value when it could not be had whole: a failed bind, query or
// start, and also a failed fetch, since a list cut short must not pass for the whole
// (the drive list, check and the library). The window's read (CC) absorbs failures instead.
std::optional<std::vector<DeviceId>> ReadDeviceIds(UsbHubSource& source);

}  // namespace vellmor::serial
