#include "cli.h"

#include <array>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <istream>
#include <new>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <system_error>

#include "base/run_time_error.h"
#include "base/utf.h"
#include "base/version.h"
#include "digest/digest.h"
#include "drives_command.h"
#include "json_text.h"
#include "serial/cc.h"
#include "serial/device_id.h"
#include "serial/read_serial_command.h"
#include "serial/selection_rule.h"
#include "serial/serial_notes.h"
#include "serial/sysfs_drives.h"
#include "watch_command.h"

namespace vellmor::cli {

namespace {

constexpr std::string_view kProgramName = "vellmor-cli";

constexpr std::string_view kUsage =
    R"(Usage: vellmor-cli [--json] [--wait [SECONDS]] [--sysfs-root DIR]
       vellmor-cli list [--json] [--sysfs-root DIR]
       vellmor-cli drives [--json] [--sysfs-root DIR [--dev-root DIR] [--mount-table FILE]]
       vellmor-cli watch [--json | --csv]
       vellmor-cli digest [--length N] [--] [TEXT]
       vellmor-cli select
       vellmor-cli --help | --version

Without a command: reads the USB storage device's serial number once, as the
window's button does, and prints two lines: the serial number (an empty line
when there is none) and its digest, 32 upper-case hexadecimal digits. When the
serial number is empty it also prints 请插入U盘 on standard error and exits 1.
What may be wrong with the serial (made up from the port, short, a placeholder,
shared, a card reader's) follows on standard error as "note:" lines.

Commands:
  list     Prints every device identifier the query delivers, in delivery
           order, one a line: "* " marks the one the serial number is taken
           from (the last that contains VID), "  " the others; a result
           without an identifier shows as (no DeviceID), one whose identifier
           cannot be read as (unreadable). Exits 0 whether or not one matched.
  drives   Prints every USB mass-storage device now plugged in, in delivery
           order: identifier, serial, ids and names, disks and partitions with
           sizes, file systems, labels and mount points, and notes on the serial.
  watch    Prints a line for every USB drive plugged in from now on, once it
           has settled (its disks there, its volumes mounted where an
           automounter mounts them): time, serial, digest, vendor:product,
           mount points, notes. Each line is flushed as it is written.
           Ctrl-C or a terminate request ends it with status 0.
  digest   Prints the digest of TEXT, or of all of standard input when TEXT
           is absent: every byte counts, a final newline included. Both must
           be UTF-8. Give TEXT after -- when it starts with "-".
  select   Reads identifiers from standard input, one a line, and prints the
           serial number the device list would give for them. A CR before a
           line end is dropped, the last line needs no newline, and an empty
           line is an identifier that is the empty text. Input must be UTF-8.
           An empty result prints an empty line, 请插入U盘 on standard error,
           and exits 1.

Options:
  --json             Read and list: print one JSON object instead of lines.
                     Read: {"serial":...,"digest":...,"warning":...}, where
                     serial is null when no identifier matched, and warning is
                     null or 请插入U盘 (then not repeated on standard error).
                     List: {"ids":[{"deviceId":...,"state":"text|missing|
                     unreadable","chosen":true|false},...],"serial":...}.
                     Read and drives also carry "schemaVersion" and "notes";
                     the README gives the whole schema.
  --sysfs-root DIR   Read, list and drives: take the devices from
                     DIR/bus/usb/devices instead of the system's own list;
                     drives then opens volumes and reads mounts only as
                     --dev-root and --mount-table say.
  --csv              Watch: comma-separated values with a header line: time,
                     serial, digest, vendorId, productId, deviceId,
                     mountPoints, labels, notes (lists separated by ";").
  --wait [SECONDS]   Read: when no USB drive is plugged in, wait for one (at
                     most SECONDS, which may have a fraction; no limit without)
                     and then read as usual.
  --dev-root DIR     Drives: the volumes' device nodes are DIR/sdb1 and so on.
  --mount-table FILE Drives: the mount table (mountinfo or fstab format).
  --length N         Digest: 32 (the default) prints 32 digits, 16 the middle
                     16; any other whole number from -32768 to 32767 prints an
                     empty line.
  --help             Prints this text.
  --version          Prints the program's version.

Output is UTF-8. A later option replaces an earlier one of the same name.
Exit status: 0 done; 1 the serial number is empty; 2 bad arguments, or input
that is not UTF-8; 3 standard input could not be read or standard output not
written, or an unexpected failure.
)";

enum class Command { kRead, kList, kDigest, kSelect, kDrives, kWatch };

struct Options {
  Command command = Command::kRead;
  bool json = false;
  bool csv = false;
  // No value: no waiting; a value without a limit: wait as long as it takes.
  std::optional<std::optional<std::chrono::milliseconds>> wait;
  std::optional<std::string> sysfs_root;
  std::optional<std::string> dev_root;
  std::optional<std::string> mount_table;
  std::optional<std::int16_t> length;
  std::optional<std::string> text;
};

// One line, whatever the argument holds.
std::string Describe(std::string_view argument) {
  const auto text = Utf8ToUtf16(argument);
  return text ? JsonString(*text) : std::string("<not valid UTF-8>");
}

int Fail(std::ostream& err, std::string_view message, int code) {
  err << kProgramName << ": " << message << '\n';
  return code;
}

int Refuse(std::ostream& err, const std::string& message) {
  return Fail(err, message + " (see --help)", kExitUsage);
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

std::optional<std::int16_t> ParseLength(std::string_view text) {
  std::int16_t value = 0;
  const char* const end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (error != std::errc() || stop != end) {
    return std::nullopt;
  }
  return value;
}

bool ParseCommand(std::string_view word, Options& options) {
  if (word == "list") {
    options.command = Command::kList;
  } else if (word == "digest") {
    options.command = Command::kDigest;
  } else if (word == "select") {
    options.command = Command::kSelect;
  } else if (word == "drives") {
    options.command = Command::kDrives;
  } else if (word == "watch") {
    options.command = Command::kWatch;
  } else {
    return false;
  }
  return true;
}

// Takes an option's value from "--name=value" or from the next argument.
std::optional<std::string> OptionValue(const std::vector<std::string>& args, std::size_t& index,
                                       const std::optional<std::string>& attached) {
  if (attached) {
    return attached;
  }
  if (index + 1 < args.size()) {
    return args[++index];
  }
  return std::nullopt;
}

// No value to go on with the command; otherwise the exit status of a command
// line that was answered (help, version) or refused.
std::optional<int> ParseArguments(const std::vector<std::string>& args, Options& options,
                                  std::ostream& out, std::ostream& err) {
  bool options_ended = false;
  bool command_given = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (!options_ended && arg.starts_with('-')) {
      if (arg == "--") {
        options_ended = true;
        continue;
      }
      std::string name = arg;
      std::optional<std::string> attached;
      if (const auto equals = arg.find('='); arg.starts_with("--") && equals != std::string::npos) {
        name = arg.substr(0, equals);
        attached = arg.substr(equals + 1);
      }

      if (name == "--wait") {
        // The value is optional: taken from the next argument only when it is a number.
        std::optional<std::string> value = attached;
        if (!value && i + 1 < args.size() && ParseSeconds(args[i + 1])) {
          value = args[++i];
        }
        options.wait = std::optional<std::chrono::milliseconds>();
        if (value) {
          options.wait = ParseSeconds(*value);
          if (!*options.wait) {
            return Refuse(err,
                          "option --wait takes seconds from 0 to 86400, not " + Describe(*value));
          }
        }
      } else if (name == "--help" || name == "--version" || name == "--json" || name == "--csv") {
        if (attached) {
          return Refuse(err, "option " + name + " takes no value");
        }
        if (name == "--help") {
          out << kUsage;
          return kExitOk;
        }
        if (name == "--version") {
          out << kProgramName << ' ' << VELLMOR_VERSION << '\n';
          return kExitOk;
        }
        (name == "--csv" ? options.csv : options.json) = true;
      } else if (name == "--sysfs-root" || name == "--length" || name == "--dev-root" ||
                 name == "--mount-table") {
        const auto value = OptionValue(args, i, attached);
        if (!value) {
          return Refuse(err, "option " + name + " needs a value");
        }
        if (name == "--length") {
          options.length = ParseLength(*value);
          if (!options.length) {
            return Refuse(err, "option --length takes a whole number from -32768 to 32767, not " +
                                   Describe(*value));
          }
        } else if (value->empty()) {
          return Refuse(err, "option " + name + " needs a path");
        } else if (name == "--dev-root") {
          options.dev_root = value;
        } else if (name == "--mount-table") {
          options.mount_table = value;
        } else {
          options.sysfs_root = value;
        }
      } else {
        return Refuse(err, "unknown option " + Describe(arg));
      }
    } else if (!command_given) {
      command_given = true;
      if (!ParseCommand(arg, options)) {
        return Refuse(err, "unknown command " + Describe(arg));
      }
    } else if (options.command == Command::kDigest && !options.text) {
      options.text = arg;
    } else {
      return Refuse(err, "unexpected argument " + Describe(arg));
    }
  }

  const bool reads_devices = options.command == Command::kRead ||
                             options.command == Command::kList ||
                             options.command == Command::kDrives;
  if (options.json && !reads_devices && options.command != Command::kWatch) {
    return Refuse(err, "option --json applies to the read action, list, drives and watch only");
  }
  if (options.csv && (options.command != Command::kWatch || options.json)) {
    return Refuse(err, "option --csv applies to watch only, without --json");
  }
  if (options.wait && (options.command != Command::kRead || options.sysfs_root)) {
    return Refuse(err, "option --wait applies to the read action of this system's devices only");
  }
  if (options.sysfs_root && !reads_devices) {
    return Refuse(err, "option --sysfs-root applies to the read action, list and drives only");
  }
  if ((options.dev_root || options.mount_table) &&
      (options.command != Command::kDrives || !options.sysfs_root)) {
    return Refuse(err, "options --dev-root and --mount-table apply to drives with --sysfs-root");
  }
  if (options.length && options.command != Command::kDigest) {
    return Refuse(err, "option --length applies to digest only");
  }
  return std::nullopt;
}

// The bytes of standard input up to its end; no value when reading fails.
std::optional<std::string> ReadAll(std::istream& in) {
  std::string bytes;
  std::array<char, std::size_t{64} * 1024> chunk{};
  while (in) {
    in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
    bytes.append(chunk.data(), static_cast<std::size_t>(in.gcount()));
  }
  if (in.bad()) {
    return std::nullopt;
  }
  return bytes;
}

// Standard input as text; on failure the exit status after the message.
std::optional<std::u16string> ReadInputText(std::istream& in, std::ostream& err, int& code) {
  const auto bytes = ReadAll(in);
  if (!bytes) {
    code = Fail(err, "cannot read standard input", kExitFailure);
    return std::nullopt;
  }
  auto text = Utf8ToUtf16(*bytes);
  if (!text) {
    code = Fail(err, "standard input is not valid UTF-8", kExitUsage);
  }
  return text;
}

// The window's two text boxes and its message box; the lines are written once the
// command is done.
class TerminalView : public serial::ReadSerialView {
 public:
  void SetText1(const std::u16string& text) override { m_text1 = text; }
  std::u16string Text1() const override { return m_text1; }
  // The command reports the warning; a terminal has no title bar for the title.
  void ShowWarning(std::u16string_view /*text*/, std::u16string_view /*title*/) override {}
  void SetText2(const std::u16string& /*text*/) override {}

 private:
  std::u16string m_text1;
};

// The notes on the serial shown, from a scan of its own; none when the scan fails.
std::vector<serial::SerialNote> NotesFor(const std::u16string& serial,
                                         serial::DriveSource* drives) {
  if (drives == nullptr || serial.empty()) {
    return {};
  }
  const auto devices = drives->ScanUsbDevices();
  return devices ? serial::NotesForSerial(*devices, serial) : std::vector<serial::SerialNote>();
}

int RunRead(const Options& options, serial::UsbHubSource& source, serial::DriveSource* drives,
            std::ostream& out, std::ostream& err) {
  TerminalView view;
  const serial::ShownSerial shown =
      serial::RunReadSerialCommand([&source] { return serial::CC(source); }, view);
  std::optional<std::u16string> warning;
  if (shown.warned) {
    warning = std::u16string(serial::kWarningText);
  }

  const std::vector<serial::SerialNote> notes = NotesFor(view.Text1(), drives);
  if (options.json) {
    // JSON tells "nothing matched" (null) from an empty serial.
    out << R"({"serial":)" << JsonValue(shown.serial) << R"(,"digest":)" << JsonString(shown.digest)
        << R"(,"warning":)" << JsonValue(warning) << R"(,"notes":)" << NotesJson(notes)
        << R"(,"schemaVersion":)" << kJsonSchemaVersion << "}\n";
  } else {
    out << Utf16ToUtf8(view.Text1()) << '\n';
    if (warning) {
      err << Utf16ToUtf8(*warning) << '\n';
    }
    WriteNoteLines(notes, err);
    out << Utf16ToUtf8(shown.digest) << '\n';
  }
  return shown.warned ? kExitNoSerial : kExitOk;
}

std::string_view StateName(serial::DeviceId::Kind kind) {
  switch (kind) {
    case serial::DeviceId::Kind::kText:
      return "text";
    case serial::DeviceId::Kind::kMissing:
      return "missing";
    case serial::DeviceId::Kind::kUnreadable:
      return "unreadable";
  }
  return "unreadable";
}

int RunList(const Options& options, serial::UsbHubSource& source, std::ostream& out) {
  const std::vector<serial::DeviceId> ids = serial::CollectDeviceIds(source);
  const std::optional<std::size_t> chosen = serial::ChosenIndex(ids);

  if (options.json) {
    out << R"({"ids":[)";
    for (std::size_t i = 0; i < ids.size(); ++i) {
      const serial::DeviceId& id = ids[i];
      out << (i == 0 ? "" : ",") << R"({"deviceId":)"
          << (id.kind == serial::DeviceId::Kind::kText ? JsonString(id.text) : "null")
          << R"(,"state":")" << StateName(id.kind) << R"(","chosen":)"
          << (chosen == i ? "true" : "false") << '}';
    }
    out << R"(],"serial":)" << JsonValue(serial::SelectSerial(ids)) << "}\n";
    return kExitOk;
  }

  for (std::size_t i = 0; i < ids.size(); ++i) {
    out << (chosen == i ? "* " : "  ");
    switch (ids[i].kind) {
      case serial::DeviceId::Kind::kText:
        out << Utf16ToUtf8(ids[i].text);
        break;
      case serial::DeviceId::Kind::kMissing:
        out << "(no DeviceID)";
        break;
      case serial::DeviceId::Kind::kUnreadable:
        out << "(unreadable)";
        break;
    }
    out << '\n';
  }
  return kExitOk;
}

// UTF-8 that comes in pieces, decoded as it comes and fed to the digest; a
// sequence cut by a piece's end waits for the next piece.
class Utf8DigestFeeder {
 public:
  // False when the bytes are not UTF-8.
  bool Feed(std::string_view bytes) {
    m_carry.append(bytes);
    const std::size_t complete = m_carry.size() - IncompleteTail(m_carry);
    const auto units = Utf8ToUtf16(std::string_view(m_carry).substr(0, complete));
    if (!units) {
      return false;
    }
    m_digest.Feed(*units);
    m_carry.erase(0, complete);
    return true;
  }

  // No value when the text ends inside a character.
  std::optional<std::u16string> Finish(std::int16_t length) {
    if (!m_carry.empty()) {
      return std::nullopt;
    }
    return m_digest.Finish(length);
  }

 private:
  // The bytes at the end that begin a sequence not yet complete.
  static std::size_t IncompleteTail(std::string_view text) {
    for (std::size_t back = 1; back <= 3 && back <= text.size(); ++back) {
      const auto byte = static_cast<unsigned char>(text[text.size() - back]);
      if ((byte & 0xC0U) != 0x80U) {
        const std::size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
        return length > back ? back : 0;
      }
    }
    return 0;
  }

  digest::TextDigest m_digest;
  std::string m_carry;
};

constexpr std::size_t kDigestPieceBytes = std::size_t{64} * 1024;

// Standard input and a long TEXT alike go in pieces, so memory stays the same for any length.
int RunDigest(const Options& options, std::istream& in, std::ostream& out, std::ostream& err) {
  Utf8DigestFeeder feeder;
  bool valid = true;
  if (options.text) {
    const std::string_view text = *options.text;
    for (std::size_t at = 0; valid && at < text.size(); at += kDigestPieceBytes) {
      valid = feeder.Feed(text.substr(at, kDigestPieceBytes));
    }
  } else {
    std::string piece(kDigestPieceBytes, '\0');
    while (valid && in) {
      in.read(piece.data(), static_cast<std::streamsize>(piece.size()));
      valid = feeder.Feed(std::string_view(piece).substr(0, static_cast<std::size_t>(in.gcount())));
    }
    if (in.bad()) {
      return Fail(err, "cannot read standard input", kExitFailure);
    }
  }
  const auto digest =
      valid ? feeder.Finish(options.length.value_or(serial::kDigestLength)) : std::nullopt;
  if (!digest) {
    return Fail(err, options.text ? "TEXT is not valid UTF-8" : "standard input is not valid UTF-8",
                kExitUsage);
  }
  out << Utf16ToUtf8(*digest) << '\n';
  return kExitOk;
}

// One identifier a line; the end of the input ends the last line too.
std::vector<serial::DeviceId> SplitLines(std::u16string_view text) {
  std::vector<serial::DeviceId> ids;
  while (!text.empty()) {
    const std::size_t end = text.find(u'\n');
    std::u16string_view line = text.substr(0, end);
    if (line.ends_with(u'\r')) {
      line.remove_suffix(1);
    }
    ids.push_back(serial::DeviceId::Text(std::u16string(line)));
    if (end == std::u16string_view::npos) {
      break;
    }
    text.remove_prefix(end + 1);
  }
  return ids;
}

int RunSelect(std::istream& in, std::ostream& out, std::ostream& err) {
  int code = kExitOk;
  const auto text = ReadInputText(in, err, code);
  if (!text) {
    return code;
  }
  const std::u16string serial = serial::SelectSerial(SplitLines(*text)).value_or(u"");
  out << Utf16ToUtf8(serial) << '\n';
  if (serial.empty()) {
    err << Utf16ToUtf8(serial::kWarningText) << '\n';
    return kExitNoSerial;
  }
  return kExitOk;
}

// UTF-8 on every system: the argument was converted to it on Windows.
std::filesystem::path PathOf(const std::string& argument) {
  return {std::u8string(argument.begin(), argument.end())};
}

int RunDeviceCommand(const Options& options, std::ostream& out, std::ostream& err,
                     const SourceFactory& system_source, const DriveSourceFactory& system_drives) {
  std::unique_ptr<serial::UsbHubSource> source;
  std::unique_ptr<serial::DriveSource> drives;
  if (options.sysfs_root) {
    const std::filesystem::path root = PathOf(*options.sysfs_root);
    std::error_code error;
    if (!std::filesystem::is_directory(root, error)) {
      return Refuse(err, "option --sysfs-root: no folder " + Describe(*options.sysfs_root));
    }
    source = serial::MakeSysfsUsbHubSource(root);
    if (!source) {
      return Fail(err, "option --sysfs-root: this system has no sysfs tree to read", kExitUsage);
    }
    serial::SysfsDrivePaths paths{root, std::nullopt, std::nullopt, false};
    if (options.dev_root) {
      paths.dev_root = PathOf(*options.dev_root);
    }
    if (options.mount_table) {
      paths.mount_table = PathOf(*options.mount_table);
    }
    drives = serial::MakeSysfsDriveSource(paths);
  } else {
    source = system_source();
    drives = system_drives();
  }
  switch (options.command) {
    case Command::kList:
      return RunList(options, *source, out);
    case Command::kWatch:
      return RunWatch(options.csv    ? WatchFormat::kCsv
                      : options.json ? WatchFormat::kJson
                                     : WatchFormat::kText,
                      *drives, out, err);
    case Command::kDrives:
      if (!drives) {
        return Fail(err, "drives: this system's drives cannot be read from a sysfs tree",
                    kExitFailure);
      }
      return RunDrives(options.json, *drives, out, err);
    default:
      if (options.wait) {
        WaitForDrive(*options.wait, *drives, err);
      }
      return RunRead(options, *source, drives.get(), out, err);
  }
}

int Dispatch(const Options& options, std::istream& in, std::ostream& out, std::ostream& err,
             const SourceFactory& system_source, const DriveSourceFactory& system_drives) {
  switch (options.command) {
    case Command::kRead:
    case Command::kList:
    case Command::kDrives:
    case Command::kWatch:
      return RunDeviceCommand(options, out, err, system_source, system_drives);
    case Command::kDigest:
      return RunDigest(options, in, out, err);
    case Command::kSelect:
      return RunSelect(in, out, err);
  }
  return kExitFailure;
}

}  // namespace

int RunCli(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
           std::ostream& err, const SourceFactory& system_source,
           const DriveSourceFactory& system_drives) {
  int code = kExitFailure;
  try {
    Options options;
    const auto answered = ParseArguments(args, options, out, err);
    code = answered ? *answered : Dispatch(options, in, out, err, system_source, system_drives);
  } catch (const RunTimeError& error) {
    // The windows' message, on one line.
    std::u16string message = RunTimeErrorMessage(error.code());
    std::erase(message, u'\n');
    std::string line = Utf16ToUtf8(message);
    // Only the character codes raise 5: the code page they come from cannot be used.
    if (error.code() == RunTimeError::kInvalidProcedureCall) {
      line += " (the system cannot convert characters to the code page their codes come from)";
    }
    return Fail(err, line, kExitFailure);
  } catch (const std::bad_alloc&) {
    return Fail(err, "out of memory", kExitFailure);
  } catch (const std::exception& error) {
    return Fail(err, "unexpected failure: " + Describe(error.what()), kExitFailure);
  }

  out.flush();
  if (!out) {
    return Fail(err, "cannot write to standard output", kExitFailure);
  }
  return code;
}

}  // namespace vellmor::cli
