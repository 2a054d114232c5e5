#include "drives_command.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <ostream>
#include <string_view>

#include "cli.h"
#include "digest/digest.h"
#include "base/utf.h"
#include "json_text.h"
#include "serial/read_serial_command.h"
#include "serial/serial_notes.h"

namespace vellmor::cli {

namespace {

std::string VolumeFields(const serial::Volume& volume) {
  std::string json = R"("name":)" + JsonString(volume.name) + R"(,"sizeBytes":)" +
                     std::to_string(volume.size_bytes) + R"(,"label":)" + JsonValue(volume.label) +
                     R"(,"fileSystem":)" + JsonValue(volume.file_system) + R"(,"mountPoints":[)";
  for (std::size_t i = 0; i < volume.mount_points.size(); ++i) {
    json += (i == 0 ? "" : ",") + JsonString(volume.mount_points[i]);
  }
  return json + "]";
}

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

std::string VolumeLine(const serial::Volume& volume) {
  std::string line = Utf16ToUtf8(volume.name) + "  " + Size(volume.size_bytes);
  if (volume.file_system) {
    line += "  " + Utf16ToUtf8(*volume.file_system);
  }
  if (volume.label) {
    line += "  " + JsonString(*volume.label);
  }
  for (const std::u16string& mount : volume.mount_points) {
    line += "  on " + Utf16ToUtf8(mount);
  }
  return line;
}

void WriteDriveText(const serial::UsbDevice& device, std::ostream& out) {
  out << Utf16ToUtf8(device.device_id) << '\n';
  out << "  serial " << Utf16ToUtf8(device.serial)
      << (device.serial_made_up ? "  (made up by the system)" : "") << '\n';
  out << "  " << HexId(device.vendor) << ':' << HexId(device.product);
  for (const auto& name : {device.manufacturer, device.product_name}) {
    if (name) {
      out << "  " << Utf16ToUtf8(*name);
    }
  }
  out << '\n';
  for (const serial::Disk& disk : device.disks) {
    out << "  " << VolumeLine(disk.volume);
    if (disk.model) {
      out << "  (" << Utf16ToUtf8(*disk.model) << ')';
    }
    out << '\n';
    for (const serial::Volume& partition : disk.partitions) {
      out << "    " << VolumeLine(partition) << '\n';
    }
  }
  for (const serial::SerialNote note : device.notes) {
    out << "  note: " << serial::NoteText(note) << '\n';
  }
}

}  // namespace

std::string HexId(std::uint16_t value) {
  std::array<char, 5> text{};
  std::snprintf(text.data(), text.size(), "%04X", static_cast<unsigned>(value));
  return text.data();
}

std::string NotesJson(const std::vector<serial::SerialNote>& notes) {
  std::string json = "[";
  for (std::size_t i = 0; i < notes.size(); ++i) {
    json += (i == 0 ? "\"" : ",\"") + std::string(serial::NoteName(notes[i])) + '"';
  }
  return json + "]";
}

void WriteNoteLines(const std::vector<serial::SerialNote>& notes, std::ostream& err) {
  for (const serial::SerialNote note : notes) {
    err << "vellmor-cli: note: " << serial::NoteText(note) << '\n';
  }
}

std::string DriveJson(const serial::UsbDevice& device) {
  std::string json =
      R"({"deviceId":)" + JsonString(device.device_id) + R"(,"serial":)" +
      JsonString(device.serial) + R"(,"digest":)" +
      JsonString(digest::DigestText(std::u16string_view(device.serial), serial::kDigestLength)) +
      R"(,"serialMadeUp":)" + (device.serial_made_up ? "true" : "false") + R"(,"vendorId":")" +
      HexId(device.vendor) + R"(","productId":")" + HexId(device.product) + R"(","manufacturer":)" +
      JsonValue(device.manufacturer) + R"(,"product":)" + JsonValue(device.product_name) +
      R"(,"cardReader":)" + (device.card_reader ? "true" : "false") + R"(,"notes":)" +
      NotesJson(device.notes) + R"(,"disks":[)";
  for (std::size_t i = 0; i < device.disks.size(); ++i) {
    const serial::Disk& disk = device.disks[i];
    json += (i == 0 ? "{" : ",{") + VolumeFields(disk.volume) + R"(,"model":)" +
            JsonValue(disk.model) + R"(,"partitions":[)";
    for (std::size_t j = 0; j < disk.partitions.size(); ++j) {
      json += (j == 0 ? "{" : ",{") + VolumeFields(disk.partitions[j]) + "}";
    }
    json += "]}";
  }
  return json + "]}";
}

int RunDrives(bool json, serial::DriveSource& source, std::ostream& out, std::ostream& err) {
  const auto devices = source.ScanUsbDevices();
  if (!devices) {
    err << "vellmor-cli: cannot read the USB device list\n";
    return kExitFailure;
  }
  if (json) {
    out << R"({"schemaVersion":)" << kJsonSchemaVersion << R"(,"drives":[)";
  }
  bool first = true;
  for (const serial::UsbDevice& device : *devices) {
    if (!device.mass_storage) {
      continue;
    }
    if (json) {
      out << (first ? "" : ",") << DriveJson(device);
    } else {
      WriteDriveText(device, out);
    }
    first = false;
  }
  if (json) {
    out << "]}\n";
  }
  return kExitOk;
}

}  // namespace vellmor::cli
