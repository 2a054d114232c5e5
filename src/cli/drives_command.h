#pragma once

#include <iosfwd>

#include "drives/allowed_list.h"
#include "drives/drives.h"

namespace vellmor::cli {

// `drives`: every mass-storage device now plugged in, in delivery order.
// With an allowed list, each is marked allowed or not.
int RunDrives(bool json, drives::DriveSource& source, std::ostream& out, std::ostream& err,
              const drives::AllowedList* allowed = nullptr);

}  // namespace vellmor::cli
