#include "sysfs_drives.h"

#include <blkid/blkid.h>
#include <fcntl.h>
#include <libmount/libmount.h>
#include <libudev.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>

#include "base/utf.h"
#include "drive_text.h"
#include "serial/selection_rule.h"
#include "serial/sysfs_listing.h"
#include "serial/sysfs_usb_hub_source.h"
#include "serial_notes.h"

namespace vellmor::drives {

namespace fs = std::filesystem;

namespace {

constexpr std::uint64_t kSectorBytes = 512;

struct Mount {
  dev_t devno = 0;
  std::string source;
  // "UUID" and its value, for an fstab line that names its volume by tag.
  std::string tag_name;
  std::string tag_value;
  std::string target;
  std::string file_system;
};

struct VolumeFacts {
  std::optional<std::string> label;
  std::optional<std::string> file_system;
  std::optional<std::string> uuid;
};

std::optional<std::string> ReadLine(const fs::path& file) {
  serial::Attribute attribute = serial::ReadAttribute(AT_FDCWD, file.c_str());
  if (attribute.status != serial::Attribute::Status::kText) {
    return std::nullopt;
  }
  if (const auto end = attribute.text.find('\n'); end != std::string::npos) {
    attribute.text.resize(end);
  }
  return std::move(attribute.text);
}

std::string Trimmed(std::string text) {
  const auto end = text.find_last_not_of(' ');
  text.resize(end == std::string::npos ? 0 : end + 1);
  text.erase(0, std::min(text.size(), text.find_first_not_of(' ')));
  return text;
}

std::u16string Widen(std::string_view ascii) { return std::u16string(ascii.begin(), ascii.end()); }

std::uint64_t ReadNumber(const fs::path& file) {
  const auto line = ReadLine(file);
  std::uint64_t value = 0;
  if (line) {
    std::from_chars(line->data(), line->data() + line->size(), value);
  }
  return value;
}

// "8:17", as sysfs writes a block device's number.
std::optional<dev_t> ReadDevno(const fs::path& file) {
  const auto line = ReadLine(file);
  if (!line) {
    return std::nullopt;
  }
  const auto colon = line->find(':');
  unsigned major_number = 0;
  unsigned minor_number = 0;
  const char* const end = line->data() + line->size();
  if (colon == std::string::npos ||
      std::from_chars(line->data(), line->data() + colon, major_number).ec != std::errc() ||
      std::from_chars(line->data() + colon + 1, end, minor_number).ec != std::errc()) {
    return std::nullopt;
  }
  return makedev(major_number, minor_number);
}

std::vector<Mount> ReadMounts(const std::optional<fs::path>& mount_table) {
  std::vector<Mount> mounts;
  if (!mount_table) {
    return mounts;
  }
  const std::unique_ptr<libmnt_table, decltype(&mnt_unref_table)> table(
      mnt_new_table_from_file(mount_table->c_str()), mnt_unref_table);
  const std::unique_ptr<libmnt_iter, decltype(&mnt_free_iter)> iter(mnt_new_iter(MNT_ITER_FORWARD),
                                                                    mnt_free_iter);
  if (!table || !iter) {
    return mounts;
  }
  libmnt_fs* entry = nullptr;
  while (mnt_table_next_fs(table.get(), iter.get(), &entry) == 0) {
    const char* const source = mnt_fs_get_srcpath(entry);
    const char* const target = mnt_fs_get_target(entry);
    const char* const type = mnt_fs_get_fstype(entry);
    const char* tag_name = nullptr;
    const char* tag_value = nullptr;
    mnt_fs_get_tag(entry, &tag_name, &tag_value);
    if (target != nullptr) {
      mounts.push_back({mnt_fs_get_devno(entry), source != nullptr ? source : "",
                        tag_name != nullptr ? tag_name : "", tag_value != nullptr ? tag_value : "",
                        target, type != nullptr ? type : ""});
    }
  }
  return mounts;
}

// Label and file system from the volume's own superblock; no value when the volume
// cannot be opened (a user without the disk group, a slot without a card).
std::optional<VolumeFacts> ProbeVolume(const fs::path& node) {
  const std::unique_ptr<blkid_struct_probe, decltype(&blkid_free_probe)> probe(
      blkid_new_probe_from_filename(node.c_str()), blkid_free_probe);
  if (!probe) {
    return std::nullopt;
  }
  blkid_probe_enable_superblocks(probe.get(), 1);
  blkid_probe_set_superblocks_flags(probe.get(),
                                    BLKID_SUBLKS_LABEL | BLKID_SUBLKS_TYPE | BLKID_SUBLKS_UUID);
  VolumeFacts facts;
  if (blkid_do_safeprobe(probe.get()) == 0) {
    const auto value = [&](const char* name) -> std::optional<std::string> {
      const char* data = nullptr;
      if (blkid_probe_lookup_value(probe.get(), name, &data, nullptr) == 0 && data != nullptr) {
        return std::string(data);
      }
      return std::nullopt;
    };
    facts.label = value("LABEL");
    facts.file_system = value("TYPE");
    facts.uuid = value("UUID");
  }
  return facts;
}

// udev escapes unsafe bytes of a label as \xNN.
std::string Unescaped(std::string_view text) {
  std::string plain;
  for (std::size_t i = 0; i < text.size(); ++i) {
    unsigned value = 0;
    if (text.substr(i, 2) == "\\x" && i + 4 <= text.size() &&
        std::from_chars(text.data() + i + 2, text.data() + i + 4, value, 16).ptr ==
            text.data() + i + 4) {
      plain.push_back(static_cast<char>(value));
      i += 3;
    } else {
      plain.push_back(text[i]);
    }
  }
  return plain;
}

// What udev's own probe found when it saw the volume appear.
VolumeFacts UdevVolume(const std::string& name) {
  VolumeFacts facts;
  const std::unique_ptr<udev, decltype(&udev_unref)> context(udev_new(), udev_unref);
  if (!context) {
    return facts;
  }
  const std::unique_ptr<udev_device, decltype(&udev_device_unref)> device(
      udev_device_new_from_subsystem_sysname(context.get(), "block", name.c_str()),
      udev_device_unref);
  if (!device) {
    return facts;
  }
  if (const char* label = udev_device_get_property_value(device.get(), "ID_FS_LABEL_ENC")) {
    facts.label = Unescaped(label);
  }
  if (const char* type = udev_device_get_property_value(device.get(), "ID_FS_TYPE")) {
    facts.file_system = type;
  }
  if (const char* uuid = udev_device_get_property_value(device.get(), "ID_FS_UUID")) {
    facts.uuid = uuid;
  }
  return facts;
}

std::vector<fs::path> Entries(const fs::path& dir, std::string_view prefix) {
  std::vector<fs::path> found;
  std::error_code error;
  for (fs::directory_iterator entry(dir, error), end; !error && entry != end;
       entry.increment(error)) {
    if (entry->path().filename().native().starts_with(prefix)) {
      found.push_back(entry->path());
    }
  }
  // sdb2 before sdb10, 0:0:0:1 before 0:0:0:10.
  std::sort(found.begin(), found.end(), [](const fs::path& a, const fs::path& b) {
    const std::string x = a.filename().native();
    const std::string y = b.filename().native();
    return std::pair(x.size(), x) < std::pair(y.size(), y);
  });
  return found;
}

class VolumeReader {
 public:
  // Without `open_volumes` only sysfs is read: names and sizes.
  VolumeReader(const SysfsDrivePaths& paths, bool open_volumes)
      : m_paths(paths),
        m_open_volumes(open_volumes),
        m_mounts(open_volumes ? ReadMounts(paths.mount_table) : std::vector<Mount>()) {}

