// Windows' device store and Application log as the history reads them, without Windows:
// the store's instances as SetupAPI hands them over, the events as the log renders them.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/utf.h"
#include "drives/device_store.h"
#include "drives/event_log_entry.h"
#include "drives/log_event.h"
#include "drives/stick_history.h"
#include "sandisk_stick.h"

namespace vellmor::drives {
namespace {

constexpr std::uint64_t kDay = 86400ULL * 1000 * 1000;
constexpr std::uint64_t kSecond = 1000ULL * 1000;
constexpr std::uint64_t kStart = 1793491200ULL * kSecond;  // 2026-11-01T00:00:00Z

const StickRecord* Find(const std::vector<StickRecord>& sticks, std::uint16_t vendor) {
  const auto found = std::ranges::find_if(
      sticks, [&](const StickRecord& stick) { return stick.device.vendor == vendor; });
  return found == sticks.end() ? nullptr : &*found;
}

// A stick with a serial, its disk found by that serial (not plugged in: no parent); a
// stick without one; a composite device whose interface is the storage; a disk found by
// its parent; a keyboard; a disk whose serial Windows made up.
std::vector<StoreDevice> Store() {
  std::vector<StoreDevice> store(8);
  store[0].instance_id = u"USB\\VID_0781&PID_5567\\4C530001231120115142";
  store[0].product_name = u"Cruzer Blade";
  store[0].location = u"Port_#0002.Hub_#0001";
  store[0].first_install_usec = kStart;
  store[0].last_arrival_usec = kStart + 10 * kDay;
  store[0].last_removal_usec = kStart + 10 * kDay + 3600 * kSecond;
  store[1].instance_id =
      u"USBSTOR\\DISK&VEN_SANDISK&PROD_CRUZER_BLADE&REV_1.00\\4C530001231120115142&0";
  store[1].service = u"disk";
  store[2].instance_id = u"USB\\VID_1234&PID_5678\\5&2B3C4D5E&0&4";
  store[2].service = u"USBSTOR";
  store[3].instance_id = u"USB\\VID_0951&PID_1666\\ABCDEF123456";
  store[3].service = u"usbccgp";
  store[4].instance_id = u"USB\\VID_0951&PID_1666&MI_00\\6&1A2B3C&0&0000";
  store[4].parent_id = u"USB\\VID_0951&PID_1666\\ABCDEF123456";
  store[4].service = u"USBSTOR";
  store[5].instance_id = u"USB\\VID_046D&PID_C52B\\5&1A2B3C4D&0&3";
  store[5].service = u"HidUsb";
  store[6].instance_id = u"USBSTOR\\DISK&VEN_GENERIC&PROD_FLASH&REV_8.07\\7&3A4B5C&0&0";
  store[6].parent_id = u"usb\\vid_090c&pid_1000\\aa00000000000489";
  store[7].instance_id = u"USB\\VID_090C&PID_1000\\AA00000000000489";
  store[7].product_name = u"USB Card Reader";
  store[7].last_arrival_usec = kStart + kDay;
  return store;
}

TEST(DeviceStoreTest, StoreInstancesBecomeStickRowsAsTheReadShowsThem) {
  StickHistory history;
  AddStoreDevices(history, Store(), std::nullopt);
  const std::vector<StickRecord> sticks = history.Sticks();
  ASSERT_EQ(sticks.size(), 4U);
  EXPECT_EQ(Find(sticks, 0x046D), nullptr) << "a keyboard is no stick";

  const StickRecord* cruzer = Find(sticks, 0x0781);
  ASSERT_NE(cruzer, nullptr);
  EXPECT_EQ(cruzer->device.product, 0x5567);
  EXPECT_EQ(cruzer->device.serial, u"4C530001231120115142");
  EXPECT_EQ(cruzer->device.device_id, u"USB\\VID_0781&PID_5567\\4C530001231120115142");
  EXPECT_EQ(cruzer->device.product_name, u"Cruzer Blade");
  EXPECT_EQ(cruzer->device.port, u"Port_#0002.Hub_#0001");
  EXPECT_EQ(cruzer->first_seen_usec, kStart);
  EXPECT_EQ(cruzer->last_seen_usec, kStart + 10 * kDay + 3600 * kSecond);
  EXPECT_EQ(cruzer->arrivals, 2U) << "the first install and a later arrival";
  EXPECT_EQ(cruzer->sources, kDeviceStore);
  EXPECT_TRUE(cruzer->device.notes.empty());

  const StickRecord* no_serial = Find(sticks, 0x1234);
  ASSERT_NE(no_serial, nullptr);
  EXPECT_EQ(no_serial->device.serial, u"5&2B3C4D5E&0&4");
  EXPECT_TRUE(no_serial->device.serial_made_up);
  EXPECT_NE(std::ranges::find(no_serial->device.notes, SerialNote::kMadeUp),
            no_serial->device.notes.end());
  EXPECT_EQ(no_serial->first_seen_usec, 0U) << "the store kept no date";
  EXPECT_EQ(no_serial->arrivals, 1U) << "the store holds a device once it was plugged in";

  const StickRecord* composite = Find(sticks, 0x0951);
  ASSERT_NE(composite, nullptr);
  EXPECT_EQ(composite->device.device_id, u"USB\\VID_0951&PID_1666\\ABCDEF123456");

  const StickRecord* reader = Find(sticks, 0x090C);
  ASSERT_NE(reader, nullptr);
  EXPECT_NE(std::ranges::find(reader->device.notes, SerialNote::kCardReader),
            reader->device.notes.end());
}

TEST(DeviceStoreTest, ADiskIsMatchedByItsSerialOnlyWhenOneDeviceCarriesIt) {
  std::vector<StoreDevice> store(3);
  store[0].instance_id = u"USB\\VID_0781&PID_5567\\SAME00000001";
  store[1].instance_id = u"USB\\VID_0951&PID_1666\\SAME00000001";
  store[2].instance_id = u"USBSTOR\\DISK&VEN_X&PROD_Y&REV_1\\SAME00000001&0";
  StickHistory history;
  AddStoreDevices(history, store, std::nullopt);
  EXPECT_TRUE(history.Sticks().empty());
}

TEST(DeviceStoreTest, SinceKeepsTheDatesFromThenOnAndDropsSticksWithoutDates) {
  StickHistory history;
  AddStoreDevices(history, Store(), kStart + 5 * kDay);
  const std::vector<StickRecord> sticks = history.Sticks();
  ASSERT_EQ(sticks.size(), 1U);
  EXPECT_EQ(sticks[0].device.vendor, 0x0781);
  EXPECT_EQ(sticks[0].first_seen_usec, kStart + 10 * kDay);
  EXPECT_EQ(sticks[0].arrivals, 1U);
}

TEST(DeviceStoreTest, FileTimesBecomeTheWatchsUtcText) {
  const auto time = FileTimeToUnixUsec(134411166021230000ULL);
  ASSERT_TRUE(time.has_value());
  EXPECT_EQ(UtcTime(*time), "2026-12-07T11:30:02.123Z");
  EXPECT_EQ(FileTimeToUnixUsec(116444736000000000ULL), 0U);
  EXPECT_FALSE(FileTimeToUnixUsec(0).has_value()) << "a time the system does not know";
  EXPECT_FALSE(FileTimeToUnixUsec(116444735999999999ULL).has_value());
}

// The event as the Application log renders what ReportEventW got: each field an
// insertion string, in order, as XML text.
std::u16string EventXml(LogEvent event, const UsbDevice& device, std::string_view time) {
  const std::vector<LogField> fields = LogFields(event, device);
  std::string xml =
      "<Event xmlns='http://schemas.microsoft.com/win/2004/08/events/event'>"
      "<System><Provider Name='Vellmor'/><EventID Qualifiers='0'>" +
      std::to_string(LogEventId(event)) + "</EventID><Level>4</Level><TimeCreated SystemTime='" +
      std::string(time) + "'/><Channel>Application</Channel></System><EventData>";
  for (const std::string_view name : InsertionFieldNames()) {
    std::string value;
    for (const LogField& field : fields) {
      if (field.name == name) {
        value = field.value;
      }
    }
    std::string escaped;
    for (const char c : value) {
      switch (c) {
        case '&':
          escaped += "&amp;";
          break;
        case '<':
          escaped += "&lt;";
          break;
        case '>':
          escaped += "&gt;";
          break;
        case '\t':
          escaped += "&#x9;";
          break;
        default:
          escaped += c;
      }
    }
    xml += escaped.empty() ? "<Data></Data>" : "<Data>" + escaped + "</Data>";
  }
  xml += "</EventData></Event>";
  return Utf8ToUtf16(xml).value();
}

UsbDevice Cruzer() {
  UsbDevice device = fixtures::SanDiskStick();
  device.manufacturer.reset();
  device.product_name = u"Cruzer <Blade> & 中文";
  device.port = u"Port_#0002.Hub_#0001";
  device.mass_storage = true;
  device.notes = {SerialNote::kShort, SerialNote::kShared};
  return device;
}

TEST(DeviceStoreTest, TheToolsEventsReadBackAndMergeWithTheStore) {
  const auto arrived =
      EventXmlToLogEntry(EventXml(LogEvent::kArrived, Cruzer(), "2026-11-11T00:00:05.1234567Z"));
  ASSERT_TRUE(arrived.has_value());
  EXPECT_EQ(arrived->time_usec, kStart + 10 * kDay + 5 * kSecond + 123456);
  EXPECT_EQ(arrived->fields.at("MESSAGE_ID"), LogMessageId(LogEvent::kArrived));
  EXPECT_EQ(arrived->fields.at("VELLMOR_PRODUCT"), "Cruzer <Blade> & 中文");
  EXPECT_EQ(arrived->fields.at("VELLMOR_SERIAL"), "4C530001231120115142");
  EXPECT_EQ(arrived->fields.count("VELLMOR_MANUFACTURER"), 0U) << "an empty string is no field";

  const auto earlier =
      EventXmlToLogEntry(EventXml(LogEvent::kArrived, Cruzer(), "2026-11-04T00:00:00Z"));
  const auto removed =
      EventXmlToLogEntry(EventXml(LogEvent::kRemoved, Cruzer(), "2026-11-11T00:30:00.5Z"));
  ASSERT_TRUE(earlier && removed);
  EXPECT_EQ(removed->time_usec, kStart + 10 * kDay + 1800 * kSecond + 500000);

  StickHistory history;
  for (const LogEntry& entry : {*earlier, *arrived, *removed}) {
    history.Add(entry);
  }
  AddStoreDevices(history, Store(), std::nullopt);
  const std::vector<StickRecord> sticks = history.Sticks();
  const StickRecord* cruzer = Find(sticks, 0x0781);
  ASSERT_NE(cruzer, nullptr);
  EXPECT_EQ(
      std::ranges::count_if(sticks, [](const StickRecord& s) { return s.device.vendor == 0x0781; }),
      1);
  EXPECT_EQ(cruzer->sources, kOwnEvents | kDeviceStore);
  // The tool saw two pluggings; the store's last arrival is the second of them, its first
  // install one the tool did not see.
  EXPECT_EQ(cruzer->arrivals, 3U);
  EXPECT_EQ(cruzer->first_seen_usec, kStart);
  EXPECT_EQ(cruzer->last_seen_usec, kStart + 10 * kDay + 3600 * kSecond);
  EXPECT_NE(std::ranges::find(cruzer->device.notes, SerialNote::kShared),
            cruzer->device.notes.end())
      << "the notes the tool logged stay";
}

TEST(DeviceStoreTest, EventsOfOtherKindsOrWithoutATimeAreNotRead) {
  std::u16string xml = EventXml(LogEvent::kArrived, Cruzer(), "2026-11-11T00:00:05Z");
  EXPECT_TRUE(EventXmlToLogEntry(xml).has_value());
  std::u16string other = xml;
  other.replace(other.find(u">1</EventID>"), 12, u">7</EventID>");
  EXPECT_FALSE(EventXmlToLogEntry(other).has_value());
  for (const std::u16string_view time : {u"2026-11-11T00:00:05", u"2026-13-11T00:00:05Z",
                                         u"2026-11-11T00:00:05.Z", u"2026-11-11T00:00:05.x1Z"}) {
    std::u16string bad = xml;
    bad.replace(bad.find(u"2026-11-11T00:00:05Z"), 20, time);
    EXPECT_FALSE(EventXmlToLogEntry(bad).has_value()) << Utf16ToUtf8(time);
  }
  // A broken reference leaves that string out, not the event.
  std::u16string broken = xml;
  broken.replace(broken.find(u"&amp; 中文"), 5, u"&bogus;");
  const auto entry = EventXmlToLogEntry(broken);
  ASSERT_TRUE(entry.has_value());
  EXPECT_EQ(entry->fields.count("VELLMOR_PRODUCT"), 0U);
  EXPECT_EQ(entry->fields.at("VELLMOR_DEVICE_ID"), "USB\\VID_0781&PID_5567\\4C530001231120115142");
}

}  // namespace
}  // namespace vellmor::drives
