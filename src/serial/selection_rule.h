#pragma once

#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

#include "device_id.h"

namespace vellmor::serial {

// Case-sensitive "*VID*" match; the identifier's own characters are never wildcards.
bool MatchesVidPattern(std::u16string_view identifier);

// The text after the last backslash, or the whole identifier without one.
std::u16string_view LastPiece(std::u16string_view identifier);

// The identifier the serial is taken from: the last one read as text that contains
// VID. No value when none does.
std::optional<std::size_t> ChosenIndex(const std::vector<DeviceId>& ids);

// The last piece of the chosen identifier; no value when none is chosen.
SerialValue SelectSerial(const std::vector<DeviceId>& ids);

// For each identifier, whether it names a USB mass-storage device, given the nodes that
// run a mass-storage driver: such a node itself, or, for the interface node
// "USB\VID_v&PID_p&MI_nn\…" of a composite device, the device "USB\VID_v&PID_p\…" that
// carries the serial. Letters compare without case, as Windows compares identifiers.
std::vector<bool> StorageEntries(const std::vector<DeviceId>& ids,
                                 const std::vector<DeviceId>& storage_nodes);

// As ChosenIndex, among the identifiers that name a mass-storage device.
std::optional<std::size_t> ChosenStorageIndex(const std::vector<DeviceId>& ids,
                                              const std::vector<bool>& storage);

}  // namespace vellmor::serial
