#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <vector>

#include "PeQuant.h"
#include "ProcessingTestUtil.h"

namespace {

// The engines written the slow way: one plain object for every kind, pixel
// by pixel through the buffer's own accessors, arrays indexed with at() so
// that an index outside them throws.
struct TRefEngine {
  int32_t Kind = dfNone;
  bool Gray = false;
  std::function<TLookupResult(int32_t, int32_t, int32_t)> Look;
  int32_t Levels = 2;
  std::vector<uint8_t> GrayValues;
  int32_t WR = 39, WG = 50, WB = 11;

  int32_t Direction = 1, Column = 0, Width = 0;
  std::vector<int32_t> E[3];
  int32_t P = 0, Cur[3] = {}, Below[3] = {}, BelowPrev[3] = {};
  std::vector<int32_t> Rows[3][3]; // [row][channel]

  TRefEngine(int32_t AKind, int32_t AWidth) : Kind(AKind), Width(AWidth) {
    for (auto& A : E)
      A.assign(size_t(Width) + 2, 0);
    for (auto& Row : Rows)
      for (auto& A : Row)
        A.assign(size_t(Width) + 4, 0);
    if (Kind >= dfStucki)
      P = 2;
  }
  int32_t Channels() const { return Gray ? 1 : 3; }

  int32_t Quantize(const int32_t* V, int32_t* C) {
    if (Gray) {
      const int32_t I = V[0] * Levels / 256;
      C[0] = GrayValues.at(size_t(I));
      return I;
    }
    const TLookupResult L = Look(V[0], V[1], V[2]);
    C[0] = L.R;
    C[1] = L.G;
    C[2] = L.B;
    return L.Index;
  }

  int32_t Dither(int32_t R, int32_t G, int32_t B) {
    int32_t V[3] = {R, G, B}, C[3];
    if (Gray)
      V[0] = std::min(255, (R * WR + G * WG + B * WB) / 100);
    if (Kind == dfNone) {
      if (Gray && Levels == 256)
        return V[0];
      return Quantize(V, C);
    }
    return Kind == dfFloydSteinberg ? DitherFs(V) : Dither5by3(V);
  }

  int32_t DitherFs(const int32_t* V) {
    int32_t C[3];
    for (int32_t K = 0; K < Channels(); ++K)
      Cur[K] = std::clamp(V[K] + (E[K].at(size_t(P)) + Cur[K] + 8) / 16, 0, 255);
    const int32_t I = Quantize(Cur, C);
    for (int32_t K = 0; K < Channels(); ++K) {
      const int32_t Err = Cur[K] - C[K];
      if (Err != 0) {
        E[K].at(size_t(P)) = BelowPrev[K] + 3 * Err;
        BelowPrev[K] = Below[K] + 5 * Err;
        Below[K] = Err;
        Cur[K] = 7 * Err;
      } else {
        Cur[K] = 0;
      }
    }
    P += Direction;
    return I;
  }

  struct TCell {
    int32_t Row, Offset;
  };
  static constexpr TCell Cells[12] = {{0, 1}, {0, 2},  {1, -2}, {1, -1}, {1, 0}, {1, 1},
                                      {1, 2}, {2, -2}, {2, -1}, {2, 0},  {2, 1}, {2, 2}};
  static constexpr int32_t Weights[3][12] = {
      {8, 4, 2, 4, 8, 4, 2, 1, 2, 4, 2, 1}, {5, 3, 2, 4, 5, 4, 2, 0, 2, 3, 2, 0}, {6, 4, 2, 4, 6, 4, 2, 1, 2, 4, 2, 1}};
  static constexpr int32_t Divisors[3] = {42, 32, 38};
  static constexpr int32_t Roundings[3] = {21, 16, 19};

