#include "drives.h"

#include "sysfs_drives.h"

namespace vellmor::drives {

std::unique_ptr<DriveSource> MakeSystemDriveSource() {
  return std::make_unique<SysfsDriveSource>();
}

}  // namespace vellmor::drives
