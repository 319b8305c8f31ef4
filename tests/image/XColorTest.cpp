#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "Errors.h"
#include "XColor.h"

namespace {

using Bytes = std::vector<uint8_t>;

TColorManager Manager(TColorFormat Source, int32_t Samples, int32_t Bits, TColorFormat Target, int32_t TargetBits = 8,
                      uint8_t Flags = 0, uint8_t SourceFlags = 0) {
  TColorManager CM;
  CM.SetSource(Source, Samples, Bits);
  CM.SetTarget(Target, TargetBits);
  CM.SetFlags(Flags);
  CM.SetSourceFlags(SourceFlags);
  return CM;
}

Bytes Convert(TColorManager& CM, const Bytes& Source, int32_t Count, size_t DestSize, uint8_t Fill = 0) {
  Bytes Dest(DestSize, Fill);
  CM.ConvertRow(Source, Dest, 0, 0, Count);
  return Dest;
}

Bytes Le16(std::initializer_list<uint32_t> Values) {
  Bytes Out;
  for (uint32_t V : Values) {
    Out.push_back(uint8_t(V));
    Out.push_back(uint8_t(V >> 8));
  }
  return Out;
}

} // namespace

TEST(XColorRgb, SwapsOnlyBetweenRedFirstAndBlueFirst) {
  auto ToBgr = Manager(cfRGB, 3, 8, cfBGR);
  EXPECT_TRUE(ToBgr.SwapRB);
  EXPECT_EQ(Convert(ToBgr, {1, 2, 3, 4, 5, 6}, 2, 6), (Bytes{3, 2, 1, 6, 5, 4}));
  auto Same = Manager(cfRGB, 3, 8, cfRGB);
  EXPECT_FALSE(Same.SwapRB);
  EXPECT_EQ(Convert(Same, {1, 2, 3, 4, 5, 6}, 2, 6), (Bytes{1, 2, 3, 4, 5, 6}));
  auto BgraToRgb = Manager(cfBGRA, 4, 8, cfRGB);
  EXPECT_EQ(Convert(BgraToRgb, {1, 2, 3, 99}, 1, 3), (Bytes{3, 2, 1}));
}

TEST(XColorRgb, FourByteTargetsGetAZeroFourthByte) {
  auto CM = Manager(cfRGBA, 4, 8, cfRGBA);
  EXPECT_EQ(Convert(CM, {1, 2, 3, 200, 4, 5, 6, 100}, 2, 8, 0xEE), (Bytes{1, 2, 3, 0, 4, 5, 6, 0}));
  auto Wider = Manager(cfRGB, 5, 8, cfBGRA);
  EXPECT_EQ(Convert(Wider, {1, 2, 3, 7, 7}, 1, 4, 0xEE), (Bytes{3, 2, 1, 0}));
}

TEST(XColorRgb, IndexesOffsetBothRows) {
  auto CM = Manager(cfRGB, 3, 8, cfBGR);
  Bytes Dest(12, 0xEE);
  CM.ConvertRow(Bytes{9, 9, 9, 1, 2, 3, 4, 5, 6}, Dest, 2, 1, 2);
  EXPECT_EQ(Dest, (Bytes{0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 3, 2, 1, 6, 5, 4}));
}

TEST(XColorRgb, SixteenBitSamplesReduceInEitherByteOrder) {
  auto CM = Manager(cfRGB, 3, 16, cfRGB);
  EXPECT_EQ(Convert(CM, Le16({0xFFFF, 0x8000, 0}), 1, 3), (Bytes{255, 127, 0}));
  CM.SetSourceFlags(sfSwap16);
  EXPECT_EQ(Convert(CM, {0x12, 0x34, 0xFF, 0xFF, 0x00, 0xFF}, 1, 3), (Bytes{0x1234 / 257, 255, 0}));
  auto Swapped = Manager(cfBGR, 3, 16, cfRGB);
  EXPECT_EQ(Convert(Swapped, Le16({0, 0x8000, 0xFFFF}), 1, 3), (Bytes{255, 127, 0}));
}

