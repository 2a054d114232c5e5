#pragma once

// `descriptors` attributes of real kinds of device, byte for byte as the kernel shows
// them: the device descriptor, then the first configuration. Class-specific descriptors
// that nothing here reads are kept where they sit, so the walk must step over them.

#include <cstddef>
#include <string>
#include <string_view>

namespace vellmor::fixtures {

// "12 01 …": two hexadecimal digits a byte, spaces between.
inline std::string HexBytes(std::string_view text) {
  std::string bytes;
  const auto digit = [](char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; };
  for (std::size_t i = 0; i + 1 < text.size(); i += 3) {
    bytes.push_back(static_cast<char>(digit(text[i]) * 16 + digit(text[i + 1])));
  }
  return bytes;
}

// A flash drive (0781:5567): one bulk-only mass-storage interface, serial string 3.
inline const std::string kStickBytes = HexBytes(
    "12 01 00 02 00 00 00 40 81 07 67 55 26 01 01 02 03 01 "
    "09 02 20 00 01 01 00 80 32 "
    "09 04 00 00 02 08 06 50 00 07 05 81 02 00 02 00 07 05 02 02 00 02 00");

// A USB 3 drive (04e8:61f5) whose second alternate setting speaks UAS.
inline const std::string kUasStickBytes = HexBytes(
    "12 01 10 03 00 00 00 09 e8 04 f5 61 00 01 02 03 01 01 "
    "09 02 79 00 01 01 00 80 70 "
    "09 04 00 00 02 08 06 50 00 07 05 81 02 00 04 00 06 30 0f 00 00 00 "
    "07 05 02 02 00 04 00 06 30 0f 00 00 00 "
    "09 04 00 01 04 08 06 62 00 07 05 01 02 00 04 00 06 30 00 00 00 00 04 24 04 00 "
    "07 05 82 02 00 04 00 06 30 0f 00 00 00 04 24 03 00 "
    "07 05 83 02 00 04 00 06 30 0f 00 00 00 04 24 02 00 "
    "07 05 04 02 00 04 00 06 30 00 00 00 00 04 24 01 00");

// A boot keyboard (413c:2113) with one HID interface and serial string 3.
inline const std::string kKeyboardBytes = HexBytes(
    "12 01 10 01 00 00 00 08 3c 41 13 21 08 01 01 02 03 01 "
    "09 02 22 00 01 01 00 a0 32 "
    "09 04 00 00 01 03 01 01 00 09 21 11 01 00 01 22 41 00 07 05 81 03 08 00 0a");

// A keyboard (046d:c31c) with a second HID interface for its media keys.
inline const std::string kTwoInterfaceKeyboardBytes = HexBytes(
    "12 01 10 01 00 00 00 08 6d 04 1c c3 64 49 01 02 00 01 "
    "09 02 3b 00 02 01 03 a0 2d "
    "09 04 00 00 01 03 01 01 00 09 21 10 01 00 01 22 3b 00 07 05 81 03 08 00 0a "
    "09 04 01 00 01 03 00 00 00 09 21 10 01 00 01 22 b1 00 07 05 82 03 04 00 ff");

// A mouse (046d:c077) that names no serial.
inline const std::string kMouseBytes = HexBytes(
    "12 01 00 02 00 00 00 08 6d 04 77 c0 00 72 01 02 00 01 "
    "09 02 22 00 01 01 00 a0 32 "
    "09 04 00 00 01 03 01 02 00 09 21 11 01 00 01 22 34 00 07 05 81 03 04 00 0a");

// An external four-port hub (05e3:0608): hub class on the device.
inline const std::string kHubBytes = HexBytes(
    "12 01 00 02 09 00 01 40 e3 05 08 06 60 88 00 01 00 01 "
    "09 02 19 00 01 01 00 e0 32 "
    "09 04 00 00 01 09 00 00 00 07 05 81 03 01 00 0c");

// A webcam (046d:0825): video and audio functions grouped by interface associations.
inline const std::string kWebcamBytes = HexBytes(
    "12 01 00 02 ef 02 01 40 6d 04 25 08 10 00 00 00 02 01 "
    "09 02 a5 00 04 01 00 80 fa "
    "08 0b 00 02 0e 03 00 00 "
    "09 04 00 00 01 0e 01 00 00 0d 24 01 00 01 4d 00 80 c3 c9 01 01 01 07 05 87 03 10 00 08 "
    "09 04 01 00 00 0e 02 00 00 "
    "09 04 01 01 01 0e 02 00 00 07 05 81 05 c0 00 01 "
    "08 0b 02 02 01 02 00 00 "
    "09 04 02 00 00 01 01 00 00 09 24 01 00 01 26 00 01 03 "
    "09 04 03 00 00 01 02 00 00 "
    "09 04 03 01 01 01 02 00 00 07 25 01 01 00 00 00 09 05 86 05 44 00 04 00 00");

// A laser printer (04f9:02ab) with its printer interface alone.
inline const std::string kPrinterBytes = HexBytes(
    "12 01 00 02 00 00 00 40 f9 04 ab 02 00 01 01 02 03 01 "
    "09 02 20 00 01 01 00 c0 01 "
    "09 04 00 00 02 07 01 02 00 07 05 01 02 40 00 00 07 05 82 02 40 00 00");

// A printer-scanner (03f0:5417): vendor interfaces beside printing and a card slot.
inline const std::string kPrinterScannerBytes = HexBytes(
    "12 01 00 02 00 00 00 40 f0 03 17 54 00 01 01 02 03 01 "
    "09 02 5d 00 04 01 00 c0 01 "
    "09 04 00 00 03 ff cc 00 00 07 05 01 02 00 02 00 07 05 81 02 00 02 00 07 05 82 03 40 00 07 "
    "09 04 01 00 02 07 01 02 00 07 05 03 02 00 02 00 07 05 83 02 00 02 00 "
    "09 04 02 00 02 ff 04 01 00 07 05 04 02 00 02 00 07 05 84 02 00 02 00 "
    "09 04 03 00 02 08 06 50 00 07 05 05 02 00 02 00 07 05 85 02 00 02 00");

// An encrypted drive (0951:16a2): mass storage beside a HID interface for its keypad.
inline const std::string kCompositeStickBytes = HexBytes(
    "12 01 00 02 00 00 00 40 51 09 a2 16 00 01 01 02 03 01 "
    "09 02 39 00 02 01 00 80 32 "
    "09 04 00 00 02 08 06 50 00 07 05 81 02 00 02 00 07 05 02 02 00 02 00 "
    "09 04 01 00 01 03 00 00 00 09 21 11 01 00 01 22 22 00 07 05 83 03 40 00 01");

// A Bluetooth adapter (8087:0a2b): wireless controller class on the device.
inline const std::string kBluetoothBytes = HexBytes(
    "12 01 00 02 e0 01 01 40 87 80 2b 0a 01 00 00 00 00 01 "
    "09 02 32 00 02 01 00 e0 00 "
    "09 04 00 00 03 e0 01 01 00 07 05 81 03 10 00 01 07 05 82 02 40 00 01 07 05 02 02 40 00 01 "
    "09 04 01 00 00 e0 01 01 00");

// A game pad (045e:028e): vendor class on the device, several vendor interfaces.
inline const std::string kVendorClassBytes = HexBytes(
    "12 01 00 02 ff ff ff 08 5e 04 8e 02 14 01 01 02 03 01 "
    "09 02 30 00 02 01 00 a0 fa "
    "09 04 00 00 02 ff 5d 01 00 07 05 81 03 20 00 04 07 05 01 03 20 00 08 "
    "09 04 01 00 00 ff fd 13 04");

// A programmer (0483:3748) with one vendor interface, as WinUSB takes it.
inline const std::string kVendorInterfaceBytes = HexBytes(
    "12 01 00 02 00 00 00 40 83 04 48 37 00 01 01 02 03 01 "
    "09 02 20 00 01 01 00 80 32 "
    "09 04 00 00 02 ff ff ff 04 07 05 81 02 40 00 00 07 05 02 02 40 00 00");

// A serial adapter (2341:0043): communications class on the device.
inline const std::string kSerialAdapterBytes = HexBytes(
    "12 01 10 01 02 00 00 08 41 23 43 00 01 00 01 02 dc 01 "
    "09 02 3e 00 02 01 00 c0 32 "
    "09 04 00 00 01 02 02 01 00 05 24 00 10 01 07 05 82 03 08 00 ff "
    "09 04 01 00 02 0a 00 00 00 07 05 04 02 40 00 01 07 05 83 02 40 00 01");

// A headset (0d8c:000c): audio control, two audio streams and a HID interface.
inline const std::string kHeadsetBytes = HexBytes(
    "12 01 10 01 00 00 00 08 8c 0d 0c 00 00 01 01 02 00 01 "
    "09 02 48 00 04 01 00 80 32 "
    "09 04 00 00 00 01 01 00 00 "
    "09 04 01 00 00 01 02 00 00 09 04 01 01 01 01 02 00 00 "
    "09 04 02 00 00 01 02 00 00 09 04 02 01 01 01 02 00 00 "
    "09 04 03 00 01 03 00 00 00");

// A phone (18d1:4ee2) with two configurations: Windows takes the first, not the parent.
inline const std::string kTwoConfigurationPhoneBytes = HexBytes(
    "12 01 00 02 00 00 00 40 d1 18 e2 4e 40 04 01 02 03 02 "
    "09 02 27 00 02 01 00 80 fa "
    "09 04 00 00 03 06 01 01 05 "
    "09 04 01 00 02 ff 42 01 06 "
    "09 02 19 00 01 02 00 80 fa "
    "09 04 00 00 02 08 06 50 00");

}  // namespace vellmor::fixtures
