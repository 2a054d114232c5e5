#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace vellmor::ui {

// Reads an environment variable; null when it is not set.
using EnvironmentLookup = std::function<const char*(const char* name)>;

// The answer to --help or --version (-h, -v) on the command line, for standard output;
// nothing for any other command line, which goes to Qt as it is (-platform, -style…).
std::optional<std::string> CommandLineAnswer(int argc, const char* const* argv);

// What to tell the user when the window system has no display to connect to,
// or nothing when there is one (or a platform is named explicitly). Qt's own
// answer to a missing display is an abort.
std::optional<std::string> MissingDisplayMessage(const EnvironmentLookup& lookup,
                                                 std::string_view program);

// The hint added when the window system fails to start all the same.
std::string StartWithoutDisplayHint(std::string_view program);

// Turns Qt's fatal message while the application object starts into that
// message, the hint and exit status 1. Ends with the object.
class PlatformStartGuard {
 public:
  explicit PlatformStartGuard(std::string_view program);
  ~PlatformStartGuard();
  PlatformStartGuard(const PlatformStartGuard&) = delete;
  PlatformStartGuard& operator=(const PlatformStartGuard&) = delete;
};

}  // namespace vellmor::ui
