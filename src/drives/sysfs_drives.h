#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "drives.h"
#include "volume_probe.h"

namespace vellmor::drives {

class MountTable;

// Where a Linux system keeps what the drive list reads; tests point these at a folder.
struct SysfsDrivePaths {
  std::filesystem::path sysfs_root = "/sys";
  // Without these no volume is opened and nothing counts as mounted.
  std::optional<std::filesystem::path> dev_root = "/dev";
  std::optional<std::filesystem::path> mount_table = "/proc/self/mountinfo";
  // Ask udev's database for labels of volumes we may not open (no root needed).
  bool udev_properties = true;
  // How long one scan waits for the media of all sticks together. A stick whose volumes
  // have not answered by then is listed from sysfs alone, with kMediaUnreadable.
  std::chrono::milliseconds media_deadline{2000};
  // What reads a volume's superblock: libblkid unless a test brings its own.
  std::shared_ptr<VolumeProber> prober;
};

// The USB device list of sysfs with each mass-storage device's SCSI disks and their
// partitions: sizes from sysfs, mount points from the mount table (libmount), labels
// and file systems from the volume itself (libblkid, under the media deadline) or else
// from udev.
class SysfsDriveSource : public DriveSource {
 public:
  explicit SysfsDriveSource(SysfsDrivePaths paths = {});
  ~SysfsDriveSource() override;
  SysfsDriveSource(const SysfsDriveSource&) = delete;
  SysfsDriveSource& operator=(const SysfsDriveSource&) = delete;

  std::optional<std::vector<UsbDevice>> ScanUsbDevices(ScanDepth depth) override;
  // The device's volumes probed on a thread, under the media deadline.
  std::unique_ptr<VolumeRead> StartVolumeRead(const UsbDevice& device) override;

 private:
  class SysfsVolumeRead;
  struct Walked;
  std::optional<std::vector<Walked>> Walk() const;
  std::vector<std::string> NodesToProbe(const Walked& walked) const;
  void AddVolumeFacts(Walked& walked, const ProbeJob& job, const MountTable& mounts) const;
  void ReadVolumes(std::vector<Walked*> devices) const;

  SysfsDrivePaths m_paths;
};

// A SysfsDriveSource where the system has one; none on Windows.
std::unique_ptr<DriveSource> MakeSysfsDriveSource(const SysfsDrivePaths& paths);

}  // namespace vellmor::drives
