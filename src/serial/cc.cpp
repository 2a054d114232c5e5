#include "cc.h"

#include <utility>

#include "selection_rule.h"

namespace vellmor::serial {

namespace {

// Runs the query and hands each DeviceID to visit in delivery order. Every step
// may fail; a failure ends the scan (or, for one DeviceID, passes over it) and is
// never passed on, whether the source reports it or throws it.
template <typename Visit>
void ScanDeviceIds(UsbHubSource& source, const Visit& visit) {
  std::unique_ptr<UsbHubService> service;
  try {
    service = source.Bind(kServiceMoniker);
  } catch (...) {
    return;
  }
  if (!service) {
    return;
  }

  std::unique_ptr<UsbHubResults> results;
  try {
    results = service->ExecQuery(kUsbHubQuery);
    if (!results || !results->StartEnumeration()) {
      return;
    }
  } catch (...) {
    return;
  }

  for (;;) {
    UsbHubResults::Fetch fetch = UsbHubResults::Fetch::kFailed;
    try {
      fetch = results->Next();
    } catch (...) {
      return;
    }
    if (fetch != UsbHubResults::Fetch::kItem) {
      return;
    }

    DeviceId id = DeviceId::Unreadable();
    try {
      id = results->ReadDeviceId();
    } catch (...) {
      // Passed over like any other unreadable DeviceID.
    }
    visit(std::move(id));
  }
}

}  // namespace

SerialValue CC(UsbHubSource& source) {
  SerialSelection selection;
  ScanDeviceIds(source, [&selection](const DeviceId& id) { selection.Offer(id); });
  return selection.value();
}

std::vector<DeviceId> CollectDeviceIds(UsbHubSource& source) {
  std::vector<DeviceId> ids;
  ScanDeviceIds(source, [&ids](DeviceId id) { ids.push_back(std::move(id)); });
  return ids;
}

}  // namespace vellmor::serial
