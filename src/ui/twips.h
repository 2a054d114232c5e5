#pragma once

#include <QRect>

class QPaintDevice;

namespace vellmor::ui {

inline constexpr int kTwipsPerInch = 1440;

// Twips to the nearest pixel at the given dots per inch; 15 twips a pixel at 96.
int TwipsToPixels(int twips, int dotsPerInch);

// A control's rectangle, given in twips, in the device's logical pixels.
QRect TwipsRect(const QPaintDevice& device, int left, int top, int width, int height);

}  // namespace vellmor::ui
