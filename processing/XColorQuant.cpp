#include "XColorQuant.h"

#include <algorithm>
#include <mutex>

#include "DibRows.h"
#include "ParallelRows.h"

namespace {

// An indexed palette holds at most 256 entries, and the network has no more
// neurons than that.
constexpr int32_t MaxColors = 256;

int32_t ClampColors(int32_t Colors) { return std::clamp(Colors, 1, MaxColors); }

struct TBox {
  uint8_t Lo[3] = {0, 0, 0};
  uint8_t Hi[3] = {0, 0, 0};
  uint8_t Mean[3] = {0, 0, 0};
  uint8_t Axis = 0;
  uint8_t Extent = 0;
  uint32_t CellCount = 0;
  uint32_t PixelCount = 0;
};

// Cell index of a color given as blue, green, red bytes.
template <int32_t Bits>
inline uint32_t CellOf(const uint8_t* Bgr) {
  constexpr int32_t Drop = 8 - Bits;
  return (uint32_t(Bgr[2] >> Drop) << (2 * Bits)) | (uint32_t(Bgr[1] >> Drop) << Bits) | uint32_t(Bgr[0] >> Drop);
}

template <int32_t Bits>
void CountRow(const uint8_t* Bgr, int32_t Width, uint32_t* Hist) {
  for (int32_t X = 0; X < Width; ++X, Bgr += 3)
    ++Hist[CellOf<Bits>(Bgr)];
}

} // namespace

struct TMcaQuantizer::TImpl {
  int32_t Bits = 5;
  int32_t MaxValue = 31;
  std::vector<uint32_t> Histogram;
  std::vector<TBox> Boxes;
  int32_t BoxCount = 0;

  uint32_t Cell(int32_t R, int32_t G, int32_t B) const {
    return (uint32_t(R) << (2 * Bits)) | (uint32_t(G) << Bits) | uint32_t(B);
  }
  // Calls F(coordinates, counter) for every cell inside the bounds.
  template <typename TFunc>
  void ForCells(const uint8_t* Lo, const uint8_t* Hi, TFunc&& F) const {
    int32_t C[3];
    for (C[0] = Lo[0]; C[0] <= Hi[0]; ++C[0])
      for (C[1] = Lo[1]; C[1] <= Hi[1]; ++C[1]) {
        const uint32_t* Run = Histogram.data() + Cell(C[0], C[1], 0);
        for (C[2] = Lo[2]; C[2] <= Hi[2]; ++C[2])
          F(C, Run[C[2]]);
      }
  }

  void CountRows(const TDib& Buffer);
  void Shrink(TBox& Box) const;
  int32_t PickBox() const;
  void Split(int32_t I);
  void SetMean(TBox& Box) const;
};

void TMcaQuantizer::TImpl::CountRows(const TDib& Buffer) {
  const int32_t W = Buffer.Width();
  const bool Direct = Buffer.PixelFormat() == pf24bit;
  std::mutex Merge;
  ParallelRows(Buffer.Height(), W, [&](int32_t Begin, int32_t End) {
    std::vector<uint32_t> Local(Histogram.size(), 0);
    std::vector<uint8_t> Bgr(Direct ? 0 : size_t(W) * 3);
    for (int32_t Y = Begin; Y < End; ++Y) {
      const uint8_t* Row = Buffer.ScanLine(Y);
      if (!Direct) {
        GetRowBgr(Buffer, Y, Bgr);
        Row = Bgr.data();
      }
      if (Bits == 6)
        CountRow<6>(Row, W, Local.data());
      else
        CountRow<5>(Row, W, Local.data());
    }
    const std::lock_guard<std::mutex> Lock(Merge);
    for (size_t I = 0; I < Local.size(); ++I)
      Histogram[I] += Local[I];
  });
}

