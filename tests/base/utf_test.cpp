#include "base/utf.h"

#include <string>

#include <gtest/gtest.h>

namespace vellmor {
namespace {

TEST(Utf8ToUtf16, WellFormedText) {
  EXPECT_EQ(Utf8ToUtf16(""), u"");
  EXPECT_EQ(Utf8ToUtf16("abc"), u"abc");
  EXPECT_EQ(Utf8ToUtf16(std::string("a\0b", 3)), std::u16string(u"a\0b", 3));
  EXPECT_EQ(Utf8ToUtf16("\xE4\xB8\xAD\xE6\x96\x87"), u"中文");
  EXPECT_EQ(Utf8ToUtf16("\xF0\x9F\x98\x80"), u"\U0001F600");
}

TEST(Utf8ToUtf16, EncodingBoundaries) {
  EXPECT_EQ(Utf8ToUtf16("\x7F"), u"\u007F");
  EXPECT_EQ(Utf8ToUtf16("\xC2\x80"), u"\u0080");
  EXPECT_EQ(Utf8ToUtf16("\xDF\xBF"), u"\u07FF");
  EXPECT_EQ(Utf8ToUtf16("\xE0\xA0\x80"), u"\u0800");
  EXPECT_EQ(Utf8ToUtf16("\xED\x9F\xBF"), u"\uD7FF");
  EXPECT_EQ(Utf8ToUtf16("\xEE\x80\x80"), u"\uE000");
  EXPECT_EQ(Utf8ToUtf16("\xEF\xBF\xBF"), u"\uFFFF");
  EXPECT_EQ(Utf8ToUtf16("\xF0\x90\x80\x80"), u"\U00010000");
  EXPECT_EQ(Utf8ToUtf16("\xF4\x8F\xBF\xBF"), u"\U0010FFFF");
}

TEST(Utf8ToUtf16, RejectsIllFormedText) {
  const char* const kIllFormed[] = {
      "\xC0\x80",
      "\xC1\xBF",
      "\xE0\x80\x80",
      "\xE0\x9F\xBF",  // overlong
      "\xF0\x80\x80\x80",
      "\xF0\x8F\xBF\xBF",  // overlong
      "\xED\xA0\x80",
      "\xED\xBF\xBF",  // surrogates
      "\xF4\x90\x80\x80",
      "\xF5\x80\x80\x80",
      "\xFF",  // too large
      "\x80",
      "a\xBF",  // stray
      "\xE4\xB8",
      "\xF0\x9F\x98",
      "\xC2",  // truncated
      "\xE4\x41\x41",
      "\xC2\xC2\x80",  // bad tail
  };
  for (const char* text : kIllFormed) {
    EXPECT_FALSE(Utf8ToUtf16(text).has_value()) << testing::PrintToString(std::string(text));
  }
}

TEST(Utf16ToUtf8, EncodesEveryLength) {
  EXPECT_EQ(Utf16ToUtf8(u""), "");
  EXPECT_EQ(Utf16ToUtf8(u"a\u00E9\u4E2D\U0001F600"), "a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80");
  EXPECT_EQ(Utf16ToUtf8(u"\U0010FFFF"), "\xF4\x8F\xBF\xBF");
}

TEST(Utf16ToUtf8, UnpairedSurrogatesBecomeReplacementCharacters) {
  const std::string kReplacement = "\xEF\xBF\xBD";
  EXPECT_EQ(Utf16ToUtf8(u"a\xD800"), "a" + kReplacement);
  EXPECT_EQ(Utf16ToUtf8(u"\xDC00z"), kReplacement + "z");
  EXPECT_EQ(Utf16ToUtf8(u"\xD800\xD800\xDC00"), kReplacement + "\xF0\x90\x80\x80");
  EXPECT_EQ(Utf16ToUtf8(u"\xDBFF"
                        u"a"),
            kReplacement + "a");
}

TEST(Utf, RoundTripOfEveryBmpCharacterAndSomeSupplementary) {
  std::u16string text;
  for (int unit = 1; unit <= 0xFFFF; ++unit) {
    if (unit < 0xD800 || unit > 0xDFFF) {
      text.push_back(static_cast<char16_t>(unit));
    }
  }
  text += u"\U00010000\U0002F800\U0010FFFF";
  EXPECT_EQ(Utf8ToUtf16(Utf16ToUtf8(text)), text);
}

// A stray byte of a name the system keeps in ASCII stays one character of that value.
TEST(Widen, KeepsEveryByteValue) {
  EXPECT_EQ(Widen(std::string_view("sdb1\x7F\x80\xE9\xFF", 8)), u"sdb1\u007F\u0080\u00E9\u00FF");
}

}  // namespace
}  // namespace vellmor
