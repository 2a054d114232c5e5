#pragma once

#include <functional>

namespace vellmor::win32 {

// Dispatches the thread's messages, with the Tab key moving the focus in each
// window, until `done` holds or WM_QUIT arrives. Returns WM_QUIT's exit code,
// or -1 when `done` ended it; a WM_QUIT seen inside a nested loop is posted again
// for the outer one.
int RunMessageLoop(const std::function<bool()>& done, bool nested);

}  // namespace vellmor::win32
