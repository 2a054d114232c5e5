#include "cli.h"

#include <cerrno>
#include <cstring>
#include <exception>
#include <filesystem>
#include <functional>
#include <new>
#include <optional>
#include <ostream>
#include <string>
#include <system_error>

#include "allowed_command.h"
#include "base/run_time_error.h"
#include "base/utf.h"
#include "check_command.h"
#include "digest_command.h"
#include "drives/sysfs_drives.h"
#include "drives_command.h"
#include "history_command.h"
#include "options.h"
#include "read_commands.h"
#include "serial/usb_hub_source.h"
#include "watch_command.h"
#include "watch_service.h"

namespace vellmor::cli {

namespace {

// UTF-8 on every system: the argument was converted to it on Windows.
std::filesystem::path PathOf(const std::string& argument) {
  return {std::u8string(argument.begin(), argument.end())};
}

int RunDeviceCommand(const Options& options, const OutputFacts& output, std::ostream& out,
                     std::ostream& err, const SourceFactory& system_source,
                     const DriveSourceFactory& system_drives) {
  std::unique_ptr<serial::UsbHubSource> source;
  std::unique_ptr<drives::DriveSource> drives;
  if (options.sysfs_root) {
    const std::filesystem::path root = PathOf(*options.sysfs_root);
    std::error_code error;
    if (!std::filesystem::is_directory(root, error)) {
      return Refuse(err, "option --sysfs-root: no folder " + Describe(*options.sysfs_root));
    }
    // Every sysfs has bus/; a tree without it is a mistyped folder, not a machine without USB.
    if (!std::filesystem::is_directory(root / "bus", error)) {
      return Refuse(err, "option --sysfs-root: " + Describe(*options.sysfs_root) +
                             " is no sysfs tree (it has no bus folder)");
    }
    source = serial::MakeSysfsUsbHubSource(root);
    if (!source) {
      return Fail(err, "option --sysfs-root: this system has no sysfs tree to read", kExitUsage);
    }
    drives::SysfsDrivePaths paths;
    paths.sysfs_root = root;
    paths.dev_root = std::nullopt;
    paths.mount_table = std::nullopt;
    paths.udev_properties = false;
    if (options.dev_root) {
      paths.dev_root = PathOf(*options.dev_root);
    }
    if (options.mount_table) {
      paths.mount_table = PathOf(*options.mount_table);
    }
    drives = drives::MakeSysfsDriveSource(paths);
  } else {
    source = system_source();
    drives = system_drives();
  }
  switch (options.command) {
    case Command::kList:
      return RunList(options, *source, out);
    case Command::kWatch: {
      const WatchFormat format = options.log    ? WatchFormat::kLog
                                 : options.csv  ? WatchFormat::kCsv
                                 : options.json ? WatchFormat::kJson
                                                : WatchFormat::kText;
      // A bad list is refused before the watch starts, as drives refuses it.
      std::optional<drives::AllowedList> allowed;
      if (options.allowed && !(allowed = LoadAllowedList(*options.allowed, err))) {
        return kExitUsage;
      }
      const std::function<int()> watch = [&] {
        return RunWatch(format, *drives, output, out, err, allowed ? &*allowed : nullptr);
      };
      if (format == WatchFormat::kLog) {
        if (const std::optional<int> status = RunAsService(watch)) {
          return *status;
        }
      }
      return watch();
    }
    case Command::kDrives:
      if (!drives) {
        return Fail(err, "drives: this system's drives cannot be read from a sysfs tree",
                    kExitFailure);
      }
      if (options.allowed) {
        const auto allowed = LoadAllowedList(*options.allowed, err);
        return allowed ? RunDrives(options.json, *drives, out, err, &*allowed) : kExitUsage;
      }
      return RunDrives(options.json, *drives, out, err);
    case Command::kCheck:
      return RunCheck(options, *source, drives.get(), out, err);
    default:
      if (options.wait) {
        if (const auto interrupted = WaitForDrive(*options.wait, *drives, err)) {
          return *interrupted;
        }
      }
      return RunRead(options, *source, drives.get(), out, err);
  }
}

int Dispatch(const Options& options, const OutputFacts& output, std::istream& in, std::ostream& out,
             std::ostream& err, const SourceFactory& system_source,
             const DriveSourceFactory& system_drives) {
  switch (options.command) {
    case Command::kRead:
    case Command::kList:
    case Command::kDrives:
    case Command::kWatch:
    case Command::kCheck:
      return RunDeviceCommand(options, output, out, err, system_source, system_drives);
    case Command::kDigest:
      return RunDigest(options, in, out, err);
    case Command::kSelect:
      return RunSelect(in, out, err);
    case Command::kAllowed:
      return RunAllowed(options, out, err);
    case Command::kHistory:
      return RunHistory(options, out, err);
  }
  return kExitFailure;
}

}  // namespace

int RunCli(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
           std::ostream& err, const SourceFactory& system_source,
           const DriveSourceFactory& system_drives, const OutputFacts& output) {
  int code = kExitFailure;
  // What the stream's last failed write left behind, to name the reason.
  errno = 0;
  try {
    Options options;
    const auto answered = ParseArguments(args, options, out, err);
    code = answered ? *answered
                    : Dispatch(options, output, in, out, err, system_source, system_drives);
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
    const int reason = errno;
    return Fail(err,
                std::string("cannot write to standard output") +
                    (reason != 0 ? std::string(": ") + std::strerror(reason) : std::string()),
                kExitFailure);
  }
  return code;
}

}  // namespace vellmor::cli
