#include <QImage>
#include <QTest>

#include "ui/twips.h"

using vellmor::ui::TwipsToPixels;

class TwipsTest : public QObject {
  Q_OBJECT

 private slots:
  void fifteenTwipsAPixelAt96Dpi();
  void scalesWithTheDpi();
  void rectangleUsesTheDevicesDpi();
};

void TwipsTest::fifteenTwipsAPixelAt96Dpi() {
  QCOMPARE(TwipsToPixels(5340, 96), 356);
  QCOMPARE(TwipsToPixels(-1440, 96), -96);
  QCOMPARE(TwipsToPixels(0, 96), 0);
  // Not a whole number of pixels: the nearest one.
  QCOMPARE(TwipsToPixels(1150, 96), 77);
  QCOMPARE(TwipsToPixels(7, 96), 0);
  QCOMPARE(TwipsToPixels(8, 96), 1);
}

void TwipsTest::scalesWithTheDpi() {
  QCOMPARE(TwipsToPixels(5340, 144), 534);
  QCOMPARE(TwipsToPixels(-1440, 120), -120);
  QCOMPARE(TwipsToPixels(1150, 192), 153);
}

void TwipsTest::rectangleUsesTheDevicesDpi() {
  QImage device(10, 10, QImage::Format_RGB32);
  device.setDotsPerMeterX(5669);  // 144 dpi
  device.setDotsPerMeterY(3780);  // 96 dpi
  QCOMPARE(vellmor::ui::TwipsRect(device, 1440, 1440, 150, 150), QRect(144, 96, 15, 10));
}

QTEST_GUILESS_MAIN(TwipsTest)
#include "twips_test.moc"
