#include "sysfs_drives.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>

#include "base/utf.h"
#include "drive_text.h"
#include "mount_table.h"
#include "serial/selection_rule.h"
#include "serial/sysfs_usb_hub_source.h"
#include "serial_notes.h"
#include "sysfs_files.h"
#include "udev_database.h"

namespace vellmor::drives {

namespace fs = std::filesystem;

namespace {

constexpr std::uint64_t kSectorBytes = 512;

std::string Trimmed(std::string text) {
  const auto end = text.find_last_not_of(' ');
  text.resize(end == std::string::npos ? 0 : end + 1);
  text.erase(0, std::min(text.size(), text.find_first_not_of(' ')));
  return text;
}

// Where in a device a volume sits, and its sysfs folder.
struct VolumeSpot {
  std::size_t disk = 0;
  std::optional<std::size_t> partition;
  fs::path dir;
  bool probe = false;  // false for a disk whose partitions hold the file systems
};

Volume& At(UsbDevice& device, const VolumeSpot& spot) {
  Disk& disk = device.disks[spot.disk];
  return spot.partition ? disk.partitions[*spot.partition] : disk.volume;
}

const Volume& At(const UsbDevice& device, const VolumeSpot& spot) {
  const Disk& disk = device.disks[spot.disk];
  return spot.partition ? disk.partitions[*spot.partition] : disk.volume;
}

Volume SysfsVolume(const fs::path& dir) {
  Volume volume;
  volume.name = Widen(dir.filename().native());
  volume.size_bytes = ReadNumber(dir / "size") * kSectorBytes;
  return volume;
}

bool IsDirectory(const fs::path& path) {
  std::error_code error;
  return fs::is_directory(path, error);
}

bool Exists(const fs::path& path) {
  std::error_code error;
  return fs::exists(path, error);
}

// The device's SCSI disks: interface → host → target → logical unit → block, with the
// names and sizes of their volumes. Returns how many direct-access units (SCSI type 0)
// the device has: a reader has one per slot, while a U3 stick's second unit is a
// CD-ROM (type 5).
std::size_t AddDisks(const fs::path& device_dir, const std::string& name, UsbDevice& device,
                     std::vector<VolumeSpot>& spots) {
  std::size_t units = 0;
  for (const fs::path& interface : Entries(device_dir, name + ":")) {
    for (const fs::path& host : Entries(interface, "host")) {
      for (const fs::path& target : Entries(host, "target")) {
        for (const fs::path& unit : Entries(target, "")) {
          if (!IsDirectory(unit / "block")) {
            continue;
          }
          const auto type = ReadLine(unit / "type");
          if (!type || *type == "0") {
            ++units;
          }
          for (const fs::path& block : Entries(unit / "block", "")) {
            const std::size_t index = device.disks.size();
            Disk& disk = device.disks.emplace_back();
            for (const fs::path& part : Entries(block, block.filename().native())) {
              if (Exists(part / "partition")) {
                spots.push_back({index, disk.partitions.size(), part, true});
                disk.partitions.push_back(SysfsVolume(part));
              }
            }
            spots.push_back({index, std::nullopt, block, disk.partitions.empty()});
            disk.volume = SysfsVolume(block);
            if (const auto model = ReadLine(unit / "model")) {
              disk.model = DeviceText(Trimmed(*model));
            }
          }
        }
      }
    }
  }
  return units;
}

bool NamedAsReader(const UsbDevice& device) {
  if (device.product_name && NamesCardReader(*device.product_name)) {
    return true;
  }
  return std::any_of(device.disks.begin(), device.disks.end(),
                     [](const Disk& disk) { return disk.model && NamesCardReader(*disk.model); });
}

}  // namespace

struct SysfsDriveSource::Walked {
  UsbDevice device;
  std::vector<VolumeSpot> spots;
};

std::unique_ptr<DriveSource> MakeSysfsDriveSource(const SysfsDrivePaths& paths) {
  return std::make_unique<SysfsDriveSource>(paths);
}

SysfsDriveSource::SysfsDriveSource(SysfsDrivePaths paths) : m_paths(std::move(paths)) {
  if (!m_paths.prober) {
    m_paths.prober = MakeBlkidProber();
  }
}

SysfsDriveSource::~SysfsDriveSource() = default;

std::optional<std::vector<SysfsDriveSource::Walked>> SysfsDriveSource::Walk() const {
  auto found = serial::ScanSysfsUsbDevices(m_paths.sysfs_root);
  if (!found) {
    return std::nullopt;
  }
  const fs::path listing = m_paths.sysfs_root / "bus" / "usb" / "devices";
  std::vector<Walked> walked;
  for (serial::SysfsUsbDevice& entry : *found) {
    if (entry.id.kind != serial::DeviceId::Kind::kText ||
        !serial::MatchesVidPattern(entry.id.text)) {
      continue;
    }
    Walked& item = walked.emplace_back();
    UsbDevice& device = item.device;
    device.serial = std::u16string(serial::LastPiece(entry.id.text));
    device.device_id = std::move(entry.id.text);
    device.serial_made_up = entry.serial_made_up;
    device.vendor = entry.vendor;
    device.product = entry.product;
    device.mass_storage = entry.mass_storage;
    device.location = entry.name;
    device.port = Widen(entry.name);
    if (device.mass_storage) {
      const fs::path dir = listing / entry.name;
      device.manufacturer = DeviceText(ReadLine(dir / "manufacturer"));
      device.product_name = DeviceText(ReadLine(dir / "product"));
      const std::size_t units = AddDisks(dir, entry.name, device, item.spots);
      device.card_reader = units > 1 || NamedAsReader(device);
    }
  }
  return walked;
}

std::vector<std::string> SysfsDriveSource::NodesToProbe(const Walked& walked) const {
  std::vector<std::string> nodes;
  if (!m_paths.dev_root) {
    return nodes;
  }
  for (const VolumeSpot& spot : walked.spots) {
    if (spot.probe && At(walked.device, spot).size_bytes > 0) {
      nodes.push_back((*m_paths.dev_root / spot.dir.filename()).native());
    }
  }
  return nodes;
}

void SysfsDriveSource::AddVolumeFacts(Walked& walked, const ProbeJob& job,
                                      const MountTable& mounts) const {
  const std::vector<std::optional<ProbeOutcome>> outcomes = job.Outcomes();
  std::size_t next = 0;
  for (const VolumeSpot& spot : walked.spots) {
    Volume& volume = At(walked.device, spot);
    std::optional<VolumeFacts> facts;
    if (spot.probe && m_paths.dev_root && volume.size_bytes > 0) {
      const std::optional<ProbeOutcome>& outcome = outcomes[next++];
      if (!outcome || outcome->status == ProbeOutcome::Status::kFailed) {
        // Late or failing: what sysfs and the mount table know, nothing from the media.
        walked.device.media_unreadable = true;
      } else if (outcome->status == ProbeOutcome::Status::kRead) {
        facts = outcome->facts;
      } else if (m_paths.udev_properties) {
        facts = UdevVolume(spot.dir.filename().native());
      }
    }
    if (facts) {
      volume.label = DeviceText(facts->label);
      volume.file_system = DeviceText(facts->file_system);
      volume.uuid = DeviceText(facts->uuid);
    }
    mounts.AddMounts(spot.dir, m_paths.dev_root, facts, volume);
  }
}

void SysfsDriveSource::ReadVolumes(std::vector<Walked*> devices) const {
  const auto deadline = ProbeJob::Clock::now() + m_paths.media_deadline;
  std::vector<std::unique_ptr<ProbeJob>> jobs;
  jobs.reserve(devices.size());
  // Every device's probe starts at once, so one crawling stick costs the others nothing.
  for (Walked* walked : devices) {
    jobs.push_back(std::make_unique<ProbeJob>(m_paths.prober, NodesToProbe(*walked)));
  }
  for (const auto& job : jobs) {
    job->WaitUntil(deadline);
  }
  const MountTable mounts(m_paths.mount_table);
  for (std::size_t i = 0; i < devices.size(); ++i) {
    AddVolumeFacts(*devices[i], *jobs[i], mounts);
  }
}

class SysfsDriveSource::SysfsVolumeRead : public VolumeRead {
 public:
  SysfsVolumeRead(const SysfsDriveSource& source, std::optional<std::vector<Walked>> walked,
                  const std::string& location)
      : m_source(source),
        m_deadline(ProbeJob::Clock::now() + source.m_paths.media_deadline),
        m_walked(std::move(walked)) {
    if (m_walked) {
      const auto found = std::find_if(m_walked->begin(), m_walked->end(), [&](const Walked& item) {
        return item.device.location == location;
      });
      if (found != m_walked->end()) {
        m_device = &*found;
      }
    }
    m_job = std::make_unique<ProbeJob>(source.m_paths.prober, m_device != nullptr
                                                                  ? source.NodesToProbe(*m_device)
                                                                  : std::vector<std::string>());
  }

