#include "sysfs_usb_hub_source.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <tuple>
#include <unordered_set>
#include <utility>
#include <vector>

#if defined(_WIN32)
#include <fstream>
#else
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace vellmor::serial {

namespace fs = std::filesystem;

namespace {

// Kernel attributes are a line of text; anything larger is not one of them.
constexpr std::size_t kMaxAttributeBytes = std::size_t{64} * 1024;
// Keeps every number in a device name inside 32 bits.
constexpr std::size_t kMaxNumberDigits = 9;
constexpr std::uint8_t kMassStorageClass = 0x08;
// Windows numbers instance prefixes from the PCI root: root hubs sit at 4.
constexpr std::size_t kRootHubDepth = 4;
constexpr std::string_view kHexDigits = "0123456789ABCDEF";

struct Attribute {
  enum class Status { kText, kMissing, kUnreadable };

  Status status = Status::kMissing;
  std::string text;
};

// A directory whose attributes we read. Holding it open keeps one device's
// attributes together even if the device is swapped meanwhile, and spares the kernel
// walking the whole path again for every attribute.
class AttributeDir {
 public:
  static AttributeDir Open(const fs::path& path);
  AttributeDir Child(const std::string& name) const;
  // relative may name a file below a subdirectory ("1-1:1.0/bInterfaceClass").
  Attribute Read(const std::string& relative) const;

 private:
#if defined(_WIN32)
  std::optional<fs::path> m_path;
#else
  class Descriptor {
   public:
    Descriptor() = default;
    explicit Descriptor(int fd) : m_fd(fd) {}
    Descriptor(Descriptor&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    Descriptor& operator=(Descriptor&& other) noexcept {
      std::swap(m_fd, other.m_fd);
      return *this;
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
      if (m_fd >= 0) {
        ::close(m_fd);
      }
    }
    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }

   private:
    int m_fd = -1;
  };

  static Attribute ReadOpenFile(const Descriptor& file);
  Descriptor m_fd;
#endif
};

#if defined(_WIN32)

AttributeDir AttributeDir::Open(const fs::path& path) {
  AttributeDir dir;
  std::error_code error;
  if (fs::is_directory(path, error)) {
    dir.m_path = path;
  }
  return dir;
}

AttributeDir AttributeDir::Child(const std::string& name) const {
  return m_path ? Open(*m_path / name) : AttributeDir();
}

Attribute AttributeDir::Read(const std::string& relative) const {
  if (!m_path) {
    return {Attribute::Status::kUnreadable, {}};
  }
  const fs::path file = *m_path / relative;
  std::error_code error;
  const fs::file_status status = fs::status(file, error);
  if (status.type() == fs::file_type::not_found) {
    return {Attribute::Status::kMissing, {}};
  }
  // Only plain files: a pipe or device could stall the scan or never end.
  if (error || status.type() != fs::file_type::regular) {
    return {Attribute::Status::kUnreadable, {}};
  }

  std::ifstream in(file, std::ios::binary);
  if (!in) {
    return {Attribute::Status::kUnreadable, {}};
  }
  std::string text;
  std::array<char, 256> chunk{};
  while (in) {
    in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
    if (in.bad()) {
      return {Attribute::Status::kUnreadable, {}};
    }
    const auto count = static_cast<std::size_t>(in.gcount());
    if (text.size() + count > kMaxAttributeBytes) {
      return {Attribute::Status::kUnreadable, {}};
    }
    text.append(chunk.data(), count);
  }
  return {Attribute::Status::kText, std::move(text)};
}

#else

AttributeDir AttributeDir::Open(const fs::path& path) {
  AttributeDir dir;
  dir.m_fd = Descriptor(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  return dir;
}

AttributeDir AttributeDir::Child(const std::string& name) const {
  AttributeDir dir;
  if (m_fd.valid()) {
    dir.m_fd = Descriptor(::openat(m_fd.get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  }
  return dir;
}

Attribute AttributeDir::ReadOpenFile(const Descriptor& file) {
  std::string text;
  std::array<char, 4096> chunk{};
  for (;;) {
    const ssize_t count = ::read(file.get(), chunk.data(), chunk.size());
    if (count < 0 && errno == EINTR) {
      continue;
    }
    if (count < 0 || text.size() + static_cast<std::size_t>(count) > kMaxAttributeBytes) {
      return {Attribute::Status::kUnreadable, {}};
    }
    const auto size = static_cast<std::size_t>(count);
    text.append(chunk.data(), size);
    // Kernel attributes and plain files come whole; a short read is the end.
    if (size < chunk.size()) {
      return {Attribute::Status::kText, std::move(text)};
    }
  }
}

Attribute AttributeDir::Read(const std::string& relative) const {
  if (!m_fd.valid()) {
    return {Attribute::Status::kUnreadable, {}};
  }
  // Non-blocking, so a pipe planted in the tree cannot stall the scan.
  const Descriptor file(::openat(m_fd.get(), relative.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (!file.valid()) {
    const bool missing = errno == ENOENT || errno == ENOTDIR;
    return {missing ? Attribute::Status::kMissing : Attribute::Status::kUnreadable, {}};
  }
  return ReadOpenFile(file);
}

#endif

std::string_view WithoutNewline(std::string_view text) {
  if (!text.empty() && text.back() == '\n') {
    text.remove_suffix(1);
  }
  return text;
}

std::optional<std::uint32_t> ParseNumber(std::string_view digits) {
  if (digits.empty() || digits.size() > kMaxNumberDigits) {
    return std::nullopt;
  }
  std::uint32_t value = 0;
  for (const char c : digits) {
    if (c < '0' || c > '9') {
      return std::nullopt;
    }
    value = value * 10 + static_cast<std::uint32_t>(c - '0');
  }
  return value;
}

std::optional<std::uint32_t> ParseHex(std::string_view digits) {
  if (digits.empty() || digits.size() > 8) {
    return std::nullopt;
  }
  std::uint32_t value = 0;
  for (const char c : digits) {
    std::uint32_t digit = 0;
    if (c >= '0' && c <= '9') {
      digit = static_cast<std::uint32_t>(c - '0');
    } else if (c >= 'a' && c <= 'f') {
      digit = static_cast<std::uint32_t>(c - 'a' + 10);
    } else if (c >= 'A' && c <= 'F') {
      digit = static_cast<std::uint32_t>(c - 'A' + 10);
    } else {
      return std::nullopt;
    }
    value = value * 16 + digit;
  }
  return value;
}

std::string Hex(std::uint32_t value, std::size_t digits) {
  std::string text(digits, '0');
  for (std::size_t i = digits; i > 0; --i) {
    text[i - 1] = kHexDigits[value & 0xFU];
    value >>= 4U;
  }
  return text;
}

// idVendor and idProduct: four hex digits, written upper case as Windows does.
std::optional<std::string> ReadIdCode(const AttributeDir& dir, const std::string& name) {
  const Attribute attribute = dir.Read(name);
  if (attribute.status != Attribute::Status::kText) {
    return std::nullopt;
  }
  const std::string_view digits = WithoutNewline(attribute.text);
  const auto value = ParseHex(digits);
  if (digits.size() != 4 || !value) {
    return std::nullopt;
  }
  return Hex(*value, 4);
}

// The USB version of a root hub (" 2.00") decides which root hub class Windows names.
std::optional<std::string_view> RootHubClass(const AttributeDir& dir) {
  const Attribute attribute = dir.Read("version");
  if (attribute.status != Attribute::Status::kText) {
    return std::nullopt;
  }
  std::string_view version = WithoutNewline(attribute.text);
  version.remove_prefix(std::min(version.find_first_not_of(' '), version.size()));
  const auto dot = version.find('.');
  if (dot == std::string_view::npos || dot > 2 || version.size() != dot + 3 ||
      !ParseHex(version.substr(dot + 1))) {
    return std::nullopt;
  }
  switch (ParseHex(version.substr(0, dot)).value_or(0)) {
    case 1:
      return "ROOT_HUB";
    case 2:
      return "ROOT_HUB20";
    case 3:
      return "ROOT_HUB30";
    default:
      return std::nullopt;
  }
}

// Windows drops a serial it would not accept as an instance name and makes one up.
// An instance name never holds a backslash: it would split the identifier, and
// the selection rule would show only the serial's tail.
bool IsUsableSerial(std::string_view serial) {
  return !serial.empty() && std::all_of(serial.begin(), serial.end(), [](char c) {
    const auto code = static_cast<unsigned char>(c);
    return code >= 0x20 && code <= 0x7F && c != ',' && c != '\\';
  });
}

std::string UpperCase(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') {
      c = static_cast<char>(c - 'a' + 'A');
    }
  }
  return upper;
}

std::string Join(std::initializer_list<std::string_view> parts) {
  std::size_t size = 0;
  for (const std::string_view part : parts) {
    size += part.size();
  }
  std::string text;
  text.reserve(size);
  for (const std::string_view part : parts) {
    text.append(part);
  }
  return text;
}

std::uint32_t StableHash(std::string_view text) {
  std::uint32_t hash = 2166136261U;
  for (const char c : text) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 16777619U;
  }
  return hash;
}

std::u16string Widen(std::string_view ascii) {
  std::u16string text;
  text.reserve(ascii.size());
  for (const char c : ascii) {
    text.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
  }
  return text;
}

std::string NameOf(const fs::path& path) {
  const std::u8string name = path.filename().u8string();
  return {name.begin(), name.end()};
}

// "usbN" is the root hub of bus N (no ports); "B-P.P…" a device behind ports P… of bus B.
struct DevicePosition {
  std::uint32_t bus = 0;
  std::vector<std::uint32_t> ports;
};

std::optional<DevicePosition> ParseDeviceName(std::string_view name) {
  DevicePosition position;
  if (name.substr(0, 3) == "usb") {
    const auto bus = ParseNumber(name.substr(3));
    if (!bus) {
      return std::nullopt;
    }
    position.bus = *bus;
    return position;
  }

  const auto dash = name.find('-');
  if (dash == std::string_view::npos) {
    return std::nullopt;
  }
  const auto bus = ParseNumber(name.substr(0, dash));
  if (!bus) {
    return std::nullopt;
  }
  position.bus = *bus;
  std::string_view rest = name.substr(dash + 1);
  for (;;) {
    const auto dot = rest.find('.');
    const auto port = ParseNumber(rest.substr(0, dot));
    if (!port) {
      return std::nullopt;
    }
    position.ports.push_back(*port);
    if (dot == std::string_view::npos) {
      return position;
    }
    rest.remove_prefix(dot + 1);
  }
}

// Interfaces are named "<device>:<configuration>.<interface>"; gives the device part.
std::optional<std::string_view> InterfaceOwner(std::string_view name) {
  const auto colon = name.find(':');
  if (colon == std::string_view::npos) {
    return std::nullopt;
  }
  const std::string_view numbers = name.substr(colon + 1);
  const auto dot = numbers.find('.');
  if (dot == std::string_view::npos || !ParseNumber(numbers.substr(0, dot)) ||
      !ParseNumber(numbers.substr(dot + 1))) {
    return std::nullopt;
  }
  return name.substr(0, colon);
}

bool IsMassStorageInterface(const AttributeDir& listing, const std::string& name) {
  const Attribute attribute = listing.Read(name + "/bInterfaceClass");
  if (attribute.status != Attribute::Status::kText) {
    return false;
  }
  const std::string_view digits = WithoutNewline(attribute.text);
  return digits.size() == 2 && ParseHex(digits) == kMassStorageClass;
}

// The instance part Windows makes up when it has no serial: the nesting depth,
// a hash naming the parent and, below a hub, the port.
std::string GeneratedInstance(std::size_t depth, std::string_view parent,
                              std::optional<std::uint32_t> port) {
  std::string instance = Join({std::to_string(depth), "&", Hex(StableHash(parent), 8), "&0"});
  if (port) {
    instance = Join({instance, "&", std::to_string(*port)});
  }
  return instance;
}

DeviceId RootHubId(const AttributeDir& dir, const DevicePosition& position) {
  const auto hub_class = RootHubClass(dir);
  if (!hub_class) {
    return DeviceId::Unreadable();
  }
  const std::string instance =
      GeneratedInstance(kRootHubDepth, Join({"bus", std::to_string(position.bus)}), std::nullopt);
  return DeviceId::Text(Widen(Join({"USB\\", *hub_class, "\\", instance})));
}

DeviceId DeviceIdOf(const AttributeDir& dir, const DevicePosition& position) {
  if (position.ports.empty()) {
    return RootHubId(dir, position);
  }
  const auto vendor = ReadIdCode(dir, "idVendor");
  const auto product = ReadIdCode(dir, "idProduct");
  if (!vendor || !product) {
    return DeviceId::Unreadable();
  }

  const Attribute serial = dir.Read("serial");
  if (serial.status == Attribute::Status::kUnreadable) {
    return DeviceId::Unreadable();
  }
  std::string instance;
  const std::string_view serial_text = WithoutNewline(serial.text);
  if (serial.status == Attribute::Status::kText && IsUsableSerial(serial_text)) {
    instance = UpperCase(serial_text);
  } else {
    // The hub the device hangs on, named as the kernel names it.
    std::string parent = Join({"usb", std::to_string(position.bus)});
    if (position.ports.size() > 1) {
      parent = Join({std::to_string(position.bus), "-", std::to_string(position.ports.front())});
      for (std::size_t i = 1; i + 1 < position.ports.size(); ++i) {
        parent = Join({parent, ".", std::to_string(position.ports[i])});
      }
    }
    instance =
        GeneratedInstance(kRootHubDepth + position.ports.size(), parent, position.ports.back());
  }
  return DeviceId::Text(Widen(Join({"USB\\VID_", *vendor, "&PID_", *product, "\\", instance})));
}

struct Device {
  std::string name;
  DevicePosition position;
  bool mass_storage = false;
};

// Root hubs and other devices first, mass-storage devices last; within each group by
// bus, then by port path number by number, a hub before the devices behind it.
bool DeliveredBefore(const Device& a, const Device& b) {
  return std::tie(a.mass_storage, a.position.bus, a.position.ports, a.name) <
         std::tie(b.mass_storage, b.position.bus, b.position.ports, b.name);
}

// Nothing is read after this: later enumeration sees the devices as they were now.
std::optional<std::vector<DeviceId>> SnapshotDeviceIds(const fs::path& listing_path) {
  std::error_code error;
  fs::directory_iterator entry(listing_path, error);
  if (error) {
    if (error == std::errc::no_such_file_or_directory) {
      return std::vector<DeviceId>();
    }
    return std::nullopt;
  }

  std::vector<Device> devices;
  std::vector<std::string> interfaces;
  // An entry vanishing while we list ends the listing with what it found.
  for (; !error && entry != fs::directory_iterator(); entry.increment(error)) {
    std::string name = NameOf(entry->path());
    if (InterfaceOwner(name)) {
      interfaces.push_back(std::move(name));
    } else if (auto position = ParseDeviceName(name)) {
      devices.push_back({std::move(name), std::move(*position)});
    }
  }

  const AttributeDir listing = AttributeDir::Open(listing_path);
  std::unordered_set<std::string> device_names;
  for (const Device& device : devices) {
    device_names.emplace(device.name);
  }
  std::unordered_set<std::string> mass_storage;
  for (const std::string& interface : interfaces) {
    std::string owner(*InterfaceOwner(interface));
    if (device_names.contains(owner) && !mass_storage.contains(owner) &&
        IsMassStorageInterface(listing, interface)) {
      mass_storage.insert(std::move(owner));
    }
  }
  for (Device& device : devices) {
    device.mass_storage = mass_storage.contains(device.name);
  }
  std::sort(devices.begin(), devices.end(), DeliveredBefore);

  std::vector<DeviceId> ids;
  ids.reserve(devices.size());
  for (const Device& device : devices) {
    ids.push_back(DeviceIdOf(listing.Child(device.name), device.position));
  }
  return ids;
}

class SysfsUsbHubResults : public UsbHubResults {
 public:
  explicit SysfsUsbHubResults(std::vector<DeviceId> ids) : m_ids(std::move(ids)) {}

  bool StartEnumeration() override {
    m_started = true;
    m_next = 0;
    m_current.reset();
    return true;
  }

  Fetch Next() override {
    if (!m_started) {
      return Fetch::kFailed;
    }
    if (m_next >= m_ids.size()) {
      m_current.reset();
      return Fetch::kEnd;
    }
    m_current = m_next++;
    return Fetch::kItem;
  }

  DeviceId ReadDeviceId() override {
    if (!m_current) {
      return DeviceId::Unreadable();
    }
    return m_ids[*m_current];
  }

 private:
  std::vector<DeviceId> m_ids;
  bool m_started = false;
  std::size_t m_next = 0;
  std::optional<std::size_t> m_current;
};

class SysfsUsbHubService : public UsbHubService {
 public:
  explicit SysfsUsbHubService(fs::path root) : m_root(std::move(root)) {}

  std::unique_ptr<UsbHubResults> ExecQuery(std::u16string_view query) override {
    if (query != kUsbHubQuery) {
      return nullptr;
    }
    auto ids = SnapshotDeviceIds(m_root / "bus" / "usb" / "devices");
    if (!ids) {
      return nullptr;
    }
    return std::make_unique<SysfsUsbHubResults>(std::move(*ids));
  }

 private:
  fs::path m_root;
};

}  // namespace

SysfsUsbHubSource::SysfsUsbHubSource(fs::path root) : m_root(std::move(root)) {}

std::unique_ptr<UsbHubService> SysfsUsbHubSource::Bind(std::u16string_view moniker) {
  if (moniker != kServiceMoniker) {
    return nullptr;
  }
  return std::make_unique<SysfsUsbHubService>(m_root);
}

}  // namespace vellmor::serial
