#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "drives.h"
#include "serial/device_id.h"

namespace vellmor::drives {

// The longest serial a device can report: a string descriptor holds 126 UTF-16 units.
inline constexpr std::size_t kLongestSerial = 126;

// One line of an allowed list.
struct AllowedEntry {
  enum class Kind {
    kSerial,  // a serial alone
    kDigest,  // the digest of a serial, upper case
    kPinned,  // "VID:PID serial": one model's stick, trusted whatever its serial looks like
  };
  Kind kind = Kind::kSerial;
  std::u16string text;  // the serial as written, or the digest
  std::uint16_t vendor = 0;
  std::uint16_t product = 0;
  std::size_t line = 0;
};

struct AllowedList {
  std::vector<AllowedEntry> entries;
};

// The list in `bytes` (UTF-8, a byte-order mark and CRLF accepted). No value for bad
// input; `error` then reads "NAME:LINE: what is wrong".
std::optional<AllowedList> ParseAllowedList(std::string_view bytes, std::string_view name,
                                            std::string& error);

// As ParseAllowedList over the file's bytes; a file that cannot be read is bad input too.
std::optional<AllowedList> ReadAllowedList(const std::filesystem::path& path, std::string_view name,
                                           std::string& error);

// Whether the serial is one stick's own: not made up from the port, not a placeholder,
// not shared with another device plugged in now.
bool IdentifiesOneStick(const std::vector<SerialNote>& notes);

struct AllowedVerdict {
  bool allowed = false;
  std::size_t line = 0;  // of the entry that allowed the stick; 0 when none did
  // A serial or digest entry that names the stick but cannot allow it on its own, since
  // the serial does not identify one stick; 0 when none.
  std::size_t untrusted_line = 0;
};

// `device` carries its notes (AddSerialNotes).
AllowedVerdict JudgeAllowed(const AllowedList& list, const UsbDevice& device);

// The devices the identifiers describe, as far as identifiers tell, with their notes:
// for a check that reads no more than the identifiers.
std::vector<UsbDevice> DevicesFromIdentifiers(const std::vector<serial::DeviceId>& ids);

// One line for people: "allowed (line 3)", "not allowed", or why a listed stick is not.
std::string AllowedText(const AllowedVerdict& verdict);

// ,"allowed":true,"allowedLine":3,"untrustedLine":null — keys to append to a drive object.
std::string AllowedJsonFields(const AllowedVerdict& verdict);

}  // namespace vellmor::drives
