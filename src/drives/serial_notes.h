#pragma once

#include <string_view>
#include <vector>

#include "drives.h"

namespace vellmor::drives {

inline constexpr std::size_t kShortestClassSerial = 12;

// A serial many devices share by design: a known placeholder or one character repeated.
bool IsPlaceholderSerial(std::u16string_view serial);

// Names a card reader goes by: its product string or its disks' models.
bool NamesCardReader(std::u16string_view name);

// Fills each device's notes; "shared" compares the devices' own serials with each other.
void AddSerialNotes(std::vector<UsbDevice>& devices);

// The notes of the device the read action would take the serial from: the last in
// delivery order whose identifier contains VID and ends in that serial.
std::vector<SerialNote> NotesForSerial(const std::vector<UsbDevice>& devices,
                                       std::u16string_view serial);

// The notes on the serial the read action shows, from a ScanDepth::kUnits scan: sysfs
// alone, no volume opened. None when the serial is empty or the scan fails.
std::vector<SerialNote> NotesForShownSerial(DriveSource& drives, std::u16string_view serial);

std::string_view NoteName(SerialNote note);
std::string_view NoteText(SerialNote note);

}  // namespace vellmor::drives
