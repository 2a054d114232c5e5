#include "usb_identifier.h"

#include <algorithm>
#include <cstddef>
#include <initializer_list>
#include <string>

#include "base/hex_digits.h"
#include "base/utf.h"

namespace vellmor::serial {

namespace {

// Windows numbers instance prefixes from the PCI root: root hubs sit at 4.
constexpr std::size_t kRootHubDepth = 4;

std::string Hex(std::uint32_t value, std::size_t digits) {
  std::string text(digits, '0');
  for (std::size_t i = digits; i > 0; --i) {
    text[i - 1] = UpperHexDigit(value);
    value >>= 4U;
  }
  return text;
}

std::string UpperCase(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') {
      c = static_cast<char>(c - 'a' + 'A');
    }
  }
  return upper;
}

std::string Join(std::initializer_list<std::string_view> parts) {
  std::size_t size = 0;
  for (const std::string_view part : parts) {
    size += part.size();
  }
  std::string text;
  text.reserve(size);
  for (const std::string_view part : parts) {
    text.append(part);
  }
  return text;
}

std::uint32_t StableHash(std::string_view text) {
  std::uint32_t hash = 2166136261U;
  for (const char c : text) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 16777619U;
  }
  return hash;
}

// The instance part Windows makes up when it has no serial: the nesting depth,
// a hash naming the parent and, below a hub, the port.
std::string GeneratedInstance(std::size_t depth, std::string_view parent,
                              std::optional<std::uint32_t> port) {
  std::string instance = Join({std::to_string(depth), "&", Hex(StableHash(parent), 8), "&0"});
  if (port) {
    instance = Join({instance, "&", std::to_string(*port)});
  }
  return instance;
}

// The USB version of a root hub decides which root hub class Windows names.
std::optional<std::string_view> RootHubClass(std::uint16_t usb_version) {
  switch (usb_version >> 8U) {
    case 1:
      return "ROOT_HUB";
    case 2:
      return "ROOT_HUB20";
    case 3:
      return "ROOT_HUB30";
    default:
      return std::nullopt;
  }
}

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

bool IsHexDigit(char16_t c) {
  return IsDigit(c) || (c >= u'A' && c <= u'F') || (c >= u'a' && c <= u'f');
}

std::optional<std::uint16_t> Hex4(std::u16string_view text) {
  if (text.size() < 4) {
    return std::nullopt;
  }
  std::uint16_t value = 0;
  for (std::size_t i = 0; i < 4; ++i) {
    const char16_t c = text[i];
    if (!IsHexDigit(c)) {
      return std::nullopt;
    }
    const int digit = IsDigit(c) ? c - u'0' : (c | 0x20) - u'a' + 10;
    value = static_cast<std::uint16_t>(value * 16 + digit);
  }
  return value;
}

// Splits off the text up to `separator`; false when there is none.
bool Take(std::u16string_view& text, char16_t separator, std::u16string_view& part) {
  const auto at = text.find(separator);
  if (at == std::u16string_view::npos) {
    return false;
  }
  part = text.substr(0, at);
  text.remove_prefix(at + 1);
  return true;
}

bool AllOf(std::u16string_view text, bool (*test)(char16_t)) {
  if (text.empty()) {
    return false;
  }
  for (const char16_t c : text) {
    if (!test(c)) {
      return false;
    }
  }
  return true;
}

}  // namespace

// An instance name never holds a backslash: it would split the identifier, and the
// selection rule would show only the serial's tail.
std::optional<std::string_view> UsableSerial(std::string_view attribute) {
  if (attribute.ends_with('\n')) {
    attribute.remove_suffix(1);
  }
  const bool usable =
      !attribute.empty() && std::all_of(attribute.begin(), attribute.end(), [](char c) {
        const auto code = static_cast<unsigned char>(c);
        return code >= 0x20 && code <= 0x7F && c != ',' && c != '\\';
      });
  return usable ? std::optional<std::string_view>(attribute) : std::nullopt;
}

DeviceId WindowsUsbDeviceId(const DeviceDescriptor& descriptor, const DevicePosition& position,
                            std::optional<std::string_view> usable_serial) {
  if (position.ports.empty()) {
    const auto hub_class = RootHubClass(descriptor.usb_version);
    if (!hub_class) {
      return DeviceId::Unreadable();
    }
    const std::string instance =
        GeneratedInstance(kRootHubDepth, Join({"bus", std::to_string(position.bus)}), std::nullopt);
    return DeviceId::Text(Widen(Join({"USB\\", *hub_class, "\\", instance})));
  }
  std::string instance;
  if (usable_serial) {
    instance = UpperCase(*usable_serial);
  } else {
    // The hub the device hangs on, named as the kernel names it.
    std::string parent = Join({"usb", std::to_string(position.bus)});
    if (position.ports.size() > 1) {
      parent = Join({std::to_string(position.bus), "-", std::to_string(position.ports.front())});
      for (std::size_t i = 1; i + 1 < position.ports.size(); ++i) {
        parent = Join({parent, ".", std::to_string(position.ports[i])});
      }
    }
    instance =
        GeneratedInstance(kRootHubDepth + position.ports.size(), parent, position.ports.back());
  }
  return DeviceId::Text(Widen(Join({"USB\\VID_", Hex(descriptor.vendor, 4), "&PID_",
                                    Hex(descriptor.product, 4), "\\", instance})));
}

DeviceId WindowsUsbInterfaceId(const DeviceDescriptor& descriptor, const DevicePosition& position,
                               std::string_view kernel_name, std::uint8_t number) {
  const std::string instance =
      Join({GeneratedInstance(kRootHubDepth + position.ports.size() + 1, kernel_name, std::nullopt),
            "&", Hex(number, 4)});
  return DeviceId::Text(
      Widen(Join({"USB\\VID_", Hex(descriptor.vendor, 4), "&PID_", Hex(descriptor.product, 4),
                  "&MI_", Hex(number, 2), "\\", instance})));
}

// "VID_0781&PID_5567": shorter is no pair of ids (and would cut past the end).
constexpr std::size_t kIdsLength = 17;

std::optional<UsbIdentifierParts> ParseUsbIdentifier(std::u16string_view identifier) {
  std::u16string_view bus;
  std::u16string_view ids;
  if (!Take(identifier, u'\\', bus) || bus != u"USB" || !Take(identifier, u'\\', ids) ||
      identifier.find(u'\\') != std::u16string_view::npos || !ids.starts_with(u"VID_") ||
      ids.size() < kIdsLength || ids.substr(8, 5) != u"&PID_") {
    return std::nullopt;
  }
  const auto vendor = Hex4(ids.substr(4));
  const auto product = Hex4(ids.substr(13));
  if (!vendor || !product) {
    return std::nullopt;
  }
  return UsbIdentifierParts{*vendor, *product, identifier};
}

bool IsGeneratedInstance(std::u16string_view instance) {
  std::u16string_view depth;
  std::u16string_view hash;
  std::u16string_view zero;
  if (!Take(instance, u'&', depth) || !Take(instance, u'&', hash) || !AllOf(depth, IsDigit) ||
      !AllOf(hash, IsHexDigit)) {
    return false;
  }
  // "…&0" on a root port, "…&0&PORT" below a hub.
  if (!Take(instance, u'&', zero)) {
    return AllOf(instance, IsDigit);
  }
  return AllOf(zero, IsDigit) && AllOf(instance, IsDigit);
}

}  // namespace vellmor::serial
