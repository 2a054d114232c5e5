#pragma once

#include <QFont>
#include <QString>

namespace vellmor::ui {

// The Song face the captions are set in. Where the system lacks it, it resolves
// to an installed Song/Ming face that covers GB2312.
QString SongTiFamily();

// "宋体" at the given size in points, with the substitution in place.
QFont SongTiFont(qreal pointSize);

// The font of every control that sets none: the Chinese system's 9-point Song.
QFont DefaultWindowFont();

}  // namespace vellmor::ui
