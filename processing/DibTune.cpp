#include "DibTune.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <mutex>
#include <vector>

#include "ByteOrder.h"
#include "DibResample.h"
#include "DibRows.h"
#include "ParallelRows.h"

namespace {

// Work of a table lookup per byte, for the thread split.
constexpr int64_t LutWork = 1, HsvWork = 24;

uint8_t Round255(double V) { return uint8_t(std::clamp(std::nearbyint(V), 0.0, 255.0)); }

// N / 100 rounded to nearest, ties to even, for N >= 0.
int32_t RoundPercent(int32_t N) {
  const int32_t Q = N / 100, R = N % 100;
  return R > 50 || (R == 50 && (Q & 1)) ? Q + 1 : Q;
}

void MapPalette(const TDib& Orig, TDib& Work, const TLut& R, const TLut& G, const TLut& B) {
  const uint8_t* S = Orig.PaletteEntries();
  uint8_t* D = Work.PaletteEntries();
  for (int32_t I = 0; I < Orig.PaletteSize(); ++I, S += 4, D += 4) {
    D[0] = B[S[0]];
    D[1] = G[S[1]];
    D[2] = R[S[2]];
  }
}

// Maps byte K of Count pixels of Step bytes through table K.
void MapPixels(const uint8_t* S, uint8_t* D, int32_t Count, int32_t Step, const TLut& L0, const TLut& L1,
               const TLut& L2) {
  for (int32_t X = 0; X < Count; ++X, S += Step, D += Step) {
    D[0] = L0[S[0]];
    D[1] = L1[S[1]];
    D[2] = L2[S[2]];
  }
}

// Two bytes at once through a table of 65536 pairs: for a 24-bit row the
// pairs of bytes cycle through (L0, L1), (L2, L0), (L1, L2).
struct TPairTable {
  std::vector<uint16_t> Pairs;
  TPairTable(const TLut& Low, const TLut& High) : Pairs(65536) {
    for (uint32_t H = 0; H < 256; ++H)
      for (uint32_t L = 0; L < 256; ++L)
        Pairs[H << 8 | L] = uint16_t(Low[L] | High[H] << 8);
  }
  uint16_t operator[](uint16_t V) const { return Pairs[V]; }
};

struct TPixelPairs {
  // One table serves all three pair positions when the channels share a
  // table (the point filters): a third of the cache.
  TPairTable P0;
  std::unique_ptr<TPairTable> Own1, Own2;
  const TPairTable *P1, *P2;
  TPixelPairs(const TLut& L0, const TLut& L1, const TLut& L2) : P0(L0, L1) {
    const bool Same = L0 == L1 && L1 == L2;
    if (!Same) {
      Own1 = std::make_unique<TPairTable>(L2, L0);
      Own2 = std::make_unique<TPairTable>(L1, L2);
    }
    P1 = Same ? &P0 : Own1.get();
    P2 = Same ? &P0 : Own2.get();
  }

