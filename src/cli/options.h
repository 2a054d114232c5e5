#pragma once

#include <chrono>
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vellmor::cli {

inline constexpr std::string_view kProgramName = "vellmor-cli";

enum class Command { kRead, kList, kDigest, kSelect, kDrives, kWatch, kCheck, kAllowed, kHistory };

struct Options {
  Command command = Command::kRead;
  bool json = false;
  bool csv = false;
  // watch: into the system's log instead of standard output.
  bool log = false;
  // No value: no waiting; a value without a limit: wait as long as it takes.
  std::optional<std::optional<std::chrono::milliseconds>> wait;
  std::optional<std::string> sysfs_root;
  std::optional<std::string> dev_root;
  std::optional<std::string> mount_table;
  std::optional<std::int16_t> length;
  std::optional<std::string> text;
  // check: the digests as given.
  std::vector<std::string> digests;
  // digest -: the text is standard input, as without TEXT.
  bool from_input = false;
  // drives, check: the allowed list's path, as given.
  std::optional<std::string> allowed;
  // history: the earliest time, in microseconds since the epoch, UTC.
  std::optional<std::uint64_t> since;
  // allowed: the enforcer and the list's path, as given.
  std::vector<std::string> rule_operands;
};

// No value to go on with the command; otherwise the exit status of a command
// line that was answered (help, version) or refused.
std::optional<int> ParseArguments(const std::vector<std::string>& args, Options& options,
                                  std::ostream& out, std::ostream& err);

// One line, whatever the argument holds.
std::string Describe(std::string_view argument);

// The message on standard error, prefixed with the program's name; returns `code`.
int Fail(std::ostream& err, std::string_view message, int code);

// A command line that cannot be run: status 2.
int Refuse(std::ostream& err, const std::string& message);

}  // namespace vellmor::cli
