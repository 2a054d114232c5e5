// `drives` over 100 sticks, one of whose media crawls (a read a second): the scan must
// answer by the media deadline with every stick listed.
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include <benchmark/benchmark.h>

#include "drives/sysfs_drives.h"
#include "sysfs_machine.h"
#include "usb_stick_fixtures.h"

namespace {

namespace fs = std::filesystem;
using vellmor::drives::ProbeOutcome;
using vellmor::drives::VolumeProber;

// libblkid, except on one volume, whose probe takes as long as a dying stick's.
class CrawlingProber : public VolumeProber {
 public:
  explicit CrawlingProber(std::string crawling)
      : m_crawling(std::move(crawling)), m_blkid(vellmor::drives::MakeBlkidProber()) {}
  ProbeOutcome Probe(const std::string& node) override {
    if (fs::path(node).filename() == m_crawling) {
      std::this_thread::sleep_for(std::chrono::seconds(27));
      return {};
    }
    return m_blkid->Probe(node);
  }

 private:
  std::string m_crawling;
  std::shared_ptr<VolumeProber> m_blkid;
};

std::string DiskName(int index) {
  return std::string("sd") + static_cast<char>('a' + index / 26) +
         static_cast<char>('a' + index % 26);
}

void BM_DrivesHundredSticksOneCrawling(benchmark::State& state) {
  vellmor::fixtures::Machine machine;
  constexpr int kSticks = 100;
  for (int i = 0; i < kSticks; ++i) {
    const std::string disk = DiskName(i + 1);
    const fs::path block =
        machine.AddStick(i + 1, 0x0781, 0x5567, "STICK" + std::to_string(100000 + i), {}, disk, i);
    vellmor::fixtures::Machine::AddPartition(block, 1, i + 1000, 2048);
    vellmor::fixtures::Machine::Write(machine.Dev() / (disk + "1"),
                                      vellmor::fixtures::FatVolume("V" + std::to_string(i)));
  }
  vellmor::drives::SysfsDrivePaths paths;
  paths.sysfs_root = machine.Sys();
  paths.dev_root = machine.Dev();
  paths.mount_table = machine.MountTable();
  paths.udev_properties = false;
  // The 50th stick crawls.
  paths.prober = std::make_shared<CrawlingProber>(DiskName(50) + "1");
  vellmor::drives::SysfsDriveSource source(paths);
  std::size_t listed = 0;
  std::size_t labelled = 0;
  std::size_t unreadable = 0;
  for (auto _ : state) {
    const auto devices = source.ScanUsbDevices(vellmor::drives::ScanDepth::kVolumes);
    listed = devices ? devices->size() : 0;
    labelled = 0;
    unreadable = 0;
    for (const auto& device : devices.value_or(std::vector<vellmor::drives::UsbDevice>())) {
      labelled += !device.disks.empty() && !device.disks[0].partitions.empty() &&
                  device.disks[0].partitions[0].label.has_value();
      unreadable += device.media_unreadable;
    }
  }
  state.counters["listed"] = static_cast<double>(listed);
  state.counters["labelled"] = static_cast<double>(labelled);
  state.counters["unreadable"] = static_cast<double>(unreadable);
}
BENCHMARK(BM_DrivesHundredSticksOneCrawling)
    ->Iterations(3)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
