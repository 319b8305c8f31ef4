#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "ProcessingTestUtil.h"
#include "XColorQuant.h"

namespace {

std::vector<TColor> Colors(const TPalette& P) {
  std::vector<TColor> C;
  for (const TPalEntry& E : P)
    C.push_back(RGBColor(E.R, E.G, E.B));
  return C;
}

// The median cut written the slow way: every pixel through the buffer's own
// accessor, every box walked cell by cell, slices found by testing each cell.
struct TRefBox {
  int32_t Lo[3], Hi[3], Mean[3] = {0, 0, 0};
  int32_t Axis = 0, Extent = 0;
  uint64_t Cells = 0, Pixels = 0;
};

std::vector<TColor> RefMedianCut(const TDib& D, int32_t Wanted, int32_t Bits, int32_t& Got) {
  const int32_t Max = (1 << Bits) - 1, Drop = 8 - Bits;
  std::vector<uint64_t> Hist(size_t(1) << (3 * Bits), 0);
  auto At = [&](const int32_t* C) -> uint64_t& { return Hist[size_t((C[0] << (2 * Bits)) | (C[1] << Bits) | C[2])]; };
  for (int32_t Y = 0; Y < D.Height(); ++Y)
    for (int32_t X = 0; X < D.Width(); ++X) {
      const TColor C = D.GetPixelColor(X, Y);
      const int32_t Cell[3] = {GetRValue(C) >> Drop, GetGValue(C) >> Drop, GetBValue(C) >> Drop};
      ++At(Cell);
    }
  Got = std::min<int32_t>(Wanted, int32_t(std::count_if(Hist.begin(), Hist.end(), [](uint64_t N) { return N; })));

  auto ForEach = [&](const TRefBox& B, auto&& F) {
    int32_t C[3];
    for (C[0] = B.Lo[0]; C[0] <= B.Hi[0]; ++C[0])
      for (C[1] = B.Lo[1]; C[1] <= B.Hi[1]; ++C[1])
        for (C[2] = B.Lo[2]; C[2] <= B.Hi[2]; ++C[2])
          F(C, At(C));
  };
  auto Shrink = [&](TRefBox& B) {
    int32_t Min[3] = {Max, Max, Max}, Mx[3] = {0, 0, 0};
    B.Cells = B.Pixels = 0;
    ForEach(B, [&](const int32_t* C, uint64_t N) {
      if (N == 0)
        return;
      ++B.Cells;
      B.Pixels += N;
      for (int32_t A = 0; A < 3; ++A) {
        Min[A] = std::min(Min[A], C[A]);
        Mx[A] = std::max(Mx[A], C[A]);
      }
    });
    int32_t Side[3];
    for (int32_t A = 0; A < 3; ++A) {
      B.Lo[A] = Min[A];
      B.Hi[A] = Mx[A];
      Side[A] = Mx[A] - Min[A] + 1;
    }
    if (Side[0] > Side[1] && Side[0] > Side[2])
      B.Axis = 0;
    else if (Side[1] > Side[2])
      B.Axis = 1;
    else
      B.Axis = 2;
    B.Extent = Side[B.Axis];
  };

  std::vector<TRefBox> Boxes(1, TRefBox{{0, 0, 0}, {Max, Max, Max}});
  Shrink(Boxes[0]);
  while (int32_t(Boxes.size()) < Got) {
    int32_t Pick = -1, BestE = 0;
    uint64_t BestC = 0;
    for (size_t I = 0; I < Boxes.size(); ++I)
      if (Boxes[I].Extent > 1 && Boxes[I].Cells > 1 && Boxes[I].Extent > BestE && Boxes[I].Cells > BestC) {
        Pick = int32_t(I);
        BestE = Boxes[I].Extent;
        BestC = Boxes[I].Cells;
      }
    if (Pick < 0)
      break;
    TRefBox Old = Boxes[size_t(Pick)];
    const int32_t A = Old.Axis, Hi = Old.Hi[A];
    uint64_t S = 0;
    int32_t K = Old.Lo[A];
    do {
      ForEach(Old, [&](const int32_t* C, uint64_t N) {
        if (C[A] == K)
          S += N;
      });
      ++K;
      if (K == Hi)
        break;
    } while (S < Old.Pixels / 2);
    if (K >= Hi)
      K = Hi - 1;
    TRefBox New = Old;
    New.Lo[A] = K + 1;
    Old.Hi[A] = K;
    Shrink(Old);
    Shrink(New);
    Boxes[size_t(Pick)] = Old;
    Boxes.push_back(New);
  }
  std::vector<TColor> Pal;
  for (TRefBox& B : Boxes) {
    uint64_t Sum[3] = {0, 0, 0};
    ForEach(B, [&](const int32_t* C, uint64_t N) {
      for (int32_t A = 0; A < 3; ++A)
        Sum[A] += 2 * uint64_t(C[A]) * N;
    });
    for (int32_t A = 0; A < 3; ++A)
      B.Mean[A] = B.Pixels ? int32_t(Sum[A] / B.Pixels) : 0;
    Pal.push_back(
        RGBColor(uint8_t(B.Mean[0] << (7 - Bits)), uint8_t(B.Mean[1] << (7 - Bits)), uint8_t(B.Mean[2] << (7 - Bits))));
  }
  Pal.resize(size_t(Got), 0);
  return Pal;
}

// The network written the slow way, in 64-bit arithmetic, one pixel at a time
// through the buffer's accessor.
std::vector<TColor> RefNetwork(const TDib& D, int32_t Count, int32_t Fac) {
  int64_t Net[256][3], Bias[256] = {}, Freq[256] = {}, RadPower[256] = {};
  for (int32_t I = 0; I < Count; ++I) {
    Net[I][0] = Net[I][1] = Net[I][2] = I * 4096 / Count;
    Freq[I] = 65536 / Count;
  }
  const int64_t W = D.Width(), N = W * D.Height();
  if (N < 503)
    Fac = 1;
  const int64_t AlphaDec = 30 + (Fac - 1) / 3, Samples = N / Fac, Delta = std::max<int64_t>(Samples / 100, 1);
  int64_t Alpha = 1024, Radius = (Count >> 3) << 6, Rad = 0;
  auto Schedule = [&] {
    Rad = Radius >> 6;
    if (Rad <= 1)
      Rad = 0;
    for (int64_t I = 0; I < Rad; ++I)
      RadPower[I] = ((Rad * Rad - I * I) * 256 / (Rad * Rad)) * Alpha;
  };
  Schedule();
  int64_t Step = 503;
  if (N < 503)
    Step = 1;
  else if (N % 499)
    Step = 499;
  else if (N % 491)
    Step = 491;
  else if (N % 487)
    Step = 487;
  int64_t P = 0;
  for (int64_t S = 1; S <= Samples; ++S) {
    const TColor Px = D.GetPixelColor(int32_t(P % W), int32_t(P / W));
    const int64_t C[3] = {GetRValue(Px) * 16, GetGValue(Px) * 16, GetBValue(Px) * 16};
    int64_t BestD = INT64_MAX, BestE = 67108863;
    int32_t Near = 0, J = 0;
    for (int32_t I = 0; I < Count; ++I) {
      int64_t Dist = 0;
      for (int32_t Ch = 0; Ch < 3; ++Ch)
        Dist += (Net[I][Ch] - C[Ch]) * (Net[I][Ch] - C[Ch]);
      if (Dist < BestD) {
        BestD = Dist;
        Near = I;
      }
      const int64_t E = Dist - (Bias[I] >> 12);
      if (E < BestE) {
        BestE = E;
        J = I;
      }
      const int64_t Beta = Freq[I] >> 10;
      Freq[I] -= Beta;
      Bias[I] += Beta << 10;
    }
    Freq[Near] += 64;
    Bias[Near] -= 65536;
    for (int32_t Ch = 0; Ch < 3; ++Ch)
      Net[J][Ch] -= (Net[J][Ch] - C[Ch]) * Alpha / 1024;
    if (Rad > 0) {
      const int64_t Lo = std::max<int64_t>(J - Rad, -1), Hi = std::min<int64_t>(J + Rad, Count);
      int64_t K1 = J + 1, K2 = J - 1, M = 0;
      while (K1 < Hi || K2 > Lo) {
        const int64_t A = RadPower[M++];
        for (int64_t K : {K1 < Hi ? K1 : -1, K2 > Lo ? K2 : -1})
          if (K >= 0)
            for (int32_t Ch = 0; Ch < 3; ++Ch)
              Net[K][Ch] -= (Net[K][Ch] - C[Ch]) * A / 262144;
        ++K1;
        --K2;
      }
    }
    P += Step;
    if (P >= N)
      P -= N;
    if (S % Delta == 0) {
      Alpha -= Alpha / AlphaDec;
      Radius -= Radius / 30;
      Schedule();
    }
  }
  std::vector<TColor> Pal;
  for (int32_t I = 0; I < Count; ++I)
    Pal.push_back(RGBColor(uint8_t(Net[I][0] >> 4), uint8_t(Net[I][1] >> 4), uint8_t(Net[I][2] >> 4)));
  return Pal;
}

// Pixels drawn from a few random colors, so that boxes hold several pixels
// per cell and the splits have medians to find.
std::unique_ptr<TDib> FewColorDib(int32_t W, int32_t H, int32_t Kinds, uint32_t Seed) {
  std::mt19937 Rng(Seed);
  std::vector<TColor> Set;
  for (int32_t I = 0; I < Kinds; ++I)
    Set.push_back(TColor(Rng() & 0xFFFFFF));
  auto D = std::make_unique<TDib>(W, H, pf24bit);
  for (int32_t Y = 0; Y < H; ++Y)
    for (int32_t X = 0; X < W; ++X)
      D->SetPixelColor(X, Y, Set[Rng() % Set.size()]);
  return D;
}

std::unique_ptr<TDib> DibOf(std::initializer_list<TColor> Pixels) {
  auto D = std::make_unique<TDib>(int32_t(Pixels.size()), 1, pf24bit);
  int32_t X = 0;
  for (TColor C : Pixels)
    D->SetPixelColor(X++, 0, C);
  return D;
}

std::vector<TColor> MedianCut(const TDib& D, int32_t Wanted, int32_t Bits, int32_t* Got = nullptr) {
  TMcaQuantizer Q(Wanted, Bits);
  Q.ProcessImage(D);
  TPalette P;
  Q.MakePalette(P);
  EXPECT_EQ(P.size(), size_t(Q.Colors));
  if (Got)
    *Got = Q.Colors;
  return Colors(P);
}

std::vector<TColor> Network(const TDib& D, int32_t Wanted, int32_t Fac) {
  TNeuQuantizer Q(Wanted, Fac);
  Q.ProcessImage(D);
  TPalette P;
  Q.MakePalette(P);
  return Colors(P);
}

std::vector<TColor> Sorted(std::vector<TColor> V) {
  std::sort(V.begin(), V.end());
  return V;
}

} // namespace

