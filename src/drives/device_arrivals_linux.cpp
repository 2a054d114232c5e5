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
#include <map>
#include <memory>
#include <set>
#include <string_view>
#include <utility>

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

struct Pending {
  Clock::time_point first;
  // When to look at the device next, events aside.
  Clock::time_point due;
  // When it first looked complete; the mount wait counts from here.
  std::optional<Clock::time_point> settled;
};

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

class LinuxDeviceArrivals : public DeviceArrivals {
 public:
  // Without a udev daemon (containers, rescue shells) its events never come; the
  // kernel's own do, and libudev's monitor takes those too.
  LinuxDeviceArrivals(DriveSource& drives, ScanDepth depth, std::string& error)
      : m_drives(drives),
        m_depth(depth),
        m_source(::access("/run/udev/control", F_OK) == 0 ? "udev" : "kernel") {
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
    m_ready = true;
  }

  // Apart from the constructor, so that the destructor undoes everything if it throws.
  // Listening has started: a stick plugged in during the scan also comes as an event.
  void Start() {
    m_present = m_drives.ScanUsbDevices(m_depth).value_or(std::vector<UsbDevice>());
    for (const UsbDevice& device : m_present) {
      m_seen.insert(device.location);
    }
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
      const Clock::time_point now = Clock::now();
      if (m_overflowed) {
        Rescan(now);
      }
      if (NextCheck() <= now) {
        result.devices = Check(now);
        if (!result.devices.empty()) {
          result.outcome = Outcome::kArrived;
          return result;
        }
      }
      if (deadline && *deadline <= now) {
        return result;
      }
      // The output's own events (a reader gone shows as POLLERR) need no request.
      std::array<pollfd, 4> fds = {
          pollfd{udev_monitor_get_fd(m_monitor), POLLIN, 0}, pollfd{m_signals, POLLIN, 0},
          pollfd{m_mounts != nullptr ? mnt_monitor_get_fd(m_mounts) : -1, POLLIN, 0},
          pollfd{m_output, 0, 0}};
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
  // Milliseconds until the next thing to do; -1 sleeps until an event.
  int PollTimeout(Clock::time_point now, const std::optional<Clock::time_point>& deadline) const {
    std::optional<Clock::time_point> wake = deadline;
    if (const Clock::time_point check = NextCheck(); check != Clock::time_point::max()) {
      wake = wake ? std::min(*wake, check) : check;
    }
    if (!wake) {
      return -1;
    }
    // Rounded up, so we never wake a moment early and spin.
    const auto wait = std::chrono::ceil<milliseconds>(*wake - now).count();
    return static_cast<int>(std::clamp<long long>(wait, 0, 24LL * 60 * 60 * 1000));
  }

  Clock::time_point NextCheck() const {
    Clock::time_point next = Clock::time_point::max();
    for (const auto& [name, pending] : m_pending) {
      next = std::min(next, pending.due);
    }
    return next;
  }

  void TakeEvents() {
    for (;;) {
      errno = 0;
      udev_device* const device = udev_monitor_receive_device(m_monitor);
      if (device == nullptr) {
        // The socket overflowed and events are lost: a scan tells what they were.
        m_overflowed = m_overflowed || errno == ENOBUFS;
        return;
      }
      Note(device);
      udev_device_unref(device);
    }
  }

  // Every device listed that is neither known nor waited for is new.
  void Rescan(Clock::time_point now) {
    m_overflowed = false;
    const auto devices = m_drives.ScanUsbDevices(m_depth);
    if (!devices) {
      return;
    }
    for (const UsbDevice& device : *devices) {
      if (!m_seen.contains(device.location)) {
        m_pending.try_emplace(device.location, Pending{now, now, std::nullopt});
      }
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
        m_seen.erase(name);
        m_pending.erase(name);
      }
      return;
    }
    // A device's own "add" is always a new arrival: its "remove" may have been lost.
    if (is_usb_device && std::string_view(action) == "add") {
      m_seen.erase(name);
      m_pending.insert_or_assign(name, Pending{now, now + kQuiet, std::nullopt});
      return;
    }
    if (m_seen.contains(name)) {
      return;
    }
    auto [entry, added] = m_pending.try_emplace(name, Pending{now, now, std::nullopt});
    // A new disk or partition: look again once it is quiet.
    entry->second.due = now + kQuiet;
  }

  void TakeMountChanges() {
    const char* file = nullptr;
    while (mnt_monitor_next_change(m_mounts, &file, nullptr) == 0) {
    }
    const Clock::time_point now = Clock::now();
    for (auto& [name, pending] : m_pending) {
      pending.due = std::min(pending.due, now);
    }
  }

  std::vector<UsbDevice> Check(Clock::time_point now) {
    std::vector<UsbDevice> arrived;
    const auto devices = m_drives.ScanUsbDevices(m_depth);
    for (auto entry = m_pending.begin(); entry != m_pending.end();) {
      const std::string& name = entry->first;
      Pending& pending = entry->second;
      const auto found =
          devices ? std::find_if(devices->begin(), devices->end(),
                                 [&](const UsbDevice& device) { return device.location == name; })
                  : std::vector<UsbDevice>::const_iterator();
      const bool listed = devices && found != devices->end();
      const Clock::time_point disk_deadline = pending.first + kDiskWait;
      if (pending.due > now) {
        ++entry;
        continue;
      }
      if (listed && !found->mass_storage) {
        m_seen.insert(name);
        entry = m_pending.erase(entry);
        continue;
      }
      // Not listed yet (its descriptors still coming), or no disk yet: wait for events.
      if ((!listed || found->disks.empty()) && now < disk_deadline) {
        pending.due = disk_deadline;
        ++entry;
        continue;
      }
      if (!listed) {
        entry = m_pending.erase(entry);
        continue;
      }
      // udev names a partition's label some time after the disk: until it has, the
      // volume looks empty and unmounted.
      if (m_source == "udev" && !UdevHasInitialised(name) && now < disk_deadline) {
        pending.due = disk_deadline;
        ++entry;
        continue;
      }
      if (!pending.settled) {
        pending.settled = now;
      }
      if (m_mounts != nullptr && HasUnmountedFileSystem(*found) &&
          now < *pending.settled + kMountWait) {
        pending.due = *pending.settled + kMountWait;
        ++entry;
        continue;
      }
      arrived.push_back(*found);
      entry = m_pending.erase(entry);
    }
    // What is gone is forgotten, even when its "remove" was lost.
    if (devices) {
      m_seen.clear();
      for (const UsbDevice& device : *devices) {
        if (!m_pending.contains(device.location)) {
          m_seen.insert(device.location);
        }
      }
    }
    return arrived;
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
  ScanDepth m_depth;
  std::string m_source;
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
  std::set<std::string> m_seen;
  int m_output = -1;
  bool m_overflowed = false;
  std::map<std::string, Pending> m_pending;
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
