// The selection rule and CC over arbitrary DeviceID lists, against a plain
// restatement of the rule: the last piece of the last identifier holding "VID".
//
// Input: records separated by '\n'. A record's first byte says what the source
// does at that point: 'M' a result without DeviceID, 'U' a DeviceID that cannot
// be read, 'F' a failed fetch (the scan ends there), 'B', 'Q' or 'S' a failed
// bind, query or start of the enumeration. Any other record is a DeviceID text.
// In a text, 0xFF and the two bytes after it are one UTF-16 code unit (high byte
// first), so line breaks and surrogates can occur; any other byte is the code
// unit of the same value.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "serial/cc.h"
#include "serial/selection_rule.h"

namespace {

using vellmor::serial::DeviceId;
using vellmor::serial::SerialValue;
using vellmor::serial::UsbHubResults;
using vellmor::serial::UsbHubService;
using vellmor::serial::UsbHubSource;

struct Script {
  bool bindFails = false;
  bool queryFails = false;
  bool startFails = false;
  // A failed fetch is the position in ids where it happens.
  std::optional<std::size_t> fetchFailsAt;
  std::vector<DeviceId> ids;
};

std::u16string DecodeText(std::string_view bytes) {
  std::u16string text;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const auto byte = static_cast<unsigned char>(bytes[i]);
    if (byte == 0xFF && i + 2 < bytes.size()) {
      const auto high = static_cast<unsigned char>(bytes[i + 1]);
      const auto low = static_cast<unsigned char>(bytes[i + 2]);
      text.push_back(static_cast<char16_t>(high << 8 | low));
      i += 2;
    } else {
      text.push_back(static_cast<char16_t>(byte));
    }
  }
  return text;
}

Script ParseScript(std::string_view input) {
  Script script;
  while (!input.empty()) {
    const std::size_t end = input.find('\n');
    const std::string_view record = input.substr(0, end);
    input = end == std::string_view::npos ? std::string_view() : input.substr(end + 1);

    const char kind = record.empty() ? '\0' : record.front();
    switch (kind) {
      case 'M':
        script.ids.push_back(DeviceId::Missing());
        break;
      case 'U':
        script.ids.push_back(DeviceId::Unreadable());
        break;
      case 'F':
        if (!script.fetchFailsAt) {
          script.fetchFailsAt = script.ids.size();
        }
        break;
      case 'B':
        script.bindFails = true;
        break;
      case 'Q':
        script.queryFails = true;
        break;
      case 'S':
        script.startFails = true;
        break;
      default:
        script.ids.push_back(DeviceId::Text(DecodeText(record)));
        break;
    }
  }
  return script;
}

class ScriptedResults : public UsbHubResults {
 public:
  explicit ScriptedResults(const Script& script) : m_script(script) {}

  bool StartEnumeration() override { return !m_script.startFails; }

  Fetch Next() override {
    ++m_position;
    if (m_script.fetchFailsAt && m_position == *m_script.fetchFailsAt) {
      return Fetch::kFailed;
    }
    return m_position < m_script.ids.size() ? Fetch::kItem : Fetch::kEnd;
  }

  DeviceId ReadDeviceId() override {
    FUZZ_CHECK(m_position < m_script.ids.size());
    return m_script.ids[m_position];
  }

 private:
  const Script& m_script;
  std::size_t m_position = static_cast<std::size_t>(-1);
};

class ScriptedService : public UsbHubService {
 public:
  explicit ScriptedService(const Script& script) : m_script(script) {}

  std::unique_ptr<UsbHubResults> ExecQuery(std::u16string_view query) override {
    if (query == vellmor::serial::kUsbStorageQuery) {
      // The storage devices: every identifier without "&", so none names an interface.
      m_storage.ids.clear();
      for (const DeviceId& id : m_script.ids) {
        if (IsStorage(id)) {
          m_storage.ids.push_back(id);
        }
      }
      return std::make_unique<ScriptedResults>(m_storage);
    }
    FUZZ_CHECK(query == vellmor::serial::kUsbHubQuery);
    if (m_script.queryFails) {
      return nullptr;
    }
    return std::make_unique<ScriptedResults>(m_script);
  }

