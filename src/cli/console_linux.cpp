#include "console.h"

namespace vellmor::cli {

// Linux streams are bytes already and the terminal is UTF-8.
void PrepareConsole() {}

std::optional<std::vector<std::string>> CommandLineArguments(int argc, char** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    args.emplace_back(argv[i]);
  }
  return args;
}

}  // namespace vellmor::cli
