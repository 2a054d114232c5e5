#pragma once

#include <functional>
#include <string>
#include <string_view>

#include <windows.h>

#include "serial/read_serial_command.h"

namespace vellmor::win32 {

// Shows the warning and returns once the user has closed it. Tests answer it here.
using WarningPresenter = std::function<void(std::u16string_view text, std::u16string_view title)>;

// The system's message box: OK alone, no icon, owned by the window and modal to it.
void ShowWarningBox(HWND owner, std::u16string_view text, std::u16string_view title);

// The read-serial command's view of MainW: its two text boxes and the warning.
class Win32ReadSerialView final : public serial::ReadSerialView {
 public:
  Win32ReadSerialView(HWND text1, HWND text2, const WarningPresenter& presenter);

  void SetText1(const std::u16string& text) override;
  std::u16string Text1() const override;
  void ShowWarning(std::u16string_view text, std::u16string_view title) override;
  void SetText2(const std::u16string& text) override;

 private:
  HWND m_text1;
  HWND m_text2;
  const WarningPresenter& m_presenter;
};

}  // namespace vellmor::win32
