#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "drives.h"

namespace vellmor::drives {

// What a logged line says happened to a drive.
enum class LogEvent { kPresent, kArrived, kRemoved };

// One field of a log entry: an upper-case name and its value in UTF-8. A value may hold
// any bytes, line ends too; a sink keeps it whole.
struct LogField {
  std::string name;
  std::string value;
};

// "present", "arrived", "removed": VELLMOR_EVENT's value.
std::string_view LogEventName(LogEvent event);

// The journal's MESSAGE_ID for the kind of event, 32 hex digits; fixed for good, since
// collectors and the message catalog select on it.
std::string_view LogMessageId(LogEvent event);

// The Windows event id: 1 arrived, 2 removed, 3 present.
unsigned LogEventId(LogEvent event);

// True when a note says the serial does not tell this stick from others.
bool SerialIsAmbiguous(const UsbDevice& device);

// The journal's priority: 6 (informational), 4 (warning) for an ambiguous serial.
int LogPriority(const UsbDevice& device);

// The entry's fields in their fixed order: MESSAGE, MESSAGE_ID, PRIORITY,
// SYSLOG_IDENTIFIER, then the VELLMOR_* fields, VELLMOR_DRIVE_JSON last. A field whose
// JSON value is null is left out.
std::vector<LogField> LogFields(LogEvent event, const UsbDevice& device);

// The VELLMOR_* names in the order the Windows insertion strings follow (%1 to %14);
// a field left out of the journal is an empty string there.
const std::vector<std::string_view>& InsertionFieldNames();

// Where log entries go: the systemd journal, the Windows Application log, a list in tests.
class LogSink {
 public:
  virtual ~LogSink() = default;
  // False, and the reason in `error`, when the entry could not be written.
  virtual bool Write(LogEvent event, const UsbDevice& device, std::string& error) = 0;
};

// An entry per mass-storage device among `devices`, in their order; false at the first
// entry that cannot be written.
bool LogDrives(LogSink& sink, LogEvent event, const std::vector<UsbDevice>& devices,
               std::string& error);

// The system's log; no value, and the reason in `error`, when it cannot be opened.
std::unique_ptr<LogSink> OpenSystemLog(std::string& error);

}  // namespace vellmor::drives
