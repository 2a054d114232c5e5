#include "serial/usb_descriptors.h"

#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "usb_descriptor_bytes.h"

namespace vellmor::serial {
namespace {

using namespace vellmor::fixtures;  // NOLINT(google-build-using-namespace): the byte tables

std::vector<std::uint8_t> Numbers(const std::vector<UsbInterface>& interfaces) {
  std::vector<std::uint8_t> numbers;
  for (const UsbInterface& interface : interfaces) {
    numbers.push_back(interface.number);
  }
  return numbers;
}

// Which devices a Win32_USBHub query would list, and which of them hold storage.
TEST(UsbSetupClassTest, MembershipFollowsTheDriverWindowsLoads) {
  const struct {
    const char* device;
    const std::string& bytes;
    bool listed;
    bool storage;
    std::vector<std::uint8_t> interface_nodes;
  } kCases[] = {
      {"flash drive", kStickBytes, true, true, {}},
      {"UAS drive", kUasStickBytes, true, true, {}},
      {"encrypted drive with keypad", kCompositeStickBytes, true, true, {0}},
      {"external hub", kHubBytes, true, false, {}},
      {"printer", kPrinterBytes, true, false, {}},
      {"printer-scanner with card slot", kPrinterScannerBytes, true, true, {1, 3}},
      {"webcam", kWebcamBytes, true, false, {}},
      {"two-interface keyboard", kTwoInterfaceKeyboardBytes, true, false, {}},
      {"headset", kHeadsetBytes, true, false, {}},
      {"keyboard", kKeyboardBytes, false, false, {}},
      {"mouse", kMouseBytes, false, false, {}},
      {"Bluetooth adapter", kBluetoothBytes, false, false, {}},
      {"vendor-class game pad", kVendorClassBytes, false, false, {}},
      {"vendor-interface programmer", kVendorInterfaceBytes, false, false, {}},
      {"serial adapter", kSerialAdapterBytes, false, false, {}},
      {"phone with two configurations", kTwoConfigurationPhoneBytes, false, false, {}},
  };
  for (const auto& c : kCases) {
    const auto descriptor = ParseDescriptors(c.bytes);
    ASSERT_TRUE(descriptor.has_value()) << c.device;
    const UsbClassMembership membership = UsbSetupClassMembership(*descriptor, false);
    EXPECT_EQ(membership.listed, c.listed) << c.device;
    EXPECT_EQ(membership.storage, c.storage) << c.device;
    EXPECT_EQ(Numbers(membership.listed_interfaces), c.interface_nodes) << c.device;
  }
  // A root hub is listed whatever its descriptors say.
  const auto root = ParseDescriptors(kMouseBytes);
  ASSERT_TRUE(root.has_value());
  EXPECT_TRUE(UsbSetupClassMembership(*root, true).listed);
  EXPECT_FALSE(UsbSetupClassMembership(*root, true).storage);
}

TEST(UsbSetupClassTest, OnlyTheFirstConfigurationsFirstAlternateSettingsCount) {
  const auto uas = ParseDescriptors(kUasStickBytes);
  ASSERT_TRUE(uas.has_value());
  ASSERT_EQ(uas->interfaces.size(), 1U);
  EXPECT_EQ(uas->interfaces[0].interface_class, 0x08);
  const auto phone = ParseDescriptors(kTwoConfigurationPhoneBytes);
  ASSERT_TRUE(phone.has_value());
  EXPECT_EQ(Numbers(phone->interfaces), (std::vector<std::uint8_t>{0, 1}));
  EXPECT_TRUE(phone->mass_storage) << "the drive code still sees the second configuration";
}

}  // namespace
}  // namespace vellmor::serial
