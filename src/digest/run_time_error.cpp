#include "run_time_error.h"

namespace vellmor {

const char* RunTimeError::what() const noexcept {
  switch (m_code) {
    case kOverflow:
      return "run-time error 6: overflow";
    case kSubscriptOutOfRange:
      return "run-time error 9: subscript out of range";
    default:
      return "run-time error";
  }
}

}  // namespace vellmor
