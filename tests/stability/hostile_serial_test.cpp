#include <string>

#include <QElapsedTimer>
#include <QTest>

#include "digest/digest.h"
#include "serial/device_id.h"
#include "stability_support.h"
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

  vellmor::ui::test::TestMainW w;
  w.source.answers = {{DeviceId::Text(u"USB\\VID_1234&PID_5678\\" + serialText)}};
  w.window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&w.window));
  const QRect text1Geometry = w.Find("Text1")->geometry();

  QElapsedTimer timer;
  timer.start();
  w.Click("Command1");
  const qint64 clickMs = timer.elapsed();
  timer.restart();
  // A full paint of the window with the serial in it.
  const QPixmap shot = w.window.grab();
  const qint64 paintMs = timer.elapsed();
  qInfo("%lld characters: click %lld ms, paint %lld ms", static_cast<long long>(serial.size()),
        clickMs, paintMs);

  QVERIFY(w.Text("Text1") == serial);
  QCOMPARE(w.Find("Text1")->geometry(), text1Geometry);
  QCOMPARE(w.Text("Text2"), ToQString(vellmor::digest::DigestText(serialText, 32)));
  QCOMPARE(w.warnings, 0);
  QVERIFY(!shot.isNull());
  QVERIFY2(clickMs < kBoundMs, "the click took too long");
  QVERIFY2(paintMs < kBoundMs, "painting the window took too long");

  // The window still answers: a second click gives the same texts.
  w.Click("Command1");
  QVERIFY(w.Text("Text1") == serial);
}

QTEST_MAIN(HostileSerialTest)
#include "hostile_serial_test.moc"
