#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "DibTune.h"
#include "ProcessingTestUtil.h"

namespace {

TLut RandomLut(uint32_t Seed) {
  std::mt19937 Rng(Seed);
  TLut L;
  for (uint8_t& V : L)
    V = uint8_t(Rng());
  return L;
}

TColor MapColor(TColor C, const TLut& R, const TLut& G, const TLut& B) {
  return RGBColor(R[GetRValue(C)], G[GetGValue(C)], B[GetBValue(C)]);
}

// Each pixel the slow way, as the tables are meant to reach each format.
void RefApplyTables(TDib& D, const TLut& R, const TLut& G, const TLut& B) {
  if (D.PaletteSize() > 0 && !D.IsGray) {
    for (int32_t I = 0; I < D.PaletteSize(); ++I)
      D.SetPaletteColor(I, MapColor(D.GetPaletteColor(I), R, G, B));
    return;
  }
  for (int32_t Y = 0; Y < D.Height(); ++Y)
    for (int32_t X = 0; X < D.Width(); ++X) {
      const uint32_t V = D.GetPixelValue(X, Y);
      if (D.PaletteSize() == 256)
        D.SetPixelValue(X, Y, G[V]);
      else if (D.PaletteSize() == 16)
        D.SetPixelValue(X, Y, G[V * 16] / 16u);
      else if (D.PixelFormat() == pf32bit)
        D.SetPixelValue(X, Y, (V & 0xFF000000u) | MapColor(V & 0xFFFFFFu, R, G, B));
      else if (D.PaletteSize() == 0)
        D.SetPixelColor(X, Y, MapColor(D.GetPixelColor(X, Y), R, G, B));
    }
}

bool SameBytes(const TDib& A, const TDib& B) {
  return A.ImageSize() == B.ImageSize() && std::memcmp(A.Bits(), B.Bits(), size_t(A.ImageSize())) == 0 &&
         std::memcmp(A.PaletteEntries(), B.PaletteEntries(), size_t(A.PaletteSize()) * 4) == 0;
}

} // namespace

TEST(TuneTablesTest, GammaBrightnessContrastAndLevels) {
  struct TGamma {
    int32_t Position, In, Out;
  };
  for (const TGamma& G : {TGamma{50, 64, 16},
                          {50, 128, 64},
                          {50, 200, 157},
                          {200, 1, 16},
                          {200, 64, 128},
                          {200, 128, 181},
                          {1, 200, 0},
                          {1, 250, 35},
                          {1, 254, 172}}) {
    const TLut L = GammaTable(G.Position);
    EXPECT_EQ(L[size_t(G.In)], G.Out) << "position " << G.Position << " at " << G.In;
    EXPECT_EQ(L[0], 0);
    EXPECT_EQ(L[255], 255);
  }
  EXPECT_EQ(GammaTable(100), IdentityLut());

  const TLut Bright = ChannelTable(127, 100, IdentityLut());
  for (int32_t V = 128; V < 256; ++V)
    EXPECT_EQ(Bright[size_t(V)], 255);
  EXPECT_EQ(Bright[0], 127);
  const TLut Flat = ChannelTable(0, 0, IdentityLut());
  for (uint8_t V : Flat)
    EXPECT_EQ(V, 127);
  // The contrast quotient is rounded before the sum: (0 - 127) x 50 / 100.
  EXPECT_EQ(ChannelTable(0, 150, IdentityLut())[0], 0);
  EXPECT_EQ(ChannelTable(0, 150, IdentityLut())[130], 132);
  EXPECT_EQ(ChannelTable(0, 100, GammaTable(50))[128], 64);

  EXPECT_EQ(LevelsTable(0, 255), IdentityLut());
  const TLut Step = LevelsTable(100, 101);
  EXPECT_EQ(Step[100], 0);
  EXPECT_EQ(Step[101], 255);
  const TLut Half = LevelsTable(0, 128);
  EXPECT_EQ(Half[64], 128);
  EXPECT_EQ(Half[1], 2);
  EXPECT_EQ(Half[127], 253);
  const TLut Mid = LevelsTable(50, 150);
  EXPECT_EQ(Mid[100], 127);
  EXPECT_EQ(Mid[51], 3);
  // No width: a threshold instead of a division by zero.
  const TLut None = LevelsTable(90, 90);
  EXPECT_EQ(None[90], 0);
  EXPECT_EQ(None[91], 255);
}

