#pragma once
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "DibImage.h"
#include "DibRows.h"
#include "XColorQuant.h"

// Conversion of any buffer to a palette image: the fixed palettes, the
// dither engines that map pixels to palette indexes (nearest entry or error
// diffusion) and the two conversions to indexed colors and to gray levels.

enum TDiffusion : int32_t {
  dfNone = 0,
  dfFloydSteinberg = 1,
  dfStucki = 2,
  dfSierra = 3,
  dfJaJuNi = 4,
};

enum TPaletteKind : int32_t {
  pkSystem16 = 0,
  pkWeb216 = 3,
  pkQuantized256 = 4,
  pkAdaptive = 5,
  pkSystem20Adaptive = 6,
};

enum TQuantizerKind : int32_t {
  qkMedianCut5 = 1,
  qkMedianCut6 = 2,
  qkNeuQuantSlow = 3,  // sampling factor 1
  qkNeuQuantQuick = 4, // sampling factor 4
};

// Told the rows finished so far out of all, every few rows, on the calling
// thread.
using TConvertProgress = std::function<void(int32_t Done, int32_t Rows)>;

// The platform's default 20 colors; the core has no platform to ask.
TPalette SystemPalette20();
// Entries 0..7 and 12..19 of the default palette.
TPalette SystemPalette16();
TPalette WebPalette216();
TPalette QuantizedPalette256();
// Levels evenly spaced grays (below 3 levels black and white), flag 4.
TPalette GrayRamp(int32_t Levels);

// Dst = Src in Colors colors of the palette kind, dithered by Diffusion;
// Quantizer chooses the adaptive palette (ignored by the fixed kinds).
// Unknown palette kinds, and adaptive kinds with an unknown quantizer, leave
// Dst as it was and answer false.
bool ConvertToIndexed(const TDib& Src, std::unique_ptr<TDib>& Dst, int32_t Colors, int32_t Diffusion,
                      int32_t PaletteKind, int32_t Quantizer, const TConvertProgress& Progress = {});
// Dst = Src in Levels gray levels (2..256) weighted by the percentages of
// blue, green and red; Dst is flagged gray for any level count.
void ConvertToGray(const TDib& Src, std::unique_ptr<TDib>& Dst, int32_t Levels, int32_t Diffusion, int32_t WeightB,
                   int32_t WeightG, int32_t WeightR, const TConvertProgress& Progress = {});

// What an engine quantizes. A channel set turns a pixel into its channel
// values and maps (clamped) channel values to a palette index and that
// entry's own values, from which the diffusing engines take the error.

// Red, green and blue through a color lookup (TSlowColorLookup,
// TFastColorLookup): the engine is compiled for the lookup kind, so no pixel
// goes through a virtual call.
template <class TLookup>
class TColorChannels {
public:
  static constexpr int32_t Count = 3;
  explicit TColorChannels(TLookup& ALookup) : Lookup(&ALookup) {}
  void Values(uint8_t R, uint8_t G, uint8_t B, int32_t* V) const {
    V[0] = R;
    V[1] = G;
    V[2] = B;
  }
  uint8_t Quantize(const int32_t* V, int32_t* C) {
    const TLookupResult L = Lookup->Lookup(uint8_t(V[0]), uint8_t(V[1]), uint8_t(V[2]));
    C[0] = L.R;
    C[1] = L.G;
    C[2] = L.B;
    return L.Index;
  }

private:
  TLookup* Lookup;
};

// One gray channel quantized arithmetically to Levels steps of a gray ramp.
class TGrayChannels {
public:
  static constexpr int32_t Count = 1;
  // GrayPalette: the ramp's entries, whose green byte is the gray value;
  // Levels is kept within 1..256 and within the ramp.
  TGrayChannels(int32_t ALevels, const TPalette& GrayPalette);
  // A sum of 0 is kept as 1. The gray value is divided by 100 whatever the
  // weights add up to, so custom weights can brighten or darken.
  void SetWeights(int32_t R, int32_t G, int32_t B);
  int32_t Levels() const { return FLevels; }
  int32_t WeightSum() const { return FWeightSum; }
  int32_t Gray(int32_t R, int32_t G, int32_t B) const {
    const int64_t Sum = int64_t(R) * FWeightR + int64_t(G) * FWeightG + int64_t(B) * FWeightB;
    return int32_t(std::clamp<int64_t>(Sum / 100, 0, 255));
  }
  void Values(uint8_t R, uint8_t G, uint8_t B, int32_t* V) const { V[0] = Gray(R, G, B); }
  uint8_t Quantize(const int32_t* V, int32_t* C) const {
    const int32_t I = V[0] * FLevels / 256;
    C[0] = FValues[size_t(I)];
    return uint8_t(I);
  }

private:
  int32_t FLevels;
  int32_t FWeightR = 39, FWeightG = 50, FWeightB = 11, FWeightSum = 100;
  std::array<uint8_t, 256> FValues{};
};

