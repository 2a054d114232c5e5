#pragma once

#include <memory>

#include <QWidget>

#include "design/platform_shell.h"
#include "design/window_design.h"
#include "qt_read_serial_view.h"
#include "serial/device_id.h"
#include "serial/usb_hub_source.h"

class QCloseEvent;
class QLineEdit;
class QPushButton;
class QWindow;

namespace vellmor::ui {

class AboutWindow;
class LinkLabel;

// The start-up window: the read-serial button with its two text boxes, the
// About button, the notice label and the banner.
class MainW : public QWidget {
  Q_OBJECT

 public:
  // The source and the shell must outlive the window.
  MainW(serial::UsbHubSource& source, design::PlatformShell& shell);
  ~MainW() override;

  // One complete query for the USB serial.
  serial::SerialValue CC();

  void SetWarningPresenter(WarningPresenter presenter);

  // The About window, once Command3 has created it.
  AboutWindow* aboutWindow() const { return m_about.get(); }

 signals:
  void closed();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  // Returns the control that holds the focus when the window opens.
  QWidget* CreateControls();
  void KeepOffTaskbar();
  void CentreOnScreen();
  void OpenLink(const design::Control& control);

  void Command1Click();
  void Command3Click();
  void Label4Click();
  void Picture1Click();
  void LinkMouseMove(const design::Control& control, Qt::MouseButtons buttons);

  serial::UsbHubSource& m_source;
  design::PlatformShell& m_shell;
  WarningPresenter m_warningPresenter;
  std::unique_ptr<QWindow> m_owner;
  std::unique_ptr<AboutWindow> m_about;

  LinkLabel* m_picture1 = nullptr;
  QPushButton* m_command1 = nullptr;
  QPushButton* m_command3 = nullptr;
  QLineEdit* m_text2 = nullptr;
  QLineEdit* m_text1 = nullptr;
  LinkLabel* m_label4 = nullptr;
};

}  // namespace vellmor::ui
