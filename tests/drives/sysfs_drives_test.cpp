// The drive source over a sysfs tree in a folder, with a probe that answers, fails or
// hangs as dying sticks do.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>

#include "drives/sysfs_drives.h"
#include "sysfs_machine.h"

namespace vellmor::drives {
namespace {

namespace fs = std::filesystem;
using fixtures::Machine;
using std::chrono::milliseconds;

// Scripted media: a label, an error, or a read that hangs until the test lets go.
class ScriptedProber : public VolumeProber {
 public:
  enum class Media { kLabelled, kFailing, kHanging };

  explicit ScriptedProber(std::map<std::string, Media> media) : m_media(std::move(media)) {}

  ProbeOutcome Probe(const std::string& node) override {
    const std::string name = fs::path(node).filename().string();
    ProbeOutcome outcome;
    switch (m_media.at(name)) {
      case Media::kLabelled:
        outcome.facts.label = "LABEL-" + name;
        outcome.facts.file_system = "vfat";
        break;
      case Media::kFailing:
        outcome.status = ProbeOutcome::Status::kFailed;
        break;
      case Media::kHanging: {
        std::unique_lock lock(m_mutex);
        // Bounded, so that a source which waits for it shows as slow rather than hung.
        m_released.wait_for(lock, std::chrono::seconds(10), [&] { return m_release; });
        ++m_hung_returned;
        break;
      }
    }
    return outcome;
  }

  int HungReturned() {
    const std::lock_guard lock(m_mutex);
    return m_hung_returned;
  }

  void Release() {
    {
      const std::lock_guard lock(m_mutex);
      m_release = true;
    }
    m_released.notify_all();
  }

 private:
  std::map<std::string, Media> m_media;
  std::mutex m_mutex;
  std::condition_variable m_released;
  bool m_release = false;
  int m_hung_returned = 0;
};

SysfsDrivePaths PathsOf(const Machine& machine, std::shared_ptr<VolumeProber> prober) {
  SysfsDrivePaths paths;
  paths.sysfs_root = machine.Sys();
  paths.dev_root = machine.Dev();
  paths.mount_table = machine.MountTable();
  paths.udev_properties = false;
  paths.media_deadline = milliseconds(200);
  paths.prober = std::move(prober);
  return paths;
}

// A hanging stick on the first port, a failing one, then a healthy one: the scan answers
// by its deadline, the healthy stick's label is there, the other two are listed from
// sysfs and the mount table with the note, and their volumes keep name and size.
TEST(SysfsDrivesTest, HangingAndFailingMediaAreListedWithTheNoteWithoutHoldingTheScan) {
  Machine machine;
  using Media = ScriptedProber::Media;
  const auto prober = std::make_shared<ScriptedProber>(std::map<std::string, Media>{
      {"sdb1", Media::kHanging}, {"sdc1", Media::kFailing}, {"sdd1", Media::kLabelled}});
  const fs::path sdb = machine.AddStick(2, 0x0781, 0x5567, "HANGINGSTICK0001", {}, "sdb", 16);
  Machine::AddPartition(sdb, 1, 17, 2048);
  const fs::path sdc = machine.AddStick(3, 0x0781, 0x5567, "FAILINGSTICK0001", {}, "sdc", 32);
  Machine::AddPartition(sdc, 1, 33, 4096);
  machine.Mount(33, "/media/failing", "/dev/sdc1");
  const fs::path sdd = machine.AddStick(4, 0x0781, 0x5567, "HEALTHYSTICK0001", {}, "sdd", 48);
  Machine::AddPartition(sdd, 1, 49, 8192);

  SysfsDriveSource source(PathsOf(machine, prober));
  const auto devices = source.ScanUsbDevices(ScanDepth::kVolumes);
  const int hung_returned = prober->HungReturned();
  prober->Release();
  EXPECT_EQ(hung_returned, 0) << "the scan waited for the hanging stick";
  ASSERT_TRUE(devices);
  ASSERT_EQ(devices->size(), 3U);

  const UsbDevice& hanging = (*devices)[0];
  EXPECT_EQ(hanging.notes, std::vector<SerialNote>{SerialNote::kMediaUnreadable});
  const Volume& hung = hanging.disks.at(0).partitions.at(0);
  EXPECT_EQ(hung.name, u"sdb1");
  EXPECT_EQ(hung.size_bytes, 2048U * 512);
  EXPECT_FALSE(hung.label);

  const UsbDevice& failing = (*devices)[1];
  EXPECT_EQ(failing.notes, std::vector<SerialNote>{SerialNote::kMediaUnreadable});
  const Volume& failed = failing.disks.at(0).partitions.at(0);
  EXPECT_EQ(failed.size_bytes, 4096U * 512);
  EXPECT_FALSE(failed.label);
  EXPECT_EQ(failed.mount_points, std::vector<std::u16string>{u"/media/failing"});
  EXPECT_EQ(failed.file_system, u"vfat");

  const UsbDevice& healthy = (*devices)[2];
  EXPECT_TRUE(healthy.notes.empty());
  EXPECT_EQ(healthy.disks.at(0).partitions.at(0).label, u"LABEL-sdd1");

  // The plain scan reads no media, so it has nothing to note.
  const auto units = source.ScanUsbDevices(ScanDepth::kUnits);
  ASSERT_TRUE(units);
  EXPECT_TRUE((*units)[0].notes.empty());
}

// A folder that cannot be looked into (a loop stands in for one the user may not read,
// which root could) is passed over instead of failing the whole list.
TEST(SysfsDrivesTest, AnUnreadableUnitFolderSkipsThatUnitOnly) {
  Machine machine;
  const fs::path sdb = machine.AddStick(2, 0x0781, 0x5567, "LOOPINGSTICK0001", {}, "sdb", 16);
  const fs::path unit = sdb.parent_path().parent_path();
  const fs::path looping = unit.parent_path() / "6:0:0:1";
  fs::create_directories(looping);
  fs::create_symlink("block", looping / "block");
  Machine::AddPartition(sdb, 1, 17, 2048);
  fs::create_directories(sdb / "sdb2");
  fs::create_symlink("partition", sdb / "sdb2" / "partition");

  SysfsDriveSource source(PathsOf(machine, MakeBlkidProber()));
  const auto devices = source.ScanUsbDevices(ScanDepth::kVolumes);
  ASSERT_TRUE(devices);
  ASSERT_EQ(devices->size(), 1U);
  ASSERT_EQ(devices->front().disks.size(), 1U);
  EXPECT_EQ(devices->front().disks[0].partitions.size(), 1U);
}

}  // namespace
}  // namespace vellmor::drives
