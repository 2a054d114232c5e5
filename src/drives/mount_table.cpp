#include "mount_table.h"

#include <libmount/libmount.h>

#include <algorithm>
#include <memory>
#include <utility>

#include "drive_text.h"
#include "sysfs_files.h"

namespace vellmor::drives {

namespace fs = std::filesystem;

// Every entry is kept rather than looked up with mnt_table_find_devno: that gives the
// first match only, and a volume mounted twice (a bind mount, a second automounter)
// shows both targets.
MountTable::MountTable(const std::optional<fs::path>& file) {
  if (!file) {
    return;
  }
  const std::unique_ptr<libmnt_table, decltype(&mnt_unref_table)> table(
      mnt_new_table_from_file(file->c_str()), mnt_unref_table);
  const std::unique_ptr<libmnt_iter, decltype(&mnt_free_iter)> iter(mnt_new_iter(MNT_ITER_FORWARD),
                                                                    mnt_free_iter);
  if (!table || !iter) {
    return;
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
      m_mounts.push_back({mnt_fs_get_devno(entry), source != nullptr ? source : "",
                          tag_name != nullptr ? tag_name : "",
                          tag_value != nullptr ? tag_value : "", target,
                          type != nullptr ? type : ""});
    }
  }
}

void MountTable::AddMounts(const fs::path& dir, const std::optional<fs::path>& dev_root,
                           const std::optional<VolumeFacts>& facts, Volume& volume) const {
  if (m_mounts.empty()) {
    return;
  }
  // A LUKS volume is mounted through its mapping (dm-0), which holds it.
  std::vector<Node> nodes = {NodeOf(dir, dev_root)};
  for (const fs::path& holder : Entries(dir / "holders", "")) {
    nodes.push_back(NodeOf(holder, dev_root));
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
}

MountTable::Node MountTable::NodeOf(const fs::path& dir, const std::optional<fs::path>& dev_root) {
  Node node{ReadDevno(dir / "dev"), {}, {}};
  if (dev_root) {
    node.path = (*dev_root / dir.filename()).native();
    if (const auto mapping = ReadLine(dir / "dm" / "name"); mapping && !mapping->empty()) {
      node.mapper_path = (*dev_root / "mapper" / *mapping).native();
    }
  }
  return node;
}

// By device number where it is the volume's own; btrfs shows an anonymous one (0:52),
// so the source names the volume instead: its node, its mapping, or an fstab tag.
bool MountTable::Mounts(const Mount& mount, const Node& node,
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

}  // namespace vellmor::drives
