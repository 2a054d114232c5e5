#include "drives/drive_text.h"

#include <gtest/gtest.h>

#include <string>

namespace vellmor::drives {
namespace {

TEST(DriveTextTest, BytesThatAreNotUtf8AreCodePage936OrElseShownAsEscapes) {
  EXPECT_EQ(DeviceText(std::string("\xCE\xD2\xB5\xC4U\xC5\xCC")), u"我的U盘");
  EXPECT_EQ(DeviceText(std::string("\xE6\x88\x91")), u"我");  // UTF-8 stays UTF-8
  // 80 is the euro sign; FF and a lead byte at the end are no character.
  EXPECT_EQ(DeviceText(std::string("\x80"
                                   "2\xFF\xCE")),
            u"€2\\xff\\xce");
  EXPECT_EQ(DeviceText(std::string()), std::nullopt);
}

TEST(DriveTextTest, CsvCellsNeitherRunFormulasNorBreakLines) {
  EXPECT_EQ(ShownText(u"a\x1B[2J\r\n\x7F\x9B"
                      u"b"),
            "a\\x1b[2J\\x0d\\x0a\\x7f\\x9bb");
  EXPECT_EQ(CsvCell(u"=HYPERLINK(\"x\")"), "\"'=HYPERLINK(\"\"x\"\")\"");
  EXPECT_EQ(CsvCell(u"'-1"), "''-1");
  EXPECT_EQ(CsvCell(u"'a"), "'a");
  EXPECT_EQ(CsvCell(u"a,b"), "\"a,b\"");
  EXPECT_EQ(CsvListCell({u"", u"a;b\\c", u"@x"}), ";a\\;b\\\\c;@x");
  EXPECT_EQ(CsvListCell({u"+1"}), "'+1");
  // No volume and one volume without a label are told apart.
  EXPECT_EQ(CsvListCell({}), "");
  EXPECT_EQ(CsvListCell({u""}), "\\");
  EXPECT_EQ(CsvListCell({u"", u""}), ";");
  EXPECT_EQ(CsvListCell({u"\\"}), "\\\\");
  EXPECT_EQ(CsvLine({"a", "b"}), "a,b\r\n");
}

}  // namespace
}  // namespace vellmor::drives
