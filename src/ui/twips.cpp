#include "twips.h"

#include <cmath>

#include <QPaintDevice>

namespace vellmor::ui {

int TwipsToPixels(int twips, int dotsPerInch) {
  return static_cast<int>(
      std::lround(static_cast<double>(twips) * dotsPerInch / static_cast<double>(kTwipsPerInch)));
}

QRect TwipsRect(const QPaintDevice& device, int left, int top, int width, int height) {
  const int dpiX = device.logicalDpiX();
  const int dpiY = device.logicalDpiY();
  return {TwipsToPixels(left, dpiX), TwipsToPixels(top, dpiY), TwipsToPixels(width, dpiX),
          TwipsToPixels(height, dpiY)};
}

}  // namespace vellmor::ui
