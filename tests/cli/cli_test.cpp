#include "cli/cli.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "base/utf.h"
#include "base/version.h"
#include "cli/check_command.h"
#include "cli/options.h"
#include "cli/usage.h"
#include "cli/watch_command.h"
#include "digest/digest.h"
#include "fake_log_sink.h"
#include "outcome.h"
#include "serial/device_id.h"
#include "serial/usb_hub_source.h"
#include "usb_descriptor_bytes.h"

namespace vellmor::cli {
namespace {

namespace fs = std::filesystem;
using serial::DeviceId;

// Digests worked out apart from the program: `printf AB12CD34 | md5sum`,
// `printf abc | md5sum`, `printf 'abc\n' | md5sum` and `printf '' | md5sum`.
constexpr std::string_view kSerialDigest = "EB1DEF2FBD36FAA7E9316A54D75FA457";
constexpr std::string_view kAbcDigest = "900150983CD24FB0D6963F7D28E17F72";
constexpr std::string_view kAbcNewlineDigest = "0BEE89B07A248E27C83FC3D5951213C1";
constexpr std::string_view kEmptyDigest = "D41D8CD98F00B204E9800998ECF8427E";
// The kernel's `descriptors` attribute: a USB 2.0 root hub (1D6B:0002, one hub interface),
// and a flash drive (0781:5567, serial string 3, one mass-storage interface).
const std::string kRootHubDescriptors(
    "\x12\x01\x00\x02\x09\x00\x01\x40\x6b\x1d\x02\x00\x01\x06\x03\x02\x01\x01"
    "\x09\x02\x12\x00\x01\x01\x00\xe0\x00"
    "\x09\x04\x00\x00\x01\x09\x00\x00\x00",
    36);
const std::string kDriveDescriptors(
    "\x12\x01\x00\x02\x00\x00\x00\x40\x81\x07\x67\x55\x00\x01\x01\x02\x03\x01"
    "\x09\x02\x12\x00\x01\x01\x00\x80\x32"
    "\x09\x04\x00\x00\x02\x08\x06\x50\x00",
    36);
// "中" is D6 D0 in code page 936, a negative 16-bit code, so its packed block is
// x[0] = 0xFFFFD6D0 (the end marker's 0x80 falls inside the sign bits), x[14] = 8,
// the rest 0. This is the MD5 compression of that one block, as it stands, run
// by a separate from-scratch Python MD5.
constexpr std::string_view kZhongDigest = "6CBA308F8D5F2B49971DBB43879A078C";

// Both the bound service and the result collection it hands out.
class Scripted : public serial::UsbHubService, public serial::UsbHubResults {
 public:
  explicit Scripted(std::vector<DeviceId> ids) : m_ids(std::move(ids)) {}
  std::unique_ptr<serial::UsbHubResults> ExecQuery(std::u16string_view /*query*/) override {
    return std::make_unique<Scripted>(m_ids);
  }
  bool StartEnumeration() override { return true; }
  Fetch Next() override { return m_next == m_ids.size() ? Fetch::kEnd : (++m_next, Fetch::kItem); }
  DeviceId ReadDeviceId() override { return m_ids[m_next - 1]; }

 private:
  std::vector<DeviceId> m_ids;
  std::size_t m_next = 0;
};

// Stands in for the system's device list; counts the queries it answers.
class ScriptedSource : public serial::UsbHubSource {
 public:
  ScriptedSource(std::vector<DeviceId> ids, int& binds) : m_ids(std::move(ids)), m_binds(binds) {}
  std::unique_ptr<serial::UsbHubService> Bind(std::u16string_view /*moniker*/) override {
    ++m_binds;
    return std::make_unique<Scripted>(m_ids);
  }

 private:
  std::vector<DeviceId> m_ids;
  int& m_binds;
};

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    m_root = fs::temp_directory_path() / (std::string("vellmor_cli_test_") + info->name());
    fs::remove_all(m_root);
    WriteFile("bus/usb/devices/usb1/descriptors", kRootHubDescriptors);
  }
  void TearDown() override { fs::remove_all(m_root); }

  void WriteFile(const std::string& relative, const std::string& text) {
    const fs::path file = m_root / relative;
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
  }

  // A flash drive on port 1 of the root hub, its serial in lower case as the kernel keeps it.
  void PlugDrive() {
    WriteFile("bus/usb/devices/1-1/descriptors", kDriveDescriptors);
    WriteFile("bus/usb/devices/1-1/serial", "ab12cd34\n");
  }

  std::vector<std::string> WithRoot(std::vector<std::string> args) const {
    args.push_back("--sysfs-root");
    args.push_back(m_root.string());
    return args;
  }

