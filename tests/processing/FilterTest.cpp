#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <sstream>

#include "DibFilter.h"
#include "ProcessingTestUtil.h"

namespace {

// The kernels as the design writes them: rows from the top, "/" between.
struct TRefKernel {
  std::string Rows;
  double Divisor;
  int32_t Bias;
};

std::vector<std::vector<int32_t>> Parse(const std::string& Rows) {
  std::vector<std::vector<int32_t>> K(1);
  std::istringstream In(Rows);
  for (std::string T; In >> T;)
    if (T == "/")
      K.emplace_back();
    else
      K.back().push_back(std::stoi(T));
  return K;
}

struct TRefPrepared {
  std::vector<std::vector<int32_t>> W;
  double Cw = 0, Div = 1;
  int32_t Bias = 0;
};

// The design's preparation, written out once more from its text.
TRefPrepared RefPrepare(int32_t No, int32_t Param, int32_t Strength) {
  const TRefKernel Avg[3] = {{"1 1 1 / 1 1 1 / 1 1 1", 9, 0},
                             {"0 1 1 1 0 / 1 1 1 1 1 / 1 1 1 1 1 / 1 1 1 1 1 / 0 1 1 1 0", 21, 0},
                             {"0 0 1 1 1 0 0 / 0 1 1 1 1 1 0 / 1 1 1 1 1 1 1 / 1 1 1 1 1 1 1 / 1 1 1 1 1 1 1 / "
                              "0 1 1 1 1 1 0 / 0 0 1 1 1 0 0",
                              37, 0}};
  const TRefKernel Blur[3] = {{"1 2 1 / 2 4 2 / 1 2 1", 16, 0},
                              {"0 1 2 1 0 / 1 2 3 2 1 / 2 3 6 3 2 / 1 2 3 2 1 / 0 1 2 1 0", 42, 0},
                              {"0 0 1 1 1 0 0 / 0 1 2 2 2 1 0 / 1 2 3 4 3 2 1 / 1 2 4 8 4 2 1 / 1 2 3 4 3 2 1 / "
                               "0 1 2 2 2 1 0 / 0 0 1 1 1 0 0",
                               76, 0}};
  const std::string Gauss = "1 4 8 10 8 4 1 / 4 12 25 29 25 12 4 / 8 25 49 58 49 25 8 / 10 29 58 67 58 29 10 / "
                            "8 25 49 58 49 25 8 / 4 12 25 29 25 12 4 / 1 4 8 10 8 4 1";
  const std::string Emboss[4] = {"-1 0 1 / -2 0 2 / -1 0 1", "0 2 0 / -2 0 2 / 0 -2 0", "1 2 1 / 0 0 0 / -1 -2 -1",
                                 "0 2 0 / 2 0 -2 / 0 -2 0"};
  const double F = std::pow((100.0 - Strength) / 100.0, 2);
  TRefPrepared P;
  auto Take = [&](const std::string& Rows) {
    P.W = Parse(Rows);
    const size_t C = P.W.size() / 2;
    const int32_t Center = P.W[C][C];
    P.W[C][C] = 0;
    return Center;
  };
  switch (No) {
  case fnAverage:
  case fnBlur: {
    const TRefKernel& K = (No == fnAverage ? Avg : Blur)[Param >= 1 && Param <= 3 ? Param - 1 : 0];
    const double Step = No == fnAverage ? 1 : 2;
    P.Cw = Take(K.Rows) - Step + F * 100;
    P.Div = K.Divisor - Step + F * 100;
    break;
  }
  case fnGaussBlur: Take(Gauss), P.Cw = 67 + F * 4000, P.Div = 999 + F * 4000; break;
  case fnBartlettBlur: {
    std::string Rows;
    const int32_t V[7] = {1, 2, 3, 4, 3, 2, 1};
    for (int32_t Y = 0; Y < 7; ++Y)
      for (int32_t X = 0; X < 7; ++X)
        Rows += std::to_string(V[Y] * V[X]) + (X < 6 ? " " : Y < 6 ? " / " : "");
    Take(Rows), P.Cw = 16 + F * 600, P.Div = 256 + F * 600;
    break;
  }
  case fnSharpen: Take("-1 -1 -1 / -1 16 -1 / -1 -1 -1"), P.Cw = 8.5 + F * 25, P.Div = 0.5 + F * 25; break;
  case fnEdge: Take("-1 -2 -1 / -2 16 -2 / -1 -2 -1"), P.Cw = 12.5 + F * 25, P.Div = 0.5 + F * 25; break;
  case fnGlow:
    Take("1 2 2 2 1 / 2 0 0 0 2 / 2 0 -20 0 2 / 2 0 0 0 2 / 1 2 2 2 1"), P.Cw = -20 + F * 50, P.Div = 8 + F * 50;
    break;
  case fnContour: P.Cw = Take("-6 -2 -6 / -2 32 -2 / -6 -2 -6"), P.Bias = Strength * 2 + 52; break;
  case fnEmboss:
    Take(Emboss[Param % 4]);
    if (Param > 3)
      for (auto& Row : P.W)
        for (int32_t& W : Row)
          W = -W;
    P.Bias = Strength * 2 + 32;
    break;
  }
  return P;
}

uint8_t RefPoint(int32_t No, int32_t Strength, uint8_t V) {
  if (No == fnSolarize)
    return V >= std::nearbyint(255.0L - Strength * 2.55L) ? uint8_t(255 - V) : V;
  return uint8_t(std::min(255, Strength * ((V + 1) / Strength)));
}

// Channel C of pixel (X, Y), edges repeated; Ch bytes per pixel.
uint8_t At(const TDib& D, int32_t X, int32_t Y, int32_t C, int32_t Ch) {
  X = std::clamp(X, 0, D.Width() - 1);
  Y = std::clamp(Y, 0, D.Height() - 1);
  return D.ScanLine(Y)[X * Ch + C];
}

// 24-bit or 8-bit gray, pixel by pixel from the formulas.
void RefFilter(const TDib& Src, TDib& Dst, int32_t No, int32_t Param, int32_t Strength) {
  const int32_t Ch = Src.PixelFormat() == pf24bit ? 3 : 1;
  const bool Point = No == fnSolarize || No == fnPosterize;
  const TRefPrepared P = Point ? TRefPrepared{} : RefPrepare(No, Param, Strength);
  const int32_t R = int32_t(P.W.size()) / 2;
  for (int32_t Y = 0; Y < Src.Height(); ++Y)
    for (int32_t X = 0; X < Src.Width(); ++X)
      for (int32_t C = 0; C < Ch; ++C) {
        const uint8_t V = At(Src, X, Y, C, Ch);
        if (Point) {
          Dst.ScanLine(Y)[X * Ch + C] = RefPoint(No, Strength, V);
          continue;
        }
        int32_t S = 0;
        for (int32_t Dy = -R; Dy <= R; ++Dy)
          for (int32_t Dx = -R; Dx <= R; ++Dx)
            S += P.W[size_t(Dy + R)][size_t(Dx + R)] * At(Src, X + Dx, Y + Dy, C, Ch);
        const double Out = std::nearbyint((V * P.Cw + S) / P.Div + P.Bias);
        Dst.ScanLine(Y)[X * Ch + C] = uint8_t(std::clamp(Out, 0.0, 255.0));
      }
}

bool SamePixels(const TDib& A, const TDib& B) { return std::memcmp(A.Bits(), B.Bits(), size_t(A.ImageSize())) == 0; }

struct TSetting {
  int32_t No, Param, Strength;
};

std::vector<TSetting> Settings() {
  std::vector<TSetting> S;
  for (int32_t No : {fnAverage, fnBlur})
    for (int32_t Radius : {1, 2, 3})
      for (int32_t Strength : {1, 37, 100})
        S.push_back({No, Radius, Strength});
  for (int32_t No : {fnGaussBlur, fnBartlettBlur, fnSharpen, fnEdge, fnGlow})
    for (int32_t Strength : {3, 50, 99, 100})
      S.push_back({No, 0, Strength});
  for (int32_t Strength : {1, 50, 100})
    S.push_back({fnContour, 0, Strength});
  for (int32_t Dir = 0; Dir < 8; ++Dir)
    S.push_back({fnEmboss, Dir, 10 + 10 * Dir});
  for (int32_t Strength : {1, 50, 100})
    S.push_back({fnSolarize, 0, Strength});
  for (int32_t Level : {1, 7, 64, 128})
    S.push_back({fnPosterize, 0, Level});
  return S;
}

} // namespace

