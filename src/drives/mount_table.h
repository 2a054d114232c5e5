#pragma once

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "drives.h"
#include "volume_probe.h"

namespace vellmor::drives {

// The mount table, read once per scan: reading it touches no volume.
class MountTable {
 public:
  // Empty without a table (tests, a tree in a folder).
  explicit MountTable(const std::optional<std::filesystem::path>& file);

  // Adds to `volume` where the block device in sysfs folder `dir` is mounted, and its
  // file system by the mount when the volume's own probe named none. `facts`, when the
  // volume was read, lets an fstab line that names it by UUID or label match.
  void AddMounts(const std::filesystem::path& dir,
                 const std::optional<std::filesystem::path>& dev_root,
                 const std::optional<VolumeFacts>& facts, Volume& volume) const;

 private:
  struct Mount {
    dev_t devno = 0;
    std::string source;
    // "UUID" and its value, for an fstab line that names its volume by tag.
    std::string tag_name;
    std::string tag_value;
    std::string target;
    std::string file_system;
  };
  // What a mount table may call a block device by.
  struct Node {
    std::optional<dev_t> devno;
    std::string path;         // DEV/sdb1
    std::string mapper_path;  // DEV/mapper/luks-…, for a mapping
  };

  static Node NodeOf(const std::filesystem::path& dir,
                     const std::optional<std::filesystem::path>& dev_root);
  static bool Mounts(const Mount& mount, const Node& node, const std::optional<VolumeFacts>& facts);

  std::vector<Mount> m_mounts;
};

}  // namespace vellmor::drives
