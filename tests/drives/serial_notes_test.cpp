#include "drives/serial_notes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vellmor::drives {
namespace {

UsbDevice Device(std::u16string serial, bool made_up = false, bool card_reader = false) {
  UsbDevice device;
  device.device_id = u"USB\\VID_0781&PID_5567\\" + serial;
  device.serial = std::move(serial);
  device.serial_made_up = made_up;
  device.card_reader = card_reader;
  return device;
}

using Notes = std::vector<SerialNote>;

TEST(SerialNotesTest, EachDeviceGetsTheNotesItsSerialEarns) {
  std::vector<UsbDevice> devices = {
      Device(u"4C530001231120115142"),
      Device(u"AB12CD34"),
      Device(u"0123456789abcdef"),  // placeholders compare without case
      Device(u"AAAAAAAAAAAAAAAA"),
      Device(u"000000000001"),
      Device(u"5&977676F0&0&3", true),  // made up: no other note on its text
      Device(u"5&977676F0&0&3", true),
      Device(u"20090815198100000", false, true),
      Device(u"X"),
      Device(u"0123456789ABCDEF"),
  };
  AddSerialNotes(devices);
  const Notes expected[] = {
      {},
      {SerialNote::kShort},
      {SerialNote::kPlaceholder, SerialNote::kShared},
      {SerialNote::kPlaceholder},
      {SerialNote::kPlaceholder},
      {SerialNote::kMadeUp},
      {SerialNote::kMadeUp},
      {SerialNote::kCardReader},
      {SerialNote::kShort},
      {SerialNote::kPlaceholder, SerialNote::kShared},
  };
  for (std::size_t i = 0; i < devices.size(); ++i) {
    EXPECT_EQ(devices[i].notes, expected[i]) << i;
  }
}

TEST(SerialNotesTest, ReadActionTakesTheLastDeviceWithThatSerial) {
  std::vector<UsbDevice> devices = {Device(u"AB12CD34"), Device(u"4C530001231120115142", true)};
  devices[0].device_id = u"USB\\ROOT_HUB20\\AB12CD34";  // no VID: never chosen
  AddSerialNotes(devices);
  EXPECT_EQ(NotesForSerial(devices, u"4C530001231120115142"), Notes{SerialNote::kMadeUp});
  EXPECT_EQ(NotesForSerial(devices, u"AB12CD34"), Notes{});
}

TEST(SerialNotesTest, CardReadersAreKnownByTheirNames) {
  for (const std::u16string_view name :
       {u"USB3.0 Card Reader", u"Generic- SD/MMC", u"Multi-Card", u"STORAGE DEVICE"}) {
    EXPECT_EQ(NamesCardReader(name), name != u"STORAGE DEVICE") << name.size();
  }
}

}  // namespace
}  // namespace vellmor::drives
