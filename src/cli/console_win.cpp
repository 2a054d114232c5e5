#include "console.h"

#include <cstdio>
#include <utility>

#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include "digest/utf.h"

namespace vellmor::cli {

void PrepareConsole() {
  SetConsoleOutputCP(CP_UTF8);
  // Text mode would end standard input at a Ctrl-Z and drop the CR of every CRLF.
  _setmode(_fileno(stdin), _O_BINARY);
}

// The narrow argv is in the ANSI code page, which cannot hold every character.
std::optional<std::vector<std::string>> CommandLineArguments(int /*argc*/, char** /*argv*/) {
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) {
    return std::nullopt;
  }
  std::optional<std::vector<std::string>> args(std::in_place);
  for (int i = 1; i < count; ++i) {
    std::u16string text;
    for (const wchar_t* unit = wide[i]; *unit != L'\0'; ++unit) {
      text.push_back(static_cast<char16_t>(*unit));
    }
    std::string utf8 = Utf16ToUtf8(text);
    // An unpaired surrogate would come back as U+FFFD: refuse rather than change it.
    if (Utf8ToUtf16(utf8) != text) {
      args.reset();
      break;
    }
    args->push_back(std::move(utf8));
  }
  LocalFree(wide);
  return args;
}

}  // namespace vellmor::cli
