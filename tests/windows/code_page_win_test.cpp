#include "digest/code_page.h"

#include <cstdint>
#include <cstdio>
#include <thread>

#include <windows.h>

#include "check.h"

namespace {

using vellmor::digest::AnsiCodeOf;

// The codes below are those of code page 936; the check script runs this
// program in a Simplified-Chinese locale.
void ChecksUnderCodePage936(vellmor::windows_test::CheckCounter& check) {
  bool asciiOwnValues = true;
  for (char16_t unit = 0; unit < 0x80; ++unit) {
    asciiOwnValues = asciiOwnValues && AnsiCodeOf(unit) == static_cast<std::int16_t>(unit);
  }
  check.Check(asciiOwnValues, "ASCII units give their own value");

  // Double-byte codes: lead * 256 + trail - 65536.
  check.Check(AnsiCodeOf(u'\u4E2D') == 0xD6D0 - 65536, "U+4E2D gives D6 D0");
  check.Check(AnsiCodeOf(u'\u00E9') == 0xA8A6 - 65536, "U+00E9 gives A8 A6");
  check.Check(AnsiCodeOf(u'\u3000') == 0xA1A1 - 65536, "U+3000 gives A1 A1");
  check.Check(AnsiCodeOf(u'\uE000') == 0xAAA1 - 65536, "private use U+E000 gives AA A1");

  // A single byte above 127 stays positive.
  check.Check(AnsiCodeOf(u'\u20AC') == 128, "U+20AC gives the single byte 80");

  check.Check(AnsiCodeOf(u'\u0E01') == 63, "a character the code page lacks gives ?");
  check.Check(AnsiCodeOf(static_cast<char16_t>(0xD800)) == 63,
              "an unpaired high surrogate gives ?");
  check.Check(AnsiCodeOf(static_cast<char16_t>(0xDC00)) == 63, "an unpaired low surrogate gives ?");
}

// The table is built once, on first use, by whichever thread comes first.
void ChecksFirstUseFromTwoThreads(vellmor::windows_test::CheckCounter& check) {
  std::int16_t first = 0;
  std::int16_t second = 0;
  std::thread a([&first] { first = AnsiCodeOf(u'\u4E2D'); });
  std::thread b([&second] { second = AnsiCodeOf(u'\u4E2D'); });
  a.join();
  b.join();
  check.Check(first == second && first == 0xD6D0 - 65536, "both threads see the same code");
}

}  // namespace

int main() {
  vellmor::windows_test::CheckCounter check;
  const UINT codePage = GetACP();
  check.Check(codePage == 936, "the ANSI code page is 936");
  if (codePage != 936) {
    std::printf("ANSI code page is %u; run in a zh_CN locale\n", codePage);
    return check.Finish("code_page_win_test");
  }
  ChecksFirstUseFromTwoThreads(check);
  ChecksUnderCodePage936(check);
  return check.Finish("code_page_win_test");
}
