#include "resources.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QPixmap>
#include <QtEndian>

#include "design/resource_ids.h"

// In the global namespace, as Q_INIT_RESOURCE requires.
static void InitPictures() { Q_INIT_RESOURCE(pictures); }

namespace vellmor::ui {

namespace {

constexpr int kIconDirSize = 6;
constexpr int kIconDirEntrySize = 16;
constexpr quint16 kCursorResourceType = 2;

quint16 ReadLittleEndian16(const QByteArray& data, int offset) {
  return qFromLittleEndian<quint16>(data.constData() + offset);
}

}  // namespace

QString PicturePath(int resourceId) {
  switch (resourceId) {
    case VELLMOR_ICON_MAINW:
      return QString::fromLatin1(kMainWIconPath);
    case VELLMOR_ICON_ABOUT:
      return QString::fromLatin1(kAboutIconPath);
    case VELLMOR_PICTURE_BANNER:
      return QString::fromLatin1(kBannerPath);
    case VELLMOR_POINTER_ENVELOPE:
      return QString::fromLatin1(kEnvelopePointerPath);
    case VELLMOR_POINTER_PERSON_PLUS:
      return QString::fromLatin1(kPersonPlusPointerPath);
    case VELLMOR_POINTER_PENGUIN:
      return QString::fromLatin1(kPenguinPointerPath);
    case VELLMOR_POINTER_HAND:
      return QString::fromLatin1(kHandPointerPath);
    default:
      return {};
  }
}

void LoadPictureResources() {
  static const bool loaded = [] {
    InitPictures();
    return true;
  }();
  (void)loaded;
}

QIcon LoadIcon(const QString& path) {
  LoadPictureResources();
  return QIcon(path);
}

QImage LoadFirstFrame(const QString& path) {
  LoadPictureResources();
  QImageReader reader(path);
  return reader.read();
}

std::optional<QPoint> CursorFileHotSpot(const QByteArray& data) {
  if (data.size() < kIconDirSize + kIconDirEntrySize || ReadLittleEndian16(data, 0) != 0 ||
      ReadLittleEndian16(data, 2) != kCursorResourceType || ReadLittleEndian16(data, 4) == 0) {
    return std::nullopt;
  }
  // In a cursor's directory entry the planes and bit-count fields hold the hot spot.
  return QPoint(ReadLittleEndian16(data, kIconDirSize + 4),
                ReadLittleEndian16(data, kIconDirSize + 6));
}

QCursor LoadPointer(const QString& path) {
  LoadPictureResources();
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    return QCursor(Qt::ArrowCursor);
  }
  const QByteArray data = file.readAll();
  const QImage image = QImage::fromData(data, "ico");
  if (image.isNull()) {
    return QCursor(Qt::ArrowCursor);
  }
  const QPixmap pixmap = QPixmap::fromImage(image);
  if (const std::optional<QPoint> hotSpot = CursorFileHotSpot(data)) {
    return QCursor(pixmap, hotSpot->x(), hotSpot->y());
  }
  return QCursor(pixmap);
}

}  // namespace vellmor::ui
