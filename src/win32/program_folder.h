#pragma once

#include <string>

namespace vellmor::win32 {

// The folder that holds the program file, in UTF-8, without a trailing
// backslash except for a drive's root.
std::string ProgramFolder();

}  // namespace vellmor::win32
