#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "allowed_list.h"
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

// The Windows event id: 1 arrived, 2 removed, 3 present. With an allowed list the
// message has one more insertion string, so it is the same id with facility 1 in the
// qualifiers (0x00010001): Event Viewer and collectors still show 1, 2, 3.
unsigned LogEventId(LogEvent event, bool allowed_list = false);

// True when a note says the serial does not tell this stick from others.
bool SerialIsAmbiguous(const UsbDevice& device);

// The journal's priority: 6 (informational), 4 (warning) for an ambiguous serial or a
// stick the allowed list does not allow. `allowed` is null without a list.
int LogPriority(const UsbDevice& device, const AllowedVerdict* allowed = nullptr);

// The entry's fields in their fixed order: MESSAGE, MESSAGE_ID, PRIORITY,
// SYSLOG_IDENTIFIER, then the VELLMOR_* fields, VELLMOR_DRIVE_JSON, and with an allowed
// list VELLMOR_ALLOWED (1 or 0) last. A field whose JSON value is null is left out.
std::vector<LogField> LogFields(LogEvent event, const UsbDevice& device,
                                const AllowedVerdict* allowed = nullptr);

// The VELLMOR_* names in the order the Windows insertion strings follow (%1 to %14, and
// %15 VELLMOR_ALLOWED with an allowed list); a field left out of the journal is an empty
// string there.
const std::vector<std::string_view>& InsertionFieldNames(bool allowed_list = false);

// Where log entries go: the systemd journal, the Windows Application log, a list in tests.
class LogSink {
 public:
  virtual ~LogSink() = default;
  // False, and the reason in `error`, when the entry could not be written. `allowed` is
  // what the allowed list says of the drive; null without a list.
  virtual bool Write(LogEvent event, const UsbDevice& device, const AllowedVerdict* allowed,
                     std::string& error) = 0;
};

// An entry per mass-storage device among `devices`, in their order, each judged by
// `allowed` when there is a list; false at the first entry that cannot be written.
bool LogDrives(LogSink& sink, LogEvent event, const std::vector<UsbDevice>& devices,
               std::string& error, const AllowedList* allowed = nullptr);

// The system's log; no value, and the reason in `error`, when it cannot be opened.
std::unique_ptr<LogSink> OpenSystemLog(std::string& error);

}  // namespace vellmor::drives
