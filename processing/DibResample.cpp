#include "DibResample.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#include "DibRows.h"
#include "ParallelRows.h"

namespace {

// The filters compute in single precision where the formulas round, the
// rest wide, so that every build gives the same weights.
float BoxFilter(float X) { return X > -0.5f && X <= 0.5f ? 1.0f : 0.0f; }

float TriangleFilter(float X) {
  const float A = std::fabs(X);
  return A < 1.0f ? float(1.0 - A) : 0.0f;
}

float HermiteFilter(float X) {
  const float A = std::fabs(X);
  if (A >= 1.0f)
    return 0.0f;
  const float A2 = A * A;
  return float(double(A2) * (2.0 * A - 3.0) + 1.0);
}

float BellFilter(float X) {
  const float A = std::fabs(X);
  if (A < 0.5f) {
    const float A2 = A * A;
    return float(0.75 - A2);
  }
  if (A < 1.5f) {
    const float T = float(A - 1.5);
    const float T2 = T * T;
    return float(0.5 * T2);
  }
  return 0.0f;
}

float SplineFilter(float X) {
  const float A = std::fabs(X);
  if (A < 1.0f) {
    const float A2 = A * A;
    return float(0.5 * A2 * A - A2 + 2.0 / 3.0);
  }
  if (A < 2.0f) {
    const double T = 2.0 - A;
    return float(T * T * T / 6.0);
  }
  return 0.0f;
}

float MitchellFilter(float X) {
  const float A = std::fabs(X);
  if (A < 1.0f) {
    const float A2 = A * A;
    return float((7.0 * A2 * A - 12.0 * A2 + 16.0 / 3.0) / 6.0);
  }
  if (A < 2.0f) {
    const float A2 = A * A;
    return float((-7.0 / 3.0 * A2 * A + 12.0 * A2 - 20.0 * A + 32.0 / 3.0) / 6.0);
  }
  return 0.0f;
}

float Sinc(float T) {
  if (T == 0.0f)
    return 1.0f;
  const float PiT = float(M_PI * T);
  return float(std::sin(double(PiT)) / PiT);
}

float LanczosFilter(float X) {
  const float A = std::fabs(X);
  return A < 3.0f ? float(double(Sinc(A)) * Sinc(float(A / 3.0))) : 0.0f;
}

const TFilterDef Filters[ResampleFilterCount] = {
    {BoxFilter, 0.5f, "box"},         {TriangleFilter, 1.0f, "triangle"}, {HermiteFilter, 1.0f, "hermite"},
    {BellFilter, 1.5f, "bell"},       {SplineFilter, 2.0f, "spline"},     {MitchellFilter, 2.0f, "mitchell"},
    {LanczosFilter, 3.0f, "lanczos"},
};

// A weight sum above this could overflow the 32-bit channel sums.
constexpr int64_t MaxWeightSum = INT32_MAX / 255;
// More weights than this for one axis are refused as out of memory.
constexpr int64_t MaxContributors = int64_t(1) << 28;
// Weights of the lists whose every weight rounds to 0 when shrinking far.
constexpr double FarShrinkWeight = 64.0;

struct TContrib {
  int32_t Pixel; // byte offset in a row (horizontal) or row index (vertical)
  int32_t Weight;
};

// Dividing a channel sum by a list's weight sum: exactly Sum div T clamped
// to 0..255, by a multiply where the sums are small enough for it.
struct TDivisor {
  enum TKind : uint8_t { dkMultiply, dkDivide, dkZero } Kind = dkZero;
  int32_t T = 0;
  int32_t Limit = 0; // 255 x T
  uint64_t M = 0;    // ceil(2^32 / T)

  explicit TDivisor(int32_t Sum) : T(Sum) {
    if (Sum == 0)
      return;
    // Multiply-and-shift is exact for Sum < 255 x T when 255 x T^2 < 2^32.
    Kind = Sum > 0 && Sum < 4104 ? dkMultiply : dkDivide;
    Limit = 255 * Sum;
    if (Kind == dkMultiply)
      M = ((uint64_t(1) << 32) + uint64_t(Sum) - 1) / uint64_t(Sum);
  }