  Outcome Cli(const std::vector<std::string>& args, const std::string& input = {}) {
    std::istringstream in(input);
    std::ostringstream out;
    std::ostringstream err;
    Outcome run;
    run.code = RunCli(args, in, out, err,
                      [this] { return std::make_unique<ScriptedSource>(m_scripted_ids, m_binds); });
    run.out = out.str();
    run.err = err.str();
    return run;
  }

  fs::path m_root;
  std::vector<DeviceId> m_scripted_ids;
  int m_binds = 0;
};

std::string Lines(std::initializer_list<std::string_view> lines) {
  std::string text;
  for (const auto line : lines) {
    text.append(line).push_back('\n');
  }
  return text;
}

TEST_F(CliTest, ReadPrintsSerialAndItsDigest) {
  PlugDrive();
  const Outcome run = Cli(WithRoot({}));
  EXPECT_EQ(run.code, kExitOk);
  EXPECT_EQ(run.out, Lines({"AB12CD34", kSerialDigest}));
  // Eight characters: fewer than the mass-storage class asks for.
  EXPECT_EQ(run.err,
            "vellmor-cli: note: the serial is shorter than 12 characters, the least the "
            "mass-storage class asks for\n");
}

TEST_F(CliTest, ReadWithoutDriveWarnsAndStillPrintsDigest) {
  const Outcome run = Cli(WithRoot({}));
  EXPECT_EQ(run.code, kExitNoSerial);
  EXPECT_EQ(run.out, Lines({"", kEmptyDigest}));
  EXPECT_EQ(run.err, "请插入U盘\n");
}

TEST_F(CliTest, ReadQueriesTheSystemSourceOnce) {
  m_scripted_ids = {DeviceId::Text(u"USB\\ROOT_HUB20\\4&1A2B3C&0"),
                    DeviceId::Text(u"USB\\VID_1234&PID_5678\\AB12CD34")};
  const Outcome run = Cli({});
  EXPECT_EQ(run.code, kExitOk);
  EXPECT_EQ(run.out, Lines({"AB12CD34", kSerialDigest}));
  EXPECT_EQ(m_binds, 1);
}

TEST_F(CliTest, ReadJsonTellsNoMatchFromEmptySerial) {
  const std::string warned = R"(","digest":")" + std::string(kEmptyDigest) +
                             R"(","warning":"请插入U盘","notes":[],"schemaVersion":1})" + "\n";
  Outcome run = Cli(WithRoot({"--json"}));
  EXPECT_EQ(run.code, kExitNoSerial);
  EXPECT_EQ(run.out, R"({"serial":null)" + warned.substr(1));
  EXPECT_EQ(run.err, "");

  // A trailing backslash matches with an empty serial: a text, not null.
  m_scripted_ids = {DeviceId::Text(u"USB\\VID_1234&PID_5678\\")};
  run = Cli({"--json"});
  EXPECT_EQ(run.code, kExitNoSerial);
  EXPECT_EQ(run.out, R"({"serial":")" + warned);

  PlugDrive();
  run = Cli(WithRoot({"--json"}));
  EXPECT_EQ(run.code, kExitOk);
  EXPECT_EQ(run.out, R"({"serial":"AB12CD34","digest":")" + std::string(kSerialDigest) +
                         R"(","warning":null,"notes":["short"],"schemaVersion":1})" + "\n");
}

TEST_F(CliTest, ListMarksTheIdentifierTheSerialComesFrom) {
  PlugDrive();
  const Outcome run = Cli(WithRoot({"list"}));
  EXPECT_EQ(run.code, kExitOk);
  EXPECT_TRUE(run.out.starts_with("  USB\\ROOT_HUB20\\")) << run.out;
  EXPECT_EQ(run.out.substr(run.out.find('\n') + 1), "* USB\\VID_0781&PID_5567\\AB12CD34\n");
}

