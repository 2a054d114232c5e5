#include "twips.h"

#include <QPaintDevice>

namespace vellmor::ui {

QRect PixelRect(const QPaintDevice& device, const design::Rect& twips) {
  const design::Rect pixels =
      design::TwipsToPixels(twips, device.logicalDpiX(), device.logicalDpiY());
  return {pixels.left, pixels.top, pixels.width, pixels.height};
}

QRect TwipsRect(const QPaintDevice& device, int left, int top, int width, int height) {
  return PixelRect(device, {left, top, width, height});
}

}  // namespace vellmor::ui