  uint8_t operator()(int32_t S) const {
    if (Kind == dkMultiply) {
      if (S <= 0)
        return 0;
      if (S >= Limit)
        return 255;
      return uint8_t((uint64_t(S) * M) >> 32);
    }
    if (Kind == dkDivide)
      return ClampByte(S / T);
    const uint32_t Shifted = uint32_t(S) >> 8;
    return uint8_t(Shifted > 255 ? 255 : Shifted);
  }
};

struct TContribList {
  std::vector<TContrib> Items;
  std::vector<uint32_t> Start; // list I is Items[Start[I] .. Start[I + 1])
  std::vector<TDivisor> Div;
};

float AxisScale(int32_t Src, int32_t Dst) {
  if (Src == 1 || Dst == 1)
    return float(double(Dst) / Src);
  return float(double(Dst - 1) / (Src - 1));
}

// Mirrored at the edges; what one mirror cannot bring inside (sources of a
// few pixels under a wide filter) is held at the edge pixel.
int32_t MirrorIndex(int64_t J, int32_t Len) {
  int64_t N = J < 0 ? -J : J >= Len ? 2 * int64_t(Len) - J - 1 : J;
  if (N < 0)
    N = 0;
  if (N >= Len)
    N = Len - 1;
  return int32_t(N);
}

struct TSpan {
  float Center, Scale;
  bool Shrink;
  int64_t Left, Right;
};

TSpan SpanOf(int32_t I, float Scale, float Support) {
  TSpan S;
  S.Center = float(double(I) / Scale);
  S.Scale = Scale;
  S.Shrink = Scale < 1.0f;
  const float Width = S.Shrink ? float(double(Support) / Scale) : Support;
  S.Left = int64_t(std::floor(double(S.Center) - Width));
  S.Right = int64_t(std::ceil(double(S.Center) + Width));
  return S;
}

double RawWeight(TFilterFunc F, const TSpan& S, int64_t J) {
  if (S.Shrink)
    return double(F(float((double(S.Center) - double(J)) * S.Scale))) * S.Scale;
  return F(float(double(S.Center) - double(J)));
}

// Appends the weights of one output pixel; returns their sum.
int64_t AddList(TContribList& L, TFilterFunc F, const TSpan& S, int32_t SrcLen, int32_t Step, double Unit) {
  int64_t Sum = 0, AbsSum = 0;
  for (int64_t J = S.Left; J <= S.Right; ++J) {
    const int32_t W = int32_t(std::lrint(RawWeight(F, S, J) * Unit));
    if (W == 0)
      continue;
    L.Items.push_back({MirrorIndex(J, SrcLen) * Step, W});
    Sum += W;
    AbsSum += W < 0 ? -W : W;
  }
  if (AbsSum > MaxWeightSum)
    throw std::bad_alloc();
  return Sum;
}

TContribList BuildLists(int32_t SrcLen, int32_t DstLen, float Scale, TFilterFunc F, float Support, int32_t Step) {
  TContribList L;
  L.Start.reserve(size_t(DstLen) + 1);
  L.Div.reserve(size_t(DstLen));
  for (int32_t I = 0; I < DstLen; ++I) {
    const TSpan S = SpanOf(I, Scale, Support);
    if (int64_t(L.Items.size()) + (S.Right - S.Left + 1) > MaxContributors)
      throw std::bad_alloc();
    const uint32_t First = uint32_t(L.Items.size());
    L.Start.push_back(First);
    int64_t Sum = AddList(L, F, S, SrcLen, Step, 256.0);
    // Shrinking by more than about 500 rounds every weight to 0, which
    // would turn the picture black: such lists keep their weights' shape
    // at a finer unit instead.
    if (L.Items.size() == First && S.Shrink)
      Sum = AddList(L, F, S, SrcLen, Step, FarShrinkWeight / S.Scale);
    L.Div.emplace_back(int32_t(Sum));
  }
  L.Start.push_back(uint32_t(L.Items.size()));
  return L;
}

template <int Ch>
void HorizontalRow(const uint8_t* S, uint8_t* O, const TContribList& L, int32_t DstW) {
  const TContrib* Items = L.Items.data();
  for (int32_t I = 0; I < DstW; ++I, O += Ch) {
    const TContrib* C = Items + L.Start[size_t(I)];
    const TContrib* E = Items + L.Start[size_t(I) + 1];
    int32_t S0 = 0, S1 = 0, S2 = 0;
    for (; C < E; ++C) {
      const uint8_t* P = S + C->Pixel;
      S0 += C->Weight * P[0];
      if constexpr (Ch == 3) {
        S1 += C->Weight * P[1];
        S2 += C->Weight * P[2];
      }
    }
    const TDivisor& D = L.Div[size_t(I)];
    O[0] = D(S0);
    if constexpr (Ch == 3) {
      O[1] = D(S1);
      O[2] = D(S2);
    }
  }
}

// The horizontal pass's rows, made as the vertical pass first needs them and
// kept in a ring as long as the window of rows in use can reach them.
class THorizontalRows {
public:
  THorizontalRows(const TDib& ASource, const TContribList& AList, int32_t ADstW, bool AGray, int32_t Capacity)
      : Source(ASource), List(AList), DstW(ADstW), Gray(AGray), Ch(AGray ? 1 : 3), Stride(size_t(ADstW) * Ch),
        Direct(ASource.PixelFormat() == pf24bit && !AGray), Ring(Stride * size_t(Capacity)),
        SlotRow(size_t(Capacity), -1), Converted(Direct ? 0 : size_t(ASource.Width()) * Ch) {}

