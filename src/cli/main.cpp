#include <iostream>

#include "cli.h"
#include "console.h"

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  vellmor::cli::PrepareConsole();
  const auto args = vellmor::cli::CommandLineArguments(argc, argv);
  if (!args) {
    std::cerr << "vellmor-cli: an argument cannot be converted to UTF-8\n";
    return vellmor::cli::kExitUsage;
  }
  return vellmor::cli::RunCli(
      *args, std::cin, std::cout, std::cerr, vellmor::serial::MakeSystemUsbHubSource,
      vellmor::drives::MakeSystemDriveSource, vellmor::cli::StandardOutputFacts());
}
