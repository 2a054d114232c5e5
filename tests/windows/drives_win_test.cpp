#include <string>
#include <vector>

#include "check.h"
#include "drives/drives.h"
#include "drives/wmi_drives.h"

namespace {

using vellmor::drives::SerialNote;
using vellmor::drives::UsbDevice;
using vellmor::drives::WmiRow;
using vellmor::serial::DeviceId;
using vellmor::windows_test::CheckCounter;

constexpr char16_t kStick[] = u"USB\\VID_0781&PID_5567\\4C530001231120115142";
constexpr char16_t kReader[] = u"USB\\VID_0BDA&PID_0158\\5&1A2B3C4D&0&3";

// What the management service answers on a machine with a stick (one partition, E:)
// and a two-slot card reader without a serial, beside the system disk.
std::optional<std::vector<WmiRow>> Scripted(std::u16string_view wql,
                                            std::vector<std::u16string>& asked) {
  asked.emplace_back(wql);
  if (wql.starts_with(u"SELECT")) {
    return std::vector<WmiRow>{
        {{u"DeviceID", u"\\\\.\\PHYSICALDRIVE0"},
         {u"PNPDeviceID", u"SCSI\\DISK&VEN_NVME\\4&1&0&0"},
         {u"Size", u"512105932800"}},
        {{u"DeviceID", u"\\\\.\\PHYSICALDRIVE1"},
         {u"PNPDeviceID", u"USBSTOR\\DISK&VEN_SANDISK&PROD_CRUZER_BLADE\\4C530001231120115142&0"},
         {u"Model", u"SanDisk Cruzer Blade USB Device"},
         {u"Size", u"15376318464"}},
        {{u"DeviceID", u"\\\\.\\PHYSICALDRIVE2"},
         {u"PNPDeviceID", u"USBSTOR\\DISK&VEN_GENERIC-&PROD_SD\\5&0"},
         {u"Model", u"Generic- SD/MMC USB Device"}},
        {{u"DeviceID", u"\\\\.\\PHYSICALDRIVE3"},
         {u"PNPDeviceID", u"USBSTOR\\DISK&VEN_GENERIC-&PROD_MS\\5&1"},
         {u"Model", u"Generic- MS/MS-Pro USB Device"}},
    };
  }
  if (wql ==
      u"ASSOCIATORS OF {Win32_DiskDrive.DeviceID='\\\\\\\\.\\\\PHYSICALDRIVE1'} "
      u"WHERE AssocClass = Win32_DiskDriveToDiskPartition") {
    return std::vector<WmiRow>{
        {{u"DeviceID", u"Disk #1, Partition #0"}, {u"Size", u"15375269888"}}};
  }
  if (wql ==
      u"ASSOCIATORS OF {Win32_DiskPartition.DeviceID='Disk #1, Partition #0'} "
      u"WHERE AssocClass = Win32_LogicalDiskToPartition") {
    return std::vector<WmiRow>{{{u"DeviceID", u"E:"},
                                {u"VolumeName", u"STICK"},
                                {u"FileSystem", u"FAT32"},
                                {u"VolumeSerialNumber", u"78563412"}}};
  }
  // A failed association (empty slots, a refusing service) leaves the disk without partitions.
  return std::nullopt;
}

}  // namespace

int main() {
  CheckCounter checks;
  std::vector<std::u16string> asked;
  const vellmor::drives::UsbDeviceTree tree{
      [](std::u16string_view instance) -> std::optional<std::u16string> {
        if (instance.starts_with(u"USBSTOR\\DISK&VEN_SANDISK")) {
          return std::u16string(u"usb\\vid_0781&pid_5567\\4c530001231120115142");
        }
        if (instance.starts_with(u"USBSTOR\\DISK&VEN_GENERIC")) {
          return std::u16string(kReader);
        }
        return std::nullopt;
      },
      [](std::u16string_view device) -> std::optional<std::u16string> {
        return device == kStick ? std::optional<std::u16string>(u"Cruzer Blade") : std::nullopt;
      },
      [](std::u16string_view device) -> std::optional<std::u16string> {
        return device == kStick ? std::optional<std::u16string>(u"Port_#0002.Hub_#0001")
                                : std::nullopt;
      }};
  const std::vector<UsbDevice> devices = vellmor::drives::AssembleWmiDrives(
      {DeviceId::Text(u"USB\\ROOT_HUB30\\4&2F6C0B6&0"), DeviceId::Text(kStick), DeviceId::Missing(),
       DeviceId::Text(kReader), DeviceId::Text(u"USB\\VID_046D&PID_C52B\\5&3&0&2")},
      [&](std::u16string_view wql) { return Scripted(wql, asked); }, tree);

  checks.Check(devices.size() == 3, "every device with VID, in delivery order");
  if (devices.size() == 3) {
    const UsbDevice& stick = devices[0];
    checks.Check(stick.mass_storage && stick.vendor == 0x0781 && stick.product == 0x5567 &&
                     stick.serial == u"4C530001231120115142" && !stick.serial_made_up,
                 "the stick: ids and its own serial");
    checks.Check(stick.product_name == u"Cruzer Blade", "the stick: the product it reported");
    checks.Check(stick.port == u"Port_#0002.Hub_#0001", "the stick: where it is plugged in");
    checks.Check(stick.disks.size() == 1 && stick.disks[0].volume.size_bytes == 15376318464ULL &&
                     stick.disks[0].partitions.size() == 1,
                 "the stick: its disk (the system disk is not tied to it)");
    if (stick.disks.size() == 1 && stick.disks[0].partitions.size() == 1) {
      const auto& partition = stick.disks[0].partitions[0];
      checks.Check(partition.mount_points == std::vector<std::u16string>{u"E:\\"} &&
                       partition.label == u"STICK" && partition.file_system == u"FAT32" &&
                       partition.size_bytes == 15375269888ULL && partition.uuid == u"78563412",
                   "the stick: drive letter, label and file system");
    }
    checks.Check(stick.notes.empty(), "the stick: no notes");
    const UsbDevice& reader = devices[1];
    checks.Check(
        reader.mass_storage && reader.disks.size() == 2 && reader.card_reader &&
            reader.notes == std::vector<SerialNote>{SerialNote::kMadeUp, SerialNote::kCardReader},
        "the reader: two slots, a made-up serial, a card reader");
    checks.Check(!devices[2].mass_storage && devices[2].disks.empty(), "the receiver: no disks");
  }
  checks.Check(asked.size() == 5,
               "one disk query, then partitions per disk and logical disks per partition");

  // The real service: wine's has the classes but no USB disks; the scan must still answer.
  const auto scanned = vellmor::drives::MakeSystemDriveSource()->ScanUsbDevices(
      vellmor::drives::ScanDepth::kVolumes);
  checks.Check(scanned.has_value(), "the system's scan answers");
  return checks.Finish("drives_win_test");
}
