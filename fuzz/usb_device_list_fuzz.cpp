// The USB device list read from arbitrary attribute contents, with no tree on disk:
// every DeviceID must be one Windows could report (three pieces, printable ASCII, the
// hardware piece in its fixed form), read back as what it was built from, and the
// devices must come in delivery order.
//
// Input: lines describing the entries of the device list, applied in order.
//   D <name>              a device or interface entry, which later lines fill
//   A <attribute> <value> the attribute holding value and a line break
//   R <attribute> <value> the same without the line break
//   B <attribute> <count> <value>  value repeated to count bytes (at most 128 KiB)
//   H <attribute> <hex>   the bytes the hex digit pairs spell (other characters skipped)
//   X <attribute>         an attribute that cannot be read
//   S <name> <target>     an entry that reads as another one
// In names and values, \xNN is the byte NN, so line breaks, control characters
// and invalid UTF-8 can occur. Attributes are the ones the list reads.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "serial/usb_device_list.h"
#include "serial/usb_identifier.h"

namespace {

using vellmor::serial::Attribute;
using vellmor::serial::DeviceId;

constexpr std::size_t kMaxBigFile = std::size_t{128} * 1024;
constexpr std::string_view kAttributes[] = {"descriptors", "serial"};

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string Unescape(std::string_view text) {
  std::string bytes;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x' &&
        HexValue(text[i + 2]) >= 0 && HexValue(text[i + 3]) >= 0) {
      bytes.push_back(static_cast<char>(HexValue(text[i + 2]) * 16 + HexValue(text[i + 3])));
      i += 3;
    } else {
      bytes.push_back(text[i]);
    }
  }
  return bytes;
}

// Binary attributes such as descriptors, written compactly.
std::string FromHex(std::string_view text) {
  std::string bytes;
  int high = -1;
  for (const char c : text) {
    const int value = HexValue(c);
    if (value < 0) {
      continue;
    }
    if (high < 0) {
      high = value;
    } else {
      bytes.push_back(static_cast<char>(high * 16 + value));
      high = -1;
    }
  }
  return bytes;
}

// The first word of text, and text moves past it and one blank.
std::string_view TakeWord(std::string_view& text) {
  const std::size_t blank = text.find(' ');
  const std::string_view word = text.substr(0, blank);
  text = blank == std::string_view::npos ? std::string_view() : text.substr(blank + 1);
  return word;
}

// A single entry of the listing; anything that would leave it is refused.
bool IsEntryName(std::string_view name) {
  return !name.empty() && name.size() < 256 && name != "." && name != ".." &&
         name.find('/') == std::string_view::npos && name.find('\0') == std::string_view::npos;
}

bool IsAttribute(std::string_view name) {
  return std::find(std::begin(kAttributes), std::end(kAttributes), name) != std::end(kAttributes);
}

// The device list in memory: entry names in listing order, each entry's attributes,
// and the entries that read as another.
struct DeviceList {
  std::vector<std::string> names;
  std::map<std::string, std::map<std::string, Attribute>> attributes;
  std::map<std::string, std::string> aliases;

  Attribute Read(const std::string& relative) const {
    const std::size_t slash = relative.find('/');
    std::string name = relative.substr(0, slash);
    if (const auto alias = aliases.find(name); alias != aliases.end()) {
      name = alias->second;
    }
    const auto entry = attributes.find(name);
    if (entry == attributes.end()) {
      return {};
    }
    const auto attribute = entry->second.find(relative.substr(slash + 1));
    return attribute == entry->second.end() ? Attribute{} : attribute->second;
  }
};

