#include "journal_access.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace vellmor::drives {

namespace {

bool Refused(int code) { return code == EACCES || code == EPERM; }

// journald's own file and its archives, clean ("system@….journal") or not ("….journal~").
bool SystemFile(const std::string& name) {
  return name == "system.journal" || (name.starts_with("system@") &&
                                      (name.ends_with(".journal") || name.ends_with(".journal~")));
}

}  // namespace

std::vector<std::filesystem::path> SystemJournalRoots() {
  return {"/var/log/journal", "/run/log/journal"};
}

std::optional<std::filesystem::path> UnreadableSystemJournal(
    const std::vector<std::filesystem::path>& roots, const std::string& machine_id) {
  for (const std::filesystem::path& root : roots) {
    const std::filesystem::path folder = root / machine_id;
    std::error_code error;
    std::filesystem::directory_iterator files(folder, error);
    if (error) {
      // Missing is no journal there; a folder we may not search hides whatever it holds.
      if (Refused(error.value())) {
        return folder;
      }
      continue;
    }
    for (; !error && files != std::filesystem::directory_iterator(); files.increment(error)) {
      const std::filesystem::path& path = files->path();
      if (!SystemFile(path.filename().string())) {
        continue;
      }
      // Opened as sd_journal would, since group membership and ACLs decide, not the mode.
      const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
      if (descriptor < 0) {
        if (Refused(errno)) {
          return path;
        }
        continue;
      }
      ::close(descriptor);
    }
  }
  return std::nullopt;
}

}  // namespace vellmor::drives
