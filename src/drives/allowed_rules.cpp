#include "allowed_rules.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <optional>

#include "base/utf.h"
#include "drive_json.h"
#include "serial/usb_identifier.h"
#include "serial_notes.h"

namespace vellmor::drives {

namespace {

constexpr std::string_view kMassStorageOnly = " with-interface match-all { 08:*:* }";

// Why the entry cannot become a rule that lets in one stick; empty when it can.
std::string Untrusted(const AllowedEntry& entry) {
  if (entry.kind == AllowedEntry::Kind::kDigest) {
    return "a digest cannot be turned back into the serial a rule needs; list the stick as "
           "VID:PID SERIAL";
  }
  if (IsPlaceholderSerial(entry.text)) {
    return "the serial is a placeholder many sticks share: a rule would let in each of them";
  }
  return "";
}

void Refuse(RuleExport& rules, std::string_view name, const AllowedEntry& entry,
            const std::string& reason) {
  rules.refused.push_back(std::string(name) + ':' + std::to_string(entry.line) + ": " + reason);
}

std::string LowerHex(std::uint16_t value) {
  std::array<char, 5> text{};
  std::snprintf(text.data(), text.size(), "%04x", static_cast<unsigned>(value));
  return text.data();
}

// The serial as written and, since the read shows serials in upper case, the cases a
// stick may report it in: USBGuard compares it exactly.
std::string UsbGuardSerial(std::u16string_view serial) {
  std::vector<std::u16string> forms = {std::u16string(serial)};
  for (std::u16string form : {AsciiUpperCase(serial), AsciiLowerCase(serial)}) {
    if (std::find(forms.begin(), forms.end(), form) == forms.end()) {
      forms.push_back(std::move(form));
    }
  }
  if (forms.size() == 1) {
    return " serial " + UsbGuardString(serial);
  }
  std::string text = " serial one-of {";
  for (const std::u16string& form : forms) {
    text += ' ' + UsbGuardString(form);
  }
  return text + " }";
}

}  // namespace

std::string UsbGuardString(std::u16string_view text) {
  std::string quoted = "\"";
  for (const char c : Utf16ToUtf8(text)) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      quoted += '\\';
      quoted += c;
    } else if (byte >= 0x20 && byte < 0x7F) {
      quoted += c;
    } else {
      std::array<char, 5> escape{};
      std::snprintf(escape.data(), escape.size(), "\\x%02x", static_cast<unsigned>(byte));
      quoted += escape.data();
    }
  }
  return quoted + '"';
}

RuleExport UsbGuardRules(const AllowedList& list, std::string_view name) {
  RuleExport rules;
  for (const AllowedEntry& entry : list.entries) {
    std::string reason = Untrusted(entry);
    if (reason.empty() && serial::IsGeneratedInstance(entry.text)) {
      reason =
          "the instance is made up by Windows from the port: the stick reports no serial a "
          "rule can match";
    }
    if (!reason.empty()) {
      Refuse(rules, name, entry, reason);
    } else if (entry.kind == AllowedEntry::Kind::kPinned) {
      rules.lines.push_back("allow id " + LowerHex(entry.vendor) + ':' + LowerHex(entry.product) +
                            UsbGuardSerial(entry.text) + std::string(kMassStorageOnly));
    } else {
      // A serial alone: any model, as the list says.
      rules.lines.push_back("allow" + UsbGuardSerial(entry.text) + std::string(kMassStorageOnly));
    }
  }
  return rules;
}

RuleExport WindowsInstanceIds(const AllowedList& list, std::string_view name) {
  RuleExport ids;
  for (const AllowedEntry& entry : list.entries) {
    std::string reason = Untrusted(entry);
    const std::string serial = Utf16ToUtf8(entry.text);
    if (!reason.empty()) {
      Refuse(ids, name, entry, reason);
    } else if (entry.kind == AllowedEntry::Kind::kSerial) {
      Refuse(ids, name, entry,
             "an instance id holds the vendor and product ids too; list the stick as VID:PID "
             "SERIAL");
    } else if (!serial::UsableSerial(serial)) {
      Refuse(ids, name, entry,
             "Windows does not take this serial for the instance and makes one up from the port");
    } else {
      // The instance Windows made up from the port is an instance id as well: it pins the
      // stick to that port.
      ids.lines.push_back("USB\\VID_" + HexId(entry.vendor) + "&PID_" + HexId(entry.product) +
                          '\\' + Utf16ToUtf8(AsciiUpperCase(entry.text)));
    }
  }
  return ids;
}

}  // namespace vellmor::drives
