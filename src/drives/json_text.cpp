#include "json_text.h"

#include <cstddef>

#include "base/hex_digits.h"
#include "base/utf.h"

namespace vellmor::drives {

namespace {

// C1 controls (a terminal takes U+009B for CSI), the line and paragraph separators
// JavaScript will not take raw, and the bidirectional overrides and isolates that
// turn the text a reader sees around: escaped, so the text stays exact but inert.
bool IsInvisibleControl(char16_t unit) {
  return (unit >= 0x80 && unit <= 0x9F) || unit == 0x2028 || unit == 0x2029 ||
         (unit >= 0x202A && unit <= 0x202E) || (unit >= 0x2066 && unit <= 0x2069);
}

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

void AppendUnitEscape(std::string& json, char16_t unit) {
  json += "\\u";
  for (int shift = 12; shift >= 0; shift -= 4) {
    json += LowerHexDigit(static_cast<unsigned>(unit >> shift));
  }
}

// A quote, backslash, control character or unpaired surrogate.
void AppendEscape(std::string& json, char16_t unit) {
  switch (unit) {
    case u'"':
      json += "\\\"";
      break;
    case u'\\':
      json += "\\\\";
      break;
    case u'\b':
      json += "\\b";
      break;
    case u'\f':
      json += "\\f";
      break;
    case u'\n':
      json += "\\n";
      break;
    case u'\r':
      json += "\\r";
      break;
    case u'\t':
      json += "\\t";
      break;
    default:
      AppendUnitEscape(json, unit);
      break;
  }
}

}  // namespace

std::string JsonString(std::u16string_view text) {
  std::string json = "\"";
  // Runs of plain characters go through the UTF-8 encoder whole; they never
  // hold an unpaired surrogate, so nothing is replaced on the way.
  std::size_t run = 0;
  const auto flush = [&](std::size_t end) { json += Utf16ToUtf8(text.substr(run, end - run)); };
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    if (IsHighSurrogate(unit) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      ++i;
      continue;
    }
    const bool unpaired = IsHighSurrogate(unit) || IsLowSurrogate(unit);
    if (!unpaired && unit >= 0x20 && unit != u'"' && unit != u'\\' && !IsInvisibleControl(unit)) {
      continue;
    }
    flush(i);
    AppendEscape(json, unit);
    run = i + 1;
  }
  flush(text.size());
  json += '"';
  return json;
}

std::string JsonValue(const std::optional<std::u16string>& text) {
  return text ? JsonString(*text) : std::string("null");
}

}  // namespace vellmor::drives
