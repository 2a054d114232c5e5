#pragma once

#include <chrono>
#include <iosfwd>
#include <optional>

#include "serial/drives.h"

namespace vellmor::cli {

enum class WatchFormat { kText, kJson, kCsv };

// `watch`: a line per USB drive plugged in, written and flushed as it settles, until
// an interrupt or terminate request, which ends it with status 0.
int RunWatch(WatchFormat format, serial::DriveSource& drives, std::ostream& out, std::ostream& err);

// `--wait`: when no USB drive is plugged in, sleeps until one has settled or the time
// is up (none: no limit). The read action follows either way.
void WaitForDrive(std::optional<std::chrono::milliseconds> timeout, serial::DriveSource& drives,
                  std::ostream& err);

}  // namespace vellmor::cli
