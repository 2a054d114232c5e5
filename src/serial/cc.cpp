#include "cc.h"

#include <optional>
#include <utility>

#include "selection_rule.h"

namespace vellmor::serial {

std::optional<std::vector<DeviceId>> ReadDeviceIds(UsbHubSource& source) {
  // Every step may fail; a failure ends the scan (or, for one DeviceID, passes over it)
  // and is never passed on, whether the source reports it or throws it.
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

std::vector<DeviceId> CollectDeviceIds(UsbHubSource& source) {
  return ReadDeviceIds(source).value_or(std::vector<DeviceId>());
}

SerialValue CC(UsbHubSource& source) { return SelectSerial(CollectDeviceIds(source)); }

}  // namespace vellmor::serial