TEST(QuantTest, MedianCutEqualsTheSlowReference) {
  struct TCase {
    int32_t W, H, Kinds, Wanted, Bits;
    TPixelFormat Pf;
  };
  // Kinds 0: every pixel random.
  const TCase Cases[] = {{13, 11, 0, 16, 5, pf24bit}, {13, 11, 0, 256, 6, pf24bit}, {40, 30, 0, 2, 5, pf24bit},
                         {40, 30, 12, 8, 5, pf24bit}, {40, 30, 40, 32, 6, pf24bit}, {64, 64, 300, 256, 5, pf24bit},
                         {31, 17, 0, 64, 6, pf8bit},  {31, 17, 0, 64, 5, pf15bit},  {31, 17, 0, 100, 6, pf32bit},
                         {9, 9, 0, 16, 5, pf4bit},    {9, 9, 0, 16, 5, pf1bit}};
  uint32_t Seed = 11;
  for (const TCase& C : Cases)
    for (int32_t Round = 0; Round < 3; ++Round) {
      auto D = C.Kinds ? FewColorDib(C.W, C.H, C.Kinds, Seed++) : RandomDib(C.W, C.H, C.Pf, Seed++);
      SCOPED_TRACE(testing::Message() << C.W << "x" << C.H << " format " << int(C.Pf) << " colors " << C.Wanted
                                      << " bits " << C.Bits << " round " << Round);
      int32_t RefGot = 0, Got = 0;
      const auto Ref = RefMedianCut(*D, C.Wanted, C.Bits, RefGot);
      EXPECT_EQ(MedianCut(*D, C.Wanted, C.Bits, &Got), Ref);
      EXPECT_EQ(Got, RefGot);
    }
}

