// The journal is written by systemd-journal-remote from journal export text, so the
// entries carry the kernel's trusted fields as journald would give them, without a daemon.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "cli/history_command.h"
#include "cli/options.h"
#include "drives/stick_history.h"
#include "outcome.h"

namespace vellmor::cli {
namespace {

namespace fs = std::filesystem;

constexpr std::uint64_t kStart = 1764580000000000ULL;  // 2025-12-01T09:06:40Z
constexpr std::uint64_t kSecond = 1000000ULL;
constexpr std::string_view kBoot = "0123456789abcdef0123456789abcdef";

class Journal {
 public:
  Journal() {
    std::random_device random;
    m_dir = fs::temp_directory_path() / ("vellmor_history_" + std::to_string(random()));
    fs::create_directories(m_dir / "journal");
  }
  ~Journal() {
    std::error_code ignored;
    fs::remove_all(m_dir, ignored);
  }
  Journal(const Journal&) = delete;
  Journal& operator=(const Journal&) = delete;

  void Kernel(std::uint64_t seconds, const std::string& message) {
    Entry(seconds, "_TRANSPORT=kernel\n_KERNEL_SUBSYSTEM=usb\nMESSAGE=" + message + "\n");
  }
  void Own(std::uint64_t seconds, const std::string& message_id, const std::string& event,
           const std::string& fields) {
    Entry(seconds, "_TRANSPORT=journal\nSYSLOG_IDENTIFIER=vellmor-cli\nMESSAGE_ID=" + message_id +
                       "\nVELLMOR_EVENT=" + event + "\n" + fields);
  }
  void Entry(std::uint64_t seconds, const std::string& fields) {
    m_export << "__REALTIME_TIMESTAMP=" << kStart + seconds * kSecond
             << "\n__MONOTONIC_TIMESTAMP=" << (seconds + 1) * kSecond << "\n_BOOT_ID=" << kBoot
             << '\n'
             << fields << '\n';
  }

  // Writes the journal file; the directory to read it from.
  std::string Write() {
    const fs::path input = m_dir / "entries.export";
    std::ofstream(input, std::ios::binary) << m_export.str();
    const fs::path output = m_dir / "journal" / "remote.journal";
    fs::remove(output);
    const std::string command = std::string(JOURNAL_REMOTE) + " --output='" + output.string() +
                                "' '" + input.string() + "' 2>/dev/null";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return (m_dir / "journal").string();
  }

  fs::path Dir() const { return m_dir; }

