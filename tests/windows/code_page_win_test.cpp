#include "digest/code_page_win.h"

#include <cstdint>
#include <cstdio>
#include <thread>

#include <windows.h>

#include "check.h"
#include "digest/code_page.h"
#include "base/run_time_error.h"

namespace {

using vellmor::digest::AnsiCodeOf;

// The codes below are those of code page 936: the check script runs this program
// with the ANSI code page 936 and again with 65001, where 936 stands in.
void ChecksUnderCodePage936(vellmor::windows_test::CheckCounter& check) {
  bool asciiOwnValues = true;
  for (char16_t unit = 0; unit < 0x80; ++unit) {
    asciiOwnValues = asciiOwnValues && AnsiCodeOf(unit) == static_cast<std::int16_t>(unit);
  }
  check.Check(asciiOwnValues, "ASCII units give their own value");

  // Double-byte codes: lead * 256 + trail - 65536; best-fit codes as Windows gives them.
  check.Check(AnsiCodeOf(u'\u4E2D') == 0xD6D0 - 65536, "U+4E2D gives D6 D0");
  check.Check(AnsiCodeOf(u'\u00C0') == 0xA8A4 - 65536, "U+00C0 best-fits to A8 A4");
  check.Check(AnsiCodeOf(u'\u00A6') == 124, "U+00A6 best-fits to |");
  check.Check(AnsiCodeOf(u'\u20AC') == 128, "U+20AC gives the single byte 80");
  check.Check(AnsiCodeOf(static_cast<char16_t>(0xD800)) == 63,
              "an unpaired high surrogate gives ?");
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

void ChecksMissingCodePageIsAnError(vellmor::windows_test::CheckCounter& check) {
  int code = 0;
  try {
    static_cast<void>(vellmor::digest::CodesInCodePage(12345));
  } catch (const vellmor::RunTimeError& error) {
    code = error.code();
  }
  check.Check(code == vellmor::RunTimeError::kInvalidProcedureCall,
              "a code page the system lacks raises run-time error 5");
}

}  // namespace

int main() {
  vellmor::windows_test::CheckCounter check;
  const UINT ansi = GetACP();
  std::printf("ANSI code page %u\n", ansi);
  check.Check(ansi == 936 || ansi == 65001, "the ANSI code page is 936 or 65001");
  check.Check(vellmor::digest::CodePageForCodes() == 936, "the codes come from code page 936");
  ChecksFirstUseFromTwoThreads(check);
  ChecksUnderCodePage936(check);
  ChecksMissingCodePageIsAnError(check);
  return check.Finish("code_page_win_test");
}
