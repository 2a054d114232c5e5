#include "read_serial_command.h"

#include <optional>

#include "digest/digest.h"

namespace vellmor::serial {

ShownSerial RunReadSerialCommand(const std::function<SerialValue()>& cc, ReadSerialView& view) {
  // One query per click: Text1 and Text2 must describe the same device, which two
  // queries cannot promise when a drive comes or goes in between.
  ShownSerial shown;
  shown.serial = cc();

  view.SetText1(shown.serial.value_or(std::u16string()));
  if (view.Text1().empty()) {
    view.ShowWarning(kWarningText, vellmor::kApplicationTitle);
    shown.warned = true;
  }

  std::optional<std::u16string_view> text;
  if (shown.serial) {
    text = *shown.serial;
  }
  shown.digest = digest::DigestText(text, kDigestLength);
  view.SetText2(shown.digest);
  return shown;
}

}  // namespace vellmor::serial
