#include "drive_text.h"

#include <array>
#include <cstddef>
#include <cstdint>

#include "base/hex_digits.h"
#include "base/utf.h"

#if !defined(_WIN32)
#include "digest/code_page_936_units.h"
#endif

namespace vellmor::drives {

namespace {

void AppendByteEscape(std::u16string& text, unsigned byte) {
  text += u"\\x";
  text += static_cast<char16_t>(LowerHexDigit(byte >> 4U));
  text += static_cast<char16_t>(LowerHexDigit(byte));
}

bool IsControl(char16_t unit) { return unit < 0x20 || (unit >= 0x7F && unit <= 0x9F); }

// Control characters as \xNN; the rest as UTF-8.
void AppendShown(std::u16string_view text, std::u16string& shown) {
  for (const char16_t unit : text) {
    if (IsControl(unit)) {
      AppendByteEscape(shown, unit);
    } else {
      shown += unit;
    }
  }
}

std::u16string FromCodePage936(std::string_view bytes) {
  std::u16string text;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const auto byte = static_cast<unsigned char>(bytes[i]);
    std::optional<char16_t> unit;
#if !defined(_WIN32)
    if (byte >= 0x81 && byte <= 0xFE && i + 1 < bytes.size()) {
      const auto trail = static_cast<unsigned char>(bytes[i + 1]);
      unit = digest::CodePage936Unit(static_cast<std::uint16_t>(byte << 8U | trail));
      if (unit) {
        ++i;
      }
    }
    if (!unit) {
      unit = digest::CodePage936Unit(byte);
    }
#else
    // Windows hands over its volumes' text as UTF-16 already.
    if (byte < 0x80) {
      unit = byte;
    }
#endif
    if (unit) {
      text += *unit;
    } else {
      AppendByteEscape(text, byte);
    }
  }
  return text;
}

// A cell a spreadsheet takes for a formula; a ' already there is kept apart the same
// way, so that only our own is ever dropped.
bool NeedsFormulaGuard(std::u16string_view cell) {
  const std::size_t start = cell.find_first_not_of(u'\'');
  return start != std::u16string_view::npos &&
         std::u16string_view(u"=+-@").find(cell[start]) != std::u16string_view::npos;
}

}  // namespace

std::optional<std::u16string> DeviceText(const std::optional<std::string>& bytes) {
  if (!bytes || bytes->empty()) {
    return std::nullopt;
  }
  if (auto text = Utf8ToUtf16(*bytes)) {
    return text;
  }
  return FromCodePage936(*bytes);
}

std::string ShownText(std::u16string_view text) {
  std::u16string shown;
  AppendShown(text, shown);
  return Utf16ToUtf8(shown);
}

std::string CsvCell(std::u16string_view text) {
  std::u16string cell;
  if (NeedsFormulaGuard(text)) {
    cell += u'\'';
  }
  AppendShown(text, cell);
  std::string utf8 = Utf16ToUtf8(cell);
  if (utf8.find_first_of(",\"\r\n") == std::string::npos) {
    return utf8;
  }
  std::string quoted = "\"";
  for (const char c : utf8) {
    quoted += c;
    if (c == '"') {
      quoted += '"';
    }
  }
  return quoted + '"';
}

std::string CsvListCell(const std::vector<std::u16string>& items) {
  // Joined, one empty item would be the empty cell of no item: a lone backslash, which
  // no other list gives, stands for it.
  if (items.size() == 1 && items.front().empty()) {
    return "\\";
  }
  std::u16string joined;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i > 0) {
      joined += u';';
    }
    for (const char16_t unit : items[i]) {
      if (unit == u'\\' || unit == u';') {
        joined += u'\\';
      }
      joined += unit;
    }
  }
  return CsvCell(joined);
}

std::string CsvLine(const std::vector<std::string>& cells) {
  std::string line;
  for (std::size_t i = 0; i < cells.size(); ++i) {
    line += (i == 0 ? "" : ",") + cells[i];
  }
  return line + "\r\n";
}

}  // namespace vellmor::drives
