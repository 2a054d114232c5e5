#include "application.h"

#include <exception>
#include <utility>

#include <QMessageBox>

#include "digest/run_time_error.h"

namespace vellmor::ui {

namespace {

void ShowErrorBox(const QString& message) {
  QMessageBox box(QMessageBox::Critical, QStringLiteral("Vellmor"), message, QMessageBox::Ok,
                  QApplication::activeWindow());
  box.setWindowModality(Qt::ApplicationModal);
  box.exec();
}

}  // namespace

QString RunTimeErrorMessage(int code) {
  QString message = QStringLiteral("运行时错误 '%1'").arg(code);
  switch (code) {
    case RunTimeError::kOverflow:
      message += QStringLiteral("：\n\n溢出");
      break;
    case RunTimeError::kSubscriptOutOfRange:
      message += QStringLiteral("：\n\n下标越界");
      break;
    default:
      break;
  }
  return message;
}

Application::Application(int& argc, char** argv)
    : QApplication(argc, argv), m_errorPresenter(&ShowErrorBox) {}

bool Application::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const RunTimeError& error) {
    m_errorPresenter(RunTimeErrorMessage(error.code()));
  } catch (const std::exception& error) {
    m_errorPresenter(QStringLiteral("运行时错误：\n\n") + QString::fromLocal8Bit(error.what()));
  } catch (...) {
    m_errorPresenter(QStringLiteral("运行时错误"));
  }
  return false;
}

void Application::SetErrorPresenter(ErrorPresenter presenter) {
  m_errorPresenter = std::move(presenter);
}

}  // namespace vellmor::ui
