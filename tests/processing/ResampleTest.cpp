#include <gtest/gtest.h>

#include <cmath>
#include <algorithm>
#include <cstring>
#include <functional>
#include <random>
#include <vector>

#include "DibResample.h"
#include "ProcessingTestUtil.h"

namespace {

// The resampler written the slow way, pixel by pixel through the buffer's
// own accessors, to hold the fast one to.
float RefFilter(int32_t F, float X) {
  const float A = std::fabs(X);
  switch (F) {
  case rfBox: return X > -0.5f && X <= 0.5f ? 1.0f : 0.0f;
  case rfTriangle: return A < 1 ? float(1.0 - A) : 0.0f;
  case rfHermite: {
    const float A2 = A * A;
    return A < 1 ? float(A2 * (2.0 * A - 3.0) + 1.0) : 0.0f;
  }
  case rfBell: {
    const float A2 = A * A, T = float(A - 1.5), T2 = T * T;
    return A < 0.5f ? float(0.75 - A2) : A < 1.5f ? float(0.5 * T2) : 0.0f;
  }
  case rfSpline: {
    const float A2 = A * A;
    return A < 1 ? float(0.5 * A2 * A - A2 + 2.0 / 3.0) : A < 2 ? float((2.0 - A) * (2.0 - A) * (2.0 - A) / 6.0) : 0.0f;
  }
  case rfMitchell: {
    const float A2 = A * A;
    if (A < 1)
      return float((7.0 * A2 * A - 12.0 * A2 + 16.0 / 3.0) / 6.0);
    return A < 2 ? float((-7.0 / 3.0 * A2 * A + 12.0 * A2 - 20.0 * A + 32.0 / 3.0) / 6.0) : 0.0f;
  }
  default: {
    auto Sinc = [](float T) {
      const float P = float(M_PI * T);
      return T == 0 ? 1.0f : float(std::sin(double(P)) / P);
    };
    return A < 3 ? float(double(Sinc(A)) * Sinc(float(A / 3.0))) : 0.0f;
  }
  }
}

struct TRefWeight {
  int32_t N, W;
};

std::vector<std::vector<TRefWeight>> RefLists(int32_t Src, int32_t Dst, int32_t F) {
  const float Support = FilterDef(F).Support;
  const float Scale = Src == 1 || Dst == 1 ? float(double(Dst) / Src) : float(double(Dst - 1) / (Src - 1));
  std::vector<std::vector<TRefWeight>> Lists(static_cast<size_t>(Dst));
  for (int32_t I = 0; I < Dst; ++I) {
    const float Center = float(double(I) / Scale);
    const bool Shrink = Scale < 1;
    const float Width = Shrink ? float(double(Support) / Scale) : Support;
    auto Fill = [&](double Unit) {
      for (int64_t J = int64_t(std::floor(double(Center) - Width)); J <= int64_t(std::ceil(double(Center) + Width));
           ++J) {
        const double Raw = Shrink ? double(RefFilter(F, float((double(Center) - J) * Scale))) * Scale
                                  : RefFilter(F, float(double(Center) - J));
        const int32_t W = int32_t(std::nearbyint(Raw * Unit));
        int64_t N = J < 0 ? -J : J >= Src ? 2 * Src - J - 1 : J;
        N = std::clamp<int64_t>(N, 0, Src - 1);
        if (W != 0)
          Lists[size_t(I)].push_back({int32_t(N), W});
      }
    };
    Fill(256.0);
    if (Lists[size_t(I)].empty() && Shrink)
      Fill(64.0 / Scale);
  }
  return Lists;
}

int32_t RefChannel(int32_t S, int32_t T) {
  if (T != 0)
    return std::clamp(S / T, 0, 255);
  return int32_t(std::min<uint32_t>(uint32_t(S) >> 8, 255));
}

TColor RefPixel(const std::vector<TRefWeight>& L, const std::function<TColor(int32_t)>& At) {
  int32_t S[3] = {0, 0, 0}, T = 0;
  for (const TRefWeight& C : L) {
    const TColor P = At(C.N);
    S[0] += C.W * GetRValue(P);
    S[1] += C.W * GetGValue(P);
    S[2] += C.W * GetBValue(P);
    T += C.W;
  }
  return RGBColor(uint8_t(RefChannel(S[0], T)), uint8_t(RefChannel(S[1], T)), uint8_t(RefChannel(S[2], T)));
}

void RefStretch(int32_t F, const TDib& Src, TDib& Dst) {
  TDib Work(Dst.Width(), Src.Height(), Src.IsGray ? pf8bit : pf24bit);
  if (Src.IsGray)
    Work.MakeGrayPalette();
  const auto H = RefLists(Src.Width(), Dst.Width(), F);
  const auto V = RefLists(Src.Height(), Dst.Height(), F);
  for (int32_t Y = 0; Y < Src.Height(); ++Y)
    for (int32_t I = 0; I < Dst.Width(); ++I)
      Work.SetPixelColor(I, Y, RefPixel(H[size_t(I)], [&](int32_t N) { return Src.GetPixelColor(N, Y); }));
  for (int32_t X = 0; X < Dst.Width(); ++X)
    for (int32_t J = 0; J < Dst.Height(); ++J)
      Dst.SetPixelColor(X, J, RefPixel(V[size_t(J)], [&](int32_t N) { return Work.GetPixelColor(X, N); }));
}

bool SamePixels(const TDib& A, const TDib& B) {
  for (int32_t Y = 0; Y < A.Height(); ++Y)
    for (int32_t X = 0; X < A.Width(); ++X)
      if (A.GetPixelValue(X, Y) != B.GetPixelValue(X, Y)) {
        ADD_FAILURE() << "first difference at " << X << "," << Y;
        return false;
      }
  return true;
}

std::unique_ptr<TDib> Row24(std::initializer_list<uint8_t> Values) {
  auto D = std::make_unique<TDib>(int32_t(Values.size()), 1, pf24bit);
  int32_t X = 0;
  for (uint8_t V : Values)
    D->SetPixelColor(X++, 0, RGBColor(V, V, V));
  return D;
}

uint8_t RedAt(const TDib& D, int32_t X, int32_t Y = 0) { return GetRValue(D.GetPixelColor(X, Y)); }

} // namespace

