#include <gtest/gtest.h>

#include <vector>

#include "ByteOrder.h"
#include "DibImage.h"

namespace {

struct TLayout {
  TPixelFormat Pf;
  int32_t Bits, HeaderBits;
};
// pf15bit is stored in 16 bits but bitmap headers name it 15.
constexpr TLayout Layouts[] = {{pf1bit, 1, 1},    {pf4bit, 4, 4},    {pf8bit, 8, 8},   {pf15bit, 16, 15},
                               {pf16bit, 16, 16}, {pf24bit, 24, 24}, {pf32bit, 32, 32}};

} // namespace

TEST(PixelLayout, BitCountsAgreeWithTheBufferAndHeaders) {
  for (const TLayout& L : Layouts) {
    EXPECT_EQ(BitCountOf(L.Pf), L.Bits) << int(L.Pf);
    EXPECT_EQ(HeaderBitCountOf(L.Pf), L.HeaderBits) << int(L.Pf);
    EXPECT_EQ(StoredBitsOf(HeaderBitCountOf(L.Pf)), L.Bits) << int(L.Pf);
    for (int32_t W = 1; W <= 70; ++W) {
      const TDib D(W, 1, L.Pf);
      ASSERT_EQ(D.BitCount(), L.Bits);
      ASSERT_EQ(D.RowBytes(), DibRowBytes(W, BitCountOf(L.Pf))) << int(L.Pf) << " width " << W;
    }
  }
  EXPECT_EQ(BitCountOf(0), 0);
  EXPECT_EQ(BitCountOf(pfInvalid), 0);
  EXPECT_EQ(HeaderBitCountOf(pfInvalid), 0);
}

TEST(PixelLayout, RowLengths) {
  EXPECT_EQ(DibRowBytes(1, 1), 4);
  EXPECT_EQ(DibRowBytes(33, 1), 8);
  EXPECT_EQ(DibRowBytes(17, 15), 32) << "a 15-bit count alone gives the shorter row";
  EXPECT_EQ(DibRowBytes(17, StoredBitsOf(15)), 36);
  EXPECT_EQ(PackedRowBytes(9, 1), 2);
  EXPECT_EQ(PackedRowBytes(3, 4), 2);
  EXPECT_EQ(DibRowBytes(0x7FFFFFFF, 32), int64_t(0x7FFFFFFF) * 4) << "no 32-bit overflow";
}

TEST(PixelLayout, SubBytePixelsKeepTheirNeighbours) {
  uint8_t Row[2] = {0, 0xFF};
  Set4(Row, 1, 0x1A);
  EXPECT_EQ(Row[0], 0x0A) << "values are cut to four bits";
  Set4(Row, 0, 5);
  EXPECT_EQ(Row[0], 0x5A);
  EXPECT_EQ(Get4(Row, 0), 5u);
  EXPECT_EQ(Get4(Row, 1), 0xAu);
  Set1(Row, 8, 0);
  Set1(Row, 15, 0);
  EXPECT_EQ(Row[1], 0x7E);
  EXPECT_EQ(Get1(Row, 9), 1u);
  EXPECT_EQ(Get1(Row, 15), 0u);
}

TEST(PixelLayout, ResolutionUnits) {
  EXPECT_EQ(DpiToPelsPerMetre(72), 2835);
  EXPECT_EQ(PelsPerMetreToDpi(2835), 72);
  EXPECT_EQ(PelsPerMetreToDpi(11811), 300);
  EXPECT_GT(DpiToPelsPerMetre(MaxDpiForPels), 0) << "the largest resolution still fits";
}

TEST(ByteOrder, FieldReaders) {
  const uint8_t B[4] = {0xFE, 0xFF, 0xFF, 0xFF};
  EXPECT_EQ(GetLESigned32(B), -2);
  EXPECT_EQ(Get16(B, false), 0xFFFE);
  EXPECT_EQ(Get16(B, true), 0xFEFF);
  const uint8_t C[3] = {1, 2, 3};
  EXPECT_EQ(GetBE24(C), 0x010203u);
}

// Packed bitmaps that name 15 bits keep their rows at the 16-bit length, as
// bitmap files do.
TEST(PixelLayout, PackedFifteenBitRowsUseTheStoredLength) {
  constexpr int32_t W = 17, H = 2;
  const int64_t Row = DibRowBytes(W, 16);
  std::vector<uint8_t> P(40 + size_t(Row * H), 0);
  PutLE32(P.data(), 40);
  PutLE32(P.data() + 4, W);
  PutLE32(P.data() + 8, uint32_t(-H));
  PutLE16(P.data() + 12, 1);
  PutLE16(P.data() + 14, 15);
  PutLE16(P.data() + 40 + 2 * (W - 1), 0x7C00);
  PutLE16(P.data() + 40 + Row, 0x001F);
  const auto D = TDib::FromGlobalDib(P);
  EXPECT_EQ(D->GetPixelColor(W - 1, 0), RGBColor(251, 3, 3));
  EXPECT_EQ(D->GetPixelColor(0, 1), RGBColor(3, 3, 251));
}

TEST(PixelLayout, CopyRowBitsMatchesPixelByPixel) {
  // Rows of exactly their packed length: the sanitizer build sees any read
  // past the row's last byte.
  for (int32_t Bpp : {1, 4})
    for (int32_t Width : {1, 7, 8, 9, 33}) {
      const int64_t RowBytes = PackedRowBytes(Width, Bpp);
      std::vector<uint8_t> Row(static_cast<size_t>(RowBytes));
      for (size_t I = 0; I < Row.size(); ++I)
        Row[I] = uint8_t(0x5A ^ (I * 37));
      for (int32_t X = 0; X < Width; ++X)
        for (int32_t W = 1; X + W <= Width; ++W) {
          std::vector<uint8_t> Got(size_t(PackedRowBytes(W, Bpp)), 0xFF), Want(Got.size(), 0);
          CopyRowBits(Row.data(), RowBytes, int64_t(X) * Bpp, int64_t(W) * Bpp, Got.data());
          for (int32_t I = 0; I < W; ++I)
            Bpp == 1 ? Set1(Want.data(), I, Get1(Row.data(), X + I)) : Set4(Want.data(), I, Get4(Row.data(), X + I));
          ASSERT_EQ(Got, Want) << Bpp << " bits, width " << Width << ", from " << X << ", " << W << " pixels";
        }
    }
}

// The word stores run a byte past each pixel: in place or into another row,
// every width must give swapped pixels and leave the byte after the row.
TEST(PixelLayout, CopySwapRedBlue3InPlaceAndApart) {
  for (int32_t Width = 0; Width <= 9; ++Width) {
    std::vector<uint8_t> Src(size_t(Width) * 3 + 1), Want(Src.size());
    for (size_t I = 0; I < Src.size(); ++I)
      Src[I] = uint8_t(I * 37 + 11);
    Want = Src;
    for (int32_t X = 0; X < Width; ++X)
      std::swap(Want[size_t(X) * 3], Want[size_t(X) * 3 + 2]);
    std::vector<uint8_t> Apart(Src.size(), 0xEE);
    Apart.back() = Src.back();
    CopySwapRedBlue3(Src.data(), Apart.data(), Width);
    EXPECT_EQ(Apart, Want) << "apart, width " << Width;
    CopySwapRedBlue3(Src.data(), Src.data(), Width);
    EXPECT_EQ(Src, Want) << "in place, width " << Width;
  }
}
