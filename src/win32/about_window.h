#pragma once

#include <memory>

#include <windows.h>

#include "design/platform_shell.h"
#include "design_window.h"

namespace vellmor::win32 {

// The About window 关于: one object for the run, its window built anew from the
// design at every showing and destroyed when the user closes it.
class AboutWindow {
 public:
  // The shell must outlive the object.
  explicit AboutWindow(design::PlatformShell& shell);
  ~AboutWindow();
  AboutWindow(const AboutWindow&) = delete;
  AboutWindow& operator=(const AboutWindow&) = delete;

  // Shows the window centred over `over`, which takes no input meanwhile, and
  // returns once the user has closed it.
  void ShowModal(HWND over);

  // The window while it is shown, else null.
  HWND hwnd() const { return m_window ? m_window->hwnd() : nullptr; }
  HWND Control(std::string_view name) const { return m_window ? m_window->Control(name) : nullptr; }
  // How often it has been shown.
  int showings() const { return m_showings; }

 private:
  design::PlatformShell& m_shell;
  std::unique_ptr<DesignWindow> m_window;
  int m_showings = 0;
};

}  // namespace vellmor::win32
