// Runs under umockdev-wrapper: a mock /sys and the device events umockdev replays
// reach vellmor-cli as they would from the kernel, with or without a udev daemon.
#include <gtest/gtest.h>

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
  std::string Plug(int port, const char* serial) { return m_sticks.Plug(port, serial); }
  void Unplug(const std::string& usb) { m_sticks.Unplug(usb); }

 private:
  vellmor::mock::MockSticks m_sticks;
};

TEST_F(WatchTest, WaitReadsTheStickPluggedInAndGivesUpWhenNoneComes) {
  const auto start = Clock::now();
  Cli none({"--wait", "0.3"});
  EXPECT_EQ(none.Status(), 1);
  EXPECT_GE(Clock::now() - start, milliseconds(300));
  EXPECT_EQ(none.ErrorLines(1), "请插入U盘\n");

  Cli waiting({"--wait", "--json"});
  // Give it time to start listening; a stick plugged in before that is simply present.
  ::usleep(300 * 1000);
  Plug(2, "4C530001231120115142");
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
  ::usleep(300 * 1000);
  Plug(2, "OTHERSTICK000001");
  ::usleep(500 * 1000);
  Plug(3, "4C530001231120115142");
  EXPECT_EQ(waiting.Status(), 0);
  EXPECT_EQ(waiting.Lines(2),
            "USB\\VID_0781&PID_5567\\4C530001231120115142\n4C530001231120115142\n");
}

TEST_F(WatchTest, WatchWritesALinePerStickAsItComesAndEndsCleanlyOnInterrupt) {
  Plug(2, "ALREADY000000001");  // present before: not a new arrival
  Cli watch({"watch", "--csv"});
  ASSERT_NE(watch.ErrorLines(1).find("watching for USB drives"), std::string::npos);
  EXPECT_EQ(watch.Lines(1),
            "time,serial,digest,vendorId,productId,deviceId,mountPoints,labels,notes\n");

  // One stick at a time: umockdev aborts when more events wait than a socket queues.
  const std::string stick = Plug(3, "4C530001231120115143");
  watch.Lines(2);
  Plug(4, nullptr);
  watch.Lines(3);
  // Out and in again (another port, as umockdev keeps a removed device's links): a new line.
  Unplug(stick);
  ::usleep(200 * 1000);
  Plug(5, "4C530001231120115143");
  watch.Lines(4);
  watch.Signal(SIGINT);
  EXPECT_EQ(watch.Status(), 0);
  const std::string time = R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z)";
  const std::string own = time + R"(,4C530001231120115143,[0-9A-F]{32},0781,5567,)"
                                 R"(USB\\VID_0781&PID_5567\\4C530001231120115143,,,\n)";
  EXPECT_TRUE(std::regex_match(
      watch.Lines(4),
      std::regex(
          "time,.*\\n" + own + time +
          R"(,(5&[0-9A-F]{8}&0&4),[0-9A-F]{32},0781,5567,USB\\VID_0781&PID_5567\\\1,,,madeUp\n)" +
          own)))
      << watch.Lines(4);
}

}  // namespace
