#include "about_window.h"

#include <string>

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QStyle>

#include "application.h"
#include "design_widgets.h"
#include "link_label.h"

namespace vellmor::ui {

namespace {

const design::Window& Design() { return design::AboutDesign(); }

}  // namespace

QString ProgramFolder() { return QDir::toNativeSeparators(QCoreApplication::applicationDirPath()); }

AboutWindow::AboutWindow(design::PlatformShell& shell)
    : QWidget(nullptr, FrameFlags(Design().frame)), m_shell(shell) {
  setObjectName(ToQString(Design().name));
  // Closing it hides it; only the main window ends the program.
  setAttribute(Qt::WA_QuitOnClose, false);
  setWindowModality(Qt::ApplicationModal);
}

AboutWindow::~AboutWindow() = default;

void AboutWindow::ShowModal(const QWidget& over) {
  LoadDesign(over);
  show();
  QEventLoop loop;
  m_modalLoop = &loop;
  loop.exec(QEventLoop::DialogExec);
  m_modalLoop = nullptr;
}

void AboutWindow::closeEvent(QCloseEvent* event) {
  QWidget::closeEvent(event);
  if (event->isAccepted() && m_modalLoop != nullptr) {
    m_modalLoop->quit();
  }
}

void AboutWindow::LoadDesign(const QWidget& over) {
  // Every showing starts from the design: whatever the last one went through
  // (resized, maximized) must not carry over.
  qDeleteAll(findChildren<QWidget*>(Qt::FindDirectChildrenOnly));
  setWindowState(Qt::WindowNoState);
  ApplyWindowDesign(*this, Design());
  CreateControls(*this, Design());
  for (const design::Control& control : Design().controls) {
    if (auto* label = FindControl<LinkLabel>(*this, control.name)) {
      connect(label, &LinkLabel::clicked, this,
              [this, &control] { RunEventHandler([this, &control] { LabelClick(control); }); });
    }
  }

  const QPoint centre = over.mapToGlobal(over.rect().center());
  setGeometry(
      QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(), QRect(centre, QSize(1, 1))));
}

void AboutWindow::LabelClick(const design::Control& control) {
  // The owner first, then the program's folder, which only the mail form passes.
  const auto owner = static_cast<design::WindowHandle>(winId());
  const std::string folder = control.mailForm ? ProgramFolder().toStdString() : std::string();
  design::OpenControlLink(m_shell, owner, control, folder);
}

}  // namespace vellmor::ui
