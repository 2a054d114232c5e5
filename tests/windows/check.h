#pragma once

#include <cstdio>

namespace vellmor::windows_test {

// GoogleTest is not built for the cross-compiler, so these programs count
// their own checks and close with the usual "N passed, N failed" line.
class CheckCounter {
 public:
  // Each check's text is unique within its program, so it says where it failed.
  void Check(bool passed, const char* what) {
    if (passed) {
      ++m_passed;
      return;
    }
    ++m_failed;
    std::printf("FAILED: %s\n", what);
  }

  // The program's exit code.
  int Finish(const char* name) const {
    std::printf("%s: %d passed, %d failed\n", name, m_passed, m_failed);
    std::fflush(stdout);
    return m_failed == 0 ? 0 : 1;
  }

 private:
  int m_passed = 0;
  int m_failed = 0;
};

}  // namespace vellmor::windows_test
