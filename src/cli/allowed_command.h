#pragma once

#include <iosfwd>
#include <optional>
#include <string>

#include "drives/allowed_list.h"
#include "options.h"

namespace vellmor::cli {

// The list --allowed names; no value after the error is written. An empty list is
// a list, but one that allows nothing: standard error says so.
std::optional<drives::AllowedList> LoadAllowedList(const std::string& argument, std::ostream& err);

// `allowed usbguard|windows FILE`: what each enforcer is given for the list.
int RunAllowed(const Options& options, std::ostream& out, std::ostream& err);

}  // namespace vellmor::cli
