#include "code_page.h"

#include <array>
#include <cstddef>

#include <iconv.h>

namespace vellmor::digest {

namespace {

constexpr std::int16_t kQuestionMark = 63;
constexpr std::size_t kUnitCount = 65536;

using CodeTable = std::array<std::int16_t, kUnitCount>;

bool IsSurrogate(std::size_t unit) { return unit >= 0xD800 && unit <= 0xDFFF; }

// One unit through the converter; 63 unless it gives one byte or one double-byte code.
std::int16_t ConvertUnit(iconv_t converter, std::size_t unit) {
  char input[2] = {static_cast<char>(unit % 256), static_cast<char>(unit / 256)};
  char output[8] = {};
  char* in = input;
  char* out = output;
  std::size_t in_left = sizeof(input);
  std::size_t out_left = sizeof(output);
  iconv(converter, nullptr, nullptr, nullptr, nullptr);
  if (iconv(converter, &in, &in_left, &out, &out_left) == static_cast<std::size_t>(-1) ||
      iconv(converter, nullptr, nullptr, &out, &out_left) == static_cast<std::size_t>(-1)) {
    return kQuestionMark;
  }
  const std::size_t written = sizeof(output) - out_left;
  const int first = static_cast<unsigned char>(output[0]);
  if (written == 1) {
    return static_cast<std::int16_t>(first);
  }
  if (written == 2 && first >= 0x80) {
    const int second = static_cast<unsigned char>(output[1]);
    return static_cast<std::int16_t>(first * 256 + second - 65536);
  }
  return kQuestionMark;
}

CodeTable BuildTable() {
  CodeTable table{};
  for (std::size_t unit = 0; unit < 0x80; ++unit) {
    table[unit] = static_cast<std::int16_t>(unit);
  }
  for (std::size_t unit = 0x80; unit < kUnitCount; ++unit) {
    table[unit] = kQuestionMark;
  }
  // Units go in one at a time, so a surrogate never meets its partner and stays unmapped.
  iconv_t converter = iconv_open("CP936", "UTF-16LE");
  // iconv_open's failure value is the pointer made from -1.
  if (converter == reinterpret_cast<iconv_t>(-1)) {  // NOLINT(performance-no-int-to-ptr)
    return table;
  }
  for (std::size_t unit = 0x80; unit < kUnitCount; ++unit) {
    if (!IsSurrogate(unit)) {
      table[unit] = ConvertUnit(converter, unit);
    }
  }
  iconv_close(converter);
  return table;
}

}  // namespace

std::int16_t AnsiCodeOf(char16_t unit) {
  static const CodeTable kTable = BuildTable();
  return kTable[unit];
}

}  // namespace vellmor::digest
