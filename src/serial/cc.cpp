#include "cc.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "selection_rule.h"

namespace vellmor::serial {

namespace {

// What a query got: the identifiers, and whether the list ended at its end rather than
// at a failed step.
struct Scan {
  std::vector<DeviceId> ids;
  bool whole = false;
};

std::unique_ptr<UsbHubService> BindService(UsbHubSource& source) {
  try {
    return source.Bind(kServiceMoniker);
  } catch (...) {
    return nullptr;
  }
}

// Every step may fail; a failure ends the scan (or, for one DeviceID, passes over it)
// and is never passed on, whether the source reports it or throws it. No value when
// there is no list at all.
std::optional<Scan> RunQuery(UsbHubService& service, std::u16string_view query) {
  std::unique_ptr<UsbHubResults> results;
  try {
    results = service.ExecQuery(query);
    if (!results || !results->StartEnumeration()) {
      return std::nullopt;
    }
  } catch (...) {
    return std::nullopt;
  }

  Scan scan;
  for (;;) {
    UsbHubResults::Fetch fetch = UsbHubResults::Fetch::kFailed;
    try {
      fetch = results->Next();
    } catch (...) {
      return scan;
    }
    if (fetch != UsbHubResults::Fetch::kItem) {
      scan.whole = fetch == UsbHubResults::Fetch::kEnd;
      return scan;
    }

    DeviceId id = DeviceId::Unreadable();
    try {
      id = results->ReadDeviceId();
    } catch (...) {
      // Passed over like any other unreadable DeviceID.
    }
    scan.ids.push_back(std::move(id));
  }
}

std::optional<Scan> ScanDeviceIds(UsbHubSource& source) {
  const auto service = BindService(source);
  if (!service) {
    return std::nullopt;
  }
  return RunQuery(*service, kUsbHubQuery);
}

}  // namespace

std::optional<std::vector<DeviceId>> ReadDeviceIds(UsbHubSource& source) {
  auto scan = ScanDeviceIds(source);
  if (!scan || !scan->whole) {
    return std::nullopt;
  }
  return std::move(scan->ids);
}

std::optional<UsbHubListing> ReadUsbHubListing(UsbHubSource& source) {
  const auto service = BindService(source);
  if (!service) {
    return std::nullopt;
  }
  auto scan = RunQuery(*service, kUsbHubQuery);
  if (!scan) {
    return std::nullopt;
  }
  // The window's read keeps what a broken list gave, as it always has.
  UsbHubListing listing{std::move(scan->ids), {}};
  // Nothing to tell apart without a candidate, so the second query is spared then.
  std::vector<DeviceId> storage_nodes;
  if (ChosenIndex(listing.ids)) {
    if (auto storage = RunQuery(*service, kUsbStorageQuery)) {
      storage_nodes = std::move(storage->ids);
    }
  }
  listing.storage = StorageEntries(listing.ids, storage_nodes);
  return listing;
}

std::optional<std::vector<DeviceId>> ReadCheckIds(UsbHubSource& source) {
  const auto service = BindService(source);
  if (!service) {
    return std::nullopt;
  }
  auto scan = RunQuery(*service, kUsbHubQuery);
  if (!scan || !scan->whole) {
    return std::nullopt;
  }
  std::vector<DeviceId> ids = std::move(scan->ids);
  if (auto others = RunQuery(*service, kUsbDeviceQuery)) {
    for (DeviceId& id : others->ids) {
      if (std::find(ids.begin(), ids.end(), id) == ids.end()) {
        ids.push_back(std::move(id));
      }
    }
  }
  return ids;
}

SerialValue SelectStorageSerial(const UsbHubListing& listing) {
  const auto chosen = ChosenStorageIndex(listing.ids, listing.storage);
  if (!chosen) {
    return std::nullopt;
  }
  return std::u16string(LastPiece(listing.ids[*chosen].text));
}

std::vector<DeviceId> CollectDeviceIds(UsbHubSource& source) {
  auto scan = ScanDeviceIds(source);
  return scan ? std::move(scan->ids) : std::vector<DeviceId>();
}

SerialValue CC(UsbHubSource& source) {
  const auto listing = ReadUsbHubListing(source);
  return listing ? SelectStorageSerial(*listing) : std::nullopt;
}

}  // namespace vellmor::serial
