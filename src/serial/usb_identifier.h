#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace vellmor::serial {

// What a Windows device identifier "USB\VID_vvvv&PID_pppp\instance" says.
struct UsbIdentifierParts {
  std::uint16_t vendor = 0;
  std::uint16_t product = 0;
  std::u16string_view instance;
};

std::optional<UsbIdentifierParts> ParseUsbIdentifier(std::u16string_view identifier);

// "5&1A2B3C4D&0&3": the shape of an instance Windows makes up from the port when the
// device has no serial it accepts. No serial of the mass-storage class has this shape.
bool IsGeneratedInstance(std::u16string_view instance);

}  // namespace vellmor::serial
