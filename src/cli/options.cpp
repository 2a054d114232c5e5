#include "options.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <ostream>
#include <system_error>

#include "base/utf.h"
#include "base/version.h"
#include "cli.h"
#include "drives/json_text.h"
#include "drives/stick_history.h"
#include "usage.h"

namespace vellmor::cli {

namespace {

enum class Takes {
  kNothing,
  kValue,
  // A number of seconds, taken from the next argument only when it is one.
  kOptionalSeconds,
};

// Which commands an option applies to, one bit per Command.
using CommandSet = unsigned;

constexpr CommandSet Bit(Command command) { return 1U << static_cast<unsigned>(command); }

constexpr CommandSet kEveryCommand = ~0U;

struct OptionRow {
  std::string_view name;
  Takes takes;
  CommandSet commands;
};

constexpr std::array<OptionRow, 12> kOptions = {{
    {"--help", Takes::kNothing, kEveryCommand},
    {"--version", Takes::kNothing, kEveryCommand},
    {"--json", Takes::kNothing,
     Bit(Command::kRead) | Bit(Command::kList) | Bit(Command::kDrives) | Bit(Command::kWatch) |
         Bit(Command::kCheck) | Bit(Command::kHistory)},
    {"--csv", Takes::kNothing, Bit(Command::kWatch) | Bit(Command::kHistory)},
    {"--log", Takes::kNothing, Bit(Command::kWatch)},
    {"--wait", Takes::kOptionalSeconds, Bit(Command::kRead) | Bit(Command::kCheck)},
    {"--sysfs-root", Takes::kValue,
     Bit(Command::kRead) | Bit(Command::kList) | Bit(Command::kDrives) | Bit(Command::kCheck)},
    {"--dev-root", Takes::kValue, Bit(Command::kDrives)},
    {"--mount-table", Takes::kValue, Bit(Command::kDrives)},
    {"--length", Takes::kValue, Bit(Command::kDigest)},
    {"--allowed", Takes::kValue,
     Bit(Command::kDrives) | Bit(Command::kWatch) | Bit(Command::kCheck) | Bit(Command::kHistory)},
    {"--since", Takes::kValue, Bit(Command::kHistory)},
}};

struct CommandRow {
  std::string_view word;
  Command command;
  // As the messages name it.
  std::string_view title;
};

constexpr std::array<CommandRow, 9> kCommands = {{
    {"", Command::kRead, "the read action"},
    {"list", Command::kList, "list"},
    {"drives", Command::kDrives, "drives"},
    {"watch", Command::kWatch, "watch"},
    {"digest", Command::kDigest, "digest"},
    {"select", Command::kSelect, "select"},
    {"check", Command::kCheck, "check"},
    {"allowed", Command::kAllowed, "allowed"},
    {"history", Command::kHistory, "history"},
}};

const OptionRow* FindOption(std::string_view name) {
  const auto found = std::find_if(kOptions.begin(), kOptions.end(),
                                  [&](const OptionRow& row) { return row.name == name; });
  return found != kOptions.end() ? &*found : nullptr;
}

// "the read action, list and drives"
std::string Titles(CommandSet commands) {
  std::vector<std::string_view> titles;
  for (const CommandRow& row : kCommands) {
    if ((commands & Bit(row.command)) != 0) {
      titles.push_back(row.title);
    }
  }
  std::string text;
  for (std::size_t i = 0; i < titles.size(); ++i) {
    text += i == 0 ? "" : i + 1 == titles.size() ? " and " : ", ";
    text += titles[i];
  }
  return text;
}

// Whole or fractional seconds, up to a day.
std::optional<std::chrono::milliseconds> ParseSeconds(std::string_view text) {
  double seconds = -1;
  const char* const end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, seconds);
  if (error != std::errc() || stop != end || !(seconds >= 0 && seconds <= 86400)) {
    return std::nullopt;
  }
  return std::chrono::milliseconds(std::llround(seconds * 1000));
}

// An argument after --wait that was meant as its seconds: a number that is not one we
// take ("-1", "1e9", "2,5"), or a word before any command that is no command ("abc").
bool MeantAsSeconds(std::string_view arg, bool command_given) {
  if (arg.empty()) {
    return false;
  }
  const auto starts_number = [](std::string_view text) {
    return !text.empty() && ((text.front() >= '0' && text.front() <= '9') || text.front() == '.');
  };
  const bool numeric = starts_number(arg) ||
                       ((arg.front() == '-' || arg.front() == '+') && starts_number(arg.substr(1)));
  // check's digests also start with digits: they are its arguments, not seconds.
  const bool digest = arg.size() == 32 && std::all_of(arg.begin(), arg.end(), [](char c) {
                        return (c >= '0' && c <= '9') || ((c | 0x20) >= 'a' && (c | 0x20) <= 'f');
                      });
  if (digest || arg == "-" || arg == "--") {
    return false;
  }
  if (numeric) {
    return true;
  }
  return !command_given && !arg.starts_with('-') &&
         std::none_of(kCommands.begin(), kCommands.end(),
                      [&](const CommandRow& row) { return !row.word.empty() && row.word == arg; });
}

std::string NotSeconds(std::string_view value) {
  return "--wait: " + Describe(value) + " is not a number of seconds, 0 to 86400";
}

std::optional<std::int16_t> ParseLength(std::string_view text) {
  std::int16_t value = 0;
  const char* const end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (error != std::errc() || stop != end) {
    return std::nullopt;
  }
  return value;
}

// An option's value into `options`; the message when the value is refused.
std::optional<std::string> Apply(std::string_view name, const std::optional<std::string>& value,
                                 Options& options) {
  if (name == "--json") {
    options.json = true;
  } else if (name == "--csv") {
    options.csv = true;
  } else if (name == "--log") {
    options.log = true;
  } else if (name == "--wait") {
    options.wait = std::optional<std::chrono::milliseconds>();
    if (value) {
      options.wait = ParseSeconds(*value);
      if (!*options.wait) {
        return NotSeconds(*value);
      }
    }
  } else if (name == "--length") {
    options.length = ParseLength(*value);
    if (!options.length) {
      return "option --length takes a whole number from -32768 to 32767, not " + Describe(*value);
    }
  } else if (name == "--since") {
    options.since = drives::ParseUtcTime(*value);
    if (!options.since) {
      return "option --since takes a UTC time, 2026-12-01 or 2026-12-01T08:30[:00][Z], not " +
             Describe(*value);
    }
  } else if (value->empty()) {
    return "option " + std::string(name) + " needs a path";
  } else if (name == "--dev-root") {
    options.dev_root = value;
  } else if (name == "--mount-table") {
    options.mount_table = value;
  } else if (name == "--allowed") {
    options.allowed = value;
  } else {
    options.sysfs_root = value;
  }
  return std::nullopt;
}

}  // namespace

