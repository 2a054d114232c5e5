// Runs under umockdev-wrapper: a mock /sys and the device events umockdev replays
// reach vellmor-cli as they would from the kernel, with or without a udev daemon.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <string>

#include "mock_sticks.h"

namespace {

using vellmor::mock::Cli;
using vellmor::mock::Clock;
using vellmor::mock::milliseconds;

class WatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(vellmor::mock::MockSticks::Usable()) << "run under umockdev-wrapper";
  }

  vellmor::mock::MockSticks m_sticks;
};

TEST_F(WatchTest, WaitReadsTheStickPluggedInAndGivesUpWhenNoneComes) {
  const auto start = Clock::now();
  Cli none({"--wait", "0.3"});
  EXPECT_EQ(none.Status(), 1);
  EXPECT_GE(Clock::now() - start, milliseconds(300));
  EXPECT_EQ(none.ErrorLines(1), "请插入U盘\n");

  Cli waiting({"--wait", "--json"});
  ASSERT_TRUE(waiting.Listening());
  m_sticks.Plug(2, "4C530001231120115142");
  EXPECT_EQ(waiting.Status(), 0);
  EXPECT_EQ(waiting.Lines(1).substr(0, 33), R"({"serial":"4C530001231120115142",)");
}

TEST_F(WatchTest, CheckWaitsPastOtherSticksForTheOneWithTheDigestAndGivesUpWithoutIt) {
  // The digest of 4C530001231120115142, in lower case.
  const std::string digest = "ae6e35c8e506aaf9f9c52d8ca2e4e68a";
  const auto start = Clock::now();
  Cli none({"check", "--wait", "0.3", digest});
  EXPECT_EQ(none.Status(), 1);
  EXPECT_GE(Clock::now() - start, milliseconds(300));

  Cli waiting({"check", "--wait", "20", digest});
  ASSERT_TRUE(waiting.Listening());
  const long blocked = waiting.Blocked();
  m_sticks.Plug(2, "OTHERSTICK000001");
  ASSERT_TRUE(waiting.Idle(blocked));
  m_sticks.Plug(3, "4C530001231120115142");
  EXPECT_EQ(waiting.Status(), 0);
  EXPECT_EQ(waiting.Lines(2),
            "USB\\VID_0781&PID_5567\\4C530001231120115142\n4C530001231120115142\n");
}

// A script that calls --wait must tell an interrupt from "no drive", and a shell loop
// around it must stop: it dies by the signal, so bash ends too instead of going on.
TEST_F(WatchTest, InterruptedWaitReadsNothingAndDiesByTheSignalSoTheShellStops) {
  for (const int signal : {SIGINT, SIGTERM}) {
    Cli waiting({"--wait"});
    ASSERT_TRUE(waiting.Listening());
    waiting.Signal(signal);
    EXPECT_EQ(waiting.Status(), 128 + signal);
    EXPECT_EQ(waiting.Lines(1), "");
  }

  const std::string script = std::string("'") + VELLMOR_CLI + "' --wait 30; echo after";
  Cli shell({"/bin/bash", "-c", script}, true);
  pid_t program = -1;
  const auto deadline = Clock::now() + milliseconds(10000);
  while (program < 0 && Clock::now() < deadline) {
    std::ifstream children("/proc/" + std::to_string(shell.pid()) + "/task/" +
                           std::to_string(shell.pid()) + "/children");
    if (!(children >> program)) {
      program = -1;
      ::usleep(2 * 1000);
    }
  }
  ASSERT_GT(program, 0);
  ASSERT_TRUE(Cli::CatchesInterrupt(program, milliseconds(10000)));
  // As the terminal does for Ctrl-C: the whole foreground group.
  ::kill(-shell.pid(), SIGINT);
  EXPECT_EQ(shell.Status(), 128 + SIGINT);
  EXPECT_EQ(shell.Lines(1), "");

  // Started with SIGINT ignored (in the background of a script): the terminal's Ctrl-C is
  // not for it; SIGTERM still is.
  Cli background({"--wait"}, false, false, true);
  ASSERT_TRUE(Cli::CatchesInterrupt(background.pid(), milliseconds(10000), SIGTERM));
  EXPECT_FALSE(Cli::CatchesInterrupt(background.pid(), milliseconds(0)));
  background.Signal(SIGTERM);
  EXPECT_EQ(background.Status(), 128 + SIGTERM);
}

TEST_F(WatchTest, WatchEndsWhenItsReaderHasGone) {
  Cli watch({"watch"});
  ASSERT_NE(watch.ErrorLines(1).find("watching for USB drives"), std::string::npos);
  watch.CloseOutput();
  EXPECT_EQ(watch.StatusWithin(milliseconds(2000)), 0);

  // Started with no standard output at all, its lines go nowhere, and its event socket
  // does not take their descriptor.
  Cli closed({"watch", "--csv"}, false, true);
  ASSERT_NE(closed.ErrorLines(1).find("watching for USB drives"), std::string::npos);
  m_sticks.Plug(2, "4C530001231120115142");
  ASSERT_TRUE(closed.Listening());
  closed.Signal(SIGTERM);
  EXPECT_EQ(closed.Status(), 128 + SIGTERM);
  EXPECT_EQ(closed.ErrorLines(2), closed.ErrorLines(1)) << "nothing more on standard error";
}