TEST(FilterTest, FastPathEqualsTheFormulasForEverySetting) {
  struct TSize {
    int32_t W, H;
  };
  uint32_t Seed = 1;
  for (const TSetting& F : Settings())
    for (const TSize Z : {TSize{23, 17}, {1, 5}, {6, 1}, {2, 2}})
      for (bool Gray : {false, true}) {
        auto Src = RandomDib(Z.W, Z.H, Gray ? pf8bit : pf24bit, Seed++, Gray);
        std::unique_ptr<TDib> Fast = Src->Clone(), Slow = Src->Clone();
        ApplyFilter(*Src, *Fast, F.No, F.Param, F.Strength);
        RefFilter(*Src, *Slow, F.No, F.Param, F.Strength);
        ASSERT_TRUE(SamePixels(*Fast, *Slow)) << "filter " << F.No << " param " << F.Param << " strength " << F.Strength
                                              << " on " << Z.W << "x" << Z.H << (Gray ? " gray" : "");
      }
}

TEST(FilterTest, InPlaceAndLargeImagesInBandsGiveTheSameBytes) {
  auto Src = RandomDib(400, 300, pf24bit, 77);
  for (const TSetting F : {TSetting{fnGaussBlur, 0, 30}, {fnAverage, 3, 100}, {fnEmboss, 6, 40}}) {
    TDib Slow(400, 300, pf24bit);
    RefFilter(*Src, Slow, F.No, F.Param, F.Strength);
    std::unique_ptr<TDib> InPlace = Src->Clone();
    int32_t Last = 0;
    ApplyFilter(*InPlace, *InPlace, F.No, F.Param, F.Strength, [&](int32_t Done, int32_t Rows) {
      EXPECT_EQ(Rows, 300);
      Last = std::max(Last, Done);
    });
    EXPECT_TRUE(SamePixels(*InPlace, Slow)) << "filter " << F.No;
    EXPECT_EQ(Last, 300);
  }
}

