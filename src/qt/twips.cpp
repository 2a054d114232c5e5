#include "twips.h"

#include <QPaintDevice>

namespace vellmor::ui {

QRect PixelRect(const QPaintDevice& device, const design::Rect& twips) {
  const design::Rect pixels =
      design::TwipsToPixels(twips, device.logicalDpiX(), device.logicalDpiY());
  return {pixels.left, pixels.top, pixels.width, pixels.height};
}

QSize PixelSize(const QPaintDevice& device, const design::Size& twips) {
  const design::Size pixels =
      design::TwipsToPixels(twips, device.logicalDpiX(), device.logicalDpiY());
  return {pixels.width, pixels.height};
}

}  // namespace vellmor::ui
