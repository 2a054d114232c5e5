#include "arrival_policy.h"

#include <algorithm>
#include <utility>

namespace vellmor::drives {

namespace {

// A file system that nobody has mounted yet, and nothing of the device mounted.
bool HasUnmountedFileSystem(const UsbDevice& device) {
  const auto unmounted = [](const Volume& volume) {
    return volume.file_system && volume.mount_points.empty();
  };
  const auto mounted = [](const Volume& volume) { return !volume.mount_points.empty(); };
  bool any_unmounted = false;
  for (const Disk& disk : device.disks) {
    if (mounted(disk.volume) ||
        std::any_of(disk.partitions.begin(), disk.partitions.end(), mounted)) {
      return false;
    }
    any_unmounted = any_unmounted || unmounted(disk.volume) ||
                    std::any_of(disk.partitions.begin(), disk.partitions.end(), unmounted);
  }
  return any_unmounted;
}

}  // namespace

ArrivalPolicy::ArrivalPolicy(Timing timing, bool read_volumes, bool mounts_watched)
    : m_timing(timing), m_read_volumes(read_volumes), m_mounts_watched(mounts_watched) {}

void ArrivalPolicy::Start(const std::vector<UsbDevice>& present) {
  for (const UsbDevice& device : present) {
    m_known.insert_or_assign(device.location, device);
  }
}

void ArrivalPolicy::Forget(const std::string& location) {
  if (const auto known = m_known.find(location); known != m_known.end()) {
    if (known->second.mass_storage) {
      m_removals.push_back(std::move(known->second));
    }
    m_known.erase(known);
  }
}

void ArrivalPolicy::Added(const std::string& location, TimePoint now) {
  Forget(location);
  m_pending.insert_or_assign(location, Pending{now, now + m_timing.quiet, {}, false, 0});
}

void ArrivalPolicy::Changed(const std::string& location, TimePoint now) {
  if (m_known.contains(location)) {
    return;
  }
  auto [entry, added] = m_pending.try_emplace(location, Pending{now, now, {}, false, 0});
  // A new disk or partition: what a read under way finds is out of date.
  entry->second.reading = false;
  entry->second.due = now + m_timing.quiet;
}

void ArrivalPolicy::Removed(const std::string& location, TimePoint /*now*/) {
  m_pending.erase(location);
  Forget(location);
}

void ArrivalPolicy::MountsChanged(TimePoint now) {
  for (auto& [location, pending] : m_pending) {
    if (!pending.reading) {
      pending.due = std::min(pending.due, now);
    }
  }
}

void ArrivalPolicy::Rescan(TimePoint now) {
  // Once the burst is over, so that a hub full of sticks costs one scan.
  m_rescan = now + m_timing.quiet;
}

bool ArrivalPolicy::WantsScan(TimePoint now) const {
  if (m_rescan && *m_rescan <= now) {
    return true;
  }
  return std::any_of(m_pending.begin(), m_pending.end(), [&](const auto& entry) {
    return !entry.second.reading && entry.second.due <= now;
  });
}

void ArrivalPolicy::Scanned(const std::optional<std::vector<UsbDevice>>& devices,
                            const std::function<bool(const std::string&)>& initialised,
                            TimePoint now) {
  if (!devices) {
    // Try again after a pause rather than at once.
    for (auto& [location, pending] : m_pending) {
      if (!pending.reading && pending.due <= now) {
        pending.due = now + m_timing.quiet;
      }
    }
    return;
  }
  std::map<std::string, const UsbDevice*> listed;
  for (const UsbDevice& device : *devices) {
    listed.emplace(device.location, &device);
  }
  const bool rescan = m_rescan && *m_rescan <= now;
  if (rescan) {
    m_rescan.reset();
  }
  // What is gone is forgotten, even when its "remove" was lost.
  for (auto known = m_known.begin(); known != m_known.end();) {
    const auto next = std::next(known);
    if (!listed.contains(known->first)) {
      Forget(known->first);
    }
    known = next;
  }
  for (const auto& [location, device] : listed) {
    if (!m_known.contains(location) && !m_pending.contains(location)) {
      if (rescan) {
        m_pending.emplace(location, Pending{now, now, {}, false, 0});
      } else {
        // Listed without an event of its own: seen, as at the start.
        m_known.emplace(location, *device);
      }
    }
  }
  for (auto entry = m_pending.begin(); entry != m_pending.end();) {
    const auto next = std::next(entry);
    Pending& pending = entry->second;
    if (!pending.reading && pending.due <= now) {
      const auto found = listed.find(entry->first);
      const UsbDevice* device = found != listed.end() ? found->second : nullptr;
      const bool ready = device == nullptr || !initialised || initialised(entry->first);
      if (device == nullptr) {
        // Not listed yet (its descriptors still coming): wait for events up to the disk wait.
        if (now < pending.first + m_timing.disk_wait) {
          pending.due = pending.first + m_timing.disk_wait;
        } else {
          m_pending.erase(entry);
        }
      } else {
        Judge(entry->first, pending, *device, ready, now);
      }
    }
    entry = next;
  }
}

void ArrivalPolicy::Judge(const std::string& location, Pending& pending, const UsbDevice& device,
                          bool ready, TimePoint now) {
  const TimePoint disk_deadline = pending.first + m_timing.disk_wait;
  // A keyboard or a phone is no drive: seen, never reported.
  if (!device.mass_storage) {
    m_known.insert_or_assign(location, device);
    m_pending.erase(location);
    return;
  }
  // No disk yet, or the system not done with it: wait for events, up to the disk wait.
  if ((device.disks.empty() || !ready) && now < disk_deadline) {
    pending.due = disk_deadline;
    return;
  }
  if (!pending.settled) {
    pending.settled = now;
  }
  if (m_read_volumes) {
    pending.reading = true;
    pending.ticket = ++m_next_ticket;
    m_requests.push_back({device, pending.ticket});
    return;
  }
  m_known.insert_or_assign(location, device);
  m_arrivals.push_back(device);
  m_pending.erase(location);
}

std::vector<ArrivalPolicy::VolumeRequest> ArrivalPolicy::TakeVolumeRequests() {
  return std::exchange(m_requests, {});
}

void ArrivalPolicy::VolumesRead(const UsbDevice& device, unsigned ticket, TimePoint now) {
  const auto entry = m_pending.find(device.location);
  if (entry == m_pending.end() || !entry->second.reading || entry->second.ticket != ticket) {
    return;  // gone, or changed while it was read: read again
  }
  Pending& pending = entry->second;
  pending.reading = false;
  if (m_mounts_watched && HasUnmountedFileSystem(device) &&
      now < *pending.settled + m_timing.mount_wait) {
    pending.due = *pending.settled + m_timing.mount_wait;
    return;
  }
  m_known.insert_or_assign(device.location, device);
  m_arrivals.push_back(device);
  m_pending.erase(entry);
}

std::vector<UsbDevice> ArrivalPolicy::TakeArrivals() { return std::exchange(m_arrivals, {}); }

std::vector<UsbDevice> ArrivalPolicy::TakeRemovals() { return std::exchange(m_removals, {}); }

std::optional<ArrivalPolicy::TimePoint> ArrivalPolicy::NextWake() const {
  std::optional<TimePoint> wake = m_rescan;
  for (const auto& [location, pending] : m_pending) {
    if (!pending.reading) {
      wake = wake ? std::min(*wake, pending.due) : pending.due;
    }
  }
  return wake;
}

}  // namespace vellmor::drives