TEST_F(WatchTest, WatchWritesALinePerArrivalAlsoOnTheSamePortAndEndsOnTerminate) {
  m_sticks.Plug(2, "ALREADY000000001");  // present before: not a new arrival
  // In /sys when the first scan runs, its events (gone before anyone listened) still to come.
  const std::string during = m_sticks.Plug(6, "DURINGSTART00001");
  Cli watch({"watch", "--csv"});
  ASSERT_NE(watch.ErrorLines(1).find("watching for USB drives"), std::string::npos);
  EXPECT_EQ(watch.Lines(1),
            "time,serial,digest,vendorId,productId,deviceId,mountPoints,labels,notes\r\n");
  m_sticks.Announce(during);
  watch.Lines(2);

  // One stick at a time: umockdev aborts when more events wait than a socket queues.
  // udev writes the label's unsafe bytes as \xNN.
  const std::string stick =
      m_sticks.Plug(3, "4C530001231120115143", {"ID_FS_LABEL_ENC", "A\\x2cB\\x3bC\\x1bD"});
  watch.Lines(3);
  m_sticks.Plug(4, nullptr);
  watch.Lines(4);
  m_sticks.Replug(stick, false);
  watch.Lines(5);
  m_sticks.Replug(stick, true);
  watch.Lines(6);
  watch.Signal(SIGTERM);
  EXPECT_EQ(watch.Status(), 128 + SIGTERM);
  const std::string time = R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z)";
  const std::string own = time + R"(,4C530001231120115143,[0-9A-F]{32},0781,5567,)"
                                 R"(USB\\VID_0781&PID_5567\\4C530001231120115143,,)"
                                 R"(";A,B\\;C\\x1bD",\r\n)";
  EXPECT_TRUE(std::regex_match(
      watch.Lines(6),
      std::regex(
          "time,.*\\r\\n" + time + R"(,DURINGSTART00001,.*,;,\r\n)" + own + time +
          R"(,(5&[0-9A-F]{8}&0&4),[0-9A-F]{32},0781,5567,USB\\VID_0781&PID_5567\\\1,,;,madeUp\r\n)" +
          own + own)))
      << watch.Lines(6);
}

// With an allowed list every line says whether the list allows the stick, as drives does;
// CSV in a column of its own at the end. One watcher at a time: umockdev sends its events
// to one listener.
TEST_F(WatchTest, WatchMarksEachStickByTheAllowedList) {
  const std::string list = ::testing::TempDir() + "vellmor-watch-allowed.txt";
  std::ofstream(list) << "# approved\n4C530001231120115142\n";
  const std::string time = R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z)";

  Cli csv({"watch", "--csv", "--allowed", list});
  ASSERT_TRUE(csv.Listening());
  const std::string listed = m_sticks.Plug(2, "4C530001231120115142");
  csv.Lines(2);
  const std::string other = m_sticks.Plug(3, "OTHERSTICK000001");
  csv.Lines(3);
  csv.Signal(SIGTERM);
  EXPECT_EQ(csv.Status(), 128 + SIGTERM);
  EXPECT_TRUE(std::regex_match(
      csv.Lines(3),
      std::regex("time,serial,digest,vendorId,productId,deviceId,mountPoints,labels,notes,"
                 "allowed\\r\\n" +
                 time + R"(,4C530001231120115142,.*,;,,true\r\n)" + time +
                 R"(,OTHERSTICK000001,.*,;,,false\r\n)")))
      << csv.Lines(3);

  Cli json({"watch", "--json", "--allowed", list});
  ASSERT_TRUE(json.Listening());
  m_sticks.Replug(listed, false);
  json.Lines(1);
  json.Signal(SIGTERM);
  EXPECT_EQ(json.Status(), 128 + SIGTERM);
  EXPECT_TRUE(std::regex_match(
      json.Lines(1),
      std::regex(R"(\{"schemaVersion":1,"time":")" + time +
                 R"(","drive":\{"deviceId":.*"serial":"4C530001231120115142".*\]\}\],)"
                 R"("allowed":true,"allowedLine":2,"untrustedLine":null\}\}\n)")))
      << json.Lines(1);

  Cli text({"watch", "--allowed", list});
  ASSERT_TRUE(text.Listening());
  m_sticks.Replug(other, false);
  text.Lines(1);
  text.Signal(SIGTERM);
  EXPECT_EQ(text.Status(), 128 + SIGTERM);
  EXPECT_TRUE(std::regex_match(text.Lines(1),
                               std::regex(time + R"(  OTHERSTICK000001  .*  not allowed\n)")))
      << text.Lines(1);
}

}  // namespace