TEST(TuneTablesTest, ApplyTablesMatchesTheSlowPathOnEveryFormat) {
  const TLut R = RandomLut(1), G = RandomLut(2), B = RandomLut(3);
  struct TCase {
    TPixelFormat Pf;
    bool Gray;
    int32_t W, H;
  };
  for (const TCase& C : {TCase{pf1bit, true, 9, 4},
                         {pf4bit, true, 13, 5},
                         {pf8bit, true, 11, 3},
                         {pf8bit, false, 11, 3},
                         {pf4bit, false, 7, 7},
                         {pf24bit, false, 700, 300},
                         {pf32bit, false, 17, 9},
                         {pf15bit, false, 17, 9},
                         {pf16bit, false, 5, 2}}) {
    SCOPED_TRACE(testing::Message() << "format " << int(C.Pf) << (C.Gray ? " gray" : ""));
    auto Fast = RandomDib(C.W, C.H, C.Pf, uint32_t(C.Pf) + 10 * C.Gray, C.Gray);
    std::unique_ptr<TDib> Slow = Fast->Clone();
    Slow->IsGray = Fast->IsGray;
    ApplyTables(*Fast, R, G, B);
    RefApplyTables(*Slow, R, G, B);
    EXPECT_TRUE(SameBytes(*Fast, *Slow));
  }
}

TEST(TuneTablesTest, PreviewsFitTheBoxAndMapPalettesNotPixels) {
  struct TCase {
    int32_t W, H, Pw, Ph;
    TPixelFormat Pf, Out;
  };
  for (const TCase& C : {TCase{320, 320, 320, 320, pf8bit, pf8bit},
                         {321, 10, 320, 10, pf24bit, pf24bit},
                         {500, 500, 320, 320, pf4bit, pf24bit},
                         {200, 1000, 64, 320, pf24bit, pf24bit},
                         {30, 20, 30, 20, pf15bit, pf24bit},
                         {30, 20, 30, 20, pf32bit, pf24bit}}) {
    auto Src = RandomDib(C.W, C.H, C.Pf, 7);
    const auto P = MakeTunePreview(*Src);
    EXPECT_EQ(P->Width(), C.Pw) << C.W << "x" << C.H;
    EXPECT_EQ(P->Height(), C.Ph) << C.W << "x" << C.H;
    EXPECT_EQ(P->PixelFormat(), C.Out) << C.W << "x" << C.H;
    if (C.W <= PreviewSide && C.H <= PreviewSide) {
      for (int32_t X = 0; X < C.W; X += 7)
        EXPECT_EQ(P->GetPixelColor(X, 3), Src->GetPixelColor(X, 3) & 0xFFFFFFu);
    }
  }
  auto Pal = RandomDib(8, 8, pf8bit, 3);
  std::unique_ptr<TDib> Work = Pal->Clone();
  const TLut Same = IdentityLut();
  TLut Neg;
  for (int32_t V = 0; V < 256; ++V)
    Neg[size_t(V)] = uint8_t(255 - V);
  MapPreview(*Pal, *Work, Neg, Same, Same);
  EXPECT_EQ(std::memcmp(Work->Bits(), Pal->Bits(), size_t(Pal->ImageSize())), 0);
  EXPECT_EQ(GetRValue(Work->GetPaletteColor(5)), 255 - GetRValue(Pal->GetPaletteColor(5)));
  EXPECT_EQ(GetGValue(Work->GetPaletteColor(5)), GetGValue(Pal->GetPaletteColor(5)));
}

TEST(TuneHlsTest, ConversionsAndShiftsAtTheirEdges) {
  const THsv Red = RgbToHsv(255, 0, 0);
  EXPECT_EQ(Red.H, 0);
  EXPECT_EQ(Red.S, 255);
  EXPECT_EQ(Red.V, 255);
  EXPECT_EQ(AdjustColor(RGBColor(255, 0, 0), {120, 100, 100}), RGBColor(0, 255, 0));
  EXPECT_EQ(AdjustColor(RGBColor(90, 90, 90), {77, 100, 100}), RGBColor(90, 90, 90));
  EXPECT_EQ(AdjustColor(RGBColor(1, 1, 1), {0, 50, 100}), RGBColor(0, 0, 0));
  EXPECT_EQ(AdjustColor(RGBColor(3, 3, 3), {0, 50, 100}), RGBColor(2, 2, 2));
  EXPECT_EQ(AdjustHsv({90, 10, 10}, {-180, 100, 100}).H, 270);
  EXPECT_EQ(AdjustHsv({200, 10, 10}, {180, 100, 100}).H, 20);
  EXPECT_EQ(AdjustHsv({0, 200, 10}, {0, 100, 200}).S, 255);
  EXPECT_EQ(RgbToHsv(0, 0, 0).S, 0);
  // The integer round trip loses only a few levels anywhere in the cube.
  int32_t Worst = 0;
  for (int32_t R = 0; R < 256; R += 5)
    for (int32_t G = 0; G < 256; G += 5)
      for (int32_t B = 0; B < 256; B += 5) {
        const TColor C = AdjustColor(RGBColor(uint8_t(R), uint8_t(G), uint8_t(B)), {});
        Worst = std::max({Worst, std::abs(GetRValue(C) - R), std::abs(GetGValue(C) - G), std::abs(GetBValue(C) - B)});
      }
  EXPECT_LE(Worst, 4);
}

