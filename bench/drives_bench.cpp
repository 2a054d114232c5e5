#include <sys/inotify.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include <benchmark/benchmark.h>

#include "cli/cli.h"
#include "drives/serial_notes.h"
#include "drives/sysfs_drives.h"
#include "serial/cc.h"
#include "serial/read_serial_command.h"
#include "serial/sysfs_usb_hub_source.h"
#include "usb_stick_fixtures.h"

namespace {

namespace fs = std::filesystem;

void Write(const fs::path& file, const std::string& content) {
  fs::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << content;
}

using vellmor::fixtures::FatVolume;

// A busy machine: two root hubs, eight hubs and 56 devices behind them (64 devices),
// eight of them sticks, each with its SCSI unit, disk and a mounted FAT partition.
class Machine {
 public:
  Machine() {
    std::random_device random;
    m_root = fs::temp_directory_path() / ("vellmor_drives_bench_" + std::to_string(random()));
    fs::create_directories(Listing());
    int count = 0;
    int sticks = 0;
    for (int bus = 1; bus <= 2; ++bus) {
      const fs::path bus_dir =
          m_root / "sys/devices/pci0000:00/0000:00:14.0" / ("usb" + std::to_string(bus));
      AddDevice("usb" + std::to_string(bus), bus_dir, false, 0x09);
      for (int port = 1; port <= 4; ++port) {
        const std::string hub = std::to_string(bus) + "-" + std::to_string(port);
        AddDevice(hub, bus_dir / hub, false, 0x09);
        for (int child = 1; child <= 7; ++child, ++count) {
          const std::string name = hub + "." + std::to_string(child);
          const bool stick = count % 7 == 3;
          const fs::path dir = bus_dir / hub / name;
          AddDevice(name, dir, stick || count % 2 == 0, stick ? 0x08 : 0x03);
          if (stick) {
            AddStorage(name, dir, sticks++);
          }
        }
      }
    }
  }
  ~Machine() {
    std::error_code ignored;
    fs::remove_all(m_root, ignored);
  }
  Machine(const Machine&) = delete;
  Machine& operator=(const Machine&) = delete;

  fs::path Sys() const { return m_root / "sys"; }
  fs::path Dev() const { return m_root / "dev"; }
  fs::path MountTable() const { return m_root / "mountinfo"; }

  std::vector<std::string> Arguments() const {
    return {"drives",        "--json",
            "--sysfs-root",  (m_root / "sys").string(),
            "--dev-root",    (m_root / "dev").string(),
            "--mount-table", (m_root / "mountinfo").string()};
  }

 private:
  fs::path Listing() const { return m_root / "sys/bus/usb/devices"; }

  void AddDevice(const std::string& name, const fs::path& dir, bool serial,
                 std::uint8_t interface_class) {
    fs::create_directories(dir);
    fs::create_directory_symlink(fs::relative(dir, Listing()), Listing() / name);
    Write(dir / "descriptors",
          vellmor::fixtures::StickDescriptors(0x0951, 0x1666, serial, interface_class));
    if (serial) {
      Write(dir / "serial", "a0b1c2d3e4f5" + name + "\n");
    }
  }

  void AddStorage(const std::string& name, const fs::path& dir, int index) {
    const std::string host = std::to_string(index + 6);
    const fs::path unit =
        dir / (name + ":1.0") / ("host" + host) / ("target" + host + ":0:0") / (host + ":0:0:0");
    Write(unit / "model", "Flash Disk      \n");
    const std::string disk = std::string("sd") + static_cast<char>('b' + index);
    const int minor = (index + 1) * 16;
    Write(unit / "block" / disk / "dev", "8:" + std::to_string(minor) + "\n");
    Write(unit / "block" / disk / "size", "30031872\n");
    const fs::path partition = unit / "block" / disk / (disk + "1");
    Write(partition / "partition", "1\n");
    Write(partition / "dev", "8:" + std::to_string(minor + 1) + "\n");
    Write(partition / "size", "30029824\n");
    Write(m_root / "dev" / (disk + "1"), FatVolume("STICK" + std::to_string(index)));
    std::ofstream(m_root / "mountinfo", std::ios::app)
        << 40 + index << " 1 8:" << minor + 1 << " / /media/user/STICK" << index
        << " rw,nosuid,nodev shared:9 - vfat /dev/" << disk << "1 rw\n";
  }

