#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vellmor::drives {

// Bytes a device or a volume gave (a label, a model, a mount path): UTF-8 as it is,
// otherwise code page 936, as Chinese Windows writes FAT labels; a byte that is neither
// stays visible as \xNN. No value for no bytes or none at all.
std::optional<std::u16string> DeviceText(const std::optional<std::string>& bytes);

// Text for a terminal or a CSV cell, in UTF-8: C0 controls, DEL and C1 controls as
// \xNN, as lsblk writes them, so a device cannot move the cursor or break a line.
std::string ShownText(std::u16string_view text);

// One CSV cell (RFC 4180): controls as ShownText writes them, a leading ' before what a
// spreadsheet would take for a formula (= + - @), quoted when it holds a comma, a
// quote or a line break.
std::string CsvCell(std::u16string_view text);

// A cell holding a list: items joined with ";", each item's "\" and ";" escaped with
// "\", so that every item, an empty one too, comes back as it was. No item gives the
// empty cell, a single empty item a lone "\".
std::string CsvListCell(const std::vector<std::u16string>& items);

// The cells joined with commas, ended with CRLF.
std::string CsvLine(const std::vector<std::string>& cells);

}  // namespace vellmor::drives
