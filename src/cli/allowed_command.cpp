#include "allowed_command.h"

#include <filesystem>
#include <ostream>

#include "base/utf.h"
#include "drives/drive_text.h"
#include "options.h"

namespace vellmor::cli {

namespace {

// The path as messages show it: what was typed, controls made visible.
std::string ShownPath(const std::string& argument) {
  const auto text = Utf8ToUtf16(argument);
  return text ? drives::ShownText(*text) : Describe(argument);
}

}  // namespace

std::optional<drives::AllowedList> LoadAllowedList(const std::string& argument, std::ostream& err) {
  const std::string name = ShownPath(argument);
  std::string error;
  auto list = drives::ReadAllowedList(
      std::filesystem::path(std::u8string(argument.begin(), argument.end())), name, error);
  if (!list) {
    Fail(err, error, 0);
    return std::nullopt;
  }
  if (list->entries.empty()) {
    Fail(err, name + ": the allowed list is empty: no stick is allowed", 0);
  }
  return list;
}

}  // namespace vellmor::cli
