#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "serial/drives.h"

namespace vellmor::cli {

// Bumped only when a key changes meaning or goes; new keys keep the number.
inline constexpr int kJsonSchemaVersion = 1;

// "0781": a vendor or product id as Windows writes it.
std::string HexId(std::uint16_t value);

// ["madeUp","short",...]
std::string NotesJson(const std::vector<serial::SerialNote>& notes);

// One line on standard error per note, for the plain read action.
void WriteNoteLines(const std::vector<serial::SerialNote>& notes, std::ostream& err);

// One device as a JSON object, without a line end.
std::string DriveJson(const serial::UsbDevice& device);

// `drives`: every mass-storage device now plugged in, in delivery order.
int RunDrives(bool json, serial::DriveSource& source, std::ostream& out, std::ostream& err);

}  // namespace vellmor::cli
