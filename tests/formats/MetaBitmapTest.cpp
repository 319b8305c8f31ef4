#include <gtest/gtest.h>

#include <vector>

#include "ByteOrder.h"
#include "XMetaDC.h"

namespace {

using TBytes = std::vector<uint8_t>;

void Append32(TBytes& B, uint32_t V) {
  B.resize(B.size() + 4);
  PutLE32(B.data() + B.size() - 4, V);
}

// A 40-byte header followed by the colors (0x00RRGGBB each) and any masks.
TBytes Info(int32_t W, int32_t H, uint16_t Bits, uint32_t Compression, std::vector<uint32_t> Colors = {},
            uint32_t ColorsUsed = 0) {
  TBytes B;
  Append32(B, 40);
  Append32(B, uint32_t(W));
  Append32(B, uint32_t(H));
  Append32(B, 1u | (uint32_t(Bits) << 16));
  Append32(B, Compression);
  for (int I = 0; I < 3; ++I)
    Append32(B, 0);
  Append32(B, ColorsUsed);
  Append32(B, 0);
  for (uint32_t C : Colors)
    Append32(B, C);
  return B;
}

TMetaBitmap Decode(const TBytes& I, const TBytes& Bits, bool Expect = true) {
  TMetaBitmap Out;
  EXPECT_EQ(DecodeMetaBitmap(I, Bits, Out), Expect);
  return Out;
}

constexpr uint32_t Red = 0xFFFF0000, Green = 0xFF00FF00, Blue = 0xFF0000FF, White = 0xFFFFFFFF, Black = 0xFF000000;

struct TDepthCase {
  const char* Name;
  uint16_t Bits;
  uint32_t Compression;
  std::vector<uint32_t> Colors; // palette or masks
  TBytes Row;                   // one padded row of two pixels
  uint32_t Left, Right;
};

TEST(MetaBitmap, DecodesEveryDepth) {
  const TDepthCase Cases[] = {
      {"1 bit", 1, 0, {0x000000, 0xFFFFFF}, {0x40, 0, 0, 0}, Black, White},
      {"4 bit", 4, 0, {0xFF0000, 0x00FF00, 0x0000FF}, {0x21, 0, 0, 0}, Blue, Green},
      {"8 bit", 8, 0, {0xFF0000, 0x00FF00}, {1, 0, 0, 0}, Green, Red},
      {"16 bit 5-5-5", 16, 0, {}, {0x00, 0x7C, 0x1F, 0x00}, Red, Blue},
      {"16 bit 5-6-5 fields", 16, 3, {0xF800, 0x07E0, 0x001F}, {0xE0, 0x07, 0x00, 0xF8}, Green, Red},
      {"24 bit", 24, 0, {}, {0xFF, 0, 0, 0, 0xFF, 0, 0, 0}, Blue, Green},
      {"32 bit", 32, 0, {}, {0, 0, 0xFF, 0, 0xFF, 0xFF, 0xFF, 0}, Red, White},
      {"32 bit fields", 32, 3, {0xFF, 0xFF00, 0xFF0000}, {0xFF, 0, 0, 0, 0, 0, 0xFF, 0}, Red, Blue},
  };
  for (const TDepthCase& C : Cases) {
    SCOPED_TRACE(C.Name);
    const TMetaBitmap B = Decode(Info(2, 1, C.Bits, C.Compression, C.Colors), C.Row);
    ASSERT_EQ(B.Pixels.size(), 2u);
    EXPECT_EQ(B.Pixels[0], C.Left);
    EXPECT_EQ(B.Pixels[1], C.Right);
  }
}

TEST(MetaBitmap, RowOrderFollowsHeightSign) {
  const TBytes Rows = {0, 0, 0, 0, 1, 0, 0, 0}; // file rows: 0 then 1
  for (int32_t H : {2, -2}) {
    SCOPED_TRACE(H);
    const TMetaBitmap B = Decode(Info(1, H, 8, 0, {0x000000, 0xFFFFFF}), Rows);
    ASSERT_EQ(B.Height, 2);
    EXPECT_EQ(B.Pixels[0], H > 0 ? White : Black);
    EXPECT_EQ(B.Pixels[1], H > 0 ? Black : White);
  }
}

TEST(MetaBitmap, PaletteSources) {
  TBytes Packed = Info(2, 1, 8, 0, {0x0000FF, 0x00FF00}, 2); // bits after the colors
  Packed.insert(Packed.end(), {1, 0, 0, 0});
  const TBytes Core = {12, 0, 0, 0, 2, 0, 1, 0, 1, 0, 1, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF}; // three-byte colors
  const TBytes Short = Info(2, 1, 8, 0, {0xFFFFFF}, 1);                                 // index 200 is past it
  const struct {
    TBytes Info, Bits;
    std::vector<uint32_t> Expected;
  } Cases[] = {
      {Packed, {}, {Green, Blue}}, {Core, {0x80, 0, 0, 0}, {White, Black}}, {Short, {0, 200, 0, 0}, {White, Black}}};
  for (const auto& C : Cases)
    EXPECT_EQ(Decode(C.Info, C.Bits).Pixels, C.Expected);
}

TEST(MetaBitmap, AlphaKeptOnlyWhenUsed) {
  // Half-transparent white comes out premultiplied; all-zero alpha is opaque.
  const TMetaBitmap Used = Decode(Info(2, 1, 32, 0), {0xFF, 0xFF, 0xFF, 0x80, 0, 0, 0xFF, 0});
  EXPECT_EQ(Used.Pixels[0], 0x80808080u);
  EXPECT_EQ(Used.Pixels[1], 0x00000000u);
  const TMetaBitmap Unused = Decode(Info(2, 1, 32, 0), {0xFF, 0xFF, 0xFF, 0, 0, 0, 0xFF, 0});
  EXPECT_EQ(Unused.Pixels[0], White);
  EXPECT_EQ(Unused.Pixels[1], Red);
}

TEST(MetaBitmap, Rle8RunsDeltasAndLineEnds) {
  const std::vector<uint32_t> Palette = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF};
  // Row 0 (bottom): two of color 1, end of line. Row 1: delta right 1, then
  // literal 2, 3 (padded), end of bitmap. Row 2 stays untouched.
  const TBytes Codes = {2, 1, 0, 0, 0, 2, 1, 0, 0, 3, 2, 3, 1, 0, 0, 1};
  const TMetaBitmap B = Decode(Info(4, 3, 8, 1, Palette), Codes);
  ASSERT_EQ(B.Pixels.size(), 12u);
  const std::vector<uint32_t> Expected = {0,   0,     0,    0,   // top row: never written
                                          0,   Green, Blue, Red, // after the delta
                                          Red, Red,   0,    0};
  EXPECT_EQ(B.Pixels, Expected);
}