void TMcaQuantizer::TImpl::Shrink(TBox& Box) const {
  uint8_t Min[3], Max[3];
  for (int32_t A = 0; A < 3; ++A) {
    Min[A] = uint8_t(MaxValue);
    Max[A] = 0;
  }
  uint32_t Cells = 0, Pixels = 0;
  ForCells(Box.Lo, Box.Hi, [&](const int32_t* C, uint32_t N) {
    if (N == 0)
      return;
    ++Cells;
    Pixels += N;
    for (int32_t A = 0; A < 3; ++A) {
      Min[A] = std::min(Min[A], uint8_t(C[A]));
      Max[A] = std::max(Max[A], uint8_t(C[A]));
    }
  });
  Box.CellCount = Cells;
  Box.PixelCount = Pixels;
  int32_t Side[3];
  for (int32_t A = 0; A < 3; ++A) {
    Box.Lo[A] = Min[A];
    Box.Hi[A] = Max[A];
    Side[A] = std::max(0, int32_t(Max[A]) - int32_t(Min[A]) + 1);
  }
  // Ties go to the later axis.
  const uint8_t Axis = Side[0] > Side[1] && Side[0] > Side[2] ? 0 : Side[1] > Side[2] ? 1 : 2;
  Box.Axis = Axis;
  Box.Extent = uint8_t(Side[Axis]);
}

// The rule is not "the largest box": a later box replaces the best only when
// it is longer and fuller at once.
int32_t TMcaQuantizer::TImpl::PickBox() const {
  int32_t Best = -1;
  uint32_t BestExtent = 0, BestCells = 0;
  for (int32_t I = 0; I < BoxCount; ++I) {
    const TBox& B = Boxes[size_t(I)];
    if (B.Extent > 1 && B.CellCount > 1 && B.Extent > BestExtent && B.CellCount > BestCells) {
      Best = I;
      BestExtent = B.Extent;
      BestCells = B.CellCount;
    }
  }
  return Best;
}

void TMcaQuantizer::TImpl::Split(int32_t I) {
  TBox& Old = Boxes[size_t(I)];
  const int32_t A = Old.Axis, Lo = Old.Lo[A], Hi = Old.Hi[A];
  const uint32_t Half = Old.PixelCount >> 1;
  uint32_t S = 0;
  int32_t K = Lo;
  for (;;) {
    uint8_t SliceLo[3] = {Old.Lo[0], Old.Lo[1], Old.Lo[2]};
    uint8_t SliceHi[3] = {Old.Hi[0], Old.Hi[1], Old.Hi[2]};
    SliceLo[A] = SliceHi[A] = uint8_t(K);
    ForCells(SliceLo, SliceHi, [&](const int32_t*, uint32_t N) { S += N; });
    ++K;
    if (K == Hi || S >= Half)
      break;
  }
  if (K >= Hi)
    K = Hi - 1;
  TBox& New = Boxes[size_t(BoxCount)];
  New = Old;
  New.Lo[A] = uint8_t(K + 1);
  Old.Hi[A] = uint8_t(K);
  Shrink(Old);
  Shrink(New);
  ++BoxCount;
}

void TMcaQuantizer::TImpl::SetMean(TBox& Box) const {
  if (Box.PixelCount == 0)
    return;
  // 64 bits: twice the coordinate times a count of a whole photo overflows
  // 32 bits long before the count itself does.
  uint64_t Sum[3] = {0, 0, 0};
  ForCells(Box.Lo, Box.Hi, [&](const int32_t* C, uint32_t N) {
    for (int32_t A = 0; A < 3; ++A)
      Sum[A] += 2 * uint64_t(C[A]) * N;
  });
  for (int32_t A = 0; A < 3; ++A)
    Box.Mean[A] = uint8_t(Sum[A] / Box.PixelCount);
}

// Only 5 and 6 bits are in use; other values are held to them, so that the
// histogram stays small and the half-cell means fit their bytes.
TMcaQuantizer::TMcaQuantizer(int32_t AColors, int32_t ABits)
    : TColorQuantizer(ClampColors(AColors), std::clamp(ABits, 5, 6)), Impl(std::make_unique<TImpl>()) {
  Impl->Bits = Param;
  Impl->MaxValue = (1 << Param) - 1;
  Impl->Histogram.assign(size_t(1) << (3 * Param), 0);
  Impl->Boxes.resize(size_t(Colors));
}

TMcaQuantizer::~TMcaQuantizer() = default;

void TMcaQuantizer::ProcessImage(const TDib& Buffer) {
  if (Buffer.Width() <= 0 || Buffer.Height() <= 0)
    return;
  Impl->CountRows(Buffer);
  const auto Used = std::count_if(Impl->Histogram.begin(), Impl->Histogram.end(), [](uint32_t N) { return N != 0; });
  if (Used < Colors)
    Colors = int32_t(Used);
}