  // Two pixels, six bytes, per step.
  void Map(const uint8_t* S, uint8_t* D, int32_t Count, const TLut& L0, const TLut& L1, const TLut& L2) const {
    int32_t X = 0;
    for (; X + 2 <= Count; X += 2, S += 6, D += 6) {
      PutLE16(D, P0[GetLE16(S)]);
      PutLE16(D + 2, (*P1)[GetLE16(S + 2)]);
      PutLE16(D + 4, (*P2)[GetLE16(S + 4)]);
    }
    MapPixels(S, D, Count - X, 3, L0, L1, L2);
  }
};

void MapRows(TDib& Dib, const std::function<void(int32_t, std::span<uint8_t>)>& MapRow, int64_t WorkPerByte) {
  const int32_t W = Dib.Width();
  ParallelRows(Dib.Height(), int64_t(W) * 3 * WorkPerByte, [&](int32_t Begin, int32_t End) {
    std::vector<uint8_t> Bgr(size_t(W) * 3);
    TRowWriter Writer(Dib);
    for (int32_t Y = Begin; Y < End; ++Y) {
      GetRowBgr(Dib, Y, Bgr);
      MapRow(Y, Bgr);
      Writer.PutBgr(Y, Bgr);
    }
  });
}

void ApplyToGrayLevels(TDib& Dib, const TLut& G) {
  const int32_t W = Dib.Width();
  if (Dib.PaletteSize() == 256) {
    ParallelRows(Dib.Height(), W, [&](int32_t Begin, int32_t End) {
      for (int32_t Y = Begin; Y < End; ++Y) {
        uint8_t* P = Dib.ScanLine(Y);
        for (int32_t X = 0; X < W; ++X)
          P[X] = G[P[X]];
      }
    });
  } else if (Dib.PaletteSize() == 16) {
    for (int32_t Y = 0; Y < Dib.Height(); ++Y) {
      uint8_t* P = Dib.ScanLine(Y);
      for (int32_t X = 0; X < W; ++X)
        Set4(P, X, uint32_t(G[Get4(P, X) * 16] / 16));
    }
  }
}

// Pixels of Step bytes, blue first or (RedFirst) red first.
void ConvertRow(uint8_t* P, int32_t Count, int32_t Step, bool RedFirst, const THlsShift& Shift) {
  const int32_t R = RedFirst ? 0 : 2, B = 2 - R;
  for (int32_t X = 0; X < Count; ++X, P += Step) {
    const THsv C = AdjustHsv(RgbToHsv(P[R], P[1], P[B]), Shift);
    HsvToRgb(C, P[R], P[1], P[B]);
  }
}

void ConvertPalette(const TDib& Orig, TDib& Work, const THlsShift& Shift) {
  const uint8_t* S = Orig.PaletteEntries();
  uint8_t* D = Work.PaletteEntries();
  for (int32_t I = 0; I < Orig.PaletteSize(); ++I, S += 4, D += 4) {
    std::memcpy(D, S, 3);
    ConvertRow(D, 1, 4, false, Shift);
  }
}

// ceil(2^32 / D): X x M shr 32 is X div D for |X| <= 255 x 255, D <= 255,
// since the rounding up adds less than one D-th for such X.
constexpr std::array<uint64_t, 256> Reciprocals = [] {
  std::array<uint64_t, 256> M{};
  for (uint64_t D = 1; D < 256; ++D)
    M[D] = ((uint64_t(1) << 32) + D - 1) / D;
  return M;
}();

// X div D truncating toward zero, for |X| <= 65025 and 1 <= D <= 255.
int32_t DivByte(int32_t X, int32_t D) {
  const auto Q = int32_t((uint64_t(X < 0 ? -X : X) * Reciprocals[size_t(D)]) >> 32);
  return X < 0 ? -Q : Q;
}

} // namespace

TLut IdentityLut() {
  TLut L;
  for (int32_t V = 0; V < 256; ++V)
    L[size_t(V)] = uint8_t(V);
  return L;
}

TLut GammaTable(int32_t Position) {
  TLut L{};
  const double Exponent = 100.0 / std::max(Position, 1);
  for (int32_t V = 1; V < 256; ++V)
    L[size_t(V)] = Round255(255.0 * std::exp(std::log(V / 255.0) * Exponent));
  return L;
}

TLut ChannelTable(int32_t Brightness, int32_t Contrast, const TLut& Gamma) {
  TLut L;
  for (int32_t V = 0; V < 256; ++V) {
    const int32_t T = V + Brightness + int32_t(std::nearbyint((V - 127) * (Contrast - 100) / 100.0));
    L[size_t(V)] = Gamma[size_t(std::clamp(T, 0, 255))];
  }
  return L;
}

TLut LevelsTable(int32_t Lo, int32_t Hi) {
  TLut L;
  // A range of no width would divide by zero: it becomes a threshold.
  const double K = Hi > Lo ? 255.0 / (Hi - Lo) : 0.0;
  for (int32_t V = 0; V < 256; ++V)
    L[size_t(V)] = V <= Lo ? 0 : V >= Hi ? 255 : Round255((V - Lo) * K);
  return L;
}

std::unique_ptr<TDib> MakeTunePreview(const TDib& Source) {
  const int32_t W = Source.Width(), H = Source.Height();
  std::unique_ptr<TDib> P;
  if (W > PreviewSide || H > PreviewSide) {
    int32_t Nw = PreviewSide, Nh = PreviewSide;
    if (W < H)
      Nw = int32_t(std::nearbyint(double(PreviewSide) / H * W));
    else
      Nh = int32_t(std::nearbyint(double(PreviewSide) / W * H));
    ScaledPreview(Source, P, std::max(Nw, 1), 0.0f, rfLanczos, std::max(Nh, 1));
    return P;
  }
  P = Source.Clone();
  const TPixelFormat Pf = P->PixelFormat();
  if (Pf == pf15bit || Pf == pf16bit || Pf == pf32bit) {
    auto True = std::make_unique<TDib>(W, H, pf24bit);
    True->CopyAttributes(*P);
    for (int32_t Y = 0; Y < H; ++Y)
      GetRowBgr(*P, Y, True->Row(Y));
    P = std::move(True);
  }
  return P;
}

