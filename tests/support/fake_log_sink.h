#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "drives/log_event.h"

namespace vellmor::test {

// Keeps what a real sink would be given.
class FakeLogSink : public drives::LogSink {
 public:
  struct Entry {
    drives::LogEvent event;
    std::vector<drives::LogField> fields;
  };

  bool Write(drives::LogEvent event, const drives::UsbDevice& device,
             const drives::AllowedVerdict* allowed, std::string& error) override {
    if (m_entries.size() == m_fail_after) {
      error = "full";
      return false;
    }
    m_entries.push_back({event, drives::LogFields(event, device, allowed)});
    return true;
  }

  std::vector<Entry> m_entries;
  std::size_t m_fail_after = SIZE_MAX;
};

}  // namespace vellmor::test
