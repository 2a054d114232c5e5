#pragma once

#include <string>
#include <string_view>

namespace vellmor::cli {

// What --help prints: only the options that work on this system.
std::string UsageText();

// The text for a system with a sysfs tree (Linux), or without one: then without
// --sysfs-root, --dev-root and --mount-table, which only read a sysfs tree.
std::string UsageTextFor(bool sysfs);

}  // namespace vellmor::cli
