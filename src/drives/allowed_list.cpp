#include "allowed_list.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>
#include <system_error>

#include "base/utf.h"
#include "digest/digest.h"
#include "drive_json.h"
#include "serial/digest_check.h"
#include "serial/read_serial_command.h"
#include "serial/selection_rule.h"
#include "serial/usb_identifier.h"
#include "serial_notes.h"

namespace vellmor::drives {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

bool IsHexDigit(char16_t c) {
  return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

// Controls, and the invisible marks a copy from a document or a second byte-order mark
// leaves behind, which would make a serial that never matches.
bool IsControl(char16_t c) {
  return (c < 0x20 && c != u'\t') || (c >= 0x7F && c <= 0x9F) || (c >= 0x200B && c <= 0x200F) ||
         (c >= 0x2028 && c <= 0x202E) || c == 0xFEFF;
}

std::u16string_view Trimmed(std::u16string_view text) {
  while (!text.empty() && IsBlank(text.front())) {
    text.remove_prefix(1);
  }
  while (!text.empty() && IsBlank(text.back())) {
    text.remove_suffix(1);
  }
  return text;
}

std::optional<std::uint16_t> Hex4(std::u16string_view text) {
  if (text.size() != 4 || !std::ranges::all_of(text, IsHexDigit)) {
    return std::nullopt;
  }
  std::uint16_t value = 0;
  for (const char16_t c : text) {
    const int digit = c <= u'9' ? c - u'0' : (c | 0x20) - u'a' + 10;
    value = static_cast<std::uint16_t>(value * 16 + digit);
  }
  return value;
}

// The entry on one line, or the reason it is refused; nothing for a blank or comment line.
std::optional<AllowedEntry> ParseLine(std::u16string_view line, std::string& problem) {
  line = Trimmed(line.substr(0, line.find(u'#')));
  if (line.empty()) {
    return std::nullopt;
  }
  if (std::ranges::any_of(line, IsControl)) {
    problem = "holds a control character";
    return std::nullopt;
  }
  AllowedEntry entry;
  const std::size_t blank = std::min(line.find(u' '), line.find(u'\t'));
  const std::u16string_view first = line.substr(0, blank);
  if (blank < line.size() && first.find(u':') != std::u16string_view::npos) {
    const std::size_t colon = first.find(u':');
    const auto vendor = Hex4(first.substr(0, colon));
    const auto product = Hex4(first.substr(colon + 1));
    if (!vendor || !product) {
      problem = "vendor and product ids are 4 hexadecimal digits each, as in 0781:5567 SERIAL";
      return std::nullopt;
    }
    entry.kind = AllowedEntry::Kind::kPinned;
    entry.vendor = *vendor;
    entry.product = *product;
    line = Trimmed(line.substr(blank));
  } else if (blank == std::u16string_view::npos && line.size() == 9 && Hex4(line.substr(0, 4)) &&
             line[4] == u':' && Hex4(line.substr(5))) {
    problem = "needs a serial after the vendor and product ids";
    return std::nullopt;
  } else if (std::ranges::all_of(line, IsHexDigit) && line.size() + 1 >= serial::kDigestLength &&
             line.size() <= serial::kDigestLength + 1U) {
    // One digit more or less than a digest is a digest copied wrong, not a serial.
    if (line.size() != serial::kDigestLength) {
      problem = "a digest has 32 hexadecimal digits, this one " + std::to_string(line.size()) +
                " (a serial of this shape goes after its VID:PID)";
      return std::nullopt;
    }
    entry.kind = AllowedEntry::Kind::kDigest;
    entry.text = AsciiUpperCase(line);
    return entry;
  }
  if (line.size() > kLongestSerial) {
    problem = "a serial has at most " + std::to_string(kLongestSerial) + " characters";
    return std::nullopt;
  }
  entry.text = line;
  return entry;
}

bool SameSerial(std::u16string_view a, std::u16string_view b) {
  return AsciiUpperCase(a) == AsciiUpperCase(b);
}

}  // namespace

std::optional<AllowedList> ParseAllowedList(std::string_view bytes, std::string_view name,
                                            std::string& error) {
  if (bytes.starts_with(kByteOrderMark)) {
    bytes.remove_prefix(kByteOrderMark.size());
  }
  AllowedList list;
  std::size_t number = 0;
  while (!bytes.empty()) {
    ++number;
    const std::size_t end = std::min(bytes.find('\n'), bytes.size());
    std::string_view raw = bytes.substr(0, end);
    bytes.remove_prefix(std::min(end + 1, bytes.size()));
    if (raw.ends_with('\r')) {
      raw.remove_suffix(1);
    }
    const auto line = Utf8ToUtf16(raw);
    std::string problem = "is not valid UTF-8";
    if (line) {
      problem.clear();
      if (auto entry = ParseLine(*line, problem)) {
        entry->line = number;
        list.entries.push_back(std::move(*entry));
      }
    }
    if (!problem.empty()) {
      error = std::string(name) + ':' + std::to_string(number) + ": the line " + problem;
      return std::nullopt;
    }
  }
  return list;
}

std::optional<AllowedList> ReadAllowedList(const std::filesystem::path& path, std::string_view name,
                                           std::string& error) {
  std::error_code ignored;
  std::ifstream file;
  if (!std::filesystem::is_directory(path, ignored)) {
    file.open(path, std::ios::binary);
  }
  std::ostringstream bytes;
  if (file) {
    bytes << file.rdbuf();
  }
  if (!file.is_open() || file.bad()) {
    error = std::string(name) + ": " +
            (std::filesystem::exists(path, ignored) ? "cannot be read" : "no such file");
    return std::nullopt;
  }
  return ParseAllowedList(bytes.view(), name, error);
}

bool IdentifiesOneStick(const std::vector<SerialNote>& notes) {
  return std::ranges::none_of(notes, [](SerialNote note) {
    return note == SerialNote::kMadeUp || note == SerialNote::kPlaceholder ||
           note == SerialNote::kShared;
  });
}

AllowedVerdict JudgeAllowed(const AllowedList& list, const UsbDevice& device) {
  AllowedVerdict verdict;
  if (device.serial.empty()) {
    return verdict;
  }
  const bool trusted = IdentifiesOneStick(device.notes);
  std::u16string digest;
  for (const AllowedEntry& entry : list.entries) {
    bool named = false;
    switch (entry.kind) {
      case AllowedEntry::Kind::kPinned:
        if (entry.vendor == device.vendor && entry.product == device.product &&
            SameSerial(entry.text, device.serial)) {
          verdict.allowed = true;
          verdict.line = entry.line;
          return verdict;
        }
        break;
      case AllowedEntry::Kind::kSerial:
        named = SameSerial(entry.text, device.serial);
        break;
      case AllowedEntry::Kind::kDigest:
        if (digest.empty()) {
          digest = digest::DigestText(std::u16string_view(device.serial), serial::kDigestLength);
        }
        named = entry.text == digest;
        break;
    }
    if (named && trusted) {
      verdict.allowed = true;
      verdict.line = entry.line;
      return verdict;
    }
    if (named && verdict.untrusted_line == 0) {
      verdict.untrusted_line = entry.line;
    }
  }
  return verdict;
}

std::vector<UsbDevice> DevicesFromIdentifiers(const std::vector<serial::DeviceId>& ids) {
  std::vector<UsbDevice> devices;
  devices.reserve(ids.size());
  for (const serial::DeviceId& id : ids) {
    UsbDevice& device = devices.emplace_back();
    if (id.kind != serial::DeviceId::Kind::kText || !serial::MatchesVidPattern(id.text)) {
      continue;
    }
    device.device_id = id.text;
    device.serial = serial::LastPiece(id.text);
    if (const auto parts = serial::ParseUsbIdentifier(id.text)) {
      device.vendor = parts->vendor;
      device.product = parts->product;
      device.serial_made_up = serial::IsGeneratedInstance(parts->instance);
    }
  }
  AddSerialNotes(devices);
  return devices;
}

std::string AllowedText(const AllowedVerdict& verdict) {
  if (verdict.allowed) {
    return "allowed (line " + std::to_string(verdict.line) + ")";
  }
  if (verdict.untrusted_line != 0) {
    return "not allowed: line " + std::to_string(verdict.untrusted_line) +
           " names its serial, which does not identify one stick; list it as VID:PID SERIAL "
           "to allow it anyway";
  }
  return "not allowed";
}

std::string AllowedJsonFields(const AllowedVerdict& verdict) {
  const auto number = [](std::size_t line) {
    return line == 0 ? std::string("null") : std::to_string(line);
  };
  return std::string(R"(,"allowed":)") + (verdict.allowed ? "true" : "false") +
         R"(,"allowedLine":)" + number(verdict.line) + R"(,"untrustedLine":)" +
         number(verdict.untrusted_line);
}

}  // namespace vellmor::drives
