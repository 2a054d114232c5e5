#include "qt_read_serial_view.h"

#include <utility>

#include <QLineEdit>
#include <QMessageBox>

#include "design_widgets.h"

namespace vellmor::ui {

std::unique_ptr<QMessageBox> MakeWarningBox(QWidget* parent, const QString& text,
                                            const QString& title) {
  auto box =
      std::make_unique<QMessageBox>(QMessageBox::NoIcon, title, text, QMessageBox::Ok, parent);
  box->setDefaultButton(QMessageBox::Ok);
  box->setEscapeButton(QMessageBox::Ok);
  box->setWindowModality(Qt::ApplicationModal);
  return box;
}

void ShowWarningBox(QWidget* parent, const QString& text, const QString& title) {
  MakeWarningBox(parent, text, title)->exec();
}

QtReadSerialView::QtReadSerialView(QLineEdit& text1, QLineEdit& text2, WarningPresenter presenter)
    : m_text1(text1), m_text2(text2), m_presenter(std::move(presenter)) {}

void QtReadSerialView::SetText1(const std::u16string& text) { m_text1.setText(ToQString(text)); }

std::u16string QtReadSerialView::Text1() const { return m_text1.text().toStdU16String(); }

void QtReadSerialView::ShowWarning(std::u16string_view text, std::u16string_view title) {
  m_presenter(ToQString(text), ToQString(title));
}

void QtReadSerialView::SetText2(const std::u16string& text) { m_text2.setText(ToQString(text)); }

}  // namespace vellmor::ui
