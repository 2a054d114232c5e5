#include <chrono>
#include <sstream>
#include <string>
#include <vector>

#include "check.h"
#include "cli/drives_command.h"
#include "drives/drives.h"
#include "drives/wmi_drives.h"

namespace {

using vellmor::drives::ScanDepth;
using vellmor::drives::SerialNote;
using vellmor::drives::UsbDevice;
using vellmor::drives::WmiAnswer;
using vellmor::drives::WmiDeadline;
using vellmor::drives::WmiRow;
using vellmor::windows_test::CheckCounter;

constexpr char16_t kStick[] = u"USB\\VID_0781&PID_5567\\4C530001231120115142";
constexpr char16_t kReader[] = u"USB\\VID_0BDA&PID_0158\\5&1A2B3C4D&0&3";

// What the management service answers on a machine with a stick (one partition, E:)
// and a two-slot card reader without a serial, beside the system disk.
std::optional<std::vector<WmiRow>> Rows(std::u16string_view wql) {
  if (wql == vellmor::drives::kHubListQuery) {
    return std::vector<WmiRow>{{{u"DeviceID", u"USB\\ROOT_HUB30\\4&2F6C0B6&0"}},
                               {{u"DeviceID", kStick}},
                               {},
                               {{u"DeviceID", kReader}},
                               {{u"DeviceID", u"USB\\VID_046D&PID_C52B\\5&3&0&2"}}};
  }
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
  // Empty slots have no partitions.
  if (wql.find(u"Win32_DiskDriveToDiskPartition") != std::u16string_view::npos) {
    return std::vector<WmiRow>{};
  }
  return std::nullopt;
}

// The service as scripted, except that the query numbered `broken` (from 0) ends as
// `how`; every query is noted in `asked`.
struct ScriptedService {
  std::vector<std::u16string>* asked;
  int broken = -1;
  WmiAnswer::Status how = WmiAnswer::Status::kFailed;

  WmiAnswer operator()(std::u16string_view wql, WmiDeadline /*deadline*/) const {
    const auto number = static_cast<int>(asked->size());
    asked->emplace_back(wql);
    if (number == broken) {
      return {how,
              {},
              how == WmiAnswer::Status::kFailed ? "access denied (0x80041003)" : "late",
              0x80041003};
    }
    auto rows = Rows(wql);
    if (!rows) {
      return {WmiAnswer::Status::kFailed, {}, "not found (0x80041002)", 0x80041002};
    }
    return {WmiAnswer::Status::kDone, std::move(*rows), {}, 0};
  }
};

// The drive source over a scripted service, as the system's is over the real one.
class ScriptedDriveSource : public vellmor::drives::DriveSource {
 public:
  ScriptedDriveSource(ScriptedService service, vellmor::drives::UsbDeviceTree tree)
      : m_service(service), m_tree(std::move(tree)) {}
  std::optional<std::vector<UsbDevice>> ScanUsbDevices(ScanDepth depth) override {
    return vellmor::drives::AssembleWmiDrives(m_service, m_tree, depth,
                                              std::chrono::steady_clock::now(), m_error);
  }
  std::string LastError() const override { return m_error; }

 private:
  ScriptedService m_service;
  vellmor::drives::UsbDeviceTree m_tree;
  std::string m_error;
};

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
  std::string error;
  const std::vector<UsbDevice> devices =
      vellmor::drives::AssembleWmiDrives(ScriptedService{&asked}, tree, ScanDepth::kVolumes,
                                         std::chrono::steady_clock::now(), error)
          .value_or(std::vector<UsbDevice>());

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
  checks.Check(asked.size() == 6,
               "hubs, disks, then partitions per disk and logical disks per partition");

  // The plain read's depth asks for no volume.
  asked.clear();
  const auto units = vellmor::drives::AssembleWmiDrives(ScriptedService{&asked}, tree,
                                                        ScanDepth::kUnits, {}, error);
  checks.Check(asked.size() == 2 && units && units->size() == 3 && (*units)[0].disks.size() == 1 &&
                   (*units)[0].disks[0].partitions.empty() && (*units)[0].notes.empty(),
               "kUnits: the hub and disk lists only");

  // Each query failing in turn: never an empty or shorter list, always the reason, and
  // `drives` exits 3 with it.
  for (int broken = 0; broken < 6; ++broken) {
    std::vector<std::u16string> seen;
    ScriptedDriveSource source({&seen, broken}, tree);
    std::ostringstream out;
    std::ostringstream err;
    const int code = vellmor::cli::RunDrives(broken % 2 == 0, source, out, err);
    const std::string said = err.str();
    checks.Check(code == 3 && out.str().empty() &&
                     said.find("access denied (0x80041003)") != std::string::npos &&
                     said.starts_with("vellmor-cli: cannot read the USB device list: "),
                 "a failing query: exit 3, no list, the reason");
    if (broken == 0) {
      checks.Check(said.find("Win32_USBHub") != std::string::npos, "the failing query is named");
    }
  }
  // A hub or disk list that runs out of time is not a list either.
  for (int broken = 0; broken < 2; ++broken) {
    std::vector<std::u16string> seen;
    ScriptedDriveSource source({&seen, broken, WmiAnswer::Status::kTimedOut}, tree);
    checks.Check(!source.ScanUsbDevices(ScanDepth::kUnits) && !source.LastError().empty(),
                 "a device list that times out is an error");
  }
  // A stick whose volume queries run out of time is listed with what the disk list
  // knows, and says so.
  for (const int late : {2, 3}) {
    std::vector<std::u16string> seen;
    ScriptedDriveSource source({&seen, late, WmiAnswer::Status::kTimedOut}, tree);
    const auto slow = source.ScanUsbDevices(ScanDepth::kVolumes);
    const bool listed = slow && slow->size() == 3 && (*slow)[0].disks.size() == 1;
    checks.Check(listed && (*slow)[0].disks[0].volume.size_bytes == 15376318464ULL &&
                     (*slow)[0].notes == std::vector<SerialNote>{SerialNote::kMediaUnreadable},
                 "a stick whose volumes are late: listed, with mediaUnreadable");
    if (listed && late == 3) {
      const auto& partitions = (*slow)[0].disks[0].partitions;
      checks.Check(partitions.size() == 1 && partitions[0].size_bytes == 15375269888ULL &&
                       partitions[0].mount_points.empty() && !partitions[0].label,
                   "its partition: name and size, no letter or label");
    }
    checks.Check(listed && (*slow)[1].notes == std::vector<SerialNote>{SerialNote::kMadeUp,
                                                                       SerialNote::kCardReader},
                 "the other devices are read as before");
  }

  // The real service: wine's has the classes but no USB disks; the scan must still answer.
  const auto scanned = vellmor::drives::MakeSystemDriveSource()->ScanUsbDevices(
      vellmor::drives::ScanDepth::kVolumes);
  checks.Check(scanned.has_value(), "the system's scan answers");
  const auto shallow = vellmor::drives::MakeSystemDriveSource()->ScanUsbDevices(ScanDepth::kUnits);
  checks.Check(shallow.has_value(), "the system's scan of units answers");
  return checks.Finish("drives_win_test");
}
