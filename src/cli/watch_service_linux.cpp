#include "watch_service.h"

namespace vellmor::cli {

// systemd runs the watch as it is (vellmor-watch.service).
std::optional<int> RunAsService(const std::function<int()>& /*watch*/) { return std::nullopt; }

}  // namespace vellmor::cli
