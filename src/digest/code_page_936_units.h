#pragma once

#include <cstdint>
#include <optional>

namespace vellmor::digest {

// The character a code page 936 code stands for, from the compiled-in table read
// backwards: a single byte b as b, a double-byte code as lead * 256 + trail. Where
// Windows maps several characters to one code (its best-fit ones), the character of
// the code's own block is taken. No value for a code the table does not give.
std::optional<char16_t> CodePage936Unit(std::uint16_t code);

}  // namespace vellmor::digest