TEST(FilterTest, OtherFormatsAreFilteredAsColorsAndKeepTheirOwnFormat) {
  for (TPixelFormat Pf : {pf15bit, pf32bit, pf4bit}) {
    const bool Gray = Pf == pf4bit;
    auto Src = RandomDib(19, 11, Pf, uint32_t(Pf), Gray);
    std::unique_ptr<TDib> Fast = Src->Clone();
    ApplyFilter(*Src, *Fast, fnBlur, 2, 60);
    TDib Work(19, 11, Gray ? pf8bit : pf24bit), Slow(19, 11, Gray ? pf8bit : pf24bit);
    if (Gray)
      Work.MakeGrayPalette(), Slow.MakeGrayPalette();
    for (int32_t Y = 0; Y < 11; ++Y)
      for (int32_t X = 0; X < 19; ++X)
        Work.SetPixelColor(X, Y, Src->GetPixelColor(X, Y) & 0xFFFFFFu);
    RefFilter(Work, Slow, fnBlur, 2, 60);
    for (int32_t Y = 0; Y < 11; ++Y)
      for (int32_t X = 0; X < 19; ++X) {
        std::unique_ptr<TDib> One = TDib::CreateLike(1, 1, *Src);
        One->SetPixelColor(0, 0, Slow.GetPixelColor(X, Y));
        const uint32_t Fourth = Pf == pf32bit ? Src->GetPixelValue(X, Y) & 0xFF000000u : 0;
        ASSERT_EQ(Fast->GetPixelValue(X, Y), One->GetPixelValue(0, 0) | Fourth) << int(Pf) << " at " << X << "," << Y;
      }
  }
  auto Pal = RandomDib(8, 8, pf8bit, 3);
  std::unique_ptr<TDib> Same = Pal->Clone();
  ApplyFilter(*Pal, *Same, fnBlur, 1, 100);
  EXPECT_TRUE(SamePixels(*Pal, *Same)) << "color palettes are left alone";
}