TEST(QuantTest, MedianCutOverSeveralBandsCountsEveryPixel) {
  auto D = FewColorDib(1500, 1500, 500, 3);
  int32_t RefGot = 0;
  EXPECT_EQ(MedianCut(*D, 256, 6), RefMedianCut(*D, 256, 6, RefGot));
}

TEST(QuantTest, MedianCutEdgeCases) {
  // Fewer cells than colors: one box per cell, each at its cell's corner.
  auto Five = DibOf({RGBColor(0, 0, 0), RGBColor(250, 3, 9), RGBColor(17, 130, 64), RGBColor(17, 130, 64),
                     RGBColor(100, 100, 100), RGBColor(255, 255, 255), RGBColor(103, 101, 98)});
  int32_t Got = 0;
  EXPECT_EQ(Sorted(MedianCut(*Five, 16, 5, &Got)),
            Sorted({RGBColor(0, 0, 0), RGBColor(248, 0, 8), RGBColor(16, 128, 64), RGBColor(96, 96, 96),
                    RGBColor(248, 248, 248)}));
  EXPECT_EQ(Got, 5);

  // One color: one entry.
  TDib Flat(20, 10, pf24bit);
  Flat.Fill(RGBColor(77, 140, 3));
  EXPECT_EQ(MedianCut(Flat, 256, 5, &Got), std::vector<TColor>{RGBColor(72, 136, 0)});
  EXPECT_EQ(Got, 1);

  // Two cells apart only in blue are split between them.
  auto Blue = DibOf({RGBColor(10, 20, 30), RGBColor(10, 20, 200), RGBColor(10, 20, 200)});
  EXPECT_EQ(Sorted(MedianCut(*Blue, 2, 5)), Sorted({RGBColor(8, 16, 24), RGBColor(8, 16, 200)}));

  // White cells give the cell's corner, not 255.
  TDib White(3, 3, pf24bit);
  White.Fill(RGBColor(255, 255, 255));
  EXPECT_EQ(MedianCut(White, 8, 5), std::vector<TColor>{RGBColor(248, 248, 248)});
  EXPECT_EQ(MedianCut(White, 8, 6), std::vector<TColor>{RGBColor(252, 252, 252)});

  // A box's mean weighs its cells by their pixels: 3 x 0 + 1 x 31 cells.
  auto Weighted = DibOf({RGBColor(0, 0, 0), RGBColor(0, 0, 0), RGBColor(0, 0, 0), RGBColor(255, 0, 0)});
  TMcaQuantizer Q(2, 5);
  Q.Colors = 1;
  Q.ProcessImage(*Weighted);
  TPalette P;
  Q.MakePalette(P);
  EXPECT_EQ(Colors(P), std::vector<TColor>{RGBColor(uint8_t((2 * 31 / 4) << 2), 0, 0)});

  // Asking for more entries than the boxes made for gives no more than those.
  Q.Colors = 50;
  Q.MakePalette(P);
  EXPECT_EQ(P.size(), 2u);
}

