#include "watch_command.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <ctime>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "base/utf.h"
#include "cli.h"
#include "digest/digest.h"
#include "drives/device_arrivals.h"
#include "drives/drive_json.h"
#include "drives/serial_notes.h"
#include "serial/read_serial_command.h"

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

std::vector<const drives::Volume*> Volumes(const drives::UsbDevice& device) {
  std::vector<const drives::Volume*> volumes;
  for (const drives::Disk& disk : device.disks) {
    volumes.push_back(&disk.volume);
    for (const drives::Volume& partition : disk.partitions) {
      volumes.push_back(&partition);
    }
  }
  return volumes;
}

std::vector<std::string> MountPoints(const drives::UsbDevice& device) {
  std::vector<std::string> mounts;
  for (const drives::Volume* volume : Volumes(device)) {
    for (const std::u16string& mount : volume->mount_points) {
      mounts.push_back(Utf16ToUtf8(mount));
    }
  }
  return mounts;
}

std::vector<std::string> Labels(const drives::UsbDevice& device) {
  std::vector<std::string> labels;
  for (const drives::Volume* volume : Volumes(device)) {
    if (volume->label) {
      labels.push_back(Utf16ToUtf8(*volume->label));
    }
  }
  return labels;
}

std::vector<std::string> NoteNames(const drives::UsbDevice& device) {
  std::vector<std::string> names;
  for (const drives::SerialNote note : device.notes) {
    names.emplace_back(drives::NoteName(note));
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

std::string Line(WatchFormat format, const std::string& time, const drives::UsbDevice& device) {
  const std::string serial = Utf16ToUtf8(device.serial);
  const std::string digest =
      Utf16ToUtf8(digest::DigestText(std::u16string_view(device.serial), serial::kDigestLength));
  switch (format) {
    case WatchFormat::kJson:
      return R"({"schemaVersion":)" + std::to_string(drives::kJsonSchemaVersion) + R"(,"time":")" +
             time + R"(","drive":)" + drives::DriveJson(device) + "}";
    case WatchFormat::kCsv: {
      const std::vector<std::string> fields = {time,
                                               serial,
                                               digest,
                                               drives::HexId(device.vendor),
                                               drives::HexId(device.product),
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
  return time + "  " + serial + "  " + digest + "  " + drives::HexId(device.vendor) + ":" +
         drives::HexId(device.product) + "  " + Joined(MountPoints(device), ",", "-") + "  " +
         Joined(NoteNames(device), ",", "-");
}

}  // namespace

int RunWatch(WatchFormat format, drives::DriveSource& drives, std::ostream& out,
             std::ostream& err) {
  std::string error;
  const auto arrivals = drives::OpenDeviceArrivals(drives, drives::ScanDepth::kVolumes, error);
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
    const drives::DeviceArrivals::Result result = arrivals->Wait(std::nullopt);
    if (result.outcome == drives::DeviceArrivals::Outcome::kInterrupted) {
      return kExitOk;
    }
    const std::string time = Timestamp(Clock::now());
    for (const drives::UsbDevice& device : result.devices) {
      out << Line(format, time, device) << '\n';
      out.flush();
    }
    if (!out) {
      err << "vellmor-cli: cannot write to standard output\n";
      return kExitFailure;
    }
  }
}

}  // namespace vellmor::cli
