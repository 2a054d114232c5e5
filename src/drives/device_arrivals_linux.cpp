#include "device_arrivals.h"

#include <fcntl.h>
#include <libmount/libmount.h>
#include <libudev.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <list>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "arrival_policy.h"

namespace vellmor::drives {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Events of one plug-in come in a burst (device, interfaces, SCSI host, disk, partitions);
// the device counts as settled after this much quiet.
constexpr milliseconds kQuiet{60};
// usb-storage waits a second before it scans a stick; slow ones take longer.
constexpr milliseconds kDiskWait{10000};
// An automounter mounts a volume within a moment of udev announcing it.
constexpr milliseconds kMountWait{3000};

// Written by the interrupt handler, read by the waiting loop. g_signal outlives the
// listening: the program ends by it once its output is complete.
volatile sig_atomic_t g_interrupt_pipe = -1;
volatile sig_atomic_t g_signal = 0;

void OnInterrupt(int signal) {
  // The first asks the loop to finish its line; a second, while a scan may be stuck in a
  // failing stick's I/O, ends the process at once.
  if (g_signal != 0 || g_interrupt_pipe < 0) {
    ::signal(signal, SIG_DFL);
    ::raise(signal);
    return;
  }
  g_signal = signal;
  const int saved = errno;
  const char byte = 1;
  [[maybe_unused]] const ssize_t written = ::write(g_interrupt_pipe, &byte, 1);
  errno = saved;
}

class LinuxDeviceArrivals : public DeviceArrivals {
 public:
  // Without a udev daemon (containers, rescue shells) its events never come; the
  // kernel's own do, and libudev's monitor takes those too.
  LinuxDeviceArrivals(DriveSource& drives, ScanDepth depth, std::string& error)
      : m_drives(drives),
        m_source(::access("/run/udev/control", F_OK) == 0 ? "udev" : "kernel"),
        m_policy({kQuiet, kDiskWait, kMountWait}, depth == ScanDepth::kVolumes, true) {
    m_udev = udev_new();
    m_monitor =
        m_udev != nullptr ? udev_monitor_new_from_netlink(m_udev, m_source.c_str()) : nullptr;
    if (m_monitor == nullptr ||
        udev_monitor_filter_add_match_subsystem_devtype(m_monitor, "usb", nullptr) < 0 ||
        udev_monitor_filter_add_match_subsystem_devtype(m_monitor, "block", nullptr) < 0 ||
        udev_monitor_enable_receiving(m_monitor) < 0) {
      error =
          std::string("cannot listen for ") + m_source + " device events: " + std::strerror(errno);
      return;
    }
    // An interrupt only wakes the loop, so a line being written is finished first.
    // A handler rather than a blocked signal: libraries may run threads of their own.
    std::array<int, 2> pipe{};
    if (::pipe2(pipe.data(), O_CLOEXEC | O_NONBLOCK) != 0) {
      error = std::string("cannot take interrupts: ") + std::strerror(errno);
      return;
    }
    m_signals = pipe[0];
    g_interrupt_pipe = m_signal_writer = pipe[1];
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    // A signal ignored when we started (`watch &` in a script: the shell ignores SIGINT
    // for it) stays ignored, as for any program.
    for (auto [number, old] : {std::pair{SIGINT, &m_old_interrupt}, {SIGTERM, &m_old_terminate}}) {
      ::sigaction(number, nullptr, old);
      if (old->sa_handler != SIG_IGN) {
        ::sigaction(number, &action, nullptr);
      }
    }
    m_handlers_set = true;
    // Room for a hub full of sticks while a scan runs; the kernel drops what does not fit.
    udev_monitor_set_receive_buffer_size(m_monitor, 4 * 1024 * 1024);
    // Mount changes wake us while a volume waits for its automounter; not fatal without.
    m_mounts = mnt_new_monitor();
    if (m_mounts != nullptr && mnt_monitor_enable_kernel(m_mounts, 1) < 0) {
      mnt_unref_monitor(m_mounts);
      m_mounts = nullptr;
    }
    if (m_mounts == nullptr) {
      m_policy =
          ArrivalPolicy({kQuiet, kDiskWait, kMountWait}, depth == ScanDepth::kVolumes, false);
    }
    m_ready = true;
  }

  // Apart from the constructor, so that the destructor undoes everything if it throws.
  // Listening has started: a stick plugged in during the scan also comes as an event.
  // Units only: what is present counts as seen, and no volume is opened for it.
  void Start() {
    m_present = m_drives.ScanUsbDevices(ScanDepth::kUnits).value_or(std::vector<UsbDevice>());
    m_policy.Start(m_present);
  }

