#include "allowed_command.h"

#include <filesystem>
#include <ostream>

#include "base/utf.h"
#include "cli.h"
#include "drives/allowed_rules.h"
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

int RunAllowed(const Options& options, std::ostream& out, std::ostream& err) {
  const std::vector<std::string>& operands = options.rule_operands;
  if (operands.size() != 2) {
    return Refuse(err, "allowed needs an enforcer (usbguard or windows) and the list's file");
  }
  const bool usbguard = operands[0] == "usbguard";
  if (!usbguard && operands[0] != "windows") {
    return Refuse(err,
                  "allowed: unknown enforcer " + Describe(operands[0]) + " (usbguard or windows)");
  }
  const auto list = LoadAllowedList(operands[1], err);
  if (!list) {
    return kExitUsage;
  }
  const std::string name = ShownPath(operands[1]);
  const drives::RuleExport rules =
      usbguard ? drives::UsbGuardRules(*list, name) : drives::WindowsInstanceIds(*list, name);
  for (const std::string& line : rules.lines) {
    out << line << '\n';
  }
  for (const std::string& refused : rules.refused) {
    Fail(err, refused + " (not exported)", 0);
  }
  return rules.refused.empty() ? kExitOk : kExitNoSerial;
}

}  // namespace vellmor::cli
