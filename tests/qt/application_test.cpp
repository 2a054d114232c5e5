#include <stdexcept>

#include <QEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include "base/run_time_error.h"
#include "serial/device_id.h"
#include "qt/application.h"
#include "qt/qt_read_serial_view.h"
#include "ui_test_support.h"

using vellmor::serial::DeviceId;

namespace {

QString Message(int code) { return QString::fromStdU16String(vellmor::RunTimeErrorMessage(code)); }

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
  void errorInAClickHandlerIsReportedAndTheWindowStaysUsable();
  void errorInTheReadSerialCommandAbandonsItsRest();
  void messageBoxButtonsInChineseAndTheWindowAsDesigned();

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
  QCOMPARE(m_shown, QStringList({Message(6)}));
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

void ApplicationTest::errorInAClickHandlerIsReportedAndTheWindowStaysUsable() {
  QPushButton button(QStringLiteral("go"));
  int clicks = 0;
  QObject::connect(&button, &QPushButton::clicked, [&clicks] {
    vellmor::ui::RunEventHandler([&clicks] {
      if (++clicks == 1) {
        throw vellmor::RunTimeError(vellmor::RunTimeError::kOverflow);
      }
    });
  });
  button.show();
  QVERIFY(QTest::qWaitForWindowExposed(&button));
  QTest::mouseClick(button.windowHandle(), Qt::LeftButton, Qt::NoModifier, button.rect().center());
  QCOMPARE(m_shown, QStringList({Message(6)}));
  QTest::mouseClick(button.windowHandle(), Qt::LeftButton, Qt::NoModifier, button.rect().center());
  QCOMPARE(clicks, 2);
  QCOMPARE(m_shown.size(), 1);
}

void ApplicationTest::errorInTheReadSerialCommandAbandonsItsRest() {
  vellmor::ui::test::TestMainW w;
  w.source.answers = {{DeviceId::Text(u"USB\\ROOT_HUB20\\4&1A2B3C&0")}};
  w.window.SetWarningPresenter([](const QString& /*text*/, const QString& /*title*/) {
    throw vellmor::RunTimeError(vellmor::RunTimeError::kSubscriptOutOfRange);
  });
  w.Find<QLineEdit>("Text2")->setText(QStringLiteral("old digest"));
  w.window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&w.window));
  w.ClickThroughWindowSystem("Command1");
  QCOMPARE(m_shown, QStringList({Message(9)}));
  QCOMPARE(w.Text("Text2"), QStringLiteral("old digest"));
  QVERIFY(w.window.isVisible());

  // The program goes on: the next click runs the whole command.
  w.source.answers = {{DeviceId::Text(u"USB\\VID_1234&PID_5678\\AB12CD34")}};
  w.ClickThroughWindowSystem("Command1");
  QCOMPARE(w.Text("Text2"), QStringLiteral("EB1DEF2FBD36FAA7E9316A54D75FA457"));
  QCOMPARE(m_shown.size(), 1);
}

void ApplicationTest::messageBoxButtonsInChineseAndTheWindowAsDesigned() {
  vellmor::ui::test::TestMainW w;
  const auto box = vellmor::ui::MakeWarningBox(&w.window, QStringLiteral("请插入U盘"),
                                               QStringLiteral("Vellmor"));
  QCOMPARE(box->button(QMessageBox::Ok)->text(), QStringLiteral("确定"));
  QCOMPARE(w.Find<QPushButton>("Command1")->text(), QStringLiteral("读取序列号"));
  QCOMPARE(w.window.windowTitle(), QStringLiteral("Vellmor  Ver 5.1.7"));
}

// Qt Test's own main would make a plain QApplication; the handler lives in ours.
int main(int argc, char* argv[]) {
  vellmor::ui::Application app(argc, argv);
  ApplicationTest test(app);
  return QTest::qExec(&test, argc, argv);
}

#include "application_test.moc"
