#include "read_commands.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <istream>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "base/utf.h"
#include "cli.h"
#include "digest_command.h"
#include "drives/device_arrivals.h"
#include "drives/drive_json.h"
#include "drives/json_text.h"
#include "drives/serial_notes.h"
#include "serial/cc.h"
#include "serial/device_id.h"
#include "serial/read_serial_command.h"
#include "serial/selection_rule.h"

namespace vellmor::cli {

namespace {

// The bytes of standard input up to its end; no value when reading fails.
std::optional<std::string> ReadAll(std::istream& in) {
  std::string bytes;
  std::array<char, std::size_t{64} * 1024> chunk{};
  while (in) {
    in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
    bytes.append(chunk.data(), static_cast<std::size_t>(in.gcount()));
  }
  if (in.bad()) {
    return std::nullopt;
  }
  return bytes;
}

// Standard input as text; on failure the exit status after the message.
std::optional<std::u16string> ReadInputText(std::istream& in, std::ostream& err, int& code) {
  const auto bytes = ReadAll(in);
  if (!bytes) {
    code = Fail(err, "cannot read standard input", kExitFailure);
    return std::nullopt;
  }
  auto text = Utf8ToUtf16(*bytes);
  if (!text) {
    code = Fail(err, "standard input is not valid UTF-8", kExitUsage);
  }
  return text;
}

// The window's two text boxes and its message box; the lines are written once the
// command is done.
class TerminalView : public serial::ReadSerialView {
 public:
  void SetText1(const std::u16string& text) override { m_text1 = text; }
  std::u16string Text1() const override { return m_text1; }
  // The command reports the warning; a terminal has no title bar for the title.
  void ShowWarning(std::u16string_view /*text*/, std::u16string_view /*title*/) override {}
  void SetText2(const std::u16string& /*text*/) override {}

