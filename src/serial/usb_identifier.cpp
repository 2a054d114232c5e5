#include "usb_identifier.h"

#include <cstddef>

namespace vellmor::serial {

namespace {

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

std::optional<UsbIdentifierParts> ParseUsbIdentifier(std::u16string_view identifier) {
  std::u16string_view bus;
  std::u16string_view ids;
  if (!Take(identifier, u'\\', bus) || bus != u"USB" || !Take(identifier, u'\\', ids) ||
      identifier.find(u'\\') != std::u16string_view::npos || !ids.starts_with(u"VID_") ||
      ids.substr(8, 5) != u"&PID_") {
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
