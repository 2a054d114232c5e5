#pragma once

#include <memory>
#include <string_view>

#include <windows.h>

#include "about_window.h"
#include "design/platform_shell.h"
#include "design/window_design.h"
#include "design_window.h"
#include "serial/device_id.h"
#include "serial/usb_hub_source.h"
#include "win32_read_serial_view.h"

namespace vellmor::win32 {

// The start-up window: the read-serial button with its two text boxes, the
// About button, the notice label and the banner. Closing it ends the message loop.
class MainW {
 public:
  // The source and the shell must outlive the window.
  MainW(serial::UsbHubSource& source, design::PlatformShell& shell);
  ~MainW();
  MainW(const MainW&) = delete;
  MainW& operator=(const MainW&) = delete;

  void Show();
  HWND hwnd() const { return m_window.hwnd(); }
  HWND Control(std::string_view name) const { return m_window.Control(name); }

  // One complete query for the USB serial.
  serial::SerialValue CC();

  void SetWarningPresenter(WarningPresenter presenter);

  // The About window, once Command3 has created it.
  AboutWindow* aboutWindow() const { return m_about.get(); }

 private:
  void Click(const design::Control& control);
  void Command1Click();
  void Command3Click();

  serial::UsbHubSource& m_source;
  design::PlatformShell& m_shell;
  WarningPresenter m_warningPresenter;
  std::unique_ptr<AboutWindow> m_about;
  DesignWindow m_window;
};

}  // namespace vellmor::win32
