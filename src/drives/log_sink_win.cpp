#include <windows.h>

#include "base/utf.h"
#include "log_event.h"

namespace vellmor::drives {

namespace {

constexpr wchar_t kEventSource[] = L"Vellmor";

std::wstring Wide(const std::string& utf8) {
  const std::u16string text = Utf8ToUtf16(utf8).value_or(u"");
  return {text.begin(), text.end()};
}

// The Application log under the source "Vellmor". Each field is an insertion string of its
// own, so device text is never read as part of the message's format.
class EventLogSink : public LogSink {
 public:
  explicit EventLogSink(HANDLE source) : m_source(source) {}
  EventLogSink(const EventLogSink&) = delete;
  EventLogSink& operator=(const EventLogSink&) = delete;
  ~EventLogSink() override { DeregisterEventSource(m_source); }

  bool Write(LogEvent event, const UsbDevice& device, const AllowedVerdict* allowed,
             std::string& error) override {
    const std::vector<LogField> fields = LogFields(event, device, allowed);
    const bool allowed_list = allowed != nullptr;
    std::vector<std::wstring> strings;
    for (const std::string_view name : InsertionFieldNames(allowed_list)) {
      std::wstring value;
      for (const LogField& field : fields) {
        if (field.name == name) {
          value = Wide(field.value);
        }
      }
      strings.push_back(std::move(value));
    }
    std::vector<const wchar_t*> pointers;
    for (const std::wstring& text : strings) {
      pointers.push_back(text.c_str());
    }
    const WORD type =
        LogPriority(device, allowed) == 4 ? EVENTLOG_WARNING_TYPE : EVENTLOG_INFORMATION_TYPE;
    if (!ReportEventW(m_source, type, 0, LogEventId(event, allowed_list), nullptr,
                      static_cast<WORD>(pointers.size()), 0, pointers.data(), nullptr)) {
      error = "cannot write to the Application log (error " + std::to_string(GetLastError()) + ")";
      return false;
    }
    return true;
  }

 private:
  HANDLE m_source;
};

}  // namespace

std::unique_ptr<LogSink> OpenSystemLog(std::string& error) {
  // Works without the source registered too: Event Viewer then shows the strings without
  // the message.
  HANDLE source = RegisterEventSourceW(nullptr, kEventSource);
  if (source == nullptr) {
    error = "cannot open the Application log (error " + std::to_string(GetLastError()) + ")";
    return nullptr;
  }
  return std::make_unique<EventLogSink>(source);
}

}  // namespace vellmor::drives