TEST(XColorRgb, AlphaCompositesOntoTheBackground) {
  auto CM = Manager(cfRGBA, 4, 8, cfRGB, 8, cmfComposite);
  CM.SetBackground(255, 255, 255);
  EXPECT_EQ(Convert(CM, {200, 100, 0, 128}, 1, 3), (Bytes{227, 177, 127}));
  CM.SetTarget(cfBGR, 8);
  EXPECT_EQ(Convert(CM, {200, 100, 0, 128}, 1, 3), (Bytes{127, 177, 227}));

  // The background follows the colors, whatever the byte order.
  auto Bgra = Manager(cfBGRA, 4, 8, cfRGB, 8, cmfComposite);
  Bgra.SetBackground(10, 20, 30);
  EXPECT_EQ(Convert(Bgra, {1, 2, 3, 0, 1, 2, 3, 255}, 2, 6), (Bytes{10, 20, 30, 3, 2, 1}));

  auto Wide = Manager(cfRGBA, 4, 16, cfRGB, 8, cmfComposite);
  Wide.SetBackground(255, 255, 255);
  EXPECT_EQ(Convert(Wide, Le16({200 * 257, 100 * 257, 0, 128 * 257}), 1, 3), (Bytes{227, 177, 127}));

  auto NoComposite = Manager(cfRGBA, 4, 8, cfRGB);
  EXPECT_EQ(Convert(NoComposite, {200, 100, 0, 128}, 1, 3), (Bytes{200, 100, 0}));
}

TEST(XColorGray, CopiesReducesAndComposites) {
  auto Gray = Manager(cfGray, 1, 8, cfGray);
  EXPECT_EQ(Convert(Gray, {0, 17, 255}, 3, 3), (Bytes{0, 17, 255}));
  auto Wide = Manager(cfGray, 1, 16, cfGray, 16);
  EXPECT_EQ(Convert(Wide, Le16({0xFFFF, 0x8000}), 2, 2), (Bytes{255, 127}));

  auto Composite = Manager(cfGrayAlpha, 2, 8, cfGray, 8, cmfComposite);
  Composite.SetBackground(255, 0, 0);
  EXPECT_EQ(Convert(Composite, {100, 128, 9, 0, 9, 255}, 3, 3), (Bytes{177, 255, 9}));
  auto Composite16 = Manager(cfGrayAlpha, 2, 16, cfGray, 8, cmfComposite);
  EXPECT_EQ(Convert(Composite16, Le16({100 * 257, 128 * 257}), 1, 1), (Bytes{50}));

  auto DropAlpha = Manager(cfGrayAlpha, 2, 8, cfGray);
  EXPECT_EQ(Convert(DropAlpha, {100, 128, 7, 0}, 2, 2), (Bytes{100, 7}));
  auto ToBgr = Manager(cfGray, 1, 8, cfBGR);
  EXPECT_EQ(Convert(ToBgr, {5, 6}, 2, 6), (Bytes{5, 5, 5, 6, 6, 6}));
}

TEST(XColorLevels, LevelStretchTable) {
  TColorManager CM;
  CM.SetLevels(100, 50);
  EXPECT_TRUE(CM.Flags & cmfLevels);
  EXPECT_EQ(CM.LevelTable[50], 0);
  EXPECT_EQ(CM.LevelTable[60], 51);
  EXPECT_EQ(CM.LevelTable[100], 255);
  EXPECT_EQ(CM.LevelTable[40], 0);
  EXPECT_EQ(CM.LevelTable[120], 0);

  TColorManager Full;
  Full.SetLevels(-5, 300);
  EXPECT_FALSE(Full.Flags & cmfLevels);

  TColorManager Degenerate;
  Degenerate.SetLevels(80, 80);
  EXPECT_EQ(Degenerate.LevelTable[80], 255);
  EXPECT_EQ(Degenerate.LevelTable[79], 0);
  EXPECT_EQ(Degenerate.LevelTable[81], 0);
}

