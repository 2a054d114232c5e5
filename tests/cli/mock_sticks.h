#pragma once

// Sticks for umockdev's mock /sys and vellmor-cli run beside them, for the tests and the
// benchmark of --wait and watch. Runs only under umockdev-wrapper.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <umockdev.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "usb_stick_fixtures.h"

namespace vellmor::mock {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// A stick of one vendor; the product id tells the sticks apart.
inline std::string StickDescriptors(std::uint16_t product, bool names_serial) {
  return fixtures::StickDescriptors(0x0781, product, names_serial);
}

// vellmor-cli with its output in pipes.
class Cli {
 public:
  // With `program`, args[0] is the program to run instead, in a process group of its own
  // as a shell's foreground job has.
  // With `closed_output`, it starts with standard output closed (`>&-`).
  // With `ignored_interrupt`, SIGINT is ignored when it starts, as for `watch &` in a script.
  explicit Cli(const std::vector<std::string>& args, bool program = false,
               bool closed_output = false, bool ignored_interrupt = false) {
    int out[2];
    int err[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) {
      std::abort();
    }
    m_pid = ::fork();
    if (m_pid == 0) {
      ::dup2(out[1], 1);
      ::dup2(err[1], 2);
      if (closed_output) {
        ::close(1);
      }
      if (ignored_interrupt) {
        ::signal(SIGINT, SIG_IGN);
      }
      std::vector<char*> argv;
      if (program) {
        ::setpgid(0, 0);
      } else {
        argv.push_back(const_cast<char*>(VELLMOR_CLI));
      }
      for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
      }
      argv.push_back(nullptr);
      ::execv(argv.front(), argv.data());
      ::_exit(127);
    }
    ::close(out[1]);
    ::close(err[1]);
    m_out = out[0];
    m_err = err[0];
  }
  ~Cli() {
    if (m_pid > 0) {
      ::kill(m_pid, SIGKILL);
      ::waitpid(m_pid, nullptr, 0);
    }
    if (m_out >= 0) {
      ::close(m_out);
    }
    ::close(m_err);
  }
  Cli(const Cli&) = delete;
  Cli& operator=(const Cli&) = delete;

  // Reads standard output until it holds `lines` lines or the time is up.
  std::string Lines(std::size_t lines, milliseconds limit = milliseconds(5000)) {
    Read(m_out, m_stdout, lines, limit);
    return m_stdout;
  }
  std::string ErrorLines(std::size_t lines, milliseconds limit = milliseconds(5000)) {
    Read(m_err, m_stderr, lines, limit);
    return m_stderr;
  }

  void Signal(int signal) const { ::kill(m_pid, signal); }

