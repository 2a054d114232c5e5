#pragma once

#include <cstddef>
#include <cstdint>

namespace vellmor::digest {

// Code page 936 as Windows converts to it, best-fit codes included, in runs: a run
// covers the units from its first to the next run's first. A run whose first
// value is kUnmappedRun gives "?" throughout; otherwise its values count up one
// a unit, where 0 to 255 are single bytes and 256 on are the double-byte codes
// in order (lead bytes 81 to FE, trail bytes 40 to 7E and 80 to FE).
struct CodeRun {
  char16_t first_unit;
  std::uint16_t first_value;
};

inline constexpr std::uint16_t kUnmappedRun = 0xFFFF;

extern const CodeRun kCodePage936Runs[];
extern const std::size_t kCodePage936RunCount;

}  // namespace vellmor::digest