TEST(FilterTest, EdgeCasesOfTheDesign) {
  // Average radius 1 at full strength: the bright pixel takes its black
  // neighbours, the neighbours an eighth of it.
  TDib Dot(5, 5, pf8bit);
  Dot.MakeGrayPalette();
  std::memset(Dot.Bits(), 0, size_t(Dot.ImageSize()));
  Dot.ScanLine(2)[2] = 255;
  TDib Out(5, 5, pf8bit);
  Out.MakeGrayPalette();
  ApplyFilter(Dot, Out, fnAverage, 1, 100);
  EXPECT_EQ(Out.ScanLine(2)[2], 0);
  EXPECT_EQ(Out.ScanLine(1)[1], 32);
  EXPECT_EQ(Out.ScanLine(3)[2], 32);
  EXPECT_EQ(Out.ScanLine(0)[0], 0);

  // Flat areas: contour 152 and emboss 132 at strength 50; sharpen keeps them.
  TDib Flat(6, 6, pf24bit);
  Flat.Fill(RGBColor(90, 90, 90));
  TDib F(6, 6, pf24bit);
  ApplyFilter(Flat, F, fnContour, 0, 50);
  EXPECT_EQ(F.ScanLine(3)[3], 152);
  ApplyFilter(Flat, F, fnEmboss, 2, 50);
  EXPECT_EQ(F.ScanLine(3)[3], 132);
  ApplyFilter(Flat, F, fnSharpen, 0, 100);
  EXPECT_EQ(F.ScanLine(3)[3], 90);

  // Posterize 64 and solarize at the ends.
  TDib Ramp(256, 1, pf8bit);
  Ramp.MakeGrayPalette();
  for (int32_t V = 0; V < 256; ++V)
    Ramp.ScanLine(0)[V] = uint8_t(V);
  TDib P(256, 1, pf8bit);
  P.MakeGrayPalette();
  ApplyFilter(Ramp, P, fnPosterize, 0, 64);
  for (auto [V, Want] : {std::pair{0, 0}, {62, 0}, {63, 64}, {126, 64}, {127, 128}, {191, 192}, {254, 192}, {255, 255}})
    EXPECT_EQ(P.ScanLine(0)[V], Want) << V;
  ApplyFilter(Ramp, P, fnSolarize, 0, 100);
  EXPECT_EQ(P.ScanLine(0)[0], 255);
  ApplyFilter(Ramp, P, fnSolarize, 0, 1);
  EXPECT_EQ(P.ScanLine(0)[251], 251);
  EXPECT_EQ(P.ScanLine(0)[252], 3);

  // Strength 0 copies; unknown filters leave the destination.
  ApplyFilter(Ramp, P, fnGlow, 0, 0);
  EXPECT_TRUE(SamePixels(Ramp, P));
  std::memset(P.Bits(), 7, size_t(P.ImageSize()));
  ApplyFilter(Ramp, P, 42, 0, 50);
  EXPECT_EQ(P.ScanLine(0)[100], 7);
}
