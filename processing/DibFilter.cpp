#include "DibFilter.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <vector>

#include "DibRows.h"
#include "DibTune.h"
#include "ParallelRows.h"

namespace {

const TFilterInfo Filters[] = {
    {fnAverage, "FilterAverageItem", "Average...", "Average Filter", "average"},
    {fnBlur, "FilterBlurItem", "Blur...", "Blur Filter", "blur"},
    {fnGaussBlur, "FilterGaussBlurItem", "Gaussian Blur...  ", "Gaussian Blur Filter", "gaussian"},
    {fnBartlettBlur, "FilterBartlettBlurItem", "Bartlett Blur...", "Bartlett Blur Filter", "bartlett"},
    {fnSharpen, "FilterSharpenItem", "Sharpen...", "Sharpen Filter", "sharpen"},
    {fnEdge, "FilterEdgeItem", "Edge enhance...", "Edge Enhancement Filter", "edge"},
    {fnContour, "FilterContourItem", "Trace Contour...", "Trace Contour Filter", "contour"},
    {fnEmboss, "FilterEmbossItem", "Emboss...", "Emboss Filter", "emboss"},
    {fnGlow, "FilterGlowItem", "Glow...", "Glow Filter", "glow"},
    {fnSolarize, "FilterSolarizeItem", "Solarize...", "Solarize Filter", "solarize"},
    {fnPosterize, "FilterPosterizeItem", "Posterize...", "Posterize Filter", "posterize"},
};

constexpr int32_t MaxRadius = 3, Side = 2 * MaxRadius + 1;
using TWeights = int32_t[Side][Side]; // [dy + 3][dx + 3]

struct TKernelDef {
  int32_t Radius;
  int32_t Rows[Side][Side]; // the rows from the top, each from the left, Radius x 2 + 1 used
  double Divisor;
  int32_t Bias;
};

const TKernelDef Average1{1, {{1, 1, 1}, {1, 1, 1}, {1, 1, 1}}, 9, 0};
const TKernelDef Average2{
    2, {{0, 1, 1, 1, 0}, {1, 1, 1, 1, 1}, {1, 1, 1, 1, 1}, {1, 1, 1, 1, 1}, {0, 1, 1, 1, 0}}, 21, 0};
const TKernelDef Average3{3,
                          {{0, 0, 1, 1, 1, 0, 0},
                           {0, 1, 1, 1, 1, 1, 0},
                           {1, 1, 1, 1, 1, 1, 1},
                           {1, 1, 1, 1, 1, 1, 1},
                           {1, 1, 1, 1, 1, 1, 1},
                           {0, 1, 1, 1, 1, 1, 0},
                           {0, 0, 1, 1, 1, 0, 0}},
                          37,
                          0};
const TKernelDef Blur1{1, {{1, 2, 1}, {2, 4, 2}, {1, 2, 1}}, 16, 0};
const TKernelDef Blur2{2, {{0, 1, 2, 1, 0}, {1, 2, 3, 2, 1}, {2, 3, 6, 3, 2}, {1, 2, 3, 2, 1}, {0, 1, 2, 1, 0}}, 42, 0};
const TKernelDef Blur3{3,
                       {{0, 0, 1, 1, 1, 0, 0},
                        {0, 1, 2, 2, 2, 1, 0},
                        {1, 2, 3, 4, 3, 2, 1},
                        {1, 2, 4, 8, 4, 2, 1},
                        {1, 2, 3, 4, 3, 2, 1},
                        {0, 1, 2, 2, 2, 1, 0},
                        {0, 0, 1, 1, 1, 0, 0}},
                       76,
                       0};
const TKernelDef Gaussian{3,
                          {{1, 4, 8, 10, 8, 4, 1},
                           {4, 12, 25, 29, 25, 12, 4},
                           {8, 25, 49, 58, 49, 25, 8},
                           {10, 29, 58, 67, 58, 29, 10},
                           {8, 25, 49, 58, 49, 25, 8},
                           {4, 12, 25, 29, 25, 12, 4},
                           {1, 4, 8, 10, 8, 4, 1}},
                          999,
                          0};
const TKernelDef Bartlett{3,
                          {{1, 2, 3, 4, 3, 2, 1},
                           {2, 4, 6, 8, 6, 4, 2},
                           {3, 6, 9, 12, 9, 6, 3},
                           {4, 8, 12, 16, 12, 8, 4},
                           {3, 6, 9, 12, 9, 6, 3},
                           {2, 4, 6, 8, 6, 4, 2},
                           {1, 2, 3, 4, 3, 2, 1}},
                          256,
                          0};
const TKernelDef Sharpen{1, {{-1, -1, -1}, {-1, 16, -1}, {-1, -1, -1}}, 8, 0};
const TKernelDef Edge{1, {{-1, -2, -1}, {-2, 16, -2}, {-1, -2, -1}}, 4, 0};
const TKernelDef Contour{1, {{-6, -2, -6}, {-2, 32, -2}, {-6, -2, -6}}, 1, 240};
const TKernelDef EmbossA{1, {{-1, 0, 1}, {-2, 0, 2}, {-1, 0, 1}}, 1, 192};
const TKernelDef EmbossB{1, {{0, 2, 0}, {-2, 0, 2}, {0, -2, 0}}, 1, 192};
const TKernelDef EmbossC{1, {{1, 2, 1}, {0, 0, 0}, {-1, -2, -1}}, 1, 192};
const TKernelDef EmbossD{1, {{0, 2, 0}, {2, 0, -2}, {0, -2, 0}}, 1, 192};
const TKernelDef Glow{2, {{1, 2, 2, 2, 1}, {2, 0, 0, 0, 2}, {2, 0, -20, 0, 2}, {2, 0, 0, 0, 2}, {1, 2, 2, 2, 1}}, 8, 0};

// A kernel made ready for one strength: the center pixel weighs in through
// CenterWeight, the others through Weights.
struct TKernel {
  int32_t Radius = 1;
  int32_t Weights[Side][Side] = {}; // [dy + 3][dx + 3]
  double Divisor = 1, CenterWeight = 0;
  int32_t Bias = 0;
  bool Negate = false;
};

TKernel FromDef(const TKernelDef& D) {
  TKernel K;
  K.Radius = D.Radius;
  for (int32_t Y = 0; Y < 2 * D.Radius + 1; ++Y)
    for (int32_t X = 0; X < 2 * D.Radius + 1; ++X)
      K.Weights[Y - D.Radius + MaxRadius][X - D.Radius + MaxRadius] = D.Rows[Y][X];
  K.Divisor = D.Divisor;
  K.Bias = D.Bias;
  return K;
}

int32_t& Center(TKernel& K) { return K.Weights[MaxRadius][MaxRadius]; }

// Folds the center weight into CenterWeight and Divisor: c - K + w and d - K + w.
void FoldCenter(TKernel& K, double Take, double W) {
  K.CenterWeight = Center(K) - Take + W;
  K.Divisor = K.Divisor - Take + W;
  Center(K) = 0;
}

bool PrepareKernel(int32_t No, int32_t Param, int32_t Strength, TKernel& K) {
  const double T = (100.0 - Strength) / 100.0;
  auto Weaken = [T](double F) { return T * T * F; };
  switch (No) {
  case fnAverage:
  case fnBlur: {
    const bool Avg = No == fnAverage;
    const TKernelDef* ByRadius[3] = {Avg ? &Average1 : &Blur1, Avg ? &Average2 : &Blur2, Avg ? &Average3 : &Blur3};
    K = FromDef(*ByRadius[Param >= 1 && Param <= 3 ? Param - 1 : 0]);
    FoldCenter(K, Avg ? 1 : 2, Weaken(100));
    return true;
  }
  case fnGaussBlur:
  case fnBartlettBlur:
  case fnSharpen:
  case fnEdge:
  case fnGlow: {
    struct TFold {
      const TKernelDef* Def;
      double Center, Divisor, F;
    };
    const TFold Folds[] = {{&Gaussian, 67, 999, 4000},
                           {&Bartlett, 16, 256, 600},
                           {&Sharpen, 8.5, 0.5, 25},
                           {&Edge, 12.5, 0.5, 25},
                           {&Glow, -20, 8, 50}};
    const int32_t I = No == fnGaussBlur ? 0 : No == fnBartlettBlur ? 1 : No == fnSharpen ? 2 : No == fnEdge ? 3 : 4;
    K = FromDef(*Folds[I].Def);
    K.CenterWeight = Folds[I].Center + Weaken(Folds[I].F);
    K.Divisor = Folds[I].Divisor + Weaken(Folds[I].F);
    Center(K) = 0;
    return true;
  }
  case fnContour:
    K = FromDef(Contour);
    K.CenterWeight = Center(K);
    Center(K) = 0;
    K.Bias = Strength * 2 + 52;
    K.Divisor = 1;
    return true;
  case fnEmboss: {
    const TKernelDef* Dirs[4] = {&EmbossA, &EmbossB, &EmbossC, &EmbossD};
    const int32_t Dir = std::clamp(Param, 0, 7);
    K = FromDef(*Dirs[Dir % 4]);
    if (Dir > 3)
      for (auto& Row : K.Weights)
        for (int32_t& W : Row)
          W = -W;
    K.CenterWeight = 0;
    K.Bias = Strength * 2 + 32;
    K.Divisor = 1;
    return true;
  }
  default: return false;
  }
}

// Round to nearest, ties to even, for |X| < 2^51, without a library call.
inline double RoundEven(double X) {
  constexpr double Magic = 6755399441055744.0; // 1.5 x 2^52
  return (X + Magic) - Magic;
}

inline uint8_t ToByte(double X) {
  const double R = RoundEven(X);
  return uint8_t(R < 0 ? 0 : R > 255 ? 255 : R);
}

// The source rows a band needs, each padded by the radius with its edge
// pixels, made when first asked for and kept while the window can reach them.
class TPaddedRows {
public:
  TPaddedRows(const TDib& ASource, int32_t ACh, int32_t ARadius)
      : Source(ASource), Ch(ACh), Radius(ARadius), Stride(size_t(ASource.Width() + 2 * ARadius) * size_t(ACh)),
        Ring(Stride * size_t(2 * ARadius + 1)), Held(size_t(2 * ARadius + 1), -1) {}