// A keyboard's serial is no licence's: the read passes over it, list shows both choices.
TEST_F(CliTest, ReadAndListPassOverDevicesThatAreNoStorage) {
  WriteFile("bus/usb/devices/1-2/descriptors", fixtures::kKeyboardBytes);
  WriteFile("bus/usb/devices/1-2/serial", "KBD123456789\n");
  WriteFile("bus/usb/devices/1-3/descriptors", fixtures::kTwoInterfaceKeyboardBytes);
  Outcome run = Cli(WithRoot({}));
  EXPECT_EQ(run.code, kExitNoSerial);
  EXPECT_EQ(run.out, Lines({"", kEmptyDigest}));
  EXPECT_EQ(run.err, "请插入U盘\n");
  // A licence bound to the keyboard by the earlier rule still checks.
  run = Cli(WithRoot({"check", "bf0ab76e052838c1a19206094f25d9ce"}));
  EXPECT_EQ(run.code, kExitOk) << run.err;
  EXPECT_EQ(run.out, Lines({R"(USB\VID_413C&PID_2113\KBD123456789)", "KBD123456789"}));

  PlugDrive();
  WriteFile("bus/usb/devices/1-1/descriptors", fixtures::kCompositeStickBytes);
  run = Cli(WithRoot({"list"}));
  EXPECT_EQ(run.code, kExitOk);
  const std::string lines = run.out.substr(run.out.find('\n') + 1);
  EXPECT_TRUE(lines.starts_with("  USB\\VID_046D&PID_C31C\\5&")) << lines;
  EXPECT_NE(lines.find("\n* USB\\VID_0951&PID_16A2\\AB12CD34\n~ USB\\VID_0951&PID_16A2&MI_00\\"),
            std::string::npos)
      << lines;
  run = Cli(WithRoot({"list", "--json"}));
  const auto ids = nlohmann::json::parse(run.out).at("ids");
  ASSERT_EQ(ids.size(), 4U) << run.out;
  EXPECT_EQ(ids[2].at("storage"), true);
  EXPECT_EQ(ids[2].at("chosen"), true);
  EXPECT_EQ(ids[3].at("lastWithVid"), true);
  EXPECT_EQ(ids[3].at("chosen"), false);
  run = Cli(WithRoot({}));
  EXPECT_EQ(run.out.substr(0, 9), "AB12CD34\n");
}

TEST_F(CliTest, ListShowsUnreadableAndMissingAndMarksOnlyTheLastMatch) {
  m_scripted_ids = {DeviceId::Text(u"USB\\VID_1111&PID_0001\\AAA1"), DeviceId::Missing(),
                    DeviceId::Unreadable(), DeviceId::Text(u"USB\\VID_4321&PID_8765\\BBB2"),
                    DeviceId::Text(u"USB\\ROOT_HUB30\\4&2&0")};
  Outcome run = Cli({"list"});
  EXPECT_EQ(run.code, kExitOk);
  EXPECT_EQ(run.out, Lines({"  USB\\VID_1111&PID_0001\\AAA1", "  (no DeviceID)", "  (unreadable)",
                            "* USB\\VID_4321&PID_8765\\BBB2", "  USB\\ROOT_HUB30\\4&2&0"}));

  run = Cli({"list", "--json"});
  EXPECT_EQ(run.code, kExitOk);
  const auto json = nlohmann::json::parse(run.out);
  EXPECT_EQ(json["schemaVersion"], 1);
  EXPECT_EQ(json["serial"], "BBB2");
  std::vector<std::string> rows;
  for (const auto& id : json["ids"]) {
    rows.push_back(id["deviceId"].dump() + ' ' + id["state"].get<std::string>() + ' ' +
                   id["chosen"].dump());
  }
  EXPECT_EQ(rows, (std::vector<std::string>{R"("USB\\VID_1111&PID_0001\\AAA1" text false)",
                                            "null missing false", "null unreadable false",
                                            R"("USB\\VID_4321&PID_8765\\BBB2" text true)",
                                            R"("USB\\ROOT_HUB30\\4&2&0" text false)"}));
  EXPECT_EQ(m_binds, 2);
}

TEST_F(CliTest, ListWithoutMatchHasNullSerial) {
  m_scripted_ids = {DeviceId::Text(u"USB\\vid_1234\\lower")};
  const Outcome run = Cli({"--json", "list"});
  EXPECT_EQ(run.code, kExitOk);
  const auto json = nlohmann::json::parse(run.out);
  EXPECT_TRUE(json["serial"].is_null());
  EXPECT_EQ(json["ids"][0]["chosen"], false);
}

TEST_F(CliTest, DigestOfArgument) {
  EXPECT_EQ(Cli({"digest", "abc"}).out, Lines({kAbcDigest}));
  EXPECT_EQ(Cli({"digest", "中"}).out, Lines({kZhongDigest}));
  EXPECT_EQ(Cli({"digest", ""}).out, Lines({kEmptyDigest}));
  // A text that looks like an option, after --.
  EXPECT_EQ(Cli({"digest", "--", "--json"}).code, kExitOk);
}

TEST_F(CliTest, DigestOfStandardInputKeepsEveryByte) {
  const Outcome run = Cli({"digest"}, "abc\n");
  EXPECT_EQ(run.code, kExitOk);
  EXPECT_EQ(run.out, Lines({kAbcNewlineDigest}));
  EXPECT_EQ(Cli({"digest"}, "abc").out, Lines({kAbcDigest}));
  // "-" is standard input too; after -- it is the text "-".
  EXPECT_EQ(Cli({"digest", "-"}, "abc").out, Lines({kAbcDigest}));
  EXPECT_NE(Cli({"digest", "--", "-"}, "abc").out, Lines({kAbcDigest}));
}