TEST(QuantTest, NetworkEqualsTheSlowReference) {
  struct TCase {
    int32_t W, H, Wanted, Fac;
    TPixelFormat Pf;
  };
  const TCase Cases[] = {{7, 5, 256, 1, pf24bit},   // under 100 samples
                         {20, 20, 64, 10, pf24bit}, // under 503 pixels: factor 1, step 1
                         {40, 30, 256, 1, pf24bit}, {40, 30, 16, 3, pf24bit},
                         {40, 30, 8, 1, pf24bit},   {998, 1, 32, 2, pf24bit}, // divisible by 499: step 491
                         {41, 29, 256, 5, pf8bit},  {41, 29, 128, 1, pf32bit},
                         {41, 29, 2, 1, pf15bit},   {150, 120, 256, 30, pf24bit}};
  uint32_t Seed = 5;
  for (const TCase& C : Cases) {
    auto D = RandomDib(C.W, C.H, C.Pf, Seed++);
    SCOPED_TRACE(testing::Message() << C.W << "x" << C.H << " format " << int(C.Pf) << " colors " << C.Wanted
                                    << " factor " << C.Fac);
    EXPECT_EQ(Network(*D, C.Wanted, C.Fac), RefNetwork(*D, C.Wanted, C.Fac));
  }
}

