#include <QImage>
#include <QTest>

#include "qt/twips.h"

class TwipsTest : public QObject {
  Q_OBJECT

 private slots:
  void rectangleUsesTheDevicesDpi();
};

void TwipsTest::rectangleUsesTheDevicesDpi() {
  QImage device(10, 10, QImage::Format_RGB32);
  device.setDotsPerMeterX(5669);  // 144 dpi
  device.setDotsPerMeterY(3780);  // 96 dpi
  QCOMPARE(vellmor::ui::PixelRect(device, {1440, 1440, 150, 150}), QRect(144, 96, 15, 10));
}

QTEST_GUILESS_MAIN(TwipsTest)
#include "twips_test.moc"