TEST(TuneHlsTest, PixelsOfEveryFormatAndPalettesFollowTheColorShift) {
  const THlsShift Shift{-73, 130, 60};
  for (TPixelFormat Pf : {pf24bit, pf32bit, pf15bit, pf8bit, pf1bit}) {
    auto Fast = RandomDib(400, 50, Pf, uint32_t(Pf));
    std::unique_ptr<TDib> Slow = Fast->Clone();
    ApplyHls(*Fast, Shift);
    if (Pf <= pf8bit) {
      for (int32_t I = 0; I < Slow->PaletteSize(); ++I)
        Slow->SetPaletteColor(I, AdjustColor(Slow->GetPaletteColor(I), Shift));
    } else {
      for (int32_t Y = 0; Y < Slow->Height(); ++Y)
        for (int32_t X = 0; X < Slow->Width(); ++X) {
          const uint32_t Fourth = Pf == pf32bit ? Slow->GetPixelValue(X, Y) & 0xFF000000u : 0;
          Slow->SetPixelColor(X, Y, AdjustColor(Slow->GetPixelColor(X, Y), Shift));
          if (Pf == pf32bit)
            Slow->SetPixelValue(X, Y, Slow->GetPixelValue(X, Y) | Fourth);
        }
    }
    EXPECT_TRUE(SameBytes(*Fast, *Slow)) << "format " << int(Pf);
  }
  auto Orig = RandomDib(20, 10, pf24bit, 9);
  std::unique_ptr<TDib> Work = Orig->Clone();
  MapHlsPreview(*Orig, *Work, Shift);
  MapHlsPreview(*Orig, *Work, {});
  EXPECT_TRUE(SameBytes(*Orig, *Work));
}

TEST(TuneHistogramTest, CountsEveryPixelAndScalesOneBarTo63) {
  TDib One(40, 30, pf24bit);
  One.Fill(RGBColor(10, 20, 30));
  const TBarHeights H = HistogramHeights(ChannelHistogram(One));
  for (int32_t I = 0; I < 256; ++I) {
    EXPECT_EQ(H.R[size_t(I)], I == 10 ? 63 : 0);
    EXPECT_EQ(H.G[size_t(I)], I == 20 ? 63 : 0);
    EXPECT_EQ(H.B[size_t(I)], I == 30 ? 63 : 0);
  }
  for (TPixelFormat Pf : {pf24bit, pf4bit, pf15bit}) {
    auto D = RandomDib(1500, 700, Pf, 4);
    THistogram Ref;
    for (int32_t Y = 0; Y < D->Height(); ++Y)
      for (int32_t X = 0; X < D->Width(); ++X) {
        const TColor C = D->GetPixelColor(X, Y);
        ++Ref.R[GetRValue(C)];
        ++Ref.G[GetGValue(C)];
        ++Ref.B[GetBValue(C)];
      }
    const THistogram Got = ChannelHistogram(*D);
    EXPECT_EQ(Got.R, Ref.R) << int(Pf);
    EXPECT_EQ(Got.G, Ref.G) << int(Pf);
    EXPECT_EQ(Got.B, Ref.B) << int(Pf);
  }
  EXPECT_EQ(HistogramHeights(THistogram{}).R[0], 0);
}

TEST(TuneHlsTest, HueAndSaturationEqualThePlainDivisionsEverywhere) {
  for (int32_t R = 0; R < 256; R += 3)
    for (int32_t G = 0; G < 256; G += 1)
      for (int32_t B = 0; B < 256; B += 7) {
        const int32_t Max = std::max({R, G, B}), Min = std::min({R, G, B}), D = Max - Min;
        const int32_t S = Max == 0 ? 0 : D * 255 / Max;
        int32_t H = 0;
        if (S != 0)
          H = Max == R ? (G - B) * 60 / D : Max == G ? (B - R) * 60 / D + 120 : (R - G) * 60 / D + 240;
        const THsv C = RgbToHsv(R, G, B);
        ASSERT_EQ(C.S, S) << R << "," << G << "," << B;
        ASSERT_EQ(C.H, H < 0 ? H + 360 : H) << R << "," << G << "," << B;
      }
}
