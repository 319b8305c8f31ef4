#include <gtest/gtest.h>

#include "RgbTypes.h"

TEST(RgbTypes, ChannelsBlendAndLuminance) {
  const TColor C = RGBColor(200, 100, 0);
  EXPECT_EQ(C, 0x000064C8u) << "red sits in the low byte";
  EXPECT_EQ(Blend(C, RGBColor(255, 255, 255), 128), RGBColor(227, 177, 127));
  EXPECT_EQ(Blend(C, 0x123456, 0), 0x123456u);
  EXPECT_EQ(Blend(C, 0x123456, 255), C);
  EXPECT_EQ(Luminance(0xFFFFFF), 255) << "the weights sum to 1024";
  EXPECT_EQ(Luminance(RGBColor(255, 0, 0)), 76);
  EXPECT_EQ(SwapRB(RGBColor(1, 2, 3)), RGBColor(3, 2, 1));
  EXPECT_EQ(RGBClamped(-5, 300, 7), RGBColor(0, 255, 7));
  uint8_t B[3];
  ColorToBGRBytes(C, B);
  EXPECT_EQ(B[0], 0);
  EXPECT_EQ(ColorFromBGRBytes(B), C);
}
