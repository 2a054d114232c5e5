#include <QFile>
#include <QTest>

#include "qt/resources.h"

using vellmor::ui::CursorFileHotSpot;

namespace {

// An icon directory with one entry whose planes and bit-count fields hold a and b.
QByteArray IconDirectory(quint16 type, quint16 a, quint16 b) {
  QByteArray data(6 + 16, '\0');
  auto put16 = [&data](int offset, quint16 value) {
    data[offset] = static_cast<char>(value & 0xFF);
    data[offset + 1] = static_cast<char>(value >> 8);
  };
  put16(2, type);
  put16(4, 1);
  data[6] = 32;
  data[7] = 32;
  put16(10, a);
  put16(12, b);
  return data;
}

}  // namespace

class ResourcesTest : public QObject {
  Q_OBJECT

 private slots:
  void hotSpotComesFromACursorFile();
  void iconFilesAndShortDataHaveNoHotSpot();
  void handPointerKeepsItsHotSpot();
  void iconPointersAreCentred();
  void unreadablePictureGivesTheArrow();
  void bannerFirstFrameIsAStill();
  void windowIconsLoad();
};

void ResourcesTest::hotSpotComesFromACursorFile() {
  QCOMPARE(CursorFileHotSpot(IconDirectory(2, 12, 1)), std::optional<QPoint>(QPoint(12, 1)));
  QCOMPARE(CursorFileHotSpot(IconDirectory(2, 300, 0)), std::optional<QPoint>(QPoint(300, 0)));
}

void ResourcesTest::iconFilesAndShortDataHaveNoHotSpot() {
  QCOMPARE(CursorFileHotSpot(IconDirectory(1, 1, 8)), std::nullopt);
  QCOMPARE(CursorFileHotSpot(IconDirectory(2, 12, 1).left(21)), std::nullopt);
  QCOMPARE(CursorFileHotSpot(QByteArray()), std::nullopt);
  QByteArray noImages = IconDirectory(2, 12, 1);
  noImages[4] = 0;
  QCOMPARE(CursorFileHotSpot(noImages), std::nullopt);
}

void ResourcesTest::handPointerKeepsItsHotSpot() {
  vellmor::ui::LoadPictureResources();
  QFile file(QString::fromLatin1(vellmor::ui::kHandPointerPath));
  QVERIFY(file.open(QIODevice::ReadOnly));
  QCOMPARE(CursorFileHotSpot(file.readAll()), std::optional<QPoint>(QPoint(12, 1)));

  const QCursor hand = vellmor::ui::LoadPointer(QString::fromLatin1(vellmor::ui::kHandPointerPath));
  QCOMPARE(hand.shape(), Qt::BitmapCursor);
  QCOMPARE(hand.pixmap().size(), QSize(32, 32));
  QCOMPARE(hand.hotSpot(), QPoint(12, 1));
}

void ResourcesTest::iconPointersAreCentred() {
  const QCursor envelope =
      vellmor::ui::LoadPointer(QString::fromLatin1(vellmor::ui::kEnvelopePointerPath));
  QCOMPARE(envelope.pixmap().size(), QSize(16, 16));
  QCOMPARE(envelope.hotSpot(), QPoint(8, 8));
  // Transparent parts of the icon stay transparent on the pointer.
  QVERIFY(envelope.pixmap().hasAlpha());
}

void ResourcesTest::unreadablePictureGivesTheArrow() {
  QCOMPARE(vellmor::ui::LoadPointer(QStringLiteral(":/no/such.cur")).shape(), Qt::ArrowCursor);
}

void ResourcesTest::bannerFirstFrameIsAStill() {
  const QImage still = vellmor::ui::LoadFirstFrame(QString::fromLatin1(vellmor::ui::kBannerPath));
  QCOMPARE(still.size(), QSize(468, 60));
  // Loading again gives the same frame, never the next one.
  QCOMPARE(vellmor::ui::LoadFirstFrame(QString::fromLatin1(vellmor::ui::kBannerPath)), still);
}

void ResourcesTest::windowIconsLoad() {
  const QIcon mainIcon = vellmor::ui::LoadIcon(QString::fromLatin1(vellmor::ui::kMainWIconPath));
  QVERIFY(mainIcon.availableSizes().contains(QSize(16, 16)));
  const QIcon aboutIcon = vellmor::ui::LoadIcon(QString::fromLatin1(vellmor::ui::kAboutIconPath));
  QVERIFY(aboutIcon.availableSizes().contains(QSize(128, 128)));
}

QTEST_MAIN(ResourcesTest)
#include "resources_test.moc"