  // Times the program has blocked so far.
  long Blocked() const {
    std::ifstream status("/proc/" + std::to_string(m_pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
      if (line.starts_with("voluntary_ctxt_switches:")) {
        return std::stol(line.substr(24));
      }
    }
    return -1;
  }

  // Waits until the program has taken every device event sent before `blocked` was read
  // (they woke it, so it has blocked twice since) and sleeps in poll with nothing due within
  // a second: umockdev drops events that find a full queue, so the next stick waits for this.
  bool Idle(long blocked, milliseconds limit = milliseconds(10000)) const {
    const auto deadline = Clock::now() + limit;
    while (Clock::now() < deadline) {
      std::ifstream call("/proc/" + std::to_string(m_pid) + "/syscall");
      long number = -1;
      std::string fds;
      std::string count;
      std::string timeout;
      call >> number >> fds >> count >> timeout;
      const long long wait =
          timeout.empty() ? 0 : static_cast<long long>(std::stoull(timeout, nullptr, 16));
      if (number == SYS_poll && (wait < 0 || wait >= 1000) && Blocked() >= blocked + 2) {
        return true;
      }
      ::usleep(1000);
    }
    return false;
  }

  // Waits until the program has taken over SIGINT, which it does once it listens for
  // device events: a stick plugged in from then on is an arrival.
  bool Listening(milliseconds limit = milliseconds(10000)) const {
    return CatchesInterrupt(m_pid, limit);
  }

  static bool CatchesInterrupt(pid_t pid, milliseconds limit, int signal = SIGINT) {
    const auto deadline = Clock::now() + limit;
    for (bool first = true; first || Clock::now() < deadline; first = false) {
      std::ifstream status("/proc/" + std::to_string(pid) + "/status");
      std::string line;
      while (std::getline(status, line)) {
        if (line.starts_with("SigCgt:") &&
            (std::stoull(line.substr(7), nullptr, 16) & (1ULL << (signal - 1))) != 0) {
          return true;
        }
      }
      ::usleep(2 * 1000);
    }
    return false;
  }
  pid_t pid() const { return m_pid; }

  // The reader of its standard output goes away.
  void CloseOutput() {
    ::close(m_out);
    m_out = -1;
  }

  // The exit status if it ends within `limit`.
  std::optional<int> StatusWithin(milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    int status = 0;
    while (::waitpid(m_pid, &status, WNOHANG) == 0) {
      if (Clock::now() > deadline) {
        return std::nullopt;
      }
      ::usleep(10 * 1000);
    }
    m_pid = -1;
    Lines(SIZE_MAX, milliseconds(0));
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

  int Status() {
    int status = 0;
    ::waitpid(m_pid, &status, 0);
    m_pid = -1;
    Lines(SIZE_MAX, milliseconds(0));
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

 private:
  static void Read(int fd, std::string& text, std::size_t lines, milliseconds limit) {
    if (fd < 0) {
      return;
    }
    const auto deadline = Clock::now() + limit;
    while (static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) < lines) {
      pollfd entry{fd, POLLIN, 0};
      const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now());
      if (::poll(&entry, 1, static_cast<int>(std::max<long long>(left.count(), 0))) <= 0) {
        return;
      }
      char chunk[4096];
      const ssize_t count = ::read(fd, chunk, sizeof chunk);
      if (count <= 0) {
        return;
      }
      text.append(chunk, static_cast<std::size_t>(count));
    }
  }

  pid_t m_pid = -1;
  int m_out = -1;
  int m_err = -1;
  std::string m_stdout;
  std::string m_stderr;
};

// A mock /sys with a root hub, where sticks are plugged in and pulled out with the
// events the kernel sends.
class MockSticks {
 public:
  MockSticks() : m_bed(umockdev_testbed_new()) {
    m_hub = Add("usb", "usb1", nullptr, {}, {"DEVTYPE", "usb_device"});
  }
  ~MockSticks() { g_object_unref(m_bed); }
  MockSticks(const MockSticks&) = delete;
  MockSticks& operator=(const MockSticks&) = delete;

  // True when the program runs under umockdev-wrapper, which the mock needs.
  static bool Usable() {
    const char* const preload = std::getenv("LD_PRELOAD");
    return preload != nullptr && std::string(preload).find("umockdev") != std::string::npos;
  }

