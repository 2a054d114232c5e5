#include "event_handler.h"

#include <string>

#include "digest/run_time_error.h"
#include "text.h"

namespace vellmor::win32 {
namespace {

std::u16string RunTimeErrorText(int code) {
  std::u16string text = u"运行时错误 '";
  for (const char digit : std::to_string(code)) {
    text += static_cast<char16_t>(digit);
  }
  text += u"'";
  switch (code) {
    case RunTimeError::kInvalidProcedureCall:
      return text + u"：\n\n无效的过程调用或参数";
    case RunTimeError::kOverflow:
      return text + u"：\n\n溢出";
    case RunTimeError::kSubscriptOutOfRange:
      return text + u"：\n\n下标越界";
    default:
      return text;
  }
}

}  // namespace

std::u16string UnhandledErrorMessage(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const RunTimeError& runTimeError) {
    return RunTimeErrorText(runTimeError.code());
  } catch (...) {
    return u"运行时错误";
  }
}

void RunEventHandler(HWND owner, const std::function<void()>& handler) {
  try {
    handler();
  } catch (...) {
    const std::wstring message = Wide(UnhandledErrorMessage(std::current_exception()));
    MessageBoxW(owner, message.c_str(), L"Vellmor", MB_OK | MB_ICONERROR | MB_APPLMODAL);
  }
}

}  // namespace vellmor::win32
