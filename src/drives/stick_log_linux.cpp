// The journal through libsystemd: matches let it hand over only the entries the history
// reads, from its indexes, instead of every line of every service.
#include <systemd/sd-journal.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>

#include "journal_access.h"
#include "stick_history.h"

namespace vellmor::drives {

namespace {

struct JournalCloser {
  void operator()(sd_journal* journal) const { sd_journal_close(journal); }
};

std::string Failed(std::string_view what, int code) {
  return std::string(what) + ": " + std::strerror(-code);
}

// The machine's journal roots; the tests, which cannot make files root may not read, name
// folders of their own in VELLMOR_TEST_JOURNAL_ROOTS (separated by ':'). Not for users.
std::vector<std::filesystem::path> JournalRoots() {
  const char* const named = std::getenv("VELLMOR_TEST_JOURNAL_ROOTS");
  if (named == nullptr) {
    return SystemJournalRoots();
  }
  std::vector<std::filesystem::path> roots;
  std::istringstream list(named);
  for (std::string root; std::getline(list, root, ':');) {
    roots.emplace_back(root);
  }
  return roots;
}

// An ordinary user's sd_journal_open succeeds with their own files only; without this the
// history would be empty, and look like no stick was ever plugged in.
bool SystemJournalReadable(std::string& error) {
  sd_id128_t machine{};
  if (sd_id128_get_machine(&machine) < 0) {
    return true;  // no machine id, no journald folders to look for
  }
  std::array<char, SD_ID128_STRING_MAX> id{};
  const auto unreadable =
      UnreadableSystemJournal(JournalRoots(), sd_id128_to_string(machine, id.data()));
  if (unreadable) {
    error = "cannot read the system journal (" + unreadable->string() +
            "): permission denied; run as root, or as a member of the group adm or "
            "systemd-journal";
    return false;
  }
  return true;
}

}  // namespace

bool ReadStickLog(StickHistory& history, const std::optional<std::string>& directory,
                  std::optional<std::uint64_t> since_usec, std::string& error,
                  std::string& /*note*/) {
  if (!directory && !SystemJournalReadable(error)) {
    return false;
  }
  sd_journal* opened = nullptr;
  const int code = directory ? sd_journal_open_directory(&opened, directory->c_str(), 0)
                             : sd_journal_open(&opened, SD_JOURNAL_LOCAL_ONLY);
  if (code < 0) {
    error = Failed("cannot open the journal", code);
    return false;
  }
  const std::unique_ptr<sd_journal, JournalCloser> journal(opened);
  // The tool's own events, or the kernel's lines about USB devices.
  for (const std::string_view id : {kPresentMessageId, kArrivedMessageId, kRemovedMessageId}) {
    const std::string match = "MESSAGE_ID=" + std::string(id);
    sd_journal_add_match(journal.get(), match.data(), match.size());
  }
  sd_journal_add_disjunction(journal.get());
  sd_journal_add_match(journal.get(), "_TRANSPORT=kernel", 0);
  sd_journal_add_match(journal.get(), "_KERNEL_SUBSYSTEM=usb", 0);

  if (since_usec) {
    sd_journal_seek_realtime_usec(journal.get(), *since_usec);
  }
  LogEntry entry;
  int next = 0;
  while ((next = sd_journal_next(journal.get())) > 0) {
    entry.fields.clear();
    std::uint64_t time = 0;
    sd_journal_get_realtime_usec(journal.get(), &time);
    if (since_usec && time < *since_usec) {
      continue;
    }
    entry.time_usec = time;
    sd_id128_t boot{};
    std::uint64_t monotonic = 0;
    entry.boot.clear();
    if (sd_journal_get_monotonic_usec(journal.get(), &monotonic, &boot) >= 0) {
      std::array<char, SD_ID128_STRING_MAX> text{};
      entry.boot = sd_id128_to_string(boot, text.data());
    }
    const void* data = nullptr;
    std::size_t size = 0;
    SD_JOURNAL_FOREACH_DATA(journal.get(), data, size) {
      const std::string_view field(static_cast<const char*>(data), size);
      const std::size_t equals = field.find('=');
      if (equals != std::string_view::npos) {
        entry.fields.emplace(field.substr(0, equals), field.substr(equals + 1));
      }
    }
    history.Add(entry);
  }
  if (next < 0) {
    error = Failed("cannot read the journal", next);
    return false;
  }
  return true;
}

}  // namespace vellmor::drives
