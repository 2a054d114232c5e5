#include "drives/log_event.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "drives/allowed_list.h"
#include "drives/drive_json.h"
#include "drives/serial_notes.h"
#include "fake_log_sink.h"
#include "sandisk_stick.h"

namespace vellmor::drives {
namespace {

UsbDevice Stick() {
  UsbDevice device = fixtures::SanDiskStick();
  device.location = "1-2";
  device.port = u"1-2";
  Disk disk;
  disk.volume.name = u"sdb";
  Volume first;
  first.name = u"sdb1";
  first.label = u"我的U盘";
  first.mount_points = {u"/media/a", u"/mnt/a"};
  Volume second;
  second.name = u"sdb2";
  second.mount_points = {u"/media/b"};
  disk.partitions = {first, second};
  device.disks.push_back(disk);
  return device;
}

std::vector<std::string> Names(const std::vector<LogField>& fields) {
  std::vector<std::string> names;
  for (const LogField& field : fields) {
    names.push_back(field.name);
  }
  return names;
}

std::vector<std::string> Values(const std::vector<LogField>& fields, const std::string& name) {
  std::vector<std::string> values;
  for (const LogField& field : fields) {
    if (field.name == name) {
      values.push_back(field.value);
    }
  }
  return values;
}

std::string Value(const std::vector<LogField>& fields, const std::string& name) {
  const std::vector<std::string> values = Values(fields, name);
  EXPECT_EQ(values.size(), 1U) << name;
  return values.empty() ? "" : values.front();
}

TEST(LogEventTest, FieldsOfAnArrivalAndThePlacesTheyComeFrom) {
  const UsbDevice stick = Stick();
  const std::vector<LogField> fields = LogFields(LogEvent::kArrived, stick);
  EXPECT_EQ(Names(fields),
            (std::vector<std::string>{
                "MESSAGE", "MESSAGE_ID", "PRIORITY", "SYSLOG_IDENTIFIER", "VELLMOR_SCHEMA_VERSION",
                "VELLMOR_EVENT", "VELLMOR_SERIAL", "VELLMOR_DIGEST", "VELLMOR_DEVICE_ID",
                "VELLMOR_VENDOR_ID", "VELLMOR_PRODUCT_ID", "VELLMOR_MANUFACTURER",
                "VELLMOR_PRODUCT", "VELLMOR_LOCATION", "VELLMOR_NOTES", "VELLMOR_MOUNT_POINTS",
                "VELLMOR_LABELS", "VELLMOR_DRIVE_JSON"}));
  EXPECT_EQ(Value(fields, "MESSAGE"),
            "USB drive plugged in: serial 4C530001231120115142, 0781:5567 SanDisk Cruzer Blade, "
            "at 1-2");
  EXPECT_EQ(Value(fields, "MESSAGE_ID"), "c7baa10749b444458edb161f02d96763");
  EXPECT_EQ(Value(fields, "PRIORITY"), "6");
  EXPECT_EQ(Value(fields, "SYSLOG_IDENTIFIER"), "vellmor-cli");
  EXPECT_EQ(Value(fields, "VELLMOR_SCHEMA_VERSION"), "1");
  EXPECT_EQ(Value(fields, "VELLMOR_EVENT"), "arrived");
  EXPECT_EQ(Value(fields, "VELLMOR_DIGEST"), "AE6E35C8E506AAF9F9C52D8CA2E4E68A");
  EXPECT_EQ(Value(fields, "VELLMOR_DEVICE_ID"), "USB\\VID_0781&PID_5567\\4C530001231120115142");
  EXPECT_EQ(Value(fields, "VELLMOR_VENDOR_ID"), "0781");
  EXPECT_EQ(Value(fields, "VELLMOR_PRODUCT"), "Cruzer Blade");
  EXPECT_EQ(Value(fields, "VELLMOR_MOUNT_POINTS"), "/media/a\n/mnt/a\n/media/b");
  EXPECT_EQ(Value(fields, "VELLMOR_LABELS"), "我的U盘");
  EXPECT_EQ(Value(fields, "VELLMOR_NOTES"), "");
  EXPECT_EQ(Value(fields, "VELLMOR_DRIVE_JSON"), DriveJson(stick));

  // Null in the JSON: no field; a serial many sticks share: a warning.
  UsbDevice bare = Stick();
  bare.manufacturer.reset();
  bare.port.reset();
  bare.notes = {SerialNote::kShort, SerialNote::kShared};
  const std::vector<LogField> warned = LogFields(LogEvent::kRemoved, bare);
  EXPECT_TRUE(Values(warned, "VELLMOR_MANUFACTURER").empty());
  EXPECT_TRUE(Values(warned, "VELLMOR_LOCATION").empty());
  EXPECT_EQ(Value(warned, "VELLMOR_NOTES"), "short\nshared");
  EXPECT_EQ(Value(warned, "PRIORITY"), "4");
  EXPECT_EQ(Value(warned, "MESSAGE"),
            "USB drive removed: serial 4C530001231120115142, 0781:5567 Cruzer Blade, at an "
            "unknown port");
  bare.notes = {SerialNote::kShort, SerialNote::kMediaUnreadable};
  EXPECT_EQ(LogPriority(bare), 6);
  for (const SerialNote note :
       {SerialNote::kMadeUp, SerialNote::kPlaceholder, SerialNote::kCardReader}) {
    bare.notes = {note};
    EXPECT_EQ(LogPriority(bare), 4) << NoteName(note);
  }
}

TEST(LogEventTest, EachKindHasItsOwnFixedIds) {
  EXPECT_EQ(LogMessageId(LogEvent::kPresent), "0326c970bdac4b4ba3dc20cda2a78317");
  EXPECT_EQ(LogMessageId(LogEvent::kArrived), "c7baa10749b444458edb161f02d96763");
  EXPECT_EQ(LogMessageId(LogEvent::kRemoved), "5c1ec34a9a544a39b09199160db2ca7c");
  EXPECT_EQ(LogEventId(LogEvent::kArrived), 1U);
  EXPECT_EQ(LogEventId(LogEvent::kRemoved), 2U);
  EXPECT_EQ(LogEventId(LogEvent::kPresent), 3U);
  EXPECT_EQ(LogEventName(LogEvent::kPresent), "present");
  EXPECT_EQ(Value(LogFields(LogEvent::kPresent, Stick()), "VELLMOR_EVENT"), "present");
  EXPECT_EQ(Value(LogFields(LogEvent::kRemoved, Stick()), "VELLMOR_EVENT"), "removed");

  // Every insertion string is a field of the journal's, in the journal's order.
  std::vector<std::string> journal = Names(LogFields(LogEvent::kPresent, Stick()));
  journal.erase(journal.begin(), journal.begin() + 4);
  EXPECT_EQ(std::vector<std::string>(InsertionFieldNames().begin(), InsertionFieldNames().end()),
            journal);
}

// With an allowed list every entry says whether the list allows the stick, and one it
// does not is a warning; without a list there is no such field.
TEST(LogEventTest, AnAllowedListAddsItsVerdictAndWarnsOfAStickItDoesNotAllow) {
  std::string error;
  const std::optional<AllowedList> list =
      ParseAllowedList("4C530001231120115142\nAAAAAAAA\n", "list", error);
  ASSERT_TRUE(list) << error;
  UsbDevice placeholder = Stick();
  placeholder.serial = u"AAAAAAAA";
  placeholder.notes = {SerialNote::kPlaceholder};
  UsbDevice other = Stick();
  other.serial = u"OTHER00000000001";
  vellmor::test::FakeLogSink sink;
  ASSERT_TRUE(LogDrives(sink, LogEvent::kArrived, {Stick(), placeholder, other}, error, &*list));
  ASSERT_TRUE(LogDrives(sink, LogEvent::kRemoved, {other}, error));
  ASSERT_EQ(sink.m_entries.size(), 4U);
  std::vector<std::string> seen;
  for (const auto& entry : sink.m_entries) {
    seen.push_back(Value(entry.fields, "PRIORITY") + " " +
                   (Values(entry.fields, "VELLMOR_ALLOWED").empty()
                        ? "-"
                        : Value(entry.fields, "VELLMOR_ALLOWED")));
  }
  // The placeholder serial is on the list but cannot allow a stick on its own.
  EXPECT_EQ(seen, (std::vector<std::string>{"6 1", "4 0", "4 0", "6 -"}));
  const std::vector<LogField>& allowed = sink.m_entries[0].fields;
  EXPECT_EQ(Names(allowed).back(), "VELLMOR_ALLOWED");
  EXPECT_TRUE(Value(allowed, "MESSAGE").ends_with("at 1-2, allowed"));
  EXPECT_TRUE(Value(sink.m_entries[2].fields, "MESSAGE").ends_with("at 1-2, not allowed"));
  EXPECT_TRUE(Value(allowed, "VELLMOR_DRIVE_JSON")
                  .ends_with(R"(]}]}],"allowed":true,"allowedLine":1,"untrustedLine":null})"))
      << Value(allowed, "VELLMOR_DRIVE_JSON");
  std::string refused = DriveJson(placeholder);
  refused.insert(refused.size() - 1, R"(,"allowed":false,"allowedLine":null,"untrustedLine":2)");
  EXPECT_EQ(Value(sink.m_entries[1].fields, "VELLMOR_DRIVE_JSON"), refused);
  EXPECT_EQ(Value(sink.m_entries[3].fields, "VELLMOR_DRIVE_JSON"), DriveJson(other));

  // The Windows strings: the journal's order, the verdict appended as %15; the event id
  // keeps its low word.
  std::vector<std::string> journal = Names(allowed);
  journal.erase(journal.begin(), journal.begin() + 4);
  EXPECT_EQ(
      std::vector<std::string>(InsertionFieldNames(true).begin(), InsertionFieldNames(true).end()),
      journal);
  EXPECT_EQ(LogEventId(LogEvent::kArrived, true), 0x00010001U);
  EXPECT_EQ(LogEventId(LogEvent::kPresent, true) & 0xFFFFU, LogEventId(LogEvent::kPresent));
}

TEST(LogEventTest, DeviceTextNeitherAddsNorChangesAField) {
  UsbDevice stick = Stick();
  stick.product_name = u"Blade\nVELLMOR_SERIAL=FAKE";
  stick.manufacturer = u"Maker\r\nPRIORITY=0\n";
  stick.disks[0].partitions[0].label = u"a\nb";
  stick.disks[0].partitions[0].mount_points = {u"/media/x\ny"};
  const std::vector<LogField> fields = LogFields(LogEvent::kArrived, stick);
  EXPECT_EQ(Values(fields, "VELLMOR_SERIAL"), std::vector<std::string>{"4C530001231120115142"});
  EXPECT_EQ(Value(fields, "PRIORITY"), "6");
  // The field keeps the text as the device gave it; the journal stores it whole.
  EXPECT_EQ(Value(fields, "VELLMOR_PRODUCT"), "Blade\nVELLMOR_SERIAL=FAKE");
  // One line, escaped as the text output does.
  EXPECT_EQ(Value(fields, "MESSAGE"),
            "USB drive plugged in: serial 4C530001231120115142, 0781:5567 "
            "Maker\\x0d\\x0aPRIORITY=0\\x0a Blade\\x0aVELLMOR_SERIAL=FAKE, at 1-2");
  // A list item stays one line.
  EXPECT_EQ(Value(fields, "VELLMOR_LABELS"), "a\\x0ab");
  EXPECT_EQ(Value(fields, "VELLMOR_MOUNT_POINTS"), "/media/x\\x0ay\n/media/b");
}

TEST(LogEventTest, DrivesAreLoggedInOrderAndOtherDevicesNot) {
  UsbDevice keyboard = Stick();
  keyboard.mass_storage = false;
  UsbDevice second = Stick();
  second.serial = u"SECOND0000000001";
  vellmor::test::FakeLogSink sink;
  std::string error;
  EXPECT_TRUE(LogDrives(sink, LogEvent::kPresent, {Stick(), keyboard, second}, error));
  ASSERT_EQ(sink.m_entries.size(), 2U);
  EXPECT_EQ(Value(sink.m_entries[1].fields, "VELLMOR_SERIAL"), "SECOND0000000001");
  EXPECT_EQ(sink.m_entries[1].event, LogEvent::kPresent);

  sink.m_fail_after = 3;
  EXPECT_FALSE(LogDrives(sink, LogEvent::kArrived, {Stick(), second}, error));
  EXPECT_EQ(error, "full");
  EXPECT_EQ(sink.m_entries.size(), 3U);
}

}  // namespace
}  // namespace vellmor::drives