  ~LinuxDeviceArrivals() override {
    if (m_mounts != nullptr) {
      mnt_unref_monitor(m_mounts);
    }
    if (m_handlers_set) {
      g_interrupt_pipe = -1;
      ::sigaction(SIGINT, &m_old_interrupt, nullptr);
      ::sigaction(SIGTERM, &m_old_terminate, nullptr);
    }
    for (const int fd : {m_signals, m_signal_writer}) {
      if (fd >= 0) {
        ::close(fd);
      }
    }
    if (m_monitor != nullptr) {
      udev_monitor_unref(m_monitor);
    }
    if (m_udev != nullptr) {
      udev_unref(m_udev);
    }
  }

  LinuxDeviceArrivals(const LinuxDeviceArrivals&) = delete;
  LinuxDeviceArrivals& operator=(const LinuxDeviceArrivals&) = delete;

  bool ready() const { return m_ready; }
  const std::vector<UsbDevice>& present() const override { return m_present; }
  std::string event_source() const override { return m_source; }
  void WatchOutput(int descriptor) override { m_output = descriptor; }

  Result Wait(std::optional<milliseconds> timeout) override {
    const auto deadline = timeout ? std::optional(Clock::now() + *timeout) : std::nullopt;
    for (;;) {
      Result result;
      Clock::time_point now = Clock::now();
      // Sysfs only: cheap, whatever state the sticks' media are in.
      if (m_policy.WantsScan(now)) {
        m_policy.Scanned(
            m_drives.ScanUsbDevices(ScanDepth::kUnits),
            [&](const std::string& name) { return m_source != "udev" || UdevHasInitialised(name); },
            now);
      }
      for (ArrivalPolicy::VolumeRequest& request : m_policy.TakeVolumeRequests()) {
        m_reads.push_back({request.ticket, m_drives.StartVolumeRead(request.device)});
      }
      FinishReads(now);
      result.devices = m_policy.TakeArrivals();
      m_removed_since.splice(m_removed_since.end(), ToList(m_policy.TakeRemovals()));
      if (!result.devices.empty()) {
        result.outcome = Outcome::kArrived;
        return result;
      }
      if (m_report_removals && !m_removed_since.empty()) {
        result.removed.assign(m_removed_since.begin(), m_removed_since.end());
        m_removed_since.clear();
        result.outcome = Outcome::kRemoved;
        return result;
      }
      if (deadline && *deadline <= now) {
        return result;
      }
      // The output's own events (a reader gone shows as POLLERR) need no request. A read
      // stuck in a stick's media is only waited for here, with everything else.
      std::vector<pollfd> fds = {
          pollfd{udev_monitor_get_fd(m_monitor), POLLIN, 0}, pollfd{m_signals, POLLIN, 0},
          pollfd{m_mounts != nullptr ? mnt_monitor_get_fd(m_mounts) : -1, POLLIN, 0},
          pollfd{m_output, 0, 0}};
      for (const Read& read : m_reads) {
        fds.push_back(pollfd{read.read->descriptor(), POLLIN, 0});
      }
      if (::poll(fds.data(), fds.size(), PollTimeout(now, deadline)) < 0) {
        if (errno == EINTR) {
          continue;
        }
        result.outcome = Outcome::kFailed;
        result.error = std::string("cannot wait for device events: ") + std::strerror(errno);
        return result;
      }
      if ((fds[1].revents & POLLIN) != 0) {
        result.outcome = Outcome::kInterrupted;
        result.signal = g_signal;
        return result;
      }
      if ((fds[3].revents & (POLLERR | POLLHUP)) != 0) {
        result.outcome = Outcome::kOutputClosed;
        return result;
      }
      if ((fds[0].revents & POLLIN) != 0) {
        TakeEvents();
      }
      if ((fds[2].revents & POLLIN) != 0) {
        TakeMountChanges();
      }
    }
  }

 private:
  struct Read {
    unsigned ticket = 0;
    std::unique_ptr<VolumeRead> read;
  };

  static std::list<UsbDevice> ToList(std::vector<UsbDevice> devices) {
    return {std::make_move_iterator(devices.begin()), std::make_move_iterator(devices.end())};
  }

  // Reads that have finished or whose deadline has passed go to the policy.
  void FinishReads(Clock::time_point now) {
    for (auto read = m_reads.begin(); read != m_reads.end();) {
      if (read->read->finished() || read->read->deadline() <= now) {
        if (const auto device = read->read->Finish()) {
          m_policy.VolumesRead(*device, read->ticket, now);
        }
        read = m_reads.erase(read);
      } else {
        ++read;
      }
    }
  }

