#include "run_time_error.h"

#include <array>
#include <utility>

namespace vellmor {

namespace {

constexpr std::array<std::pair<int, std::u16string_view>, 5> kErrorTexts = {{
    {RunTimeError::kInvalidProcedureCall, u"无效的过程调用或参数"},
    {RunTimeError::kOverflow, u"溢出"},
    {RunTimeError::kSubscriptOutOfRange, u"下标越界"},
    {RunTimeError::kErrorInLoadingDll, u"加载 DLL 错误"},
    {RunTimeError::kDllFunctionNotFound, u"找不到指定的 DLL 函数"},
}};

}  // namespace

const char* RunTimeError::what() const noexcept { return "run-time error"; }

std::u16string_view RunTimeErrorText(int code) {
  for (const auto& [known, text] : kErrorTexts) {
    if (known == code) {
      return text;
    }
  }
  return {};
}

std::u16string RunTimeErrorMessage(int code) {
  std::u16string message = u"运行时错误 '";
  for (const char digit : std::to_string(code)) {
    message.push_back(static_cast<char16_t>(digit));
  }
  message += u'\'';
  const std::u16string_view text = RunTimeErrorText(code);
  if (!text.empty()) {
    message += u"：\n\n";
    message += text;
  }
  return message;
}

}  // namespace vellmor
