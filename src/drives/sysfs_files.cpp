#include "sysfs_files.h"

#include <fcntl.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <charconv>
#include <system_error>
#include <utility>

#include "serial/sysfs_listing.h"

namespace vellmor::drives {

namespace fs = std::filesystem;

std::optional<std::string> ReadLine(const fs::path& file) {
  serial::Attribute attribute = serial::ReadAttribute(AT_FDCWD, file.c_str());
  if (attribute.status != serial::Attribute::Status::kText) {
    return std::nullopt;
  }
  if (const auto end = attribute.text.find('\n'); end != std::string::npos) {
    attribute.text.resize(end);
  }
  return std::move(attribute.text);
}

std::uint64_t ReadNumber(const fs::path& file) {
  const auto line = ReadLine(file);
  std::uint64_t value = 0;
  if (line) {
    std::from_chars(line->data(), line->data() + line->size(), value);
  }
  return value;
}

std::optional<dev_t> ReadDevno(const fs::path& file) {
  const auto line = ReadLine(file);
  if (!line) {
    return std::nullopt;
  }
  const auto colon = line->find(':');
  unsigned major_number = 0;
  unsigned minor_number = 0;
  const char* const end = line->data() + line->size();
  if (colon == std::string::npos ||
      std::from_chars(line->data(), line->data() + colon, major_number).ec != std::errc() ||
      std::from_chars(line->data() + colon + 1, end, minor_number).ec != std::errc()) {
    return std::nullopt;
  }
  return makedev(major_number, minor_number);
}

std::vector<fs::path> Entries(const fs::path& dir, std::string_view prefix) {
  std::vector<fs::path> found;
  std::error_code error;
  for (fs::directory_iterator entry(dir, error), end; !error && entry != end;
       entry.increment(error)) {
    if (entry->path().filename().native().starts_with(prefix)) {
      found.push_back(entry->path());
    }
  }
  // sdb2 before sdb10, 0:0:0:1 before 0:0:0:10.
  std::sort(found.begin(), found.end(), [](const fs::path& a, const fs::path& b) {
    const std::string x = a.filename().native();
    const std::string y = b.filename().native();
    return std::pair(x.size(), x) < std::pair(y.size(), y);
  });
  return found;
}

}  // namespace vellmor::drives