 private:
  fs::path m_dir;
  std::ostringstream m_export;
};

Outcome History(const std::vector<std::string>& args, const std::string& directory) {
  Options options;
  std::ostringstream out;
  std::ostringstream err;
  Outcome run;
  std::vector<std::string> all = {"history"};
  all.insert(all.end(), args.begin(), args.end());
  const auto answered = ParseArguments(all, options, out, err);
  EXPECT_FALSE(answered) << err.str();
  run.code = RunHistory(options, out, err, directory);
  run.out = out.str();
  run.err = err.str();
  return run;
}

const std::string kArrived = "c7baa10749b444458edb161f02d96763";
const std::string kPresent = "0326c970bdac4b4ba3dc20cda2a78317";

// A stick the kernel saw twice and the tool once, a placeholder stick only the tool saw,
// a stick without a serial, and a keyboard, among lines of other kinds.
void Fill(Journal& journal) {
  journal.Entry(0, "_TRANSPORT=journal\nMESSAGE=Started something else.\n");
  journal.Kernel(1,
                 "usb 1-2: New USB device found, idVendor=0781, idProduct=5567, bcdDevice= 1.00");
  journal.Kernel(1, "usb 1-2: Product: Cruzer Blade");
  journal.Kernel(1, "usb 1-2: Manufacturer: SanDisk");
  journal.Kernel(1, "usb 1-2: SerialNumber: 4c530001231120115142");
  journal.Kernel(2, "usb-storage 1-2:1.0: USB Mass Storage device detected");
  journal.Kernel(60, "usb 1-2: USB disconnect, device number 5");
  journal.Kernel(100,
                 "usb 1-4: New USB device found, idVendor=046d, idProduct=c31c, bcdDevice=64.00");
  journal.Kernel(100, "usb 1-4: SerialNumber: KEYBOARD0001");
  journal.Kernel(3600,
                 "usb 1-3: New USB device found, idVendor=0781, idProduct=5567, bcdDevice= 1.00");
  journal.Kernel(3600, "usb 1-3: SerialNumber: 4C530001231120115142");
  journal.Kernel(3601, "usb-storage 1-3:1.0: USB Mass Storage device detected");
  journal.Own(3605, kArrived, "arrived",
              "VELLMOR_SERIAL=4C530001231120115142\nVELLMOR_VENDOR_ID=0781\n"
              "VELLMOR_PRODUCT_ID=5567\nVELLMOR_DEVICE_ID=USB\\VID_0781&PID_5567\\"
              "4C530001231120115142\nVELLMOR_MANUFACTURER=SanDisk\nVELLMOR_LOCATION=1-3\n"
              "VELLMOR_NOTES=\n");
  journal.Own(7200, kPresent, "present",
              "VELLMOR_SERIAL=0123456789ABCDEF\nVELLMOR_VENDOR_ID=058F\n"
              "VELLMOR_PRODUCT_ID=6387\nVELLMOR_DEVICE_ID=USB\\VID_058F&PID_6387\\"
              "0123456789ABCDEF\nVELLMOR_NOTES=placeholder\n");
  journal.Kernel(9000,
                 "usb 2-1: New USB device found, idVendor=090c, idProduct=1000, bcdDevice=11.00");
  journal.Kernel(9001, "usb-storage 2-1:1.0: USB Mass Storage device detected");
}

TEST(HistoryTest, OwnEventsAndKernelLinesMakeOneRowPerStick) {
  Journal journal;
  Fill(journal);
  const std::string directory = journal.Write();

  Outcome run = History({"--json"}, directory);
  ASSERT_EQ(run.code, kExitOk) << run.err;
  const auto json = nlohmann::json::parse(run.out);
  EXPECT_EQ(json["schemaVersion"], 1);
  const auto& sticks = json["sticks"];
  ASSERT_EQ(sticks.size(), 3U) << run.out;

  const auto& cruzer = sticks[0];
  EXPECT_EQ(cruzer["serial"], "4C530001231120115142");
  EXPECT_EQ(cruzer["digest"], "AE6E35C8E506AAF9F9C52D8CA2E4E68A");
  EXPECT_EQ(cruzer["deviceId"], "USB\\VID_0781&PID_5567\\4C530001231120115142");
  EXPECT_EQ(cruzer["vendorId"], "0781");
  EXPECT_EQ(cruzer["manufacturer"], "SanDisk");
  EXPECT_EQ(cruzer["product"], "Cruzer Blade");
  EXPECT_EQ(cruzer["firstSeen"], "2025-12-01T09:06:41.000Z");
  EXPECT_EQ(cruzer["lastSeen"], "2025-12-01T10:06:45.000Z");
  // Twice plugged in; the tool's own arrival is the second one again.
  EXPECT_EQ(cruzer["arrivals"], 2);
  EXPECT_EQ(cruzer["lastLocation"], "1-3");
  EXPECT_EQ(cruzer["sources"], nlohmann::json::array({"vellmor", "kernel"}));
  EXPECT_EQ(cruzer["notes"], nlohmann::json::array());

  const auto& placeholder = sticks[1];
  EXPECT_EQ(placeholder["serial"], "0123456789ABCDEF");
  EXPECT_EQ(placeholder["arrivals"], 0);
  EXPECT_EQ(placeholder["notes"], nlohmann::json::array({"placeholder"}));
  EXPECT_EQ(placeholder["sources"], nlohmann::json::array({"vellmor"}));

  // No serial in the log: the instance made up from the port, as the read gives it.
  const auto& unnamed = sticks[2];
  EXPECT_EQ(unnamed["notes"], nlohmann::json::array({"madeUp"}));
  EXPECT_EQ(unnamed["deviceId"], "USB\\VID_090C&PID_1000\\" + unnamed["serial"].get<std::string>());
  EXPECT_EQ(unnamed["lastLocation"], "2-1");

  run = History({"--since", "2025-12-01T10:00Z", "--json"}, directory);
  EXPECT_EQ(nlohmann::json::parse(run.out)["sticks"].size(), 3U);
  run = History({"--since", "2025-12-01T11:00:00Z", "--json"}, directory);
  const auto later = nlohmann::json::parse(run.out)["sticks"];
  ASSERT_EQ(later.size(), 2U);
  EXPECT_EQ(later[0]["serial"], "0123456789ABCDEF");

  run = History({"--csv"}, directory);
  EXPECT_TRUE(
      run.out.starts_with("vendorId,productId,serial,digest,deviceId,manufacturer,"
                          "product,firstSeen,lastSeen,arrivals,lastLocation,notes,"
                          "sources\r\n0781,5567,4C530001231120115142,"))
      << run.out;
  EXPECT_NE(run.out.find(",2,1-3,,vellmor;kernel\r\n"), std::string::npos) << run.out;

  run = History({}, directory);
  EXPECT_NE(run.out.find("  seen by vellmor kernel\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("arrivals 2  last at 1-3\n"), std::string::npos) << run.out;
}

// For scripts: exit 1 as soon as one stick seen is not allowed.
TEST(HistoryTest, AllowedMarksEachStickAndTellsScripts) {
  Journal journal;
  Fill(journal);
  const std::string directory = journal.Write();
  const fs::path list = journal.Dir() / "allowed.txt";
  std::ofstream(list) << "ae6e35c8e506aaf9f9c52d8ca2e4e68a\n0123456789ABCDEF\n";

  Outcome run = History({"--json", "--allowed", list.string()}, directory);
  EXPECT_EQ(run.code, kExitNoSerial);
  const auto sticks = nlohmann::json::parse(run.out)["sticks"];
  EXPECT_EQ(sticks[0]["allowed"], true);
  EXPECT_EQ(sticks[1]["allowed"], false);
  EXPECT_EQ(sticks[1]["untrustedLine"], 2);
  EXPECT_EQ(sticks[2]["allowed"], false);

  // Pinned to their models, the placeholder and the stick without a serial are allowed.
  std::ofstream(list) << "ae6e35c8e506aaf9f9c52d8ca2e4e68a\n058f:6387 0123456789ABCDEF\n090C:1000 "
                      << sticks[2]["serial"].get<std::string>() << '\n';
  run = History({"--allowed", list.string(), "--since", "2025-12-01T11:00Z"}, directory);
  EXPECT_EQ(run.code, kExitOk) << run.out << run.err;
  EXPECT_NE(run.out.find("  allowed (line 2)\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("  allowed (line 3)\n"), std::string::npos) << run.out;
  run = History({"--csv", "--allowed", list.string()}, directory);
  EXPECT_EQ(run.code, kExitOk);
  EXPECT_NE(run.out.find(",sources,allowed\r\n"), std::string::npos) << run.out;
}

TEST(HistoryTest, SinceTakesUtcDatesAndTimes) {
  EXPECT_EQ(drives::ParseUtcTime("2025-12-01T09:06:40Z"), kStart);
  EXPECT_EQ(drives::ParseUtcTime("2025-12-01 09:06:40"), kStart);
  EXPECT_EQ(drives::ParseUtcTime("2025-12-01T09:06"), kStart - 40 * kSecond);
  EXPECT_EQ(drives::ParseUtcTime("2025-12-01"), kStart - (9 * 3600 + 6 * 60 + 40) * kSecond);
  EXPECT_EQ(drives::UtcTime(kStart + 1234), "2025-12-01T09:06:40.001Z");
  for (const char* bad : {"2025-02-29", "2025-12-01T24:00", "2025-12-01T9:00", "yesterday",
                          "2025-12-01T09:06:40+01:00", "2025-12-01T", "1969-12-31", ""}) {
    EXPECT_FALSE(drives::ParseUtcTime(bad)) << bad;
    Options options;
    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(ParseArguments({"history", "--since", bad}, options, out, err), kExitUsage) << bad;
  }
}

}  // namespace
}  // namespace vellmor::cli
