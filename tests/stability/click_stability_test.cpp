#include <cstddef>
#include <vector>

#include <QCoreApplication>
#include <QTest>

#include "serial/device_id.h"
#include "stability_support.h"
#include "ui_test_support.h"

using vellmor::serial::DeviceId;

namespace {

constexpr int kWarmUpClicks = 1000;
constexpr int kClicks = 10000;
// Allocator noise after warm-up stays well below this; a leak of a hundred bytes
// per click, or of one message box per warning, goes beyond it.
constexpr long kGrowthToleranceKiB = 1024;

struct Round {
  std::vector<DeviceId> ids;
  QString text1;
  QString text2;
};

// What the scripted source answers click after click: a drive, none (the
// warning), and a drive followed by a hub, whose instance is then the serial.
const Round kRounds[] = {
    {{DeviceId::Text(u"USB\\ROOT_HUB20\\4&1A2B3C&0"),
      DeviceId::Text(u"USB\\VID_1234&PID_5678\\AB12CD34")},
     QStringLiteral("AB12CD34"),
     QStringLiteral("EB1DEF2FBD36FAA7E9316A54D75FA457")},
    {{DeviceId::Text(u"USB\\ROOT_HUB20\\4&1A2B3C&0"), DeviceId::Missing()},
     QString(),
     QStringLiteral("D41D8CD98F00B204E9800998ECF8427E")},
    {{DeviceId::Text(u"USB\\VID_0781&PID_5567\\4C530001230811117204"),
      DeviceId::Text(u"USB\\VID_05E3&PID_0608\\5&2C3B7E1&0&1")},
     QStringLiteral("5&2C3B7E1&0&1"),
     QStringLiteral("FAFBAFA48B5F200CFAEA171C07AF73D1")},
};

}  // namespace

class ClickStabilityTest : public QObject {
  Q_OBJECT

 private slots:
  void tenThousandClicksKeepTheirResultsAndTheirMemory();
};

void ClickStabilityTest::tenThousandClicksKeepTheirResultsAndTheirMemory() {
  vellmor::ui::test::TestMainW w;
  w.window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&w.window));

  long residentAfterWarmUp = 0;
  int expectedWarnings = 0;
  for (int click = 1; click <= kClicks; ++click) {
    const Round& round = kRounds[static_cast<std::size_t>(click) % std::size(kRounds)];
    w.source.answers = {round.ids};
    w.Click("Command1");
    // Let the window repaint as it would between a person's clicks.
    QCoreApplication::processEvents();

    if (w.Text("Text1") != round.text1 || w.Text("Text2") != round.text2) {
      QFAIL(qPrintable(QStringLiteral("click %1 shows \"%2\" / \"%3\"")
                           .arg(click)
                           .arg(w.Text("Text1"), w.Text("Text2"))));
    }
    expectedWarnings += round.text1.isEmpty() ? 1 : 0;
    if (click == kWarmUpClicks) {
      residentAfterWarmUp = vellmor::test::ResidentKiB();
    }
  }
  QCOMPARE(w.warnings, expectedWarnings);

  const long residentAtEnd = vellmor::test::ResidentKiB();
  qInfo("VmRSS after %d clicks: %ld KiB, after %d clicks: %ld KiB", kWarmUpClicks,
        residentAfterWarmUp, kClicks, residentAtEnd);
  if (vellmor::test::kUnderAddressSanitizer) {
    // Its quarantine holds freed memory back; LeakSanitizer checks at exit instead.
    qInfo("resident memory not compared under AddressSanitizer");
    return;
  }
  QVERIFY(residentAfterWarmUp > 0);
  QVERIFY2(residentAtEnd - residentAfterWarmUp <= kGrowthToleranceKiB,
           qPrintable(QStringLiteral("resident memory grew by %1 KiB over %2 clicks")
                          .arg(residentAtEnd - residentAfterWarmUp)
                          .arg(kClicks - kWarmUpClicks)));
}

QTEST_MAIN(ClickStabilityTest)
#include "click_stability_test.moc"