void MapPreview(const TDib& Orig, TDib& Work, const TLut& R, const TLut& G, const TLut& B) {
  if (Work.PaletteSize() > 0) {
    MapPalette(Orig, Work, R, G, B);
    return;
  }
  for (int32_t Y = 0; Y < Orig.Height(); ++Y)
    MapPixels(Orig.ScanLine(Y), Work.ScanLine(Y), Orig.Width(), 3, B, G, R);
}

void ApplyTables(TDib& Dib, const TLut& R, const TLut& G, const TLut& B) { MapTables(Dib, Dib, R, G, B); }

void MapTables(const TDib& Src, TDib& Dst, const TLut& R, const TLut& G, const TLut& B) {
  const TPixelFormat Pf = Dst.PixelFormat();
  const int32_t W = Dst.Width();
  const bool Direct = Pf == pf24bit || Pf == pf32bit || (Dst.IsGray && Dst.PaletteSize() == 256);
  if (!Direct && &Src != &Dst) {
    std::memcpy(Dst.Bits(), Src.Bits(), size_t(Src.ImageSize()));
    Dst.CopyPalette(Src);
  }
  if (Dst.PaletteSize() > 0 && !Direct) {
    if (Dst.IsGray)
      ApplyToGrayLevels(Dst, G);
    else
      MapPalette(Dst, Dst, R, G, B);
    return;
  }
  if (!Direct) {
    MapRows(
        Dst, [&](int32_t, std::span<uint8_t> Bgr) { MapPixels(Bgr.data(), Bgr.data(), W, 3, B, G, R); }, LutWork);
    return;
  }
  // 24-bit pixels are blue, green, red; 32-bit ones red, green, blue and a
  // fourth byte that stays; gray levels go through the green table.
  const bool Gray = Dst.PaletteSize() > 0, Red = Pf == pf32bit;
  const int32_t Step = Red ? 4 : 3;
  // The pair tables pay for themselves only on large images.
  const bool Pairs = Pf == pf24bit && int64_t(W) * Dst.Height() >= (int64_t(1) << 20);
  const std::unique_ptr<TPixelPairs> P = Pairs ? std::make_unique<TPixelPairs>(B, G, R) : nullptr;
  if (&Src != &Dst && Red)
    std::memcpy(Dst.Bits(), Src.Bits(), size_t(Src.ImageSize()));
  ParallelRows(Dst.Height(), int64_t(W) * 3 * LutWork, [&](int32_t Begin, int32_t End) {
    for (int32_t Y = Begin; Y < End; ++Y) {
      const uint8_t* S = Src.ScanLine(Y);
      uint8_t* D = Dst.ScanLine(Y);
      if (Gray) {
        for (int32_t X = 0; X < W; ++X)
          D[X] = G[S[X]];
      } else if (P) {
        P->Map(S, D, W, B, G, R);
      } else {
        MapPixels(S, D, W, Step, Red ? R : B, G, Red ? B : R);
      }
    }
  });
}

THsv RgbToHsv(int32_t R, int32_t G, int32_t B) {
  const int32_t Max = std::max({R, G, B}), Min = std::min({R, G, B});
  THsv C{0, Max == 0 ? 0 : DivByte((Max - Min) * 255, Max), Max};
  if (C.S == 0)
    return C;
  const int32_t D = Max - Min;
  if (Max == R)
    C.H = DivByte((G - B) * 60, D);
  else if (Max == G)
    C.H = DivByte((B - R) * 60, D) + 120;
  else
    C.H = DivByte((R - G) * 60, D) + 240;
  if (C.H < 0)
    C.H += 360;
  return C;
}

void HsvToRgb(const THsv& C, uint8_t& R, uint8_t& G, uint8_t& B) {
  const int32_t V = C.V, S = C.S;
  if (S == 0) {
    R = G = B = uint8_t(V);
    return;
  }
  const int32_t H = C.H == 360 ? 0 : C.H;
  const int32_t I = H / 60, F = H % 60;
  const auto P = uint8_t(V - V * S / 255), Q = uint8_t(V - V * S * F / 15300),
             T = uint8_t(V - V * S * (60 - F) / 15300);
  const auto Vb = uint8_t(V);
  switch (I) {
  case 0: R = Vb, G = T, B = P; break;
  case 1: R = Q, G = Vb, B = P; break;
  case 2: R = P, G = Vb, B = T; break;
  case 3: R = P, G = Q, B = Vb; break;
  case 4: R = T, G = P, B = Vb; break;
  case 5: R = Vb, G = P, B = Q; break;
  default: break;
  }
}

