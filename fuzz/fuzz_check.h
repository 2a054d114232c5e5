#pragma once

#include <cstdio>
#include <cstdlib>

namespace vellmor::fuzz {

// Fails loudly in every build type; assert() is gone under NDEBUG.
[[noreturn]] inline void Fail(const char* condition, const char* file, int line) {
  std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, condition);
  std::abort();
}

}  // namespace vellmor::fuzz

#define FUZZ_CHECK(condition) \
  ((condition) ? static_cast<void>(0) : ::vellmor::fuzz::Fail(#condition, __FILE__, __LINE__))
