#include "read_serial_command.h"

#include <optional>

#include "digest/digest.h"

namespace vellmor::serial {

void RunReadSerialCommand(const std::function<SerialValue()>& cc, ReadSerialView& view) {
  // One query per click: Text1 and Text2 must describe the same device, which two
  // queries cannot promise when a drive comes or goes in between.
  const SerialValue serial = cc();

  view.SetText1(serial.value_or(std::u16string()));
  if (view.Text1().empty()) {
    view.ShowWarning(kWarningText, kApplicationTitle);
  }

  std::optional<std::u16string_view> text;
  if (serial) {
    text = *serial;
  }
  view.SetText2(digest::DigestText(text, kDigestLength));
}

}  // namespace vellmor::serial
