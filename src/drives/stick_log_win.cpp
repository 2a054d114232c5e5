#include "stick_history.h"

namespace vellmor::drives {

// Windows keeps sticks in its device store and the tool's events in the Application log;
// neither is read yet.
bool ReadStickLog(StickHistory& /*history*/, const std::optional<std::string>& /*directory*/,
                  std::optional<std::uint64_t> /*since_usec*/, std::string& error) {
  error = "the history of sticks is not read on Windows yet";
  return false;
}

}  // namespace vellmor::drives
