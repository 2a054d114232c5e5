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

}  // namespace vellmor::serial