TEST(XColorLevels, TableAppliesAfterReductionOnlyWithFlag) {
  auto CM = Manager(cfRGB, 3, 16, cfBGRA);
  CM.SetLevels(50, 100);
  EXPECT_EQ(Convert(CM, Le16({60 * 257, 100 * 257, 120 * 257}), 1, 4), (Bytes{0, 255, 51, 0}));
  CM.SetFlags(CM.Flags & ~cmfLevels);
  EXPECT_EQ(Convert(CM, Le16({60 * 257, 100 * 257, 120 * 257}), 1, 4), (Bytes{120, 100, 60, 0}));

  auto Gray = Manager(cfGray, 1, 8, cfGray);
  Gray.SetGamma(2.0, 1.0);
  Gray.SetFlags(cmfLevels);
  EXPECT_EQ(Convert(Gray, {0, 1, 64, 128, 255}, 5, 5), (Bytes{0, 16, 128, 181, 255}));
}

TEST(XColorLevels, GammaFallsBackForNonPositiveValues) {
  TColorManager CM;
  CM.SetGamma(0.0, -1.0);
  EXPECT_DOUBLE_EQ(CM.DisplayGamma, 2.0);
  EXPECT_DOUBLE_EQ(CM.FileGamma, 0.45);
  EXPECT_EQ(CM.LevelTable[0], 0);
  EXPECT_EQ(CM.LevelTable[255], 255);
}

TEST(XColorUnpack, RescalesOrKeepsLowBitValues) {
  auto One = Manager(cfPalette, 1, 1, cfPalette, 8);
  EXPECT_EQ(Convert(One, {0b10110000, 0b10000000}, 9, 9), (Bytes{255, 0, 255, 255, 0, 0, 0, 0, 255}));
  One.SetFlags(cmfKeepValues);
  EXPECT_EQ(Convert(One, {0b10110000}, 4, 4), (Bytes{1, 0, 1, 1}));

  auto Two = Manager(cfGray, 1, 2, cfGray, 8);
  EXPECT_EQ(Convert(Two, {0b00011011}, 4, 4), (Bytes{0, 85, 170, 255}));
  Two.SetFlags(cmfKeepValues);
  EXPECT_EQ(Convert(Two, {0b00011011}, 4, 4), (Bytes{0, 1, 2, 3}));

  auto Four = Manager(cfPalette, 1, 4, cfPalette, 8);
  EXPECT_EQ(Convert(Four, {0xF0, 0x7A}, 3, 3), (Bytes{255, 0, 119}));
  Four.SetFlags(cmfKeepValues);
  EXPECT_EQ(Convert(Four, {0xF0, 0x7A}, 4, 4), (Bytes{15, 0, 7, 10}));
}

TEST(XColorUnpack, StartsInsideAByteAndKeepsNeighbourBits) {
  auto One = Manager(cfPalette, 1, 1, cfPalette, 8, cmfKeepValues);
  Bytes Dest(3, 0xEE);
  One.ConvertRow(Bytes{0b00010110}, Dest, 0, 3, 3);
  EXPECT_EQ(Dest, (Bytes{1, 0, 1}));

  // Same depth: a bit copy that leaves the rest of the last byte alone.
  auto Bits = Manager(cfPalette, 1, 1, cfPalette, 1);
  Bytes Packed{0x00, 0xFF};
  Bits.ConvertRow(Bytes{0xAB, 0x00}, Packed, 0, 0, 12);
  EXPECT_EQ(Packed, (Bytes{0xAB, 0x0F}));

  // Nibble into the low half of a byte: the high half stays.
  auto Nibbles = Manager(cfPalette, 1, 4, cfPalette, 4, cmfKeepValues);
  Bytes Dest4{0xA0, 0x00};
  Nibbles.ConvertRow(Bytes{0x5C}, Dest4, 1, 0, 2);
  EXPECT_EQ(Dest4, (Bytes{0xA5, 0xC0}));
}

