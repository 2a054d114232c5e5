#pragma once

#include <memory>

#include <windows.h>

#include <wbemcli.h>

#include "usb_hub_source.h"

namespace vellmor::serial {

// How long one fetch waits for the management service before it counts as failed.
inline constexpr LONG kFetchTimeoutMilliseconds = 5000;

// The WMI results over any enumerator, the service's or a test's; takes a reference.
std::unique_ptr<UsbHubResults> MakeWmiUsbHubResults(IEnumWbemClassObject* results);

}  // namespace vellmor::serial
