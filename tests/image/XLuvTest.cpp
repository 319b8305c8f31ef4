#include <gtest/gtest.h>

#include <vector>

#include "Errors.h"
#include "XLuv.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Pixel(const TDib& Dib, int32_t X, int32_t Y) {
  const uint8_t* P = Dib.ScanLine(Y) + X * 3;
  return {P[0], P[1], P[2]};
}

} // namespace

TEST(XLuvTable, GridIsConsistent) {
  int32_t Cells = 0;
  for (const TLuvUvRow& Row : LuvUvRows) {
    EXPECT_EQ(Row.Cumulative, Cells);
    Cells += Row.Count;
  }
  EXPECT_EQ(Cells, LuvUvCells);

  double U, V;
  EXPECT_TRUE(LuvDecodeUv(0, U, V));
  EXPECT_NEAR(U, 0.247663 + 0.00175, 1e-6);
  EXPECT_NEAR(V, 0.01694 + 0.00175, 1e-9);
  EXPECT_TRUE(LuvDecodeUv(LuvUvCells - 1, U, V));
  EXPECT_NEAR(U, 0.023659 + 20.5 * 0.0035, 1e-6);
  EXPECT_NEAR(V, 0.01694 + 162.5 * 0.0035, 1e-9);
  // The first cell of a row belongs to that row, not the one before.
  EXPECT_TRUE(LuvDecodeUv(4, U, V));
  EXPECT_NEAR(V, 0.01694 + 1.5 * 0.0035, 1e-9);
  EXPECT_FALSE(LuvDecodeUv(LuvUvCells, U, V));
  EXPECT_DOUBLE_EQ(U, LuvUNeutral);
  EXPECT_FALSE(LuvDecodeUv(-1, U, V));
}

TEST(XLuvBuf, LayoutAndLimits) {
  TLuvBuf Buf(5, 3, 2);
  EXPECT_EQ(Buf.RowBytes(), 16);
  EXPECT_EQ(Buf.ColorManager().TargetFormat, cfBGR);
  TLuvBuf Gray(3, 2, 1);
  EXPECT_EQ(Gray.RowBytes(), 8);
  EXPECT_EQ(Gray.ColorManager().TargetFormat, cfGray);
  EXPECT_EQ(Gray.ColorManager().SourceBits, 16);

  EXPECT_THROW(TLuvBuf(0, 4, 1), EColorConversionError);
  EXPECT_THROW(TLuvBuf(1, 4, -1), EColorConversionError);
  EXPECT_THROW(TLuvBuf(1, 5, 1), EColorConversionError);
  EXPECT_THROW(TLuvBuf(1, 1, 1), EColorConversionError);
  EXPECT_THROW(TLuvBuf(INT32_MAX, 4, 1), EColorConversionError);
  EXPECT_THROW(TLuvBuf(65536, 4, 65536), EColorConversionError);
}

TEST(XLuvBuf, RowsBeyondTheHeightAreIgnored) {
  TLuvBuf Buf(1, 4, 2);
  EXPECT_TRUE(Buf.AddRow(Bytes{0x3E, 0x00, 81, 192}));
  EXPECT_TRUE(Buf.AddRow(Bytes{0x00}));
  EXPECT_FALSE(Buf.AddRow(Bytes{0x3E, 0x00, 81, 192}));
  EXPECT_EQ(Buf.RowsAdded(), 2);

  TDib Dib(1, 2, pf24bit);
  Dib.Fill(RGBColor(0xEE, 0xEE, 0xEE));
  Buf.Render(Dib, 1.0);
  EXPECT_EQ(Pixel(Dib, 0, 0), (Bytes{126, 127, 129}));
  EXPECT_EQ(Pixel(Dib, 0, 1), (Bytes{0, 0, 0}));
}

TEST(XLuvBuf, RendersAgainAtAnotherExposure) {
  TLuvBuf Buf(2, 4, 1);
  Buf.AddRow(Bytes{0x3E, 0x00, 81, 192, 0, 0, 81, 192});
  TDib Dib(2, 1, pf24bit);
  Buf.Render(Dib, 1.0);
  EXPECT_EQ(Pixel(Dib, 0, 0), (Bytes{126, 127, 129}));
  EXPECT_EQ(Pixel(Dib, 1, 0), (Bytes{0, 0, 0}));
  Buf.Render(Dib, 2.0);
  EXPECT_DOUBLE_EQ(LuvExposure, 2.0);
  EXPECT_EQ(Pixel(Dib, 0, 0), (Bytes{179, 180, 182}));
  Buf.Render(Dib, 1.0);
  EXPECT_EQ(Pixel(Dib, 0, 0), (Bytes{126, 127, 129}));
}

TEST(XLuvBuf, RendersLogLAsGrayAndTwentyFourBitAsColor) {
  TLuvBuf Gray(2, 2, 1);
  Gray.AddRow(Bytes{0x00, 0x3E, 0xFF, 0x3D});
  TDib GrayDib(2, 1, pf8bit);
  Gray.Render(GrayDib, 1.0);
  EXPECT_EQ(GrayDib.ScanLine(0)[0], 128);
  EXPECT_EQ(GrayDib.ScanLine(0)[1], 127);

  TLuvBuf Luv24(1, 3, 1);
  Luv24.AddRow(Bytes{160, 53, 106});
  TDib Dib(1, 1, pf24bit);
  Luv24.Render(Dib, 1.0);
  EXPECT_EQ(Pixel(Dib, 0, 0), (Bytes{84, 99, 201}));
}

TEST(XLuvBuf, NarrowerImageIsRefused) {
  TLuvBuf Buf(8, 4, 1);
  Buf.AddRow(Bytes(32, 0));
  TDib Dib(2, 1, pf24bit);
  EXPECT_THROW(Buf.Render(Dib, 1.0), EColorConversionError);
}