  // `probe` is false for a disk whose partitions hold the file systems.
  Volume Read(const fs::path& dir, bool probe) const {
    Volume volume;
    const std::string name = dir.filename().native();
    volume.name = Widen(name);
    volume.size_bytes = ReadNumber(dir / "size") * kSectorBytes;
    if (!m_open_volumes) {
      return volume;
    }
    std::optional<VolumeFacts> facts;
    if (probe && m_paths.dev_root && volume.size_bytes > 0) {
      facts = ProbeVolume(*m_paths.dev_root / name);
      if (!facts && m_paths.udev_properties) {
        facts = UdevVolume(name);
      }
    }
    if (facts) {
      volume.label = DeviceText(facts->label);
      volume.file_system = DeviceText(facts->file_system);
      volume.uuid = DeviceText(facts->uuid);
    }
    // A LUKS volume is mounted through its mapping (dm-0), which holds it.
    std::vector<Node> nodes = {NodeOf(dir)};
    for (const fs::path& holder : Entries(dir / "holders", "")) {
      nodes.push_back(NodeOf(holder));
    }
    std::optional<std::string> mounted_type;
    for (const Mount& mount : m_mounts) {
      if (std::any_of(nodes.begin(), nodes.end(),
                      [&](const Node& node) { return Mounts(mount, node, facts); })) {
        if (auto target = DeviceText(mount.target)) {
          volume.mount_points.push_back(std::move(*target));
        }
        mounted_type = mount.file_system;
      }
    }
    if (!volume.file_system) {
      volume.file_system = DeviceText(mounted_type);
    }
    return volume;
  }

