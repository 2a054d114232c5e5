#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "cli.h"
#include "drives/allowed_list.h"
#include "drives/drives.h"
#include "drives/log_event.h"

namespace vellmor::cli {

// kLog: entries in the system's log, nothing on standard output.
enum class WatchFormat { kText, kJson, kCsv, kLog };

// `watch`: a line per USB drive plugged in, written and flushed as it settles, until
// an interrupt or terminate request, which ends it with status 0. With an allowed list
// each line or entry says whether the list allows the stick.
int RunWatch(WatchFormat format, drives::DriveSource& drives, const OutputFacts& output,
             std::ostream& out, std::ostream& err, const drives::AllowedList* allowed = nullptr);

// watch --log's entries for drives the watcher reports gone, each with what was known of it
// when it came; false at the first that cannot be written.
bool LogRemovals(drives::LogSink& log, const std::vector<drives::UsbDevice>& gone,
                 std::string& error, const drives::AllowedList* allowed = nullptr);

}  // namespace vellmor::cli
