#include "shell_win.h"

#include <memory>
#include <string>
#include <string_view>

#include "base/run_time_error.h"
#include "design/platform_shell.h"

namespace vellmor::design {
namespace {

using ShellExecuteAFunction = HINSTANCE(WINAPI*)(HWND, LPCSTR, LPCSTR, LPCSTR, LPCSTR, INT);
using SetCursorFunction = HCURSOR(WINAPI*)(HCURSOR);

// Bound by library and entry name at the first call, kept for the rest of the
// run. A failed binding leaves nothing behind, so a later call tries again.
template <typename Function>
Function BindEntry(const char* library, const char* entry) {
  HMODULE module = LoadLibraryA(library);
  if (module == nullptr) {
    throw RunTimeError(RunTimeError::kErrorInLoadingDll);
  }
  FARPROC address = GetProcAddress(module, entry);
  if (address == nullptr) {
    throw RunTimeError(RunTimeError::kDllFunctionNotFound);
  }
  // Through void(*)() so the compiler accepts the cast to the real signature.
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(address));
}

ShellExecuteAFunction ShellExecuteAEntry() {
  static const auto entry = BindEntry<ShellExecuteAFunction>("shell32.dll", "ShellExecuteA");
  return entry;
}

SetCursorFunction SetCursorEntry() {
  static const auto entry = BindEntry<SetCursorFunction>("user32", "SetCursor");
  return entry;
}

class WindowsShell : public PlatformShell {
 public:
  void CallShellExecute(WindowHandle owner, std::string_view operation, std::string_view file,
                        std::string_view parameters, std::string_view directory,
                        int showCommand) override {
    const ShellExecuteAFunction shellExecute = ShellExecuteAEntry();
    // std::string's c_str() is never null: an empty text goes as an empty string.
    const std::string ansiOperation = win32::AnsiText(operation);
    const std::string ansiFile = win32::AnsiText(file);
    const std::string ansiParameters = win32::AnsiText(parameters);
    const std::string ansiDirectory = win32::AnsiText(directory);
    // Handles cross the interface as numbers.
    shellExecute(reinterpret_cast<HWND>(owner),  // NOLINT(performance-no-int-to-ptr)
                 ansiOperation.c_str(), ansiFile.c_str(), ansiParameters.c_str(),
                 ansiDirectory.c_str(), showCommand);
  }

  void SetCursor(CursorHandle cursor) override {
    SetCursorEntry()(reinterpret_cast<HCURSOR>(cursor));  // NOLINT(performance-no-int-to-ptr)
  }
};

}  // namespace

std::unique_ptr<PlatformShell> MakeSystemShell() { return std::make_unique<WindowsShell>(); }

}  // namespace vellmor::design

namespace vellmor::win32 {

std::string AnsiText(std::string_view utf8, UINT codePage) {
  if (utf8.empty()) {
    return {};
  }
  const int utf8Length = static_cast<int>(utf8.size());
  const int wideLength = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), utf8Length, nullptr, 0);
  if (wideLength <= 0) {
    return {};
  }
  std::wstring wide(static_cast<std::size_t>(wideLength), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), utf8Length, wide.data(), wideLength);
  // No best fit: a look-alike would name another folder, the default character none.
  // UTF-8 has every character and takes no such flag.
  const UINT page = codePage == CP_ACP ? GetACP() : codePage;
  const DWORD flags = page == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
  const int ansiLength =
      WideCharToMultiByte(page, flags, wide.data(), wideLength, nullptr, 0, nullptr, nullptr);
  if (ansiLength <= 0) {
    return {};
  }
  std::string ansi(static_cast<std::size_t>(ansiLength), '\0');
  WideCharToMultiByte(page, flags, wide.data(), wideLength, ansi.data(), ansiLength, nullptr,
                      nullptr);
  return ansi;
}

}  // namespace vellmor::win32
