#include "about_window.h"

#include "design/window_design.h"
#include "event_handler.h"
#include "message_loop.h"
#include "program_folder.h"

namespace vellmor::win32 {

AboutWindow::AboutWindow(design::PlatformShell& shell) : m_shell(shell) {}

AboutWindow::~AboutWindow() = default;

void AboutWindow::ShowModal(HWND over) {
  DesignWindow::Events events;
  events.click = [this](const design::Control& control) {
    // The owner argument is the About window itself, read at the click.
    const HWND self = hwnd();
    RunEventHandler(self, [&] {
      design::OpenControlLink(m_shell, reinterpret_cast<design::WindowHandle>(self), control,
                              ProgramFolder());
    });
  };
  // Enabled again before the window goes, so that the system activates MainW
  // rather than some other program.
  events.closing = [over] { EnableWindow(over, TRUE); };
  m_window = std::make_unique<DesignWindow>(design::AboutDesign(), over, std::move(events));
  if (m_window->hwnd() == nullptr) {
    m_window.reset();
    return;
  }
  ++m_showings;
  EnableWindow(over, FALSE);
  m_window->Show();
  RunMessageLoop([this] { return m_window->hwnd() == nullptr; }, true);
  EnableWindow(over, TRUE);
  m_window.reset();
}

}  // namespace vellmor::win32
