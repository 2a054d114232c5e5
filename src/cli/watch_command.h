#pragma once

#include <iosfwd>

#include "cli.h"
#include "drives/drives.h"

namespace vellmor::cli {

// kLog: entries in the system's log, nothing on standard output.
enum class WatchFormat { kText, kJson, kCsv, kLog };

// `watch`: a line per USB drive plugged in, written and flushed as it settles, until
// an interrupt or terminate request, which ends it with status 0.
int RunWatch(WatchFormat format, drives::DriveSource& drives, const OutputFacts& output,
             std::ostream& out, std::ostream& err);

}  // namespace vellmor::cli
