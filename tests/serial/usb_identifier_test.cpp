#include "serial/usb_identifier.h"

#include <gtest/gtest.h>

namespace vellmor::serial {
namespace {

TEST(UsbIdentifierTest, IdsAndInstanceComeApartAndMadeUpInstancesAreKnown) {
  const auto parts = ParseUsbIdentifier(u"USB\\VID_0781&PID_55ab\\5&1A2B3C4D&0&3");
  ASSERT_TRUE(parts);
  EXPECT_EQ(parts->vendor, 0x0781);
  EXPECT_EQ(parts->product, 0x55AB);
  EXPECT_TRUE(IsGeneratedInstance(parts->instance));
  for (const std::u16string_view bad :
       {u"USB\\ROOT_HUB20\\4&1A2B3C&0", u"USB\\VID_07G1&PID_5567\\X", u"HID\\VID_0781&PID_5567\\X",
        u"USB\\VID_0781&PID_5567", u"USB\\VID_0781&PID_5567\\A\\B",
        // Too short for both ids: refused, not read past the end.
        u"USB\\VID_XYZ\\AB12CD34", u"USB\\VID_\\A", u"USB\\VID_0781&PID_556\\A"}) {
    EXPECT_FALSE(ParseUsbIdentifier(bad)) << bad.size();
  }
  EXPECT_TRUE(IsGeneratedInstance(u"6&2f6c0b6&0"));
  for (const std::u16string_view own :
       {u"4C530001231120115142", u"5&", u"5&1A2B&0&", u"X&1A2B&0&3", u"5&1A2B&0&3&4", u"5&&0&3"}) {
    EXPECT_FALSE(IsGeneratedInstance(own)) << own.size();
  }
}

}  // namespace
}  // namespace vellmor::serial
