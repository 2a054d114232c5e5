#include "serial/usb_device_list.h"

#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace vellmor::serial {
namespace {

// A device descriptor of vendor 0781, product 5567; serial_index 0 names no serial.
std::string DeviceDescriptorBytes(char serial_index) {
  return std::string("\x12\x01\x00\x02\x00\x00\x00\x40\x81\x07\x67\x55\x00\x01\x01\x02", 16) +
         serial_index + '\x01';
}

// The list read from memory, so every read can be counted: a device costs its
// descriptors and, only when they name a serial, its serial; other entries cost nothing.
TEST(UsbDeviceListTest, ReadsEachDeviceAtMostTwiceAndDeliversInOrder) {
  const std::map<std::string, Attribute> files = {
      {"1-2/descriptors", {Attribute::Status::kText, DeviceDescriptorBytes(3)}},
      {"1-2/serial", {Attribute::Status::kText, "4c530001\n"}},
      {"1-10/descriptors", {Attribute::Status::kText, DeviceDescriptorBytes(0)}},
      {"1-10/serial", {Attribute::Status::kText, "NOT_NAMED\n"}},
  };
  std::vector<std::string> reads;
  const auto devices =
      ReadUsbDeviceList({"1-10", "1-2:1.0", "1-2", "driver"}, [&](const std::string& relative) {
        reads.push_back(relative);
        const auto file = files.find(relative);
        return file == files.end() ? Attribute{} : file->second;
      });

  EXPECT_EQ(reads, (std::vector<std::string>{"1-10/descriptors", "1-2/descriptors", "1-2/serial"}));
  ASSERT_EQ(devices.size(), 2U);
  EXPECT_EQ(devices[0].name, "1-2");
  EXPECT_EQ(devices[0].id, DeviceId::Text(u"USB\\VID_0781&PID_5567\\4C530001"));
  EXPECT_FALSE(devices[0].serial_made_up);
  EXPECT_EQ(devices[1].name, "1-10");
  EXPECT_TRUE(devices[1].serial_made_up);
  EXPECT_EQ(devices[1].vendor, 0x0781);
}

}  // namespace
}  // namespace vellmor::serial
