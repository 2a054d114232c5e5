#pragma once

// A sysfs tree, device nodes and a mount table in a temporary folder, for the drive
// tests of the command line and of the drive source.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <system_error>

#include "usb_stick_fixtures.h"

namespace vellmor::fixtures {

namespace fs = std::filesystem;

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
    Write(dir / "descriptors", fixtures::StickDescriptors(vendor, product, serial.has_value()));
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

}  // namespace vellmor::fixtures
