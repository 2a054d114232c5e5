#pragma once

#include <sys/types.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>

namespace vellmor::bench {

// Processor time the kernel counted for the process, user and system, in clock ticks.
inline long CpuTicks(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  // The name in parentheses may hold spaces; the fields count from after it.
  std::istringstream fields(text.substr(text.rfind(')') + 2));
  std::string field;
  long ticks = 0;
  for (int index = 3; fields >> field; ++index) {
    if (index == 14 || index == 15) {
      ticks += std::stol(field);
    }
    if (index == 15) {
      break;
    }
  }
  return ticks;
}

// The ticks the process takes while this thread waits `span`.
inline long TicksOver(pid_t pid, std::chrono::seconds span) {
  const long before = CpuTicks(pid);
  std::this_thread::sleep_for(span);
  return CpuTicks(pid) - before;
}

}  // namespace vellmor::bench