  // Row Y of the image, clamped to its edge rows.
  const uint8_t* Row(int32_t Y) {
    Y = std::clamp(Y, 0, Source.Height() - 1);
    const size_t Slot = size_t(Y) % Held.size();
    uint8_t* P = Ring.data() + Stride * Slot;
    if (Held[Slot] != Y) {
      Held[Slot] = Y;
      const size_t Bytes = size_t(Source.Width()) * size_t(Ch);
      std::memcpy(P + size_t(Radius) * Ch, Source.ScanLine(Y), Bytes);
      for (int32_t K = 0; K < Radius; ++K) {
        std::memcpy(P + size_t(K) * Ch, P + size_t(Radius) * Ch, size_t(Ch));
        std::memcpy(P + size_t(Radius) * Ch + Bytes + size_t(K) * Ch, P + size_t(Radius) * Ch + Bytes - Ch, size_t(Ch));
      }
    }
    return P;
  }

private:
  const TDib& Source;
  const int32_t Ch, Radius;
  const size_t Stride;
  std::vector<uint8_t> Ring;
  std::vector<int32_t> Held;
};

// Acc[i] += W x Row[i]: the one loop that does the work, kept apart so the
// compiler vectorizes it (with AVX2 where the machine has it).
__attribute__((target_clones("avx2", "default"))) void AddTap(int32_t* Acc, const uint8_t* Row, int32_t W, size_t N) {
  for (size_t I = 0; I < N; ++I)
    Acc[I] += W * Row[I];
}

__attribute__((target_clones("avx2", "default"))) void FinishRow(const int32_t* Acc, const uint8_t* Center,
                                                                 uint8_t* Out, size_t N, const TKernel& K) {
  const double Cw = K.CenterWeight, Div = K.Divisor, Bias = K.Bias;
  for (size_t I = 0; I < N; ++I)
    Out[I] = ToByte((Center[I] * Cw + Acc[I]) / Div + Bias);
}

// Src and Dst are different buffers of Ch bytes per pixel (3 or 1).
void Convolve(const TDib& Src, TDib& Dst, int32_t Ch, const TKernel& K, const TFilterProgress& Progress) {
  const int32_t W = Src.Width(), H = Src.Height(), R = std::clamp(K.Radius, 1, MaxRadius);
  const size_t N = size_t(W) * size_t(Ch);
  int32_t Taps = 0;
  for (const auto& Row : K.Weights)
    for (int32_t Wt : Row)
      Taps += Wt != 0;
  std::atomic<int32_t> Done{0};
  ParallelRows(H, int64_t(N) * (Taps + 4), [&](int32_t Begin, int32_t End) {
    TPaddedRows Rows(Src, Ch, R);
    std::vector<int32_t> Acc(N);
    for (int32_t Y = Begin; Y < End; ++Y) {
      std::fill(Acc.begin(), Acc.end(), 0);
      for (int32_t Dy = -R; Dy <= R; ++Dy) {
        const uint8_t* Row = Rows.Row(Y + Dy);
        for (int32_t Dx = -R; Dx <= R; ++Dx)
          if (const int32_t Wt = K.Weights[Dy + MaxRadius][Dx + MaxRadius])
            AddTap(Acc.data(), Row + size_t(R + Dx) * Ch, Wt, N);
      }
      FinishRow(Acc.data(), Rows.Row(Y) + size_t(R) * Ch, Dst.ScanLine(Y), N, K);
      if (Progress && (Y - Begin) % 16 == 15)
        Progress(Done += 16, H);
    }
  });
  if (Progress)
    Progress(H, H);
}

TLut PointTable(int32_t No, int32_t Strength) {
  TLut L;
  if (No == fnSolarize) {
    // The threshold from the extended-precision 2.55, as the design rounds it.
    const auto T = int32_t(std::nearbyint(255.0L - Strength * 2.55L));
    for (int32_t V = 0; V < 256; ++V)
      L[size_t(V)] = uint8_t(V >= T ? 255 - V : V);
  } else {
    for (int32_t V = 0; V < 256; ++V)
      L[size_t(V)] = uint8_t(std::min(255, Strength * ((V + 1) / Strength)));
  }
  return L;
}

bool IsNative(const TDib& D) {
  return D.PixelFormat() == pf24bit || (D.PixelFormat() == pf8bit && D.IsGray && D.PaletteSize() == 256);
}

void CopyPixels(const TDib& Src, TDib& Dst) {
  if (&Src != &Dst)
    std::memcpy(Dst.Bits(), Src.Bits(), size_t(Src.ImageSize()));
}

// The filter on a buffer it works on directly: 24-bit or 8-bit gray.
void FilterNative(const TDib& Src, TDib& Dst, int32_t No, int32_t Param, int32_t Strength,
                  const TFilterProgress& Progress) {
  if (No == fnSolarize || No == fnPosterize) {
    const TLut L = PointTable(No, Strength);
    MapTables(Src, Dst, L, L, L);
    if (Progress)
      Progress(Dst.Height(), Dst.Height());
    return;
  }
  TKernel K;
  if (!PrepareKernel(No, Param, Strength, K))
    return;
  const int32_t Ch = Src.PixelFormat() == pf24bit ? 3 : 1;
  // The bands read rows that other bands write: in place, they read a copy.
  std::unique_ptr<TDib> Copy = &Src == &Dst ? Src.Clone() : nullptr;
  Convolve(Copy ? *Copy : Src, Dst, Ch, K, Progress);
}

// Other formats are filtered as 24-bit (or, gray, 8-bit gray) rows and put
// back in their own format; 32-bit pixels keep their fourth byte.
void FilterThroughCopy(const TDib& Src, TDib& Dst, int32_t No, int32_t Param, int32_t Strength,
                       const TFilterProgress& Progress) {
  const bool Gray = Src.IsGray && Src.PaletteSize() > 0;
  const int32_t W = Src.Width(), H = Src.Height();
  TDib Work(W, H, Gray ? pf8bit : pf24bit);
  if (Gray)
    Work.MakeGrayPalette();
  for (int32_t Y = 0; Y < H; ++Y)
    if (Gray)
      GetRowGray(Src, Y, Work.Row(Y));
    else
      GetRowBgr(Src, Y, Work.Row(Y));
  FilterNative(Work, Work, No, Param, Strength, Progress);
  TRowWriter Writer(Dst);
  for (int32_t Y = 0; Y < H; ++Y) {
    if (Gray) {
      Writer.PutGray(Y, Work.Row(Y));
    } else if (Dst.PixelFormat() == pf32bit) {
      const uint8_t* S = Work.ScanLine(Y);
      uint8_t* D = Dst.ScanLine(Y);
      if (&Src != &Dst)
        std::memcpy(D, Src.ScanLine(Y), size_t(W) * 4);
      for (int32_t X = 0; X < W; ++X, S += 3, D += 4) {
        D[0] = S[2];
        D[1] = S[1];
        D[2] = S[0];
      }
    } else {
      Writer.PutBgr(Y, Work.Row(Y));
    }
  }
}

} // namespace

