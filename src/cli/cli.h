#pragma once

#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "drives/drives.h"
#include "serial/usb_hub_source.h"

namespace vellmor::cli {

inline constexpr int kExitOk = 0;
// The serial text is empty: the window would have shown its warning.
inline constexpr int kExitNoSerial = 1;
inline constexpr int kExitUsage = 2;
// Standard input could not be read, standard output not written, or an
// unexpected error ended the command.
inline constexpr int kExitFailure = 3;

// What main knows of its standard output: the descriptor whose reader `watch` watches
// for, and whether it is a file, where a CSV starts with a byte-order mark.
struct OutputFacts {
  int descriptor = -1;
  bool regular_file = false;
};

using SourceFactory = std::function<std::unique_ptr<serial::UsbHubSource>()>;
using DriveSourceFactory = std::function<std::unique_ptr<drives::DriveSource>()>;

// The command line without the program name, as UTF-8 bytes. Output is UTF-8;
// system_source gives the devices and system_drives their disks and notes when
// no --sysfs-root is given.
int RunCli(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
           std::ostream& err, const SourceFactory& system_source = serial::MakeSystemUsbHubSource,
           const DriveSourceFactory& system_drives = drives::MakeSystemDriveSource,
           const OutputFacts& output = {});

}  // namespace vellmor::cli
