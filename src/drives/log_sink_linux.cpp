#include <sys/uio.h>
#include <systemd/sd-journal.h>

#include <cstring>

#include "log_event.h"

namespace vellmor::drives {

namespace {

// libsystemd writes each field whole, in the journal's binary form when the value holds a
// line end, so device text cannot start a field of its own.
class JournalSink : public LogSink {
 public:
  bool Write(LogEvent event, const UsbDevice& device, const AllowedVerdict* allowed,
             std::string& error) override {
    std::vector<std::string> items;
    for (const LogField& field : LogFields(event, device, allowed)) {
      items.push_back(field.name + "=" + field.value);
    }
    std::vector<iovec> vector;
    vector.reserve(items.size());
    for (std::string& item : items) {
      vector.push_back({item.data(), item.size()});
    }
    const int result = sd_journal_sendv(vector.data(), static_cast<int>(vector.size()));
    if (result < 0) {
      error = std::string("cannot write to the journal: ") + std::strerror(-result);
      return false;
    }
    return true;
  }
};

}  // namespace

std::unique_ptr<LogSink> OpenSystemLog(std::string& /*error*/) {
  // The journal's socket is opened on the first entry; a missing journal shows then.
  return std::make_unique<JournalSink>();
}

}  // namespace vellmor::drives
