#pragma once

// A sysfs look-alike for the tests that read the kernel's USB device list.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace vellmor::fixtures {

namespace fs = std::filesystem;

// The kernel's `descriptors` attribute: the device descriptor, then one configuration
// with an interface descriptor for each class. A serial index of 0 names no serial.
inline std::string Descriptors(std::uint16_t vendor, std::uint16_t product,
                               std::uint16_t usb_version,
                               const std::vector<std::uint8_t>& interface_classes,
                               std::uint8_t serial_index = 3) {
  const auto word = [](std::uint16_t value) {
    return std::string{static_cast<char>(value & 0xFFU), static_cast<char>(value >> 8U)};
  };
  std::string bytes = "\x12\x01" + word(usb_version) + std::string("\0\0\0\x40", 4) + word(vendor) +
                      word(product) + word(0x0100) + "\x01\x02" + static_cast<char>(serial_index) +
                      "\x01";
  const auto total = static_cast<std::uint16_t>(9 + 9 * interface_classes.size());
  bytes += "\x09\x02" + word(total) + static_cast<char>(interface_classes.size()) +
           std::string("\x01\0\x80\x32", 4);
  for (std::size_t i = 0; i < interface_classes.size(); ++i) {
    bytes += std::string("\x09\x04", 2) + static_cast<char>(i) + std::string("\0\x01", 2) +
             static_cast<char>(interface_classes[i]) + std::string(3, '\0');
  }
  return bytes;
}

// A sysfs look-alike in a temporary folder: device directories nested below their
// hubs under devices/, and bus/usb/devices holding relative links to them, as the
// kernel lays it out.
class SysfsTree {
 public:
  SysfsTree() {
    std::random_device random;
    m_root = fs::temp_directory_path() / ("vellmor_sysfs_" + std::to_string(random()));
    fs::create_directories(Listing());
  }
  ~SysfsTree() {
    std::error_code ignored;
    fs::remove_all(m_root, ignored);
  }
  SysfsTree(const SysfsTree&) = delete;
  SysfsTree& operator=(const SysfsTree&) = delete;

  const fs::path& root() const { return m_root; }
  fs::path Listing() const { return m_root / "bus" / "usb" / "devices"; }

  // The root hub usbN of the given USB version, with its hub interface N-0:1.0.
  fs::path AddRootHub(int bus, std::uint16_t usb_version) {
    fs::path dir = DeviceDir("usb" + std::to_string(bus));
    Link("usb" + std::to_string(bus), dir);
    Write(dir / "descriptors", Descriptors(0x1d6b, 0x0002, usb_version, {0x09}));
    Write(dir / "serial", "0000:00:14.0\n");
    AddInterface(dir, std::to_string(bus) + "-0:1.0");
    return dir;
  }

  // A device "B-P.P…" with one interface per class given; by default a printer's, which
  // Windows lists among the USB devices but which holds no storage.
  fs::path AddDevice(const std::string& name, std::uint16_t vendor, std::uint16_t product,
                     const std::optional<std::string>& serial,
                     const std::vector<std::uint8_t>& interface_classes = {0x07}) {
    fs::path dir = DeviceDir(name);
    Link(name, dir);
    Write(dir / "descriptors",
          Descriptors(vendor, product, 0x0200, interface_classes, serial ? 3 : 0));
    if (serial) {
      Write(dir / "serial", *serial + "\n");
    }
    for (std::size_t i = 0; i < interface_classes.size(); ++i) {
      AddInterface(dir, name + ":1." + std::to_string(i));
    }
    return dir;
  }

  // A device with the given `descriptors` bytes as a real one reports them.
  fs::path AddRawDevice(const std::string& name, const std::string& descriptors,
                        const std::optional<std::string>& serial) {
    fs::path dir = DeviceDir(name);
    Link(name, dir);
    Write(dir / "descriptors", descriptors);
    if (serial) {
      Write(dir / "serial", *serial + "\n");
    }
    return dir;
  }

  void Link(const std::string& name, const fs::path& target) {
    fs::create_directory_symlink(fs::relative(target, Listing()), Listing() / name);
  }

  static void Write(const fs::path& file, const std::string& content) {
    std::ofstream(file, std::ios::binary) << content;
  }

 private:
  // usb1/1-2/1-2.3 for "1-2.3": each device sits inside the hub it hangs on.
  fs::path DeviceDir(const std::string& name) {
    fs::path dir = m_root / "devices" / "pci0000:00" / "0000:00:14.0";
    const auto dash = name.find('-');
    if (dash == std::string::npos) {
      dir /= name;
    } else {
      dir /= "usb" + name.substr(0, dash);
      for (auto dot = name.find('.', dash); dot != std::string::npos;
           dot = name.find('.', dot + 1)) {
        dir /= name.substr(0, dot);
      }
      dir /= name;
    }
    fs::create_directories(dir);
    return dir;
  }

  // The interface directory and its link, as the kernel lists them; nothing reads them.
  void AddInterface(const fs::path& device_dir, const std::string& name) {
    const fs::path dir = device_dir / name;
    fs::create_directories(dir);
    Link(name, dir);
  }

  fs::path m_root;
};

}  // namespace vellmor::fixtures
