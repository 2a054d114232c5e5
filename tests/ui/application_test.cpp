#include <stdexcept>

#include <QEvent>
#include <QPushButton>
#include <QTest>

#include "digest/run_time_error.h"
#include "ui/application.h"

namespace {

// Raises the error it was given at every event of the test's own type.
class Thrower : public QObject {
 public:
  static constexpr QEvent::Type kRaise = QEvent::User;
  int code = vellmor::RunTimeError::kOverflow;
  bool standard = false;

  bool event(QEvent* event) override {
    if (event->type() == kRaise) {
      if (standard) {
        throw std::runtime_error("out of range");
      }
      throw vellmor::RunTimeError(code);
    }
    return QObject::event(event);
  }
};

}  // namespace

class ApplicationTest : public QObject {
  Q_OBJECT

 public:
  explicit ApplicationTest(vellmor::ui::Application& app) : m_app(app) {}

 private slots:
  void init();

  void runTimeErrorIsShownWithItsCode();
  void postedEventErrorIsShownAndTheLoopGoesOn();
  void standardExceptionIsShownToo();
  void errorInAClickHandlerLeavesTheWindowUsable();
  void messagesNameTheCode();

 private:  // NOLINT(readability-redundant-access-specifiers): ends the slots for moc
  vellmor::ui::Application& m_app;
  QStringList m_shown;
};

void ApplicationTest::init() {
  m_shown.clear();
  m_app.SetErrorPresenter([this](const QString& message) { m_shown << message; });
}

void ApplicationTest::runTimeErrorIsShownWithItsCode() {
  Thrower thrower;
  QEvent raise(Thrower::kRaise);
  QVERIFY(!QCoreApplication::sendEvent(&thrower, &raise));
  QCOMPARE(m_shown, QStringList({vellmor::ui::RunTimeErrorMessage(6)}));
}

void ApplicationTest::postedEventErrorIsShownAndTheLoopGoesOn() {
  Thrower thrower;
  thrower.code = vellmor::RunTimeError::kSubscriptOutOfRange;
  QCoreApplication::postEvent(&thrower, new QEvent(Thrower::kRaise));
  QCoreApplication::postEvent(&thrower, new QEvent(Thrower::kRaise));
  QCoreApplication::processEvents();
  QCOMPARE(m_shown.size(), 2);
  QVERIFY(m_shown[0].contains(QStringLiteral("'9'")));
}

void ApplicationTest::standardExceptionIsShownToo() {
  Thrower thrower;
  thrower.standard = true;
  QEvent raise(Thrower::kRaise);
  QCoreApplication::sendEvent(&thrower, &raise);
  QCOMPARE(m_shown.size(), 1);
  QVERIFY(m_shown[0].contains(QStringLiteral("out of range")));
}

void ApplicationTest::errorInAClickHandlerLeavesTheWindowUsable() {
  QPushButton button(QStringLiteral("go"));
  int clicks = 0;
  QObject::connect(&button, &QPushButton::clicked, [&clicks] {
    if (++clicks == 1) {
      throw vellmor::RunTimeError(vellmor::RunTimeError::kOverflow);
    }
  });
  button.show();
  QVERIFY(QTest::qWaitForWindowExposed(&button));
  QTest::mouseClick(button.windowHandle(), Qt::LeftButton, Qt::NoModifier, button.rect().center());
  QCOMPARE(m_shown.size(), 1);
  QTest::mouseClick(button.windowHandle(), Qt::LeftButton, Qt::NoModifier, button.rect().center());
  QCOMPARE(clicks, 2);
  QCOMPARE(m_shown.size(), 1);
}

void ApplicationTest::messagesNameTheCode() {
  QVERIFY(vellmor::ui::RunTimeErrorMessage(6).startsWith(QStringLiteral("运行时错误 '6'")));
  QVERIFY(vellmor::ui::RunTimeErrorMessage(6).contains(QStringLiteral("溢出")));
  QVERIFY(vellmor::ui::RunTimeErrorMessage(9).contains(QStringLiteral("下标越界")));
  QCOMPARE(vellmor::ui::RunTimeErrorMessage(5), QStringLiteral("运行时错误 '5'"));
}

// Qt Test's own main would make a plain QApplication; the handler lives in ours.
int main(int argc, char* argv[]) {
  vellmor::ui::Application app(argc, argv);
  ApplicationTest test(app);
  return QTest::qExec(&test, argc, argv);
}

#include "application_test.moc"
