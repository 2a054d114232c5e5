#pragma once

#include <exception>
#include <string>
#include <string_view>

namespace vellmor {

// A numbered run-time error that passes unchanged from callee to caller until a
// handler takes it. It carries its code alone, as the program's errors always have.
class RunTimeError : public std::exception {
 public:
  static constexpr int kInvalidProcedureCall = 5;
  static constexpr int kOverflow = 6;
  static constexpr int kSubscriptOutOfRange = 9;
  static constexpr int kErrorInLoadingDll = 48;
  static constexpr int kDllFunctionNotFound = 453;

  explicit RunTimeError(int code) noexcept : m_code(code) {}
  int code() const noexcept { return m_code; }
  // Handlers show RunTimeErrorMessage(code()); this only names the kind.
  const char* what() const noexcept override;

 private:
  int m_code;
};

// What the error is, in the windows' language; empty for a code without a text.
std::u16string_view RunTimeErrorText(int code);

// The message every front end shows for the code: 运行时错误 '6'：, a blank line, the text.
std::u16string RunTimeErrorMessage(int code);

}  // namespace vellmor