std::span<const TFilterInfo> FilterTable() { return Filters; }

const TFilterInfo* FindFilter(int32_t No) {
  for (const TFilterInfo& F : Filters)
    if (F.No == No)
      return &F;
  return nullptr;
}

const TFilterInfo* FindFilterByName(const char* Name) {
  for (const TFilterInfo& F : Filters)
    if (std::strcmp(F.Name, Name) == 0)
      return &F;
  return nullptr;
}

bool FilterHandles(const TDib& Dib) {
  if (Dib.PixelFormat() == pf1bit)
    return false;
  return Dib.PaletteSize() == 0 || Dib.IsGray;
}

void ApplyFilter(const TDib& Src, TDib& Dst, int32_t FilterNo, int32_t Param, int32_t Strength,
                 const TFilterProgress& Progress) {
  if (Src.Width() != Dst.Width() || Src.Height() != Dst.Height() || Src.PixelFormat() != Dst.PixelFormat() ||
      Src.Width() == 0 || Src.Height() == 0)
    return;
  if (FilterNo == fnNone || Strength == 0) {
    CopyPixels(Src, Dst);
    return;
  }
  if (!FindFilter(FilterNo) || !FilterHandles(Src))
    return;
  if (IsNative(Src))
    FilterNative(Src, Dst, FilterNo, Param, Strength, Progress);
  else
    FilterThroughCopy(Src, Dst, FilterNo, Param, Strength, Progress);
}
