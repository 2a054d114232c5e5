#include "drives/json_text.h"

#include <gtest/gtest.h>

namespace vellmor::drives {
namespace {

TEST(JsonTextTest, EscapesQuotesBackslashesAndControlCharacters) {
  EXPECT_EQ(JsonString(u"USB\\VID_1234&PID_5678\\A\"B"), R"("USB\\VID_1234&PID_5678\\A\"B")");
  EXPECT_EQ(JsonString(u"\b\f\n\r\t"), R"("\b\f\n\r\t")");
  EXPECT_EQ(JsonString(std::u16string(u"\0\x01\x1F\x20\x7F", 5)), "\"\\u0000\\u0001\\u001f \x7F\"");
}

// What a terminal or a viewer would act on stays exact but inert: C1 CSI, the
// separators JavaScript refuses raw, bidirectional overrides and isolates.
TEST(JsonTextTest, EscapesC1SeparatorsAndBidirectionalControls) {
  EXPECT_EQ(JsonString(u"a\x80\x9B"
                       u"2J\x9F\xA0"),
            "\"a\\u0080\\u009b2J\\u009f\xC2\xA0\"");
  EXPECT_EQ(JsonString(u"\u2027\u2028\u2029\u202A\u202E\u202F"),
            "\"\xE2\x80\xA7\\u2028\\u2029\\u202a\\u202e\xE2\x80\xAF\"");
  EXPECT_EQ(JsonString(u"\u2065\u2066\u2069\u206A"), "\"\xE2\x81\xA5\\u2066\\u2069\xE2\x81\xAA\"");
}

TEST(JsonTextTest, KeepsCharactersAsUtf8) {
  EXPECT_EQ(JsonString(u"请插入U盘"), "\"请插入U盘\"");
  EXPECT_EQ(JsonString(u"x\U0001F600y"), "\"x\xF0\x9F\x98\x80y\"");
}

TEST(JsonTextTest, UnpairedSurrogatesBecomeEscapes) {
  EXPECT_EQ(JsonString(u"a\xD800"), R"("a\ud800")");
  EXPECT_EQ(JsonString(u"\xDC00z"), R"("\udc00z")");
  EXPECT_EQ(JsonString(u"\xD83D\xD83D\xDE00"), "\"\\ud83d\xF0\x9F\x98\x80\"");
  EXPECT_EQ(JsonString(u"\xDE00\xD83D"), R"("\ude00\ud83d")");
}

TEST(JsonTextTest, NoValueIsNull) {
  EXPECT_EQ(JsonValue(std::nullopt), "null");
  EXPECT_EQ(JsonValue(std::u16string()), R"("")");
}

}  // namespace
}  // namespace vellmor::drives
