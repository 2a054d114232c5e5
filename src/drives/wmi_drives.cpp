#include "wmi_drives.h"

#include <charconv>
#include <chrono>
#include <cstdint>
#include <utility>

#include "base/utf.h"
#include "serial/selection_rule.h"
#include "serial/usb_identifier.h"
#include "serial_notes.h"

namespace vellmor::drives {

namespace {

std::optional<std::u16string> Property(const WmiRow& row, std::u16string_view name) {
  const auto found = row.find(std::u16string(name));
  if (found == row.end()) {
    return std::nullopt;
  }
  return found->second;
}

std::uint64_t Number(const WmiRow& row, std::u16string_view name) {
  const std::u16string text = Property(row, name).value_or(u"");
  std::string digits;
  for (const char16_t c : text) {
    if (c < u'0' || c > u'9') {
      return 0;
    }
    digits.push_back(static_cast<char>(c));
  }
  std::uint64_t value = 0;
  std::from_chars(digits.data(), digits.data() + digits.size(), value);
  return value;
}

// False, with the reason in `error`, unless the query gave its whole list.
bool Answered(const WmiAnswer& answer, std::string_view what, std::string& error) {
  if (answer.status == WmiAnswer::Status::kDone) {
    return true;
  }
  error = std::string(what) + ": " + answer.error;
  return false;
}

// A volume query's rows; none when the object went away meanwhile.
enum class VolumeRows { kRead, kTimedOut, kFailed };
VolumeRows ReadVolumeRows(const WmiAnswer& answer, std::string_view what, std::string& error) {
  switch (answer.status) {
    case WmiAnswer::Status::kDone:
      return VolumeRows::kRead;
    case WmiAnswer::Status::kTimedOut:
      return VolumeRows::kTimedOut;
    case WmiAnswer::Status::kFailed:
      break;
  }
  if (answer.code == kWbemNotFound) {
    return VolumeRows::kRead;
  }
  error = std::string(what) + ": " + answer.error;
  return VolumeRows::kFailed;
}

std::string Narrow(std::u16string_view text) { return Utf16ToUtf8(text); }

// A disk's partitions and their logical disks. False when the time ran out (what was
// read is kept); no value when a query failed.
std::optional<bool> ReadPartitions(Disk& disk, const WmiQuery& query,
                                   std::chrono::steady_clock::time_point deadline,
                                   std::string& error) {
  const WmiAnswer partitions =
      query(u"ASSOCIATORS OF {Win32_DiskDrive.DeviceID=" + WqlQuoted(disk.volume.name) +
                u"} WHERE AssocClass = Win32_DiskDriveToDiskPartition",
            deadline);
  switch (ReadVolumeRows(partitions, "the partitions of " + Narrow(disk.volume.name), error)) {
    case VolumeRows::kRead:
      break;
    case VolumeRows::kTimedOut:
      return false;
    case VolumeRows::kFailed:
      return std::nullopt;
  }
  bool complete = true;
  for (const WmiRow& partition : partitions.rows) {
    Volume volume;
    volume.name = Property(partition, u"DeviceID").value_or(u"");
    volume.size_bytes = Number(partition, u"Size");
    const WmiAnswer logical =
        complete ? query(u"ASSOCIATORS OF {Win32_DiskPartition.DeviceID=" + WqlQuoted(volume.name) +
                             u"} WHERE AssocClass = Win32_LogicalDiskToPartition",
                         deadline)
                 : WmiAnswer{WmiAnswer::Status::kTimedOut, {}, {}, 0};
    switch (ReadVolumeRows(logical, "the logical disks of " + Narrow(volume.name), error)) {
      case VolumeRows::kRead:
        break;
      case VolumeRows::kTimedOut:
        complete = false;
        break;
      case VolumeRows::kFailed:
        return std::nullopt;
    }
    for (const WmiRow& row : logical.rows) {
      if (const auto letter = Property(row, u"DeviceID")) {
        volume.mount_points.push_back(*letter + u"\\");
      }
      volume.label = Property(row, u"VolumeName");
      volume.file_system = Property(row, u"FileSystem");
      volume.uuid = Property(row, u"VolumeSerialNumber");
    }
    disk.partitions.push_back(std::move(volume));
  }
  return complete;
}

}  // namespace

std::u16string WqlQuoted(std::u16string_view value) {
  std::u16string quoted = u"'";
  for (const char16_t c : value) {
    if (c == u'\\' || c == u'\'') {
      quoted.push_back(u'\\');
    }
    quoted.push_back(c);
  }
  return quoted + u"'";
}

std::optional<std::vector<UsbDevice>> AssembleWmiDrives(
    const WmiQuery& query, const UsbDeviceTree& tree, ScanDepth depth,
    std::chrono::steady_clock::time_point volume_deadline, std::string& error) {
  const WmiAnswer hubs = query(kHubListQuery, std::nullopt);
  if (!Answered(hubs, "the USB device list (Win32_USBHub)", error)) {
    return std::nullopt;
  }
  std::vector<UsbDevice> devices;
  std::map<std::u16string, std::size_t> by_id;
  for (const WmiRow& hub : hubs.rows) {
    const auto id = Property(hub, u"DeviceID");
    if (!id || !serial::MatchesVidPattern(*id)) {
      continue;
    }
    UsbDevice device;
    device.serial = std::u16string(serial::LastPiece(*id));
    if (const auto parts = serial::ParseUsbIdentifier(*id)) {
      device.vendor = parts->vendor;
      device.product = parts->product;
      device.serial_made_up = serial::IsGeneratedInstance(parts->instance);
    }
    device.device_id = *id;
    // Instance identifiers are ASCII.
    for (const char16_t c : *id) {
      device.location.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    }
    by_id[AsciiUpperCase(*id)] = devices.size();
    devices.push_back(std::move(device));
  }

  const WmiAnswer disks =
      query(u"SELECT DeviceID, PNPDeviceID, Model, Size FROM Win32_DiskDrive", std::nullopt);
  if (!Answered(disks, "the disk list (Win32_DiskDrive)", error)) {
    return std::nullopt;
  }
  std::vector<bool> unreadable(devices.size(), false);
  for (const WmiRow& row : disks.rows) {
    const auto instance = Property(row, u"PNPDeviceID");
    const auto usb = instance && tree.usb_parent ? tree.usb_parent(*instance) : std::nullopt;
    const auto owner = usb ? by_id.find(AsciiUpperCase(*usb)) : by_id.end();
    if (owner == by_id.end()) {
      continue;
    }
    UsbDevice& device = devices[owner->second];
    Disk disk;
    disk.volume.name = Property(row, u"DeviceID").value_or(u"");
    disk.volume.size_bytes = Number(row, u"Size");
    disk.model = Property(row, u"Model");
    // Once the time is up, the device's other disks are not asked either.
    if (depth == ScanDepth::kVolumes && !unreadable[owner->second]) {
      const auto complete = ReadPartitions(disk, query, volume_deadline, error);
      if (!complete) {
        return std::nullopt;
      }
      unreadable[owner->second] = !*complete;
    }
    device.mass_storage = true;
    device.disks.push_back(std::move(disk));
  }

  for (UsbDevice& device : devices) {
    if (!device.mass_storage) {
      continue;
    }
    if (tree.product_name) {
      device.product_name = tree.product_name(device.device_id);
    }
    if (tree.location) {
      device.port = tree.location(device.device_id);
    }
    device.card_reader =
        device.disks.size() > 1 || (device.product_name && NamesCardReader(*device.product_name));
    for (const Disk& disk : device.disks) {
      device.card_reader = device.card_reader || (disk.model && NamesCardReader(*disk.model));
    }
  }
  for (std::size_t i = 0; i < devices.size(); ++i) {
    devices[i].media_unreadable = devices[i].media_unreadable || unreadable[i];
  }
  AddSerialNotes(devices);
  return devices;
}

std::optional<std::string_view> WbemErrorWords(std::uint32_t code) {
  switch (code) {
    case 0x80041001:
      return "the management service failed";
    case 0x80041002:
      return "not found";
    case 0x80041003:
      return "access denied";
    case 0x80041006:
      return "the management service is out of memory";
    case 0x8004100E:
      return "no such namespace";
    case 0x80041010:
      return "no such class";
    case 0x80041013:
      return "the provider cannot be loaded";
    case 0x80041014:
      return "the provider failed to start";
    case 0x80041015:
      return "the network transport failed";
    case 0x80041017:
      return "the query is not valid";
    case 0x80041032:
      return "the call was cancelled";
    case 0x80041033:
      return "the management service is shutting down";
    case 0x80041045:
      return "the service quota was exceeded";
    default:
      return std::nullopt;
  }
}

}  // namespace vellmor::drives
