// The Linux USB source over arbitrary sysfs contents: every DeviceID it reports
// must be one Windows could report (three pieces, printable ASCII, the hardware
// piece in its fixed form), and CC must agree with the identifiers it lists.
//
// Input: lines building <root>/bus/usb/devices, applied in order.
//   D <name>              a device or interface directory, which later lines fill
//   A <attribute> <value> the attribute file holding value and a line break
//   R <attribute> <value> the same without the line break
//   B <attribute> <count> <value>  value repeated to count bytes (at most 128 KiB)
//   H <attribute> <hex>   the bytes the hex digit pairs spell (other characters skipped)
//   X <attribute>         a directory where the attribute file should be
//   S <name> <target>     a symbolic link in the listing to another entry
// In names and values, \xNN is the byte NN, so line breaks, control characters
// and invalid UTF-8 can occur. Attributes are the ones the source reads.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include <unistd.h>

#include "fuzz_check.h"
#include "serial/cc.h"
#include "serial/selection_rule.h"
#include "serial/sysfs_usb_hub_source.h"

namespace {

namespace fs = std::filesystem;

using vellmor::serial::DeviceId;

constexpr std::size_t kMaxBigFile = std::size_t{128} * 1024;
constexpr std::string_view kAttributes[] = {"descriptors", "serial"};

// One folder for the whole run, under TMPDIR when it is set; each input
// rewrites the listing inside it. On a disk file system, creating and deleting
// that many inodes is the whole cost: tmpfs runs the same inputs far faster.
const fs::path& Root() {
  static const fs::path root = [] {
    std::error_code error;
    const char* tmpdir = std::getenv("TMPDIR");
    fs::path base = fs::temp_directory_path(error);
    if ((tmpdir == nullptr || *tmpdir == '\0') && fs::is_directory("/dev/shm", error)) {
      base = "/dev/shm";
    }
    std::string pattern = (base / "vellmor-sysfs-fuzz-XXXXXX").string();
    FUZZ_CHECK(mkdtemp(pattern.data()) != nullptr);
    return fs::path(pattern);
  }();
  // Registered after root is built, so it runs before root is destroyed.
  static const int removal = std::atexit([] {
    std::error_code ignored;
    fs::remove_all(Root(), ignored);
  });
  static_cast<void>(removal);
  return root;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string Unescape(std::string_view text) {
  std::string bytes;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x' &&
        HexValue(text[i + 2]) >= 0 && HexValue(text[i + 3]) >= 0) {
      bytes.push_back(static_cast<char>(HexValue(text[i + 2]) * 16 + HexValue(text[i + 3])));
      i += 3;
    } else {
      bytes.push_back(text[i]);
    }
  }
  return bytes;
}

// Binary attributes such as descriptors, written compactly.
std::string FromHex(std::string_view text) {
  std::string bytes;
  int high = -1;
  for (const char c : text) {
    const int value = HexValue(c);
    if (value < 0) {
      continue;
    }
    if (high < 0) {
      high = value;
    } else {
      bytes.push_back(static_cast<char>(high * 16 + value));
      high = -1;
    }
  }
  return bytes;
}

// The first word of text, and text moves past it and one blank.
std::string_view TakeWord(std::string_view& text) {
  const std::size_t blank = text.find(' ');
  const std::string_view word = text.substr(0, blank);
  text = blank == std::string_view::npos ? std::string_view() : text.substr(blank + 1);
  return word;
}

// A single entry of the listing; anything that would leave it is refused.
bool IsEntryName(std::string_view name) {
  return !name.empty() && name.size() < 256 && name != "." && name != ".." &&
         name.find('/') == std::string_view::npos && name.find('\0') == std::string_view::npos;
}

bool IsAttribute(std::string_view name) {
  return std::find(std::begin(kAttributes), std::end(kAttributes), name) != std::end(kAttributes);
}

