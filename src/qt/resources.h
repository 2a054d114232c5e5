#pragma once

#include <optional>

#include <QByteArray>
#include <QCursor>
#include <QIcon>
#include <QImage>
#include <QPoint>
#include <QString>

namespace vellmor::ui {

// The pictures compiled into the program, as resource paths.
inline constexpr char kMainWIconPath[] = ":/pictures/vellmor.ico";
inline constexpr char kAboutIconPath[] = ":/pictures/about.ico";
inline constexpr char kBannerPath[] = ":/pictures/banner.gif";
inline constexpr char kEnvelopePointerPath[] = ":/pictures/envelope.ico";
inline constexpr char kPersonPlusPointerPath[] = ":/pictures/person_plus.ico";
inline constexpr char kPenguinPointerPath[] = ":/pictures/penguin.ico";
inline constexpr char kHandPointerPath[] = ":/pictures/hand.cur";

// The resource path of a picture the design names by its resource id; an empty
// path, which loads nothing, for an id it does not know.
QString PicturePath(int resourceId);

// Registers the pictures; they live in a static library, whose resources the
// linker keeps only when something refers to them.
void LoadPictureResources();

QIcon LoadIcon(const QString& path);

// The picture's first frame alone, as a still image.
QImage LoadFirstFrame(const QString& path);

// The hot spot a .cur file records for its first image; nothing for an icon
// file or data too short to hold one.
std::optional<QPoint> CursorFileHotSpot(const QByteArray& data);

// A pointer from an .ico or .cur file: a cursor keeps its hot spot, an icon gets
// the centre, as the system does with icons used as pointers. An unreadable
// picture gives the standard arrow.
QCursor LoadPointer(const QString& path);

}  // namespace vellmor::ui