TEST(XColorUnpack, DeeperSourcesReduceToFewBits) {
  auto Gray8 = Manager(cfGray, 1, 8, cfGray, 4);
  EXPECT_EQ(Convert(Gray8, {255, 128, 0, 17}, 4, 2), (Bytes{0xF7, 0x01}));
  auto Gray16 = Manager(cfGray, 1, 16, cfGray, 2);
  EXPECT_EQ(Convert(Gray16, Le16({0xFFFF, 0x8000, 0, 0x5555}), 4, 1), (Bytes{0b11010001}));
  auto Two = Manager(cfGray, 1, 2, cfGray, 4);
  EXPECT_EQ(Convert(Two, {0b11100100}, 4, 2), (Bytes{0xFA, 0x50}));
}

TEST(XColorCmyk, InkAndKeyGiveTheRightColors) {
  auto CM = Manager(cfCMYK, 4, 8, cfBGR);
  EXPECT_EQ(Convert(CM, {0, 0, 0, 0}, 1, 3), (Bytes{255, 255, 255}));
  EXPECT_EQ(Convert(CM, {255, 255, 255, 0}, 1, 3), (Bytes{0, 0, 0}));
  EXPECT_EQ(Convert(CM, {12, 200, 77, 255}, 1, 3), (Bytes{0, 0, 0}));
  EXPECT_EQ(Convert(CM, {255, 0, 0, 0}, 1, 3), (Bytes{255, 255, 0}));
  EXPECT_EQ(Convert(CM, {0, 0, 0, 128}, 1, 3), (Bytes{127, 127, 127}));

  auto Wide = Manager(cfCMYK, 4, 16, cfBGRA);
  EXPECT_EQ(Convert(Wide, Le16({0, 0, 0xFFFF, 0}), 1, 4, 0xEE), (Bytes{0, 255, 255, 0}));

  auto Alpha = Manager(cfCMYKA, 5, 8, cfBGR, 8, cmfComposite);
  Alpha.SetBackground(10, 20, 30);
  EXPECT_EQ(Convert(Alpha, {0, 0, 0, 0, 0}, 1, 3), (Bytes{30, 20, 10}));
}

TEST(XColorLab, WhiteBlackAndMidValues) {
  auto CM = Manager(cfCIELab, 3, 8, cfBGR);
  EXPECT_EQ(Convert(CM, {100, 0, 0}, 1, 3), (Bytes{255, 255, 255}));
  EXPECT_EQ(Convert(CM, {0, 0, 0}, 1, 3), (Bytes{0, 0, 0}));
  EXPECT_EQ(Convert(CM, {50, 0, 0}, 1, 3), (Bytes{109, 109, 109}));
  EXPECT_EQ(Convert(CM, {50, 40, uint8_t(-30)}, 1, 3), (Bytes{163, 85, 150}));
  CM.SetSourceFlags(sfLabL255 | sfLabUnsigned);
  EXPECT_EQ(Convert(CM, {255, 128, 128}, 1, 3), (Bytes{255, 255, 255}));
  EXPECT_EQ(Convert(CM, {128, 168, 98}, 1, 3), (Bytes{164, 85, 151}));

  auto Alpha = Manager(cfCIELabA, 4, 8, cfBGR, 8, cmfComposite);
  Alpha.SetBackground(10, 20, 30);
  EXPECT_EQ(Convert(Alpha, {100, 0, 0, 0}, 1, 3), (Bytes{30, 20, 10}));
}

TEST(XColorYCbCr, KnownValuesAndWeights) {
  auto CM = Manager(cfYCbCr, 3, 8, cfBGR);
  EXPECT_EQ(Convert(CM, {128, 128, 128, 100, 128, 200, 50, 20, 230}, 3, 9),
            (Bytes{128, 128, 128, 100, 49, 201, 0, 14, 193}));
  auto Wide = Manager(cfYCbCr, 3, 16, cfBGRA);
  EXPECT_EQ(Convert(Wide, Le16({100 * 257, 128 * 257, 200 * 257}), 1, 4), (Bytes{100, 49, 201, 0}));

  // Equal weights: Cr alone moves red by c * 4/3 and green by -c * 4/3.
  CM.SetWeights(1.0f / 3, 1.0f / 3, -1.0f);
  EXPECT_FLOAT_EQ(CM.WeightB, 0.114f);
  CM.SetWeights(1.0f / 3, 1.0f / 3, 1.0f / 3);
  EXPECT_EQ(Convert(CM, {100, 128, 158}, 1, 3), (Bytes{100, 60, 140}));
}

