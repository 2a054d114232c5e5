#include "wmi_drives.h"

#include <charconv>
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

std::vector<WmiRow> Rows(const WmiQuery& query, const std::u16string& wql) {
  return query(wql).value_or(std::vector<WmiRow>());
}

Volume LogicalVolume(const WmiRow& partition, const WmiQuery& query) {
  Volume volume;
  const std::u16string id = Property(partition, u"DeviceID").value_or(u"");
  volume.name = id;
  volume.size_bytes = Number(partition, u"Size");
  for (const WmiRow& logical :
       Rows(query, u"ASSOCIATORS OF {Win32_DiskPartition.DeviceID=" + WqlQuoted(id) +
                       u"} WHERE AssocClass = Win32_LogicalDiskToPartition")) {
    if (const auto letter = Property(logical, u"DeviceID")) {
      volume.mount_points.push_back(*letter + u"\\");
    }
    volume.label = Property(logical, u"VolumeName");
    volume.file_system = Property(logical, u"FileSystem");
    volume.uuid = Property(logical, u"VolumeSerialNumber");
  }
  return volume;
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

std::vector<UsbDevice> AssembleWmiDrives(const std::vector<serial::DeviceId>& hub_ids,
                                         const WmiQuery& query, const UsbDeviceTree& tree) {
  std::vector<UsbDevice> devices;
  std::map<std::u16string, std::size_t> by_id;
  for (const serial::DeviceId& id : hub_ids) {
    if (id.kind != serial::DeviceId::Kind::kText || !serial::MatchesVidPattern(id.text)) {
      continue;
    }
    UsbDevice device;
    device.serial = std::u16string(serial::LastPiece(id.text));
    if (const auto parts = serial::ParseUsbIdentifier(id.text)) {
      device.vendor = parts->vendor;
      device.product = parts->product;
      device.serial_made_up = serial::IsGeneratedInstance(parts->instance);
    }
    device.device_id = id.text;
    // Instance identifiers are ASCII.
    for (const char16_t c : id.text) {
      device.location.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    }
    by_id[AsciiUpperCase(id.text)] = devices.size();
    devices.push_back(std::move(device));
  }

  for (const WmiRow& row :
       Rows(query, u"SELECT DeviceID, PNPDeviceID, Model, Size FROM Win32_DiskDrive")) {
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
    for (const WmiRow& partition :
         Rows(query, u"ASSOCIATORS OF {Win32_DiskDrive.DeviceID=" + WqlQuoted(disk.volume.name) +
                         u"} WHERE AssocClass = Win32_DiskDriveToDiskPartition")) {
      disk.partitions.push_back(LogicalVolume(partition, query));
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
  AddSerialNotes(devices);
  return devices;
}

}  // namespace vellmor::drives
