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

namespace vellmor::cli {
namespace {

namespace fs = std::filesystem;

// A USB 2.0 stick's `descriptors`: one mass-storage interface; serial string 3 or none.
std::string StickDescriptors(std::uint16_t vendor, std::uint16_t product, bool names_serial) {
  std::string bytes(
      "\x12\x01\x00\x02\x00\x00\x00\x40\x00\x00\x00\x00\x00\x01\x01\x02\x03\x01"
      "\x09\x02\x12\x00\x01\x01\x00\x80\x32"
      "\x09\x04\x00\x00\x02\x08\x06\x50\x00",
      36);
  bytes[8] = static_cast<char>(vendor & 0xFFU);
  bytes[9] = static_cast<char>(vendor >> 8U);
  bytes[10] = static_cast<char>(product & 0xFFU);
  bytes[11] = static_cast<char>(product >> 8U);
  bytes[16] = names_serial ? '\x03' : '\0';
  return bytes;
}

// The start of a FAT volume with its label in the boot sector and in the root folder,
// where libblkid looks for it.
std::string FatVolume(const std::string& label) {
  std::string bytes(std::size_t{32} * 1024, '\0');
  const std::string boot(
      "\xEB\x3C\x90MSDOS5.0\x00\x02\x04\x01\x00\x02\x00\x02\x00\x20\xF8\x08\x00\x20\x00\x40\x00"
      "\x00\x00\x00\x00\x00\x00\x00\x00\x80\x00\x29\x12\x34\x56\x78",
      43);
  const std::string padded = (label + std::string(11, ' ')).substr(0, 11);
  bytes.replace(0, boot.size(), boot);
  bytes.replace(43, 11, padded);
  bytes.replace(54, 8, "FAT16   ");
  bytes.replace(510, 2, "\x55\xAA");
  bytes.replace(17 * 512, 11, padded);
  bytes[17 * 512 + 11] = '\x08';
  return bytes;
}

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