// Rows alternate direction, the first left to right.
class TSerpentine {
public:
  explicit TSerpentine(int32_t AWidth) : Width(AWidth) {}
  void NextLine() {
    Direction = -Direction;
    Column = Direction > 0 ? 0 : Width - 1;
  }
  int32_t Direction = 1;
  int32_t Column = 0;
  int32_t Width;
};

// The nearest entry, no diffusion.
template <class TChannels>
class TDitherEngine : public TSerpentine {
public:
  TDitherEngine(int32_t AWidth, const TChannels& AChannels) : TSerpentine(AWidth), Channels(AChannels) {}
  uint8_t Dither(uint8_t R, uint8_t G, uint8_t B) {
    int32_t V[TChannels::Count], C[TChannels::Count];
    Channels.Values(R, G, B, V);
    return Channels.Quantize(V, C);
  }
  TChannels Channels;
};

// Floyd-Steinberg with the error of the row below kept in one array per
// channel and the pending errors of the neighbours in three accumulators.
template <class TChannels>
class TFloydSteinbergDitherer : public TSerpentine {
public:
  static constexpr int32_t N = TChannels::Count;
  TFloydSteinbergDitherer(int32_t AWidth, const TChannels& AChannels)
      : TSerpentine(AWidth), Channels(AChannels), Stride(size_t(AWidth) + 2), Errors(N * Stride, 0) {}

  uint8_t Dither(uint8_t R, uint8_t G, uint8_t B) {
    int32_t V[N], C[N];
    Channels.Values(R, G, B, V);
    for (int32_t K = 0; K < N; ++K)
      Current[K] = std::clamp(V[K] + (Row(K)[Pos] + Current[K] + 8) / 16, 0, 255);
    const uint8_t I = Channels.Quantize(Current, C);
    for (int32_t K = 0; K < N; ++K) {
      const int32_t Err = Current[K] - C[K];
      // An exact match leaves the row below as it was.
      if (Err == 0) {
        Current[K] = 0;
        continue;
      }
      Row(K)[Pos] = BelowPrev[K] + 3 * Err;
      BelowPrev[K] = Below[K] + 5 * Err;
      Below[K] = Err;
      Current[K] = 7 * Err;
    }
    Pos += Direction;
    return I;
  }

  void NextLine() {
    for (int32_t K = 0; K < N; ++K) {
      Row(K)[Pos] = BelowPrev[K];
      Current[K] = Below[K] = BelowPrev[K] = 0;
    }
    TSerpentine::NextLine();
    Pos = Direction < 0 ? ptrdiff_t(Width) + 1 : 0;
  }

  TChannels Channels;

private:
  int32_t* Row(int32_t K) { return Errors.data() + size_t(K) * Stride; }

  size_t Stride;
  std::vector<int32_t> Errors; // N arrays of Width + 2
  ptrdiff_t Pos = 0;
  int32_t Current[N] = {}, Below[N] = {}, BelowPrev[N] = {};
};

// A 5 x 3 kernel: two weights to the right in this row, five in each of the
// next two rows, offsets -2..+2 along the direction of the row.
struct TKernel5by3 {
  int32_t Divisor, Rounding;
  int32_t Ahead[2];
  int32_t Next[5];
  int32_t AfterNext[5];
};
inline constexpr TKernel5by3 StuckiKernel{42, 21, {8, 4}, {2, 4, 8, 4, 2}, {1, 2, 4, 2, 1}};
inline constexpr TKernel5by3 SierraKernel{32, 16, {5, 3}, {2, 4, 5, 4, 2}, {0, 2, 3, 2, 0}};
inline constexpr TKernel5by3 JaJuNiKernel{38, 19, {6, 4}, {2, 4, 6, 4, 2}, {1, 2, 4, 2, 1}};

// Error diffusion over three rows of Width + 4 entries per channel; column
// x uses entry x + 2 in both directions.
template <class TChannels, const TKernel5by3& Kernel>
class T5by3Ditherer : public TSerpentine {
public:
  static constexpr int32_t N = TChannels::Count;
  T5by3Ditherer(int32_t AWidth, const TChannels& AChannels)
      : TSerpentine(AWidth), Channels(AChannels), Stride(size_t(AWidth) + 4) {
    for (auto& Row : Rows)
      Row.assign(N * Stride, 0);
  }

  uint8_t Dither(uint8_t R, uint8_t G, uint8_t B) {
    int32_t V[N], C[N], Cur[N];
    Channels.Values(R, G, B, V);
    for (int32_t K = 0; K < N; ++K)
      Cur[K] = std::clamp(V[K] + (Row(0, K)[Pos] + Kernel.Rounding) / Kernel.Divisor, 0, 255);
    const uint8_t I = Channels.Quantize(Cur, C);
    for (int32_t K = 0; K < N; ++K)
      if (const int32_t Err = Cur[K] - C[K]; Err != 0)
        Spread(K, Err);
    Pos += Direction;
    return I;
  }

