#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include <QString>

#include "serial/read_serial_command.h"

class QLineEdit;
class QMessageBox;
class QWidget;

namespace vellmor::ui {

// Shows the warning and returns once the user has closed it. Tests answer it here.
using WarningPresenter = std::function<void(const QString& text, const QString& title)>;

// The warning box: the text, the given title, an OK button alone, no icon,
// modal to the whole application.
std::unique_ptr<QMessageBox> MakeWarningBox(QWidget* parent, const QString& text,
                                            const QString& title);
void ShowWarningBox(QWidget* parent, const QString& text, const QString& title);

// The read-serial command's view of the main window: the two text boxes and the warning.
class QtReadSerialView final : public serial::ReadSerialView {
 public:
  QtReadSerialView(QLineEdit& text1, QLineEdit& text2, WarningPresenter presenter);

  void SetText1(const std::u16string& text) override;
  std::u16string Text1() const override;
  void ShowWarning(std::u16string_view text, std::u16string_view title) override;
  void SetText2(const std::u16string& text) override;

 private:
  QLineEdit& m_text1;
  QLineEdit& m_text2;
  WarningPresenter m_presenter;
};

}  // namespace vellmor::ui
