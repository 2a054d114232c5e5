#include "cc.h"

#include <utility>

#include "selection_rule.h"

namespace vellmor::serial {

std::vector<DeviceId> CollectDeviceIds(UsbHubSource& source) {
  // Every step may fail; a failure ends the scan (or, for one DeviceID, passes over it)
  // and is never passed on, whether the source reports it or throws it.
  std::vector<DeviceId> ids;
  std::unique_ptr<UsbHubService> service;
  try {
    service = source.Bind(kServiceMoniker);
  } catch (...) {
    return ids;
  }
  if (!service) {
    return ids;
  }

  std::unique_ptr<UsbHubResults> results;
  try {
    results = service->ExecQuery(kUsbHubQuery);
    if (!results || !results->StartEnumeration()) {
      return ids;
    }
  } catch (...) {
    return ids;
  }

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

SerialValue CC(UsbHubSource& source) { return SelectSerial(CollectDeviceIds(source)); }

}  // namespace vellmor::serial
