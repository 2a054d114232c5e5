#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli.h"

namespace vellmor::cli {

// Opens descriptors 0 to 2 on /dev/null where they were closed at start (`watch >&-`),
// so that no socket or file the program opens takes their place.
void OpenStandardDescriptors();

// Standard output and error carry UTF-8 (a console gets it as its own characters,
// its code page left as found); standard input reads as bytes.
void PrepareConsole();

// The arguments after the program name: converted to UTF-8 where the system
// hands them over as UTF-16, the bytes as given elsewhere. No value when an
// argument cannot be converted.
std::optional<std::vector<std::string>> CommandLineArguments(int argc, char** argv);

// Standard output as `watch` needs to know it.
OutputFacts StandardOutputFacts();

}  // namespace vellmor::cli