// Input goes to the digest in pieces of 64 KiB; characters cut by a piece's end
// and invalid bytes far from the start must come out as for the whole text.
TEST_F(CliTest, LongInputDigestsAsTheWholeText) {
  std::string bytes;
  std::u16string text;
  for (int i = 0; i < 50000; ++i) {
    bytes += i % 7 == 0 ? "\xC3\x80\xF0\x9F\x98\x80"
                        : "\xE4\xB8\xAD"
                          "a";  // À😀, 中a
    text += i % 7 == 0 ? u"\u00C0\U0001F600" : u"\u4E2Da";
  }
  const std::string expected = Utf16ToUtf8(digest::DigestText(text, 32));
  EXPECT_EQ(Cli({"digest"}, bytes).out, Lines({expected}));
  EXPECT_EQ(Cli({"digest", bytes}).out, Lines({expected}));

  for (const std::string& bad : {bytes + "\xE4\xB8", bytes.substr(0, 70000) + "\xFF" + bytes}) {
    const Outcome run = Cli({"digest"}, bad);
    EXPECT_EQ(run.code, kExitUsage);
    EXPECT_EQ(run.out, "");
  }
}

// Every way a piece's end can cut a character: 1 to 3 bytes into a 4-byte one (an emoji,
// CJK Extension B), 1 or 2 into a 3-byte one, 1 into a 2-byte one.
TEST_F(CliTest, PieceEndsInsideACharacterLoseNothing) {
  constexpr std::size_t kPiece = 64 * 1024;
  for (const auto& [bytes, unit] :
       std::vector<std::pair<std::string, std::u16string>>{{"\xF0\x9F\x98\x80", u"\U0001F600"},
                                                           {"\xF0\xA0\x80\x80", u"\U00020000"},
                                                           {"\xE4\xB8\xAD", u"\u4E2D"},
                                                           {"\xC3\x80", u"\u00C0"}}) {
    for (std::size_t cut = 1; cut < bytes.size(); ++cut) {
      const std::string input = std::string(kPiece - cut, 'a') + bytes + "z";
      const std::u16string text = std::u16string(kPiece - cut, u'a') + unit + u"z";
      const std::string expected = Utf16ToUtf8(digest::DigestText(text, 32));
      const Outcome run = Cli({"digest"}, input);
      EXPECT_EQ(run.code, kExitOk) << bytes.size() << " bytes, cut " << cut << ": " << run.err;
      EXPECT_EQ(run.out, Lines({expected})) << bytes.size() << " bytes, cut " << cut;
      EXPECT_EQ(Cli({"digest", input}).out, Lines({expected})) << bytes.size() << ", " << cut;
    }
  }
}

TEST_F(CliTest, DigestLengthSelectsTheDigits) {
  EXPECT_EQ(Cli({"digest", "--length", "16", "abc"}).out, Lines({"3CD24FB0D6963F7D"}));
  EXPECT_EQ(Cli({"digest", "abc", "--length=32"}).out, Lines({kAbcDigest}));
  for (const char* length : {"0", "-1", "31", "-32768", "32767"}) {
    const Outcome run = Cli({"digest", "--length", length, "abc"});
    EXPECT_EQ(run.code, kExitOk) << length;
    EXPECT_EQ(run.out, "\n") << length;
  }
}

TEST_F(CliTest, SelectReadsCrlfLines) {
  Outcome run =
      Cli({"select"}, "USB\\ROOT_HUB20\\4&1A2B3C&0\r\nUSB\\VID_1234&PID_5678\\AB12CD34\r\n");
  EXPECT_EQ(run.code, kExitOk);
  EXPECT_EQ(run.out, "AB12CD34\n");
  EXPECT_EQ(run.err, "");

  // Last line without a newline; a later line without VID changes nothing.
  run = Cli({"select"}, "USB\\VID_1\\AAA1\n\nUSB\\VID_2\\BBB2\r\nUSB\\ROOT_HUB\\X");
  EXPECT_EQ(run.out, "BBB2\n");
}

TEST_F(CliTest, SelectWithEmptyResultWarns) {
  for (const char* input : {"", "\n", "USB\\ROOT_HUB20\\1\n", "USB\\VID_1234&PID_5678\\\r\n"}) {
    const Outcome run = Cli({"select"}, input);
    EXPECT_EQ(run.code, kExitNoSerial) << input;
    EXPECT_EQ(run.out, "\n") << input;
    EXPECT_EQ(run.err, "请插入U盘\n") << input;
  }
}

TEST_F(CliTest, InvalidUtf8IsRefused) {
  for (const auto& [args, input] : std::vector<std::pair<std::vector<std::string>, std::string>>{
           {{"digest", "ab\xFF"}, ""},
           {{"digest"}, "ab\xC0\xAF"},
           {{"digest"}, "\xED\xA0\x80"},
           {{"select"}, "USB\\VID_1\\A\xE4\xB8"},
           {{"digest", "--length", "\xFF"}, ""},
           {{"\xFF"}, ""}}) {
    const Outcome run = Cli(args, input);
    EXPECT_EQ(run.code, kExitUsage) << args[0];
    EXPECT_EQ(run.out, "") << args[0];
    ASSERT_EQ(run.err.find('\n'), run.err.size() - 1) << run.err;
    EXPECT_EQ(run.err.find('\xFF'), std::string::npos) << run.err;
  }
}