 private:
  std::u16string m_text1;
};

// One line on standard error per note.
void WriteNoteLines(const std::vector<drives::SerialNote>& notes, std::ostream& err) {
  for (const drives::SerialNote note : notes) {
    err << kProgramName << ": note: " << drives::NoteText(note) << '\n';
  }
}

std::string_view StateName(serial::DeviceId::Kind kind) {
  switch (kind) {
    case serial::DeviceId::Kind::kText:
      return "text";
    case serial::DeviceId::Kind::kMissing:
      return "missing";
    case serial::DeviceId::Kind::kUnreadable:
      return "unreadable";
  }
  return "unreadable";
}

// One identifier a line; the end of the input ends the last line too.
std::vector<serial::DeviceId> SplitLines(std::u16string_view text) {
  std::vector<serial::DeviceId> ids;
  while (!text.empty()) {
    const std::size_t end = text.find(u'\n');
    std::u16string_view line = text.substr(0, end);
    if (line.ends_with(u'\r')) {
      line.remove_suffix(1);
    }
    ids.push_back(serial::DeviceId::Text(std::u16string(line)));
    if (end == std::u16string_view::npos) {
      break;
    }
    text.remove_prefix(end + 1);
  }
  return ids;
}

}  // namespace

int RunRead(const Options& options, serial::UsbHubSource& source, drives::DriveSource* drives,
            std::ostream& out, std::ostream& err) {
  TerminalView view;
  const serial::ShownSerial shown =
      serial::RunReadSerialCommand([&source] { return serial::CC(source); }, view);
  // What the digest was made of is the serial shown: one query per read.
  WriteCodePageNote(digest::CountFallenToQuestionMarks(shown.serial.value_or(u"")), err);
  std::optional<std::u16string> warning;
  if (shown.warned) {
    warning = std::u16string(serial::kWarningText);
  }

  const std::vector<drives::SerialNote> notes =
      drives != nullptr ? drives::NotesForShownSerial(*drives, view.Text1())
                        : std::vector<drives::SerialNote>();
  if (options.json) {
    // JSON tells "nothing matched" (null) from an empty serial.
    out << R"({"serial":)" << drives::JsonValue(shown.serial) << R"(,"digest":)"
        << drives::JsonString(shown.digest) << R"(,"warning":)" << drives::JsonValue(warning)
        << R"(,"notes":)" << drives::NotesJson(notes) << R"(,"schemaVersion":)"
        << drives::kJsonSchemaVersion << "}\n";
  } else {
    out << Utf16ToUtf8(view.Text1()) << '\n';
    if (warning) {
      err << Utf16ToUtf8(*warning) << '\n';
    }
    WriteNoteLines(notes, err);
    out << Utf16ToUtf8(shown.digest) << '\n';
  }
  return shown.warned ? kExitNoSerial : kExitOk;
}

int RunList(const Options& options, serial::UsbHubSource& source, std::ostream& out) {
  const serial::UsbHubListing listing =
      serial::ReadUsbHubListing(source).value_or(serial::UsbHubListing());
  const std::vector<serial::DeviceId>& ids = listing.ids;
  // Positions, ids.size() for none.
  const std::size_t chosen = serial::ChosenStorageIndex(ids, listing.storage).value_or(ids.size());
  const std::size_t last_with_vid = serial::ChosenIndex(ids).value_or(ids.size());

  if (options.json) {
    out << R"({"ids":[)";
    for (std::size_t i = 0; i < ids.size(); ++i) {
      const serial::DeviceId& id = ids[i];
      out << (i == 0 ? "" : ",") << R"({"deviceId":)"
          << (id.kind == serial::DeviceId::Kind::kText ? drives::JsonString(id.text) : "null")
          << R"(,"state":")" << StateName(id.kind) << R"(","storage":)"
          << (listing.storage[i] ? "true" : "false") << R"(,"chosen":)"
          << (chosen == i ? "true" : "false") << R"(,"lastWithVid":)"
          << (last_with_vid == i ? "true" : "false") << '}';
    }
    out << R"(],"serial":)" << drives::JsonValue(serial::SelectStorageSerial(listing))
        << R"(,"schemaVersion":)" << drives::kJsonSchemaVersion << "}\n";
    return kExitOk;
  }

  for (std::size_t i = 0; i < ids.size(); ++i) {
    // What the rule without the storage test would take is shown where it differs.
    out << (chosen == i ? "* " : last_with_vid == i ? "~ " : "  ");
    switch (ids[i].kind) {
      case serial::DeviceId::Kind::kText:
        out << Utf16ToUtf8(ids[i].text);
        break;
      case serial::DeviceId::Kind::kMissing:
        out << "(no DeviceID)";
        break;
      case serial::DeviceId::Kind::kUnreadable:
        out << "(unreadable)";
        break;
    }
    out << '\n';
  }
  return kExitOk;
}

int RunSelect(std::istream& in, std::ostream& out, std::ostream& err) {
  int code = kExitOk;
  const auto text = ReadInputText(in, err, code);
  if (!text) {
    return code;
  }
  const std::u16string serial = serial::SelectSerial(SplitLines(*text)).value_or(u"");
  out << Utf16ToUtf8(serial) << '\n';
  if (serial.empty()) {
    err << Utf16ToUtf8(serial::kWarningText) << '\n';
    return kExitNoSerial;
  }
  return kExitOk;
}

std::optional<int> WaitForDrive(std::optional<std::chrono::milliseconds> timeout,
                                drives::DriveSource& drives, std::ostream& err) {
  std::string error;
  const auto arrivals = drives::OpenDeviceArrivals(drives, drives::ScanDepth::kUnits, error);
  if (!arrivals) {
    err << kProgramName << ": cannot wait for a drive: " << error << '\n';
    return std::nullopt;
  }
  // A Ctrl-C during the first scan counts: nothing is read.
  if (const int signal = drives::ReceivedInterrupt(); signal != 0) {
    return 128 + signal;
  }
  const auto& present = arrivals->present();
  if (std::any_of(present.begin(), present.end(),
                  [](const drives::UsbDevice& device) { return device.mass_storage; })) {
    return std::nullopt;
  }
  const auto result = arrivals->Wait(timeout);
  if (result.outcome == drives::DeviceArrivals::Outcome::kInterrupted) {
    return 128 + result.signal;
  }
  if (result.outcome == drives::DeviceArrivals::Outcome::kFailed) {
    err << kProgramName << ": " << result.error << '\n';
  }
  return std::nullopt;
}

}  // namespace vellmor::cli
