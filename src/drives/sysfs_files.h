#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vellmor::drives {

// The first line of a sysfs attribute; no value when it cannot be read.
std::optional<std::string> ReadLine(const std::filesystem::path& file);

// A decimal attribute; 0 when absent or unreadable.
std::uint64_t ReadNumber(const std::filesystem::path& file);

// "8:17", as sysfs writes a block device's number.
std::optional<dev_t> ReadDevno(const std::filesystem::path& file);

// The entries of `dir` whose names start with `prefix`, shortest first so that sdb2
// comes before sdb10; none when the folder cannot be read.
std::vector<std::filesystem::path> Entries(const std::filesystem::path& dir,
                                           std::string_view prefix);

}  // namespace vellmor::drives
