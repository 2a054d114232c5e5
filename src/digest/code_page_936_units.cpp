#include "code_page_936_units.h"

#include <array>
#include <cstddef>
#include <memory>

#include "code_page_936_table.h"

namespace vellmor::digest {

namespace {

constexpr std::size_t kUnitCount = 65536;
constexpr std::size_t kSingleBytes = 256;
constexpr std::size_t kTrailsPerLead = 190;
constexpr std::size_t kValueCount = kSingleBytes + 126 * kTrailsPerLead;

// Indexed by the table's values; 0 where no character gives the value.
using UnitTable = std::array<char16_t, kValueCount>;

// 豈 (F900) and its kin are best-fit twins of ideographs that have codes of their own.
bool IsCompatibilityIdeograph(std::size_t unit) { return unit >= 0xF900 && unit <= 0xFAFF; }

std::unique_ptr<UnitTable> BuildUnits() {
  auto units = std::make_unique<UnitTable>();
  // Best-fit characters mostly sit in runs of one (À, ª); the code's own character in a
  // longer run. So the long runs are written last and win, and within each pass the
  // later character wins (à over À, ￠ over ¢, 八 over ㊇).
  for (const bool long_runs : {false, true}) {
    for (std::size_t run = 0; run < kCodePage936RunCount; ++run) {
      const CodeRun& here = kCodePage936Runs[run];
      const std::size_t end =
          run + 1 < kCodePage936RunCount ? kCodePage936Runs[run + 1].first_unit : kUnitCount;
      if (here.first_value == kUnmappedRun || (end - here.first_unit > 1) != long_runs) {
        continue;
      }
      for (std::size_t unit = here.first_unit; unit < end; ++unit) {
        const std::size_t value = here.first_value + (unit - here.first_unit);
        if (value < kValueCount && !(IsCompatibilityIdeograph(unit) && (*units)[value] != 0)) {
          (*units)[value] = static_cast<char16_t>(unit);
        }
      }
    }
  }
  return units;
}

}  // namespace

std::optional<char16_t> CodePage936Unit(std::uint16_t code) {
  // Built on first use: only a label that is not UTF-8 needs it.
  static const std::unique_ptr<UnitTable> kUnits = BuildUnits();
  // ASCII is itself, though best-fit characters (², ª) map onto it; of the other single
  // bytes only 80 (€) is a character.
  if (code < 0x80) {
    return static_cast<char16_t>(code);
  }
  if (code > 0x80 && code < kSingleBytes) {
    return std::nullopt;
  }
  std::size_t value = code;
  if (code >= kSingleBytes) {
    const std::size_t lead = code >> 8U;
    const std::size_t trail = code & 0xFFU;
    if (lead < 0x81 || lead > 0xFE || trail < 0x40 || trail == 0x7F || trail > 0xFE) {
      return std::nullopt;
    }
    value = kSingleBytes + (lead - 0x81) * kTrailsPerLead + (trail - 0x40) - (trail > 0x7F ? 1 : 0);
  }
  const char16_t unit = (*kUnits)[value];
  if (unit == 0) {
    return std::nullopt;
  }
  return unit;
}

}  // namespace vellmor::digest
