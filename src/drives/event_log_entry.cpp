#include "event_log_entry.h"

#include <array>
#include <cstdint>
#include <string>

#include "base/utf.h"
#include "log_event.h"

namespace vellmor::drives {

namespace {

// The text between `open` and the next `close` after it, from `from` on; `from` moves past.
std::optional<std::u16string_view> Between(std::u16string_view xml, std::size_t& from,
                                           std::u16string_view open, std::u16string_view close) {
  const std::size_t start = xml.find(open, from);
  if (start == std::u16string_view::npos) {
    return std::nullopt;
  }
  const std::size_t end = xml.find(close, start + open.size());
  if (end == std::u16string_view::npos) {
    return std::nullopt;
  }
  from = end + close.size();
  return xml.substr(start + open.size(), end - start - open.size());
}

std::optional<unsigned> Number(std::u16string_view text, unsigned base) {
  if (text.empty() || text.size() > 8) {
    return std::nullopt;
  }
  unsigned value = 0;
  for (const char16_t c : text) {
    unsigned digit = base;
    if (c >= u'0' && c <= u'9') {
      digit = c - u'0';
    } else if ((c | 0x20) >= u'a' && (c | 0x20) <= u'f') {
      digit = (c | 0x20) - u'a' + 10;
    }
    if (digit >= base) {
      return std::nullopt;
    }
    value = value * base + digit;
  }
  return value;
}

// Element text with XML's five entities and character references resolved; no value for
// a reference that is not one.
std::optional<std::u16string> Unescape(std::u16string_view text) {
  std::u16string plain;
  while (!text.empty()) {
    const std::size_t amp = text.find(u'&');
    plain += text.substr(0, amp);
    if (amp == std::u16string_view::npos) {
      break;
    }
    const std::size_t semicolon = text.find(u';', amp);
    if (semicolon == std::u16string_view::npos) {
      return std::nullopt;
    }
    const std::u16string_view name = text.substr(amp + 1, semicolon - amp - 1);
    static constexpr std::array<std::pair<std::u16string_view, char16_t>, 5> kEntities = {
        {{u"amp", u'&'}, {u"lt", u'<'}, {u"gt", u'>'}, {u"quot", u'"'}, {u"apos", u'\''}}};
    bool known = false;
    for (const auto& [entity, c] : kEntities) {
      if (name == entity) {
        plain.push_back(c);
        known = true;
      }
    }
    if (!known) {
      const bool hex = name.starts_with(u"#x");
      const auto code =
          name.starts_with(u"#") ? Number(name.substr(hex ? 2 : 1), hex ? 16 : 10) : std::nullopt;
      if (!code || *code > 0x10FFFF || (*code >= 0xD800 && *code < 0xE000)) {
        return std::nullopt;
      }
      if (*code >= 0x10000) {
        plain.push_back(static_cast<char16_t>(0xD800 + ((*code - 0x10000) >> 10)));
        plain.push_back(static_cast<char16_t>(0xDC00 + ((*code - 0x10000) & 0x3FF)));
      } else {
        plain.push_back(static_cast<char16_t>(*code));
      }
    }
    text.remove_prefix(semicolon + 1);
  }
  return plain;
}

// "2026-12-07T11:30:02.1234567Z": whole seconds as the history parses them, then the
// fraction to the microsecond.
std::optional<std::uint64_t> SystemTime(std::u16string_view text) {
  if (text.size() < 20 || text.back() != u'Z') {
    return std::nullopt;
  }
  std::string ascii;
  for (const char16_t c : text) {
    if (c >= 0x80) {
      return std::nullopt;
    }
    ascii.push_back(static_cast<char>(c));
  }
  const auto seconds = ParseUtcTime(std::string_view(ascii).substr(0, 19));
  if (!seconds) {
    return std::nullopt;
  }
  std::uint64_t fraction = 0;
  std::string_view digits = std::string_view(ascii).substr(19, ascii.size() - 20);
  if (!digits.empty()) {
    if (digits.front() != '.' || digits.size() < 2) {
      return std::nullopt;
    }
    digits.remove_prefix(1);
    std::uint64_t scale = 100000;
    for (const char c : digits) {
      if (c < '0' || c > '9') {
        return std::nullopt;
      }
      fraction += static_cast<std::uint64_t>(c - '0') * scale;
      scale /= 10;
    }
  }
  return *seconds + fraction;
}

}  // namespace

std::optional<LogEntry> EventXmlToLogEntry(std::u16string_view xml) {
  std::size_t at = 0;
  const auto id_element = Between(xml, at, u"<EventID", u"</EventID>");
  const std::size_t id_start = id_element ? id_element->find(u'>') : std::u16string_view::npos;
  const auto id = id_start == std::u16string_view::npos
                      ? std::nullopt
                      : Number(id_element->substr(id_start + 1), 10);
  std::optional<LogEvent> event;
  for (const LogEvent kind : {LogEvent::kPresent, LogEvent::kArrived, LogEvent::kRemoved}) {
    if (id && *id == LogEventId(kind)) {
      event = kind;
    }
  }
  at = 0;
  const auto created = Between(xml, at, u"<TimeCreated SystemTime=", u"/>");
  if (!event || !created || created->size() < 2) {
    return std::nullopt;
  }
  const auto time = SystemTime(created->substr(1, created->find(created->front(), 1) - 1));
  if (!time) {
    return std::nullopt;
  }
  LogEntry entry;
  entry.time_usec = *time;
  entry.fields.emplace("MESSAGE_ID", LogMessageId(*event));

  at = 0;
  const auto data = Between(xml, at, u"<EventData>", u"</EventData>");
  std::u16string_view rest = data.value_or(u"");
  for (const std::string_view name : InsertionFieldNames()) {
    const std::size_t open = rest.find(u"<Data");
    const std::size_t tag_end = rest.find(u'>', open);
    if (open == std::u16string_view::npos || tag_end == std::u16string_view::npos) {
      break;
    }
    std::u16string_view value;
    if (rest[tag_end - 1] == u'/') {
      rest.remove_prefix(tag_end + 1);  // <Data/>: an empty string
    } else {
      const std::size_t close = rest.find(u"</Data>", tag_end);
      if (close == std::u16string_view::npos) {
        break;
      }
      value = rest.substr(tag_end + 1, close - tag_end - 1);
      rest.remove_prefix(close + 7);
    }
    const auto text = Unescape(value);
    if (text && !text->empty()) {
      entry.fields.emplace(name, Utf16ToUtf8(*text));
    }
  }
  return entry;
}

}  // namespace vellmor::drives
