#pragma once

#include <functional>

#include <QApplication>
#include <QString>

namespace vellmor::ui {

// Shows what an error that escaped an event handler was; tests capture it here.
using ErrorPresenter = std::function<void(const QString& message)>;

// The text shown for a run-time error code.
QString RunTimeErrorMessage(int code);

// The application object. An error that leaves an event handler is shown to
// the user and the program goes on with the next event.
class Application : public QApplication {
  Q_OBJECT

 public:
  Application(int& argc, char** argv);

  bool notify(QObject* receiver, QEvent* event) override;

  void SetErrorPresenter(ErrorPresenter presenter);

 private:
  ErrorPresenter m_errorPresenter;
};

}  // namespace vellmor::ui
