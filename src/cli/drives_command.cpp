#include "drives_command.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <ostream>
#include <string_view>

#include "cli.h"
#include "drives/drive_json.h"
#include "drives/drive_text.h"
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
  std::string line = drives::ShownText(volume.name) + "  " + Size(volume.size_bytes);
  if (volume.file_system) {
    line += "  " + drives::ShownText(*volume.file_system);
  }
  if (volume.label) {
    line += "  \"" + drives::ShownText(*volume.label) + '"';
  }
  for (const std::u16string& mount : volume.mount_points) {
    line += "  on " + drives::ShownText(mount);
  }
  return line;
}

void WriteDriveText(const drives::UsbDevice& device, const drives::AllowedList* allowed,
                    std::ostream& out) {
  out << drives::ShownText(device.device_id) << '\n';
  out << "  serial " << drives::ShownText(device.serial)
      << (device.serial_made_up ? "  (made up by the system)" : "") << '\n';
  out << "  " << drives::HexId(device.vendor) << ':' << drives::HexId(device.product);
  for (const auto& name : {device.manufacturer, device.product_name}) {
    if (name) {
      out << "  " << drives::ShownText(*name);
    }
  }
  out << '\n';
  for (const drives::Disk& disk : device.disks) {
    out << "  " << VolumeLine(disk.volume);
    if (disk.model) {
      out << "  (" << drives::ShownText(*disk.model) << ')';
    }
    out << '\n';
    for (const drives::Volume& partition : disk.partitions) {
      out << "    " << VolumeLine(partition) << '\n';
    }
  }
  for (const drives::SerialNote note : device.notes) {
    out << "  note: " << drives::NoteText(note) << '\n';
  }
  if (allowed != nullptr) {
    out << "  " << drives::AllowedText(drives::JudgeAllowed(*allowed, device)) << '\n';
  }
}

}  // namespace

int RunDrives(bool json, drives::DriveSource& source, std::ostream& out, std::ostream& err,
              const drives::AllowedList* allowed) {
  const auto devices = source.ScanUsbDevices(drives::ScanDepth::kVolumes);
  if (!devices) {
    const std::string reason = source.LastError();
    return Fail(err, "cannot read the USB device list" + (reason.empty() ? "" : ": " + reason),
                kExitFailure);
  }
  if (json) {
    if (allowed == nullptr) {
      out << drives::DrivesJson(*devices) << '\n';
    } else {
      out << drives::DrivesJson(*devices, [&](const drives::UsbDevice& device) {
        return drives::AllowedJsonFields(drives::JudgeAllowed(*allowed, device));
      }) << '\n';
    }
    return kExitOk;
  }
  for (const drives::UsbDevice& device : *devices) {
    if (device.mass_storage) {
      WriteDriveText(device, allowed, out);
    }
  }
  return kExitOk;
}

}  // namespace vellmor::cli
