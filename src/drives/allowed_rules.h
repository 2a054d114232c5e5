#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "allowed_list.h"

namespace vellmor::drives {

// What an enforcer is given for an allowed list: one line per stick it can match, and
// "NAME:LINE: why" for each entry it cannot.
struct RuleExport {
  std::vector<std::string> lines;
  std::vector<std::string> refused;
};

// A string in USBGuard's rule language: the UTF-8 bytes in quotes, printable ASCII as it
// is but for " and \, every other byte as \xhh, as USBGuard writes it back.
std::string UsbGuardString(std::u16string_view text);

// `allow id vvvv:pppp serial "…" with-interface match-all { 08:*:* }`: the stick, and only
// while every interface it offers is mass storage.
RuleExport UsbGuardRules(const AllowedList& list, std::string_view name);

// USB\VID_vvvv&PID_pppp\SERIAL, the device instance ids of Windows' policy that allows
// the installation of the devices it names.
RuleExport WindowsInstanceIds(const AllowedList& list, std::string_view name);

}  // namespace vellmor::drives