TEST_F(CliTest, BadArgumentsGetOneLineAndStatus2) {
  const std::vector<std::vector<std::string>> cases = {
      {"read"},
      {"--bogus"},
      {"-"},
      {"list", "extra"},
      {"digest", "a", "b"},
      {"select", "a"},
      {"digest", "--length"},
      {"digest", "--length", "32768", "abc"},
      {"digest", "--length", "-32769", "abc"},
      {"digest", "--length", "16x", "abc"},
      {"digest", "--length", "", "abc"},
      {"digest", "--json", "abc"},
      {"select", "--sysfs-root", "/"},
      {"list", "--length", "16"},
      {"--json=1"},
      {"--sysfs-root"},
      {"--sysfs-root", ""},
      {"--sysfs-root", "/nonexistent/vellmor"},
      {"list", "--", "line\nbreak"},
      {"watch", "--log", "--csv"},
      {"watch", "--json", "--log"},
      {"drives", "--log"},
      {"--log"},
  };
  for (const auto& args : cases) {
    const Outcome run = Cli(args);
    EXPECT_EQ(run.code, kExitUsage) << args[0] << ' ' << args.size();
    EXPECT_EQ(run.out, "") << args[0];
    ASSERT_FALSE(run.err.empty());
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << run.err;
    EXPECT_TRUE(run.err.starts_with("vellmor-cli: ")) << run.err;
  }
  EXPECT_EQ(m_binds, 0);
}

// Every stick with VID counts, not only the one the read action takes (the last).
TEST_F(CliTest, CheckFindsAnyStickByItsDigestInEitherCase) {
  PlugDrive();
  WriteFile("bus/usb/devices/1-2/descriptors", kDriveDescriptors);
  WriteFile("bus/usb/devices/1-2/serial", "SECOND0000000001\n");
  std::string lower(kSerialDigest);
  std::ranges::transform(lower, lower.begin(), [](char c) { return std::tolower(c); });

  Outcome run = Cli(WithRoot({"check", std::string(kAbcDigest), lower}));
  EXPECT_EQ(run.code, kExitOk) << run.err;
  EXPECT_EQ(run.out, Lines({R"(USB\VID_0781&PID_5567\AB12CD34)", "AB12CD34"}));

  run = Cli(WithRoot({"check", "--json", lower}));
  EXPECT_EQ(run.code, kExitOk);
  EXPECT_TRUE(run.out.starts_with(R"({"deviceId":"USB\\VID_0781&PID_5567\\AB12CD34","serial":)"))
      << run.out;
  EXPECT_TRUE(run.out.ends_with(R"(,"matched":"EB1DEF2FBD36FAA7E9316A54D75FA457"})"
                                "\n"))
      << run.out;
}

TEST_F(CliTest, CheckTellsNoMatchFromBadDigestsAndAnUnreadableList) {
  PlugDrive();
  Outcome run = Cli(WithRoot({"check", std::string(kAbcDigest)}));
  EXPECT_EQ(run.code, kExitNoSerial);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "vellmor-cli: check: no USB device now plugged in has one of these digests\n");
  // A script reading JSON gets JSON.
  run = Cli(WithRoot({"check", "--json", std::string(kAbcDigest)}));
  EXPECT_EQ(run.code, kExitNoSerial);
  const auto answer = nlohmann::json::parse(run.out);
  EXPECT_EQ(answer, nlohmann::json::parse(R"({"schemaVersion":1,"matched":null})"));

  const std::string digest(kSerialDigest);
  for (const std::vector<std::string>& args : {std::vector<std::string>{"check"},
                                               {"check", digest.substr(1)},
                                               {"check", digest + "0"},
                                               {"check", "G" + digest.substr(1)},
                                               {"check", digest, "--wait", "1"}}) {
    run = Cli(WithRoot(args));
    EXPECT_EQ(run.code, kExitUsage) << args.back();
    EXPECT_EQ(run.out, "");
  }

  fs::remove_all(m_root / "bus/usb/devices");
  WriteFile("bus/usb/devices", "");
  run = Cli(WithRoot({"check", digest}));
  EXPECT_EQ(run.code, kExitFailure);
  EXPECT_EQ(run.err, "vellmor-cli: check: the system's device list cannot be read\n");
}

// A drive list without the device: it went away between the look and the list.
class EmptyDrives : public drives::DriveSource {
 public:
  std::optional<std::vector<drives::UsbDevice>> ScanUsbDevices(
      drives::ScanDepth /*depth*/) override {
    return std::vector<drives::UsbDevice>();
  }
};