  const uint8_t* Row(int32_t Y) {
    const size_t Slot = size_t(Y) % SlotRow.size();
    uint8_t* O = Ring.data() + Stride * Slot;
    if (SlotRow[Slot] != Y) {
      SlotRow[Slot] = Y;
      const uint8_t* S = Source.ScanLine(Y);
      if (!Direct) {
        if (Gray)
          GetRowGray(Source, Y, Converted);
        else
          GetRowBgr(Source, Y, Converted);
        S = Converted.data();
      }
      if (Gray)
        HorizontalRow<1>(S, O, List, DstW);
      else
        HorizontalRow<3>(S, O, List, DstW);
    }
    return O;
  }

private:
  const TDib& Source;
  const TContribList& List;
  const int32_t DstW;
  const bool Gray;
  const int32_t Ch;
  const size_t Stride;
  const bool Direct;
  std::vector<uint8_t> Ring;
  std::vector<int32_t> SlotRow;
  std::vector<uint8_t> Converted;
};

// The rows the lists Begin..End reach at once, at most.
int32_t WindowOf(const TContribList& L, int32_t Begin, int32_t End) {
  int32_t Window = 1;
  for (int32_t J = Begin; J < End; ++J) {
    const TContrib* C = L.Items.data() + L.Start[size_t(J)];
    const TContrib* E = L.Items.data() + L.Start[size_t(J) + 1];
    int32_t Lo = INT32_MAX, Hi = -1;
    for (; C < E; ++C) {
      Lo = std::min(Lo, C->Pixel);
      Hi = std::max(Hi, C->Pixel);
    }
    Window = std::max(Window, Hi - Lo + 1);
  }
  return Window;
}

void VerticalRow(THorizontalRows& Rows, const TContribList& L, int32_t J, std::vector<int32_t>& Acc, uint8_t* Out) {
  const size_t N = Acc.size();
  int32_t* A = Acc.data();
  const TContrib* C = L.Items.data() + L.Start[size_t(J)];
  const TContrib* E = L.Items.data() + L.Start[size_t(J) + 1];
  std::memset(A, 0, N * sizeof(int32_t));
  for (; C < E; ++C) {
    const uint8_t* R = Rows.Row(C->Pixel);
    const int32_t W = C->Weight;
    for (size_t X = 0; X < N; ++X)
      A[X] += W * R[X];
  }
  const TDivisor D = L.Div[size_t(J)];
  for (size_t X = 0; X < N; ++X)
    Out[X] = D(A[X]);
}

} // namespace

