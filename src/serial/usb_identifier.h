#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "device_id.h"
#include "usb_descriptors.h"

namespace vellmor::serial {

// The identifiers Windows gives USB devices, built from what the kernel's device list
// says of them and read back.

// The serial Windows takes as the instance: the attribute's text without its final line
// break. No value when Windows would not take it as an instance name and makes one up.
std::optional<std::string_view> UsableSerial(std::string_view attribute);

// A root hub (no ports): "USB\ROOT_HUB20\4&HASH&0", the class after its USB version,
// unreadable for a version Windows names none for. A device: "USB\VID_vvvv&PID_pppp\"
// and the usable serial in upper case, or else the instance made up from its port.
DeviceId WindowsUsbDeviceId(const DeviceDescriptor& descriptor, const DevicePosition& position,
                            std::optional<std::string_view> usable_serial);

// The node Windows makes for interface `number` of a composite device that has the
// identifier `parent`: "USB\VID_vvvv&PID_pppp&MI_nn\" and an instance made up from
// the parent, as such nodes never have a serial of their own.
DeviceId WindowsUsbInterfaceId(const DeviceDescriptor& descriptor, const DevicePosition& position,
                               std::string_view kernel_name, std::uint8_t number);

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
