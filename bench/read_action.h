#pragma once

// A machine's USB device list in a folder and a window that keeps what it is shown, for
// the benchmarks of the read action.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <system_error>

#include "serial/read_serial_command.h"

namespace vellmor::bench {

namespace fs = std::filesystem;

inline void Write(const fs::path& file, const std::string& content) {
  std::ofstream(file, std::ios::binary) << content;
}

// The kernel's `descriptors` attribute: the device descriptor, then a configuration with
// one interface of the given class and its two endpoints.
inline std::string Descriptors(std::uint16_t usb_version, bool names_serial,
                               std::uint8_t interface_class) {
  std::string bytes(
      "\x12\x01\x00\x02\x00\x00\x00\x40\x51\x09\x66\x16\x00\x01\x01\x02\x03\x01"
      "\x09\x02\x20\x00\x01\x01\x00\x80\x32"
      "\x09\x04\x00\x00\x02\x08\x06\x50\x00"
      "\x07\x05\x81\x02\x00\x02\x00"
      "\x07\x05\x02\x02\x00\x02\x00",
      50);
  bytes[2] = static_cast<char>(usb_version & 0xFFU);
  bytes[3] = static_cast<char>(usb_version >> 8U);
  bytes[16] = names_serial ? '\x03' : '\0';
  bytes[32] = static_cast<char>(interface_class);
  return bytes;
}

// A busy machine in a temporary folder: two root hubs, eight external hubs and
// 56 devices behind them (64 devices), every seventh a flash drive, laid out and
// linked as the kernel does.
class GeneratedTree {
 public:
  // The tree at `root` (its sysfs folder), or in a new temporary folder.
  explicit GeneratedTree(std::optional<fs::path> root = std::nullopt) {
    std::random_device random;
    m_root =
        root.value_or(fs::temp_directory_path() / ("vellmor_bench_" + std::to_string(random())));
    fs::create_directories(Listing());
    int count = 0;
    for (int bus = 1; bus <= 2; ++bus) {
      const fs::path hub_dir = Pci() / ("usb" + std::to_string(bus));
      AddDevice("usb" + std::to_string(bus), hub_dir, bus == 1 ? 0x0200 : 0x0300, std::nullopt,
                0x09);
      for (int port = 1; port <= 4; ++port) {
        const std::string hub = std::to_string(bus) + "-" + std::to_string(port);
        AddDevice(hub, hub_dir / hub, 0x0200, std::nullopt, 0x09);
        for (int child = 1; child <= 7; ++child, ++count) {
          const std::string name = hub + "." + std::to_string(child);
          const bool drive = count % 7 == 3;
          const std::optional<std::string> serial =
              drive || count % 2 == 0 ? std::optional("a0b1c2d3e4f5" + std::to_string(count))
                                      : std::nullopt;
          AddDevice(name, hub_dir / hub / name, 0x0200, serial, drive ? 0x08 : 0x03);
        }
      }
    }
  }
  ~GeneratedTree() {
    std::error_code ignored;
    fs::remove_all(m_root, ignored);
  }
  GeneratedTree(const GeneratedTree&) = delete;
  GeneratedTree& operator=(const GeneratedTree&) = delete;

  const fs::path& root() const { return m_root; }

 private:
  fs::path Listing() const { return m_root / "bus" / "usb" / "devices"; }
  fs::path Pci() const { return m_root / "devices" / "pci0000:00" / "0000:00:14.0"; }

  void AddDevice(const std::string& name, const fs::path& dir, std::uint16_t usb_version,
                 const std::optional<std::string>& serial, std::uint8_t interface_class) {
    fs::create_directories(dir);
    fs::create_directory_symlink(fs::relative(dir, Listing()), Listing() / name);
    Write(dir / "descriptors", Descriptors(usb_version, serial.has_value(), interface_class));
    if (serial) {
      Write(dir / "serial", *serial + "\n");
    }
    const std::string interface_name =
        (name.starts_with("usb") ? name.substr(3) + "-0" : name) + ":1.0";
    fs::create_directories(dir / interface_name);
    fs::create_directory_symlink(fs::relative(dir / interface_name, Listing()),
                                 Listing() / interface_name);
  }

  fs::path m_root;
};

class DiscardingView : public vellmor::serial::ReadSerialView {
 public:
  void SetText1(const std::u16string& text) override { m_text1 = text; }
  std::u16string Text1() const override { return m_text1; }
  void ShowWarning(std::u16string_view /*text*/, std::u16string_view /*title*/) override {}
  void SetText2(const std::u16string& text) override { m_text2 = text; }
  const std::u16string& text2() const { return m_text2; }

 private:
  std::u16string m_text1;
  std::u16string m_text2;
};

}  // namespace vellmor::bench
