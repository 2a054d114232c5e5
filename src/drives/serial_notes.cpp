#include "serial_notes.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <map>
#include <string>

#include "base/utf.h"
#include "serial/selection_rule.h"

namespace vellmor::drives {

namespace {

// Serials seen on many unrelated cheap and promotional sticks.
constexpr std::array<std::u16string_view, 8> kPlaceholders = {
    u"0123456789ABCDEF", u"123456789ABCDEF", u"1234567890ABCDEF", u"0123456789",
    u"1234567890",       u"000000000001",    u"0000000000000001", u"00000000000000000001"};

constexpr std::array<std::u16string_view, 9> kCardReaderWords = {
    u"READER",  u"SD/MMC", u"MMC/SD",       u"MULTI-CARD", u"MULTICARD",
    u"MICROSD", u"SDXC",   u"COMPACTFLASH", u"MS/MS-PRO"};

}  // namespace

bool IsPlaceholderSerial(std::u16string_view serial) {
  if (serial.size() >= 2 && serial.find_first_not_of(serial.front()) == std::u16string_view::npos) {
    return true;
  }
  const std::u16string upper = AsciiUpperCase(serial);
  return std::find(kPlaceholders.begin(), kPlaceholders.end(), upper) != kPlaceholders.end();
}

bool NamesCardReader(std::u16string_view name) {
  const std::u16string upper = AsciiUpperCase(name);
  return std::any_of(
      kCardReaderWords.begin(), kCardReaderWords.end(),
      [&](std::u16string_view word) { return upper.find(word) != std::u16string::npos; });
}

void AddSerialNotes(std::vector<UsbDevice>& devices) {
  std::map<std::u16string, int> owners;
  for (const UsbDevice& device : devices) {
    if (!device.serial_made_up && !device.serial.empty()) {
      ++owners[AsciiUpperCase(device.serial)];
    }
  }
  for (UsbDevice& device : devices) {
    std::vector<SerialNote>& notes = device.notes;
    notes.clear();
    if (device.serial_made_up) {
      notes.push_back(SerialNote::kMadeUp);
    } else {
      if (device.serial.size() < kShortestClassSerial) {
        notes.push_back(SerialNote::kShort);
      }
      if (IsPlaceholderSerial(device.serial)) {
        notes.push_back(SerialNote::kPlaceholder);
      }
      if (owners[AsciiUpperCase(device.serial)] > 1) {
        notes.push_back(SerialNote::kShared);
      }
    }
    if (device.card_reader) {
      notes.push_back(SerialNote::kCardReader);
    }
    if (device.media_unreadable) {
      notes.push_back(SerialNote::kMediaUnreadable);
    }
  }
}

std::vector<SerialNote> NotesForSerial(const std::vector<UsbDevice>& devices,
                                       std::u16string_view serial) {
  for (auto device = devices.rbegin(); device != devices.rend(); ++device) {
    if (serial::MatchesVidPattern(device->device_id) &&
        serial::LastPiece(device->device_id) == serial) {
      return device->notes;
    }
  }
  return {};
}

std::vector<SerialNote> NotesForShownSerial(DriveSource& drives, std::u16string_view serial) {
  if (serial.empty()) {
    return {};
  }
  const auto devices = drives.ScanUsbDevices(ScanDepth::kUnits);
  return devices ? NotesForSerial(*devices, serial) : std::vector<SerialNote>();
}

std::string_view NoteName(SerialNote note) {
  switch (note) {
    case SerialNote::kMadeUp:
      return "madeUp";
    case SerialNote::kShort:
      return "short";
    case SerialNote::kPlaceholder:
      return "placeholder";
    case SerialNote::kShared:
      return "shared";
    case SerialNote::kCardReader:
      return "cardReader";
    case SerialNote::kMediaUnreadable:
      return "mediaUnreadable";
  }
  return "unknown";
}

std::string_view NoteText(SerialNote note) {
  switch (note) {
    case SerialNote::kMadeUp:
      return "the serial is made up by the system from the port; it changes when the device moves "
             "to another port";
    case SerialNote::kShort:
      return "the serial is shorter than 12 characters, the least the mass-storage class asks for";
    case SerialNote::kPlaceholder:
      return "the serial is a placeholder many devices share";
    case SerialNote::kShared:
      return "another device plugged in now has the same serial";
    case SerialNote::kCardReader:
      return "the device is a card reader: the serial is the reader's, not the card's";
    case SerialNote::kMediaUnreadable:
      return "the stick's media did not answer in time or answered with errors; its volumes show "
             "only their names and sizes";
  }
  return "";
}

}  // namespace vellmor::drives
