// watch --log against a real journald. Run it inside the fleet test's namespaces:
//   tests/fleet/journal_namespace.sh umockdev-wrapper build/bench/bench/vellmor_journal_bench
#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <thread>

#include "drives/log_event.h"
#include "mock_sticks.h"
#include "process_ticks.h"
#include "sandisk_stick.h"

namespace {

using vellmor::mock::Cli;
using vellmor::mock::Clock;
using vellmor::mock::MockSticks;

using vellmor::bench::TicksOver;

// Entries with VELLMOR_EVENT=`event` in the journal.
std::size_t Entries(const char* event) {
  const std::string command =
      std::string("journalctl --no-pager -o cat VELLMOR_EVENT=") + event + " | wc -l";
  FILE* const pipe = ::popen(command.c_str(), "r");
  unsigned long count = 0;
  if (pipe != nullptr) {
    if (std::fscanf(pipe, "%lu", &count) != 1) {
      count = 0;
    }
    ::pclose(pipe);
  }
  return count;
}

vellmor::drives::UsbDevice Stick() {
  vellmor::drives::UsbDevice stick = vellmor::fixtures::SanDiskStick();
  stick.port = u"1-2";
  vellmor::drives::Disk disk;
  disk.volume.name = u"sdb";
  disk.volume.label = u"OFFICE";
  disk.volume.mount_points = {u"/media/office"};
  stick.disks.push_back(disk);
  return stick;
}

// The journal sink alone: how many entries a second journald takes.
void BM_JournalEntries(benchmark::State& state) {
  std::string error;
  const auto log = vellmor::drives::OpenSystemLog(error);
  const vellmor::drives::UsbDevice stick = Stick();
  for (auto _ : state) {
    if (!log->Write(vellmor::drives::LogEvent::kArrived, stick, nullptr, error)) {
      state.SkipWithError(error.c_str());
      break;
    }
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_JournalEntries)->UseRealTime();

constexpr int kBurst = 40;

// Sticks plugged in when watch --log starts: all their entries, and how long they take.
// umockdev's preload table overflows at about 50 sticks in one process, hence 40.
void BM_WatchBurst(benchmark::State& state) {
  for (auto _ : state) {
    MockSticks sticks;
    for (int port = 2; port < 2 + kBurst; ++port) {
      char serial[32];
      std::snprintf(serial, sizeof serial, "BURST%011d", port);
      sticks.Plug(port, serial);
    }
    const std::size_t before = Entries("present");
    const auto start = Clock::now();
    Cli watch({"watch", "--log"});
    watch.ErrorLines(1, std::chrono::milliseconds(60000));
    std::size_t logged = 0;
    while ((logged = Entries("present") - before) < static_cast<std::size_t>(kBurst) &&
           Clock::now() - start < std::chrono::seconds(60)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    state.counters["entries"] = static_cast<double>(logged);
    watch.Signal(SIGTERM);
    watch.Status();
    if (logged < static_cast<std::size_t>(kBurst)) {
      std::cerr << watch.ErrorLines(100, std::chrono::milliseconds(0));
    }
  }
}
BENCHMARK(BM_WatchBurst)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

// 100 sticks in one go through the code watch --log runs: journald keeps all 100.
void BM_Burst100(benchmark::State& state) {
  std::string error;
  const auto log = vellmor::drives::OpenSystemLog(error);
  std::vector<vellmor::drives::UsbDevice> sticks(100, Stick());
  for (std::size_t i = 0; i < sticks.size(); ++i) {
    sticks[i].serial = u"BURST" + std::u16string(1, static_cast<char16_t>(u'A' + i % 26)) +
                       std::u16string(1, static_cast<char16_t>(u'A' + i / 26));
  }
  for (auto _ : state) {
    const std::size_t before = Entries("removed");
    const auto start = Clock::now();
    if (!vellmor::drives::LogDrives(*log, vellmor::drives::LogEvent::kRemoved, sticks, error)) {
      state.SkipWithError(error.c_str());
      break;
    }
    std::size_t logged = 0;
    while ((logged = Entries("removed") - before) < sticks.size() &&
           Clock::now() - start < std::chrono::seconds(30)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    state.counters["entries"] = static_cast<double>(logged);
  }
}
BENCHMARK(BM_Burst100)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_WatchLogIdle(benchmark::State& state) {
  MockSticks sticks;
  Cli watch({"watch", "--log"});
  watch.ErrorLines(1);
  long ticks = 0;
  for (auto _ : state) {
    ticks = TicksOver(watch.pid(), std::chrono::seconds(5));
  }
  state.counters["cpu_ticks"] = static_cast<double>(ticks);
  watch.Signal(SIGTERM);
  watch.Status();
}
BENCHMARK(BM_WatchLogIdle)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv) {
  if (!MockSticks::Usable() || std::getenv("VELLMOR_TEST_RECEIVED") == nullptr) {
    std::cerr << "run under umockdev-wrapper in tests/fleet/journal_namespace.sh\n";
    return 2;
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
