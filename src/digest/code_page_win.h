#pragma once

#include <array>
#include <cstdint>

namespace vellmor::digest {

using CodeTable = std::array<std::int16_t, 65536>;

// The code page the characters' codes come from: the ANSI code page where its
// codes fit in two bytes; otherwise (UTF-8, 65001, and the like) code page 936,
// the one the program is made for.
unsigned CodePageForCodes();

// Every unit's code in the code page. Run-time error 5 when the system has no
// such code page or cannot convert to it: never "?" for everything.
CodeTable CodesInCodePage(unsigned code_page);

}  // namespace vellmor::digest
