#include "code_page_win.h"

#include <cstddef>

#include <windows.h>

#include "base/run_time_error.h"
#include "code_page.h"

namespace vellmor::digest {

namespace {

constexpr std::int16_t kUnmappable = 63;  // "?"
constexpr UINT kMadeForCodePage = 936;

std::int16_t ConvertUnit(UINT code_page, char16_t unit) {
  if (unit < 0x80) {
    return static_cast<std::int16_t>(unit);
  }
  const auto wide = static_cast<wchar_t>(unit);
  char bytes[2] = {};
  BOOL usedDefault = FALSE;
  const int count = WideCharToMultiByte(code_page, 0, &wide, 1, bytes, 2, nullptr, &usedDefault);
  if (count == 0) {
    throw RunTimeError(RunTimeError::kInvalidProcedureCall);
  }
  if (usedDefault != FALSE) {
    return kUnmappable;
  }
  const auto lead = static_cast<unsigned char>(bytes[0]);
  const auto trail = static_cast<unsigned char>(bytes[1]);
  if (count == 1) {
    return static_cast<std::int16_t>(lead);
  }
  const int code = lead * 256 + trail;
  return static_cast<std::int16_t>(code >= 32768 ? code - 65536 : code);
}

}  // namespace

unsigned CodePageForCodes() {
  const UINT ansi = GetACP();
  CPINFO info{};
  if (GetCPInfo(ansi, &info) != FALSE && info.MaxCharSize <= 2) {
    return ansi;
  }
  return kMadeForCodePage;
}

CodeTable CodesInCodePage(unsigned code_page) {
  CPINFO info{};
  if (IsValidCodePage(code_page) == FALSE || GetCPInfo(code_page, &info) == FALSE ||
      info.MaxCharSize > 2) {
    throw RunTimeError(RunTimeError::kInvalidProcedureCall);
  }
  CodeTable table{};
  for (std::size_t unit = 0; unit < table.size(); ++unit) {
    table[unit] = ConvertUnit(code_page, static_cast<char16_t>(unit));
  }
  return table;
}

unsigned CodePageOfCodes() {
  static const unsigned code_page = CodePageForCodes();
  return code_page;
}

std::int16_t AnsiCodeOf(char16_t unit) {
  // One conversion per unit for the whole run; the system code page does not
  // change while the program runs. A failed build raises its error at every
  // use, so no character ever gets a wrong code.
  static const CodeTable table = CodesInCodePage(CodePageOfCodes());
  return table[unit];
}

}  // namespace vellmor::digest
