#include "run_time_error.h"

namespace vellmor {

const char* RunTimeError::what() const noexcept {
  switch (m_code) {
    case kInvalidProcedureCall:
      return "run-time error 5: invalid procedure call or argument";
    case kOverflow:
      return "run-time error 6: overflow";
    case kSubscriptOutOfRange:
      return "run-time error 9: subscript out of range";
    case kErrorInLoadingDll:
      return "run-time error 48: error in loading DLL";
    case kDllFunctionNotFound:
      return "run-time error 453: specified DLL function not found";
    default:
      return "run-time error";
  }
}

}  // namespace vellmor
