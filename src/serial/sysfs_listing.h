#pragma once

#include <dirent.h>

#include <filesystem>
#include <string>
#include <vector>

#include "usb_device_list.h"

namespace vellmor::serial {

// The device list, held open while we read it: every attribute is opened relative to
// it ("1-2/serial"), one system call per file, so a scan costs little more than the
// files it reads.
class Listing {
 public:
  enum class State { kOpen, kMissing, kFailed };

  explicit Listing(const std::filesystem::path& path);
  Listing(const Listing&) = delete;
  Listing& operator=(const Listing&) = delete;
  ~Listing();

  State state() const { return m_state; }
  // The entry names; an entry vanishing while we list ends the listing with what it found.
  std::vector<std::string> Names();
  // Kernel attributes are a line of text or a few descriptors: anything over 64 KiB is
  // not one of them and reads as unreadable.
  Attribute Read(const std::string& relative) const;

 private:
  State m_state = State::kFailed;
  DIR* m_dir = nullptr;
};

// One attribute file, opened relative to `directory` (AT_FDCWD for a path of its own),
// without blocking, so a pipe planted in a tree cannot stall a scan. Same limits as
// Listing::Read.
Attribute ReadAttribute(int directory, const char* path);

}  // namespace vellmor::serial
