#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "drives.h"

namespace vellmor::drives {

// Bumped only when a key changes meaning or goes; new keys keep the number.
inline constexpr int kJsonSchemaVersion = 1;

// "0781": a vendor or product id as Windows writes it.
std::string HexId(std::uint16_t value);

// ["madeUp","short",...]
std::string NotesJson(const std::vector<SerialNote>& notes);

// One device as a JSON object, without a line end.
std::string DriveJson(const UsbDevice& device);

// What `drives --json` prints, without the line end: the mass-storage devices among
// `devices`, in their order.
std::string DrivesJson(const std::vector<UsbDevice>& devices);

// As DrivesJson, with what `extra` gives (",\"key\":value...") added to each drive object.
std::string DrivesJson(const std::vector<UsbDevice>& devices,
                       const std::function<std::string(const UsbDevice&)>& extra);

}  // namespace vellmor::drives
