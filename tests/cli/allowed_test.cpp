#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "drives/allowed_rules.h"
#include "outcome.h"

namespace vellmor::cli {
namespace {

namespace fs = std::filesystem;

class AllowedTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device random;
    m_dir = fs::temp_directory_path() / ("vellmor_allowed_" + std::to_string(random()));
    fs::create_directories(m_dir);
  }
  void TearDown() override { fs::remove_all(m_dir); }

  std::string Write(const std::string& name, const std::string& bytes) const {
    std::ofstream(m_dir / name, std::ios::binary) << bytes;
    return (m_dir / name).string();
  }

  static Outcome Cli(const std::vector<std::string>& args) {
    std::istringstream in;
    std::ostringstream out;
    std::ostringstream err;
    Outcome run;
    run.code = RunCli(args, in, out, err);
    run.out = out.str();
    run.err = err.str();
    return run;
  }

  // What USBGuard's own parser makes of the rule file: the rules as it writes them back,
  // or "ERROR" when it refuses the file.
  std::string UsbGuardReads(const std::string& rules) const {
    const std::string file = Write("rules.conf", rules);
    const std::string command = std::string(USBGUARD_RULE_PARSER) + " -f '" + file + "' 2>&1";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
    std::string output;
    std::array<char, 4096> buffer{};
    while (pipe && std::fgets(buffer.data(), buffer.size(), pipe.get()) != nullptr) {
      output += buffer.data();
    }
    std::string written;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
      if (line.starts_with("OUTPUT: ")) {
        written += line.substr(8) + '\n';
      } else if (line.find("ERROR") != std::string::npos) {
        return "ERROR: " + output;
      }
    }
    return written;
  }

  fs::path m_dir;
};

TEST_F(AllowedTest, UsbGuardStringsEscapeQuotesBackslashesControlsAndNonAscii) {
  EXPECT_EQ(drives::UsbGuardString(u"AB12 cd"), R"("AB12 cd")");
  EXPECT_EQ(drives::UsbGuardString(u"\"\\x41\""), R"("\"\\x41\"")");
  EXPECT_EQ(drives::UsbGuardString(u"\t\x7F"
                                   u"é序"),
            R"("\x09\x7f\xc3\xa9\xe5\xba\x8f")");
  // An unpaired surrogate cannot reach UTF-8: the replacement character stands for it.
  EXPECT_EQ(drives::UsbGuardString(std::u16string(1, u'\xD800')), R"("\xef\xbf\xbd")");
}

