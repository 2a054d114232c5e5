#include "sysfs_usb_hub_source.h"

#include <cstddef>
#include <optional>
#include <utility>

#include "sysfs_listing.h"

namespace vellmor::serial {

namespace fs = std::filesystem;

namespace {

// What the hub query delivers and the mass-storage functions among it, read together.
struct Snapshot {
  std::vector<DeviceId> hubs;
  std::vector<DeviceId> storage;
  std::vector<DeviceId> devices;
};

// Nothing is read after this: later enumeration sees the devices as they were now.
std::optional<Snapshot> TakeSnapshot(const fs::path& root) {
  auto devices = ScanSysfsUsbDevices(root);
  if (!devices) {
    return std::nullopt;
  }
  Snapshot snapshot;
  snapshot.hubs.reserve(devices->size());
  for (SysfsUsbDevice& device : *devices) {
    snapshot.devices.push_back(device.id);
    snapshot.devices.insert(snapshot.devices.end(), device.interface_ids.begin(),
                            device.interface_ids.end());
    if (!device.listed) {
      continue;
    }
    snapshot.storage.insert(snapshot.storage.end(), device.storage_ids.begin(),
                            device.storage_ids.end());
    snapshot.hubs.push_back(std::move(device.id));
    for (DeviceId& id : device.interface_ids) {
      snapshot.hubs.push_back(std::move(id));
    }
  }
  return snapshot;
}

class SysfsUsbHubResults : public UsbHubResults {
 public:
  explicit SysfsUsbHubResults(std::vector<DeviceId> ids) : m_ids(std::move(ids)) {}

  bool StartEnumeration() override {
    m_started = true;
    m_next = 0;
    m_current.reset();
    return true;
  }

  Fetch Next() override {
    if (!m_started) {
      return Fetch::kFailed;
    }
    if (m_next >= m_ids.size()) {
      m_current.reset();
      return Fetch::kEnd;
    }
    m_current = m_next++;
    return Fetch::kItem;
  }

  DeviceId ReadDeviceId() override {
    if (!m_current) {
      return DeviceId::Unreadable();
    }
    return m_ids[*m_current];
  }

 private:
  std::vector<DeviceId> m_ids;
  bool m_started = false;
  std::size_t m_next = 0;
  std::optional<std::size_t> m_current;
};

class SysfsUsbHubService : public UsbHubService {
 public:
  explicit SysfsUsbHubService(fs::path root) : m_root(std::move(root)) {}

  std::unique_ptr<UsbHubResults> ExecQuery(std::u16string_view query) override {
    if (query != kUsbHubQuery && query != kUsbStorageQuery && query != kUsbDeviceQuery) {
      return nullptr;
    }
    auto snapshot = TakeSnapshot(m_root);
    if (!snapshot) {
      return nullptr;
    }
    return std::make_unique<SysfsUsbHubResults>(std::move(query == kUsbHubQuery ? snapshot->hubs
                                                          : query == kUsbStorageQuery
                                                              ? snapshot->storage
                                                              : snapshot->devices));
  }

 private:
  fs::path m_root;
};

}  // namespace

std::optional<std::vector<SysfsUsbDevice>> ScanSysfsUsbDevices(const fs::path& root) {
  Listing listing(root / "bus" / "usb" / "devices");
  if (listing.state() == Listing::State::kMissing) {
    return std::vector<SysfsUsbDevice>();
  }
  if (listing.state() != Listing::State::kOpen) {
    return std::nullopt;
  }
  return ReadUsbDeviceList(
      listing.Names(), [&listing](const std::string& relative) { return listing.Read(relative); });
}

SysfsUsbHubSource::SysfsUsbHubSource(fs::path root) : m_root(std::move(root)) {}

std::unique_ptr<UsbHubService> SysfsUsbHubSource::Bind(std::u16string_view moniker) {
  if (moniker != kServiceMoniker) {
    return nullptr;
  }
  return std::make_unique<SysfsUsbHubService>(m_root);
}

}  // namespace vellmor::serial