TEST(XColorPhotoYcc, NeutralAndColored) {
  auto CM = Manager(cfPhotoYCC, 3, 8, cfBGR);
  EXPECT_EQ(Convert(CM, {0, 156, 137}, 1, 3), (Bytes{0, 0, 0}));
  EXPECT_EQ(Convert(CM, {100, 156, 137}, 1, 3), (Bytes{136, 136, 136}));
  EXPECT_EQ(Convert(CM, {100, 170, 120}, 1, 3), (Bytes{167, 146, 105}));
}

// Photo CD images take other luminance weights and a gamma; both change
// only what they should: weights the green, the gamma every channel.
TEST(XColorPhotoYcc, WeightsMoveGreenAndGammaAppliesUnderLevels) {
  auto CM = Manager(cfPhotoYCC, 3, 8, cfBGR);
  CM.SetWeights(0.2125f, 0.7154f, 0.0721f);
  EXPECT_EQ(Convert(CM, {100, 170, 120}, 1, 3), (Bytes{167, 142, 105}));
  CM.SetGamma(2.0, 0.6);
  EXPECT_EQ(Convert(CM, {100, 170, 120}, 1, 3), (Bytes{167, 142, 105}));
  CM.SetFlags(cmfLevels);
  EXPECT_EQ(Convert(CM, {100, 170, 120, 0, 156, 137}, 2, 6), (Bytes{179, 157, 122, 0, 0, 0}));
  auto Wide = Manager(cfPhotoYCC, 3, 8, cfBGRA);
  Wide.SetGamma(2.0, 0.6);
  Wide.SetFlags(cmfLevels);
  EXPECT_EQ(Convert(Wide, {100, 156, 137}, 1, 4), (Bytes{151, 151, 151, 0}));
}

TEST(XColorLogLuv, LogLuminanceToGray) {
  auto CM = Manager(cfLogLuv, 1, 16, cfGray);
  CM.SetExposure(1.0);
  // Le 15872 is Y = 2^(15872.5 / 256 - 64), just above 1/4.
  EXPECT_EQ(Convert(CM, Le16({15872, 15871, 0, 0x8000 | 15872, 0x7FFF}), 5, 5), (Bytes{128, 127, 0, 0, 255}));
  CM.SetSourceFlags(sfSwap16);
  EXPECT_EQ(Convert(CM, {0x3E, 0x00}, 1, 1), (Bytes{128}));
  CM.SetExposure(2.0);
  EXPECT_DOUBLE_EQ(LuvExposure, 2.0);
  EXPECT_EQ(Convert(CM, {0x3E, 0x00}, 1, 1), (Bytes{181}));
  CM.ExposureOn = false;
  EXPECT_EQ(Convert(CM, {0x3E, 0x00}, 1, 1), (Bytes{128}));
  CM.SetExposure(1.0);
}

TEST(XColorLogLuv, ThirtyTwoAndTwentyFourBitPixels) {
  auto Luv32 = Manager(cfLogLuv, 4, 8, cfBGR);
  Luv32.SetExposure(1.0);
  // L 15872, u' = 81.5 / 410, v' = 192.5 / 410: near white at a quarter.
  EXPECT_EQ(Convert(Luv32, {0x3E, 0x00, 81, 192, 0, 0, 81, 192}, 2, 6), (Bytes{126, 127, 129, 0, 0, 0}));
  Luv32.SetExposure(2.0);
  EXPECT_EQ(Convert(Luv32, {0x3E, 0x00, 81, 192}, 1, 3), (Bytes{179, 180, 182}));
  Luv32.SetExposure(1.0);

  // Le 640 with uv cells 11926 (near white) and 13674 (reddish).
  auto Luv24 = Manager(cfLogLuv, 3, 8, cfBGRA);
  EXPECT_EQ(Convert(Luv24, {160, 46, 150, 160, 53, 106, 0, 46, 150}, 3, 12),
            (Bytes{129, 128, 127, 0, 84, 99, 201, 0, 0, 0, 0, 0}));
}

