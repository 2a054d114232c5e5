#pragma once

#include <exception>
#include <functional>

#include <QApplication>
#include <QString>

namespace vellmor::ui {

// Shows what an error that escaped an event handler was; tests capture it here.
using ErrorPresenter = std::function<void(const QString& message)>;

// The text shown for any error that left an event handler.
QString UnhandledErrorMessage(const std::exception_ptr& error);

// Shows an error that left an event handler; the program goes on with the next event.
void ReportUnhandledError(const std::exception_ptr& error);

// Runs one of the program's event handlers. An error that leaves it is reported
// here and goes no further: Qt's code between the event and the handler is not
// built to be unwound.
void RunEventHandler(const std::function<void()>& handler);

// The application object. It reports errors that leave event handlers, and
// catches in notify whatever reaches Qt's event delivery all the same.
class Application : public QApplication {
  Q_OBJECT

 public:
  Application(int& argc, char** argv);

  bool notify(QObject* receiver, QEvent* event) override;

  void SetErrorPresenter(ErrorPresenter presenter);
  void ReportError(const std::exception_ptr& error);

 private:
  ErrorPresenter m_errorPresenter;
};

}  // namespace vellmor::ui
