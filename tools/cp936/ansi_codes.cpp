// Prints AnsiCodeOf for every UTF-16 code unit 0000 to FFFF, one signed code a
// line, in the format of wide_char_codes.cpp, so that the tables of both systems
// can be compared whole.
#include <cstdio>
#include <exception>

#include "digest/code_page.h"

int main() {
  try {
    for (unsigned unit = 0; unit <= 0xFFFF; ++unit) {
      std::printf("%d\n", vellmor::digest::AnsiCodeOf(static_cast<char16_t>(unit)));
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "ansi_codes: %s\n", error.what());
    return 1;
  }
  return std::fflush(stdout) == 0 ? 0 : 1;
}