void WriteFile(const fs::path& path, std::string_view bytes) {
  std::error_code ignored;
  fs::remove_all(path, ignored);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void BuildListing(const fs::path& listing, std::string_view input) {
  std::error_code ignored;
  fs::path current;
  while (!input.empty()) {
    const std::size_t end = input.find('\n');
    std::string_view line = input.substr(0, end);
    input = end == std::string_view::npos ? std::string_view() : input.substr(end + 1);

    const std::string_view op = TakeWord(line);
    if (op == "D") {
      const std::string name = Unescape(line);
      if (IsEntryName(name)) {
        current = listing / name;
        fs::create_directories(current, ignored);
      }
    } else if (op == "S") {
      const std::string name = Unescape(TakeWord(line));
      const std::string target = Unescape(line);
      if (IsEntryName(name) && IsEntryName(target)) {
        fs::create_symlink(target, listing / name, ignored);
      }
    } else if (!current.empty() &&
               (op == "A" || op == "R" || op == "B" || op == "H" || op == "X")) {
      const std::string_view attribute = TakeWord(line);
      if (!IsAttribute(attribute) || !fs::is_directory(current, ignored)) {
        continue;
      }
      const fs::path file = current / attribute;
      if (op == "X") {
        fs::remove_all(file, ignored);
        fs::create_directory(file, ignored);
      } else if (op == "B") {
        const std::size_t count = std::min<std::size_t>(
            std::strtoul(std::string(TakeWord(line)).c_str(), nullptr, 10), kMaxBigFile);
        const std::string unit = Unescape(line);
        std::string bytes;
        while (!unit.empty() && bytes.size() < count) {
          bytes.append(unit, 0, std::min(unit.size(), count - bytes.size()));
        }
        WriteFile(file, bytes);
      } else if (op == "H") {
        WriteFile(file, FromHex(line));
      } else {
        WriteFile(file, Unescape(line) + (op == "A" ? "\n" : ""));
      }
    }
  }
}

bool IsUpperHex(std::u16string_view text) {
  return std::all_of(text.begin(), text.end(), [](char16_t c) {
    return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F');
  });
}

// USB\<hardware>\<instance>, as Windows forms them: the instance holds no
// backslash (nor a comma, a control character or anything beyond ASCII), so
// the last piece is the whole instance.
void CheckWellFormed(const std::u16string& id) {
  FUZZ_CHECK(std::count(id.begin(), id.end(), u'\\') == 2);
  const std::size_t first = id.find(u'\\');
  const std::size_t second = id.find(u'\\', first + 1);
  const std::u16string_view bus = std::u16string_view(id).substr(0, first);
  const std::u16string_view hardware =
      std::u16string_view(id).substr(first + 1, second - first - 1);
  const std::u16string_view instance = std::u16string_view(id).substr(second + 1);
  FUZZ_CHECK(bus == u"USB");

  const bool rootHub =
      hardware == u"ROOT_HUB" || hardware == u"ROOT_HUB20" || hardware == u"ROOT_HUB30";
  const bool device = hardware.size() == 17 && hardware.substr(0, 4) == u"VID_" &&
                      IsUpperHex(hardware.substr(4, 4)) && hardware.substr(8, 5) == u"&PID_" &&
                      IsUpperHex(hardware.substr(13, 4));
  FUZZ_CHECK(rootHub || device);

  FUZZ_CHECK(!instance.empty());
  for (const char16_t c : instance) {
    FUZZ_CHECK(c >= 0x20 && c <= 0x7F && c != u',' && !(c >= u'a' && c <= u'z'));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fs::path listing = Root() / "bus" / "usb" / "devices";
  std::error_code ignored;
  fs::remove_all(listing, ignored);
  fs::create_directories(listing, ignored);
  BuildListing(listing, std::string_view(reinterpret_cast<const char*>(data), size));

  vellmor::serial::SysfsUsbHubSource source(Root());
  const std::vector<DeviceId> ids = vellmor::serial::CollectDeviceIds(source);
  for (const DeviceId& id : ids) {
    if (id.kind == DeviceId::Kind::kText) {
      CheckWellFormed(id.text);
    }
  }
  FUZZ_CHECK(vellmor::serial::CC(source) == vellmor::serial::SelectSerial(ids));
  return 0;
}
