#include "event_handler.h"

#include <string>

#include "base/run_time_error.h"
#include "base/version.h"
#include "text.h"

namespace vellmor::win32 {

std::u16string UnhandledErrorMessage(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const RunTimeError& runTimeError) {
    return RunTimeErrorMessage(runTimeError.code());
  } catch (...) {
    return u"运行时错误";
  }
}

void RunEventHandler(HWND owner, const std::function<void()>& handler) {
  try {
    handler();
  } catch (...) {
    const std::wstring message = Wide(UnhandledErrorMessage(std::current_exception()));
    MessageBoxW(owner, message.c_str(), L"" VELLMOR_PRODUCT_NAME,
                MB_OK | MB_ICONERROR | MB_APPLMODAL);
  }
}

}  // namespace vellmor::win32
