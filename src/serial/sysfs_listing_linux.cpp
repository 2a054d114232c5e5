#include "sysfs_listing.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstddef>
#include <string_view>

namespace vellmor::serial {

namespace {

constexpr std::size_t kMaxAttributeBytes = std::size_t{64} * 1024;

}  // namespace

Listing::Listing(const std::filesystem::path& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    m_state = errno == ENOENT ? State::kMissing : State::kFailed;
    return;
  }
  m_dir = ::fdopendir(fd);
  if (m_dir == nullptr) {
    ::close(fd);
    return;
  }
  m_state = State::kOpen;
}

Listing::~Listing() {
  if (m_dir != nullptr) {
    ::closedir(m_dir);
  }
}

std::vector<std::string> Listing::Names() {
  std::vector<std::string> names;
  if (m_dir == nullptr) {
    return names;
  }
  while (const dirent* entry = ::readdir(m_dir)) {
    const std::string_view name = entry->d_name;
    if (name != "." && name != "..") {
      names.emplace_back(name);
    }
  }
  return names;
}

Attribute Listing::Read(const std::string& relative) const {
  if (m_dir == nullptr) {
    return {Attribute::Status::kUnreadable, {}};
  }
  return ReadAttribute(::dirfd(m_dir), relative.c_str());
}

Attribute ReadAttribute(int directory, const char* path) {
  const int fd = ::openat(directory, path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    const bool missing = errno == ENOENT || errno == ENOTDIR;
    return {missing ? Attribute::Status::kMissing : Attribute::Status::kUnreadable, {}};
  }
  Attribute attribute{Attribute::Status::kText, {}};
  // A page at a time: the kernel hands out attributes, binary ones too, at most a page
  // per read, and a shorter read is the end of the file.
  std::array<char, 4096> chunk{};
  for (;;) {
    const ssize_t count = ::read(fd, chunk.data(), chunk.size());
    if (count < 0 && errno == EINTR) {
      continue;
    }
    if (count < 0 || attribute.text.size() + static_cast<std::size_t>(count) > kMaxAttributeBytes) {
      attribute = {Attribute::Status::kUnreadable, {}};
      break;
    }
    const auto size = static_cast<std::size_t>(count);
    attribute.text.append(chunk.data(), size);
    if (size < chunk.size()) {
      break;
    }
  }
  ::close(fd);
  return attribute;
}

}  // namespace vellmor::serial
