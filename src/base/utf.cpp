#include "utf.h"

#include <cstddef>

namespace vellmor {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

void AppendUtf16(std::u16string& out, char32_t code_point) {
  if (code_point < 0x10000) {
    out.push_back(static_cast<char16_t>(code_point));
    return;
  }
  const char32_t offset = code_point - 0x10000;
  out.push_back(static_cast<char16_t>(0xD800 + (offset >> 10)));
  out.push_back(static_cast<char16_t>(0xDC00 + (offset & 0x3FF)));
}

void AppendUtf8(std::string& out, char32_t code_point) {
  if (code_point < 0x80) {
    out.push_back(static_cast<char>(code_point));
  } else if (code_point < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (code_point >> 6)));
    out.push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
  } else if (code_point < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (code_point >> 12)));
    out.push_back(static_cast<char>(0x80 | ((code_point >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (code_point >> 18)));
    out.push_back(static_cast<char>(0x80 | ((code_point >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((code_point >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
  }
}

}  // namespace

std::size_t IncompleteUtf8Tail(std::string_view utf8) {
  for (std::size_t back = 1; back <= 3 && back <= utf8.size(); ++back) {
    const auto byte = static_cast<unsigned char>(utf8[utf8.size() - back]);
    if ((byte & 0xC0U) != 0x80U) {
      const std::size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
      return length > back ? back : 0;
    }
  }
  return 0;
}

std::optional<std::u16string> Utf8ToUtf16(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  std::size_t i = 0;
  while (i < utf8.size()) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    std::size_t extra = 0;
    char32_t code_point = 0;
    char32_t smallest = 0;
    if (lead < 0x80) {
      out.push_back(static_cast<char16_t>(lead));
      ++i;
      continue;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
      extra = 1;
      code_point = lead & 0x1FU;
      smallest = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      extra = 2;
      code_point = lead & 0x0FU;
      smallest = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      extra = 3;
      code_point = lead & 0x07U;
      smallest = 0x10000;
    } else {
      return std::nullopt;  // a stray continuation byte, C0/C1 overlong leads, or F5 and up
    }
    if (utf8.size() - i <= extra) {
      return std::nullopt;
    }
    for (std::size_t k = 1; k <= extra; ++k) {
      const auto byte = static_cast<unsigned char>(utf8[i + k]);
      if (!IsContinuation(byte)) {
        return std::nullopt;
      }
      code_point = (code_point << 6) | (byte & 0x3FU);
    }
    if (code_point < smallest || code_point > 0x10FFFF ||
        (code_point >= 0xD800 && code_point <= 0xDFFF)) {
      return std::nullopt;
    }
    AppendUtf16(out, code_point);
    i += extra + 1;
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view utf16) {
  std::string out;
  out.reserve(utf16.size());
  for (std::size_t i = 0; i < utf16.size(); ++i) {
    const char16_t unit = utf16[i];
    char32_t code_point = unit;
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      if (i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 && utf16[i + 1] <= 0xDFFF) {
        code_point = 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) +
                     (static_cast<char32_t>(utf16[i + 1]) - 0xDC00);
        ++i;
      } else {
        code_point = kReplacement;
      }
    } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
      code_point = kReplacement;
    }
    AppendUtf8(out, code_point);
  }
  return out;
}

std::u16string Widen(std::string_view bytes) {
  std::u16string text;
  text.reserve(bytes.size());
  for (const char byte : bytes) {
    text.push_back(static_cast<char16_t>(static_cast<unsigned char>(byte)));
  }
  return text;
}

namespace {

// The letters first to last moved to the same places from `to`, everything else kept.
std::u16string MoveAsciiLetters(std::u16string_view text, char16_t first, char16_t last,
                                char16_t to) {
  std::u16string moved(text);
  for (char16_t& c : moved) {
    if (c >= first && c <= last) {
      c = static_cast<char16_t>(c - first + to);
    }
  }
  return moved;
}

}  // namespace

std::u16string AsciiUpperCase(std::u16string_view text) {
  return MoveAsciiLetters(text, u'a', u'z', u'A');
}

std::u16string AsciiLowerCase(std::u16string_view text) {
  return MoveAsciiLetters(text, u'A', u'Z', u'a');
}

}  // namespace vellmor
