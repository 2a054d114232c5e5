// Runs in journal_namespace.sh under umockdev-wrapper: a real journald takes what
// `watch --log` writes for sticks umockdev plugs in, and journal-upload ships it to a
// journal-remote, as a fleet's collector would.
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "mock_sticks.h"

namespace {

using vellmor::mock::Cli;
using vellmor::mock::Clock;
using vellmor::mock::milliseconds;

std::string Output(const std::string& command) {
  std::string out;
  FILE* const pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) {
    return out;
  }
  char chunk[4096];
  std::size_t count = 0;
  while ((count = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) {
    out.append(chunk, count);
  }
  ::pclose(pipe);
  return out;
}

// journalctl -o json: one object a line.
std::vector<nlohmann::json> Entries(const std::string& journalctl_arguments) {
  std::vector<nlohmann::json> entries;
  const std::string out = Output("journalctl --no-pager -o json " + journalctl_arguments);
  std::size_t start = 0;
  for (std::size_t end = out.find('\n'); end != std::string::npos;
       start = end + 1, end = out.find('\n', start)) {
    entries.push_back(nlohmann::json::parse(out.substr(start, end - start)));
  }
  return entries;
}

// A value the journal holds as text, or as bytes when it has a line end or a control.
std::string Text(const nlohmann::json& entry, const std::string& name) {
  if (!entry.contains(name)) {
    return "<missing>";
  }
  const nlohmann::json& value = entry.at(name);
  if (value.is_string()) {
    return value.get<std::string>();
  }
  std::string bytes;
  for (const auto& byte : value) {
    bytes += static_cast<char>(byte.get<int>());
  }
  return bytes;
}

// Entries of vellmor-cli until there are `count`, or 10 s have passed.
std::vector<nlohmann::json> AwaitEntries(std::size_t count) {
  const auto deadline = Clock::now() + milliseconds(10000);
  std::vector<nlohmann::json> entries;
  while ((entries = Entries("SYSLOG_IDENTIFIER=vellmor-cli")).size() < count &&
         Clock::now() < deadline) {
    ::usleep(20 * 1000);
  }
  return entries;
}

TEST(JournalTest, WatchLogsEachDriveWithItsFieldsAndTheCollectorReceivesThem) {
  ASSERT_TRUE(vellmor::mock::MockSticks::Usable()) << "run under umockdev-wrapper";
  ASSERT_NE(std::getenv("VELLMOR_TEST_RECEIVED"), nullptr) << "run in journal_namespace.sh";
  vellmor::mock::MockSticks sticks;
  const std::string first = sticks.Plug(2, "4C530001231120115142");
  // The first stick is on the list; a placeholder serial cannot be allowed by itself.
  const std::string list = ::testing::TempDir() + "vellmor-allowed.txt";
  std::ofstream(list) << "4C530001231120115142\nAAAAAAAA\n";
  Cli watch({"watch", "--log", "--allowed", list});
  ASSERT_NE(watch.ErrorLines(1).find("watching for USB drives"), std::string::npos);
  // A placeholder serial, and a label that tries to end its field and start others.
  sticks.Plug(
      3, "AAAAAAAA",
      {"ID_FS_LABEL_ENC", "x\\x0aVELLMOR_SERIAL=FAKE\\x0aPRIORITY=0\\x0aVELLMOR_ALLOWED=1"});
  ASSERT_EQ(AwaitEntries(2).size(), 2U);
  // A stick off the list, with a serial of its own: the list alone makes it a warning.
  sticks.Plug(4, "OTHERSTICK000001");
  ASSERT_EQ(AwaitEntries(3).size(), 3U);
  // Gone, it is logged with what was known of it, although nothing can be read of it now.
  sticks.Unplug(first);
  const std::vector<nlohmann::json> entries = AwaitEntries(4);
  watch.Signal(SIGTERM);
  EXPECT_EQ(watch.Status(), 128 + SIGTERM);
  EXPECT_EQ(watch.Lines(1), "");
  ASSERT_EQ(entries.size(), 4U);

  const nlohmann::json& other = entries[2];
  EXPECT_EQ(Text(other, "VELLMOR_SERIAL"), "OTHERSTICK000001");
  EXPECT_EQ(Text(other, "VELLMOR_NOTES"), "");
  EXPECT_EQ(Text(other, "PRIORITY"), "4");
  EXPECT_EQ(Text(other, "VELLMOR_ALLOWED"), "0");
  EXPECT_EQ(Text(other, "MESSAGE"),
            "USB drive plugged in: serial OTHERSTICK000001, 0781:5567 Flash Disk, at 1-4, "
            "not allowed");
  EXPECT_EQ(nlohmann::json::parse(Text(other, "VELLMOR_DRIVE_JSON")).at("allowed"), false);

  const nlohmann::json& removed = entries[3];
  EXPECT_EQ(Text(removed, "VELLMOR_EVENT"), "removed");
  EXPECT_EQ(Text(removed, "MESSAGE_ID"), "5c1ec34a9a544a39b09199160db2ca7c");
  EXPECT_EQ(Text(removed, "VELLMOR_SERIAL"), "4C530001231120115142");
  EXPECT_EQ(Text(removed, "VELLMOR_DIGEST"), "AE6E35C8E506AAF9F9C52D8CA2E4E68A");
  EXPECT_EQ(Text(removed, "VELLMOR_LOCATION"), "1-2");
  EXPECT_EQ(Text(removed, "PRIORITY"), "6");
  EXPECT_EQ(Text(removed, "VELLMOR_ALLOWED"), "1");

  const nlohmann::json& present = entries[0];
  EXPECT_EQ(Text(present, "VELLMOR_EVENT"), "present");
  EXPECT_EQ(Text(present, "MESSAGE_ID"), "0326c970bdac4b4ba3dc20cda2a78317");
  EXPECT_EQ(Text(present, "PRIORITY"), "6");
  EXPECT_EQ(Text(present, "VELLMOR_SERIAL"), "4C530001231120115142");
  EXPECT_EQ(Text(present, "VELLMOR_DIGEST"), "AE6E35C8E506AAF9F9C52D8CA2E4E68A");
  EXPECT_EQ(Text(present, "VELLMOR_ALLOWED"), "1");

  const nlohmann::json& arrived = entries[1];
  EXPECT_EQ(Text(arrived, "MESSAGE"),
            "USB drive plugged in: serial AAAAAAAA, 0781:5567 Flash Disk, at 1-3, not allowed");
  EXPECT_EQ(Text(arrived, "MESSAGE_ID"), "c7baa10749b444458edb161f02d96763");
  EXPECT_EQ(Text(arrived, "PRIORITY"), "4");
  EXPECT_EQ(Text(arrived, "SYSLOG_IDENTIFIER"), "vellmor-cli");
  EXPECT_EQ(Text(arrived, "VELLMOR_SCHEMA_VERSION"), "1");
  EXPECT_EQ(Text(arrived, "VELLMOR_EVENT"), "arrived");
  EXPECT_EQ(Text(arrived, "VELLMOR_SERIAL"), "AAAAAAAA");
  EXPECT_EQ(Text(arrived, "VELLMOR_DEVICE_ID"), "USB\\VID_0781&PID_5567\\AAAAAAAA");
  EXPECT_EQ(Text(arrived, "VELLMOR_VENDOR_ID"), "0781");
  EXPECT_EQ(Text(arrived, "VELLMOR_PRODUCT_ID"), "5567");
  EXPECT_EQ(Text(arrived, "VELLMOR_PRODUCT"), "Flash Disk");
  EXPECT_EQ(Text(arrived, "VELLMOR_LOCATION"), "1-3");
  EXPECT_EQ(Text(arrived, "VELLMOR_MANUFACTURER"), "<missing>");
  EXPECT_EQ(Text(arrived, "VELLMOR_NOTES"), "short\nplaceholder");
  EXPECT_EQ(Text(arrived, "VELLMOR_MOUNT_POINTS"), "");
  EXPECT_EQ(Text(arrived, "VELLMOR_LABELS"),
            "x\\x0aVELLMOR_SERIAL=FAKE\\x0aPRIORITY=0\\x0aVELLMOR_ALLOWED=1");
  EXPECT_EQ(Text(arrived, "VELLMOR_ALLOWED"), "0");
  const nlohmann::json drive = nlohmann::json::parse(Text(arrived, "VELLMOR_DRIVE_JSON"));
  EXPECT_EQ(drive.at("serial"), "AAAAAAAA");
  EXPECT_EQ(drive.at("disks").at(0).at("partitions").at(0).at("label"),
            "x\nVELLMOR_SERIAL=FAKE\nPRIORITY=0\nVELLMOR_ALLOWED=1");
  for (const nlohmann::json& entry : entries) {
    for (const std::string name : {"VELLMOR_SERIAL", "PRIORITY", "VELLMOR_ALLOWED"}) {
      EXPECT_TRUE(entry.at(name).is_string()) << name << " became more than one field";
    }
  }

  // journal-upload ships the journal to journal-remote; the fields come through whole,
  // with the sender's host name and machine id.
  Output(std::string("/lib/systemd/systemd-journal-upload --follow=no -u ") +
         std::getenv("VELLMOR_TEST_UPLOAD_URL") + " 2>/dev/null");
  const std::vector<nlohmann::json> received =
      Entries(std::string("--file=") + std::getenv("VELLMOR_TEST_RECEIVED") +
              " VELLMOR_EVENT=arrived VELLMOR_SERIAL=AAAAAAAA");
  ASSERT_EQ(received.size(), 1U);
  std::array<char, 256> host{};
  ::gethostname(host.data(), host.size() - 1);
  EXPECT_EQ(Text(received[0], "_HOSTNAME"), host.data());
  EXPECT_EQ(Text(received[0], "_MACHINE_ID"), std::getenv("VELLMOR_TEST_MACHINE_ID"));
  for (const auto& [name, value] : arrived.items()) {
    if (name.starts_with("VELLMOR_")) {
      EXPECT_EQ(Text(received[0], name), Text(arrived, name)) << name;
    }
  }
  EXPECT_EQ(Text(received[0], "MESSAGE_ID"), "c7baa10749b444458edb161f02d96763");
}

}  // namespace
