#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "drives.h"

namespace vellmor::drives {

// USB mass-storage devices as they are plugged in. Opening starts listening, so a
// device plugged in right after is not missed; the devices present then count as seen.
// Interrupt and terminate requests end a wait instead of the process.
class DeviceArrivals {
 public:
  // kRemoved only after ReportRemovals(true).
  enum class Outcome { kArrived, kTimedOut, kInterrupted, kOutputClosed, kFailed, kRemoved };
  struct Result {
    Outcome outcome = Outcome::kTimedOut;
    std::vector<UsbDevice> devices;  // settled: disks there, volumes mounted where they will be
    // With ReportRemovals(true): mass-storage devices gone since, as last known.
    std::vector<UsbDevice> removed;
    int signal = 0;     // kInterrupted: SIGINT or SIGTERM
    std::string error;  // kFailed: what went wrong
  };

  virtual ~DeviceArrivals() = default;
  // The devices present when listening started.
  virtual const std::vector<UsbDevice>& present() const = 0;
  // Sleeps until a device not seen before has settled, the time is up, or an
  // interrupt comes; no timeout waits without limit. A second interrupt while the
  // first is not yet answered ends the process as the signal would.
  virtual Result Wait(std::optional<std::chrono::milliseconds> timeout) = 0;
  // Where the events come from, for the user: "udev", "kernel", ...
  virtual std::string event_source() const = 0;
  // Wait also ends (kOutputClosed) when the reader of this descriptor has gone, where the
  // system tells.
  virtual void WatchOutput(int /*descriptor*/) {}
  // Wait also ends (kRemoved) when a mass-storage device seen before has gone.
  void ReportRemovals(bool report) { m_report_removals = report; }

 protected:
  bool m_report_removals = false;
};

// No value, and the reason in `error`, when the system's device events cannot be had.
// `depth` is how far each scan looks; with ScanDepth::kUnits no volume is opened and a
// device settles once its disks are there.
// The interrupt (SIGINT, Ctrl-C) or terminate request (SIGTERM, closing the console) that
// came while device events were listened to, 0 when none. It stays once the listening
// has ended: the program finishes its output, then ends by it (EndAsInterrupted).
int ReceivedInterrupt();

// Ends the process as the request would have had nobody caught it, so that a shell sees
// the program killed by it (130/143) and a `while` loop around it stops too.
[[noreturn]] void EndAsInterrupted(int signal);

std::unique_ptr<DeviceArrivals> OpenDeviceArrivals(DriveSource& drives, ScanDepth depth,
                                                   std::string& error);

}  // namespace vellmor::drives
