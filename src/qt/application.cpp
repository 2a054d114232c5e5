#include "application.h"

#include <memory>
#include <utility>

#include <QLibraryInfo>
#include <QMessageBox>
#include <QTranslator>

#include "base/run_time_error.h"
#include "base/version.h"

namespace vellmor::ui {

namespace {

void ShowErrorBox(const QString& message) {
  QMessageBox box(QMessageBox::Critical, QStringLiteral(VELLMOR_PRODUCT_NAME), message,
                  QMessageBox::Ok, QApplication::activeWindow());
  box.setWindowModality(Qt::ApplicationModal);
  box.exec();
}

// Qt's own texts (the message boxes' buttons among them) in Chinese, as the
// window is, whatever the system's language.
void InstallQtChineseTranslation(QApplication& app) {
  // Owned by the application once loaded; unloaded it goes with this scope.
  auto translator = std::make_unique<QTranslator>(&app);
  if (translator->load(QStringLiteral("qtbase_zh_CN"),
                       QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    QApplication::installTranslator(translator.release());
  }
}

}  // namespace

QString UnhandledErrorMessage(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const RunTimeError& runTimeError) {
    return QString::fromStdU16String(RunTimeErrorMessage(runTimeError.code()));
  } catch (const std::exception& other) {
    return QStringLiteral("运行时错误：\n\n") + QString::fromLocal8Bit(other.what());
  } catch (...) {
    return QStringLiteral("运行时错误");
  }
}

void ReportUnhandledError(const std::exception_ptr& error) {
  if (auto* app = qobject_cast<Application*>(QCoreApplication::instance())) {
    app->ReportError(error);
  } else {
    ShowErrorBox(UnhandledErrorMessage(error));
  }
}

void RunEventHandler(const std::function<void()>& handler) {
  try {
    handler();
  } catch (...) {
    ReportUnhandledError(std::current_exception());
  }
}

Application::Application(int& argc, char** argv)
    : QApplication(argc, argv), m_errorPresenter(&ShowErrorBox) {
  InstallQtChineseTranslation(*this);
}

bool Application::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (...) {
    ReportError(std::current_exception());
  }
  return false;
}

void Application::SetErrorPresenter(ErrorPresenter presenter) {
  m_errorPresenter = std::move(presenter);
}

void Application::ReportError(const std::exception_ptr& error) {
  m_errorPresenter(UnhandledErrorMessage(error));
}

}  // namespace vellmor::ui
