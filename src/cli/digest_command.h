#pragma once

#include <iosfwd>

#include "options.h"

namespace vellmor::cli {

// `digest`: the digest of TEXT, or of all of standard input.
int RunDigest(const Options& options, std::istream& in, std::ostream& out, std::ostream& err);

}  // namespace vellmor::cli