TEST(MetaBitmap, Rle4AlternatesNibbles) {
  const std::vector<uint32_t> Palette = {0x000000, 0xFFFFFF, 0xFF0000};
  const TBytes Codes = {3, 0x12, 0, 3, 0x21, 0x20, 0, 1};
  const TMetaBitmap B = Decode(Info(6, 1, 4, 2, Palette), Codes);
  const std::vector<uint32_t> Expected = {White, Red, White, Red, White, Red};
  EXPECT_EQ(B.Pixels, Expected);
}

TEST(MetaBitmap, RleRunsStopAtTheEdges) {
  // Runs past the row and deltas past the top are dropped, not written out of place.
  const TBytes Codes = {255, 1, 0, 2, 200, 200, 9, 1};
  const TMetaBitmap B = Decode(Info(2, 2, 8, 1, {0, 0xFFFFFF}), Codes);
  const std::vector<uint32_t> Expected = {0, 0, White, White};
  EXPECT_EQ(B.Pixels, Expected);
}

TEST(MetaBitmap, RejectsWhatItCannotPlace) {
  const TBytes Row = {0, 0, 0, 0};
  struct TCase {
    const char* Name;
    TBytes Info, Bits;
  };
  TBytes ShortHeader = Info(1, 1, 8, 0);
  ShortHeader.resize(30);
  TBytes BigHeaderSize = Info(1, 1, 8, 0);
  PutLE32(BigHeaderSize.data(), 4000);
  TBytes FieldsWithoutMasks = Info(1, 1, 16, 3);
  const TCase Cases[] = {
      {"short header", ShortHeader, Row},
      {"header past the block", BigHeaderSize, Row},
      {"zero width", Info(0, 1, 8, 0), Row},
      {"negative width", Info(-1, 1, 8, 0), Row},
      {"zero height", Info(1, 0, 8, 0), Row},
      {"too many pixels", Info(65536, 65536, 1, 0), Row},
      {"unknown depth", Info(1, 1, 7, 0), Row},
      {"embedded jpeg", Info(1, 1, 0, 4), Row},
      {"embedded png", Info(1, 1, 0, 5), Row},
      {"rle with wrong depth", Info(1, 1, 8, 2), Row},
      {"top-down rle", Info(1, -1, 8, 1), Row},
      {"masks missing", FieldsWithoutMasks, Row},
      {"rows missing", Info(4, 2, 24, 0), TBytes(20)},
      {"no bits at all", Info(1, 1, 8, 0, {0}), {}},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.Name);
    TMetaBitmap Out;
    EXPECT_FALSE(DecodeMetaBitmap(C.Info, C.Bits, Out));
    EXPECT_TRUE(Out.Pixels.empty());
  }
}

