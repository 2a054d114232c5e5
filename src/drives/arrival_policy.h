#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "drives.h"

namespace vellmor::drives {

// When a plugged-in USB device counts as arrived, the same on every system: fed with the
// system's device events and scans and told the time, it says when to scan, whose volumes
// to read, and which devices have arrived or gone. It reads no clock and no device itself.
class ArrivalPolicy {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;
  using Duration = std::chrono::steady_clock::duration;

  struct Timing {
    // The events of one plug-in come in a burst; a device is looked at after this much quiet.
    Duration quiet;
    // How long a mass-storage device may show no disk (usb-storage scans a stick about a
    // second after it appears).
    Duration disk_wait;
    // How long a volume with a file system but no mount point waits for an automounter.
    Duration mount_wait;
  };

  // `read_volumes`: an arrival needs its volumes read (watch); without, sysfs or the device
  // list alone settles it (--wait). `mounts_watched`: mount changes are reported, so
  // waiting for an automounter makes sense.
  ArrivalPolicy(Timing timing, bool read_volumes, bool mounts_watched);

  // The devices there when listening started: seen, not arrivals.
  void Start(const std::vector<UsbDevice>& present);

  // A USB device's own "add": always a new arrival, as its "remove" may have been lost.
  void Added(const std::string& location, TimePoint now);
  // An event below a device (interface, disk, partition): look again once it is quiet.
  void Changed(const std::string& location, TimePoint now);
  // A USB device's own "remove".
  void Removed(const std::string& location, TimePoint now);
  void MountsChanged(TimePoint now);
  // Events were lost, or the system says only that something changed: the next scan
  // takes every device it has not seen as new.
  void Rescan(TimePoint now);

  // A scan of the device list (units only) is due.
  bool WantsScan(TimePoint now) const;
  // Its result; no value when the list could not be read. `initialised` tells whether the
  // system has finished with a device's disks (udev's record); nothing when it cannot tell.
  void Scanned(const std::optional<std::vector<UsbDevice>>& devices,
               const std::function<bool(const std::string&)>& initialised, TimePoint now);

  // A device whose volumes are to be read now, with what the scan knew of it; the answer
  // goes to VolumesRead with the same ticket.
  struct VolumeRequest {
    UsbDevice device;
    unsigned ticket = 0;
  };
  std::vector<VolumeRequest> TakeVolumeRequests();
  void VolumesRead(const UsbDevice& device, unsigned ticket, TimePoint now);

  std::vector<UsbDevice> TakeArrivals();
  // Devices that have gone, as last known: from the first scan, a scan or an arrival.
  std::vector<UsbDevice> TakeRemovals();

  // When something is next due without an event; no value: only an event can change things.
  std::optional<TimePoint> NextWake() const;

 private:
  struct Pending {
    TimePoint first;
    TimePoint due;
    std::optional<TimePoint>
        settled;           // when it first looked complete; the mount wait counts from here
    bool reading = false;  // its volumes are being read
    unsigned ticket = 0;
  };

  void Forget(const std::string& location);
  void Judge(const std::string& location, Pending& pending, const UsbDevice& device, bool ready,
             TimePoint now);

  Timing m_timing;
  bool m_read_volumes;
  bool m_mounts_watched;
  std::map<std::string, Pending> m_pending;
  // Devices seen and not pending, as last known; removals come from here.
  std::map<std::string, UsbDevice> m_known;
  std::optional<TimePoint> m_rescan;  // when a scan takes unseen devices as new
  unsigned m_next_ticket = 0;
  std::vector<VolumeRequest> m_requests;
  std::vector<UsbDevice> m_arrivals;
  std::vector<UsbDevice> m_removals;
};

}  // namespace vellmor::drives
