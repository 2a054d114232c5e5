#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "base/application_title.h"
#include "device_id.h"

namespace vellmor::serial {

inline constexpr std::u16string_view kWarningText = u"请插入U盘";
inline constexpr std::int16_t kDigestLength = 32;

// What the command touches of the window: the two text boxes and the modal warning.
class ReadSerialView {
 public:
  virtual ~ReadSerialView() = default;
  virtual void SetText1(const std::u16string& text) = 0;
  virtual std::u16string Text1() const = 0;
  // Modal: returns once the user has closed the box.
  virtual void ShowWarning(std::u16string_view text, std::u16string_view title) = 0;
  virtual void SetText2(const std::u16string& text) = 0;
};

// What one run of the command showed.
struct ShownSerial {
  // The query's answer: no value when nothing matched, which Text1 shows as empty.
  SerialValue serial;
  bool warned = false;
  std::u16string digest;
};

// The read-serial command: one query per click, its serial shown in Text1, the
// warning when Text1 reads back empty, and the digest of that same serial in Text2.
ShownSerial RunReadSerialCommand(const std::function<SerialValue()>& cc, ReadSerialView& view);

}  // namespace vellmor::serial
