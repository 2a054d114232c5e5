#include "drives/allowed_list.h"
#include "drives/serial_notes.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace vellmor::drives {
namespace {

using Kind = AllowedEntry::Kind;

// `printf AB12CD34 | md5sum`
constexpr std::string_view kSerialDigest = "eb1def2fbd36faa7e9316a54d75fa457";

AllowedList Parsed(std::string_view bytes) {
  std::string error;
  auto list = ParseAllowedList(bytes, "list.txt", error);
  EXPECT_TRUE(list) << error;
  return list ? *list : AllowedList{};
}

UsbDevice Stick(std::uint16_t vendor, std::uint16_t product, std::u16string serial,
                std::vector<SerialNote> notes = {}) {
  UsbDevice device;
  device.vendor = vendor;
  device.product = product;
  device.serial = std::move(serial);
  device.notes = std::move(notes);
  return device;
}

TEST(AllowedListTest, ReadsEachKindPastAMarkCrlfCommentsAndBlankLines) {
  const AllowedList list = Parsed(
      "\xEF\xBB\xBF# approved sticks\r\n"
      "\r\n"
      "  AB12CD34  # Anna's\r\n" +
      std::string(kSerialDigest) +
      "\n"
      "0781:5567 4c53 0001\t\n"
      "\t0123456789abcdef01\n"
      "090c:1000 5&977676F0&0&3");
  ASSERT_EQ(list.entries.size(), 5U);
  EXPECT_EQ(list.entries[0].kind, Kind::kSerial);
  EXPECT_EQ(list.entries[0].text, u"AB12CD34");
  EXPECT_EQ(list.entries[0].line, 3U);
  EXPECT_EQ(list.entries[1].kind, Kind::kDigest);
  EXPECT_EQ(list.entries[1].text, u"EB1DEF2FBD36FAA7E9316A54D75FA457");
  EXPECT_EQ(list.entries[2].kind, Kind::kPinned);
  EXPECT_EQ(list.entries[2].vendor, 0x0781);
  EXPECT_EQ(list.entries[2].product, 0x5567);
  EXPECT_EQ(list.entries[2].text, u"4c53 0001");
  // Hexadecimal, but too long for a digest copied wrong: a serial.
  EXPECT_EQ(list.entries[3].kind, Kind::kSerial);
  EXPECT_EQ(list.entries[4].line, 7U);
  EXPECT_EQ(list.entries[4].text, u"5&977676F0&0&3");

  EXPECT_TRUE(Parsed("").entries.empty());
  EXPECT_TRUE(Parsed("\xEF\xBB\xBF\r\n# nothing yet\n").entries.empty());
}

TEST(AllowedListTest, BadInputNamesTheFileAndLine) {
  const std::string digest(kSerialDigest);
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"ok\n0781:55Z7 SERIAL\n",
       "list.txt:2: the line vendor and product ids are 4 hexadecimal "
       "digits each, as in 0781:5567 SERIAL"},
      {"781:5567 SERIAL", "list.txt:1: the line vendor and product ids"},
      {"0781:5567", "list.txt:1: the line needs a serial after the vendor and product ids"},
      {"0781:5567   # no serial", "list.txt:1: the line needs a serial"},
      {"\n\n" + digest.substr(1),
       "list.txt:3: the line a digest has 32 hexadecimal digits, "
       "this one 31"},
      {digest + "0", "list.txt:1: the line a digest has 32 hexadecimal digits, this one 33"},
      {"ok\r\n\xC3\x28\r\n", "list.txt:2: the line is not valid UTF-8"},
      {"\xEF\xBB\xBF\xEF\xBB\xBFok", "list.txt:1: the line holds a control character"},
      {"A\rB\n", "list.txt:1: the line holds a control character"},
      {std::string("A\0B", 3), "list.txt:1: the line holds a control character"},
      {std::string(127, 'Q'), "list.txt:1: the line a serial has at most 126 characters"},
  };
  for (const auto& [bytes, message] : cases) {
    std::string error;
    EXPECT_FALSE(ParseAllowedList(bytes, "list.txt", error)) << bytes;
    EXPECT_TRUE(error.starts_with(message)) << error;
  }
  EXPECT_TRUE(Parsed(std::string(126, 'Q')).entries.size() == 1);

  std::string error;
  const auto missing = std::filesystem::temp_directory_path() / "vellmor_no_such_allowed_list";
  EXPECT_FALSE(ReadAllowedList(missing, "gone.txt", error));
  EXPECT_EQ(error, "gone.txt: no such file");
  EXPECT_FALSE(ReadAllowedList(std::filesystem::temp_directory_path(), "dir", error));
  EXPECT_EQ(error, "dir: cannot be read");
  const auto file = std::filesystem::temp_directory_path() / "vellmor_allowed_list_test.txt";
  std::ofstream(file, std::ios::binary) << "0781:5567 AB12CD34\r\n";
  const auto read = ReadAllowedList(file, "ok.txt", error);
  std::filesystem::remove(file);
  ASSERT_TRUE(read);
  EXPECT_EQ(read->entries.at(0).kind, Kind::kPinned);
}