TEST(ResampleTest, FastPathEqualsTheSlowOneForEveryFilter) {
  struct TCase {
    int32_t SW, SH, DW, DH;
  };
  const TCase Cases[] = {{17, 13, 40, 29}, {40, 29, 17, 13}, {31, 7, 9, 23}, {5, 5, 1, 1},
                         {1, 9, 6, 3},     {2, 2, 11, 11},   {3, 64, 3, 5},  {64, 3, 200, 1}};
  uint32_t Seed = 1;
  for (int32_t F = 0; F < ResampleFilterCount; ++F)
    for (const TCase& C : Cases) {
      auto Orig = RandomDib(C.SW, C.SH, pf24bit, Seed++);
      std::unique_ptr<TDib> Src = Orig->Clone();
      ResizeBuffer(C.DW, C.DH, F, Src);
      TDib Slow(C.DW, C.DH, pf24bit);
      RefStretch(F, *Orig, Slow);
      SCOPED_TRACE(testing::Message() << FilterDef(F).Name << " " << C.SW << "x" << C.SH << " to " << C.DW << "x"
                                      << C.DH);
      EXPECT_TRUE(SamePixels(*Src, Slow));
    }
}

TEST(ResampleTest, ImagesLargeEnoughForSeveralBandsMatchTheSlowPath) {
  for (auto [DW, DH] : {std::pair{300, 200}, {900, 700}}) {
    auto Orig = RandomDib(600, 400, pf24bit, uint32_t(DW));
    std::unique_ptr<TDib> Fast = Orig->Clone();
    ResizeBuffer(DW, DH, rfLanczos, Fast);
    TDib Slow(DW, DH, pf24bit);
    RefStretch(rfLanczos, *Orig, Slow);
    EXPECT_TRUE(SamePixels(*Fast, Slow)) << DW << "x" << DH;
  }
}

TEST(ResampleTest, EveryPixelFormatMatchesTheSlowPath) {
  struct TCase {
    TPixelFormat Pf;
    bool Gray;
  };
  const TCase Cases[] = {{pf1bit, false}, {pf4bit, false},  {pf8bit, false}, {pf8bit, true},
                         {pf4bit, true},  {pf15bit, false}, {pf32bit, false}};
  for (const TCase& C : Cases)
    for (int32_t F : {rfBox, rfMitchell, rfLanczos}) {
      auto Orig = RandomDib(23, 19, C.Pf, uint32_t(C.Pf) * 7 + F, C.Gray);
      std::unique_ptr<TDib> Buf = Orig->Clone();
      Buf->IsGray = Orig->IsGray;
      ResizeBuffer(37, 11, F, Buf);
      auto Slow = TDib::CreateLike(37, 11, *Orig);
      RefStretch(F, *Orig, *Slow);
      SCOPED_TRACE(testing::Message() << "format " << int(C.Pf) << (C.Gray ? " gray " : " ") << FilterDef(F).Name);
      EXPECT_EQ(Buf->PixelFormat(), C.Pf);
      EXPECT_TRUE(SamePixels(*Buf, *Slow));
      EXPECT_EQ(std::memcmp(Buf->PaletteEntries(), Orig->PaletteEntries(), size_t(Orig->PaletteSize()) * 4), 0);
    }
}

