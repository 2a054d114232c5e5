#pragma once

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

}  // namespace vellmor::serial