 private:
  // What a mount table may call a block device by.
  struct Node {
    std::optional<dev_t> devno;
    std::string path;         // DEV/sdb1
    std::string mapper_path;  // DEV/mapper/luks-…, for a mapping
  };

  Node NodeOf(const fs::path& dir) const {
    Node node{ReadDevno(dir / "dev"), {}, {}};
    if (m_paths.dev_root) {
      node.path = (*m_paths.dev_root / dir.filename()).native();
      if (const auto mapping = ReadLine(dir / "dm" / "name"); mapping && !mapping->empty()) {
        node.mapper_path = (*m_paths.dev_root / "mapper" / *mapping).native();
      }
    }
    return node;
  }

  // By device number where it is the volume's own; btrfs shows an anonymous one (0:52),
  // so the source names the volume instead: its node, its mapping, or an fstab tag.
  static bool Mounts(const Mount& mount, const Node& node,
                     const std::optional<VolumeFacts>& facts) {
    if (node.devno && mount.devno == *node.devno) {
      return true;
    }
    if (!mount.tag_name.empty()) {
      return facts && ((mount.tag_name == "UUID" && facts->uuid == mount.tag_value) ||
                       (mount.tag_name == "LABEL" && facts->label == mount.tag_value));
    }
    return !mount.source.empty() && (mount.source == node.path || mount.source == node.mapper_path);
  }

  const SysfsDrivePaths& m_paths;
  bool m_open_volumes;
  std::vector<Mount> m_mounts;
};

// The device's SCSI disks: interface → host → target → logical unit → block.
// Returns how many direct-access units (SCSI type 0) the device has: a reader has one
// per slot, while a U3 stick's second unit is a CD-ROM (type 5).
std::size_t AddDisks(const fs::path& device_dir, const std::string& name,
                     const VolumeReader& volumes, UsbDevice& device) {
  std::size_t units = 0;
  for (const fs::path& interface : Entries(device_dir, name + ":")) {
    for (const fs::path& host : Entries(interface, "host")) {
      for (const fs::path& target : Entries(host, "target")) {
        for (const fs::path& unit : Entries(target, "")) {
          if (!fs::is_directory(unit / "block")) {
            continue;
          }
          const auto type = ReadLine(unit / "type");
          if (!type || *type == "0") {
            ++units;
          }
          for (const fs::path& block : Entries(unit / "block", "")) {
            Disk disk;
            for (const fs::path& part : Entries(block, block.filename().native())) {
              if (fs::exists(part / "partition")) {
                disk.partitions.push_back(volumes.Read(part, true));
              }
            }
            disk.volume = volumes.Read(block, disk.partitions.empty());
            if (const auto model = ReadLine(unit / "model")) {
              disk.model = DeviceText(Trimmed(*model));
            }
            device.disks.push_back(std::move(disk));
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

std::unique_ptr<DriveSource> MakeSysfsDriveSource(const SysfsDrivePaths& paths) {
  return std::make_unique<SysfsDriveSource>(paths);
}

SysfsDriveSource::SysfsDriveSource(SysfsDrivePaths paths) : m_paths(std::move(paths)) {}

std::optional<std::vector<UsbDevice>> SysfsDriveSource::ScanUsbDevices(ScanDepth depth) {
  auto found = serial::ScanSysfsUsbDevices(m_paths.sysfs_root);
  if (!found) {
    return std::nullopt;
  }
  const fs::path listing = m_paths.sysfs_root / "bus" / "usb" / "devices";
  std::optional<VolumeReader> volumes;
  std::vector<UsbDevice> devices;
  for (serial::SysfsUsbDevice& entry : *found) {
    if (entry.id.kind != serial::DeviceId::Kind::kText ||
        !serial::MatchesVidPattern(entry.id.text)) {
      continue;
    }
    UsbDevice device;
    device.serial = std::u16string(serial::LastPiece(entry.id.text));
    device.device_id = std::move(entry.id.text);
    device.serial_made_up = entry.serial_made_up;
    device.vendor = entry.vendor;
    device.product = entry.product;
    device.mass_storage = entry.mass_storage;
    device.location = entry.name;
    device.port = Widen(entry.name);
    if (device.mass_storage) {
      if (!volumes) {
        volumes.emplace(m_paths, depth == ScanDepth::kVolumes);
      }
      const fs::path dir = listing / entry.name;
      device.manufacturer = DeviceText(ReadLine(dir / "manufacturer"));
      device.product_name = DeviceText(ReadLine(dir / "product"));
      const std::size_t units = AddDisks(dir, entry.name, *volumes, device);
      device.card_reader = units > 1 || NamedAsReader(device);
    }
    devices.push_back(std::move(device));
  }
  AddSerialNotes(devices);
  return devices;
}

}  // namespace vellmor::drives
