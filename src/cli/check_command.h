#pragma once

#include <functional>
#include <iosfwd>
#include <memory>
#include <string>

#include "drives/device_arrivals.h"
#include "drives/drives.h"
#include "options.h"
#include "serial/usb_hub_source.h"

namespace vellmor::cli {

// `check`: whether a USB device now plugged in has a serial whose digest is one of
// options.digests; with --wait, until one arrives or the time is up. Reads no volume.
// A failed look at the devices or a failed wait is exit 3, never "no match".
using ArrivalsOpener = std::function<std::unique_ptr<drives::DeviceArrivals>(
    drives::DriveSource& drives, drives::ScanDepth depth, std::string& error)>;
int RunCheck(const Options& options, serial::UsbHubSource& source, drives::DriveSource* drives,
             std::ostream& out, std::ostream& err,
             const ArrivalsOpener& open_arrivals = drives::OpenDeviceArrivals);

}  // namespace vellmor::cli
