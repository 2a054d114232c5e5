#include "message_loop.h"

#include <windows.h>

namespace vellmor::win32 {

int RunMessageLoop(const std::function<bool()>& done, bool nested) {
  MSG message{};
  while (!done()) {
    const BOOL got = GetMessageW(&message, nullptr, 0, 0);
    if (got == 0 || got == -1) {
      const int code = got == 0 ? static_cast<int>(message.wParam) : 1;
      if (nested) {
        PostQuitMessage(code);
      }
      return code;
    }
    const HWND root = message.hwnd == nullptr ? nullptr : GetAncestor(message.hwnd, GA_ROOT);
    if (root != nullptr && IsDialogMessageW(root, &message)) {
      continue;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return -1;
}

}  // namespace vellmor::win32
