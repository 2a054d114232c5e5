#include "console.h"

#include <sys/stat.h>
#include <unistd.h>

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

OutputFacts StandardOutputFacts() {
  struct stat status {};
  return {STDOUT_FILENO, ::fstat(STDOUT_FILENO, &status) == 0 && S_ISREG(status.st_mode)};
}

}  // namespace vellmor::cli
