#pragma once

// Bytes of a USB stick as the kernel and a volume show them, shared by the drive
// tests and the drive benchmark so both build the same sticks.

#include <cstddef>
#include <cstdint>
#include <string>

namespace vellmor::fixtures {

// A USB 2.0 device's `descriptors`: one interface of the given class (8 is mass
// storage); serial string 3 or none.
inline std::string StickDescriptors(std::uint16_t vendor, std::uint16_t product, bool names_serial,
                                    std::uint8_t interface_class = 8) {
  std::string bytes(
      "\x12\x01\x00\x02\x00\x00\x00\x40\x00\x00\x00\x00\x00\x01\x01\x02\x03\x01"
      "\x09\x02\x12\x00\x01\x01\x00\x80\x32"
      "\x09\x04\x00\x00\x02\x08\x06\x50\x00",
      36);
  bytes[8] = static_cast<char>(vendor & 0xFFU);
  bytes[9] = static_cast<char>(vendor >> 8U);
  bytes[10] = static_cast<char>(product & 0xFFU);
  bytes[11] = static_cast<char>(product >> 8U);
  bytes[16] = names_serial ? '\x03' : '\0';
  bytes[32] = static_cast<char>(interface_class);
  return bytes;
}

// The start of a FAT volume with its label in the boot sector and in the root folder,
// where libblkid looks for it.
inline std::string FatVolume(const std::string& label) {
  std::string bytes(std::size_t{32} * 1024, '\0');
  const std::string boot(
      "\xEB\x3C\x90MSDOS5.0\x00\x02\x04\x01\x00\x02\x00\x02\x00\x20\xF8\x08\x00\x20\x00\x40\x00"
      "\x00\x00\x00\x00\x00\x00\x00\x00\x80\x00\x29\x12\x34\x56\x78",
      43);
  const std::string padded = (label + std::string(11, ' ')).substr(0, 11);
  bytes.replace(0, boot.size(), boot);
  bytes.replace(43, 11, padded);
  bytes.replace(54, 8, "FAT16   ");
  bytes.replace(510, 2, "\x55\xAA");
  bytes.replace(std::size_t{17} * 512, 11, padded);
  bytes[std::size_t{17} * 512 + 11] = '\x08';
  return bytes;
}

}  // namespace vellmor::fixtures
