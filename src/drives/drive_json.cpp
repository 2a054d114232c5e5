#include "drive_json.h"

#include <array>
#include <cstdio>
#include <string_view>

#include "digest/digest.h"
#include "json_text.h"
#include "serial/read_serial_command.h"
#include "serial_notes.h"

namespace vellmor::drives {

namespace {

std::string VolumeFields(const Volume& volume) {
  std::string json = R"("name":)" + JsonString(volume.name) + R"(,"sizeBytes":)" +
                     std::to_string(volume.size_bytes) + R"(,"label":)" + JsonValue(volume.label) +
                     R"(,"fileSystem":)" + JsonValue(volume.file_system) + R"(,"uuid":)" +
                     JsonValue(volume.uuid) + R"(,"mountPoints":[)";
  for (std::size_t i = 0; i < volume.mount_points.size(); ++i) {
    json += (i == 0 ? "" : ",") + JsonString(volume.mount_points[i]);
  }
  return json + "]";
}

}  // namespace

std::string HexId(std::uint16_t value) {
  std::array<char, 5> text{};
  std::snprintf(text.data(), text.size(), "%04X", static_cast<unsigned>(value));
  return text.data();
}

std::string NotesJson(const std::vector<SerialNote>& notes) {
  std::string json = "[";
  for (std::size_t i = 0; i < notes.size(); ++i) {
    json += (i == 0 ? "\"" : ",\"") + std::string(NoteName(notes[i])) + '"';
  }
  return json + "]";
}

std::string DriveJson(const UsbDevice& device) {
  std::string json =
      R"({"deviceId":)" + JsonString(device.device_id) + R"(,"serial":)" +
      JsonString(device.serial) + R"(,"digest":)" +
      JsonString(digest::DigestText(std::u16string_view(device.serial), serial::kDigestLength)) +
      R"(,"serialMadeUp":)" + (device.serial_made_up ? "true" : "false") + R"(,"vendorId":")" +
      HexId(device.vendor) + R"(","productId":")" + HexId(device.product) + R"(","manufacturer":)" +
      JsonValue(device.manufacturer) + R"(,"product":)" + JsonValue(device.product_name) +
      R"(,"location":)" + JsonValue(device.port) + R"(,"cardReader":)" +
      (device.card_reader ? "true" : "false") + R"(,"notes":)" + NotesJson(device.notes) +
      R"(,"disks":[)";
  for (std::size_t i = 0; i < device.disks.size(); ++i) {
    const Disk& disk = device.disks[i];
    json += (i == 0 ? "{" : ",{") + VolumeFields(disk.volume) + R"(,"model":)" +
            JsonValue(disk.model) + R"(,"partitions":[)";
    for (std::size_t j = 0; j < disk.partitions.size(); ++j) {
      json += (j == 0 ? "{" : ",{") + VolumeFields(disk.partitions[j]) + "}";
    }
    json += "]}";
  }
  return json + "]}";
}

std::string DrivesJson(const std::vector<UsbDevice>& devices) { return DrivesJson(devices, {}); }

std::string DrivesJson(const std::vector<UsbDevice>& devices,
                       const std::function<std::string(const UsbDevice&)>& extra) {
  std::string json = R"({"schemaVersion":)" + std::to_string(kJsonSchemaVersion) + R"(,"drives":[)";
  bool first = true;
  for (const UsbDevice& device : devices) {
    if (device.mass_storage) {
      std::string drive = DriveJson(device);
      if (extra) {
        drive.insert(drive.size() - 1, extra(device));
      }
      json += (first ? "" : ",") + drive;
      first = false;
    }
  }
  return json + "]}";
}

}  // namespace vellmor::drives