TEST(XColorBounds, RejectsPixelsOutsideEitherRow) {
  auto CM = Manager(cfRGB, 3, 8, cfBGR);
  Bytes Source(6), Dest(6);
  EXPECT_THROW(CM.ConvertRow(Source, Dest, 0, 0, 3), EColorConversionError);
  EXPECT_THROW(CM.ConvertRow(Source, Dest, 0, 1, 2), EColorConversionError);
  EXPECT_THROW(CM.ConvertRow(Source, Dest, 1, 0, 2), EColorConversionError);
  EXPECT_THROW(CM.ConvertRow(Source, Dest, -1, 0, 1), EColorConversionError);
  EXPECT_THROW(CM.ConvertRow(Source, Dest, 0, 0, -1), EColorConversionError);
  EXPECT_THROW(CM.ConvertRow(Source, Dest, INT32_MAX, INT32_MAX, INT32_MAX), EColorConversionError);
  EXPECT_NO_THROW(CM.ConvertRow(Source, Dest, 0, 0, 2));
  EXPECT_NO_THROW(CM.ConvertRow(Source, Dest, 2, 2, 0));

  auto Wide = Manager(cfRGBA, 4, 16, cfBGRA, 8, cmfComposite);
  Bytes Wide16(7), Dest4(4);
  EXPECT_THROW(Wide.ConvertRow(Wide16, Dest4, 0, 0, 1), EColorConversionError);

  auto Bits = Manager(cfPalette, 1, 1, cfPalette, 8);
  Bytes TwoBytes(2), Nine(9);
  EXPECT_NO_THROW(Bits.ConvertRow(TwoBytes, Nine, 0, 7, 9));
  EXPECT_THROW(Bits.ConvertRow(TwoBytes, Nine, 0, 8, 9), EColorConversionError);
  auto Packed = Manager(cfPalette, 1, 8, cfPalette, 1);
  Bytes One(1);
  EXPECT_NO_THROW(Packed.ConvertRow(Nine, One, 0, 1, 8));
  EXPECT_THROW(Packed.ConvertRow(Nine, One, 1, 1, 8), EColorConversionError);
}

TEST(XColorBounds, FieldsChangedWithoutPrepareKeepTheCheckedLayout) {
  auto CM = Manager(cfCIELab, 3, 8, cfBGR);
  CM.Flags |= cmfComposite;
  CM.SourceFlags |= sfHasAlpha;
  CM.SourceSamples = 4;
  Bytes Dest(3);
  CM.ConvertRow(Bytes{100, 0, 0}, Dest, 0, 0, 1);
  EXPECT_EQ(Dest, (Bytes{255, 255, 255}));
}

TEST(XColorBounds, UnservedLayoutsFailAtTheFirstRow) {
  Bytes Source(64), Dest(64);
  auto Expect = [&](TColorManager CM) {
    try {
      CM.ConvertRow(Source, Dest, 0, 0, 0);
      ADD_FAILURE() << "no error";
    } catch (const EColorConversionError& E) {
      EXPECT_STREQ(E.what(), "Color Manager: internal error");
    }
  };
  Expect(TColorManager());
  TColorManager NoTarget;
  NoTarget.SetSource(cfRGB, 3, 8);
  Expect(NoTarget);
  Expect(Manager(cfCMY, 3, 8, cfBGR));
  Expect(Manager(cfYCCK, 4, 8, cfBGR));
  Expect(Manager(cfRGB, 3, 12, cfBGR));
  Expect(Manager(cfRGB, 2, 8, cfBGR));
  Expect(Manager(cfRGBA, 3, 8, cfBGR, 8, cmfComposite));
  Expect(Manager(cfCMYK, 4, 8, cfGray));
  Expect(Manager(cfPalette, 3, 4, cfPalette, 8));
  Expect(Manager(cfPalette, 1, 17, cfPalette, 8));
  Expect(Manager(cfLogLuv, 2, 8, cfBGR));
}