const TFilterDef& FilterDef(int32_t Filter) {
  return Filters[Filter >= 0 && Filter < ResampleFilterCount ? Filter : rfSpline];
}

int32_t FilterByName(const char* Name) {
  for (int32_t I = 0; I < ResampleFilterCount; ++I)
    if (std::strcmp(Filters[I].Name, Name) == 0)
      return I;
  return -1;
}

void Stretch(TFilterFunc Filter, float Support, const TDib& Source, TDib& Dest) {
  const int32_t SrcW = Source.Width(), SrcH = Source.Height();
  const int32_t DstW = Dest.Width(), DstH = Dest.Height();
  if (SrcW == 0 || SrcH == 0 || DstW == 0 || DstH == 0)
    return;
  const bool Gray = Source.IsGray && Source.PaletteSize() > 0;
  const int32_t Ch = Gray ? 1 : 3;
  const TContribList HList = BuildLists(SrcW, DstW, AxisScale(SrcW, DstW), Filter, Support, Ch);
  const TContribList VList = BuildLists(SrcH, DstH, AxisScale(SrcH, DstH), Filter, Support, 1);

  const size_t Stride = size_t(DstW) * size_t(Ch);
  const int64_t HorzPerRow = int64_t(HList.Items.size()) * Ch * SrcH / DstH;
  const int64_t VertPerRow = int64_t(VList.Items.size() / size_t(DstH) + 1) * int64_t(Stride);
  ParallelRows(DstH, HorzPerRow + VertPerRow, [&](int32_t Begin, int32_t End) {
    THorizontalRows Rows(Source, HList, DstW, Gray, WindowOf(VList, Begin, End));
    TRowWriter Writer(Dest);
    std::vector<int32_t> Acc(Stride);
    std::vector<uint8_t> Out(Stride);
    for (int32_t J = Begin; J < End; ++J) {
      VerticalRow(Rows, VList, J, Acc, Out.data());
      if (Gray)
        Writer.PutGray(J, Out);
      else
        Writer.PutBgr(J, Out);
    }
  });
}

bool ResizeSizeAllowed(int32_t Width, int32_t Height, TPixelFormat Format) {
  if (Width < 1 || Height < 1 || Width > MaxResizeSide || Height > MaxResizeSide)
    return false;
  return DibRowBytes(Width, BitCountOf(Format)) * Height <= INT32_MAX;
}

void ResizeBuffer(int32_t NewWidth, int32_t NewHeight, int32_t Filter, std::unique_ptr<TDib>& Buffer, float Support) {
  if (!Buffer)
    return;
  if (!ResizeSizeAllowed(NewWidth, NewHeight, Buffer->PixelFormat()))
    throw EInvalidGraphicOperation("invalid image size");
  const TFilterDef& F = FilterDef(Filter);
  std::unique_ptr<TDib> Resized = TDib::CreateLike(NewWidth, NewHeight, *Buffer);
  Stretch(F.Func, Support == 0.0f ? F.Support : Support, *Buffer, *Resized);
  Resized->Canvas = Buffer->Canvas;
  Buffer = std::move(Resized);
}

void ScaledPreview(const TDib& Source, std::unique_ptr<TDib>& Dest, int32_t NewWidth, float Support, int32_t Filter,
                   int32_t NewHeight) {
  Dest.reset();
  const TFilterDef& F = FilterDef(Filter);
  auto Scaled = std::make_unique<TDib>(NewWidth, NewHeight, pf24bit);
  Stretch(F.Func, Support == 0.0f ? F.Support : Support, Source, *Scaled);
  Scaled->Canvas = Source.Canvas;
  Dest = std::move(Scaled);
}
