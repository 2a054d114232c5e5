#include "digest/code_page.h"

#include <cstdint>

#include <gtest/gtest.h>

namespace vellmor::digest {
namespace {

constexpr std::int16_t kQuestionMark = 63;

std::int16_t DoubleByte(int lead, int trail) {
  return static_cast<std::int16_t>(lead * 256 + trail - 65536);
}

// The whole table is compared with Windows' own conversion under wine
// (scripts/check_windows.sh); these are the codes the digests depend on most.
TEST(AnsiCodeOf, CodePage936AsWindowsConverts) {
  for (char16_t unit = 0; unit < 0x80; ++unit) {
    EXPECT_EQ(AnsiCodeOf(unit), unit);
  }
  EXPECT_EQ(AnsiCodeOf(u'中'), -10544);
  EXPECT_EQ(AnsiCodeOf(u'\u3000'), DoubleByte(0xA1, 0xA1));
  EXPECT_EQ(AnsiCodeOf(u'é'), DoubleByte(0xA8, 0xA6));
  EXPECT_EQ(AnsiCodeOf(u'\u20AC'), 0x80);                    // the euro sign is a single byte
  EXPECT_EQ(AnsiCodeOf(u'\uE000'), DoubleByte(0xAA, 0xA1));  // user-defined area
  EXPECT_EQ(AnsiCodeOf(u'\u9FA5'), DoubleByte(0xFD, 0x9B));  // last of the GBK ideographs

  // Best-fit codes, which glibc's CP936 lacks.
  EXPECT_EQ(AnsiCodeOf(u'¢'), DoubleByte(0xA1, 0xE9));
  EXPECT_EQ(AnsiCodeOf(u'¥'), DoubleByte(0xA3, 0xA4));
  EXPECT_EQ(AnsiCodeOf(u'¦'), 124);
  EXPECT_EQ(AnsiCodeOf(u'ª'), 97);
  EXPECT_EQ(AnsiCodeOf(u'À'), DoubleByte(0xA8, 0xA4));
  EXPECT_EQ(AnsiCodeOf(u'²'), 50);

  EXPECT_EQ(AnsiCodeOf(u'\u0E01'), kQuestionMark);  // Thai, not in the code page
  EXPECT_EQ(AnsiCodeOf(u'\uFFFF'), kQuestionMark);
  for (int unit = 0xD800; unit <= 0xDFFF; ++unit) {
    ASSERT_EQ(AnsiCodeOf(static_cast<char16_t>(unit)), kQuestionMark) << unit;
  }
}

}  // namespace
}  // namespace vellmor::digest
