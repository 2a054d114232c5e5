#pragma once

#include <QRect>

#include "design/twips.h"

class QPaintDevice;

namespace vellmor::ui {

// A rectangle of the design, in twips, in the device's logical pixels.
QRect PixelRect(const QPaintDevice& device, const design::Rect& twips);

// A control's rectangle, given in twips, in the device's logical pixels.
QRect TwipsRect(const QPaintDevice& device, int left, int top, int width, int height);

}  // namespace vellmor::ui
