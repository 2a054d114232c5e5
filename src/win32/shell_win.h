#pragma once

#include <string>
#include <string_view>

#include <windows.h>

namespace vellmor::win32 {

// UTF-8 text in the code page, as ShellExecuteA takes it. A character the page
// lacks becomes its default character, never a look-alike.
std::string AnsiText(std::string_view utf8, UINT codePage = CP_ACP);

}  // namespace vellmor::win32
