#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace vellmor::drives {

// The machine's journal roots, persistent first.
std::vector<std::filesystem::path> SystemJournalRoots();

// A file of the system journal (system.journal or an archive of it) under
// `root`/`machine_id` for one of `roots` that this process may not read, or the machine's
// folder itself when it may not be searched. sd_journal_open leaves such files out without a
// word, so a history read from the rest would miss every entry journald keeps for the system.
// Nothing when there is no system journal at all, or when all of it can be read.
std::optional<std::filesystem::path> UnreadableSystemJournal(
    const std::vector<std::filesystem::path>& roots, const std::string& machine_id);

}  // namespace vellmor::drives
