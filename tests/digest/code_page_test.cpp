#include "digest/code_page.h"

#include <cstdint>
#include <set>

#include <gtest/gtest.h>

namespace vellmor::digest {
namespace {

constexpr std::int16_t kQuestionMark = 63;

std::int16_t DoubleByte(int lead, int trail) {
  return static_cast<std::int16_t>(lead * 256 + trail - 65536);
}

TEST(AnsiCodeOf, AsciiIsItsOwnCode) {
  for (char16_t unit = 0; unit < 0x80; ++unit) {
    EXPECT_EQ(AnsiCodeOf(unit), unit);
  }
}

TEST(AnsiCodeOf, CodePage936) {
  EXPECT_EQ(AnsiCodeOf(u'中'), DoubleByte(0xD6, 0xD0));
  EXPECT_EQ(AnsiCodeOf(u'中'), -10544);
  EXPECT_EQ(AnsiCodeOf(u'\u3000'), DoubleByte(0xA1, 0xA1));
  EXPECT_EQ(AnsiCodeOf(u'é'), DoubleByte(0xA8, 0xA6));
  EXPECT_EQ(AnsiCodeOf(u'\u20AC'), 0x80);  // the euro sign is a single byte
}

TEST(AnsiCodeOf, MissingCharactersAndSurrogatesGiveQuestionMark) {
  EXPECT_EQ(AnsiCodeOf(u'\u0E01'), kQuestionMark);  // Thai, not in the code page
  EXPECT_EQ(AnsiCodeOf(u'\uFFFD'), kQuestionMark);
  for (int unit = 0xD800; unit <= 0xDFFF; ++unit) {
    ASSERT_EQ(AnsiCodeOf(static_cast<char16_t>(unit)), kQuestionMark) << unit;
  }
}

TEST(AnsiCodeOf, DoubleByteCodesAreDistinctAndHaveALeadByte) {
  std::set<std::int16_t> seen;
  int common_ideographs = 0;
  for (int unit = 0x80; unit <= 0xFFFF; ++unit) {
    const std::int16_t code = AnsiCodeOf(static_cast<char16_t>(unit));
    if (code < 0) {
      EXPECT_GE(code, DoubleByte(0x81, 0x40)) << unit;
      EXPECT_TRUE(seen.insert(code).second) << "code shared by U+" << std::hex << unit;
      if (unit >= 0x4E00 && unit <= 0x9FA5) {
        ++common_ideographs;
      }
    }
  }
  // Code page 936 covers the whole CJK Unified Ideographs block up to U+9FA5.
  EXPECT_EQ(common_ideographs, 0x9FA5 - 0x4E00 + 1);
}

}  // namespace
}  // namespace vellmor::digest