TEST(XColorPrepare, PixelFormatForSamplesAndBits) {
  struct TCase {
    int32_t Samples, Bits;
    uint8_t Format;
  };
  const TCase Cases[] = {{1, 1, pf1bit},   {1, 2, pf4bit},     {1, 4, pf4bit},    {1, 5, pfInvalid}, {1, 8, pf8bit},
                         {1, 16, pf8bit},  {1, 17, pfInvalid}, {2, 8, pfInvalid}, {3, 5, pf15bit},   {3, 8, pf24bit},
                         {3, 16, pf24bit}, {4, 4, pfInvalid},  {4, 8, pf32bit},   {5, 8, pfInvalid}};
  for (const TCase& C : Cases) {
    TColorManager CM;
    CM.SetSource(cfRGB, C.Samples, C.Bits);
    EXPECT_EQ(CM.PixelFormatFor(false), C.Format) << C.Samples << " x " << C.Bits;
  }
  TColorManager CM;
  CM.SetSource(cfRGB, 3, 16);
  CM.SetTarget(cfGray, 16);
  EXPECT_EQ(CM.PixelFormatFor(true), pf8bit);
  CM.SetTarget(cfBGRA, 8);
  EXPECT_EQ(CM.PixelFormatFor(true), pf32bit);
}

// Every layout a manager serves converts within rows of exactly the smallest
// size it accepts (the sanitizer build sees any byte beyond them).
TEST(XColorBounds, EveryServedLayoutStaysInsideTheSmallestRows) {
  const int32_t BitsList[] = {1, 2, 4, 8, 12, 16};
  const TColorFormat Targets[] = {cfPalette, cfGray, cfGrayAlpha, cfRGB, cfRGBA, cfBGR, cfBGRA};
  constexpr int32_t SourceIndex = 3, DestIndex = 5, Count = 7;
  int32_t Served = 0;
  auto Accepts = [](TColorManager& CM, size_t SourceSize, size_t DestSize) {
    Bytes Source(SourceSize, 0xA5), Dest(DestSize, 0x5A);
    try {
      CM.ConvertRow(Source, Dest, DestIndex, SourceIndex, Count);
      return true;
    } catch (const EColorConversionError&) {
      return false;
    }
  };
  for (int32_t Format = cfPalette; Format <= cfLogL; ++Format)
    for (int32_t Samples = 1; Samples <= 5; ++Samples)
      for (int32_t Bits : BitsList)
        for (TColorFormat Target : Targets)
          for (int32_t TargetBits : {1, 4, 8, 16})
            for (uint8_t Flags : {uint8_t(0), uint8_t(cmfComposite | cmfKeepValues | cmfLevels)}) {
              auto CM = Manager(TColorFormat(Format), Samples, Bits, Target, TargetBits, Flags, sfSwap16);
              if (!Accepts(CM, 4096, 4096))
                continue;
              ++Served;
              auto Smallest = [](auto&& Fits) {
                size_t Low = 0, High = 4096;
                while (Low < High) {
                  const size_t Mid = (Low + High) / 2;
                  if (Fits(Mid))
                    High = Mid;
                  else
                    Low = Mid + 1;
                }
                return Low;
              };
              const size_t SourceSize = Smallest([&](size_t Size) { return Accepts(CM, Size, 4096); });
              const size_t DestSize = Smallest([&](size_t Size) { return Accepts(CM, SourceSize, Size); });
              EXPECT_TRUE(Accepts(CM, SourceSize, DestSize));
              EXPECT_GE(SourceSize * 8, size_t(SourceIndex + Count) * size_t(Bits)) << Format << " " << Samples;
            }
  EXPECT_GT(Served, 100);
}