TEST(ResampleTest, EdgeCasesOfTheWeights) {
  // Enlarging two pixels to three: the ends keep their sources, the middle
  // is their average under Triangle.
  auto Two = Row24({10, 200});
  ResizeBuffer(3, 1, rfTriangle, Two);
  EXPECT_EQ(RedAt(*Two, 0), 10);
  EXPECT_EQ(RedAt(*Two, 1), 105);
  EXPECT_EQ(RedAt(*Two, 2), 200);

  // Box shrinking four to two: 85 each for the mirrored -1, 0, 1.
  auto Four = Row24({30, 60, 90, 250});
  ResizeBuffer(2, 1, rfBox, Four);
  EXPECT_EQ(RedAt(*Four, 0), (85 * 30 + 170 * 60) / 255);
  EXPECT_EQ(RedAt(*Four, 1), (85 * 90 + 170 * 250) / 255);

  // Negative lobes overshoot; the result is clamped, not wrapped.
  auto Step = Row24({0, 0, 0, 255, 255, 255});
  ResizeBuffer(23, 1, rfLanczos, Step);
  int32_t Low = 255, High = 0;
  for (int32_t X = 0; X < 23; ++X) {
    Low = std::min<int32_t>(Low, RedAt(*Step, X));
    High = std::max<int32_t>(High, RedAt(*Step, X));
  }
  EXPECT_EQ(Low, 0);
  EXPECT_EQ(High, 255);
}

TEST(ResampleTest, TinySourcesAndFarShrinksStayInsideAndKeepTheirColor) {
  // One pixel under a wide filter: mirrored indexes beyond the image are
  // held at its edge, so the color stays.
  auto One = Row24({77});
  ResizeBuffer(9, 4, rfLanczos, One);
  for (int32_t X = 0; X < 9; ++X)
    EXPECT_EQ(RedAt(*One, X, 3), 77);

  // Shrinking 3000 to 3 rounds every weight to 0 at the usual unit; the
  // picture keeps its gray instead of going black.
  auto Wide = std::make_unique<TDib>(3000, 2, pf24bit);
  Wide->Fill(RGBColor(120, 120, 120));
  for (int32_t F : {rfBox, rfSpline, rfLanczos}) {
    std::unique_ptr<TDib> B = Wide->Clone();
    ResizeBuffer(3, 1, F, B);
    for (int32_t X = 0; X < 3; ++X)
      EXPECT_NEAR(RedAt(*B, X), 120, 1) << FilterDef(F).Name;
  }
}

TEST(ResampleTest, BadSizesAreRefusedAndLeaveTheBuffer) {
  auto B = Row24({1, 2, 3});
  TDib* Before = B.get();
  for (auto [W, H] : {std::pair{0, 5}, {5, 0}, {10000, 1}, {1, 10000}, {-3, 4}}) {
    EXPECT_FALSE(ResizeSizeAllowed(W, H, pf24bit));
    EXPECT_THROW(ResizeBuffer(W, H, rfBox, B), EInvalidGraphicOperation);
    EXPECT_EQ(B.get(), Before);
  }
  EXPECT_TRUE(ResizeSizeAllowed(9999, 9999, pf32bit));
}

TEST(ResampleTest, ScaledPreviewIs24BitAndBoundToTheSourceCanvas) {
  auto Src = RandomDib(50, 40, pf8bit, 5, true);
  Src->IsGray = true;
  std::unique_ptr<TDib> Prev = std::make_unique<TDib>(3, 3, pf8bit);
  ScaledPreview(*Src, Prev, 20, 0.0f, rfLanczos, 16);
  ASSERT_TRUE(Prev);
  EXPECT_EQ(Prev->PixelFormat(), pf24bit);
  EXPECT_EQ(Prev->Width(), 20);
  EXPECT_EQ(Prev->Height(), 16);
  EXPECT_EQ(Prev->Canvas, Src->Canvas);
  TDib Slow(20, 16, pf24bit);
  RefStretch(rfLanczos, *Src, Slow);
  EXPECT_TRUE(SamePixels(*Prev, Slow));
}

TEST(ResampleTest, FilterNamesAndNumbers) {
  EXPECT_EQ(FilterByName("mitchell"), rfMitchell);
  EXPECT_EQ(FilterByName("nearest"), -1);
  EXPECT_STREQ(FilterDef(99).Name, "spline");
  EXPECT_FLOAT_EQ(FilterDef(rfLanczos).Support, 3.0f);
}
