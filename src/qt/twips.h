#pragma once

#include <QRect>
#include <QSize>

#include "design/twips.h"

class QPaintDevice;

namespace vellmor::ui {

// A rectangle of the design, in twips, in the device's logical pixels.
QRect PixelRect(const QPaintDevice& device, const design::Rect& twips);
QSize PixelSize(const QPaintDevice& device, const design::Size& twips);

}  // namespace vellmor::ui
