#include <gtest/gtest.h>

#include <chrono>

#include "XMetaDC.h"

// Curves whose size on the picture is astronomical would keep Cairo
// flattening them for minutes; they must be refused at once and leave the
// context drawing.
TEST(MetaDC, HugeCurvesAreRefusedQuickly) {
  const auto Start = std::chrono::steady_clock::now();
  TMetaDC DC(64, 64);
  DC.SetWorldTransform({1e30, 0, 0, 1e30, 0, 0});
  DC.RoundRect({0, 0, 10, 10}, 4, 4);
  DC.Ellipse({0, 0, 10, 10});
  DC.SetWorldTransform({1, 0, 0, 1, 0, 0});
  DC.AngleArc({32, 32}, 2e9, 0, 1e30);
  DC.AngleArc({32, 32}, 10, 0, 1e9);
  DC.Arc({-2e9, -2e9, 2e9, 2e9}, {0, 0}, {1, 1});
  DC.Rectangle({10, 10, 20, 20});
  EXPECT_LT(std::chrono::steady_clock::now() - Start, std::chrono::seconds(5));
  // The default brush is white; the pen's black outline shows the rectangle.
  EXPECT_NE(DC.SurfaceRow(10)[15] & 0xFFFFFF, 0xFFFFFFu);
}
