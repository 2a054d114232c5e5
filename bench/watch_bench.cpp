// Runs under umockdev-wrapper (bench/CMakeLists.txt says how): sticks plugged into
// umockdev's mock /sys, and vellmor-cli watching them in a process of its own.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>

#include <benchmark/benchmark.h>

#include "mock_sticks.h"
#include "process_ticks.h"

namespace {

using vellmor::bench::CpuTicks;
using vellmor::bench::TicksOver;
using vellmor::mock::Cli;
using vellmor::mock::Clock;
using vellmor::mock::MockSticks;

std::string Serial(int port) { return "4C5300012311201151" + std::to_string(10 + port); }

// From the last event of a stick (its partition) to its line on watch's output.
void BM_WatchLatency(benchmark::State& state) {
  MockSticks sticks;
  Cli watch({"watch", "--csv"});
  watch.ErrorLines(1);
  std::size_t lines = 1;
  watch.Lines(lines);
  int port = 1;
  for (auto _ : state) {
    sticks.Plug(port, Serial(port).c_str());
    const Clock::time_point sent = Clock::now();
    if (watch.Lines(++lines).find(Serial(port)) == std::string::npos) {
      state.SkipWithError("no line for the stick");
      break;
    }
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - sent).count());
    ++port;
  }
  watch.Signal(SIGINT);
  watch.Status();
}
// Eight sticks a run: umockdev's preload keeps a small table of the files it emulates
// and runs out of room in a longer session.
BENCHMARK(BM_WatchLatency)
    ->UseManualTime()
    ->Iterations(8)
    ->Repetitions(3)
    ->Unit(benchmark::kMillisecond);

// Watch with nothing happening: the processor time it takes over five seconds.
void BM_WatchIdle(benchmark::State& state) {
  MockSticks sticks;
  Cli watch({"watch"});
  watch.ErrorLines(1);
  long ticks = 0;
  for (auto _ : state) {
    ticks = TicksOver(watch.pid(), std::chrono::seconds(5));
  }
  state.counters["cpu_ticks"] = static_cast<double>(ticks);
  state.counters["cpu_percent"] =
      100.0 * static_cast<double>(ticks) / static_cast<double>(::sysconf(_SC_CLK_TCK)) / 5.0;
  watch.Signal(SIGINT);
  watch.Status();
}
BENCHMARK(BM_WatchIdle)->Iterations(1)->Unit(benchmark::kSecond);

long ResidentKib(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.starts_with("VmRSS:")) {
      return std::stol(line.substr(6));
    }
  }
  return -1;
}

// A stick pulled out and plugged in again `events` / 5 times (a remove and four adds each),
// each arrival's line awaited: every arrival reported, resident memory and processor time
// from after the 100th arrival (the 5th in a short soak) to the end.
int Soak(int events) {
  MockSticks sticks;
  Cli watch({"watch", "--csv"});
  watch.ErrorLines(1);
  watch.Lines(1);
  const std::string stick = sticks.Plug(2, Serial(2).c_str());
  std::size_t lines = 2;
  if (watch.Lines(lines).find(Serial(2)) == std::string::npos) {
    std::cerr << "no line for the first stick\n";
    return 1;
  }
  const int replugs = events / 5;
  // umockdev's preload keeps an entry for every open of an emulated device node and stops
  // the program after about 50 arrivals; shorter soaks measure from the 5th.
  const int warm = replugs >= 200 ? 100 : 5;
  long rss_start = 0;
  long ticks_start = 0;
  const auto start = Clock::now();
  for (int i = 1; i <= replugs; ++i) {
    sticks.Replug(stick, false);
    ++lines;
    const std::string out = watch.Lines(lines, std::chrono::milliseconds(10000));
    if (static_cast<std::size_t>(std::count(out.begin(), out.end(), '\n')) < lines) {
      std::cerr << "arrival " << i << " not reported\n"
                << watch.ErrorLines(3, std::chrono::milliseconds(100));
      return 1;
    }
    if (i == warm) {
      rss_start = ResidentKib(watch.pid());
      ticks_start = CpuTicks(watch.pid());
    }
  }
  const long rss_end = ResidentKib(watch.pid());
  const long ticks = CpuTicks(watch.pid()) - ticks_start;
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  const int measured_events = (replugs - warm) * 5;
  std::printf("events %d, arrivals %d, all reported; wall %.1f s\n", replugs * 5, replugs, seconds);
  std::printf("resident after %d arrivals %ld KiB, at the end %ld KiB, growth %ld KiB\n", warm,
              rss_start, rss_end, rss_end - rss_start);
  std::printf("processor time for the last %d events: %.2f s, %.1f us per event\n", measured_events,
              static_cast<double>(ticks) / static_cast<double>(::sysconf(_SC_CLK_TCK)),
              1e6 * static_cast<double>(ticks) / static_cast<double>(::sysconf(_SC_CLK_TCK)) /
                  measured_events);
  watch.Signal(SIGINT);
  watch.Status();
  return 0;
}

// An inventory session: three sticks plugged in one after another, a second apart.
int Session() {
  MockSticks sticks;
  Cli watch({"watch", "--csv"});
  std::cerr << watch.ErrorLines(1);
  watch.Lines(1);
  const char* const labels[] = {"OFFICE", "BACKUP", nullptr};
  const char* const serials[] = {"4C530001231120115142", "0123456789ABCDEF", nullptr};
  for (int stick = 0; stick < 3; ++stick) {
    std::this_thread::sleep_for(std::chrono::seconds(1));
    std::vector<const char*> volume;
    if (labels[stick] != nullptr) {
      volume = {"ID_FS_TYPE", "vfat", "ID_FS_LABEL_ENC", labels[stick]};
    }
    sticks.Plug(stick + 2, serials[stick], volume);
    watch.Lines(static_cast<std::size_t>(stick) + 2, std::chrono::milliseconds(10000));
  }
  watch.Signal(SIGINT);
  const int status = watch.Status();
  std::cout << watch.Lines(0);
  std::cerr << "exit status " << status << '\n';
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  if (!MockSticks::Usable()) {
    std::cerr << "run under umockdev-wrapper\n";
    return 2;
  }
  if (argc > 1 && std::string(argv[1]) == "--session") {
    return Session();
  }
  if (argc > 2 && std::string(argv[1]) == "--soak") {
    return Soak(std::stoi(argv[2]));
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
