#include "main_window.h"

#include <utility>

#include "event_handler.h"
#include "program_folder.h"
#include "serial/cc.h"

namespace vellmor::win32 {

MainW::MainW(serial::UsbHubSource& source, design::PlatformShell& shell)
    : m_source(source),
      m_shell(shell),
      m_window(design::MainWDesign(), nullptr,
               {[this](const design::Control& control) { Click(control); },
                [this](const design::Control& control, bool anyButtonHeld) {
                  RunEventHandler(
                      hwnd(), [&] { design::ControlMouseMove(m_shell, control, anyButtonHeld); });
                },
                {},
                [] { PostQuitMessage(0); }}) {
  m_warningPresenter = [this](std::u16string_view text, std::u16string_view title) {
    ShowWarningBox(hwnd(), text, title);
  };
}

MainW::~MainW() = default;

void MainW::Show() { m_window.Show(); }

serial::SerialValue MainW::CC() { return serial::CC(m_source); }

void MainW::SetWarningPresenter(WarningPresenter presenter) {
  m_warningPresenter = std::move(presenter);
}

void MainW::Click(const design::Control& control) {
  RunEventHandler(hwnd(), [&] {
    if (control.name == "Command1") {
      Command1Click();
    } else if (control.name == "Command3") {
      Command3Click();
    } else {
      design::OpenControlLink(m_shell, reinterpret_cast<design::WindowHandle>(hwnd()), control,
                              ProgramFolder());
    }
  });
}

void MainW::Command1Click() {
  Win32ReadSerialView view(Control("Text1"), Control("Text2"), m_warningPresenter);
  serial::RunReadSerialCommand([this] { return CC(); }, view);
}

void MainW::Command3Click() {
  if (!m_about) {
    m_about = std::make_unique<AboutWindow>(m_shell);
  }
  m_about->ShowModal(hwnd());
}

}  // namespace vellmor::win32
