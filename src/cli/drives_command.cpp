#include "drives_command.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <ostream>
#include <string_view>

#include "base/utf.h"
#include "cli.h"
#include "drives/drive_json.h"
#include "drives/json_text.h"
#include "drives/serial_notes.h"
#include "options.h"

namespace vellmor::cli {

namespace {

// 15.4 GB: decimal units, as the sticks are sold.
std::string Size(std::uint64_t bytes) {
  constexpr std::array<std::string_view, 5> kUnits = {"B", "kB", "MB", "GB", "TB"};
  auto value = static_cast<double>(bytes);
  std::size_t unit = 0;
  while (value >= 1000 && unit + 1 < kUnits.size()) {
    value /= 1000;
    ++unit;
  }
  std::array<char, 32> text{};
  std::snprintf(text.data(), text.size(), unit == 0 ? "%.0f %s" : "%.1f %s", value,
                std::string(kUnits[unit]).c_str());
  return text.data();
}

std::string VolumeLine(const drives::Volume& volume) {
  std::string line = Utf16ToUtf8(volume.name) + "  " + Size(volume.size_bytes);
  if (volume.file_system) {
    line += "  " + Utf16ToUtf8(*volume.file_system);
  }
  if (volume.label) {
    line += "  " + drives::JsonString(*volume.label);
  }
  for (const std::u16string& mount : volume.mount_points) {
    line += "  on " + Utf16ToUtf8(mount);
  }
  return line;
}

void WriteDriveText(const drives::UsbDevice& device, std::ostream& out) {
  out << Utf16ToUtf8(device.device_id) << '\n';
  out << "  serial " << Utf16ToUtf8(device.serial)
      << (device.serial_made_up ? "  (made up by the system)" : "") << '\n';
  out << "  " << drives::HexId(device.vendor) << ':' << drives::HexId(device.product);
  for (const auto& name : {device.manufacturer, device.product_name}) {
    if (name) {
      out << "  " << Utf16ToUtf8(*name);
    }
  }
  out << '\n';
  for (const drives::Disk& disk : device.disks) {
    out << "  " << VolumeLine(disk.volume);
    if (disk.model) {
      out << "  (" << Utf16ToUtf8(*disk.model) << ')';
    }
    out << '\n';
    for (const drives::Volume& partition : disk.partitions) {
      out << "    " << VolumeLine(partition) << '\n';
    }
  }
  for (const drives::SerialNote note : device.notes) {
    out << "  note: " << drives::NoteText(note) << '\n';
  }
}

}  // namespace

int RunDrives(bool json, drives::DriveSource& source, std::ostream& out, std::ostream& err) {
  const auto devices = source.ScanUsbDevices(drives::ScanDepth::kVolumes);
  if (!devices) {
    return Fail(err, "cannot read the USB device list", kExitFailure);
  }
  if (json) {
    out << drives::DrivesJson(*devices) << '\n';
    return kExitOk;
  }
  for (const drives::UsbDevice& device : *devices) {
    if (device.mass_storage) {
      WriteDriveText(device, out);
    }
  }
  return kExitOk;
}

}  // namespace vellmor::cli
