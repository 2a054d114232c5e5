#include "serial/selection_rule.h"

#include <gtest/gtest.h>

namespace vellmor::serial {
namespace {

DeviceId Id(std::u16string text) { return DeviceId::Text(std::move(text)); }

TEST(SelectionRuleTest, PassesOverIdentifiersWithoutVid) {
  EXPECT_EQ(
      SelectSerial({Id(u"USB\\ROOT_HUB20\\4&1A2B3C&0"), Id(u"USB\\VID_1234&PID_5678\\AB12CD34")}),
      u"AB12CD34");
}

TEST(SelectionRuleTest, LaterMatchWins) {
  EXPECT_EQ(
      SelectSerial({Id(u"USB\\VID_1234&PID_5678\\AAA1"), Id(u"USB\\VID_4321&PID_8765\\BBB2")}),
      u"BBB2");
}

TEST(SelectionRuleTest, LaterIdentifiersWithoutVidChangeNothing) {
  EXPECT_EQ(SelectSerial({Id(u"USB\\VID_1234&PID_5678\\AAA1"), Id(u"USB\\ROOT_HUB30\\4&1&0"),
                          DeviceId::Missing(), DeviceId::Unreadable(), Id(u"")}),
            u"AAA1");
}

TEST(SelectionRuleTest, NoMatchIsNoValueNotEmptyText) {
  EXPECT_EQ(SelectSerial({}), std::nullopt);
  EXPECT_EQ(SelectSerial({Id(u"USB\\ROOT_HUB\\4&1&0"), Id(u""), DeviceId::Missing()}),
            std::nullopt);
}

TEST(SelectionRuleTest, MatchIsCaseSensitive) {
  EXPECT_FALSE(MatchesVidPattern(u"USB\\vid_1234&PID_5678\\X"));
  EXPECT_FALSE(MatchesVidPattern(u"USB\\Vid_1234&PID_5678\\X"));
  EXPECT_FALSE(MatchesVidPattern(u"USB\\VId_1234"));
  EXPECT_FALSE(MatchesVidPattern(u"V ID"));
  EXPECT_EQ(SelectSerial({Id(u"USB\\vid_1\\X"), Id(u"USB\\Vid_1\\Y")}), std::nullopt);
}

TEST(SelectionRuleTest, VidInsideAPieceWithoutBackslashGivesTheWholeIdentifier) {
  EXPECT_TRUE(MatchesVidPattern(u"VID"));
  EXPECT_EQ(SelectSerial({Id(u"ABCVIDXYZ")}), u"ABCVIDXYZ");
}

TEST(SelectionRuleTest, TrailingBackslashGivesEmptyTextNotNoValue) {
  const SerialValue value = SelectSerial({Id(u"USB\\VID_1234&PID_5678\\")});
  ASSERT_TRUE(value.has_value());
  EXPECT_EQ(*value, u"");
}

TEST(SelectionRuleTest, EmptyPiecesCountAndOnlyTheLastMatters) {
  EXPECT_EQ(SelectSerial({Id(u"USB\\VID_1234\\\\XY")}), u"XY");
  EXPECT_EQ(LastPiece(u"\\\\"), u"");
  EXPECT_EQ(LastPiece(u"\\A"), u"A");
  EXPECT_EQ(LastPiece(u"A\\B\\C\\D\\E\\F"), u"F");
}

TEST(SelectionRuleTest, PatternCharactersInTheIdentifierAreLiteral) {
  EXPECT_EQ(SelectSerial({Id(u"USB\\VID_[12]?#*\\S*N?[1]#")}), u"S*N?[1]#");
  EXPECT_FALSE(MatchesVidPattern(u"V*D"));
  EXPECT_FALSE(MatchesVidPattern(u"V?D"));
  EXPECT_FALSE(MatchesVidPattern(u"[V]ID"));
  EXPECT_FALSE(MatchesVidPattern(u"V#D"));
}

TEST(SelectionRuleTest, MissingAndUnreadableIdentifiersArePassedOverWhateverTheyHold) {
  const DeviceId unreadable{DeviceId::Kind::kUnreadable, u"USB\\VID_1\\STALE"};
  const DeviceId missing{DeviceId::Kind::kMissing, u"USB\\VID_1\\STALE"};
  EXPECT_EQ(SelectSerial({unreadable, missing}), std::nullopt);
  EXPECT_EQ(SelectSerial({Id(u"USB\\VID_1\\KEPT"), unreadable, missing}), u"KEPT");
}

TEST(SelectionRuleTest, WorksOnUtf16CodeUnits) {
  EXPECT_EQ(SelectSerial({Id(u"USB\\VID_1234\\序列号\U0001F600")}), u"序列号\U0001F600");
  // Full-width letters are other characters.
  EXPECT_FALSE(MatchesVidPattern(u"ＶＩＤ"));
}

TEST(SelectionRuleTest, OfferingOneByOneMatchesTheWholeSequence) {
  SerialSelection selection;
  EXPECT_EQ(selection.value(), std::nullopt);
  selection.Offer(Id(u"USB\\VID_1\\A"));
  EXPECT_EQ(selection.value(), u"A");
  selection.Offer(Id(u"USB\\ROOT_HUB\\B"));
  EXPECT_EQ(selection.value(), u"A");
  selection.Offer(Id(u"VID\\"));
  EXPECT_EQ(selection.value(), u"");
}

}  // namespace
}  // namespace vellmor::serial
