#include "watch_command.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <ctime>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "base/utf.h"
#include "cli.h"
#include "digest/digest.h"
#include "drives/device_arrivals.h"
#include "drives/drive_json.h"
#include "drives/drive_text.h"
#include "drives/log_event.h"
#include "drives/serial_notes.h"
#include "options.h"
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

std::vector<std::u16string> MountPoints(const drives::UsbDevice& device) {
  std::vector<std::u16string> mounts;
  for (const drives::Volume* volume : Volumes(device)) {
    mounts.insert(mounts.end(), volume->mount_points.begin(), volume->mount_points.end());
  }
  return mounts;
}

std::vector<std::u16string> NoteNames(const drives::UsbDevice& device) {
  std::vector<std::u16string> names;
  for (const drives::SerialNote note : device.notes) {
    const std::string_view name = drives::NoteName(note);
    names.emplace_back(name.begin(), name.end());
  }
  return names;
}

std::string CsvLine(const std::string& time, const drives::UsbDevice& device,
                    const drives::AllowedVerdict* allowed) {
  // One label per volume, in the volumes' order, so the list lines up with the volumes.
  std::vector<std::u16string> labels;
  for (const drives::Volume* volume : Volumes(device)) {
    labels.push_back(volume->label.value_or(u""));
  }
  const std::u16string digest =
      digest::DigestText(std::u16string_view(device.serial), serial::kDigestLength);
  std::vector<std::string> cells = {drives::CsvCell(Widen(time)),
                                    drives::CsvCell(device.serial),
                                    drives::CsvCell(digest),
                                    drives::CsvCell(Widen(drives::HexId(device.vendor))),
                                    drives::CsvCell(Widen(drives::HexId(device.product))),
                                    drives::CsvCell(device.device_id),
                                    drives::CsvListCell(MountPoints(device)),
                                    drives::CsvListCell(labels),
                                    drives::CsvListCell(NoteNames(device))};
  if (allowed != nullptr) {
    cells.emplace_back(allowed->allowed ? "true" : "false");
  }
  return drives::CsvLine(cells);
}

std::string Joined(const std::vector<std::u16string>& items, std::string_view none) {
  if (items.empty()) {
    return std::string(none);
  }
  std::string text = drives::ShownText(items.front());
  for (std::size_t i = 1; i < items.size(); ++i) {
    text += "," + drives::ShownText(items[i]);
  }
  return text;
}

std::string Line(WatchFormat format, const std::string& time, const drives::UsbDevice& device,
                 const drives::AllowedVerdict* allowed) {
  switch (format) {
    case WatchFormat::kJson: {
      std::string drive = drives::DriveJson(device);
      if (allowed != nullptr) {
        drive.insert(drive.size() - 1, drives::AllowedJsonFields(*allowed));
      }
      return R"({"schemaVersion":)" + std::to_string(drives::kJsonSchemaVersion) + R"(,"time":")" +
             time + R"(","drive":)" + drive + "}\n";
    }
    case WatchFormat::kCsv:
      return CsvLine(time, device, allowed);
    case WatchFormat::kText:
    case WatchFormat::kLog:
      break;
  }
  const std::string digest =
      Utf16ToUtf8(digest::DigestText(std::u16string_view(device.serial), serial::kDigestLength));
  return time + "  " + drives::ShownText(device.serial) + "  " + digest + "  " +
         drives::HexId(device.vendor) + ":" + drives::HexId(device.product) + "  " +
         Joined(MountPoints(device), "-") + "  " + Joined(NoteNames(device), "-") +
         (allowed != nullptr ? "  " + drives::AllowedText(*allowed) : std::string()) + "\n";
}

}  // namespace

bool LogRemovals(drives::LogSink& log, const std::vector<drives::UsbDevice>& gone,
                 std::string& error, const drives::AllowedList* allowed) {
  return drives::LogDrives(log, drives::LogEvent::kRemoved, gone, error, allowed);
}

int RunWatch(WatchFormat format, drives::DriveSource& drives, const OutputFacts& output,
             std::ostream& out, std::ostream& err, const drives::AllowedList* allowed) {
  std::string error;
  std::unique_ptr<drives::LogSink> log;
  if (format == WatchFormat::kLog) {
    log = drives::OpenSystemLog(error);
    if (!log) {
      return Fail(err, error, kExitFailure);
    }
  }
  const auto arrivals = drives::OpenDeviceArrivals(drives, drives::ScanDepth::kVolumes, error);
  if (!arrivals) {
    return Fail(err, error, kExitFailure);
  }
  if (log) {
    // An inventory needs the end of a stick's stay as much as its start.
    arrivals->ReportRemovals(true);
    // After a boot or a restart the log still names every drive plugged in.
    if (!drives::LogDrives(*log, drives::LogEvent::kPresent, arrivals->present(), error, allowed)) {
      return Fail(err, error, kExitFailure);
    }
  } else {
    arrivals->WatchOutput(output.descriptor);
  }
  err << kProgramName << ": watching for USB drives (" << arrivals->event_source()
      << " events); Ctrl-C ends\n";
  err.flush();
  if (format == WatchFormat::kCsv) {
    // Excel and WPS take UTF-8 without this mark for the system's code page (936 on
    // Chinese Windows); a program reading a pipe would take it for data.
    if (output.regular_file) {
      out << "\xEF\xBB\xBF";
    }
    out << "time,serial,digest,vendorId,productId,deviceId,mountPoints,labels,notes"
        << (allowed != nullptr ? ",allowed" : "") << "\r\n";
  }
  out.flush();
  for (;;) {
    const drives::DeviceArrivals::Result result = arrivals->Wait(std::nullopt);
    switch (result.outcome) {
      case drives::DeviceArrivals::Outcome::kInterrupted:
        // The program then ends by the signal itself.
        return 128 + result.signal;
      case drives::DeviceArrivals::Outcome::kOutputClosed:
        return kExitOk;
      case drives::DeviceArrivals::Outcome::kFailed:
        return Fail(err, result.error, kExitFailure);
      case drives::DeviceArrivals::Outcome::kArrived:
      case drives::DeviceArrivals::Outcome::kTimedOut:
      case drives::DeviceArrivals::Outcome::kRemoved:
        break;
    }
    if (log) {
      if (!drives::LogDrives(*log, drives::LogEvent::kArrived, result.devices, error, allowed) ||
          !LogRemovals(*log, result.removed, error, allowed)) {
        return Fail(err, error, kExitFailure);
      }
      continue;
    }
    // When the stick settled, which is when it can be used.
    const std::string time = Timestamp(Clock::now());
    for (const drives::UsbDevice& device : result.devices) {
      std::optional<drives::AllowedVerdict> verdict;
      if (allowed != nullptr) {
        verdict = drives::JudgeAllowed(*allowed, device);
      }
      out << Line(format, time, device, verdict ? &*verdict : nullptr);
      out.flush();
    }
    if (!out) {
      // RunCli says so, once.
      return kExitFailure;
    }
  }
}

}  // namespace vellmor::cli