THsv AdjustHsv(THsv C, const THlsShift& Shift) {
  C.H += Shift.Hue;
  if (C.H >= 360)
    C.H -= 360;
  else if (C.H < 0)
    C.H += 360;
  C.S = std::min(RoundPercent(C.S * Shift.Saturation), 255);
  C.V = std::min(RoundPercent(C.V * Shift.Lightness), 255);
  return C;
}

TColor AdjustColor(TColor C, const THlsShift& Shift) {
  uint8_t R = GetRValue(C), G = GetGValue(C), B = GetBValue(C);
  HsvToRgb(AdjustHsv(RgbToHsv(R, G, B), Shift), R, G, B);
  return RGBColor(R, G, B);
}

void MapHlsPreview(const TDib& Orig, TDib& Work, const THlsShift& Shift) {
  if (Work.PaletteSize() > 0) {
    if (Shift.Changed())
      ConvertPalette(Orig, Work, Shift);
    else
      Work.CopyPalette(Orig);
    return;
  }
  std::memcpy(Work.Bits(), Orig.Bits(), size_t(Orig.ImageSize()));
  if (Shift.Changed())
    for (int32_t Y = 0; Y < Work.Height(); ++Y)
      ConvertRow(Work.ScanLine(Y), Work.Width(), 3, false, Shift);
}

void ApplyHls(TDib& Dib, const THlsShift& Shift) {
  if (Dib.PaletteSize() > 0) {
    ConvertPalette(Dib, Dib, Shift);
    return;
  }
  const TPixelFormat Pf = Dib.PixelFormat();
  const int32_t W = Dib.Width();
  // 32-bit pixels keep their fourth byte.
  if (Pf == pf24bit || Pf == pf32bit) {
    const int32_t Step = Pf == pf24bit ? 3 : 4;
    ParallelRows(Dib.Height(), int64_t(W) * HsvWork, [&](int32_t Begin, int32_t End) {
      for (int32_t Y = Begin; Y < End; ++Y)
        ConvertRow(Dib.ScanLine(Y), W, Step, Pf == pf32bit, Shift);
    });
    return;
  }
  MapRows(
      Dib, [&](int32_t, std::span<uint8_t> Bgr) { ConvertRow(Bgr.data(), W, 3, false, Shift); }, HsvWork);
}

THistogram ChannelHistogram(const TDib& Dib) {
  const int32_t W = Dib.Width(), H = Dib.Height();
  const bool Direct = Dib.PixelFormat() == pf24bit;
  std::vector<THistogram> Bands;
  std::mutex Lock;
  ParallelRows(H, int64_t(W) * 3, [&](int32_t Begin, int32_t End) {
    // Neighbours mostly share their levels: counting odd and even pixels
    // apart keeps each increment from waiting for the one before.
    THistogram Part[2];
    std::vector<uint8_t> Bgr(Direct ? 0 : size_t(W) * 3);
    for (int32_t Y = Begin; Y < End; ++Y) {
      const uint8_t* P = Dib.ScanLine(Y);
      if (!Direct) {
        GetRowBgr(Dib, Y, Bgr);
        P = Bgr.data();
      }
      int32_t X = 0;
      for (; X + 2 <= W; X += 2, P += 6) {
        ++Part[0].B[P[0]];
        ++Part[0].G[P[1]];
        ++Part[0].R[P[2]];
        ++Part[1].B[P[3]];
        ++Part[1].G[P[4]];
        ++Part[1].R[P[5]];
      }
      if (X < W) {
        ++Part[0].B[P[0]];
        ++Part[0].G[P[1]];
        ++Part[0].R[P[2]];
      }
    }
    std::lock_guard Hold(Lock);
    Bands.push_back(Part[0]);
    Bands.push_back(Part[1]);
  });
  THistogram Sum;
  for (const THistogram& Part : Bands)
    for (size_t I = 0; I < 256; ++I) {
      Sum.R[I] += Part.R[I];
      Sum.G[I] += Part.G[I];
      Sum.B[I] += Part.B[I];
    }
  return Sum;
}

TBarHeights HistogramHeights(const THistogram& H) {
  uint32_t M = 0;
  for (size_t I = 0; I < 256; ++I)
    M = std::max({M, H.R[I], H.G[I], H.B[I]});
  TBarHeights B;
  if (M == 0)
    return B;
  const double F = double(MaxBarHeight) / M;
  for (size_t I = 0; I < 256; ++I) {
    B.R[I] = int32_t(std::nearbyint(H.R[I] * F));
    B.G[I] = int32_t(std::nearbyint(H.G[I] * F));
    B.B[I] = int32_t(std::nearbyint(H.B[I] * F));
  }
  return B;
}
