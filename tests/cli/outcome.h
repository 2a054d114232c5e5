#pragma once

#include <string>

namespace vellmor::cli {

// What one run of the command line gave: its status and both streams.
struct Outcome {
  int code = -1;
  std::string out;
  std::string err;
};

}  // namespace vellmor::cli