  // A stick on port `port` as the kernel announces it: the device, its interface, the
  // SCSI host, target and logical unit, the disk and one partition, each announced as it is
  // added (umockdev sends an "add" for each). As with the kernel, the partition is in /sys
  // before the disk's event goes out; Announce sends them again.
  std::string Plug(int port, const char* serial,
                   const std::vector<const char*>& partition_properties = {}) {
    const std::string name = "1-" + std::to_string(port);
    std::vector<const char*> attributes = {"product", "Flash Disk"};
    if (serial != nullptr) {
      attributes.insert(attributes.end(), {"serial", serial});
    }
    const std::string usb = Add("usb", name, m_hub.c_str(), attributes, {"DEVTYPE", "usb_device"});
    std::string descriptors = StickDescriptors(0x5567, serial != nullptr);
    umockdev_testbed_set_attribute_binary(m_bed, usb.c_str(), "descriptors",
                                          reinterpret_cast<guint8*>(descriptors.data()),
                                          static_cast<gint>(descriptors.size()));
    const std::string host = std::to_string(port + 5);
    const std::string interface =
        Add("usb", name + ":1.0", usb.c_str(), {}, {"DEVTYPE", "usb_interface"});
    const std::string scsi_host = Add("scsi", "host" + host, interface.c_str(), {}, {});
    const std::string target = Add("scsi", "target" + host + ":0:0", scsi_host.c_str(), {}, {});
    const std::string unit =
        Add("scsi", host + ":0:0:0", target.c_str(), {"model", "Flash Disk"}, {});
    // sdaa, sdab, ...: real names for the 27th disk on, and none of this machine's.
    const std::string disk_name =
        std::string("sd") + static_cast<char>('a' + port / 26) + static_cast<char>('a' + port % 26);
    const std::string minor = std::to_string(port * 16);
    {
      gchar* const root = umockdev_testbed_get_root_dir(m_bed);
      const std::string early =
          std::string(root) + unit + "/block/" + disk_name + "/" + disk_name + "1/";
      g_free(root);
      g_mkdir_with_parents(early.c_str(), 0755);
      g_file_set_contents((early + "size").c_str(), "30029824\n", -1, nullptr);
      g_file_set_contents((early + "partition").c_str(), "1\n", -1, nullptr);
    }
    const std::string disk =
        Add("block", disk_name, (unit + "/block").c_str(),
            {"size", "30031872", "dev", ("65:" + minor).c_str()}, {"DEVTYPE", "disk"});
    const std::string partition = Add("block", disk_name + "1", disk.c_str(),
                                      {"size", "30029824", "partition", "1", "dev",
                                       ("65:" + std::to_string(port * 16 + 1)).c_str()},
                                      Joined({"DEVTYPE", "partition"}, partition_properties));
    m_parts[usb] = {usb, interface, disk, partition};
    return usb;
  }

  // The events of a stick plugged in where it was.
  void Announce(const std::string& usb) {
    for (const std::string& path : m_parts[usb]) {
      umockdev_testbed_uevent(m_bed, path.c_str(), "add");
    }
  }

  // Out and in again on the same port; the "remove" may be lost on the way.
  void Replug(const std::string& usb, bool lose_remove) {
    if (!lose_remove) {
      umockdev_testbed_uevent(m_bed, usb.c_str(), "remove");
    }
    Announce(usb);
  }

  void Unplug(const std::string& usb) {
    umockdev_testbed_uevent(m_bed, usb.c_str(), "remove");
    umockdev_testbed_remove_device(m_bed, usb.c_str());
  }

 private:
  static std::vector<const char*> Joined(std::vector<const char*> a,
                                         const std::vector<const char*>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  }

  std::string Add(const char* subsystem, const std::string& name, const char* parent,
                  const std::vector<const char*>& attributes,
                  const std::vector<const char*>& properties) {
    if (parent != nullptr && std::string(parent).ends_with("/block")) {
      // The kernel puts a disk in a "block" folder below its SCSI unit.
      gchar* const root = umockdev_testbed_get_root_dir(m_bed);
      ::mkdir((std::string(root) + parent).c_str(), 0755);
      g_free(root);
    }
    std::vector<const char*> pairs = attributes;
    pairs.push_back(nullptr);
    pairs.insert(pairs.end(), properties.begin(), properties.end());
    pairs.push_back(nullptr);
    gchar* path = umockdev_testbed_add_devicev(
        m_bed, subsystem, name.c_str(), parent, const_cast<gchar**>(pairs.data()),
        const_cast<gchar**>(pairs.data()) + attributes.size() + 1);
    if (path == nullptr) {
      std::abort();
    }
    std::string result = path != nullptr ? path : "";
    g_free(path);
    return result;
  }

  UMockdevTestbed* m_bed = nullptr;
  std::string m_hub;
  std::map<std::string, std::vector<std::string>> m_parts;
};

}  // namespace vellmor::mock