TEST(QuantTest, NetworkLearnsTheColorsOfTheImage) {
  auto D = FewColorDib(40, 40, 4, 21);
  const auto Pal = Network(*D, 16, 1);
  for (int32_t X = 0; X < 40; ++X) {
    const TColor C = D->GetPixelColor(X, 0);
    int32_t Best = INT32_MAX;
    for (TColor E : Pal) {
      const int32_t DR = GetRValue(E) - GetRValue(C), DG = GetGValue(E) - GetGValue(C),
                    DB = GetBValue(E) - GetBValue(C);
      Best = std::min(Best, DR * DR + DG * DG + DB * DB);
    }
    EXPECT_LE(Best, 12) << X;
  }
}

TEST(QuantTest, NetworkOnSmallImagesSamplesEveryPixel) {
  // One pixel: the nearest of two neurons takes its color outright.
  EXPECT_EQ(Network(*DibOf({RGBColor(255, 0, 0)}), 2, 1), (std::vector<TColor>{0, RGBColor(255, 0, 0)}));

  // A factor of 30 would sample none of 12 pixels; under 503 pixels every one
  // is visited once, in order.
  auto D = FewColorDib(4, 3, 3, 9);
  const auto Learnt = Network(*D, 4, 30);
  EXPECT_EQ(Learnt, RefNetwork(*D, 4, 1));
  EXPECT_NE(Learnt, (std::vector<TColor>{0, RGBColor(64, 64, 64), RGBColor(128, 128, 128), RGBColor(192, 192, 192)}));

  // Unknown sizes are held: no more than 256 neurons, factor at least 1.
  auto R = RandomDib(30, 30, pf24bit, 2);
  EXPECT_EQ(Network(*R, 1000, 0), RefNetwork(*R, 256, 1));
}

TEST(QuantTest, SlowLookupTakesTheFirstNearest) {
  const TPalette P = {{10, 10, 10, 0}, {20, 20, 20, 0}, {10, 10, 10, 0}, {200, 0, 0, 0}};
  const TSlowColorLookup L(P, 4);
  struct TCase {
    uint8_t R, G, B, Index;
  };
  const TCase Cases[] = {{15, 15, 15, 0}, {10, 10, 10, 0}, {16, 16, 16, 1}, {255, 0, 0, 3}, {120, 5, 5, 3}};
  for (const TCase& C : Cases) {
    const TLookupResult Res = L.Lookup(C.R, C.G, C.B);
    EXPECT_EQ(Res.Index, C.Index) << int(C.R);
    EXPECT_EQ(RGBColor(Res.R, Res.G, Res.B), RGBColor(P[C.Index].R, P[C.Index].G, P[C.Index].B));
  }
  // Count 3 leaves the red entry out.
  EXPECT_EQ(TSlowColorLookup(P, 3).Lookup(255, 0, 0).Index, 1);

  // No entries: entry 0 with its color, or black for an empty palette.
  const TLookupResult None = TSlowColorLookup(P, 0).Lookup(200, 0, 0);
  EXPECT_EQ(None.Index, 0);
  EXPECT_EQ(RGBColor(None.R, None.G, None.B), RGBColor(10, 10, 10));
  const TPalette Empty;
  const TLookupResult Black = TSlowColorLookup(Empty, 5).Lookup(9, 9, 9);
  EXPECT_EQ(Black.Index, 0);
  EXPECT_EQ(RGBColor(Black.R, Black.G, Black.B), 0u);
  TFastColorLookup FastEmpty(Empty, 3);
  EXPECT_EQ(FastEmpty.Lookup(9, 9, 9).Index, 0);
  EXPECT_EQ(FastEmpty.Lookup(9, 9, 9).R, 0);

  // A count beyond the palette is held to it.
  EXPECT_EQ(TSlowColorLookup(P, 300).Count(), 4);
}

