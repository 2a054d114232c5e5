#include "history_command.h"

#include <ostream>
#include <vector>

#include "allowed_command.h"
#include "base/utf.h"
#include "cli.h"
#include "digest/digest.h"
#include "drives/drive_json.h"
#include "drives/drive_text.h"
#include "drives/json_text.h"
#include "drives/serial_notes.h"
#include "drives/stick_history.h"
#include "serial/read_serial_command.h"

namespace vellmor::cli {

namespace {

std::vector<std::u16string> SourceNames(unsigned sources) {
  std::vector<std::u16string> names;
  if ((sources & drives::kOwnEvents) != 0) {
    names.emplace_back(u"vellmor");
  }
  if ((sources & drives::kKernelLog) != 0) {
    names.emplace_back(u"kernel");
  }
  if ((sources & drives::kDeviceStore) != 0) {
    names.emplace_back(u"deviceStore");
  }
  return names;
}

std::vector<std::u16string> NoteNames(const std::vector<drives::SerialNote>& notes) {
  std::vector<std::u16string> names;
  for (const drives::SerialNote note : notes) {
    const std::string_view name = drives::NoteName(note);
    names.emplace_back(name.begin(), name.end());
  }
  return names;
}

std::u16string Widen(const std::string& ascii) { return {ascii.begin(), ascii.end()}; }

// 0: no source kept a time for the stick.
std::optional<std::string> Time(std::uint64_t usec) {
  return usec == 0 ? std::nullopt : std::optional(drives::UtcTime(usec));
}

std::string TimeJson(std::uint64_t usec) {
  const auto time = Time(usec);
  return time ? '"' + *time + '"' : std::string("null");
}

std::string StickJson(const drives::StickRecord& stick, const std::string& allowed) {
  const drives::UsbDevice& device = stick.device;
  std::string sources = "[";
  for (const std::u16string& name : SourceNames(stick.sources)) {
    sources += (sources.size() == 1 ? "" : ",") + drives::JsonString(name);
  }
  return R"({"vendorId":")" + drives::HexId(device.vendor) + R"(","productId":")" +
         drives::HexId(device.product) + R"(","serial":)" + drives::JsonString(device.serial) +
         R"(,"digest":)" +
         drives::JsonString(
             digest::DigestText(std::u16string_view(device.serial), serial::kDigestLength)) +
         R"(,"deviceId":)" +
         (device.device_id.empty() ? std::string("null") : drives::JsonString(device.device_id)) +
         R"(,"manufacturer":)" + drives::JsonValue(device.manufacturer) + R"(,"product":)" +
         drives::JsonValue(device.product_name) + R"(,"firstSeen":)" +
         TimeJson(stick.first_seen_usec) + R"(,"lastSeen":)" + TimeJson(stick.last_seen_usec) +
         R"(,"arrivals":)" + std::to_string(stick.arrivals) + R"(,"lastLocation":)" +
         drives::JsonValue(device.port) + R"(,"notes":)" + drives::NotesJson(device.notes) +
         R"(,"sources":)" + sources + "]" + allowed + "}";
}

}  // namespace

int RunHistory(const Options& options, std::ostream& out, std::ostream& err,
               const std::optional<std::string>& journal_directory) {
  std::optional<drives::AllowedList> allowed;
  if (options.allowed && !(allowed = LoadAllowedList(*options.allowed, err))) {
    return kExitUsage;
  }
  drives::StickHistory history;
  std::string error;
  std::string unread;
  if (!drives::ReadStickLog(history, journal_directory, options.since, error, unread)) {
    return Fail(err, "history: " + error, kExitFailure);
  }
  // What was read still prints; the status stays that of the rows.
  if (!unread.empty()) {
    err << kProgramName << ": history: note: " << unread << '\n';
  }
  const std::vector<drives::StickRecord> sticks = history.Sticks();
  bool all_allowed = true;
  std::vector<std::string> json;
  if (options.csv) {
    std::vector<std::string> header = {
        "vendorId",  "productId", "serial",   "digest",       "deviceId", "manufacturer", "product",
        "firstSeen", "lastSeen",  "arrivals", "lastLocation", "notes",    "sources"};
    if (allowed) {
      header.emplace_back("allowed");
    }
    out << drives::CsvLine(header);
  }
  for (const drives::StickRecord& stick : sticks) {
    const drives::UsbDevice& device = stick.device;
    std::optional<drives::AllowedVerdict> verdict;
    if (allowed) {
      verdict = drives::JudgeAllowed(*allowed, device);
      all_allowed = all_allowed && verdict->allowed;
    }
    const std::u16string digest =
        digest::DigestText(std::u16string_view(device.serial), serial::kDigestLength);
    if (options.json) {
      json.push_back(StickJson(stick, verdict ? drives::AllowedJsonFields(*verdict) : ""));
    } else if (options.csv) {
      std::vector<std::string> cells = {
          drives::CsvCell(Widen(drives::HexId(device.vendor))),
          drives::CsvCell(Widen(drives::HexId(device.product))),
          drives::CsvCell(device.serial),
          drives::CsvCell(digest),
          drives::CsvCell(device.device_id),
          drives::CsvCell(device.manufacturer.value_or(u"")),
          drives::CsvCell(device.product_name.value_or(u"")),
          drives::CsvCell(Widen(Time(stick.first_seen_usec).value_or(""))),
          drives::CsvCell(Widen(Time(stick.last_seen_usec).value_or(""))),
          drives::CsvCell(Widen(std::to_string(stick.arrivals))),
          drives::CsvCell(device.port.value_or(u"")),
          drives::CsvListCell(NoteNames(device.notes)),
          drives::CsvListCell(SourceNames(stick.sources))};
      if (verdict) {
        cells.push_back(verdict->allowed ? "true" : "false");
      }
      out << drives::CsvLine(cells);
    } else {
      out << (device.device_id.empty() ? std::string("(no device id)")
                                       : drives::ShownText(device.device_id))
          << '\n'
          << "  serial " << drives::ShownText(device.serial) << "  digest " << Utf16ToUtf8(digest)
          << '\n'
          << "  " << drives::HexId(device.vendor) << ':' << drives::HexId(device.product);
      for (const auto& name : {device.manufacturer, device.product_name}) {
        if (name) {
          out << "  " << drives::ShownText(*name);
        }
      }
      out << "\n  first seen " << Time(stick.first_seen_usec).value_or("unknown") << "  last seen "
          << Time(stick.last_seen_usec).value_or("unknown") << "  arrivals " << stick.arrivals;
      if (device.port) {
        out << "  last at " << drives::ShownText(*device.port);
      }
      out << "\n  seen by";
      for (const std::u16string& name : SourceNames(stick.sources)) {
        out << ' ' << Utf16ToUtf8(name);
      }
      out << '\n';
      for (const drives::SerialNote note : device.notes) {
        out << "  note: " << drives::NoteText(note) << '\n';
      }
      if (verdict) {
        out << "  " << drives::AllowedText(*verdict) << '\n';
      }
    }
  }
  if (options.json) {
    out << R"({"schemaVersion":)" << drives::kJsonSchemaVersion << R"(,"sticks":[)";
    for (std::size_t i = 0; i < json.size(); ++i) {
      out << (i == 0 ? "" : ",") << json[i];
    }
    out << "]}\n";
  }
  return all_allowed ? kExitOk : kExitNoSerial;
}

}  // namespace vellmor::cli
