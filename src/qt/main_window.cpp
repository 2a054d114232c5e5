#include "main_window.h"

#include <utility>

#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QWindow>

#include "about_window.h"
#include "application.h"
#include "design_widgets.h"
#include "link_label.h"
#include "serial/cc.h"

namespace vellmor::ui {

namespace {

const design::Window& Design() { return design::MainWDesign(); }

}  // namespace

MainW::MainW(serial::UsbHubSource& source, design::PlatformShell& shell)
    : QWidget(nullptr, FrameFlags(Design().frame)), m_source(source), m_shell(shell) {
  m_warningPresenter = [this](const QString& text, const QString& title) {
    ShowWarningBox(this, text, title);
  };

  ApplyWindowDesign(*this, Design());
  QWidget* firstFocus = CreateControls();
  CentreOnScreen();
  if (!Design().taskbarButton) {
    KeepOffTaskbar();
  }
  if (firstFocus != nullptr) {
    firstFocus->setFocus();
  }
}

MainW::~MainW() = default;

serial::SerialValue MainW::CC() { return serial::CC(m_source); }

void MainW::SetWarningPresenter(WarningPresenter presenter) {
  m_warningPresenter = std::move(presenter);
}

void MainW::closeEvent(QCloseEvent* event) {
  QWidget::closeEvent(event);
  if (event->isAccepted()) {
    emit closed();
  }
}

QWidget* MainW::CreateControls() {
  QWidget* firstFocus = ui::CreateControls(*this, Design());
  m_picture1 = FindControl<LinkLabel>(*this, "Picture1");
  m_command1 = FindControl<QPushButton>(*this, "Command1");
  m_command3 = FindControl<QPushButton>(*this, "Command3");
  m_text2 = FindControl<QLineEdit>(*this, "Text2");
  m_text1 = FindControl<QLineEdit>(*this, "Text1");
  m_label4 = FindControl<LinkLabel>(*this, "Label4");
  // Each caption label names its text box, for screen readers too.
  for (const auto& [label, text] : {std::pair{"Label1", m_text1}, std::pair{"Label2", m_text2}}) {
    auto* caption = FindControl<QLabel>(*this, label);
    caption->setBuddy(text);
    text->setAccessibleName(caption->text());
  }

  connect(m_command1, &QPushButton::clicked, this,
          [this] { RunEventHandler([this] { Command1Click(); }); });
  connect(m_command3, &QPushButton::clicked, this,
          [this] { RunEventHandler([this] { Command3Click(); }); });
  connect(m_label4, &LinkLabel::clicked, this,
          [this] { RunEventHandler([this] { Label4Click(); }); });
  connect(m_picture1, &LinkLabel::clicked, this,
          [this] { RunEventHandler([this] { Picture1Click(); }); });
  for (LinkLabel* link : {m_label4, m_picture1}) {
    const design::Control& designed = *Design().Find(link->objectName().toStdString());
    connect(link, &LinkLabel::mouseMoved, this, [this, &designed](Qt::MouseButtons buttons) {
      RunEventHandler([this, &designed, buttons] { LinkMouseMove(designed, buttons); });
    });
  }
  return firstFocus;
}

void MainW::KeepOffTaskbar() {
  // A window owned by another gets no taskbar button (Windows) and is marked
  // transient (X11); the owner itself is never shown.
  m_owner = std::make_unique<QWindow>();
  m_owner->create();
  winId();
  windowHandle()->setTransientParent(m_owner.get());
}

void MainW::CentreOnScreen() {
  const QScreen* target = screen();
  if (target == nullptr) {
    return;
  }
  setGeometry(
      QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(), target->availableGeometry()));
}

void MainW::OpenLink(const design::Control& control) {
  design::OpenControlLink(m_shell, static_cast<design::WindowHandle>(winId()), control, {});
}

void MainW::Command1Click() {
  QtReadSerialView view(*m_text1, *m_text2, m_warningPresenter);
  serial::RunReadSerialCommand([this] { return CC(); }, view);
}

void MainW::Command3Click() {
  if (!m_about) {
    m_about = std::make_unique<AboutWindow>(m_shell);
  }
  m_about->ShowModal(*this);
}

void MainW::Label4Click() { OpenLink(*Design().Find("Label4")); }

void MainW::Picture1Click() { OpenLink(*Design().Find("Picture1")); }

void MainW::LinkMouseMove(const design::Control& control, Qt::MouseButtons buttons) {
  design::ControlMouseMove(m_shell, control, buttons != Qt::NoButton);
}

}  // namespace vellmor::ui
