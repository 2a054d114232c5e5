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

// As CollectDeviceIds, but no value when the list could not be had at all (bind, query
// or start failed), for callers that tell that apart from no device.
std::optional<std::vector<DeviceId>> ReadDeviceIds(UsbHubSource& source);

}  // namespace vellmor::serial
