#include "cc.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "selection_rule.h"

namespace vellmor::serial {

namespace {

std::unique_ptr<UsbHubService> BindService(UsbHubSource& source) {
  try {
    return source.Bind(kServiceMoniker);
  } catch (...) {
    return nullptr;
  }
}

// Every step may fail; a failure ends the scan (or, for one DeviceID, passes over it)
// and is never passed on, whether the source reports it or throws it.
std::optional<std::vector<DeviceId>> RunQuery(UsbHubService& service, std::u16string_view query) {
  std::unique_ptr<UsbHubResults> results;
  try {
    results = service.ExecQuery(query);
    if (!results || !results->StartEnumeration()) {
      return std::nullopt;
    }
  } catch (...) {
    return std::nullopt;
  }

  std::vector<DeviceId> ids;

  for (;;) {
    UsbHubResults::Fetch fetch = UsbHubResults::Fetch::kFailed;
    try {
      fetch = results->Next();
    } catch (...) {
      return ids;
    }
    if (fetch != UsbHubResults::Fetch::kItem) {
      return ids;
    }

    DeviceId id = DeviceId::Unreadable();
    try {
      id = results->ReadDeviceId();
    } catch (...) {
      // Passed over like any other unreadable DeviceID.
    }
    ids.push_back(std::move(id));
  }
}

}  // namespace

std::optional<std::vector<DeviceId>> ReadDeviceIds(UsbHubSource& source) {
  const auto service = BindService(source);
  if (!service) {
    return std::nullopt;
  }
  return RunQuery(*service, kUsbHubQuery);
}

std::optional<UsbHubListing> ReadUsbHubListing(UsbHubSource& source) {
  const auto service = BindService(source);
  if (!service) {
    return std::nullopt;
  }
  auto ids = RunQuery(*service, kUsbHubQuery);
  if (!ids) {
    return std::nullopt;
  }
  UsbHubListing listing{std::move(*ids), {}};
  // Nothing to tell apart without a candidate, so the second query is spared then.
  std::vector<DeviceId> storage_nodes;
  if (ChosenIndex(listing.ids)) {
    storage_nodes = RunQuery(*service, kUsbStorageQuery).value_or(std::vector<DeviceId>());
  }
  listing.storage = StorageEntries(listing.ids, storage_nodes);
  return listing;
}

std::optional<std::vector<DeviceId>> ReadCheckIds(UsbHubSource& source) {
  const auto service = BindService(source);
  if (!service) {
    return std::nullopt;
  }
  auto ids = RunQuery(*service, kUsbHubQuery);
  if (!ids) {
    return std::nullopt;
  }
  for (DeviceId& id : RunQuery(*service, kUsbDeviceQuery).value_or(std::vector<DeviceId>())) {
    if (std::find(ids->begin(), ids->end(), id) == ids->end()) {
      ids->push_back(std::move(id));
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
  return ReadDeviceIds(source).value_or(std::vector<DeviceId>());
}

SerialValue CC(UsbHubSource& source) {
  const auto listing = ReadUsbHubListing(source);
  return listing ? SelectStorageSerial(*listing) : std::nullopt;
}

}  // namespace vellmor::serial
