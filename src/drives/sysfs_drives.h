#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "drives.h"

namespace vellmor::drives {

// Where a Linux system keeps what the drive list reads; tests point these at a folder.
struct SysfsDrivePaths {
  std::filesystem::path sysfs_root = "/sys";
  // Without these no volume is opened and nothing counts as mounted.
  std::optional<std::filesystem::path> dev_root = "/dev";
  std::optional<std::filesystem::path> mount_table = "/proc/self/mountinfo";
  // Ask udev's database for labels of volumes we may not open (no root needed).
  bool udev_properties = true;
};

// The USB device list of sysfs with each mass-storage device's SCSI disks and their
// partitions: sizes from sysfs, mount points from the mount table (libmount), labels
// and file systems from the volume itself (libblkid) or else from udev.
class SysfsDriveSource : public DriveSource {
 public:
  explicit SysfsDriveSource(SysfsDrivePaths paths = {});
  std::optional<std::vector<UsbDevice>> ScanUsbDevices(ScanDepth depth) override;

 private:
  SysfsDrivePaths m_paths;
};

// A SysfsDriveSource where the system has one; none on Windows.
std::unique_ptr<DriveSource> MakeSysfsDriveSource(const SysfsDrivePaths& paths);

}  // namespace vellmor::drives
