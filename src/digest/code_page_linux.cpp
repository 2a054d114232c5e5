#include "code_page.h"

#include <array>
#include <cstddef>

#include "code_page_936_table.h"

namespace vellmor::digest {

namespace {

constexpr std::int16_t kQuestionMark = 63;
constexpr std::size_t kUnitCount = 65536;
constexpr int kTrailsPerLead = 190;

using CodeTable = std::array<std::int16_t, kUnitCount>;

// 0..255 are single bytes; then the double-byte codes in lead and trail order.
std::int16_t CodeOfValue(int value) {
  if (value < 256) {
    return static_cast<std::int16_t>(value);
  }
  const int lead = 0x81 + (value - 256) / kTrailsPerLead;
  const int rest = (value - 256) % kTrailsPerLead;
  const int trail = 0x40 + rest + (rest >= 0x3F ? 1 : 0);  // no trail byte 7F
  return static_cast<std::int16_t>(lead * 256 + trail - 65536);
}

CodeTable BuildTable() {
  CodeTable table{};
  for (std::size_t run = 0; run < kCodePage936RunCount; ++run) {
    const CodeRun& here = kCodePage936Runs[run];
    const std::size_t end =
        run + 1 < kCodePage936RunCount ? kCodePage936Runs[run + 1].first_unit : kUnitCount;
    for (std::size_t unit = here.first_unit; unit < end; ++unit) {
      table[unit] = here.first_value == kUnmappedRun
                        ? kQuestionMark
                        : CodeOfValue(here.first_value + static_cast<int>(unit - here.first_unit));
    }
  }
  return table;
}

}  // namespace

// Linux has no ANSI code page: code page 936 stands in, as Windows converts to it.
// The table is compiled in, so there is nothing to load and nothing that can fail.
// The compiled-in table is code page 936's.
unsigned CodePageOfCodes() { return 936; }

std::int16_t AnsiCodeOf(char16_t unit) {
  static const CodeTable kTable = BuildTable();
  return kTable[unit];
}

}  // namespace vellmor::digest
