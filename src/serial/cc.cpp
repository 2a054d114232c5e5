#include "cc.h"

#include <optional>
#include <utility>

#include "selection_rule.h"

namespace vellmor::serial {

namespace {

// What the scan got: the identifiers, and whether the list ended at its end rather than
// at a failed step.
struct Scan {
  std::vector<DeviceId> ids;
  bool whole = false;
};

// Every step may fail; a failure ends the scan (or, for one DeviceID, passes over it)
// and is never passed on, whether the source reports it or throws it. No value when
// there is no list at all.
std::optional<Scan> ScanDeviceIds(UsbHubSource& source) {
  std::unique_ptr<UsbHubService> service;
  try {
    service = source.Bind(kServiceMoniker);
  } catch (...) {
    return std::nullopt;
  }
  if (!service) {
    return std::nullopt;
  }

  std::unique_ptr<UsbHubResults> results;
  try {
    results = service->ExecQuery(kUsbHubQuery);
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

}  // namespace

std::optional<std::vector<DeviceId>> ReadDeviceIds(UsbHubSource& source) {
  auto scan = ScanDeviceIds(source);
  if (!scan || !scan->whole) {
    return std::nullopt;
  }
  return std::move(scan->ids);
}

std::vector<DeviceId> CollectDeviceIds(UsbHubSource& source) {
  auto scan = ScanDeviceIds(source);
  return scan ? std::move(scan->ids) : std::vector<DeviceId>();
}

SerialValue CC(UsbHubSource& source) { return SelectSerial(CollectDeviceIds(source)); }

}  // namespace vellmor::serial
