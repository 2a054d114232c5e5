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

// The hub query's identifiers with the storage query on the same service when an
// identifier contains VID; a failed fetch keeps what came before it, as the window's read
// always has. No value when bind, query or start failed. A failed storage query leaves
// every entry not storage.
std::optional<UsbHubListing> ReadUsbHubListing(UsbHubSource& source);

// What check compares with licences: the hub query's identifiers, then those of every
// other USB device node (kUsbDeviceQuery), so that licences bound by the rule before the
// storage test still match. No value when the hub query cannot be had whole; the second
// query failing adds nothing.
std::optional<std::vector<DeviceId>> ReadCheckIds(UsbHubSource& source);

// The last piece of the identifier ChosenStorageIndex picks.
SerialValue SelectStorageSerial(const UsbHubListing& listing);

// The identifiers the same query delivers, in order, with the same failure
// handling: a failed bind, query or start gives none; a failed fetch ends the list.
std::vector<DeviceId> CollectDeviceIds(UsbHubSource& source);

// The whole list, or no value when it could not be had whole: a failed bind, query or
// start, and also a failed fetch, since a list cut short must not pass for the whole
// (the drive list, check and the library). The window's read (CC) absorbs failures instead.
std::optional<std::vector<DeviceId>> ReadDeviceIds(UsbHubSource& source);

}  // namespace vellmor::serial
