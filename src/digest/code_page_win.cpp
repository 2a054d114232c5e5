#include "code_page.h"

#include <array>
#include <cstddef>
#include <cstdint>

#include <windows.h>

namespace vellmor::digest {
namespace {

constexpr std::int16_t kUnmappable = 63;  // "?"
constexpr std::size_t kUnitCount = 65536;

using CodeTable = std::array<std::int16_t, kUnitCount>;

std::int16_t ConvertUnit(char16_t unit) {
  if (unit < 0x80) {
    return static_cast<std::int16_t>(unit);
  }
  const auto wide = static_cast<wchar_t>(unit);
  char bytes[2] = {};
  BOOL usedDefault = FALSE;
  const int count = WideCharToMultiByte(CP_ACP, 0, &wide, 1, bytes, 2, nullptr, &usedDefault);
  if (usedDefault != FALSE) {
    return kUnmappable;
  }
  const auto lead = static_cast<unsigned char>(bytes[0]);
  const auto trail = static_cast<unsigned char>(bytes[1]);
  switch (count) {
    case 1:
      return static_cast<std::int16_t>(lead);
    case 2: {
      const int code = lead * 256 + trail;
      return static_cast<std::int16_t>(code >= 32768 ? code - 65536 : code);
    }
    default:
      // Also where the code page is UTF-8: its codes do not fit two bytes, and
      // the call refuses to report a default character for it.
      return kUnmappable;
  }
}

CodeTable BuildCodeTable() {
  CodeTable table{};
  for (std::size_t unit = 0; unit < kUnitCount; ++unit) {
    table[unit] = ConvertUnit(static_cast<char16_t>(unit));
  }
  return table;
}

}  // namespace

std::int16_t AnsiCodeOf(char16_t unit) {
  // One conversion per unit for the whole run; the system code page does not
  // change while the program runs.
  static const CodeTable table = BuildCodeTable();
  return table[unit];
}

}  // namespace vellmor::digest