// Device events that break down at the first wait.
class BrokenArrivals : public drives::DeviceArrivals {
 public:
  const std::vector<drives::UsbDevice>& present() const override { return m_present; }
  Result Wait(std::optional<std::chrono::milliseconds> /*timeout*/) override {
    ++waits;
    Result result;
    result.outcome = Outcome::kFailed;
    result.error = "the event socket broke";
    return result;
  }
  std::string event_source() const override { return "test"; }
  int waits = 0;

 private:
  std::vector<drives::UsbDevice> m_present;
};

Outcome Check(const std::vector<std::string>& digests, const std::vector<DeviceId>& ids, bool json,
              bool wait) {
  Options options;
  options.command = Command::kCheck;
  options.digests = digests;
  options.json = json;
  if (wait) {
    options.wait = std::optional<std::chrono::milliseconds>();
  }
  int binds = 0;
  ScriptedSource source(ids, binds);
  EmptyDrives drives;
  std::ostringstream out;
  std::ostringstream err;
  Outcome run;
  run.code = RunCheck(options, source, &drives, out, err,
                      [](drives::DriveSource&, drives::ScanDepth, std::string&) {
                        return std::make_unique<BrokenArrivals>();
                      });
  run.out = out.str();
  run.err = err.str();
  return run;
}

// What check answers from the identifier alone, and that neither an empty serial nor a
// broken wait passes for an answer.
TEST_F(CliTest, CheckAnswersOnlyWhatItKnows) {
  const std::string digest(kSerialDigest);
  Outcome run = Check({digest}, {DeviceId::Text(u"USB\\VID_0781&PID_5567\\AB12CD34")}, true, false);
  ASSERT_EQ(run.code, kExitOk) << run.err;
  nlohmann::json match = nlohmann::json::parse(run.out);
  EXPECT_EQ(match["vendorId"], "0781");
  EXPECT_EQ(match["productId"], "5567");
  // An identifier with VID that gives no ids: null, not made-up zeros.
  run = Check({digest}, {DeviceId::Text(u"USB\\VID_XYZ\\AB12CD34")}, true, false);
  ASSERT_EQ(run.code, kExitOk) << run.err;
  match = nlohmann::json::parse(run.out);
  EXPECT_TRUE(match["vendorId"].is_null()) << run.out;
  EXPECT_TRUE(match["productId"].is_null()) << run.out;
  EXPECT_EQ(match["serial"], "AB12CD34");

  // The empty serial's digest is the well-known one of the empty text; it matches nothing.
  run = Check({std::string(kEmptyDigest)}, {DeviceId::Text(u"USB\\VID_1234&PID_5678\\")}, false,
              false);
  EXPECT_EQ(run.code, kExitNoSerial);
  EXPECT_EQ(run.out, "");

  // Waiting that breaks down is a failure: the stick may have come meanwhile.
  run = Check({digest}, {DeviceId::Text(u"USB\\ROOT_HUB30\\4&1&0")}, false, true);
  EXPECT_EQ(run.code, kExitFailure);
  EXPECT_EQ(run.err, "vellmor-cli: check: the event socket broke\n");
  EXPECT_EQ(run.out, "");
}

// The documented limits of --wait are accepted, one step past them refused.
TEST_F(CliTest, WaitTakesSecondsUpToADay) {
  for (const char* seconds : {"0", "0.5", "86400"}) {
    Options options;
    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(
        ParseArguments({"check", std::string(kAbcDigest), "--wait", seconds}, options, out, err),
        std::nullopt)
        << seconds << ": " << err.str();
    ASSERT_TRUE(options.wait && *options.wait) << seconds;
    EXPECT_EQ(**options.wait, std::chrono::milliseconds(std::llround(std::stod(seconds) * 1000)));
  }
  for (const char* seconds : {"86400.5", "-1", "1e9", "nan"}) {
    const Outcome run = Cli({"check", std::string(kAbcDigest), "--wait", seconds});
    EXPECT_EQ(run.code, kExitUsage) << seconds;
  }
}

