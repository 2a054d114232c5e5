// libvellmor against the code it wraps. The device benchmarks read /sys, so they run under
// umockdev-wrapper, which serves them a generated machine in its place:
//   umockdev-wrapper build/bench/bench/vellmor_lib_bench
#include <umockdev.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include <benchmark/benchmark.h>

#include "digest/digest.h"
#include "read_action.h"
#include "serial/cc.h"
#include "serial/usb_hub_source.h"
#include "vellmor/vellmor.h"

namespace {

using vellmor::bench::DiscardingView;
using vellmor::bench::GeneratedTree;

constexpr std::string_view kSerial = "4C530001231120115142";
constexpr std::u16string_view kSerial16 = u"4C530001231120115142";

void BM_DigestTextDirect(benchmark::State& state) {
  for (auto _ : state) {
    std::u16string digest = vellmor::digest::DigestText(kSerial16, 32);
    benchmark::DoNotOptimize(digest.data());
  }
}
BENCHMARK(BM_DigestTextDirect);

void BM_VellmorDigest(benchmark::State& state) {
  char out[33];
  for (auto _ : state) {
    benchmark::DoNotOptimize(vellmor_digest(kSerial.data(), kSerial.size(), 32, out, sizeof out));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_VellmorDigest);

// The 64 devices of the read action's benchmark, as umockdev's /sys.
class MockMachine {
 public:
  MockMachine() : m_bed(umockdev_testbed_new()) {
    gchar* const root = umockdev_testbed_get_root_dir(m_bed);
    m_tree.emplace(vellmor::bench::fs::path(root) / "sys");
    g_free(root);
  }
  ~MockMachine() {
    m_tree.reset();
    g_object_unref(m_bed);
  }
  MockMachine(const MockMachine&) = delete;
  MockMachine& operator=(const MockMachine&) = delete;

  // Only umockdev's preloaded library puts the machine in place of /sys.
  static bool Usable(benchmark::State& state) {
    const char* const preload = std::getenv("LD_PRELOAD");
    if (preload == nullptr || std::string_view(preload).find("umockdev") == std::string::npos) {
      state.SkipWithError("run under umockdev-wrapper");
      return false;
    }
    static const MockMachine machine;
    return true;
  }

 private:
  UMockdevTestbed* m_bed;
  std::optional<GeneratedTree> m_tree;
};

// One click of the read-serial button through the system's source, as vellmor-cli reads.
void BM_ReadActionOfTheSystem(benchmark::State& state) {
  if (!MockMachine::Usable(state)) {
    return;
  }
  DiscardingView view;
  for (auto _ : state) {
    const auto source = vellmor::serial::MakeSystemUsbHubSource();
    vellmor::serial::RunReadSerialCommand([&source] { return vellmor::serial::CC(*source); }, view);
    benchmark::DoNotOptimize(view.text2().data());
  }
  if (view.Text1().empty()) {
    state.SkipWithError("no serial read");
  }
}
BENCHMARK(BM_ReadActionOfTheSystem)->Unit(benchmark::kMicrosecond);

void BM_VellmorReadSerial(benchmark::State& state) {
  if (!MockMachine::Usable(state)) {
    return;
  }
  char serial[256];
  for (auto _ : state) {
    benchmark::DoNotOptimize(vellmor_read_serial(serial, sizeof serial, nullptr));
  }
}
BENCHMARK(BM_VellmorReadSerial)->Unit(benchmark::kMicrosecond);

// No stick matches, so every identifier's serial is digested: the dearest check.
void BM_VellmorCheckNoMatch(benchmark::State& state) {
  if (!MockMachine::Usable(state)) {
    return;
  }
  const char* const digests[] = {"00000000000000000000000000000000",
                                 "0123456789abcdef0123456789abcdef"};
  char serial[256];
  int code = 0;
  for (auto _ : state) {
    code = vellmor_check(digests, 2, serial, sizeof serial, nullptr);
    benchmark::DoNotOptimize(code);
  }
  if (code != VELLMOR_NOT_FOUND) {
    state.SkipWithError(vellmor_error_text(code));
  }
}
BENCHMARK(BM_VellmorCheckNoMatch)->Unit(benchmark::kMicrosecond);

}  // namespace
