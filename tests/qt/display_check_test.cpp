#include <map>
#include <optional>
#include <string>

#include <QProcess>
#include <QProcessEnvironment>
#include <QTest>

#include "base/version.h"
#include "qt/display_check.h"

namespace {

using Variables = std::map<std::string, std::string>;

vellmor::ui::EnvironmentLookup LookupIn(const Variables& variables) {
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
  void programWithoutAUsableDisplayExitsWithTheHint_data();
  void programWithoutAUsableDisplayExitsWithTheHint();
  void helpAndVersionNeedNoDisplay();
};

void DisplayCheckTest::noDisplayGivesAMessageWithTheWayToStart() {
  for (const Variables& variables :
       {Variables{}, Variables{{"DISPLAY", ""}}, Variables{{"QT_QPA_PLATFORM", ""}}}) {
    const auto message = vellmor::ui::MissingDisplayMessage(LookupIn(variables), "./vellmor");
    QVERIFY(message.has_value());
    QVERIFY(message->find("DISPLAY") != std::string::npos);
    QVERIFY(message->find("xvfb-run -a ./vellmor") != std::string::npos);
  }
}

void DisplayCheckTest::anyDisplayOrNamedPlatformIsEnough() {
  for (const Variables& variables :
       {Variables{{"DISPLAY", ":0"}}, Variables{{"WAYLAND_DISPLAY", "wayland-0"}},
        Variables{{"QT_QPA_PLATFORM", "offscreen"}}}) {
    QCOMPARE(vellmor::ui::MissingDisplayMessage(LookupIn(variables), "vellmor"), std::nullopt);
  }
}

void DisplayCheckTest::programWithoutAUsableDisplayExitsWithTheHint_data() {
  QTest::addColumn<QString>("display");
  QTest::newRow("no display") << QString();
  // No X server listens on a socket that does not exist.
  QTest::newRow("unreachable display") << QStringLiteral("unix:/nonexistent/vellmor-test:0");
}

void DisplayCheckTest::programWithoutAUsableDisplayExitsWithTheHint() {
  QFETCH(QString, display);
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    environment.remove(QString::fromLatin1(name));
  }
  if (!display.isEmpty()) {
    environment.insert(QStringLiteral("DISPLAY"), display);
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

void DisplayCheckTest::helpAndVersionNeedNoDisplay() {
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    environment.remove(QString::fromLatin1(name));
  }
  const struct {
    QStringList arguments;
    QString starts;
  } kCases[] = {
      {{QStringLiteral("--help")}, QStringLiteral("Usage: vellmor")},
      {{QStringLiteral("-platform"), QStringLiteral("xcb"), QStringLiteral("-h")},
       QStringLiteral("Usage: vellmor")},
      {{QStringLiteral("--version")}, QStringLiteral("vellmor " VELLMOR_VERSION "\n")},
      {{QStringLiteral("-v")}, QStringLiteral("vellmor " VELLMOR_VERSION "\n")},
  };
  for (const auto& c : kCases) {
    QProcess program;
    program.setProcessEnvironment(environment);
    program.start(QStringLiteral(VELLMOR_PROGRAM), c.arguments);
    QVERIFY(program.waitForFinished(30000));
    QCOMPARE(program.exitCode(), 0);
    const QString out = QString::fromUtf8(program.readAllStandardOutput());
    QVERIFY2(out.startsWith(c.starts), qPrintable(out));
    QCOMPARE(program.readAllStandardError(), QByteArray());
  }
}

QTEST_GUILESS_MAIN(DisplayCheckTest)
#include "display_check_test.moc"
