#pragma once

#include <chrono>
#include <iosfwd>
#include <optional>

#include "drives/drives.h"
#include "options.h"
#include "serial/usb_hub_source.h"

namespace vellmor::cli {

// The read action: the serial and its digest, as the window's button gives them, with
// the notes on the serial from sysfs alone.
int RunRead(const Options& options, serial::UsbHubSource& source, drives::DriveSource* drives,
            std::ostream& out, std::ostream& err);

// `list`: every identifier the query delivers, the chosen one marked.
int RunList(const Options& options, serial::UsbHubSource& source, std::ostream& out);

// `select`: the serial the device list would give for identifiers on standard input.
int RunSelect(std::istream& in, std::ostream& out, std::ostream& err);

// `--wait`: when no USB drive is plugged in, sleeps until one has settled or the time
// is up (none: no limit). Looks at sysfs only; the read action follows either way,
// unless an interrupt or terminate request ended the wait: then its exit status,
// 128 + the signal's number, and nothing is read.
std::optional<int> WaitForDrive(std::optional<std::chrono::milliseconds> timeout,
                                drives::DriveSource& drives, std::ostream& err);

}  // namespace vellmor::cli
