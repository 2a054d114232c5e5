#pragma once

#include <cstdint>

namespace vellmor::digest {

// The character's code in the system's ANSI code page (code page 936 where the
// system has none), as a signed 16-bit number: a single-byte code b gives b, a
// double-byte code L T gives L * 256 + T - 65536. A unit the code page lacks,
// an unpaired surrogate included, gives the code of "?".
std::int16_t AnsiCodeOf(char16_t unit);

}  // namespace vellmor::digest
