#include "serial/selection_rule.h"

#include <vector>

#include <gtest/gtest.h>

#include "device_ids.h"

namespace vellmor::serial {
namespace {

TEST(SelectionRuleTest, LastIdentifierWithVidGivesItsLastPiece) {
  const DeviceId unreadable{DeviceId::Kind::kUnreadable, u"USB\\VID_1\\STALE"};
  const DeviceId missing{DeviceId::Kind::kMissing, u"USB\\VID_1\\STALE"};
  const struct {
    std::vector<DeviceId> ids;
    SerialValue expected;
  } kCases[] = {
      {{Id(u"USB\\ROOT_HUB20\\4&1A2B3C&0"), Id(u"USB\\VID_1234&PID_5678\\AB12CD34")}, u"AB12CD34"},
      {{Id(u"USB\\VID_1234&PID_5678\\AAA1"), Id(u"USB\\VID_4321&PID_8765\\BBB2")}, u"BBB2"},
      // Later identifiers without VID change nothing.
      {{Id(u"USB\\VID_1234&PID_5678\\AAA1"), Id(u"USB\\ROOT_HUB30\\4&1&0"), DeviceId::Missing(),
        DeviceId::Unreadable(), Id(u"")},
       u"AAA1"},
      // No match is no value, not the empty text; the match is case-sensitive.
      {{}, std::nullopt},
      {{Id(u"USB\\ROOT_HUB\\4&1&0"), Id(u""), DeviceId::Missing()}, std::nullopt},
      {{Id(u"USB\\vid_1\\X"), Id(u"USB\\Vid_1\\Y")}, std::nullopt},
      // Without a backslash the whole identifier is the last piece.
      {{Id(u"ABCVIDXYZ")}, u"ABCVIDXYZ"},
      // A trailing backslash gives the empty text, not no value; empty pieces count.
      {{Id(u"USB\\VID_1234&PID_5678\\")}, u""},
      {{Id(u"USB\\VID_1234\\\\XY")}, u"XY"},
      {{Id(u"USB\\VID_[12]?#*\\S*N?[1]#")}, u"S*N?[1]#"},
      // Missing and unreadable identifiers are passed over whatever they hold.
      {{unreadable, missing}, std::nullopt},
      {{Id(u"USB\\VID_1\\KEPT"), unreadable, missing}, u"KEPT"},
      {{Id(u"USB\\VID_1234\\序列号\U0001F600")}, u"序列号\U0001F600"},
  };
  for (std::size_t i = 0; i < std::size(kCases); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(SelectSerial(kCases[i].ids), kCases[i].expected);
  }
}

TEST(SelectionRuleTest, VidMatchIsLiteralAndCaseSensitive) {
  EXPECT_TRUE(MatchesVidPattern(u"VID"));
  // Pattern characters are literal; full-width letters are other characters.
  for (const std::u16string_view text :
       {u"USB\\vid_1234&PID_5678\\X", u"USB\\Vid_1234&PID_5678\\X", u"USB\\VId_1234", u"V ID",
        u"V*D", u"V?D", u"[V]ID", u"V#D", u"ＶＩＤ"}) {
    EXPECT_FALSE(MatchesVidPattern(text)) << testing::PrintToString(std::u16string(text));
  }
}

TEST(SelectionRuleTest, LastPieceFollowsTheLastBackslash) {
  EXPECT_EQ(LastPiece(u"\\\\"), u"");
  EXPECT_EQ(LastPiece(u"\\A"), u"A");
  EXPECT_EQ(LastPiece(u"A\\B\\C\\D\\E\\F"), u"F");
}

TEST(SelectionRuleTest, ChosenIndexIsTheLastTextWithVid) {
  EXPECT_EQ(ChosenIndex({Id(u"USB\\VID_1\\A"), Id(u"USB\\ROOT_HUB\\B"), Id(u"VID\\"),
                         DeviceId::Unreadable(), Id(u"USB\\vid_2\\C")}),
            2U);
  EXPECT_EQ(ChosenIndex({Id(u"USB\\ROOT_HUB\\B"), DeviceId::Missing()}), std::nullopt);
}

}  // namespace
}  // namespace vellmor::serial
