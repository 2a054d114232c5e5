#pragma once

#include <exception>
#include <functional>
#include <string>

#include <windows.h>

namespace vellmor::win32 {

// The text an error that leaves a handler is shown with: its code and, for the
// codes the program names, the same words as the Linux program.
std::u16string UnhandledErrorMessage(const std::exception_ptr& error);

// Runs one event handler. An error that leaves it is shown in a message box
// owned by the given window, and the program goes on.
void RunEventHandler(HWND owner, const std::function<void()>& handler);

}  // namespace vellmor::win32
