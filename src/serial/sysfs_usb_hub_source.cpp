#include "sysfs_usb_hub_source.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <tuple>
#include <utility>
#include <vector>

#if defined(_WIN32)
#include <fstream>
#else
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace vellmor::serial {

namespace fs = std::filesystem;

namespace {

// Kernel attributes are a line of text or a few descriptors; anything larger is not one of them.
constexpr std::size_t kMaxAttributeBytes = std::size_t{64} * 1024;
// Keeps every number in a device name inside 32 bits.
constexpr std::size_t kMaxNumberDigits = 9;
constexpr std::size_t kDeviceDescriptorSize = 18;
constexpr std::uint8_t kDeviceDescriptorType = 1;
constexpr std::uint8_t kInterfaceDescriptorType = 4;
constexpr std::size_t kInterfaceDescriptorSize = 9;
constexpr std::uint8_t kMassStorageClass = 0x08;
// Windows numbers instance prefixes from the PCI root: root hubs sit at 4.
constexpr std::size_t kRootHubDepth = 4;
constexpr std::string_view kHexDigits = "0123456789ABCDEF";

struct Attribute {
  enum class Status { kText, kMissing, kUnreadable };

  Status status = Status::kMissing;
  std::string text;
};

// The device list, held open while we read it: every attribute is opened relative to
// it ("1-2/serial"), one system call per file, so a scan costs little more than the
// files it reads.
class Listing {
 public:
  enum class State { kOpen, kMissing, kFailed };

  explicit Listing(const fs::path& path);
  Listing(const Listing&) = delete;
  Listing& operator=(const Listing&) = delete;
  ~Listing();

  State state() const { return m_state; }
  // The entry names; an entry vanishing while we list ends the listing with what it found.
  std::vector<std::string> Names();
  Attribute Read(const std::string& relative) const;

 private:
  State m_state = State::kFailed;
#if defined(_WIN32)
  fs::path m_path;
#else
  DIR* m_dir = nullptr;
#endif
};

#if defined(_WIN32)

Listing::Listing(const fs::path& path) : m_path(path) {
  std::error_code error;
  const fs::file_status status = fs::status(path, error);
  if (status.type() == fs::file_type::not_found) {
    m_state = State::kMissing;
  } else if (!error && status.type() == fs::file_type::directory) {
    m_state = State::kOpen;
  }
}

Listing::~Listing() = default;

std::vector<std::string> Listing::Names() {
  std::vector<std::string> names;
  std::error_code error;
  fs::directory_iterator entry(m_path, error);
  for (; !error && entry != fs::directory_iterator(); entry.increment(error)) {
    const std::u8string name = entry->path().filename().u8string();
    names.emplace_back(name.begin(), name.end());
  }
  return names;
}

Attribute Listing::Read(const std::string& relative) const {
  if (m_state != State::kOpen) {
    return {Attribute::Status::kUnreadable, {}};
  }
  const fs::path file = m_path / relative;
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
  std::array<char, 4096> chunk{};
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

Listing::Listing(const fs::path& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    m_state = errno == ENOENT ? State::kMissing : State::kFailed;
    return;
  }
  m_dir = ::fdopendir(fd);
  if (m_dir == nullptr) {
    ::close(fd);
    return;
  }
  m_state = State::kOpen;
}

Listing::~Listing() {
  if (m_dir != nullptr) {
    ::closedir(m_dir);
  }
}

std::vector<std::string> Listing::Names() {
  std::vector<std::string> names;
  if (m_dir == nullptr) {
    return names;
  }
  while (const dirent* entry = ::readdir(m_dir)) {
    const std::string_view name = entry->d_name;
    if (name != "." && name != "..") {
      names.emplace_back(name);
    }
  }
  return names;
}

Attribute Listing::Read(const std::string& relative) const {
  if (m_dir == nullptr) {
    return {Attribute::Status::kUnreadable, {}};
  }
  // Non-blocking, so a pipe planted in the tree cannot stall the scan.
  const int fd = ::openat(::dirfd(m_dir), relative.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    const bool missing = errno == ENOENT || errno == ENOTDIR;
    return {missing ? Attribute::Status::kMissing : Attribute::Status::kUnreadable, {}};
  }
  Attribute attribute{Attribute::Status::kText, {}};
  // A page at a time: the kernel hands out attributes, binary ones too, at most a page
  // per read, and a shorter read is the end of the file.
  std::array<char, 4096> chunk{};
  for (;;) {
    const ssize_t count = ::read(fd, chunk.data(), chunk.size());
    if (count < 0 && errno == EINTR) {
      continue;
    }
    if (count < 0 || attribute.text.size() + static_cast<std::size_t>(count) > kMaxAttributeBytes) {
      attribute = {Attribute::Status::kUnreadable, {}};
      break;
    }
    const auto size = static_cast<std::size_t>(count);
    attribute.text.append(chunk.data(), size);
    if (size < chunk.size()) {
      break;
    }
  }
  ::close(fd);
  return attribute;
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

std::string Hex(std::uint32_t value, std::size_t digits) {
  std::string text(digits, '0');
  for (std::size_t i = digits; i > 0; --i) {
    text[i - 1] = kHexDigits[value & 0xFU];
    value >>= 4U;
  }
  return text;
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

// What the identifier and the delivery order need from the `descriptors` attribute.
struct DeviceDescriptor {
  std::uint16_t usb_version = 0;
  std::uint16_t vendor = 0;
  std::uint16_t product = 0;
  bool names_serial = false;
  bool mass_storage = false;
};

std::uint8_t ByteAt(std::string_view bytes, std::size_t offset) {
  return static_cast<std::uint8_t>(bytes[offset]);
}

// USB stores words little-endian, and the kernel passes them on as they came.
std::uint16_t WordAt(std::string_view bytes, std::size_t offset) {
  return static_cast<std::uint16_t>(ByteAt(bytes, offset) | (ByteAt(bytes, offset + 1) << 8U));
}

// The device descriptor, then the raw configurations. The kernel cuts a configuration
// short at its first faulty descriptor but leaves the raw total length as the device
// gave it, so the configurations are walked as one run of descriptors up to the first
// that does not fit, and what came before it still counts.
std::optional<DeviceDescriptor> ParseDescriptors(std::string_view bytes) {
  if (bytes.size() < kDeviceDescriptorSize || ByteAt(bytes, 0) != kDeviceDescriptorSize ||
      ByteAt(bytes, 1) != kDeviceDescriptorType) {
    return std::nullopt;
  }
  DeviceDescriptor device;
  device.usb_version = WordAt(bytes, 2);
  device.vendor = WordAt(bytes, 8);
  device.product = WordAt(bytes, 10);
  device.names_serial = ByteAt(bytes, 16) != 0;
  for (std::size_t at = kDeviceDescriptorSize; bytes.size() - at >= 2;) {
    const std::size_t length = ByteAt(bytes, at);
    if (length < 2 || length > bytes.size() - at) {
      break;
    }
    // The kernel passes over interface descriptors shorter than the standard's.
    if (ByteAt(bytes, at + 1) == kInterfaceDescriptorType && length >= kInterfaceDescriptorSize &&
        ByteAt(bytes, at + 5) == kMassStorageClass) {
      device.mass_storage = true;
      break;
    }
    at += length;
  }
  return device;
}

// The USB version of a root hub decides which root hub class Windows names.
std::optional<std::string_view> RootHubClass(std::uint16_t usb_version) {
  switch (usb_version >> 8U) {
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

DeviceId RootHubId(const DeviceDescriptor& descriptor, const DevicePosition& position) {
  const auto hub_class = RootHubClass(descriptor.usb_version);
  if (!hub_class) {
    return DeviceId::Unreadable();
  }
  const std::string instance =
      GeneratedInstance(kRootHubDepth, Join({"bus", std::to_string(position.bus)}), std::nullopt);
  return DeviceId::Text(Widen(Join({"USB\\", *hub_class, "\\", instance})));
}

DeviceId DeviceIdOf(const Listing& listing, const std::string& name,
                    const DeviceDescriptor& descriptor, const DevicePosition& position,
                    bool& made_up) {
  if (position.ports.empty()) {
    return RootHubId(descriptor, position);
  }
  // The kernel makes a serial attribute only for a device whose descriptor names one.
  const Attribute serial = descriptor.names_serial ? listing.Read(name + "/serial") : Attribute{};
  if (serial.status == Attribute::Status::kUnreadable) {
    return DeviceId::Unreadable();
  }
  std::string instance;
  const std::string_view serial_text = WithoutNewline(serial.text);
  if (serial.status == Attribute::Status::kText && IsUsableSerial(serial_text)) {
    instance = UpperCase(serial_text);
  } else {
    made_up = true;
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
  return DeviceId::Text(Widen(Join({"USB\\VID_", Hex(descriptor.vendor, 4), "&PID_",
                                    Hex(descriptor.product, 4), "\\", instance})));
}

struct Device {
  SysfsUsbDevice found;
  DevicePosition position;
};

// Root hubs and other devices first, mass-storage devices last; within each group by
// bus, then by port path number by number, a hub before the devices behind it.
bool DeliveredBefore(const Device& a, const Device& b) {
  return std::tie(a.found.mass_storage, a.position.bus, a.position.ports, a.found.name) <
         std::tie(b.found.mass_storage, b.position.bus, b.position.ports, b.found.name);
}

std::optional<std::vector<Device>> ScanDevices(const fs::path& listing_path) {
  Listing listing(listing_path);
  if (listing.state() == Listing::State::kMissing) {
    return std::vector<Device>();
  }
  if (listing.state() != Listing::State::kOpen) {
    return std::nullopt;
  }

  std::vector<Device> devices;
  // Interfaces ("1-2:1.0") and other entries fail by name, without a look at the disk.
  for (std::string& name : listing.Names()) {
    auto position = ParseDeviceName(name);
    if (!position) {
      continue;
    }
    Device device{{std::move(name), DeviceId::Unreadable()}, std::move(*position)};
    SysfsUsbDevice& found = device.found;
    const Attribute raw = listing.Read(found.name + "/descriptors");
    const auto descriptor = raw.status == Attribute::Status::kText
                                ? ParseDescriptors(raw.text)
                                : std::optional<DeviceDescriptor>();
    if (descriptor) {
      // Root hubs stay in the first group, whatever their interfaces.
      found.mass_storage = descriptor->mass_storage && !device.position.ports.empty();
      found.vendor = descriptor->vendor;
      found.product = descriptor->product;
      found.id =
          DeviceIdOf(listing, found.name, *descriptor, device.position, found.serial_made_up);
    }
    devices.push_back(std::move(device));
  }
  std::sort(devices.begin(), devices.end(), DeliveredBefore);
  return devices;
}

// Nothing is read after this: later enumeration sees the devices as they were now.
std::optional<std::vector<DeviceId>> SnapshotDeviceIds(const fs::path& listing_path) {
  auto devices = ScanDevices(listing_path);
  if (!devices) {
    return std::nullopt;
  }
  std::vector<DeviceId> ids;
  ids.reserve(devices->size());
  for (Device& device : *devices) {
    ids.push_back(std::move(device.found.id));
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

std::optional<std::vector<SysfsUsbDevice>> ScanSysfsUsbDevices(const fs::path& root) {
  auto devices = ScanDevices(root / "bus" / "usb" / "devices");
  if (!devices) {
    return std::nullopt;
  }
  std::vector<SysfsUsbDevice> found;
  found.reserve(devices->size());
  for (Device& device : *devices) {
    found.push_back(std::move(device.found));
  }
  return found;
}

SysfsUsbHubSource::SysfsUsbHubSource(fs::path root) : m_root(std::move(root)) {}

std::unique_ptr<UsbHubService> SysfsUsbHubSource::Bind(std::u16string_view moniker) {
  if (moniker != kServiceMoniker) {
    return nullptr;
  }
  return std::make_unique<SysfsUsbHubService>(m_root);
}

}  // namespace vellmor::serial
