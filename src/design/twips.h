#pragma once

namespace vellmor::design {

inline constexpr int kTwipsPerInch = 1440;
// The dpi at which the design's pixel sizes are stated: 15 twips a pixel.
inline constexpr int kDesignDpi = 96;

// Twips to whole pixels at the given dots per inch, rounded as the system's
// MulDiv rounds: to the nearest, halves away from zero. A dpi that is not
// positive counts as the design dpi. The one scaling both front ends use.
int TwipsToPixels(int twips, int dotsPerInch);

// A rectangle: in twips in the design, in pixels once scaled.
struct Rect {
  int left;
  int top;
  int width;
  int height;
  friend bool operator==(const Rect&, const Rect&) = default;
};

struct Size {
  int width;
  int height;
  friend bool operator==(const Size&, const Size&) = default;
};

// Each of left, top, width and height scaled on its own, by the horizontal or
// the vertical dpi.
Rect TwipsToPixels(const Rect& twips, int dpiX, int dpiY);
Size TwipsToPixels(const Size& twips, int dpiX, int dpiY);

}  // namespace vellmor::design
