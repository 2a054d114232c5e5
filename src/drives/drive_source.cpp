#include <algorithm>
#include <utility>

#include "drives.h"

namespace vellmor::drives {

namespace {

class DoneVolumeRead : public VolumeRead {
 public:
  explicit DoneVolumeRead(std::optional<UsbDevice> device) : m_device(std::move(device)) {}
  int descriptor() const override { return -1; }
  bool finished() const override { return true; }
  std::chrono::steady_clock::time_point deadline() const override {
    return std::chrono::steady_clock::time_point::min();
  }
  std::optional<UsbDevice> Finish() override { return std::move(m_device); }

 private:
  std::optional<UsbDevice> m_device;
};

}  // namespace

std::unique_ptr<VolumeRead> DriveSource::StartVolumeRead(const UsbDevice& device) {
  std::optional<UsbDevice> found;
  if (auto devices = ScanUsbDevices(ScanDepth::kVolumes)) {
    const auto match = std::find_if(devices->begin(), devices->end(), [&](const UsbDevice& item) {
      return item.location == device.location;
    });
    if (match != devices->end()) {
      found = std::move(*match);
    }
  }
  return std::make_unique<DoneVolumeRead>(std::move(found));
}

}  // namespace vellmor::drives
