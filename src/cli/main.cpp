#include <iostream>

#if defined(_WIN32)
#include <windows.h>
#endif

#include "cli.h"
#include "console.h"
#include "drives/device_arrivals.h"

int main(int argc, char** argv) {
  // First, before anything opens a descriptor that would take 0, 1 or 2.
  vellmor::cli::OpenStandardDescriptors();
#if defined(_WIN32)
  // A DLL asked for by name comes from System32, never from beside a copy in Downloads.
  SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
#endif
  std::ios::sync_with_stdio(false);
  vellmor::cli::PrepareConsole();
  const auto args = vellmor::cli::CommandLineArguments(argc, argv);
  if (!args) {
    std::cerr << "vellmor-cli: an argument cannot be converted to UTF-8\n";
    return vellmor::cli::kExitUsage;
  }
  const int code = vellmor::cli::RunCli(
      *args, std::cin, std::cout, std::cerr, vellmor::serial::MakeSystemUsbHubSource,
      vellmor::drives::MakeSystemDriveSource, vellmor::cli::StandardOutputFacts());
  // Interrupted: the line is finished and everything cleaned up; now end as the signal
  // would have, so a shell loop around us stops.
  if (const int signal = vellmor::drives::ReceivedInterrupt(); signal != 0) {
    std::cout.flush();
    std::cerr.flush();
    vellmor::drives::EndAsInterrupted(signal);
  }
  return code;
}
