#pragma once

#include <iosfwd>

#include "drives/drives.h"

namespace vellmor::cli {

// `drives`: every mass-storage device now plugged in, in delivery order.
int RunDrives(bool json, drives::DriveSource& source, std::ostream& out, std::ostream& err);

}  // namespace vellmor::cli
