#pragma once

#include <iosfwd>

#include "drives/drives.h"
#include "options.h"
#include "serial/usb_hub_source.h"

namespace vellmor::cli {

// `check`: whether a USB device now plugged in has a serial whose digest is one of
// options.digests; with --wait, until one arrives or the time is up. Reads no volume.
int RunCheck(const Options& options, serial::UsbHubSource& source, drives::DriveSource* drives,
             std::ostream& out, std::ostream& err);

}  // namespace vellmor::cli