  int descriptor() const override { return m_job->descriptor(); }
  bool finished() const override { return m_job->finished(); }
  std::chrono::steady_clock::time_point deadline() const override { return m_deadline; }

  std::optional<UsbDevice> Finish() override {
    if (m_device == nullptr) {
      return std::nullopt;
    }
    m_source.AddVolumeFacts(*m_device, *m_job, MountTable(m_source.m_paths.mount_table));
    // The notes compare serials across every device listed.
    std::vector<UsbDevice> devices;
    std::size_t index = 0;
    for (Walked& item : *m_walked) {
      if (&item == m_device) {
        index = devices.size();
      }
      devices.push_back(std::move(item.device));
    }
    AddSerialNotes(devices);
    m_device = nullptr;
    return std::move(devices[index]);
  }

 private:
  const SysfsDriveSource& m_source;
  ProbeJob::Clock::time_point m_deadline;
  std::optional<std::vector<Walked>> m_walked;
  Walked* m_device = nullptr;
  std::unique_ptr<ProbeJob> m_job;
};

std::unique_ptr<VolumeRead> SysfsDriveSource::StartVolumeRead(const UsbDevice& device) {
  return std::make_unique<SysfsVolumeRead>(*this, Walk(), device.location);
}

std::optional<std::vector<UsbDevice>> SysfsDriveSource::ScanUsbDevices(ScanDepth depth) {
  auto walked = Walk();
  if (!walked) {
    return std::nullopt;
  }
  if (depth == ScanDepth::kVolumes) {
    std::vector<Walked*> storage;
    for (Walked& item : *walked) {
      if (item.device.mass_storage) {
        storage.push_back(&item);
      }
    }
    ReadVolumes(storage);
  }
  std::vector<UsbDevice> devices;
  devices.reserve(walked->size());
  for (Walked& item : *walked) {
    devices.push_back(std::move(item.device));
  }
  AddSerialNotes(devices);
  return devices;
}

}  // namespace vellmor::drives
