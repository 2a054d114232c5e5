#pragma once

#include <string_view>

namespace vellmor::cli {

// What --help prints.
std::string_view UsageText();

}  // namespace vellmor::cli
