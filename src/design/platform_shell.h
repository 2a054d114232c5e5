#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

namespace vellmor::design {

using WindowHandle = std::uintptr_t;
using CursorHandle = std::uintptr_t;

// The system cursor the link controls put up while the mouse moves over them.
inline constexpr CursorHandle kLinkCursor = 0x1002D;

// The two shell calls the windows make: ShellExecuteA and SetCursor on Windows,
// stand-ins elsewhere. Texts are UTF-8 here; the Windows side passes them in the
// ANSI code page. Results are not examined.
class PlatformShell {
 public:
  virtual ~PlatformShell() = default;
  virtual void CallShellExecute(WindowHandle owner, std::string_view operation,
                                std::string_view file, std::string_view parameters,
                                std::string_view directory, int showCommand) = 0;
  virtual void SetCursor(CursorHandle cursor) = 0;
};

// ShellExecuteA/SetCursor on Windows; the desktop's URL handler and the pointing
// hand on Linux.
std::unique_ptr<PlatformShell> MakeSystemShell();

}  // namespace vellmor::design
