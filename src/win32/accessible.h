#pragma once

#include <optional>
#include <string>

#include <windows.h>

namespace vellmor::win32 {

// The answer to WM_GETOBJECT for a control's client: the system's own object
// for it, with the name (and, when not 0, the role) given here. Nothing for
// other objects, which the window procedure leaves to the system. oleacc.dll is
// loaded at the first question, so that a run without a screen reader never
// loads it.
std::optional<LRESULT> AnswerGetObject(HWND hwnd, WPARAM wParam, LPARAM lParam,
                                       const std::wstring& name, long role);

}  // namespace vellmor::win32
