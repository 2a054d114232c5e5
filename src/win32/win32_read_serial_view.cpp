#include "win32_read_serial_view.h"

#include <algorithm>

#include "text.h"

namespace vellmor::win32 {

void ShowWarningBox(HWND owner, std::u16string_view text, std::u16string_view title) {
  const std::wstring wideText = Wide(text);
  const std::wstring wideTitle = Wide(title);
  MessageBoxW(owner, wideText.c_str(), wideTitle.c_str(), MB_OK | MB_APPLMODAL);
}

Win32ReadSerialView::Win32ReadSerialView(HWND text1, HWND text2, const WarningPresenter& presenter)
    : m_text1(text1), m_text2(text2), m_presenter(presenter) {}

void Win32ReadSerialView::SetText1(const std::u16string& text) {
  SetWindowTextW(m_text1, Wide(text).c_str());
}

std::u16string Win32ReadSerialView::Text1() const {
  const int length = GetWindowTextLengthW(m_text1);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const int copied = GetWindowTextW(m_text1, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(std::max(copied, 0)));
  return FromWide(text);
}

void Win32ReadSerialView::ShowWarning(std::u16string_view text, std::u16string_view title) {
  m_presenter(text, title);
}

void Win32ReadSerialView::SetText2(const std::u16string& text) {
  SetWindowTextW(m_text2, Wide(text).c_str());
}

}  // namespace vellmor::win32
