#pragma once

#include <QFont>

#include "design/window_design.h"

namespace vellmor::ui {

// A font of the design. Where the system lacks 宋体, it resolves to an installed
// Song/Ming face that covers GB2312; Qt picks glyphs by script, so the design's
// character set needs no setting of its own.
QFont DesignFont(const design::Font& font);

}  // namespace vellmor::ui
