#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <system_error>

#include <benchmark/benchmark.h>

#include "serial/cc.h"
#include "serial/read_serial_command.h"
#include "serial/sysfs_usb_hub_source.h"

namespace {

namespace fs = std::filesystem;

void Write(const fs::path& file, const std::string& content) {
  std::ofstream(file, std::ios::binary) << content;
}

// A busy machine in a temporary folder: two root hubs, eight external hubs and
// 56 devices behind them (64 devices), every seventh a flash drive, laid out and
// linked as the kernel does.
class GeneratedTree {
 public:
  GeneratedTree() {
    std::random_device random;
    m_root = fs::temp_directory_path() / ("vellmor_bench_" + std::to_string(random()));
    fs::create_directories(Listing());
    int count = 0;
    for (int bus = 1; bus <= 2; ++bus) {
      const fs::path hub_dir = Pci() / ("usb" + std::to_string(bus));
      AddDevice("usb" + std::to_string(bus), hub_dir, std::nullopt, "09");
      Write(hub_dir / "version", bus == 1 ? " 2.00\n" : " 3.00\n");
      for (int port = 1; port <= 4; ++port) {
        const std::string hub = std::to_string(bus) + "-" + std::to_string(port);
        AddDevice(hub, hub_dir / hub, std::nullopt, "09");
        for (int child = 1; child <= 7; ++child, ++count) {
          const std::string name = hub + "." + std::to_string(child);
          const bool drive = count % 7 == 3;
          const std::optional<std::string> serial =
              drive || count % 2 == 0 ? std::optional("a0b1c2d3e4f5" + std::to_string(count))
                                      : std::nullopt;
          AddDevice(name, hub_dir / hub / name, serial, drive ? "08" : "03");
        }
      }
    }
  }
  ~GeneratedTree() {
    std::error_code ignored;
    fs::remove_all(m_root, ignored);
  }
  GeneratedTree(const GeneratedTree&) = delete;
  GeneratedTree& operator=(const GeneratedTree&) = delete;

  const fs::path& root() const { return m_root; }

 private:
  fs::path Listing() const { return m_root / "bus" / "usb" / "devices"; }
  fs::path Pci() const { return m_root / "devices" / "pci0000:00" / "0000:00:14.0"; }

  void AddDevice(const std::string& name, const fs::path& dir,
                 const std::optional<std::string>& serial, std::string_view interface_class) {
    fs::create_directories(dir);
    fs::create_directory_symlink(fs::relative(dir, Listing()), Listing() / name);
    Write(dir / "idVendor", "0951\n");
    Write(dir / "idProduct", "1666\n");
    if (serial) {
      Write(dir / "serial", *serial + "\n");
    }
    const std::string interface_name =
        (name.starts_with("usb") ? name.substr(3) + "-0" : name) + ":1.0";
    fs::create_directories(dir / interface_name);
    Write(dir / interface_name / "bInterfaceClass", std::string(interface_class) + "\n");
    fs::create_directory_symlink(fs::relative(dir / interface_name, Listing()),
                                 Listing() / interface_name);
  }

  fs::path m_root;
};

class DiscardingView : public vellmor::serial::ReadSerialView {
 public:
  void SetText1(const std::u16string& text) override { m_text1 = text; }
  std::u16string Text1() const override { return m_text1; }
  void ShowWarning(std::u16string_view /*text*/, std::u16string_view /*title*/) override {}
  void SetText2(const std::u16string& text) override { m_text2 = text; }
  const std::u16string& text2() const { return m_text2; }

 private:
  std::u16string m_text1;
  std::u16string m_text2;
};

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