// A serial many sticks may carry allows none of them by itself; pinned to a model it does.
TEST(AllowedListTest, UntrustedSerialsAreAllowedOnlyWhenPinned) {
  const AllowedList list = Parsed("ab12cd34\n" + std::string(kSerialDigest) +
                                  "\n0123456789ABCDEF\n090C:1000 0123456789abcdef\n");
  AllowedVerdict verdict = JudgeAllowed(list, Stick(0x0781, 0x5567, u"AB12CD34"));
  EXPECT_TRUE(verdict.allowed);
  EXPECT_EQ(verdict.line, 1U);
  EXPECT_EQ(AllowedText(verdict), "allowed (line 1)");
  EXPECT_EQ(AllowedJsonFields(verdict), R"(,"allowed":true,"allowedLine":1,"untrustedLine":null)");

  // Only the digest line names it.
  verdict = JudgeAllowed(Parsed(std::string(kSerialDigest)), Stick(1, 2, u"AB12CD34"));
  EXPECT_TRUE(verdict.allowed);

  for (const SerialNote note :
       {SerialNote::kMadeUp, SerialNote::kPlaceholder, SerialNote::kShared}) {
    verdict = JudgeAllowed(list, Stick(0x0781, 0x5567, u"AB12CD34", {note}));
    EXPECT_FALSE(verdict.allowed) << NoteName(note);
    EXPECT_EQ(verdict.untrusted_line, 1U);
    EXPECT_EQ(AllowedJsonFields(verdict),
              R"(,"allowed":false,"allowedLine":null,"untrustedLine":1)");
  }
  // Short or a card reader's: still one stick's own.
  EXPECT_TRUE(
      JudgeAllowed(list, Stick(1, 2, u"AB12CD34", {SerialNote::kShort, SerialNote::kCardReader}))
          .allowed);

  const std::vector<SerialNote> placeholder = {SerialNote::kPlaceholder};
  verdict = JudgeAllowed(list, Stick(0x0781, 0x5567, u"0123456789ABCDEF", placeholder));
  EXPECT_FALSE(verdict.allowed);
  EXPECT_EQ(verdict.untrusted_line, 3U);
  EXPECT_TRUE(AllowedText(verdict).starts_with("not allowed: line 3 names its serial"));
  verdict = JudgeAllowed(list, Stick(0x090C, 0x1000, u"0123456789ABCDEF", placeholder));
  EXPECT_TRUE(verdict.allowed);
  EXPECT_EQ(verdict.line, 4U);

  verdict = JudgeAllowed(list, Stick(0x0781, 0x5567, u"OTHER0000001"));
  EXPECT_FALSE(verdict.allowed);
  EXPECT_EQ(AllowedText(verdict), "not allowed");
  // A stick without a serial matches nothing, not even the digest of the empty text.
  EXPECT_FALSE(JudgeAllowed(Parsed("d41d8cd98f00b204e9800998ecf8427e"), Stick(1, 2, u"")).allowed);
}

// What the identifiers alone tell: ids, the made-up instance and a serial two sticks share.
TEST(AllowedListTest, IdentifiersGiveIdsAndTheNotesThatMatter) {
  using serial::DeviceId;
  const std::vector<UsbDevice> devices = DevicesFromIdentifiers(
      {DeviceId::Text(u"USB\\ROOT_HUB20\\4&1234ABCD&0"),
       DeviceId::Text(u"USB\\VID_0781&PID_5567\\AB12CD34"),
       DeviceId::Text(u"USB\\VID_090C&PID_1000\\5&977676F0&0&3"), DeviceId::Unreadable(),
       DeviceId::Text(u"USB\\VID_1234&PID_0001\\SAME00000001"),
       DeviceId::Text(u"USB\\VID_1234&PID_0002\\same00000001")});
  ASSERT_EQ(devices.size(), 6U);
  EXPECT_TRUE(devices[0].serial.empty());
  EXPECT_EQ(devices[1].vendor, 0x0781);
  EXPECT_EQ(devices[1].product, 0x5567);
  EXPECT_EQ(devices[1].serial, u"AB12CD34");
  EXPECT_TRUE(IdentifiesOneStick(devices[1].notes));
  EXPECT_FALSE(IdentifiesOneStick(devices[2].notes));
  EXPECT_TRUE(devices[3].serial.empty());
  EXPECT_FALSE(IdentifiesOneStick(devices[4].notes));
  EXPECT_FALSE(IdentifiesOneStick(devices[5].notes));
}

}  // namespace
}  // namespace vellmor::drives