void TMcaQuantizer::MakePalette(TPalette& Palette) {
  TImpl& Q = *Impl;
  // Colors is a public field: never more entries than boxes were made for.
  const int32_t Count = std::clamp<int32_t>(Colors, 0, int32_t(Q.Boxes.size()));
  Q.Boxes[0] = TBox();
  for (int32_t A = 0; A < 3; ++A)
    Q.Boxes[0].Hi[A] = uint8_t(Q.MaxValue);
  Q.BoxCount = 1;
  Q.Shrink(Q.Boxes[0]);
  while (Q.BoxCount < Count) {
    const int32_t I = Q.PickBox();
    if (I < 0)
      break;
    Q.Split(I);
  }
  for (int32_t I = 0; I < Q.BoxCount; ++I)
    Q.SetMean(Q.Boxes[size_t(I)]);
  const int32_t Shift = 7 - Q.Bits;
  Palette.resize(size_t(Count));
  for (int32_t I = 0; I < Count; ++I) {
    const TBox& B = Q.Boxes[size_t(I)];
    Palette[size_t(I)] = {uint8_t(B.Mean[0] << Shift), uint8_t(B.Mean[1] << Shift), uint8_t(B.Mean[2] << Shift), 0};
  }
}

namespace {

constexpr int32_t InitAlpha = 1024;
constexpr int32_t StartBiased = 67108863;
constexpr int32_t RadiusDec = 30;
constexpr int32_t NeighbourUnit = 262144;
// The image is visited in steps of a prime that, where possible, does not
// divide its size, so that the samples spread over all of it instead of
// repeating a few columns.
constexpr int64_t Primes[] = {499, 491, 487};
constexpr int64_t LastPrime = 503;

int64_t SampleStep(int64_t N) {
  if (N < LastPrime)
    return 1;
  for (int64_t P : Primes)
    if (N % P != 0)
      return P;
  return LastPrime;
}

// rad of a radius in 1/64 units; 0 and 1 mean no neighbours. Held to the
// size of RadPower, which fewer than 256 colors never reach.
int32_t RadOf(int32_t Radius) {
  const int32_t Rad = Radius >> 6;
  return Rad <= 1 ? 0 : std::min(Rad, MaxColors);
}

} // namespace

struct TNeuQuantizer::TImpl {
  int32_t Count = 0; // neurons in use, = Colors
  int32_t Radius = 0;
  int32_t Network[MaxColors][4] = {};
  int32_t Bias[MaxColors] = {};
  int32_t Freq[MaxColors] = {};
  int32_t RadPower[MaxColors] = {};

  void SetRadPower(int32_t Rad, int32_t Alpha);
  int32_t Contest(int32_t R, int32_t G, int32_t B);
  void MoveNeuron(int32_t I, int32_t Alpha, int32_t R, int32_t G, int32_t B);
  void MoveNeighbours(int32_t Rad, int32_t J, int32_t R, int32_t G, int32_t B);
  void Learn(const TDib& Buffer, int32_t SampleFac);
};

void TNeuQuantizer::TImpl::SetRadPower(int32_t Rad, int32_t Alpha) {
  const int32_t Rad2 = Rad * Rad;
  for (int32_t I = 0; I < Rad; ++I)
    RadPower[I] = ((Rad2 - I * I) * 256 / Rad2) * Alpha;
}

int32_t TNeuQuantizer::TImpl::Contest(int32_t R, int32_t G, int32_t B) {
  uint32_t BestD = UINT32_MAX;
  int32_t BestBiasD = StartBiased;
  int32_t BestPos = 0, BestBiasPos = 0;
  for (int32_t I = 0; I < Count; ++I) {
    const int32_t* N = Network[I];
    const int32_t DR = N[0] - R, DG = N[1] - G, DB = N[2] - B;
    const uint32_t D = uint32_t(DR * DR) + uint32_t(DG * DG) + uint32_t(DB * DB);
    if (D < BestD) {
      BestD = D;
      BestPos = I;
    }
    // A negative bias turns into a large unsigned amount, so that a neuron
    // that has won too often is pushed far back.
    const int32_t E = int32_t(D - uint32_t(Bias[I] >> 12));
    if (E < BestBiasD) {
      BestBiasD = E;
      BestBiasPos = I;
    }
    const int32_t BetaFreq = Freq[I] >> 10;
    Freq[I] -= BetaFreq;
    Bias[I] += BetaFreq << 10;
  }
  Freq[BestPos] += 64;
  Bias[BestPos] -= 65536;
  return BestBiasPos;
}