// Characters without a code count as "?", as the system's conversion has it; the user is told.
TEST_F(CliTest, CharactersThatCountAsQuestionMarksAreNoted) {
  const Outcome questions = Cli({"digest", "??"});
  EXPECT_EQ(questions.err, "") << "a real question mark is no loss";
  const Outcome korean = Cli({"digest", "\xED\x95\x9C\xEA\xB5\xAD"});  // 한국
  EXPECT_EQ(korean.code, kExitOk);
  EXPECT_EQ(korean.out, questions.out);
  EXPECT_EQ(korean.err,
            "vellmor-cli: note: 2 characters have no code in code page 936 and count as \"?\"\n");
  const Outcome emoji = Cli({"digest", "\xF0\x9F\x98\x80"});  // one character, two units
  EXPECT_EQ(emoji.out, questions.out);
  EXPECT_EQ(emoji.err,
            "vellmor-cli: note: 1 character has no code in code page 936 and counts as \"?\" "
            "(2 \"?\" in all)\n");
  EXPECT_EQ(Cli({"digest", "\xE4\xB8\xAD"}).err, "") << "中 has a code";

  m_scripted_ids = {DeviceId::Text(u"USB\\VID_1234&PID_5678\\AB\uD55C")};
  const Outcome read = Cli({});
  EXPECT_EQ(read.code, kExitOk);
  EXPECT_NE(
      read.err.find(
          "vellmor-cli: note: 1 character has no code in code page 936 and counts as \"?\"\n"),
      std::string::npos)
      << read.err;
}

// What was wrong, named, rather than what the parser made of it.
TEST_F(CliTest, RefusalsNameWhatWasWrong) {
  const std::string digest(kAbcDigest);
  fs::create_directories(m_root / "not-sysfs");
  const struct {
    std::vector<std::string> args;
    std::string message;
  } kCases[] = {
      {{"--wait", "abc"}, R"(--wait: "abc" is not a number of seconds, 0 to 86400)"},
      {{"--wait", "-1"}, R"(--wait: "-1" is not a number of seconds, 0 to 86400)"},
      {{"--wait=2,5"}, R"(--wait: "2,5" is not a number of seconds, 0 to 86400)"},
      {{"check", "--wait", "-1", digest}, R"(--wait: "-1" is not a number of seconds, 0 to 86400)"},
      {{"-V", "extra"}, "option -V stands alone"},
      {{"list", "--version"}, "option --version stands alone"},
      {{"list", "--sysfs-root", (m_root / "not-sysfs").string()},
       "option --sysfs-root: \"" + (m_root / "not-sysfs").string() +
           "\" is no sysfs tree (it has no bus folder)"},
  };
  for (const auto& [args, message] : kCases) {
    const Outcome run = Cli(args);
    EXPECT_EQ(run.code, kExitUsage) << args[0];
    EXPECT_EQ(run.err, "vellmor-cli: " + message + " (see --help)\n");
  }
  // Seconds still come before a command, and a digest after --wait stays a digest.
  EXPECT_EQ(Cli({"--wait", "0", "list"}).err,
            "vellmor-cli: option --wait applies to the read "
            "action and check only (see --help)\n");
  EXPECT_EQ(Cli(WithRoot({"check", "--wait", digest})).err,
            "vellmor-cli: option --wait applies to this system's devices only, not to "
            "--sysfs-root (see --help)\n");
}

// Without digests the list decides; with them it marks the stick they found.
TEST_F(CliTest, CheckWithAnAllowedList) {
  PlugDrive();
  WriteFile("bus/usb/devices/1-2/descriptors", kDriveDescriptors);
  WriteFile("bus/usb/devices/1-2/serial", "0123456789ABCDEF\n");
  const std::string list = (m_root / "allowed.txt").string();

  WriteFile("allowed.txt", "# licences\nAB12cd34\n");
  Outcome run = Cli(WithRoot({"check", "--allowed", list}));
  EXPECT_EQ(run.code, kExitOk) << run.err;
  EXPECT_EQ(run.out, Lines({R"(USB\VID_0781&PID_5567\AB12CD34)", "AB12CD34", "allowed (line 2)"}));
  run = Cli(WithRoot({"check", "--json", "--allowed", list}));
  EXPECT_TRUE(run.out.ends_with(R"(,"matched":"EB1DEF2FBD36FAA7E9316A54D75FA457","allowed":true,)"
                                R"("allowedLine":2,"untrustedLine":null})"
                                "\n"))
      << run.out;

  // The placeholder is named by the list, but cannot be let in by its serial alone.
  WriteFile("allowed.txt", "0123456789abcdef\n");
  run = Cli(WithRoot({"check", "--allowed", list}));
  EXPECT_EQ(run.code, kExitNoSerial);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err,
            "vellmor-cli: check: USB\\VID_0781&PID_5567\\0123456789ABCDEF: not allowed: line 1 "
            "names its serial, which does not identify one stick; list it as VID:PID SERIAL to "
            "allow it anyway\n"
            "vellmor-cli: check: no USB device now plugged in is allowed by the list\n");
  run = Cli(WithRoot({"check", std::string(kSerialDigest), "--allowed", list}));
  EXPECT_EQ(run.code, kExitOk);
  EXPECT_EQ(run.out, Lines({R"(USB\VID_0781&PID_5567\AB12CD34)", "AB12CD34", "not allowed"}));

  WriteFile("allowed.txt", "0781:5567 0123456789abcdef\n");
  run = Cli(WithRoot({"check", "--allowed", list}));
  EXPECT_EQ(run.code, kExitOk) << run.err;
  EXPECT_EQ(run.out, Lines({R"(USB\VID_0781&PID_5567\0123456789ABCDEF)", "0123456789ABCDEF",
                            "allowed (line 1)"}));

  WriteFile("allowed.txt", "\xEF\xBB\xBF");
  run = Cli(WithRoot({"check", "--allowed", list}));
  EXPECT_EQ(run.code, kExitNoSerial);
  EXPECT_TRUE(run.err.starts_with("vellmor-cli: " + list +
                                  ": the allowed list is empty: no stick is allowed\n"))
      << run.err;
  WriteFile("allowed.txt", "ok\n\xFF\n");
  run = Cli(WithRoot({"check", "--allowed", list}));
  EXPECT_EQ(run.code, kExitUsage);
  EXPECT_EQ(run.err, "vellmor-cli: " + list + ":2: the line is not valid UTF-8\n");
  run = Cli({"list", "--allowed", list});
  EXPECT_EQ(run.code, kExitUsage);
  // watch refuses a bad list before it starts watching.
  for (const char* format : {"--csv", "--log"}) {
    run = Cli({"watch", format, "--allowed", list});
    EXPECT_EQ(run.code, kExitUsage);
    EXPECT_EQ(run.err, "vellmor-cli: " + list + ":2: the line is not valid UTF-8\n");
  }
}

