#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "DibImage.h"
#include "DibRotate.h"
#include "DibRotateSimd.h"

namespace {

const TPixelFormat Formats[] = {pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit};

// Around every block and tile edge of every pixel size: single pixels, single
// rows and columns, a block or tile and one either side, and widths whose
// rows need padding.
const std::pair<int32_t, int32_t> Sizes[] = {
    {1, 1},  {1, 37}, {37, 1},   {2, 3},   {15, 17}, {16, 16},  {17, 15},  {63, 64},  {64, 65}, {65, 63},
    {79, 8}, {81, 9}, {127, 66}, {129, 3}, {3, 129}, {255, 64}, {257, 65}, {64, 257}, {513, 9}, {7, 513},
};

uint32_t Mask(TPixelFormat Pf) {
  const int32_t Bits = HeaderBitCountOf(Pf);
  return Bits == 32 ? 0xFFFFFFFFu : (1u << Bits) - 1;
}

std::unique_ptr<TDib> Patterned(int32_t W, int32_t H, TPixelFormat Pf) {
  auto D = std::make_unique<TDib>(W, H, Pf);
  for (int32_t I = 0; I < D->PaletteSize(); ++I)
    D->SetPaletteColor(I, RGBColor(uint8_t(I), uint8_t(I * 5), uint8_t(255 - I)));
  for (int32_t Y = 0; Y < H; ++Y)
    for (int32_t X = 0; X < W; ++X) {
      uint32_t V = uint32_t(X) * 2654435761u ^ uint32_t(Y) * 40503u;
      V ^= V >> 15;
      D->SetPixelValue(X, Y, (V * 0x9E3779B1u) & Mask(Pf));
    }
  return D;
}

std::string Name(TPixelFormat Pf, int32_t W, int32_t H) {
  return "pf" + std::to_string(int(Pf)) + " " + std::to_string(W) + "x" + std::to_string(H);
}

// Bits past the last pixel of every row, which files and the clipboard carry.
bool PaddingClear(const TDib& D) {
  const int64_t Used = int64_t(D.Width()) * D.BitCount();
  for (int32_t Y = 0; Y < D.Height(); ++Y)
    for (int64_t B = Used; B < int64_t(D.RowBytes()) * 8; ++B)
      if ((D.ScanLine(Y)[B >> 3] >> (7 - (B & 7))) & 1)
        return false;
  return true;
}

} // namespace

TEST(DibRotate, QuarterTurnsMatchPixelByPixel) {
  for (TPixelFormat Pf : Formats)
    for (auto [W, H] : Sizes) {
      auto Src = Patterned(W, H, Pf);
      auto Cw = Src->Clone();
      Cw->Rotate(90);
      auto Ccw = Src->Clone();
      Ccw->Rotate(270);
      for (const TDib* D : {Cw.get(), Ccw.get()}) {
        ASSERT_EQ(D->Width(), H) << Name(Pf, W, H);
        ASSERT_EQ(D->Height(), W) << Name(Pf, W, H);
        EXPECT_TRUE(PaddingClear(*D)) << Name(Pf, W, H);
      }
      for (int32_t Y = 0; Y < W; ++Y)
        for (int32_t X = 0; X < H; ++X) {
          ASSERT_EQ(Cw->GetPixelValue(X, Y), Src->GetPixelValue(Y, H - 1 - X))
              << Name(Pf, W, H) << " at " << X << "," << Y;
          ASSERT_EQ(Ccw->GetPixelValue(X, Y), Src->GetPixelValue(W - 1 - Y, X))
              << Name(Pf, W, H) << " at " << X << "," << Y;
        }
    }
}

TEST(DibRotate, TurnsComposeToTheOriginal) {
  for (TPixelFormat Pf : Formats)
    for (const auto& Size : {std::pair{65, 63}, std::pair{257, 17}, std::pair{5, 81}}) {
      const int W = Size.first, H = Size.second;
      auto Src = Patterned(W, H, Pf);
      const auto Same = [&](const TDib& D) {
        return D.Width() == W && D.Height() == H && std::memcmp(D.Bits(), Src->Bits(), size_t(Src->ImageSize())) == 0;
      };
      auto Four = Src->Clone();
      for (int I = 0; I < 4; ++I)
        Four->Rotate(90);
      EXPECT_TRUE(Same(*Four)) << Name(Pf, W, H);
      auto Back = Src->Clone();
      Back->Rotate(90);
      Back->Rotate(-90);
      EXPECT_TRUE(Same(*Back)) << Name(Pf, W, H);

      auto Half = Src->Clone();
      Half->Rotate(180);
      auto Mirrored = Src->Clone();
      Mirrored->MirrorUpDown();
      Mirrored->MirrorLeftRight();
      EXPECT_EQ(0, std::memcmp(Half->Bits(), Mirrored->Bits(), size_t(Half->ImageSize()))) << Name(Pf, W, H);
      auto Twice = Src->Clone();
      Twice->Rotate(90);
      Twice->Rotate(90);
      EXPECT_EQ(0, std::memcmp(Half->Bits(), Twice->Bits(), size_t(Half->ImageSize()))) << Name(Pf, W, H);
    }
}

