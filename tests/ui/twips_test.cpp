#include <QImage>
#include <QTest>

#include "ui/twips.h"

class TwipsTest : public QObject {
  Q_OBJECT

 private slots:
  void nearestPixelAtTheDpi();
  void rectangleUsesTheDevicesDpi();
};

void TwipsTest::nearestPixelAtTheDpi() {
  struct Case {
    int twips;
    int dpi;
    int pixels;
  };
  // Fifteen twips a pixel at 96 dpi; between whole pixels, the nearest one.
  for (const Case& c : {Case{5340, 96, 356}, Case{-1440, 96, -96}, Case{0, 96, 0},
                        Case{1150, 96, 77}, Case{7, 96, 0}, Case{8, 96, 1}, Case{5340, 144, 534},
                        Case{-1440, 120, -120}, Case{1150, 192, 153}}) {
    QCOMPARE(vellmor::ui::TwipsToPixels(c.twips, c.dpi), c.pixels);
  }
}

void TwipsTest::rectangleUsesTheDevicesDpi() {
  QImage device(10, 10, QImage::Format_RGB32);
  device.setDotsPerMeterX(5669);  // 144 dpi
  device.setDotsPerMeterY(3780);  // 96 dpi
  QCOMPARE(vellmor::ui::TwipsRect(device, 1440, 1440, 150, 150), QRect(144, 96, 15, 10));
}

QTEST_GUILESS_MAIN(TwipsTest)
#include "twips_test.moc"
