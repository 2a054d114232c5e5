#include "design/twips.h"

#include <gtest/gtest.h>

namespace vellmor::design {
namespace {

TEST(TwipsTest, NearestPixelHalvesAwayFromZero) {
  struct Case {
    int twips;
    int dpi;
    int pixels;
  };
  // Fifteen twips a pixel at 96 dpi; 7.5 twips is half a pixel.
  for (const Case& c : {Case{5340, 96, 356}, Case{-1440, 96, -96}, Case{0, 96, 0},
                        Case{1150, 96, 77}, Case{7, 96, 0}, Case{8, 96, 1}, Case{-7, 96, 0},
                        Case{-8, 96, -1}, Case{15, 48, 1}, Case{-15, 48, -1}, Case{5340, 144, 534},
                        Case{-1440, 120, -120}, Case{1150, 192, 153}, Case{1440, 0, 96}}) {
    EXPECT_EQ(TwipsToPixels(c.twips, c.dpi), c.pixels) << c.twips << " twips at " << c.dpi;
  }
}

TEST(TwipsTest, RectangleScalesEachAxisByItsOwnDpi) {
  EXPECT_EQ(TwipsToPixels(Rect{1440, 1440, 150, 150}, 144, 96), (Rect{144, 96, 15, 10}));
  EXPECT_EQ(TwipsToPixels(Size{5340, 3375}, 96, 96), (Size{356, 225}));
}

}  // namespace
}  // namespace vellmor::design
