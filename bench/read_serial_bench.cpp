#include <benchmark/benchmark.h>

#include "read_action.h"
#include "serial/cc.h"
#include "serial/sysfs_usb_hub_source.h"

namespace {

using vellmor::bench::DiscardingView;
using vellmor::bench::GeneratedTree;

// One click on the read-serial button, from the query to the digest in Text2.
void BM_ReadSerialAction(benchmark::State& state) {
  // Built once: the benchmark calls this function several times to size its runs.
  static const GeneratedTree tree;
  vellmor::serial::SysfsUsbHubSource source(tree.root());
  DiscardingView view;
  for (auto _ : state) {
    vellmor::serial::RunReadSerialCommand([&source] { return vellmor::serial::CC(source); }, view);
    benchmark::DoNotOptimize(view.text2().data());
  }
  if (view.Text1().empty() || view.text2().size() != 32) {
    state.SkipWithError("the drive's serial or its digest is missing");
  }
}
BENCHMARK(BM_ReadSerialAction)->Unit(benchmark::kMicrosecond);

}  // namespace
