#include "log_event.h"

#include <algorithm>
#include <optional>

#include "base/utf.h"
#include "digest/digest.h"
#include "drive_json.h"
#include "drive_text.h"
#include "serial/read_serial_command.h"
#include "serial_notes.h"

namespace vellmor::drives {

namespace {

std::vector<const Volume*> Volumes(const UsbDevice& device) {
  std::vector<const Volume*> volumes;
  for (const Disk& disk : device.disks) {
    volumes.push_back(&disk.volume);
    for (const Volume& partition : disk.partitions) {
      volumes.push_back(&partition);
    }
  }
  return volumes;
}

// One item per line; an item's own controls as \xNN, so a label cannot add an item.
std::string Lines(const std::vector<std::u16string>& items) {
  std::string text;
  for (std::size_t i = 0; i < items.size(); ++i) {
    text += (i == 0 ? "" : "\n") + ShownText(items[i]);
  }
  return text;
}

std::string Message(LogEvent event, const UsbDevice& device, const AllowedVerdict* allowed) {
  std::string message;
  switch (event) {
    case LogEvent::kPresent:
      message = "USB drive present";
      break;
    case LogEvent::kArrived:
      message = "USB drive plugged in";
      break;
    case LogEvent::kRemoved:
      message = "USB drive removed";
      break;
  }
  message += ": serial " + ShownText(device.serial) + ", " + HexId(device.vendor) + ":" +
             HexId(device.product);
  for (const auto* name : {&device.manufacturer, &device.product_name}) {
    if (*name && !(*name)->empty()) {
      message += " " + ShownText(**name);
    }
  }
  message += ", at " + (device.port ? ShownText(*device.port) : std::string("an unknown port"));
  if (allowed != nullptr) {
    message += allowed->allowed ? ", allowed" : ", not allowed";
  }
  return message;
}

}  // namespace

std::string_view LogEventName(LogEvent event) {
  switch (event) {
    case LogEvent::kPresent:
      return "present";
    case LogEvent::kArrived:
      return "arrived";
    case LogEvent::kRemoved:
      break;
  }
  return "removed";
}

std::string_view LogMessageId(LogEvent event) {
  switch (event) {
    case LogEvent::kPresent:
      return "0326c970bdac4b4ba3dc20cda2a78317";
    case LogEvent::kArrived:
      return "c7baa10749b444458edb161f02d96763";
    case LogEvent::kRemoved:
      break;
  }
  return "5c1ec34a9a544a39b09199160db2ca7c";
}

unsigned LogEventId(LogEvent event, bool allowed_list) {
  const unsigned facility = allowed_list ? 0x00010000U : 0U;
  switch (event) {
    case LogEvent::kArrived:
      return facility | 1U;
    case LogEvent::kRemoved:
      return facility | 2U;
    case LogEvent::kPresent:
      break;
  }
  return facility | 3U;
}

bool SerialIsAmbiguous(const UsbDevice& device) {
  // Short and unreadable media are worth a look but do not make the serial shared.
  return std::any_of(device.notes.begin(), device.notes.end(), [](SerialNote note) {
    return note == SerialNote::kMadeUp || note == SerialNote::kPlaceholder ||
           note == SerialNote::kShared || note == SerialNote::kCardReader;
  });
}

int LogPriority(const UsbDevice& device, const AllowedVerdict* allowed) {
  return SerialIsAmbiguous(device) || (allowed != nullptr && !allowed->allowed) ? 4 : 6;
}

std::vector<LogField> LogFields(LogEvent event, const UsbDevice& device,
                                const AllowedVerdict* allowed) {
  std::vector<LogField> fields = {
      {"MESSAGE", Message(event, device, allowed)},
      {"MESSAGE_ID", std::string(LogMessageId(event))},
      {"PRIORITY", std::to_string(LogPriority(device, allowed))},
      {"SYSLOG_IDENTIFIER", "vellmor-cli"},
      {"VELLMOR_SCHEMA_VERSION", std::to_string(kJsonSchemaVersion)},
      {"VELLMOR_EVENT", std::string(LogEventName(event))},
      {"VELLMOR_SERIAL", Utf16ToUtf8(device.serial)},
      {"VELLMOR_DIGEST",
       Utf16ToUtf8(digest::DigestText(std::u16string_view(device.serial), serial::kDigestLength))},
      {"VELLMOR_DEVICE_ID", Utf16ToUtf8(device.device_id)},
      {"VELLMOR_VENDOR_ID", HexId(device.vendor)},
      {"VELLMOR_PRODUCT_ID", HexId(device.product)},
  };
  const auto optional = [&](std::string name, const std::optional<std::u16string>& value) {
    if (value) {
      fields.push_back({std::move(name), Utf16ToUtf8(*value)});
    }
  };
  optional("VELLMOR_MANUFACTURER", device.manufacturer);
  optional("VELLMOR_PRODUCT", device.product_name);
  optional("VELLMOR_LOCATION", device.port);

  std::vector<std::u16string> notes;
  for (const SerialNote note : device.notes) {
    const std::string_view name = NoteName(note);
    notes.emplace_back(name.begin(), name.end());
  }
  std::vector<std::u16string> mounts;
  std::vector<std::u16string> labels;
  for (const Volume* volume : Volumes(device)) {
    mounts.insert(mounts.end(), volume->mount_points.begin(), volume->mount_points.end());
    if (volume->label) {
      labels.push_back(*volume->label);
    }
  }
  fields.push_back({"VELLMOR_NOTES", Lines(notes)});
  fields.push_back({"VELLMOR_MOUNT_POINTS", Lines(mounts)});
  fields.push_back({"VELLMOR_LABELS", Lines(labels)});
  std::string drive = DriveJson(device);
  if (allowed != nullptr) {
    // The drive object as drives --json --allowed gives it.
    drive.insert(drive.size() - 1, AllowedJsonFields(*allowed));
  }
  fields.push_back({"VELLMOR_DRIVE_JSON", std::move(drive)});
  if (allowed != nullptr) {
    fields.push_back({"VELLMOR_ALLOWED", allowed->allowed ? "1" : "0"});
  }
  return fields;
}

const std::vector<std::string_view>& InsertionFieldNames(bool allowed_list) {
  static const std::vector<std::string_view> names = {
      "VELLMOR_SCHEMA_VERSION", "VELLMOR_EVENT",      "VELLMOR_SERIAL",     "VELLMOR_DIGEST",
      "VELLMOR_DEVICE_ID",      "VELLMOR_VENDOR_ID",  "VELLMOR_PRODUCT_ID", "VELLMOR_MANUFACTURER",
      "VELLMOR_PRODUCT",        "VELLMOR_LOCATION",   "VELLMOR_NOTES",      "VELLMOR_MOUNT_POINTS",
      "VELLMOR_LABELS",         "VELLMOR_DRIVE_JSON",
  };
  // Appended, so that a collector reading the strings by position keeps its places.
  static const std::vector<std::string_view> with_allowed = [] {
    std::vector<std::string_view> more = names;
    more.emplace_back("VELLMOR_ALLOWED");
    return more;
  }();
  return allowed_list ? with_allowed : names;
}

bool LogDrives(LogSink& sink, LogEvent event, const std::vector<UsbDevice>& devices,
               std::string& error, const AllowedList* allowed) {
  for (const UsbDevice& device : devices) {
    if (!device.mass_storage) {
      continue;
    }
    std::optional<AllowedVerdict> verdict;
    if (allowed != nullptr) {
      verdict = JudgeAllowed(*allowed, device);
    }
    if (!sink.Write(event, device, verdict ? &*verdict : nullptr, error)) {
      return false;
    }
  }
  return true;
}

}  // namespace vellmor::drives