  int32_t Dither5by3(const int32_t* V) {
    const int32_t N = Kind - dfStucki;
    int32_t C[3], Value[3];
    for (int32_t K = 0; K < Channels(); ++K)
      Value[K] = std::clamp(V[K] + (Rows[0][K].at(size_t(P)) + Roundings[N]) / Divisors[N], 0, 255);
    const int32_t I = Quantize(Value, C);
    for (int32_t K = 0; K < Channels(); ++K) {
      const int32_t Err = Value[K] - C[K];
      if (Err == 0)
        continue;
      for (int32_t J = 0; J < 12; ++J)
        Rows[Cells[J].Row][K].at(size_t(P + Cells[J].Offset * Direction)) += Weights[N][J] * Err;
    }
    P += Direction;
    return I;
  }

  void NextLine() {
    if (Kind == dfFloydSteinberg)
      for (int32_t K = 0; K < 3; ++K) {
        E[K].at(size_t(P)) = BelowPrev[K];
        Cur[K] = Below[K] = BelowPrev[K] = 0;
      }
    if (Kind >= dfStucki) {
      for (auto& A : Rows[0])
        std::fill(A.begin(), A.end(), 0);
      for (int32_t K = 0; K < 3; ++K) {
        std::swap(Rows[0][K], Rows[1][K]);
        std::swap(Rows[1][K], Rows[2][K]);
      }
    }
    Direction = -Direction;
    Column = Direction == 1 ? 0 : Width - 1;
    if (Kind == dfFloydSteinberg)
      P = Direction == -1 ? Width + 1 : 0;
    if (Kind >= dfStucki)
      P = Direction == -1 ? Width + 1 : 2;
  }

