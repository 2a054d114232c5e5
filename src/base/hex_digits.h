#pragma once

#include <string_view>

namespace vellmor {

// The one table every hexadecimal text is written from: digests and identifiers in
// upper case, escapes (\xNN, \uNNNN) in lower.
inline constexpr std::string_view kHexDigits = "0123456789ABCDEF";

constexpr char UpperHexDigit(unsigned value) { return kHexDigits[value & 0xFU]; }

// ASCII letters differ from their lower case in bit 5 alone, and the digits have it set.
constexpr char LowerHexDigit(unsigned value) {
  return static_cast<char>(UpperHexDigit(value) | 0x20);
}

}  // namespace vellmor