  static bool IsStorage(const DeviceId& id) {
    return id.kind == DeviceId::Kind::kText && id.text.find(u'&') == std::u16string::npos;
  }

 private:
  const Script& m_script;
  Script m_storage;
};

class ScriptedSource : public UsbHubSource {
 public:
  explicit ScriptedSource(const Script& script) : m_script(script) {}

  std::unique_ptr<UsbHubService> Bind(std::u16string_view moniker) override {
    FUZZ_CHECK(moniker == u"winmgmts:\\\\.\\root\\cimv2");
    if (m_script.bindFails) {
      return nullptr;
    }
    return std::make_unique<ScriptedService>(m_script);
  }

 private:
  const Script& m_script;
};

// The rule restated without the code under test.
SerialValue ExpectedSerial(const std::vector<DeviceId>& ids, std::size_t count,
                           bool storage_only = false) {
  SerialValue value;
  for (std::size_t i = 0; i < count; ++i) {
    const DeviceId& id = ids[i];
    if (id.kind != DeviceId::Kind::kText || id.text.find(u"VID") == std::u16string::npos ||
        (storage_only && !ScriptedService::IsStorage(id))) {
      continue;
    }
    const std::size_t separator = id.text.rfind(u'\\');
    value = separator == std::u16string::npos ? id.text : id.text.substr(separator + 1);
  }
  return value;
}

void CheckSelection(const std::vector<DeviceId>& ids) {
  const SerialValue selected = vellmor::serial::SelectSerial(ids);
  FUZZ_CHECK(selected == ExpectedSerial(ids, ids.size()));

  std::optional<std::size_t> expectedChosen;
  for (std::size_t i = 0; i < ids.size(); ++i) {
    const DeviceId& id = ids[i];
    const bool matches =
        id.kind == DeviceId::Kind::kText && id.text.find(u"VID") != std::u16string::npos;
    FUZZ_CHECK(id.kind != DeviceId::Kind::kText ||
               vellmor::serial::MatchesVidPattern(id.text) == matches);
    if (matches) {
      expectedChosen = i;
    }
  }
  FUZZ_CHECK(vellmor::serial::ChosenIndex(ids) == expectedChosen);
  FUZZ_CHECK(selected.has_value() == expectedChosen.has_value());
  if (expectedChosen) {
    // The serial is the chosen identifier's text after its last backslash.
    const std::u16string& text = ids[*expectedChosen].text;
    const std::u16string& piece = *selected;
    FUZZ_CHECK(piece.find(u'\\') == std::u16string::npos);
    FUZZ_CHECK(piece.size() <= text.size());
    FUZZ_CHECK(text.compare(text.size() - piece.size(), piece.size(), piece) == 0);
    FUZZ_CHECK(piece.size() == text.size() || text[text.size() - piece.size() - 1] == u'\\');
    FUZZ_CHECK(vellmor::serial::LastPiece(text) == piece);
  }
}

void CheckCc(const Script& script) {
  const bool noResults = script.bindFails || script.queryFails || script.startFails;
  const std::size_t delivered = noResults ? 0 : script.fetchFailsAt.value_or(script.ids.size());

  ScriptedSource source(script);
  const std::vector<DeviceId> collected = vellmor::serial::CollectDeviceIds(source);
  FUZZ_CHECK(collected.size() == delivered);
  for (std::size_t i = 0; i < delivered; ++i) {
    FUZZ_CHECK(collected[i] == script.ids[i]);
  }
  // The read takes the last storage device among those the hub query delivered.
  FUZZ_CHECK(vellmor::serial::CC(source) == ExpectedSerial(script.ids, delivered, true));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Script script = ParseScript(std::string_view(reinterpret_cast<const char*>(data), size));
  CheckSelection(script.ids);
  CheckCc(script);
  return 0;
}
