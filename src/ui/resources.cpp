#include "resources.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QPixmap>
#include <QtEndian>

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