std::string Describe(std::string_view argument) {
  const auto text = Utf8ToUtf16(argument);
  return text ? drives::JsonString(*text) : std::string("<not valid UTF-8>");
}

int Fail(std::ostream& err, std::string_view message, int code) {
  err << kProgramName << ": " << message << '\n';
  return code;
}

int Refuse(std::ostream& err, const std::string& message) {
  return Fail(err, message + " (see --help)", kExitUsage);
}

std::optional<int> ParseArguments(const std::vector<std::string>& args, Options& options,
                                  std::ostream& out, std::ostream& err) {
  bool options_ended = false;
  bool command_given = false;
  std::vector<const OptionRow*> given;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    // "-" alone is standard input, as for most tools: digest's TEXT then comes from it.
    if (!options_ended && arg.starts_with('-') && arg != "-") {
      if (arg == "--") {
        options_ended = true;
        continue;
      }
      // The short forms people try first.
      std::string name = arg == "-h" ? "--help" : arg == "-V" ? "--version" : arg;
      std::optional<std::string> value;
      if (const auto equals = arg.find('='); arg.starts_with("--") && equals != std::string::npos) {
        name = arg.substr(0, equals);
        value = arg.substr(equals + 1);
      }
      const OptionRow* const row = FindOption(name);
      if (row == nullptr) {
        return Refuse(err, "unknown option " + Describe(arg));
      }
      switch (row->takes) {
        case Takes::kNothing:
          if (value) {
            return Refuse(err, "option " + name + " takes no value");
          }
          break;
        case Takes::kValue:
          if (!value && i + 1 < args.size()) {
            value = args[++i];
          }
          if (!value) {
            return Refuse(err, "option " + name + " needs a value");
          }
          break;
        case Takes::kOptionalSeconds:
          if (!value && i + 1 < args.size() &&
              (ParseSeconds(args[i + 1]) || MeantAsSeconds(args[i + 1], command_given))) {
            value = args[++i];
          }
          break;
      }
      if (name == "--help") {
        out << UsageText();
        return kExitOk;
      }
      if (name == "--version") {
        if (args.size() > 1) {
          return Refuse(err, "option " + std::string(arg) + " stands alone");
        }
        out << kProgramName << ' ' << VELLMOR_VERSION << '\n';
        return kExitOk;
      }
      if (const auto refused = Apply(name, value, options)) {
        return Refuse(err, *refused);
      }
      given.push_back(row);
    } else if (!command_given) {
      command_given = true;
      const auto found = std::find_if(kCommands.begin(), kCommands.end(), [&](const auto& row) {
        return !row.word.empty() && row.word == arg;
      });
      if (found == kCommands.end()) {
        return Refuse(err, "unknown command " + Describe(arg));
      }
      options.command = found->command;
    } else if (options.command == Command::kDigest && !options.text && !options.from_input) {
      if (arg == "-" && !options_ended) {
        options.from_input = true;
      } else {
        options.text = arg;
      }
    } else if (options.command == Command::kCheck) {
      options.digests.push_back(arg);
    } else if (options.command == Command::kAllowed && options.rule_operands.size() < 2) {
      options.rule_operands.push_back(arg);
    } else {
      return Refuse(err, "unexpected argument " + Describe(arg));
    }
  }

  for (const OptionRow* row : given) {
    if ((row->commands & Bit(options.command)) == 0) {
      return Refuse(err, "option " + std::string(row->name) + " applies to " +
                             Titles(row->commands) + " only");
    }
  }
  if (options.csv && options.json) {
    return Refuse(err, "options --csv and --json exclude each other");
  }
  if (options.log && (options.csv || options.json)) {
    return Refuse(err, "option --log writes no lines: it excludes --csv and --json");
  }
  if (options.wait && options.sysfs_root) {
    return Refuse(err, "option --wait applies to this system's devices only, not to --sysfs-root");
  }
  if ((options.dev_root || options.mount_table) && !options.sysfs_root) {
    return Refuse(err, "options --dev-root and --mount-table apply to drives with --sysfs-root");
  }
  return std::nullopt;
}

}  // namespace vellmor::cli
