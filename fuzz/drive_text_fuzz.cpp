// The writers of drive text that other programs parse: JsonString and the CSV list cell.
// Whatever texts go in, parsing what they wrote must give the texts back: JSON exactly,
// unpaired surrogates included; CSV as UTF-8 can carry them (each as U+FFFD).
//
// Input: little-endian UTF-16 code units; the unit FFFF separates the items.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/utf.h"
#include "drives/drive_text.h"
#include "drives/json_text.h"
#include "fuzz_check.h"

namespace {

using vellmor::Utf8ToUtf16;

bool IsHigh(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLow(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

std::optional<unsigned> Hex(std::u16string_view digits) {
  unsigned value = 0;
  for (const char16_t digit : digits) {
    value <<= 4U;
    if (digit >= u'0' && digit <= u'9') {
      value |= static_cast<unsigned>(digit - u'0');
    } else if (digit >= u'a' && digit <= u'f') {
      value |= static_cast<unsigned>(digit - u'a' + 10);
    } else if (digit >= u'A' && digit <= u'F') {
      value |= static_cast<unsigned>(digit - u'A' + 10);
    } else {
      return std::nullopt;
    }
  }
  return value;
}

// A JSON string literal as RFC 8259 reads it.
std::u16string ParseJsonString(const std::string& json) {
  FUZZ_CHECK(json.size() >= 2 && json.front() == '"' && json.back() == '"');
  const auto text = Utf8ToUtf16(std::string_view(json).substr(1, json.size() - 2));
  FUZZ_CHECK(text.has_value());
  std::u16string value;
  for (std::size_t i = 0; i < text->size(); ++i) {
    const char16_t unit = (*text)[i];
    FUZZ_CHECK(unit >= 0x20 && unit != u'"');
    if (unit != u'\\') {
      value += unit;
      continue;
    }
    FUZZ_CHECK(i + 1 < text->size());
    const char16_t escape = (*text)[++i];
    const std::u16string_view simple = u"\"\\/bfnrt";
    const std::u16string_view meant = u"\"\\/\b\f\n\r\t";
    if (const auto at = simple.find(escape); at != std::u16string_view::npos) {
      value += meant[at];
      continue;
    }
    FUZZ_CHECK(escape == u'u' && i + 4 < text->size());
    const auto code = Hex(std::u16string_view(*text).substr(i + 1, 4));
    FUZZ_CHECK(code.has_value());
    value += static_cast<char16_t>(*code);
    i += 4;
  }
  return value;
}

// The fields of one CSV line ended by CRLF, as RFC 4180 quotes them.
std::vector<std::string> ParseCsvLine(const std::string& line) {
  FUZZ_CHECK(line.size() >= 2 && line.ends_with("\r\n"));
  const std::string_view body = std::string_view(line).substr(0, line.size() - 2);
  std::vector<std::string> fields(1);
  bool quoted = false;
  for (std::size_t i = 0; i < body.size(); ++i) {
    const char c = body[i];
    if (quoted) {
      if (c == '"' && i + 1 < body.size() && body[i + 1] == '"') {
        fields.back() += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        fields.back() += c;
      }
    } else if (c == '"' && fields.back().empty()) {
      quoted = true;
    } else if (c == ',') {
      fields.emplace_back();
    } else {
      FUZZ_CHECK(c != '"' && c != '\r' && c != '\n');
      fields.back() += c;
    }
  }
  FUZZ_CHECK(!quoted);
  return fields;
}

// A list cell back into its items: the formula guard dropped, then ";" splits and "\"
// escapes (\\, \;, \xNN); a lone "\" is one empty item.
std::vector<std::u16string> ParseListCell(const std::string& cell) {
  auto text = Utf8ToUtf16(cell);
  FUZZ_CHECK(text.has_value());
  for (const char16_t unit : *text) {
    FUZZ_CHECK(unit >= 0x20 && (unit < 0x7F || unit > 0x9F));
  }
  const std::size_t start = text->find_first_not_of(u'\'');
  if (!text->empty() && text->front() == u'\'' && start != std::u16string::npos &&
      std::u16string_view(u"=+-@").find((*text)[start]) != std::u16string_view::npos) {
    text->erase(0, 1);
  }
  std::vector<std::u16string> items;
  if (text->empty()) {
    return items;
  }
  if (*text == u"\\") {
    return {u""};
  }
  items.emplace_back();
  for (std::size_t i = 0; i < text->size(); ++i) {
    const char16_t unit = (*text)[i];
    if (unit == u';') {
      items.emplace_back();
    } else if (unit != u'\\') {
      items.back() += unit;
    } else {
      FUZZ_CHECK(i + 1 < text->size());
      const char16_t next = (*text)[++i];
      if (next == u'x') {
        FUZZ_CHECK(i + 2 < text->size());
        const auto code = Hex(std::u16string_view(*text).substr(i + 1, 2));
        FUZZ_CHECK(code.has_value());
        items.back() += static_cast<char16_t>(*code);
        i += 2;
      } else {
        FUZZ_CHECK(next == u'\\' || next == u';');
        items.back() += next;
      }
    }
  }
  return items;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::u16string> items(1);
  for (std::size_t i = 0; i + 1 < size; i += 2) {
    const auto unit = static_cast<char16_t>(data[i] | data[i + 1] << 8U);
    if (unit == 0xFFFF) {
      items.emplace_back();
    } else {
      items.back() += unit;
    }
  }

  std::vector<std::u16string> expected;
  for (const std::u16string& item : items) {
    FUZZ_CHECK(ParseJsonString(vellmor::drives::JsonString(item)) == item);
    // What UTF-8 can carry: an unpaired surrogate as U+FFFD.
    std::u16string carried;
    for (std::size_t i = 0; i < item.size(); ++i) {
      if (IsHigh(item[i]) && i + 1 < item.size() && IsLow(item[i + 1])) {
        carried += item.substr(i++, 2);
      } else {
        carried += IsHigh(item[i]) || IsLow(item[i]) ? u'\xFFFD' : item[i];
      }
    }
    expected.push_back(carried);
  }
  const std::string cell = vellmor::drives::CsvListCell(items);
  const std::vector<std::string> fields = ParseCsvLine(vellmor::drives::CsvLine({cell, cell}));
  FUZZ_CHECK(fields.size() == 2 && fields[0] == fields[1]);
  FUZZ_CHECK(ParseListCell(fields[0]) == expected);
  return 0;
}