TEST_F(CliTest, HelpAndVersion) {
  for (const char* version : {"--version", "-V"}) {
    const Outcome run = Cli({version});
    EXPECT_EQ(run.code, kExitOk);
    EXPECT_EQ(run.out, "vellmor-cli " VELLMOR_VERSION "\n");
  }
  for (const char* help : {"--help", "-h"}) {
    const Outcome run = Cli({"digest", help});
    EXPECT_EQ(run.code, kExitOk);
    EXPECT_TRUE(run.out.starts_with("Usage: vellmor-cli")) << run.out;
    EXPECT_EQ(run.err, "");
  }
}

// Windows has no sysfs tree: its --help does not offer the options that read one.
TEST_F(CliTest, HelpOffersOnlyTheOptionsOfTheSystem) {
  const std::string linux_text = UsageTextFor(true);
  const std::string windows_text = UsageTextFor(false);
  for (const char* option : {"--sysfs-root", "--dev-root", "--mount-table"}) {
    EXPECT_NE(linux_text.find(option), std::string::npos) << option;
    EXPECT_EQ(windows_text.find(option), std::string::npos) << option;
  }
  EXPECT_NE(windows_text.find("  --csv              Watch: comma-separated values"),
            std::string::npos);
  EXPECT_NE(windows_text.find("vellmor-cli drives [--json] [--allowed FILE]\n"), std::string::npos)
      << windows_text;
  EXPECT_NE(windows_text.find("  --length N         Digest"), std::string::npos);
  EXPECT_NE(windows_text.find("and check: print one JSON object"), std::string::npos);
  EXPECT_NE(windows_text.find("\n  --wait [SECONDS]   Read: when no USB drive"), std::string::npos);
}

TEST_F(CliTest, WriteFailureIsNotSuccess) {
  std::istringstream in;
  std::ostream out(nullptr);
  std::ostringstream err;
  EXPECT_EQ(RunCli({"digest", "abc"}, in, out, err), kExitFailure);
  EXPECT_EQ(err.str(), "vellmor-cli: cannot write to standard output\n");
}

// Where the watcher's removals go: an entry per drive gone, with what was known of it.
TEST(WatchLogTest, RemovalsAreLoggedWithTheIdentityKnownAtArrival) {
  drives::UsbDevice stick;
  stick.serial = u"GONE000000000001";
  stick.device_id = u"USB\\VID_0781&PID_5567\\GONE000000000001";
  stick.port = u"1-4";
  stick.mass_storage = true;
  test::FakeLogSink sink;
  std::string error;
  EXPECT_TRUE(LogRemovals(sink, {stick}, error));
  ASSERT_EQ(sink.m_entries.size(), 1U);
  EXPECT_EQ(sink.m_entries[0].event, drives::LogEvent::kRemoved);
  std::vector<std::string> values;
  for (const drives::LogField& field : sink.m_entries[0].fields) {
    if (field.name == "MESSAGE_ID" || field.name == "VELLMOR_EVENT" ||
        field.name == "VELLMOR_SERIAL" || field.name == "VELLMOR_LOCATION") {
      values.push_back(field.value);
    }
  }
  EXPECT_EQ(values, (std::vector<std::string>{"5c1ec34a9a544a39b09199160db2ca7c", "removed",
                                              "GONE000000000001", "1-4"}));
  sink.m_fail_after = 1;
  EXPECT_FALSE(LogRemovals(sink, {stick}, error));
}

}  // namespace
}  // namespace vellmor::cli
