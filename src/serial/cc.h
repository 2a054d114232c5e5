#pragma once

#include <optional>
#include <vector>

#include "device_id.h"
#include "usb_hub_source.h"

namespace vellmor::serial {

// Binds, queries and takes the last DeviceID in delivery order that contains VID and
// names a USB mass-storage device. Never fails: every failing step is absorbed and
// what was found so far is returned.
SerialValue CC(UsbHubSource& source);

// The hub query's identifiers and, for each, whether it names a mass-storage device.
struct UsbHubListing {
  std::vector<DeviceId> ids;
  std::vector<bool> storage;
};

// As ReadDeviceIds, with the storage query on the same service when an identifier
// contains VID. A failed storage query leaves every entry not storage.
std::optional<UsbHubListing> ReadUsbHubListing(UsbHubSource& source);

// What check compares with licences: the hub query's identifiers, then those of every
// other USB device node (kUsbDeviceQuery), so that licences bound by the rule before the
// storage test still match. No value when the hub query cannot be had; the second query
// failing adds nothing.
std::optional<std::vector<DeviceId>> ReadCheckIds(UsbHubSource& source);

// The last piece of the identifier ChosenStorageIndex picks.
SerialValue SelectStorageSerial(const UsbHubListing& listing);

// The identifiers the same query delivers, in order, with the same failure
// handling: a failed bind, query or start gives none; a failed fetch ends the list.
std::vector<DeviceId> CollectDeviceIds(UsbHubSource& source);

// As CollectDeviceIds, but no value when the list could not be had at all (bind, query
// or start failed), for callers that tell that apart from no device.
std::optional<std::vector<DeviceId>> ReadDeviceIds(UsbHubSource& source);

}  // namespace vellmor::serial
