#include <map>
#include <string>

#include <QProcess>
#include <QProcessEnvironment>
#include <QTest>

#include "ui/display_check.h"

namespace {

vellmor::ui::EnvironmentLookup LookupIn(const std::map<std::string, std::string>& variables) {
  return [variables](const char* name) -> const char* {
    const auto found = variables.find(name);
    return found == variables.end() ? nullptr : found->second.c_str();
  };
}

}  // namespace

class DisplayCheckTest : public QObject {
  Q_OBJECT

 private slots:
  void noDisplayGivesAMessageWithTheWayToStart();
  void anyDisplayOrNamedPlatformIsEnough();
  void programWithoutDisplayExitsWithTheMessage();
  void programWithAnUnreachableDisplayExitsWithTheHint();
};

void DisplayCheckTest::noDisplayGivesAMessageWithTheWayToStart() {
  for (const auto& variables :
       {std::map<std::string, std::string>{}, std::map<std::string, std::string>{{"DISPLAY", ""}},
        std::map<std::string, std::string>{{"QT_QPA_PLATFORM", ""}}}) {
    const auto message = vellmor::ui::MissingDisplayMessage(LookupIn(variables), "./vellmor");
    QVERIFY(message.has_value());
    QVERIFY(message->find("DISPLAY") != std::string::npos);
    QVERIFY(message->find("xvfb-run -a ./vellmor") != std::string::npos);
  }
}

void DisplayCheckTest::anyDisplayOrNamedPlatformIsEnough() {
  for (const auto& variables :
       {std::map<std::string, std::string>{{"DISPLAY", ":0"}},
        std::map<std::string, std::string>{{"WAYLAND_DISPLAY", "wayland-0"}},
        std::map<std::string, std::string>{{"QT_QPA_PLATFORM", "offscreen"}}}) {
    QCOMPARE(vellmor::ui::MissingDisplayMessage(LookupIn(variables), "vellmor"), std::nullopt);
  }
}

void DisplayCheckTest::programWithoutDisplayExitsWithTheMessage() {
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    environment.remove(QString::fromLatin1(name));
  }
  QProcess program;
  program.setProcessEnvironment(environment);
  program.start(QStringLiteral(VELLMOR_PROGRAM), {});
  QVERIFY(program.waitForFinished(30000));
  QCOMPARE(program.exitStatus(), QProcess::NormalExit);
  QCOMPARE(program.exitCode(), 1);
  const QString error = QString::fromLocal8Bit(program.readAllStandardError());
  QVERIFY2(error.contains(QStringLiteral("xvfb-run -a")), qPrintable(error));
}

void DisplayCheckTest::programWithAnUnreachableDisplayExitsWithTheHint() {
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
  environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
  // No X server listens on a socket that does not exist.
  environment.insert(QStringLiteral("DISPLAY"), QStringLiteral("unix:/nonexistent/vellmor-test:0"));
  QProcess program;
  program.setProcessEnvironment(environment);
  program.start(QStringLiteral(VELLMOR_PROGRAM), {});
  QVERIFY(program.waitForFinished(30000));
  QCOMPARE(program.exitStatus(), QProcess::NormalExit);
  QCOMPARE(program.exitCode(), 1);
  const QString error = QString::fromLocal8Bit(program.readAllStandardError());
  QVERIFY2(error.contains(QStringLiteral("xvfb-run -a")), qPrintable(error));
}

QTEST_GUILESS_MAIN(DisplayCheckTest)
#include "display_check_test.moc"
