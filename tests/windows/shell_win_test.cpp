#include "design/platform_shell.h"

#include <cstdint>

#include <windows.h>

#include "check.h"
#include "win32/shell_win.h"

namespace {

using vellmor::design::kLinkCursor;
using vellmor::design::MakeSystemShell;

// Opening links would start a browser, so only the pointer call runs here: it
// shows that the entry was bound by name and is handed the fixed handle as is.
void ChecksSetCursor(vellmor::windows_test::CheckCounter& check) {
  auto shell = MakeSystemShell();
  bool threw = false;
  try {
    shell->SetCursor(kLinkCursor);
  } catch (...) {
    threw = true;
  }
  check.Check(!threw, "SetCursor binds");
  check.Check(reinterpret_cast<std::uintptr_t>(GetCursor()) == kLinkCursor,
              "the thread's cursor is the fixed handle");

  // Bound once: a second shell object uses the same entry.
  SetCursor(nullptr);
  MakeSystemShell()->SetCursor(kLinkCursor);
  check.Check(reinterpret_cast<std::uintptr_t>(GetCursor()) == kLinkCursor,
              "a second shell object sets it again");
}

// A folder named with a full-width quotation mark must not turn into one with
// the ASCII mark, which names another folder (or none).
void ChecksAnsiText(vellmor::windows_test::CheckCounter& check) {
  check.Check(vellmor::win32::AnsiText("C:\\＂x", 1252) == "C:\\?x",
              "a character code page 1252 lacks becomes '?', not a look-alike");
  check.Check(vellmor::win32::AnsiText("C:\\中文", 936) == "C:\\\xD6\xD0\xCE\xC4",
              "code page 936 has the Chinese characters");
}

}  // namespace

int main() {
  vellmor::windows_test::CheckCounter check;
  ChecksSetCursor(check);
  ChecksAnsiText(check);
  return check.Finish("shell_win_test");
}
