#include "watch_command.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <ctime>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "cli.h"
#include "digest/digest.h"
#include "base/utf.h"
#include "drives_command.h"
#include "serial/device_arrivals.h"
#include "serial/read_serial_command.h"
#include "serial/serial_notes.h"

namespace vellmor::cli {

namespace {

using Clock = std::chrono::system_clock;

// 2026-12-07T11:30:02.123Z
std::string Timestamp(Clock::time_point when) {
  const std::time_t seconds = Clock::to_time_t(when);
  const auto millis =
      std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch()) % 1000;
  std::tm utc{};
#if defined(_WIN32)
  gmtime_s(&utc, &seconds);
#else
  gmtime_r(&seconds, &utc);
#endif
  std::array<char, 40> text{};
  const std::size_t length = std::strftime(text.data(), text.size(), "%Y-%m-%dT%H:%M:%S", &utc);
  std::array<char, 8> fraction{};
  std::snprintf(fraction.data(), fraction.size(), ".%03dZ", static_cast<int>(millis.count()));
  return std::string(text.data(), length) + fraction.data();
}

std::vector<const serial::Volume*> Volumes(const serial::UsbDevice& device) {
  std::vector<const serial::Volume*> volumes;
  for (const serial::Disk& disk : device.disks) {
    volumes.push_back(&disk.volume);
    for (const serial::Volume& partition : disk.partitions) {
      volumes.push_back(&partition);
    }
  }
  return volumes;
}

std::vector<std::string> MountPoints(const serial::UsbDevice& device) {
  std::vector<std::string> mounts;
  for (const serial::Volume* volume : Volumes(device)) {
    for (const std::u16string& mount : volume->mount_points) {
      mounts.push_back(Utf16ToUtf8(mount));
    }
  }
  return mounts;
}

std::vector<std::string> Labels(const serial::UsbDevice& device) {
  std::vector<std::string> labels;
  for (const serial::Volume* volume : Volumes(device)) {
    if (volume->label) {
      labels.push_back(Utf16ToUtf8(*volume->label));
    }
  }
  return labels;
}

std::vector<std::string> NoteNames(const serial::UsbDevice& device) {
  std::vector<std::string> names;
  for (const serial::SerialNote note : device.notes) {
    names.emplace_back(serial::NoteName(note));
  }
  return names;
}

std::string Joined(const std::vector<std::string>& items, std::string_view separator,
                   std::string_view none) {
  if (items.empty()) {
    return std::string(none);
  }
  std::string text = items.front();
  for (std::size_t i = 1; i < items.size(); ++i) {
    text.append(separator).append(items[i]);
  }
  return text;
}

// RFC 4180: quoted when it holds a separator, a quote or a line break.
std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) {
    return text;
  }
  std::string quoted = "\"";
  for (const char c : text) {
    quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  }
  return quoted + '"';
}

std::string Line(WatchFormat format, const std::string& time, const serial::UsbDevice& device) {
  const std::string serial = Utf16ToUtf8(device.serial);
  const std::string digest =
      Utf16ToUtf8(digest::DigestText(std::u16string_view(device.serial), serial::kDigestLength));
  switch (format) {
    case WatchFormat::kJson:
      return R"({"schemaVersion":)" + std::to_string(kJsonSchemaVersion) + R"(,"time":")" + time +
             R"(","drive":)" + DriveJson(device) + "}";
    case WatchFormat::kCsv: {
      const std::vector<std::string> fields = {time,
                                               serial,
                                               digest,
                                               HexId(device.vendor),
                                               HexId(device.product),
                                               Utf16ToUtf8(device.device_id),
                                               Joined(MountPoints(device), ";", ""),
                                               Joined(Labels(device), ";", ""),
                                               Joined(NoteNames(device), ";", "")};
      std::string line = CsvField(fields.front());
      for (std::size_t i = 1; i < fields.size(); ++i) {
        line += "," + CsvField(fields[i]);
      }
      return line;
    }
    case WatchFormat::kText:
      break;
  }
  return time + "  " + serial + "  " + digest + "  " + HexId(device.vendor) + ":" +
         HexId(device.product) + "  " + Joined(MountPoints(device), ",", "-") + "  " +
         Joined(NoteNames(device), ",", "-");
}

}  // namespace

int RunWatch(WatchFormat format, serial::DriveSource& drives, std::ostream& out,
             std::ostream& err) {
  std::string error;
  const auto arrivals = serial::OpenDeviceArrivals(drives, error);
  if (!arrivals) {
    err << "vellmor-cli: " << error << '\n';
    return kExitFailure;
  }
  err << "vellmor-cli: watching for USB drives (" << arrivals->event_source()
      << " events); Ctrl-C ends\n";
  err.flush();
  if (format == WatchFormat::kCsv) {
    out << "time,serial,digest,vendorId,productId,deviceId,mountPoints,labels,notes\n";
  }
  out.flush();
  for (;;) {
    const serial::DeviceArrivals::Result result = arrivals->Wait(std::nullopt);
    if (result.outcome == serial::DeviceArrivals::Outcome::kInterrupted) {
      return kExitOk;
    }
    const std::string time = Timestamp(Clock::now());
    for (const serial::UsbDevice& device : result.devices) {
      out << Line(format, time, device) << '\n';
      out.flush();
    }
    if (!out) {
      err << "vellmor-cli: cannot write to standard output\n";
      return kExitFailure;
    }
  }
}

void WaitForDrive(std::optional<std::chrono::milliseconds> timeout, serial::DriveSource& drives,
                  std::ostream& err) {
  std::string error;
  const auto arrivals = serial::OpenDeviceArrivals(drives, error);
  if (!arrivals) {
    err << "vellmor-cli: cannot wait for a drive: " << error << '\n';
    return;
  }
  const auto& present = arrivals->present();
  if (std::any_of(present.begin(), present.end(),
                  [](const serial::UsbDevice& device) { return device.mass_storage; })) {
    return;
  }
  arrivals->Wait(timeout);
}

}  // namespace vellmor::cli