// Hostile serials pinned to a model: every rule is one USBGuard reads back unchanged, and
// what cannot become a rule is named, line by line.
TEST_F(AllowedTest, UsbGuardRulesPassUsbGuardsOwnParser) {
  const std::string list = Write("hostile.txt",
                                 "\xEF\xBB\xBF# hostile serials\r\n"
                                 "0781:5567 4C530001231120115142\r\n"
                                 "0781:5567 A\"B\\C\r\n"
                                 "0781:5567 \\x41\" } allow *:* {\r\n"
                                 "0781:5567 Ünï序列\tTAB\r\n"
                                 "ab12cd34ef\r\n"
                                 "eb1def2fbd36faa7e9316a54d75fa457\r\n"
                                 "090C:1000 5&977676F0&0&3\r\n"
                                 "090c:1000 0123456789ABCDEF\r\n");
  const Outcome run = Cli({"allowed", "usbguard", list});
  const std::string mass_storage = " with-interface match-all { 08:*:* }\n";
  EXPECT_EQ(
      run.out,
      R"(allow id 0781:5567 serial one-of { "4C530001231120115142" "4c530001231120115142" })" +
          mass_storage + R"(allow id 0781:5567 serial one-of { "A\"B\\C" "a\"b\\c" })" +
          mass_storage +
          R"(allow id 0781:5567 serial one-of { "\\x41\" } allow *:* {" "\\X41\" } ALLOW *:* {" })" +
          mass_storage +
          R"(allow id 0781:5567 serial one-of { "\xc3\x9cn\xc3\xaf\xe5\xba\x8f\xe5\x88\x97\x09TAB" )"
          R"("\xc3\x9cN\xc3\xaf\xe5\xba\x8f\xe5\x88\x97\x09TAB" )"
          R"("\xc3\x9cn\xc3\xaf\xe5\xba\x8f\xe5\x88\x97\x09tab" })" +
          mass_storage + R"(allow serial one-of { "ab12cd34ef" "AB12CD34EF" })" + mass_storage);
  EXPECT_EQ(UsbGuardReads(run.out), run.out);
  EXPECT_EQ(run.code, kExitNoSerial);
  EXPECT_EQ(run.err,
            "vellmor-cli: " + list +
                ":7: a digest cannot be turned back into the serial a rule needs; list the "
                "stick as VID:PID SERIAL (not exported)\n"
                "vellmor-cli: " +
                list +
                ":8: the instance is made up by Windows from the port: the stick reports no "
                "serial a rule can match (not exported)\n"
                "vellmor-cli: " +
                list +
                ":9: the serial is a placeholder many sticks share: a rule would let in each of "
                "them (not exported)\n");

  const Outcome clean =
      Cli({"allowed", "usbguard", Write("clean.txt", "0781:5567 20231120115142\n")});
  EXPECT_EQ(clean.code, kExitOk);
  EXPECT_EQ(clean.err, "");
  EXPECT_EQ(clean.out, "allow id 0781:5567 serial \"20231120115142\"" + mass_storage);
  EXPECT_EQ(UsbGuardReads(clean.out), clean.out);
  // The check itself can fail: a rule USBGuard refuses is seen.
  EXPECT_TRUE(UsbGuardReads("allow serial \"\\q\"\n").starts_with("ERROR")) << clean.out;
}

TEST_F(AllowedTest, WindowsInstanceIdsAndBadCommandLines) {
  const std::string list = Write("sticks.txt",
                                 "0781:5567 4c530001231120115142\n"
                                 "090c:1000 5&977676F0&0&3\n"
                                 "0781:5567 A,B\n"
                                 "0781:5567 Ünï\n"
                                 "AB12CD34EF\n"
                                 "090c:1000 0123456789ABCDEF\n");
  const Outcome run = Cli({"allowed", "windows", list});
  EXPECT_EQ(run.out,
            "USB\\VID_0781&PID_5567\\4C530001231120115142\n"
            "USB\\VID_090C&PID_1000\\5&977676F0&0&3\n");
  EXPECT_EQ(run.code, kExitNoSerial);
  const std::string made_up =
      ": Windows does not take this serial for the instance and makes one up from the port "
      "(not exported)\n";
  EXPECT_EQ(run.err, "vellmor-cli: " + list + ":3" + made_up + "vellmor-cli: " + list + ":4" +
                         made_up + "vellmor-cli: " + list +
                         ":5: an instance id holds the vendor and product ids too; list the "
                         "stick as VID:PID SERIAL (not exported)\n"
                         "vellmor-cli: " +
                         list +
                         ":6: the serial is a placeholder many sticks share: a rule would let "
                         "in each of them (not exported)\n");

  const Outcome empty = Cli({"allowed", "windows", Write("empty.txt", "# none yet\r\n")});
  EXPECT_EQ(empty.code, kExitOk);
  EXPECT_EQ(empty.out, "");
  EXPECT_NE(empty.err.find("the allowed list is empty"), std::string::npos);

  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"allowed"},
        {"allowed", "usbguard"},
        {"allowed", "polkit", list},
        {"allowed", "windows", list, "extra"},
        {"allowed", "windows", (m_dir / "missing.txt").string()},
        {"allowed", "usbguard", Write("bad.txt", "0781:5567 ok\n0781:5567\n")}}) {
    const Outcome refused = Cli(args);
    EXPECT_EQ(refused.code, kExitUsage) << refused.err;
    EXPECT_EQ(refused.out, "");
  }
}

}  // namespace
}  // namespace vellmor::cli