  fs::path m_root;
};

// `vellmor-cli drives --json`: the device list, the sticks' disks, the mount table and
// each volume's label, written as JSON.
void BM_DrivesCommand(benchmark::State& state) {
  static const Machine machine;
  const std::vector<std::string> args = machine.Arguments();
  std::size_t length = 0;
  for (auto _ : state) {
    std::istringstream in;
    std::ostringstream out;
    std::ostringstream err;
    if (vellmor::cli::RunCli(args, in, out, err) != vellmor::cli::kExitOk) {
      state.SkipWithError(err.str().c_str());
      break;
    }
    length = out.str().size();
    benchmark::DoNotOptimize(length);
  }
  std::istringstream in;
  std::ostringstream out;
  std::ostringstream err;
  vellmor::cli::RunCli(args, in, out, err);
  if (out.str().find(R"("label":"STICK7","fileSystem":"vfat",)") == std::string::npos ||
      out.str().find(R"("mountPoints":["/media/user/STICK7"])") == std::string::npos) {
    state.SkipWithError("the last stick's label or mount point is missing");
  }
  state.counters["json_bytes"] = static_cast<double>(length);
}
BENCHMARK(BM_DrivesCommand)->Unit(benchmark::kMicrosecond);

// Counts the opens of the volumes and of the mount table while it lives.
class OpenCounter {
 public:
  explicit OpenCounter(const std::vector<fs::path>& watched)
      : m_fd(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
    for (const fs::path& path : watched) {
      ::inotify_add_watch(m_fd, path.c_str(), IN_OPEN);
    }
  }
  ~OpenCounter() { ::close(m_fd); }
  OpenCounter(const OpenCounter&) = delete;
  OpenCounter& operator=(const OpenCounter&) = delete;

  std::size_t Count() {
    std::array<char, 4096> events{};
    for (ssize_t got = 0; (got = ::read(m_fd, events.data(), events.size())) > 0;) {
      for (ssize_t at = 0; at < got;) {
        const auto* event = reinterpret_cast<const inotify_event*>(events.data() + at);
        ++m_opens;
        at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      }
    }
    return m_opens;
  }

 private:
  int m_fd;
  std::size_t m_opens = 0;
};

class DiscardingView : public vellmor::serial::ReadSerialView {
 public:
  void SetText1(const std::u16string& text) override { m_text1 = text; }
  std::u16string Text1() const override { return m_text1; }
  void ShowWarning(std::u16string_view /*text*/, std::u16string_view /*title*/) override {}
  void SetText2(const std::u16string& /*text*/) override {}

 private:
  std::u16string m_text1;
};

// The plain read action with its notes, against a drive source that could open the
// volumes and the mount table (as the system's does): it must open neither.
void BM_PlainReadWithNotes(benchmark::State& state) {
  static const Machine machine;
  vellmor::serial::SysfsUsbHubSource source(machine.Sys());
  vellmor::drives::SysfsDrivePaths paths;
  paths.sysfs_root = machine.Sys();
  paths.dev_root = machine.Dev();
  paths.mount_table = machine.MountTable();
  paths.udev_properties = false;
  vellmor::drives::SysfsDriveSource drives(paths);
  OpenCounter opens({machine.Dev(), machine.MountTable()});
  DiscardingView view;
  std::size_t notes = 0;
  for (auto _ : state) {
    vellmor::serial::RunReadSerialCommand([&source] { return vellmor::serial::CC(source); }, view);
    notes = vellmor::drives::NotesForShownSerial(drives, view.Text1()).size();
    benchmark::DoNotOptimize(notes);
  }
  if (view.Text1().empty()) {
    state.SkipWithError("no serial read");
  }
  const std::size_t read_opens = opens.Count();
  state.counters["volume_opens"] = static_cast<double>(read_opens);
  // For comparison: one scan of `drives` opens every volume and the mount table.
  static_cast<void>(drives.ScanUsbDevices(vellmor::drives::ScanDepth::kVolumes));
  state.counters["opens_of_one_drives_scan"] = static_cast<double>(opens.Count() - read_opens);
}
BENCHMARK(BM_PlainReadWithNotes)->Unit(benchmark::kMicrosecond);

}  // namespace
