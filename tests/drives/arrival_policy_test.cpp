// The arrivals policy with a clock the test moves: no sleeps, no devices.
#include "drives/arrival_policy.h"

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace vellmor::drives {
namespace {

using std::chrono::milliseconds;
using Policy = ArrivalPolicy;

constexpr Policy::Timing kTiming{milliseconds(60), milliseconds(10000), milliseconds(3000)};

UsbDevice Stick(const std::string& location, bool with_disk = true) {
  UsbDevice device;
  device.location = location;
  device.mass_storage = true;
  if (with_disk) {
    Disk disk;
    disk.volume.name = u"sdb";
    disk.partitions.push_back(Volume{u"sdb1", 512, {}, u"vfat", {}, {}});
    device.disks.push_back(disk);
  }
  return device;
}

UsbDevice Keyboard(const std::string& location) {
  UsbDevice device;
  device.location = location;
  return device;
}

std::vector<std::string> Locations(const std::vector<UsbDevice>& devices) {
  std::vector<std::string> names;
  for (const UsbDevice& device : devices) {
    names.push_back(device.location);
  }
  return names;
}

// The system as the pump sees it: the device list and a clock.
struct Bench {
  Policy policy{kTiming, true, true};
  Policy::TimePoint now{};
  std::vector<UsbDevice> listed;
  std::vector<Policy::VolumeRequest> requests;

  // What the pump does each turn: scan when asked, collect the reads to start.
  void Turn() {
    if (policy.WantsScan(now)) {
      policy.Scanned(listed, nullptr, now);
    }
    for (auto& request : policy.TakeVolumeRequests()) {
      requests.push_back(request);
    }
  }
  // Moves the clock to the policy's next wake-up (or by `step` when it has none) and turns.
  void Advance(milliseconds step) {
    now += step;
    Turn();
  }
  void UntilIdle() {
    for (int i = 0; i < 20; ++i) {
      const auto wake = policy.NextWake();
      if (!wake) {
        return;
      }
      now = std::max(now, *wake);
      Turn();
    }
  }
};

// A stick's life: present, a keyboard that is no drive, a stick whose disk comes late and
// waits for its automounter, and removals with and without their events.
TEST(ArrivalPolicyTest, ReportsDrivesOnceSettledAndTheirRemovalsButNeverOtherDevices) {
  Bench bench;
  bench.listed = {Stick("1-1")};
  bench.policy.Start(bench.listed);

  bench.listed.push_back(Keyboard("1-5"));
  bench.policy.Added("1-5", bench.now);
  bench.UntilIdle();
  bench.now += milliseconds(20000);
  bench.UntilIdle();
  EXPECT_TRUE(bench.requests.empty());
  EXPECT_TRUE(bench.policy.TakeArrivals().empty()) << "a keyboard is no drive";

  // Listed at once, its disk a second later.
  bench.listed.push_back(Stick("1-2", false));
  bench.policy.Added("1-2", bench.now);
  bench.Advance(milliseconds(100));
  EXPECT_TRUE(bench.requests.empty()) << "no disk yet";
  EXPECT_EQ(bench.policy.NextWake(), bench.now - milliseconds(100) + milliseconds(10000));
  bench.now += milliseconds(1000);
  bench.listed.back() = Stick("1-2");
  bench.policy.Changed("1-2", bench.now);
  bench.Advance(milliseconds(59));
  EXPECT_TRUE(bench.requests.empty()) << "not quiet yet";
  bench.Advance(milliseconds(1));
  ASSERT_EQ(bench.requests.size(), 1U);

  // Its file system is not mounted yet: read again after the mount change.
  const Policy::VolumeRequest first = bench.requests.front();
  bench.requests.clear();
  bench.policy.VolumesRead(first.device, first.ticket, bench.now);
  EXPECT_TRUE(bench.policy.TakeArrivals().empty());
  bench.now += milliseconds(500);
  bench.policy.MountsChanged(bench.now);
  bench.Turn();
  ASSERT_EQ(bench.requests.size(), 1U);
  UsbDevice mounted = bench.requests.front().device;
  mounted.disks[0].partitions[0].mount_points = {u"/media/stick"};
  bench.policy.VolumesRead(mounted, bench.requests.front().ticket, bench.now);
  bench.requests.clear();
  const auto arrived = bench.policy.TakeArrivals();
  ASSERT_EQ(Locations(arrived), std::vector<std::string>{"1-2"});
  EXPECT_EQ(arrived[0].disks[0].partitions[0].mount_points.size(), 1U);
  bench.UntilIdle();
  EXPECT_TRUE(bench.policy.TakeArrivals().empty()) << "reported once";

  // Removed with its event, then one whose "remove" was lost: the next scan notices.
  bench.policy.Removed("1-2", bench.now);
  bench.listed = {Keyboard("1-5")};
  bench.policy.Added("1-7", bench.now);
  bench.listed.push_back(Stick("1-7"));
  bench.UntilIdle();
  const auto removed = bench.policy.TakeRemovals();
  ASSERT_EQ(Locations(removed), (std::vector<std::string>{"1-2", "1-1"}));
  EXPECT_EQ(removed[0].disks[0].partitions[0].mount_points.size(), 1U) << "as last known";
}

// A stick whose volumes take long delays only its own line, and what changed during a
// read makes it read again rather than report what it found.
TEST(ArrivalPolicyTest, ASlowReadHoldsOnlyItsOwnStick) {
  Bench bench;
  bench.policy.Start({});
  bench.listed = {Stick("1-2")};
  bench.policy.Added("1-2", bench.now);
  bench.UntilIdle();
  ASSERT_EQ(bench.requests.size(), 1U);
  const Policy::VolumeRequest slow = bench.requests.front();
  bench.requests.clear();

  bench.listed.push_back(Stick("1-3"));
  bench.policy.Added("1-3", bench.now);
  bench.UntilIdle();
  ASSERT_EQ(bench.requests.size(), 1U);
  UsbDevice mounted = bench.requests.front().device;
  mounted.disks[0].partitions[0].mount_points = {u"/media/b"};
  bench.policy.VolumesRead(mounted, bench.requests.front().ticket, bench.now);
  bench.requests.clear();
  EXPECT_EQ(Locations(bench.policy.TakeArrivals()), std::vector<std::string>{"1-3"});

  bench.policy.Changed("1-2", bench.now);
  UsbDevice stale = slow.device;
  stale.disks[0].partitions[0].mount_points = {u"/media/a"};
  bench.policy.VolumesRead(stale, slow.ticket, bench.now);
  EXPECT_TRUE(bench.policy.TakeArrivals().empty()) << "read before the change";
  bench.UntilIdle();
  ASSERT_EQ(bench.requests.size(), 1U);
  EXPECT_NE(bench.requests.front().ticket, slow.ticket);
}

// Lost events: once the burst is quiet, one scan takes every unseen device as new.
TEST(ArrivalPolicyTest, AfterLostEventsUnseenDevicesArriveAndAFailedScanIsRetried) {
  Policy policy(kTiming, false, false);
  Policy::TimePoint now{};
  policy.Start({Stick("1-1")});
  const std::vector<UsbDevice> listed = {Stick("1-1"), Stick("1-4"), Keyboard("1-5")};
  policy.Rescan(now);
  EXPECT_FALSE(policy.WantsScan(now));
  now += milliseconds(60);
  ASSERT_TRUE(policy.WantsScan(now));
  policy.Scanned(std::nullopt, nullptr, now);
  policy.Scanned(listed, nullptr, now);
  EXPECT_EQ(Locations(policy.TakeArrivals()), std::vector<std::string>{"1-4"});

  // A udev that has not written its record yet holds the device up to the disk wait.
  policy.Added("1-6", now);
  const std::vector<UsbDevice> more = {Stick("1-1"), Stick("1-4"), Stick("1-6")};
  now += milliseconds(60);
  policy.Scanned(
      more, [](const std::string&) { return false; }, now);
  EXPECT_TRUE(policy.TakeArrivals().empty());
  now += milliseconds(10000);
  ASSERT_TRUE(policy.WantsScan(now));
  policy.Scanned(
      more, [](const std::string&) { return false; }, now);
  EXPECT_EQ(Locations(policy.TakeArrivals()), std::vector<std::string>{"1-6"});
}

}  // namespace
}  // namespace vellmor::drives
