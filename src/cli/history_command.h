#pragma once

#include <iosfwd>
#include <optional>
#include <string>

#include "options.h"

namespace vellmor::cli {

// `history`: one row per stick this machine's log has seen. `journal_directory` reads
// the journal files there instead of the system's journal.
int RunHistory(const Options& options, std::ostream& out, std::ostream& err,
               const std::optional<std::string>& journal_directory = std::nullopt);

}  // namespace vellmor::cli
