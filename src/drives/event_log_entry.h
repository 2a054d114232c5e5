#pragma once

#include <optional>
#include <string_view>

#include "stick_history.h"

namespace vellmor::drives {

// One of the tool's Application-log events, rendered as the event log's XML, as the
// entry the history reads: the time it was logged, the MESSAGE_ID of its kind and the
// insertion strings under their VELLMOR_* names (an empty string is a field left out).
// No value for an event of another kind or without a time.
std::optional<LogEntry> EventXmlToLogEntry(std::u16string_view xml);

}  // namespace vellmor::drives
