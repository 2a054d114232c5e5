#include <string>

#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "digest/digest.h"
#include "serial/device_id.h"
#include "stability_support.h"
#include "ui/main_window.h"
#include "ui_test_support.h"

using vellmor::serial::DeviceId;

namespace {

// A person would call the window frozen long before this; the sanitizer runs slower.
constexpr qint64 kBoundMs = vellmor::test::kUnderAddressSanitizer ? 10000 : 2000;

constexpr int kLargeSerialUnits = 64 * 1024;

QString ToQString(const std::u16string& text) { return QString::fromStdU16String(text); }

std::u16string LargeSerial() {
  // Mixed widths and scripts, so layout cannot take a fast ASCII path.
  const std::u16string piece = u"0123456789序列号ABC\x01\x7F\u00E9\U0001F600";
  std::u16string serial;
  while (serial.size() < static_cast<std::size_t>(kLargeSerialUnits)) {
    serial += piece;
  }
  serial.resize(static_cast<std::size_t>(kLargeSerialUnits));
  return serial;
}

}  // namespace

class HostileSerialTest : public QObject {
  Q_OBJECT

 private slots:
  void shownAsItIsOnOneLine_data();
  void shownAsItIsOnOneLine();
};

void HostileSerialTest::shownAsItIsOnOneLine_data() {
  QTest::addColumn<QString>("serial");
  QTest::newRow("control characters")
      << ToQString(u"A\x01\x02\x07\x08\x1B[31mB\x7F\tC\u200E\uFEFF");
  QTest::newRow("line breaks") << ToQString(u"AB\r\nCD\nEF\rGH\u2028IJ\u2029");
  QTest::newRow("unpaired surrogates") << ToQString(u"X\xD800Y\xDC00");
  QTest::newRow("64 KiB") << ToQString(LargeSerial());
}

void HostileSerialTest::shownAsItIsOnOneLine() {
  QFETCH(QString, serial);
  const std::u16string serialText = serial.toStdU16String();

  vellmor::ui::test::ScriptedUsbHubSource source;
  source.answers = {{DeviceId::Text(u"USB\\VID_1234&PID_5678\\" + serialText)}};
  vellmor::ui::test::RecordingShell shell;
  vellmor::ui::MainW window(&source, &shell);
  int warnings = 0;
  window.SetWarningPresenter([&warnings](const QString&, const QString&) { ++warnings; });
  window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window));

  auto* command1 = window.findChild<QPushButton*>(QStringLiteral("Command1"));
  auto* text1 = window.findChild<QLineEdit*>(QStringLiteral("Text1"));
  auto* text2 = window.findChild<QLineEdit*>(QStringLiteral("Text2"));
  QVERIFY(command1 != nullptr && text1 != nullptr && text2 != nullptr);
  const QRect text1Geometry = text1->geometry();

  QElapsedTimer timer;
  timer.start();
  QTest::mouseClick(command1, Qt::LeftButton);
  const qint64 clickMs = timer.elapsed();
  timer.restart();
  // A full paint of the window with the serial in it.
  const QPixmap shot = window.grab();
  const qint64 paintMs = timer.elapsed();
  qInfo("%lld characters: click %lld ms, paint %lld ms", static_cast<long long>(serial.size()),
        clickMs, paintMs);

  QCOMPARE(text1->text().size(), serial.size());
  QVERIFY(text1->text() == serial);
  QCOMPARE(text1->geometry(), text1Geometry);
  QCOMPARE(text2->text(), ToQString(vellmor::digest::DigestText(serialText, 32)));
  QCOMPARE(warnings, 0);
  QVERIFY(!shot.isNull());
  QVERIFY2(clickMs < kBoundMs, "the click took too long");
  QVERIFY2(paintMs < kBoundMs, "painting the window took too long");

  // The window still answers: a second click gives the same texts.
  QTest::mouseClick(command1, Qt::LeftButton);
  QVERIFY(text1->text() == serial);
}

QTEST_MAIN(HostileSerialTest)
#include "hostile_serial_test.moc"