TEST(MetaBitmap, StretchCoversTheDestination) {
  TMetaBitmap B;
  B.Width = 2, B.Height = 1;
  B.Pixels = {Red, Blue};
  TMetaDC DC(40, 20);
  DC.StretchBitmap(B, {0, 0, 40, 20}, {0, 0, 2, 1}, Meta::SrcCopy);
  EXPECT_EQ(DC.SurfaceRow(10)[5] & 0xFFFFFF, 0xFF0000u);
  EXPECT_EQ(DC.SurfaceRow(10)[35] & 0xFFFFFF, 0x0000FFu);
  // Mirrored by a negative destination width.
  DC.StretchBitmap(B, {40, 0, 0, 20}, {0, 0, 2, 1}, Meta::SrcCopy);
  EXPECT_EQ(DC.SurfaceRow(10)[5] & 0xFFFFFF, 0x0000FFu);
  DC.StretchBitmap(B, {0, 0, 40, 20}, {0, 0, 2, 1}, Meta::Blackness);
  EXPECT_EQ(DC.SurfaceRow(3)[20] & 0xFFFFFF, 0u);
}

TEST(MetaBitmap, PatternOperationsOnWhite) {
  // The default brush is white; operations that need a source leave the picture.
  const struct {
    uint32_t Rop, Expected;
  } Cases[] = {{Meta::Blackness, 0x000000}, {Meta::DstInvert, 0x000000}, {Meta::Whiteness, 0xFFFFFF},
               {Meta::PatInvert, 0x000000}, {Meta::PatCopy, 0xFFFFFF},   {0xAA0029, 0xFFFFFF},
               {Meta::SrcCopy, 0xFFFFFF}};
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Rop);
    TMetaDC DC(10, 10);
    DC.PatBlt({0, 0, 10, 10}, Meta::Blackness);
    DC.PatBlt({0, 0, 10, 10}, Meta::DstInvert);
    DC.PatBlt({0, 0, 10, 10}, C.Rop);
    EXPECT_EQ(DC.SurfaceRow(5)[5] & 0xFFFFFF, C.Expected);
  }
}

} // namespace
