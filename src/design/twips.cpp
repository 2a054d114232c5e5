#include "twips.h"

#include <cstdint>
#include <limits>

namespace vellmor::design {

int TwipsToPixels(int twips, int dotsPerInch) {
  if (dotsPerInch <= 0) {
    dotsPerInch = kDesignDpi;
  }
  const std::int64_t product = std::int64_t{twips} * dotsPerInch;
  const std::int64_t half = kTwipsPerInch / 2;
  const std::int64_t pixels = (product >= 0 ? product + half : product - half) / kTwipsPerInch;
  // Only a dpi far beyond any screen's could leave the int range.
  if (pixels > std::numeric_limits<int>::max()) {
    return std::numeric_limits<int>::max();
  }
  if (pixels < std::numeric_limits<int>::min()) {
    return std::numeric_limits<int>::min();
  }
  return static_cast<int>(pixels);
}

Rect TwipsToPixels(const Rect& twips, int dpiX, int dpiY) {
  return {TwipsToPixels(twips.left, dpiX), TwipsToPixels(twips.top, dpiY),
          TwipsToPixels(twips.width, dpiX), TwipsToPixels(twips.height, dpiY)};
}

Size TwipsToPixels(const Size& twips, int dpiX, int dpiY) {
  return {TwipsToPixels(twips.width, dpiX), TwipsToPixels(twips.height, dpiY)};
}

}  // namespace vellmor::design
