#include "drives.h"

#include <string>
#include <utility>

#include "cc.h"
#include "selection_rule.h"
#include "serial_notes.h"
#include "sysfs_drives.h"
#include "usb_hub_source.h"
#include "usb_identifier.h"

namespace vellmor::serial {

namespace {

// The USB devices of the management service's hub list, their serials judged by the
// identifiers' shape.
class WmiDriveSource : public DriveSource {
 public:
  std::optional<std::vector<UsbDevice>> ScanUsbDevices() override {
    const std::unique_ptr<UsbHubSource> hubs = MakeSystemUsbHubSource();
    std::vector<UsbDevice> devices;
    for (DeviceId& id : CollectDeviceIds(*hubs)) {
      if (id.kind != DeviceId::Kind::kText || !MatchesVidPattern(id.text)) {
        continue;
      }
      UsbDevice device;
      device.serial = std::u16string(LastPiece(id.text));
      if (const auto parts = ParseUsbIdentifier(id.text)) {
        device.vendor = parts->vendor;
        device.product = parts->product;
        device.serial_made_up = IsGeneratedInstance(parts->instance);
      }
      device.device_id = std::move(id.text);
      devices.push_back(std::move(device));
    }
    AddSerialNotes(devices);
    return devices;
  }
};

}  // namespace

std::unique_ptr<DriveSource> MakeSystemDriveSource() { return std::make_unique<WmiDriveSource>(); }

// Windows has no sysfs to take disks from.
std::unique_ptr<DriveSource> MakeSysfsDriveSource(const SysfsDrivePaths& /*paths*/) {
  return nullptr;
}

}  // namespace vellmor::serial
