#include "console.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace vellmor::cli {

void OpenStandardDescriptors() {
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (::fcntl(fd, F_GETFD) < 0 && errno == EBADF) {
      // The lowest free number is this one; it is kept open for the program's life.
      const int null = ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
      if (null >= 0 && null != fd) {
        ::dup2(null, fd);
        ::close(null);
      }
    }
  }
}

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