DeviceList BuildList(std::string_view input) {
  DeviceList list;
  std::string current;
  while (!input.empty()) {
    const std::size_t end = input.find('\n');
    std::string_view line = input.substr(0, end);
    input = end == std::string_view::npos ? std::string_view() : input.substr(end + 1);

    const std::string_view op = TakeWord(line);
    if (op == "D") {
      const std::string name = Unescape(line);
      if (IsEntryName(name) && !list.attributes.contains(name) && !list.aliases.contains(name)) {
        list.names.push_back(name);
        list.attributes[name];
      }
      current = list.attributes.contains(name) ? name : std::string();
    } else if (op == "S") {
      const std::string name = Unescape(TakeWord(line));
      const std::string target = Unescape(line);
      if (IsEntryName(name) && IsEntryName(target) && !list.attributes.contains(name) &&
          !list.aliases.contains(name)) {
        list.names.push_back(name);
        list.aliases[name] = target;
      }
    } else if (!current.empty() &&
               (op == "A" || op == "R" || op == "B" || op == "H" || op == "X")) {
      const std::string attribute(TakeWord(line));
      if (!IsAttribute(attribute)) {
        continue;
      }
      Attribute& file = list.attributes[current][attribute];
      file = {Attribute::Status::kText, {}};
      if (op == "X") {
        file.status = Attribute::Status::kUnreadable;
      } else if (op == "B") {
        const std::size_t count = std::min<std::size_t>(
            std::strtoul(std::string(TakeWord(line)).c_str(), nullptr, 10), kMaxBigFile);
        const std::string unit = Unescape(line);
        while (!unit.empty() && file.text.size() < count) {
          file.text.append(unit, 0, std::min(unit.size(), count - file.text.size()));
        }
      } else if (op == "H") {
        file.text = FromHex(line);
      } else {
        file.text = Unescape(line) + (op == "A" ? "\n" : "");
      }
    }
  }
  return list;
}

bool IsUpperHex(std::u16string_view text) {
  return std::all_of(text.begin(), text.end(), [](char16_t c) {
    return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F');
  });
}

// USB\<hardware>\<instance>, as Windows forms them: the instance holds no
// backslash (nor a comma, a control character or anything beyond ASCII), so
// the last piece is the whole instance.
void CheckWellFormed(const std::u16string& id) {
  FUZZ_CHECK(std::count(id.begin(), id.end(), u'\\') == 2);
  const std::size_t first = id.find(u'\\');
  const std::size_t second = id.find(u'\\', first + 1);
  const std::u16string_view bus = std::u16string_view(id).substr(0, first);
  const std::u16string_view hardware =
      std::u16string_view(id).substr(first + 1, second - first - 1);
  const std::u16string_view instance = std::u16string_view(id).substr(second + 1);
  FUZZ_CHECK(bus == u"USB");

  const bool rootHub =
      hardware == u"ROOT_HUB" || hardware == u"ROOT_HUB20" || hardware == u"ROOT_HUB30";
  const bool device = hardware.size() == 17 && hardware.substr(0, 4) == u"VID_" &&
                      IsUpperHex(hardware.substr(4, 4)) && hardware.substr(8, 5) == u"&PID_" &&
                      IsUpperHex(hardware.substr(13, 4));
  FUZZ_CHECK(rootHub || device);

  FUZZ_CHECK(!instance.empty());
  for (const char16_t c : instance) {
    FUZZ_CHECK(c >= 0x20 && c <= 0x7F && c != u',' && !(c >= u'a' && c <= u'z'));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const DeviceList list = BuildList(std::string_view(reinterpret_cast<const char*>(data), size));
  const std::vector<vellmor::serial::SysfsUsbDevice> devices = vellmor::serial::ReadUsbDeviceList(
      list.names, [&list](const std::string& relative) { return list.Read(relative); });

  bool mass_storage_seen = false;
  for (const vellmor::serial::SysfsUsbDevice& device : devices) {
    // Mass-storage devices come last.
    FUZZ_CHECK(device.mass_storage || !mass_storage_seen);
    mass_storage_seen = mass_storage_seen || device.mass_storage;
    if (device.id.kind != DeviceId::Kind::kText) {
      continue;
    }
    CheckWellFormed(device.id.text);
    if (const auto parts = vellmor::serial::ParseUsbIdentifier(device.id.text)) {
      FUZZ_CHECK(parts->vendor == device.vendor && parts->product == device.product);
      FUZZ_CHECK(!device.serial_made_up || vellmor::serial::IsGeneratedInstance(parts->instance));
    }
  }
  return 0;
}