  void DitherImage(const TDib& Src, TDib& Dst) {
    for (int32_t Y = 0; Y < Src.Height(); ++Y) {
      while (Column >= 0 && Column < Width) {
        const TColor C = Src.GetPixelColor(Column, Y);
        Dst.SetPixelValue(Column, Y, uint32_t(Dither(GetRValue(C), GetGValue(C), GetBValue(C))));
        Column += Direction;
      }
      NextLine();
    }
  }
};

TPixelFormat FormatFor(int32_t Count) { return Count >= 17 ? pf8bit : Count < 3 ? pf1bit : pf4bit; }

TPalette RandomPalette(int32_t Count, uint32_t Seed) {
  std::mt19937 Rng(Seed);
  TPalette P(static_cast<size_t>(Count));
  for (auto& E : P)
    E = {uint8_t(Rng()), uint8_t(Rng()), uint8_t(Rng()), 0};
  return P;
}

std::vector<uint32_t> Values(const TDib& D) {
  std::vector<uint32_t> V;
  for (int32_t Y = 0; Y < D.Height(); ++Y)
    for (int32_t X = 0; X < D.Width(); ++X)
      V.push_back(D.GetPixelValue(X, Y));
  return V;
}

// The fast path and the reference over one lookup kind, each with a lookup of
// its own so that the caching lookup fills its cells in the same order.
template <class TLookup>
void ExpectColorsMatch(const TDib& Src, const TPalette& Pal, int32_t Kind) {
  TDib Fast(Src.Width(), Src.Height(), FormatFor(int32_t(Pal.size())));
  TDib Slow(Src.Width(), Src.Height(), Fast.PixelFormat());
  TLookup FastLookup(Pal, int32_t(Pal.size()));
  DitherWith(Kind, TColorChannels<TLookup>(FastLookup), Src, Fast);
  TLookup RefLookup(Pal, int32_t(Pal.size()));
  TRefEngine Ref(Kind, Src.Width());
  Ref.Look = [&](int32_t R, int32_t G, int32_t B) { return RefLookup.Lookup(uint8_t(R), uint8_t(G), uint8_t(B)); };
  Ref.DitherImage(Src, Slow);
  EXPECT_EQ(Values(Fast), Values(Slow));
}

struct TWeights {
  int32_t R, G, B;
};

void ExpectGrayMatch(const TDib& Src, int32_t Levels, int32_t Kind, TWeights W) {
  const TPalette Ramp = GrayRamp(Levels);
  TDib Fast(Src.Width(), Src.Height(), FormatFor(Levels));
  TDib Slow(Src.Width(), Src.Height(), Fast.PixelFormat());
  TGrayChannels Channels(Levels, Ramp);
  Channels.SetWeights(W.R, W.G, W.B);
  DitherWith(Kind, Channels, Src, Fast);
  TRefEngine Ref(Kind, Src.Width());
  Ref.Gray = true;
  Ref.Levels = Levels;
  for (const TPalEntry& E : Ramp)
    Ref.GrayValues.push_back(E.G);
  Ref.WR = W.R;
  Ref.WG = W.G;
  Ref.WB = W.B;
  Ref.DitherImage(Src, Slow);
  EXPECT_EQ(Values(Fast), Values(Slow));
}

constexpr int32_t AllKinds[] = {dfNone, dfFloydSteinberg, dfStucki, dfSierra, dfJaJuNi};
// Width 1 keeps every kernel at the edges of its arrays on both sides.
constexpr int32_t Widths[] = {1, 2, 3, 7, 34};
constexpr TPixelFormat SourceFormats[] = {pf24bit, pf8bit, pf4bit, pf32bit};

TEST(DitherEngines, ColorEnginesMatchTheReferenceForBothLookups) {
  uint32_t Seed = 1;
  for (int32_t Kind : AllKinds)
    for (int32_t W : Widths)
      for (int32_t Count : {2, 5, 16, 40, 256})
        for (TPixelFormat Pf : SourceFormats) {
          SCOPED_TRACE(testing::Message()
                       << "kind " << Kind << " width " << W << " count " << Count << " pf " << int32_t(Pf));
          const auto Src = RandomDib(W, 6, Pf, ++Seed);
          const TPalette Pal = RandomPalette(Count, ++Seed);
          ExpectColorsMatch<TSlowColorLookup>(*Src, Pal, Kind);
          ExpectColorsMatch<TFastColorLookup>(*Src, Pal, Kind);
        }
}

TEST(DitherEngines, GrayEnginesMatchTheReference) {
  uint32_t Seed = 100;
  const TWeights Weights[] = {{39, 50, 11}, {60, 60, 60}, {33, 33, 33}, {0, 0, 0}, {100, 0, 0}};
  for (int32_t Kind : AllKinds)
    for (int32_t W : Widths)
      for (int32_t Levels : {2, 3, 7, 16, 64, 256})
        for (const TWeights& Wt : Weights) {
          SCOPED_TRACE(testing::Message() << "kind " << Kind << " width " << W << " levels " << Levels << " weights "
                                          << Wt.R << "/" << Wt.G << "/" << Wt.B);
          const auto Src = RandomDib(W, 5, pf24bit, ++Seed);
          ExpectGrayMatch(*Src, Levels, Kind, Wt);
        }
}

// Row 0 ends on an exact white, whose column's error entry must stay 0 rather
// than take the pending error; row 1 reads it back in its first (leftmost
// last) column, where 110 + 9 stays black but would turn white otherwise.
TEST(DitherEngines, ExactMatchLeavesTheFloydSteinbergErrorEntry) {
  TDib Src(3, 2, pf24bit);
  const uint8_t Row0[3] = {100, 0, 255}, Row1[3] = {110, 0, 0};
  for (int32_t X = 0; X < 3; ++X) {
    Src.SetPixelColor(X, 0, RGBColor(Row0[X], Row0[X], Row0[X]));
    Src.SetPixelColor(X, 1, RGBColor(Row1[X], Row1[X], Row1[X]));
  }
  const std::vector<uint32_t> Expected = {0, 0, 1, 0, 0, 0};
  const TPalette BlackWhite = GrayRamp(2);

  TDib Gray(3, 2, pf1bit);
  DitherWith(dfFloydSteinberg, TGrayChannels(2, BlackWhite), Src, Gray);
  EXPECT_EQ(Values(Gray), Expected);

  TDib Color(3, 2, pf1bit);
  TSlowColorLookup Lookup(BlackWhite, 2);
  DitherWith(dfFloydSteinberg, TColorChannels<TSlowColorLookup>(Lookup), Src, Color);
  EXPECT_EQ(Values(Color), Expected);
}

TEST(DitherEngines, MidGrayInTwoLevels) {
  TDib Src(32, 8, pf24bit);
  Src.Fill(RGBColor(128, 128, 128));
  const TPalette Ramp = GrayRamp(2);

  TDib Plain(32, 8, pf1bit);
  DitherWith(dfNone, TGrayChannels(2, Ramp), Src, Plain);
  for (uint32_t V : Values(Plain))
    ASSERT_EQ(V, 1u);

  TDib Fs(32, 8, pf1bit);
  DitherWith(dfFloydSteinberg, TGrayChannels(2, Ramp), Src, Fs);
  for (int32_t X = 0; X < 32; ++X)
    EXPECT_EQ(Fs.GetPixelValue(X, 0), X % 2 == 0 ? 1u : 0u) << X;
  const std::vector<uint32_t> All = Values(Fs);
  const auto White = std::count(All.begin(), All.end(), 1u);
  EXPECT_NEAR(double(White) / double(All.size()), 0.5, 0.05);
}

TEST(DitherEngines, GrayValueAndWeights) {
  struct TCase {
    TWeights W;
    int32_t WhiteGray, Sum;
  };
  const TCase Cases[] = {{{39, 50, 11}, 255, 100},
                         {{60, 60, 60}, 255, 180},
                         {{33, 33, 33}, 252, 99},
                         {{0, 0, 0}, 0, 1},
                         {{21, 72, 7}, 255, 100}};
  for (const TCase& C : Cases) {
    TGrayChannels Ch(256, GrayRamp(256));
    Ch.SetWeights(C.W.R, C.W.G, C.W.B);
    EXPECT_EQ(Ch.Gray(255, 255, 255), C.WhiteGray) << C.W.R;
    EXPECT_EQ(Ch.WeightSum(), C.Sum) << C.W.R;

    TDib White(5, 3, pf24bit);
    White.Fill(RGBColor(255, 255, 255));
    std::unique_ptr<TDib> Dst;
    ConvertToGray(White, Dst, 256, dfFloydSteinberg, C.W.B, C.W.G, C.W.R);
    ASSERT_TRUE(Dst);
    for (uint32_t V : Values(*Dst))
      ASSERT_EQ(V, uint32_t(C.WhiteGray)) << C.W.R;
  }
  TGrayChannels Default(2, GrayRamp(2));
  EXPECT_EQ(Default.Gray(255, 255, 255), 255);
  EXPECT_EQ(Default.Gray(100, 0, 0), 39);
}

TEST(DitherFixedPalettes, EntriesAndRamps) {
  struct TCase {
    TPalette Pal;
    size_t Size, Index;
    uint32_t Rgb;
  };
  const TCase Cases[] = {{SystemPalette20(), 20, 10, 0xFFFBF0},
                         {SystemPalette16(), 16, 5, 0x800080},
                         {SystemPalette16(), 16, 8, 0x808080}, // entry 12 of the default palette
                         {SystemPalette16(), 16, 15, 0xFFFFFF},
                         {WebPalette216(), 216, 2 * 36 + 4 * 6 + 5, 0x66CCFF},
                         {QuantizedPalette256(), 256, 3 * 64 + 1 * 8 + 7, 0xFC32FC},
                         {QuantizedPalette256(), 256, 2 * 64 + 2 * 8 + 4, 0x9E59B4},
                         {GrayRamp(256), 256, 77, 0x4D4D4D},
                         {GrayRamp(1), 2, 1, 0xFFFFFF},
                         {GrayRamp(3), 3, 1, 0x808080}, // 127.5 to even
                         {GrayRamp(7), 7, 1, 0x2A2A2A}, // 42.5 to even
                         {GrayRamp(7), 7, 4, 0xAAAAAA}};
  for (const TCase& C : Cases) {
    ASSERT_EQ(C.Pal.size(), C.Size) << C.Rgb;
    const TPalEntry& E = C.Pal[C.Index];
    EXPECT_EQ((uint32_t(E.R) << 16) | (uint32_t(E.G) << 8) | E.B, C.Rgb) << C.Index;
  }
  for (int32_t Levels : {2, 5, 256})
    for (const TPalEntry& E : GrayRamp(Levels))
      EXPECT_EQ(E.Flag, 4);
}

// Each level count in its format with the ramp's entries and black after
// them, drawn by the engine of the diffusion (none at 256 levels).
TEST(DitherConvert, GrayFormatsPalettesAndEngines) {
  struct TCase {
    int32_t Levels;
    TPixelFormat Pf;
    std::vector<uint8_t> Grays; // empty: the ramp of Levels
  };
  const TCase Cases[] = {{8, pf4bit, {0, 36, 73, 109, 146, 182, 219, 255}},
                         {2, pf1bit, {0, 255}},
                         {0, pf1bit, {0, 255}},
                         {3, pf4bit, {0, 128, 255}},
                         {16, pf4bit, {}},
                         {17, pf8bit, {}},
                         {256, pf8bit, {}}};
  const auto Src = RandomDib(9, 7, pf24bit, 7);
  Src->SetResolution(300);
  for (const TCase& C : Cases)
    for (int32_t Diffusion : AllKinds) {
      SCOPED_TRACE(testing::Message() << "levels " << C.Levels << " diffusion " << Diffusion);
      std::unique_ptr<TDib> Dst;
      ConvertToGray(*Src, Dst, C.Levels, Diffusion, 7, 72, 21);
      ASSERT_TRUE(Dst);
      EXPECT_EQ(Dst->PixelFormat(), C.Pf);
      EXPECT_TRUE(Dst->IsGray);
      EXPECT_EQ(Dst->Resolution(), 300);
      const int32_t N = std::max(C.Levels, 2);
      const TPalette Ramp = GrayRamp(N);
      for (int32_t I = 0; I < Dst->PaletteSize(); ++I) {
        const uint8_t Want = I >= N ? 0 : C.Grays.empty() ? Ramp[size_t(I)].G : C.Grays[size_t(I)];
        EXPECT_EQ(Dst->GetPaletteColor(I), RGBColor(Want, Want, Want)) << I;
      }
      TDib Want(9, 7, C.Pf);
      TGrayChannels Ch(N, Ramp);
      Ch.SetWeights(21, 72, 7);
      DitherWith(N == 256 ? int32_t(dfNone) : Diffusion, Ch, *Src, Want);
      EXPECT_EQ(Values(*Dst), Values(Want));
    }
}

TEST(DitherConvert, IndexedFormats) {
  const auto Src = RandomDib(40, 30, pf24bit, 5);
  struct TCase {
    int32_t Colors, Kind, Quantizer;
    TPixelFormat Pf;
  };
  const TCase Cases[] = {{2, pkAdaptive, qkMedianCut5, pf1bit},
                         {3, pkAdaptive, qkMedianCut6, pf4bit},
                         {16, pkAdaptive, qkNeuQuantQuick, pf4bit},
                         {17, pkAdaptive, qkMedianCut5, pf8bit},
                         {256, pkAdaptive, qkNeuQuantSlow, pf8bit},
                         {16, pkSystem16, 0, pf4bit},
                         {216, pkWeb216, 0, pf8bit},
                         {256, pkQuantized256, 0, pf8bit},
                         {256, pkSystem20Adaptive, qkMedianCut5, pf8bit}};
  for (const TCase& C : Cases)
    for (int32_t Diffusion : {int32_t(dfNone), int32_t(dfFloydSteinberg), int32_t(dfSierra)}) {
      SCOPED_TRACE(testing::Message() << "kind " << C.Kind << " colors " << C.Colors << " diffusion " << Diffusion);
      std::unique_ptr<TDib> Dst;
      ASSERT_TRUE(ConvertToIndexed(*Src, Dst, C.Colors, Diffusion, C.Kind, C.Quantizer));
      EXPECT_EQ(Dst->PixelFormat(), C.Pf);
      for (int32_t I = C.Colors; I < Dst->PaletteSize(); ++I)
        EXPECT_EQ(Dst->GetPaletteColor(I), 0u) << I;
      for (uint32_t V : Values(*Dst))
        ASSERT_LT(V, uint32_t(C.Colors));
      const TPalette S20 = SystemPalette20();
      for (int32_t I = 0; C.Kind == pkSystem20Adaptive && I < 10; ++I) {
        EXPECT_EQ(Dst->GetPaletteColor(I), RGBColor(S20[size_t(I)].R, S20[size_t(I)].G, S20[size_t(I)].B));
        const TPalEntry& E = S20[size_t(10 + I)];
        EXPECT_EQ(Dst->GetPaletteColor(246 + I), RGBColor(E.R, E.G, E.B));
      }
    }
}

// Two reds in one 6-bit cell on either side of the midpoint between two
// entries: the exact lookup tells them apart, the caching one gives the
// second the first one's entry.
TEST(DitherConvert, LookupKindByPalette) {
  struct TCase {
    int32_t Kind;
    uint8_t Red1, Red2;
    std::vector<uint32_t> Want;
  };
  const TCase Cases[] = {{pkSystem16, 64, 65, {0, 1}}, {pkWeb216, 25, 26, {0, 0}}};
  for (const TCase& C : Cases) {
    TDib Src(2, 1, pf24bit);
    Src.SetPixelColor(0, 0, RGBColor(C.Red1, 0, 0));
    Src.SetPixelColor(1, 0, RGBColor(C.Red2, 0, 0));
    std::unique_ptr<TDib> Dst;
    ASSERT_TRUE(ConvertToIndexed(Src, Dst, 0, dfNone, C.Kind, 0));
    EXPECT_EQ(Values(*Dst), C.Want) << C.Kind;
  }
}

TEST(DitherConvert, UnknownKindsLeaveTheDestination) {
  const auto Src = RandomDib(4, 4, pf24bit, 9);
  auto Keep = std::make_unique<TDib>(2, 2, pf8bit);
  const TDib* Before = Keep.get();
  for (int32_t Kind : {1, 2, 7, -1})
    EXPECT_FALSE(ConvertToIndexed(*Src, Keep, 16, dfNone, Kind, qkMedianCut5)) << Kind;
  for (int32_t Quantizer : {0, 5})
    EXPECT_FALSE(ConvertToIndexed(*Src, Keep, 16, dfNone, pkAdaptive, Quantizer)) << Quantizer;
  EXPECT_EQ(Keep.get(), Before);
  // A fixed palette needs no quantizer.
  EXPECT_TRUE(ConvertToIndexed(*Src, Keep, 0, dfNone, pkWeb216, 0));
  EXPECT_NE(Keep.get(), Before);
}

TEST(DitherConvert, GraySourceKeepsItsFlagOnlyWithAGrayPalette) {
  auto Src = RandomDib(16, 16, pf8bit, 3, true);
  std::unique_ptr<TDib> Dst;
  ASSERT_TRUE(ConvertToIndexed(*Src, Dst, 16, dfNone, pkAdaptive, qkMedianCut5));
  EXPECT_TRUE(Dst->IsGray);
  ASSERT_TRUE(ConvertToIndexed(*Src, Dst, 16, dfNone, pkSystem16, 0));
  EXPECT_FALSE(Dst->IsGray);
}

TEST(DitherConvert, ReportsProgressEveryFewRows) {
  const auto Src = RandomDib(3, 40, pf24bit, 11);
  std::vector<std::pair<int32_t, int32_t>> Calls;
  auto Record = [&](int32_t Done, int32_t Rows) { Calls.emplace_back(Done, Rows); };
  std::unique_ptr<TDib> Dst;
  ConvertToGray(*Src, Dst, 4, dfStucki, 11, 50, 39, Record);
  const std::vector<std::pair<int32_t, int32_t>> Want = {{16, 40}, {32, 40}, {40, 40}};
  EXPECT_EQ(Calls, Want);
  Calls.clear();
  ASSERT_TRUE(ConvertToIndexed(*Src, Dst, 216, dfJaJuNi, pkWeb216, 0, Record));
  EXPECT_EQ(Calls, Want);
}

} // namespace