TEST(QuantTest, FastLookupLetsTheFirstColorOfACellDecide) {
  const TPalette P = {{0, 0, 0, 0}, {9, 0, 0, 0}};
  TFastColorLookup L(P, 2);
  // 4 and 7 share the 6-bit cell 1; 7 is nearer to entry 1 but gets 0.
  EXPECT_EQ(L.Lookup(4, 0, 0).Index, 0);
  const TLookupResult Second = L.Lookup(7, 0, 0);
  EXPECT_EQ(Second.Index, 0);
  EXPECT_EQ(RGBColor(Second.R, Second.G, Second.B), 0u);
  EXPECT_EQ(TSlowColorLookup(P, 2).Lookup(7, 0, 0).Index, 1);
  // The other order decides the cell the other way.
  TFastColorLookup L2(P, 2);
  EXPECT_EQ(L2.Lookup(7, 0, 0).Index, 1);
  EXPECT_EQ(L2.Lookup(4, 0, 0).Index, 1);

  // The palette's own cells are filled in order, later entries winning, even
  // over an exact match.
  const TPalette Same = {{0, 0, 0, 0}, {3, 3, 3, 0}, {100, 0, 0, 0}};
  TFastColorLookup S(Same, 3);
  EXPECT_EQ(S.Lookup(0, 0, 0).Index, 1);
  EXPECT_EQ(S.Lookup(101, 2, 1).Index, 2);

  // The first color of each cell gets what the slow lookup answers.
  std::mt19937 Rng(4);
  TPalette Random(37);
  for (TPalEntry& E : Random)
    E = {uint8_t(Rng()), uint8_t(Rng()), uint8_t(Rng()), 0};
  TFastColorLookup F(Random, 37);
  const TSlowColorLookup Slow(Random, 37);
  for (int32_t I = 0; I < 2000; ++I) {
    const uint8_t R = uint8_t(Rng()), G = uint8_t(Rng()), B = uint8_t(Rng());
    const TLookupResult First = F.Lookup(R, G, B);
    EXPECT_EQ(F.Lookup(uint8_t(R ^ 3), uint8_t(G ^ 1), uint8_t(B ^ 2)).Index, First.Index);
    const TPalEntry& E = Random[First.Index];
    EXPECT_EQ(RGBColor(First.R, First.G, First.B), RGBColor(E.R, E.G, E.B));
  }
  for (int32_t Cell = 0; Cell < 64; ++Cell) {
    TFastColorLookup Fresh(Random, 37);
    const uint8_t R = uint8_t(Cell * 4 + 1), G = uint8_t(255 - Cell * 4), B = uint8_t(Cell * 3);
    const bool Prefilled = std::any_of(Random.begin(), Random.end(), [&](const TPalEntry& E) {
      return E.R >> 2 == R >> 2 && E.G >> 2 == G >> 2 && E.B >> 2 == B >> 2;
    });
    if (Prefilled)
      continue;
    EXPECT_EQ(Fresh.Lookup(R, G, B).Index, Slow.Lookup(R, G, B).Index);
  }
}