  void NextLine() {
    std::fill(Rows[0].begin(), Rows[0].end(), 0);
    std::rotate(Rows.begin(), Rows.begin() + 1, Rows.end());
    TSerpentine::NextLine();
    Pos = Direction < 0 ? ptrdiff_t(Width) + 1 : 2;
  }

  TChannels Channels;

private:
  void Spread(int32_t K, int32_t Err) {
    const ptrdiff_t D = Direction;
    int32_t* R0 = Row(0, K) + Pos;
    int32_t* R1 = Row(1, K) + Pos;
    int32_t* R2 = Row(2, K) + Pos;
    R0[D] += Kernel.Ahead[0] * Err;
    R0[2 * D] += Kernel.Ahead[1] * Err;
    for (ptrdiff_t O = -2; O <= 2; ++O) {
      R1[O * D] += Kernel.Next[O + 2] * Err;
      R2[O * D] += Kernel.AfterNext[O + 2] * Err;
    }
  }

  int32_t* Row(size_t R, int32_t K) { return Rows[R].data() + size_t(K) * Stride; }

  size_t Stride;
  std::array<std::vector<int32_t>, 3> Rows; // this row, the next, the one after
  ptrdiff_t Pos = 2;
};

template <class TChannels>
using TStuckiDitherer = T5by3Ditherer<TChannels, StuckiKernel>;
template <class TChannels>
using TSierraDitherer = T5by3Ditherer<TChannels, SierraKernel>;
template <class TChannels>
using TJaJuNiDitherer = T5by3Ditherer<TChannels, JaJuNiKernel>;

// The color engines are these over TColorChannels of a lookup kind.

using TDitherGray = TDitherEngine<TGrayChannels>;
using TFloydSteinbergGray = TFloydSteinbergDitherer<TGrayChannels>;
using TStuckiGray = TStuckiDitherer<TGrayChannels>;
using TSierraGray = TSierraDitherer<TGrayChannels>;
using TJaJuNiGray = TJaJuNiDitherer<TGrayChannels>;

template <class TEngine>
void SetWeights(TEngine& Engine, int32_t R, int32_t G, int32_t B) {
  Engine.Channels.SetWeights(R, G, B);
}

// Writes Width indexes as row Y of an 8-, 4- or 1-bit buffer.
void PutIndexRow(TDib& Dst, int32_t Y, const uint8_t* Indexes);
// Reports every few rows and after the last.
void ReportRows(const TConvertProgress& Progress, int32_t Done, int32_t Rows);

// Runs the engine over all pixels in its serpentine order: each source row
// is read once, its indexes gathered and written as one row. Src and Dst
// must be of one size (the engine made for that width); otherwise nothing
// is written.
template <class TEngine>
void DitherImage(TEngine& Engine, const TDib& Src, TDib& Dst, const TConvertProgress& Progress = {}) {
  const int32_t W = Dst.Width(), H = Dst.Height();
  if (Src.Width() != W || Src.Height() != H || Engine.Width != W || Dst.PaletteSize() == 0)
    return;
  std::vector<uint8_t> Bgr(static_cast<size_t>(W) * 3), Indexes(static_cast<size_t>(W));
  for (int32_t Y = 0; Y < H; ++Y) {
    GetRowBgr(Src, Y, Bgr);
    for (; Engine.Column >= 0 && Engine.Column < W; Engine.Column += Engine.Direction) {
      const uint8_t* P = Bgr.data() + 3 * size_t(Engine.Column);
      Indexes[size_t(Engine.Column)] = Engine.Dither(P[2], P[1], P[0]);
    }
    Engine.NextLine();
    PutIndexRow(Dst, Y, Indexes.data());
    ReportRows(Progress, Y + 1, H);
  }
}

// The engine of the diffusion (unknown values: none) for the width of Dst
// over the channel set, run from Src into Dst.
template <class TChannels>
void DitherWith(int32_t Diffusion, const TChannels& Channels, const TDib& Src, TDib& Dst,
                const TConvertProgress& Progress = {}) {
  const int32_t W = Dst.Width();
  auto Run = [&](auto Engine) { DitherImage(Engine, Src, Dst, Progress); };
  switch (Diffusion) {
  case dfFloydSteinberg: Run(TFloydSteinbergDitherer<TChannels>(W, Channels)); break;
  case dfStucki: Run(TStuckiDitherer<TChannels>(W, Channels)); break;
  case dfSierra: Run(TSierraDitherer<TChannels>(W, Channels)); break;
  case dfJaJuNi: Run(TJaJuNiDitherer<TChannels>(W, Channels)); break;
  default: Run(TDitherEngine<TChannels>(W, Channels)); break;
  }
}
