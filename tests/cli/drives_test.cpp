#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "usb_stick_fixtures.h"

namespace vellmor::cli {
namespace {

namespace fs = std::filesystem;

using fixtures::FatVolume;
using fixtures::StickDescriptors;

// A sysfs tree, device nodes and a mount table in a temporary folder, laid out as the
// kernel does: stick → interface → SCSI host → target → logical unit → disk → partitions.
class Machine {
 public:
  Machine() {
    std::random_device random;
    m_root = fs::temp_directory_path() / ("vellmor_drives_" + std::to_string(random()));
    fs::create_directories(Sys() / "bus/usb/devices");
    fs::create_directories(Dev());
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

  // A stick on port `port` of bus 1 whose logical unit 0 is the disk `disk`.
  fs::path AddStick(int port, std::uint16_t vendor, std::uint16_t product,
                    const std::optional<std::string>& serial,
                    const std::optional<std::string>& manufacturer, const std::string& disk,
                    int disk_minor) {
    const std::string name = "1-" + std::to_string(port);
    const fs::path dir = Sys() / "devices/pci0000:00/0000:00:14.0/usb1" / name;
    Write(dir / "descriptors", StickDescriptors(vendor, product, serial.has_value()));
    if (serial) {
      Write(dir / "serial", *serial + "\n");
    }
    if (manufacturer) {
      Write(dir / "manufacturer", *manufacturer + "\n");
    }
    fs::create_directory_symlink(fs::relative(dir, Sys() / "bus/usb/devices"),
                                 Sys() / "bus/usb/devices" / name);
    const std::string host = std::to_string(port + 5);
    const fs::path unit =
        dir / (name + ":1.0") / ("host" + host) / ("target" + host + ":0:0") / (host + ":0:0:0");
    Write(unit / "model", "Flash Disk      \n");
    const fs::path block = unit / "block" / disk;
    Write(block / "dev", "8:" + std::to_string(disk_minor) + "\n");
    Write(block / "size", "30031872\n");
    return block;
  }

  static void AddPartition(const fs::path& disk, int number, int minor, std::uint64_t sectors) {
    const fs::path dir = disk / (disk.filename().string() + std::to_string(number));
    Write(dir / "partition", std::to_string(number) + "\n");
    Write(dir / "dev", "8:" + std::to_string(minor) + "\n");
    Write(dir / "size", std::to_string(sectors) + "\n");
  }

  void Mount(int minor, const std::string& target, const std::string& source) {
    std::ofstream(MountTable(), std::ios::app)
        << m_mounts++ + 40 << " 1 8:" << minor << " / " << target
        << " rw,nosuid,nodev shared:9 - vfat " << source << " rw\n";
  }

  static void Write(const fs::path& file, const std::string& content) {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << content;
  }

 private:
  fs::path m_root;
  int m_mounts = 0;
};

std::string RunDrives(const std::vector<std::string>& args, int& code) {
  std::istringstream in;
  std::ostringstream out;
  std::ostringstream err;
  code = RunCli(args, in, out, err);
  return out.str() + err.str();
}

// Two sticks, the second without a serial and formatted without partitions.
TEST(DrivesTest, JsonNamesBothSticksMarksTheMadeUpSerialAndGivesMountsAndLabels) {
  Machine machine;
  Machine::Write(machine.Dev() / "sdb1", FatVolume("STICK"));
  Machine::Write(machine.Dev() / "sdc", FatVolume("NO SERIAL"));
  const fs::path sdb =
      machine.AddStick(2, 0x0781, 0x5567, "4c530001231120115142", "SanDisk", "sdb", 16);
  Machine::AddPartition(sdb, 1, 17, 30029824);
  machine.AddStick(3, 0x090c, 0x1000, std::nullopt, std::nullopt, "sdc", 32);
  // The kernel's mount table writes a space as \040.
  machine.Mount(17, "/media/user/MY\\040STICK", "/dev/sdb1");
  machine.Mount(32, "/mnt/b", "/dev/sdc");

  int code = -1;
  const std::string json =
      RunDrives({"drives", "--json", "--sysfs-root", machine.Sys().string(), "--dev-root",
                 machine.Dev().string(), "--mount-table", machine.MountTable().string()},
                code);
  EXPECT_EQ(code, kExitOk);
  // Digests by `printf SERIAL | md5sum`; the made-up instance is depth 5, the FNV-1a hash
  // of the hub's name "usb1", port 3.
  EXPECT_EQ(
      json,
      R"({"schemaVersion":1,"drives":[)"
      R"({"deviceId":"USB\\VID_0781&PID_5567\\4C530001231120115142","serial":"4C530001231120115142",)"
      R"("digest":"AE6E35C8E506AAF9F9C52D8CA2E4E68A","serialMadeUp":false,"vendorId":"0781",)"
      R"("productId":"5567","manufacturer":"SanDisk","product":null,"cardReader":false,)"
      R"("notes":[],"disks":[{"name":"sdb","sizeBytes":15376318464,"label":null,)"
      R"("fileSystem":null,"mountPoints":[],"model":"Flash Disk","partitions":[{"name":"sdb1",)"
      R"("sizeBytes":15375269888,"label":"STICK","fileSystem":"vfat",)"
      R"("mountPoints":["/media/user/MY STICK"]}]}]},)"
      R"({"deviceId":"USB\\VID_090C&PID_1000\\5&977676F0&0&3","serial":"5&977676F0&0&3",)"
      R"("digest":"CC6BEE93D3B510C90B5EA0621BA48C9E","serialMadeUp":true,"vendorId":"090C",)"
      R"("productId":"1000","manufacturer":null,"product":null,"cardReader":false,)"
      R"("notes":["madeUp"],"disks":[{"name":"sdc","sizeBytes":15376318464,"label":"NO SERIAL",)"
      R"("fileSystem":"vfat","mountPoints":["/mnt/b"],"model":"Flash Disk","partitions":[]}]}]})"
      "\n");

  // A pipe where the model should be neither stalls the scan nor stands for a model.
  const fs::path model =
      machine.Sys() / "bus/usb/devices/1-3/1-3:1.0/host8/target8:0:0/8:0:0:0/model";
  fs::remove(model);
  ASSERT_EQ(::mkfifo(model.c_str(), 0600), 0);
  const std::string again =
      RunDrives({"drives", "--json", "--sysfs-root", machine.Sys().string()}, code);
  EXPECT_EQ(code, kExitOk);
  EXPECT_NE(again.find(R"("name":"sdc","sizeBytes":15376318464,"label":null,"fileSystem":null,)"
                       R"("mountPoints":[],"model":null,"partitions":[])"),
            std::string::npos)
      << again;
}

}  // namespace
}  // namespace vellmor::cli