  // Milliseconds until the next thing to do; -1 sleeps until an event.
  int PollTimeout(Clock::time_point now, const std::optional<Clock::time_point>& deadline) const {
    std::optional<Clock::time_point> wake = deadline;
    const auto sooner = [&](Clock::time_point when) { wake = wake ? std::min(*wake, when) : when; };
    if (const auto next = m_policy.NextWake()) {
      sooner(*next);
    }
    for (const Read& read : m_reads) {
      sooner(read.read->deadline());
    }
    if (!wake) {
      return -1;
    }
    // Rounded up, so we never wake a moment early and spin.
    const auto wait = std::chrono::ceil<milliseconds>(*wake - now).count();
    return static_cast<int>(std::clamp<long long>(wait, 0, 24LL * 60 * 60 * 1000));
  }

  void TakeEvents() {
    for (;;) {
      errno = 0;
      udev_device* const device = udev_monitor_receive_device(m_monitor);
      if (device == nullptr) {
        // The socket overflowed and events are lost: a scan tells what they were.
        if (errno == ENOBUFS) {
          m_policy.Rescan(Clock::now());
        }
        return;
      }
      Note(device);
      udev_device_unref(device);
    }
  }

  void Note(udev_device* device) {
    const char* const action = udev_device_get_action(device);
    const char* const devtype = udev_device_get_devtype(device);
    const bool is_usb_device = std::string_view(udev_device_get_subsystem(device)) == "usb" &&
                               devtype != nullptr && std::string_view(devtype) == "usb_device";
    // Borrowed from `device`: freed with it.
    udev_device* const usb =
        is_usb_device ? device
                      : udev_device_get_parent_with_subsystem_devtype(device, "usb", "usb_device");
    if (usb == nullptr || action == nullptr) {
      return;
    }
    const std::string name = udev_device_get_sysname(usb);
    const Clock::time_point now = Clock::now();
    if (std::string_view(action) == "remove") {
      if (is_usb_device) {
        m_policy.Removed(name, now);
      }
      return;
    }
    if (is_usb_device && std::string_view(action) == "add") {
      m_policy.Added(name, now);
      return;
    }
    m_policy.Changed(name, now);
  }

  void TakeMountChanges() {
    const char* file = nullptr;
    while (mnt_monitor_next_change(m_mounts, &file, nullptr) == 0) {
    }
    m_policy.MountsChanged(Clock::now());
  }

  bool UdevHasInitialised(const std::string& name) const {
    const std::unique_ptr<udev_device, decltype(&udev_device_unref)> usb(
        udev_device_new_from_subsystem_sysname(m_udev, "usb", name.c_str()), udev_device_unref);
    const std::unique_ptr<udev_enumerate, decltype(&udev_enumerate_unref)> blocks(
        udev_enumerate_new(m_udev), udev_enumerate_unref);
    if (!usb || !blocks || udev_enumerate_add_match_parent(blocks.get(), usb.get()) < 0 ||
        udev_enumerate_add_match_subsystem(blocks.get(), "block") < 0 ||
        udev_enumerate_scan_devices(blocks.get()) < 0) {
      return true;
    }
    for (udev_list_entry* entry = udev_enumerate_get_list_entry(blocks.get()); entry != nullptr;
         entry = udev_list_entry_get_next(entry)) {
      const std::unique_ptr<udev_device, decltype(&udev_device_unref)> block(
          udev_device_new_from_syspath(m_udev, udev_list_entry_get_name(entry)), udev_device_unref);
      if (block && udev_device_get_is_initialized(block.get()) == 0) {
        return false;
      }
    }
    return true;
  }

  DriveSource& m_drives;
  std::string m_source;
  ArrivalPolicy m_policy;
  udev* m_udev = nullptr;
  udev_monitor* m_monitor = nullptr;
  libmnt_monitor* m_mounts = nullptr;
  int m_signals = -1;
  int m_signal_writer = -1;
  struct sigaction m_old_interrupt {};
  struct sigaction m_old_terminate {};
  bool m_handlers_set = false;
  bool m_ready = false;
  std::vector<UsbDevice> m_present;
  int m_output = -1;
  std::list<Read> m_reads;
  std::list<UsbDevice> m_removed_since;
};

}  // namespace

int ReceivedInterrupt() { return g_signal; }

void EndAsInterrupted(int signal) {
  ::signal(signal, SIG_DFL);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, signal);
  ::sigprocmask(SIG_UNBLOCK, &set, nullptr);
  ::raise(signal);
  // Only where the signal could not end us.
  ::_exit(128 + signal);
}

std::unique_ptr<DeviceArrivals> OpenDeviceArrivals(DriveSource& drives, ScanDepth depth,
                                                   std::string& error) {
  auto arrivals = std::make_unique<LinuxDeviceArrivals>(drives, depth, error);
  if (!arrivals->ready()) {
    return nullptr;
  }
  arrivals->Start();
  return arrivals;
}

}  // namespace vellmor::drives