// A block inside larger rows, read and written with negative steps as the
// turns do: nothing outside the block's pixels may change, whatever width the
// kernels store at once.
TEST(DibRotate, TransposeStaysInsideItsBlock) {
  for (int32_t Bits : {1, 4, 8, 16, 24, 32})
    for (auto [Rows, Cols] : {std::pair{9, 17}, std::pair{17, 9}, std::pair{33, 67}, std::pair{70, 260}}) {
      const int32_t Margin = 16; // bytes each side of every row
      const ptrdiff_t SrcStep = Margin * 2 + (Cols * Bits + 7) / 8, DstStep = Margin * 2 + (Rows * Bits + 7) / 8;
      std::vector<uint8_t> Src(size_t(SrcStep * Rows)), Dst(size_t(DstStep * Cols), 0xA5);
      for (size_t I = 0; I < Src.size(); ++I)
        Src[I] = uint8_t(I * 131 + (I >> 8));
      const std::vector<uint8_t> Before = Dst;
      // Source read bottom up, destination written bottom up.
      TransposePixels(Src.data() + (Rows - 1) * SrcStep + Margin, -SrcStep, Dst.data() + (Cols - 1) * DstStep + Margin,
                      -DstStep, Rows, Cols, Bits);
      const auto Pixel = [&](const uint8_t* Row, int64_t X) {
        uint32_t V = 0;
        for (int64_t Bit = X * Bits; Bit < (X + 1) * Bits; ++Bit)
          V = V << 1 | ((Row[Bit >> 3] >> (7 - (Bit & 7))) & 1);
        return V;
      };
      for (int32_t J = 0; J < Cols; ++J) {
        const uint8_t* Out = Dst.data() + (Cols - 1 - J) * DstStep + Margin;
        for (int32_t I = 0; I < Rows; ++I)
          ASSERT_EQ(Pixel(Out, I), Pixel(Src.data() + (Rows - 1 - I) * SrcStep + Margin, J))
              << Bits << " bits, " << Rows << "x" << Cols << " at " << I << "," << J;
      }
      const int64_t Used = int64_t(Rows) * Bits;
      for (int32_t J = 0; J < Cols; ++J)
        for (int64_t B = 0; B < DstStep * 8; ++B) {
          if (B >= Margin * 8 && B < Margin * 8 + Used)
            continue;
          const size_t At = size_t(J * DstStep + (B >> 3));
          ASSERT_EQ((Dst[At] >> (7 - (B & 7))) & 1, (Before[At] >> (7 - (B & 7))) & 1)
              << Bits << " bits, " << Rows << "x" << Cols << " row " << J << " bit " << B;
        }
    }
}

// Processors without SSSE3 take the word kernel of three-byte pixels; it must
// write what the one checked above writes, edges and margins included.
TEST(DibRotate, BaselineThreeByteKernelAgrees) {
  for (const auto& Size : Sizes) {
    const int32_t Rows = Size.first, Cols = Size.second, Margin = 8;
    const ptrdiff_t SrcStep = Margin * 2 + Cols * 3, DstStep = Margin * 2 + Rows * 3;
    std::vector<uint8_t> Src(size_t(SrcStep * Rows));
    for (size_t I = 0; I < Src.size(); ++I)
      Src[I] = uint8_t(I * 97 + (I >> 7));
    std::vector<uint8_t> Checked(size_t(DstStep * Cols), 0x5A), Baseline = Checked;
    const uint8_t* From = Src.data() + (Rows - 1) * SrcStep + Margin;
    TransposePixels(From, -SrcStep, Checked.data() + Margin, DstStep, Rows, Cols, 24);
    TransposeTiled24Plain(From, -SrcStep, Baseline.data() + Margin, DstStep, Rows, Cols);
    EXPECT_EQ(Checked, Baseline) << Rows << "x" << Cols;
  }
}