void TNeuQuantizer::TImpl::MoveNeuron(int32_t I, int32_t Alpha, int32_t R, int32_t G, int32_t B) {
  int32_t* N = Network[I];
  N[0] -= (N[0] - R) * Alpha / InitAlpha;
  N[1] -= (N[1] - G) * Alpha / InitAlpha;
  N[2] -= (N[2] - B) * Alpha / InitAlpha;
}

void TNeuQuantizer::TImpl::MoveNeighbours(int32_t Rad, int32_t J, int32_t R, int32_t G, int32_t B) {
  const int32_t Lo = std::max(J - Rad, -1), Hi = std::min(J + Rad, Count);
  auto Pull = [&](int32_t* N, int64_t A) {
    N[0] -= int32_t(int64_t(N[0] - R) * A / NeighbourUnit);
    N[1] -= int32_t(int64_t(N[1] - G) * A / NeighbourUnit);
    N[2] -= int32_t(int64_t(N[2] - B) * A / NeighbourUnit);
  };
  // Hi <= J + Rad and Lo >= J - Rad keep M below Rad - 1.
  int32_t K1 = J + 1, K2 = J - 1;
  for (int32_t M = 0; K1 < Hi || K2 > Lo; ++M) {
    const int32_t A = RadPower[M];
    if (K1 < Hi)
      Pull(Network[K1++], A);
    if (K2 > Lo)
      Pull(Network[K2--], A);
  }
}

void TNeuQuantizer::TImpl::Learn(const TDib& Buffer, int32_t SampleFac) {
  const int32_t W = Buffer.Width();
  const int64_t N = int64_t(W) * Buffer.Height();
  if (N < LastPrime)
    SampleFac = 1;
  // Other formats are converted once; 24-bit rows are read in place.
  std::vector<uint8_t> Converted;
  if (Buffer.PixelFormat() != pf24bit) {
    Converted.resize(size_t(N) * 3);
    for (int32_t Y = 0; Y < Buffer.Height(); ++Y)
      GetRowBgr(Buffer, Y, std::span(Converted).subspan(size_t(Y) * size_t(W) * 3, size_t(W) * 3));
  }
  auto PixelAt = [&](int64_t P) -> const uint8_t* {
    const int64_t X = P % W, Y = P / W;
    if (Converted.empty())
      return Buffer.ScanLine(int32_t(Y)) + 3 * X;
    return Converted.data() + 3 * P;
  };

  const int32_t AlphaDec = 30 + (SampleFac - 1) / 3;
  const int64_t SamplePixels = N / SampleFac;
  // Fewer than 100 samples: the rate falls after every sample.
  const int64_t Delta = std::max<int64_t>(SamplePixels / 100, 1);
  const int64_t Step = SampleStep(N);
  int32_t Alpha = InitAlpha;
  int32_t Rad = RadOf(Radius);
  SetRadPower(Rad, Alpha);
  int64_t P = 0;
  for (int64_t I = 1; I <= SamplePixels; ++I) {
    const uint8_t* Px = PixelAt(P);
    const int32_t R = Px[2] << 4, G = Px[1] << 4, B = Px[0] << 4;
    const int32_t J = Contest(R, G, B);
    MoveNeuron(J, Alpha, R, G, B);
    if (Rad > 0)
      MoveNeighbours(Rad, J, R, G, B);
    P += Step;
    if (P >= N)
      P -= N;
    if (I % Delta == 0) {
      Alpha -= Alpha / AlphaDec;
      Radius -= Radius / RadiusDec;
      Rad = RadOf(Radius);
      SetRadPower(Rad, Alpha);
    }
  }
  for (int32_t I = 0; I < Count; ++I)
    for (int32_t Ch = 0; Ch < 3; ++Ch)
      Network[I][Ch] >>= 4;
}

