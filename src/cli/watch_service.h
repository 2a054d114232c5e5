#pragma once

#include <functional>
#include <optional>

namespace vellmor::cli {

// The service control manager's name for `watch --log` run unattended on Windows.
inline constexpr wchar_t kWatchServiceName[] = L"VellmorWatch";

// Runs `watch` as the service VellmorWatch when the service control manager started
// this process, and gives its status; no value when it did not (a console, a script,
// Linux), and then nothing has been run.
std::optional<int> RunAsService(const std::function<int()>& watch);

}  // namespace vellmor::cli
