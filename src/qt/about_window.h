#pragma once

#include <QWidget>

#include "design/platform_shell.h"
#include "design/window_design.h"

class QCloseEvent;
class QEventLoop;

namespace vellmor::ui {

// The About window 关于: the author's contact details, each a link. One object
// serves the whole run; every showing starts again from the design.
class AboutWindow : public QWidget {
  Q_OBJECT

 public:
  // The shell must outlive the window.
  explicit AboutWindow(design::PlatformShell& shell);
  ~AboutWindow() override;

  // Shows the window modally, centred over the given window, and returns once
  // the user has closed it.
  void ShowModal(const QWidget& over);

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void LoadDesign(const QWidget& over);
  // Label1 to Label4 click: the label's link.
  void LabelClick(const design::Control& control);

  design::PlatformShell& m_shell;
  QEventLoop* m_modalLoop = nullptr;
};

// The folder that holds the program file, in the system's own notation.
QString ProgramFolder();

}  // namespace vellmor::ui