TNeuQuantizer::TNeuQuantizer(int32_t AColors, int32_t ASampleFac)
    : TColorQuantizer(ClampColors(AColors), std::max(ASampleFac, 1)), Impl(std::make_unique<TImpl>()) {
  TImpl& Q = *Impl;
  Q.Count = Colors;
  Q.Radius = (Colors >> 3) << 6;
  for (int32_t I = 0; I < Colors; ++I) {
    const int32_t V = I * 4096 / Colors;
    Q.Network[I][0] = Q.Network[I][1] = Q.Network[I][2] = V;
    Q.Freq[I] = 65536 / Colors;
  }
}

TNeuQuantizer::~TNeuQuantizer() = default;

void TNeuQuantizer::ProcessImage(const TDib& Buffer) {
  if (Buffer.Width() <= 0 || Buffer.Height() <= 0)
    return;
  Impl->Learn(Buffer, std::max(Param, 1));
}

void TNeuQuantizer::MakePalette(TPalette& Palette) {
  const int32_t Count = std::clamp<int32_t>(Colors, 0, Impl->Count);
  Palette.resize(size_t(Count));
  for (int32_t I = 0; I < Count; ++I) {
    const int32_t* N = Impl->Network[I];
    Palette[size_t(I)] = {ClampByte(N[0]), ClampByte(N[1]), ClampByte(N[2]), 0};
  }
}

namespace {

constexpr uint32_t CacheCells = uint32_t(1) << 18;

constexpr uint32_t CacheKey(uint8_t R, uint8_t G, uint8_t B) {
  return uint32_t(R >> 2) | (uint32_t(G & 252) << 4) | (uint32_t(B & 252) << 10);
}

} // namespace

// Entries beyond the palette, or beyond what an index byte can name, are
// never answered.
TSlowColorLookup::TSlowColorLookup(const TPalette& APalette, int32_t ACount)
    : FPalette(APalette), FCount(std::clamp<int32_t>(ACount, 0, int32_t(std::min<size_t>(APalette.size(), 256)))) {}

TLookupResult TSlowColorLookup::Lookup(uint8_t R, uint8_t G, uint8_t B) const {
  if (FCount == 0) {
    if (FPalette.empty())
      return {0, 0, 0, 0};
    const TPalEntry& E = FPalette[0];
    return {0, E.R, E.G, E.B};
  }
  int32_t Best = 0, BestD = INT32_MAX;
  for (int32_t I = 0; I < FCount; ++I) {
    const TPalEntry& E = FPalette[size_t(I)];
    const int32_t DR = int32_t(E.R) - R, DG = int32_t(E.G) - G, DB = int32_t(E.B) - B;
    const int32_t D = DR * DR + DG * DG + DB * DB;
    if (D < BestD) {
      BestD = D;
      Best = I;
    }
  }
  const TPalEntry& E = FPalette[size_t(Best)];
  return {uint8_t(Best), E.R, E.G, E.B};
}

TFastColorLookup::TFastColorLookup(const TPalette& APalette, int32_t ACount)
    : Slow(APalette, ACount), Cache(CacheCells, 0), CacheValid(CacheCells / 64, 0) {
  for (int32_t I = 0; I < Slow.Count(); ++I) {
    const TPalEntry& E = APalette[size_t(I)];
    const uint32_t Key = CacheKey(E.R, E.G, E.B);
    Cache[Key] = uint8_t(I);
    CacheValid[Key >> 6] |= uint64_t(1) << (Key & 63);
  }
}

TLookupResult TFastColorLookup::Lookup(uint8_t R, uint8_t G, uint8_t B) {
  if (Slow.Count() == 0)
    return Slow.Lookup(R, G, B);
  const uint32_t Key = CacheKey(R, G, B);
  uint64_t& Word = CacheValid[Key >> 6];
  const uint64_t Bit = uint64_t(1) << (Key & 63);
  if ((Word & Bit) != 0) {
    const uint8_t I = Cache[Key];
    const TPalEntry& E = Slow.Palette()[I];
    return {I, E.R, E.G, E.B};
  }
  const TLookupResult Res = Slow.Lookup(R, G, B);
  Cache[Key] = Res.Index;
  Word |= Bit;
  return Res;
}
