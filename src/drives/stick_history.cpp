#include "stick_history.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>

#include "base/utf.h"
#include "drive_text.h"
#include "serial/selection_rule.h"
#include "serial/usb_descriptors.h"
#include "serial/usb_identifier.h"
#include "serial_notes.h"

namespace vellmor::drives {

namespace {

// The tool logs an arrival once the stick has settled, seconds after the kernel's lines
// about it: within this time the two are the same plugging in.
constexpr std::uint64_t kSamePluggingUsec = 120ULL * 1000 * 1000;

std::optional<std::uint16_t> Hex4(std::string_view text) {
  if (text.size() != 4) {
    return std::nullopt;
  }
  std::uint16_t value = 0;
  for (const char c : text) {
    int digit = -1;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if ((c | 0x20) >= 'a' && (c | 0x20) <= 'f') {
      digit = (c | 0x20) - 'a' + 10;
    }
    if (digit < 0) {
      return std::nullopt;
    }
    value = static_cast<std::uint16_t>(value * 16 + digit);
  }
  return value;
}

std::optional<std::u16string> Text(const LogEntry& entry, std::string_view field) {
  const auto found = entry.fields.find(field);
  if (found == entry.fields.end()) {
    return std::nullopt;
  }
  return Utf8ToUtf16(found->second);
}

std::string_view Field(const LogEntry& entry, std::string_view field) {
  const auto found = entry.fields.find(field);
  return found == entry.fields.end() ? std::string_view() : std::string_view(found->second);
}

std::optional<SerialNote> NoteNamed(std::string_view name) {
  for (const SerialNote note :
       {SerialNote::kMadeUp, SerialNote::kShort, SerialNote::kPlaceholder, SerialNote::kShared,
        SerialNote::kCardReader, SerialNote::kMediaUnreadable}) {
    if (NoteName(note) == name) {
      return note;
    }
  }
  return std::nullopt;
}

// "1-2.3" of "1-2.3:1.0".
std::string_view DevicePart(std::string_view name) { return name.substr(0, name.find(':')); }

// The text after "PREFIX " and its name, "usb 1-2: TEXT": the name and the text.
bool SplitKernelLine(std::string_view message, std::string_view prefix, std::string_view& name,
                     std::string_view& text) {
  if (!message.starts_with(prefix) || message.size() <= prefix.size() ||
      message[prefix.size()] != ' ') {
    return false;
  }
  message.remove_prefix(prefix.size() + 1);
  const std::size_t colon = message.find(": ");
  if (colon == std::string_view::npos) {
    return false;
  }
  name = message.substr(0, colon);
  text = message.substr(colon + 2);
  return true;
}

}  // namespace

// A device the kernel is describing, line by line, until it is found to be a stick.
struct StickHistory::Pending {
  std::uint64_t time_usec = 0;
  std::uint16_t vendor = 0;
  std::uint16_t product = 0;
  std::optional<std::string> serial;
  std::optional<std::string> manufacturer;
  std::optional<std::string> product_name;
  std::optional<std::size_t> stick;  // once usb-storage took it
};

StickHistory::StickHistory() = default;
StickHistory::~StickHistory() = default;

void StickHistory::Add(const LogEntry& entry) {
  if (Field(entry, "_TRANSPORT") == "kernel") {
    AddKernelLine(entry);
  } else if (const std::string_view id = Field(entry, "MESSAGE_ID");
             id == kPresentMessageId || id == kArrivedMessageId || id == kRemovedMessageId) {
    AddOwnEvent(entry);
  }
}

StickRecord& StickHistory::Seen(const UsbDevice& device, std::uint64_t time, unsigned source) {
  const std::u16string serial = AsciiUpperCase(device.serial);
  auto found = std::ranges::find_if(m_sticks, [&](const StickRecord& record) {
    return record.device.vendor == device.vendor && record.device.product == device.product &&
           AsciiUpperCase(record.device.serial) == serial;
  });
  if (found == m_sticks.end()) {
    StickRecord& record = m_sticks.emplace_back();
    record.device = device;
    record.first_seen_usec = time;
    record.last_seen_usec = time;
    record.sources = source;
    return record;
  }
  StickRecord& record = *found;
  // 0: a source that keeps no time.
  if (time != 0) {
    record.first_seen_usec =
        record.first_seen_usec == 0 ? time : std::min(record.first_seen_usec, time);
    record.last_seen_usec = std::max(record.last_seen_usec, time);
  }
  record.sources |= source;
  UsbDevice& known = record.device;
  if (known.device_id.empty()) {
    known.device_id = device.device_id;
  }
  // The latest names and place win; notes gather.
  for (auto [field, value] : {std::pair{&known.manufacturer, &device.manufacturer},
                              std::pair{&known.product_name, &device.product_name},
                              std::pair{&known.port, &device.port}}) {
    if (*value) {
      *field = *value;
    }
  }
  for (const SerialNote note : device.notes) {
    if (std::ranges::find(known.notes, note) == known.notes.end()) {
      known.notes.push_back(note);
    }
  }
  return record;
}

void StickHistory::AddOwnEvent(const LogEntry& entry) {
  const auto vendor = Hex4(Field(entry, "VELLMOR_VENDOR_ID"));
  const auto product = Hex4(Field(entry, "VELLMOR_PRODUCT_ID"));
  const auto serial = Text(entry, "VELLMOR_SERIAL");
  if (!vendor || !product || !serial) {
    return;
  }
  UsbDevice device;
  device.vendor = *vendor;
  device.product = *product;
  device.serial = *serial;
  device.device_id = Text(entry, "VELLMOR_DEVICE_ID").value_or(u"");
  device.manufacturer = Text(entry, "VELLMOR_MANUFACTURER");
  device.product_name = Text(entry, "VELLMOR_PRODUCT");
  device.port = Text(entry, "VELLMOR_LOCATION");
  device.mass_storage = true;
  std::string_view notes = Field(entry, "VELLMOR_NOTES");
  while (!notes.empty()) {
    const std::size_t end = std::min(notes.find('\n'), notes.size());
    if (const auto note = NoteNamed(notes.substr(0, end))) {
      device.notes.push_back(*note);
    }
    notes.remove_prefix(std::min(end + 1, notes.size()));
  }
  const bool arrived = Field(entry, "MESSAGE_ID") == kArrivedMessageId;
  StickRecord& record = Seen(device, entry.time_usec, kOwnEvents);
  // The kernel's lines already counted this plugging in.
  const auto index = static_cast<std::size_t>(&record - m_sticks.data());
  const bool counted = index < m_lastKernelArrival.size() && m_lastKernelArrival[index] != 0 &&
                       entry.time_usec >= m_lastKernelArrival[index] &&
                       entry.time_usec - m_lastKernelArrival[index] < kSamePluggingUsec;
  if (arrived && !counted) {
    ++record.arrivals;
  }
  if (arrived) {
    m_ownArrivals.resize(m_sticks.size());
    m_ownArrivals[index].push_back(entry.time_usec);
  }
}

void StickHistory::AddStoreStick(const UsbDevice& device,
                                 const std::vector<std::uint64_t>& arrivals,
                                 std::uint64_t last_seen_usec) {
  StickRecord& record = Seen(device, last_seen_usec, kDeviceStore);
  const auto index = static_cast<std::size_t>(&record - m_sticks.data());
  m_ownArrivals.resize(m_sticks.size());
  std::vector<std::uint64_t> counted = m_ownArrivals[index];
  for (const std::uint64_t time : arrivals) {
    Seen(device, time, kDeviceStore);
    // The store's time is the system's; the tool logs the same plugging once the stick
    // settled, or the store already gave it (the first install is often the last arrival).
    const bool known = std::ranges::any_of(counted, [&](std::uint64_t logged) {
      return logged >= time ? logged - time < kSamePluggingUsec : time - logged < kSamePluggingUsec;
    });
    if (!known) {
      ++record.arrivals;
      counted.push_back(time);
    }
  }
  // The store holds a device only once it was plugged in.
  if (arrivals.empty() && record.arrivals == 0) {
    record.arrivals = 1;
  }
}

void StickHistory::AddKernelLine(const LogEntry& entry) {
  const std::string_view message = Field(entry, "MESSAGE");
  std::string_view name;
  std::string_view text;
  if (SplitKernelLine(message, "usb-storage", name, text)) {
    if (text != "USB Mass Storage device detected") {
      return;
    }
    const auto found = m_pending.find(entry.boot + ' ' + std::string(DevicePart(name)));
    if (found == m_pending.end() || found->second->stick) {
      return;
    }
    Pending& pending = *found->second;
    const auto position = serial::ParseDeviceName(DevicePart(name));
    if (!position) {
      return;
    }
    serial::DeviceDescriptor descriptor;
    descriptor.vendor = pending.vendor;
    descriptor.product = pending.product;
    descriptor.names_serial = pending.serial.has_value();
    descriptor.mass_storage = true;
    const auto usable =
        pending.serial ? serial::UsableSerial(*pending.serial) : std::optional<std::string_view>();
    std::vector<UsbDevice> devices(1);
    UsbDevice& device = devices.front();
    device.device_id = serial::WindowsUsbDeviceId(descriptor, *position, usable).text;
    device.serial = serial::LastPiece(device.device_id);
    device.serial_made_up = !usable;
    device.vendor = pending.vendor;
    device.product = pending.product;
    device.manufacturer = DeviceText(pending.manufacturer);
    device.product_name = DeviceText(pending.product_name);
    device.port = Utf8ToUtf16(DevicePart(name));
    device.mass_storage = true;
    AddSerialNotes(devices);
    StickRecord& record = Seen(device, pending.time_usec, kKernelLog);
    ++record.arrivals;
    pending.stick = static_cast<std::size_t>(&record - m_sticks.data());
    m_lastKernelArrival.resize(m_sticks.size());
    m_lastKernelArrival[*pending.stick] = pending.time_usec;
    return;
  }
  if (!SplitKernelLine(message, "usb", name, text)) {
    return;
  }
  const std::string key = entry.boot + ' ' + std::string(name);
  if (text.starts_with("New USB device found, idVendor=")) {
    const std::size_t at = text.find("idProduct=");
    const auto vendor = Hex4(text.substr(31, 4));
    const auto product =
        at == std::string_view::npos ? std::nullopt : Hex4(text.substr(at + 10, 4));
    if (vendor && product) {
      auto pending = std::make_unique<Pending>();
      pending->time_usec = entry.time_usec;
      pending->vendor = *vendor;
      pending->product = *product;
      m_pending[key] = std::move(pending);
    }
    return;
  }
  const auto found = m_pending.find(key);
  if (found == m_pending.end()) {
    return;
  }
  Pending& pending = *found->second;
  if (text.starts_with("USB disconnect")) {
    if (pending.stick) {
      StickRecord& record = m_sticks[*pending.stick];
      record.last_seen_usec = std::max(record.last_seen_usec, entry.time_usec);
    }
    m_pending.erase(found);
  } else if (text.starts_with("Product: ")) {
    pending.product_name = std::string(text.substr(9));
  } else if (text.starts_with("Manufacturer: ")) {
    pending.manufacturer = std::string(text.substr(14));
  } else if (text.starts_with("SerialNumber: ")) {
    pending.serial = std::string(text.substr(14));
  }
}

std::vector<StickRecord> StickHistory::Sticks() const {
  std::vector<StickRecord> sticks = m_sticks;
  std::ranges::stable_sort(sticks, {}, &StickRecord::first_seen_usec);
  return sticks;
}

std::string UtcTime(std::uint64_t usec) {
  using namespace std::chrono;
  const sys_time<microseconds> time{microseconds(usec)};
  const auto day = floor<days>(time);
  const year_month_day date{day};
  const hh_mm_ss clock{floor<milliseconds>(time - day)};
  std::array<char, 32> text{};
  std::snprintf(text.data(), text.size(), "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ",
                static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                static_cast<unsigned>(date.day()), static_cast<int>(clock.hours().count()),
                static_cast<int>(clock.minutes().count()),
                static_cast<int>(clock.seconds().count()),
                static_cast<int>(clock.subseconds().count()));
  return text.data();
}

std::optional<std::uint64_t> ParseUtcTime(std::string_view text) {
  if (text.ends_with('Z')) {
    text.remove_suffix(1);
  }
  const auto number = [&](std::size_t at, std::size_t digits) -> std::optional<int> {
    if (at + digits > text.size()) {
      return std::nullopt;
    }
    int value = 0;
    for (std::size_t i = at; i < at + digits; ++i) {
      if (text[i] < '0' || text[i] > '9') {
        return std::nullopt;
      }
      value = value * 10 + (text[i] - '0');
    }
    return value;
  };
  const auto year = number(0, 4);
  const auto month = number(5, 2);
  const auto day = number(8, 2);
  if (!year || !month || !day || text[4] != '-' || text[7] != '-') {
    return std::nullopt;
  }
  int hours = 0;
  int minutes = 0;
  int seconds = 0;
  if (text.size() > 10) {
    // Only "T12:34" or "T12:34:56" may follow; the size is checked before any index.
    if (text.size() != 16 && text.size() != 19) {
      return std::nullopt;
    }
    const auto h = number(11, 2);
    const auto m = number(14, 2);
    const auto s = text.size() > 16 ? number(17, 2) : std::optional<int>(0);
    if ((text[10] != 'T' && text[10] != ' ') || text[13] != ':' || !h || !m || !s ||
        (text.size() != 16 && (text.size() != 19 || text[16] != ':')) || *h > 23 || *m > 59 ||
        *s > 59) {
      return std::nullopt;
    }
    hours = *h;
    minutes = *m;
    seconds = *s;
  }
  using namespace std::chrono;
  const year_month_day date{std::chrono::year(*year),
                            std::chrono::month(static_cast<unsigned>(*month)),
                            std::chrono::day(static_cast<unsigned>(*day))};
  if (!date.ok() || *year < 1970) {
    return std::nullopt;
  }
  const auto time = sys_days(date) + std::chrono::hours(hours) + std::chrono::minutes(minutes) +
                    std::chrono::seconds(seconds);
  return static_cast<std::uint64_t>(duration_cast<microseconds>(time.time_since_epoch()).count());
}

}  // namespace vellmor::drives
