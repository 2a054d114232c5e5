#pragma once

#include <optional>
#include <string>
#include <vector>

namespace vellmor::cli {

// Makes standard output and error carry UTF-8 and standard input read as bytes.
void PrepareConsole();

// The arguments after the program name: converted to UTF-8 where the system
// hands them over as UTF-16, the bytes as given elsewhere. No value when an
// argument cannot be converted.
std::optional<std::vector<std::string>> CommandLineArguments(int argc, char** argv);

}  // namespace vellmor::cli
