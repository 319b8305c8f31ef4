#include "XColor.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

#include "ByteOrder.h"
#include "Errors.h"
#include "PixelLayout.h"
#include "XLuv.h"

std::atomic<double> LuvExposure{1.0};

namespace {

const char* const InternalErrorText = "Color Manager: internal error";
const char* const RowBoundsText = "Color Manager: pixels outside the row";

// Equals V * 255 div 65535 for every 16-bit V.
inline uint32_t Reduce16(uint32_t V) { return V / 257; }

inline uint32_t Blend8(uint32_t C, uint32_t Alpha, uint32_t Back) {
  return C * Alpha / 255 + (255 - Alpha) * Back / 255;
}

// Gamma 2 output of a linear value; NaN counts as black.
inline uint8_t GammaTwo(double V) {
  if (!(V > 0.0))
    return 0;
  if (V >= 1.0)
    return 255;
  return uint8_t(256.0 * std::sqrt(V));
}

inline uint8_t RoundClamp(double V) {
  if (!(V > 0.0))
    return 0;
  if (V >= 255.0)
    return 255;
  return uint8_t(std::nearbyint(V));
}

bool SourceHasAlpha(TColorFormat F) {
  return F == cfGrayAlpha || F == cfRGBA || F == cfBGRA || F == cfCMYKA || F == cfCIELabA;
}
bool TargetHasAlpha(TColorFormat F) { return F == cfGrayAlpha || F == cfRGBA || F == cfBGRA; }
bool IsRgbFormat(TColorFormat F) { return F >= cfRGB && F <= cfBGRA; }
bool IsRedFirst(TColorFormat F) { return F == cfRGB || F == cfRGBA; }

// Samples per target pixel; 0 for formats that name no target layout.
int32_t TargetSamplesOf(TColorFormat F) {
  switch (F) {
  case cfPalette:
  case cfGray: return 1;
  case cfGrayAlpha: return 2;
  case cfRGB:
  case cfBGR: return 3;
  case cfRGBA:
  case cfBGRA: return 4;
  default: return 0;
  }
}

bool Fits(size_t Size, int32_t Index, int32_t Count, int64_t PixelBits) {
  return uint64_t(Index) + uint64_t(Count) <= uint64_t(Size) * 8 / uint64_t(PixelBits);
}

inline uint32_t ReadBits(const uint8_t* S, uint64_t Bit, int32_t Count, bool HighFirst) {
  const uint8_t* P = S + Bit / 8;
  const int32_t Offset = int32_t(Bit % 8);
  if (Count == 16)
    return Get16(P, HighFirst);
  const int32_t Bytes = (Offset + Count + 7) / 8;
  uint32_t Acc = 0;
  for (int32_t K = 0; K < Bytes; ++K)
    Acc = Acc << 8 | P[K];
  return (Acc >> (Bytes * 8 - Offset - Count)) & ((1u << Count) - 1);
}

// Count is at most 8, so a value touches one or two bytes.
inline void WriteBits(uint8_t* D, uint64_t Bit, int32_t Count, uint32_t V) {
  uint8_t* P = D + Bit / 8;
  const int32_t Offset = int32_t(Bit % 8);
  const uint32_t Mask = (1u << Count) - 1;
  if (Offset + Count <= 8) {
    const int32_t Shift = 8 - Offset - Count;
    P[0] = uint8_t((P[0] & ~(Mask << Shift)) | (V << Shift));
  } else {
    const int32_t Shift = 16 - Offset - Count;
    const uint32_t W = GetBE16(P);
    PutBE16(P, uint16_t((W & ~(Mask << Shift)) | (V << Shift)));
  }
}

template <int B>
void UnpackTo8(const uint8_t* Table, const uint64_t* ByteTable, const uint8_t* S, uint8_t* D, uint64_t SourceBit,
               int32_t Count) {
  constexpr int32_t PerByte = 8 / B;
  constexpr uint32_t Mask = (1u << B) - 1;
  const uint8_t* P = S + SourceBit / 8;
  int32_t I = 0;
  if (const int32_t Phase = int32_t(SourceBit % 8) / B) {
    const uint32_t Byte = *P++;
    for (int32_t K = Phase; K < PerByte && I < Count; ++K)
      D[I++] = Table[(Byte >> (8 - B * (K + 1))) & Mask];
  }
  if constexpr (std::endian::native == std::endian::little) {
    for (; I + PerByte <= Count; I += PerByte)
      std::memcpy(D + I, &ByteTable[*P++], PerByte);
  } else {
    for (; I + PerByte <= Count; I += PerByte) {
      const uint32_t Byte = *P++;
      for (int32_t K = 0; K < PerByte; ++K)
        D[I + K] = Table[(Byte >> (8 - B * (K + 1))) & Mask];
    }
  }
  if (I < Count) {
    const uint32_t Byte = *P;
    for (int32_t K = 0; I < Count; ++K)
      D[I++] = Table[(Byte >> (8 - B * (K + 1))) & Mask];
  }
}

// One pixel of the samples C0, C1, C2, in that order or swapped, with a zero
// fourth byte when pixels take four bytes.
template <int DStep, bool Swap>
inline void StorePixel(uint8_t* Q, uint8_t C0, uint8_t C1, uint8_t C2) {
  Q[0] = Swap ? C2 : C0;
  Q[1] = C1;
  Q[2] = Swap ? C0 : C2;
  if constexpr (DStep == 4)
    Q[3] = 0;
}

// Runs Body.template operator()<SourceStep, DestStep, Swap>() with the
// common steps fixed at compile time (source step 0: the runtime step).
template <typename TBody>
void DispatchRgb(int32_t SourceStep, int32_t DestStep, bool Swap, TBody&& Body) {
  auto WithSwap = [&]<int S, int D>() {
    if (Swap)
      Body.template operator()<S, D, true>();
    else
      Body.template operator()<S, D, false>();
  };
  if (DestStep == 3) {
    if (SourceStep == 3)
      WithSwap.template operator()<3, 3>();
    else if (SourceStep == 4)
      WithSwap.template operator()<4, 3>();
    else
      WithSwap.template operator()<0, 3>();
  } else {
    if (SourceStep == 3)
      WithSwap.template operator()<3, 4>();
    else if (SourceStep == 4)
      WithSwap.template operator()<4, 4>();
    else
      WithSwap.template operator()<0, 4>();
  }
}

// Writes Count gray pixels of Gray(i) as 1 (gray), 2 (gray, 0) or 3 and 4
// (three equal color bytes, then 0) bytes.
template <typename TGray>
void StoreGray(uint8_t* Q, int32_t DestStep, int32_t Count, TGray&& Gray) {
  switch (DestStep) {
  case 1:
    for (int32_t I = 0; I < Count; ++I)
      Q[I] = uint8_t(Gray(I));
    break;
  case 2:
    for (int32_t I = 0; I < Count; ++I, Q += 2) {
      Q[0] = uint8_t(Gray(I));
      Q[1] = 0;
    }
    break;
  case 3:
    for (int32_t I = 0; I < Count; ++I, Q += 3)
      Q[0] = Q[1] = Q[2] = uint8_t(Gray(I));
    break;
  default:
    for (int32_t I = 0; I < Count; ++I, Q += 4) {
      Q[0] = Q[1] = Q[2] = uint8_t(Gray(I));
      Q[3] = 0;
    }
    break;
  }
}

// Writes Count pixels of Bgr(i, b, g, r) in blue, green, red order, 3 or 4
// bytes each.
template <typename TBgr>
void StoreBgr(uint8_t* Q, int32_t DestStep, int32_t Count, TBgr&& Bgr) {
  if (DestStep == 3) {
    for (int32_t I = 0; I < Count; ++I, Q += 3)
      Bgr(I, Q[0], Q[1], Q[2]);
  } else {
    for (int32_t I = 0; I < Count; ++I, Q += 4) {
      Bgr(I, Q[0], Q[1], Q[2]);
      Q[3] = 0;
    }
  }
}

// XYZ (D65 white at Y = 1) to gamma 2 bytes blue, green, red.
inline void XyzToBgr(double X, double Y, double Z, uint8_t& B, uint8_t& G, uint8_t& R) {
  R = GammaTwo(3.063 * X - 1.393 * Y - 0.476 * Z);
  G = GammaTwo(-0.969 * X + 1.876 * Y + 0.042 * Z);
  B = GammaTwo(0.068 * X - 0.229 * Y + 1.069 * Z);
}

// Luminance and chromaticity (u', v') to gamma 2 bytes blue, green, red.
inline void LuvToBgr(double L, double U, double V, uint8_t& B, uint8_t& G, uint8_t& R) {
  if (!(L > 0.0)) {
    B = G = R = 0;
    return;
  }
  const double S = 1.0 / (6.0 * U - 16.0 * V + 12.0);
  const double X = 9.0 * U * S, Y = 4.0 * V * S;
  XyzToBgr(X / Y * L, L, (1.0 - X - Y) / Y * L, B, G, R);
}

inline double LogL16ToY(uint32_t P) {
  const uint32_t Le = P & 0x7FFF;
  if (Le == 0)
    return 0.0;
  const double Y = std::exp(std::numbers::ln2 / 256.0 * (Le + 0.5) - std::numbers::ln2 * 64.0);
  return (P & 0x8000) ? -Y : Y;
}

inline double LogL10ToY(uint32_t Le) {
  if (Le == 0)
    return 0.0;
  return std::exp(std::numbers::ln2 / 64.0 * (Le + 0.5) - std::numbers::ln2 * 12.0);
}

int32_t RoundTableValue(double V) {
  if (std::isnan(V))
    return 0;
  return int32_t(std::nearbyint(std::clamp(V, -1.0e6, 1.0e6)));
}

} // namespace

struct TColorRoutines {
  using TCM = TColorManager;

  static void InternalError(TCM&, const uint8_t*, uint8_t*, int32_t, int32_t, int32_t) {
    throw EColorConversionError(InternalErrorText);
  }

  static bool HighFirst(const TCM& CM) { return (CM.SourceFlags & sfSwap16) != 0; }

  static uint32_t Back(int32_t V) { return ClampByte(V); }

  // LevelTable on the color bytes of Count stored pixels.
  static void ApplyLevels(const TCM& CM, uint8_t* Q, int32_t Count) {
    if (!(CM.Flags & cmfLevels))
      return;
    const uint8_t* Table = CM.LevelTable;
    switch (CM.FDestStep) {
    case 1:
    case 3: {
      const size_t Bytes = size_t(Count) * size_t(CM.FDestStep);
      for (size_t I = 0; I < Bytes; ++I)
        Q[I] = Table[Q[I]];
      break;
    }
    case 2:
      for (int32_t I = 0; I < Count; ++I, Q += 2)
        Q[0] = Table[Q[0]];
      break;
    default:
      for (int32_t I = 0; I < Count; ++I, Q += 4) {
        Q[0] = Table[Q[0]];
        Q[1] = Table[Q[1]];
        Q[2] = Table[Q[2]];
      }
      break;
    }
  }

  static void Unpack(TCM& CM, const uint8_t* S, uint8_t* D, int32_t DI, int32_t SI, int32_t N) {
    const int32_t SB = CM.FSourceBits, TB = CM.FUnpackBits;
    if (SB == 8 && TB == 8) {
      std::memmove(D + DI, S + SI, size_t(N));
      return;
    }
    uint64_t SBit = uint64_t(SI) * uint64_t(SB), DBit = uint64_t(DI) * uint64_t(TB);
    if (SB == TB && SB < 8 && SBit % 8 == 0 && DBit % 8 == 0) {
      // Same depth keeps every value: copy the bits.
      const uint64_t Bits = uint64_t(N) * uint64_t(SB);
      const size_t Whole = size_t(Bits / 8);
      std::memmove(D + DBit / 8, S + SBit / 8, Whole);
      if (const uint32_t Rest = uint32_t(Bits % 8)) {
        const uint8_t Mask = uint8_t(0xFF00u >> Rest);
        uint8_t& Out = D[DBit / 8 + Whole];
        Out = uint8_t((Out & ~Mask) | (S[SBit / 8 + Whole] & Mask));
      }
      return;
    }
    if (TB == 8) {
      switch (SB) {
      case 1: UnpackTo8<1>(CM.FUnpackTable, CM.FUnpackBytes, S, D + DI, SBit, N); return;
      case 2: UnpackTo8<2>(CM.FUnpackTable, CM.FUnpackBytes, S, D + DI, SBit, N); return;
      case 4: UnpackTo8<4>(CM.FUnpackTable, CM.FUnpackBytes, S, D + DI, SBit, N); return;
      default: break;
      }
    }
    const bool Hi = HighFirst(CM);
    const bool Keep = (CM.Flags & cmfKeepValues) != 0;
    const uint32_t SMax = (1u << SB) - 1, TMax = (1u << TB) - 1;
    for (int32_t I = 0; I < N; ++I, SBit += uint64_t(SB), DBit += uint64_t(TB)) {
      const uint32_t V = ReadBits(S, SBit, SB, Hi);
      const uint32_t Out = SB <= 8 ? CM.FUnpackTable[V] : Keep ? V : V * TMax / SMax;
      WriteBits(D, DBit, TB, Out & TMax);
    }
  }

  static void GrayCopy(TCM& CM, const uint8_t* S, uint8_t* D, int32_t DI, int32_t SI, int32_t N) {
    const int32_t SS = CM.FSourceStep, DS = CM.FDestStep;
    uint8_t* Q = D + size_t(DI) * size_t(DS);
    if (CM.FSourceBits == 8) {
      const uint8_t* P = S + size_t(SI) * size_t(SS);
      if (SS == 1 && DS == 1)
        std::memmove(Q, P, size_t(N));
      else
        StoreGray(Q, DS, N, [&](int32_t I) { return P[size_t(I) * SS]; });
    } else {
      const uint8_t* P = S + size_t(SI) * size_t(SS) * 2;
      const bool Hi = HighFirst(CM);
      StoreGray(Q, DS, N, [&](int32_t I) { return Reduce16(Get16(P + size_t(I) * SS * 2, Hi)); });
    }
    ApplyLevels(CM, Q, N);
  }

  static void GrayComposite(TCM& CM, const uint8_t* S, uint8_t* D, int32_t DI, int32_t SI, int32_t N) {
    const int32_t SS = CM.FSourceStep, DS = CM.FDestStep;
    const uint32_t BackGray = Back(CM.BackR);
    uint8_t* Q = D + size_t(DI) * size_t(DS);
    if (CM.FSourceBits == 8) {
      const uint8_t* P = S + size_t(SI) * size_t(SS);
      StoreGray(Q, DS, N, [&](int32_t I) {
        const uint8_t* Px = P + size_t(I) * SS;
        return Blend8(Px[0], Px[1], BackGray);
      });
    } else {
      const uint8_t* P = S + size_t(SI) * size_t(SS) * 2;
      const bool Hi = HighFirst(CM);
      StoreGray(Q, DS, N, [&](int32_t I) {
        const uint8_t* Px = P + size_t(I) * SS * 2;
        return Blend8(Reduce16(Get16(Px, Hi)), Reduce16(Get16(Px + 2, Hi)), BackGray);
      });
    }
    ApplyLevels(CM, Q, N);
  }

  static void RgbCopy8(TCM& CM, const uint8_t* S, uint8_t* D, int32_t DI, int32_t SI, int32_t N) {
    const int32_t SS = CM.FSourceStep, DS = CM.FDestStep;
    const uint8_t* const P0 = S + size_t(SI) * size_t(SS);
    uint8_t* const Q0 = D + size_t(DI) * size_t(DS);
    if (SS == 3 && DS == 3 && !CM.SwapRB) {
      std::memmove(Q0, P0, size_t(N) * 3);
    } else if (SS == 3 && DS == 3 && (Q0 <= P0 || Q0 >= P0 + size_t(N) * 3)) {
      CopySwapRedBlue3(P0, Q0, N);
    } else {
      DispatchRgb(SS, DS, CM.SwapRB, [&]<int SStep, int DStep, bool Swap>() {
        const size_t Step = SStep ? size_t(SStep) : size_t(SS);
        const uint8_t* P = P0;
        uint8_t* Q = Q0;
        for (int32_t I = 0; I < N; ++I, P += Step, Q += DStep)
          StorePixel<DStep, Swap>(Q, P[0], P[1], P[2]);
      });
    }
    ApplyLevels(CM, Q0, N);
  }

  static void RgbCopy16(TCM& CM, const uint8_t* S, uint8_t* D, int32_t DI, int32_t SI, int32_t N) {
    const int32_t SS = CM.FSourceStep, DS = CM.FDestStep;
    const uint8_t* const P0 = S + size_t(SI) * size_t(SS) * 2;
    uint8_t* const Q0 = D + size_t(DI) * size_t(DS);
    const bool Hi = HighFirst(CM);
    DispatchRgb(SS, DS, CM.SwapRB, [&]<int SStep, int DStep, bool Swap>() {
      const size_t Step = (SStep ? size_t(SStep) : size_t(SS)) * 2;
      auto Run = [&](auto HighFirstConst) {
        constexpr bool H = decltype(HighFirstConst)::value;
        const uint8_t* P = P0;
        uint8_t* Q = Q0;
        for (int32_t I = 0; I < N; ++I, P += Step, Q += DStep) {
          const uint8_t C0 = uint8_t(Reduce16(Get16(P, H)));
          const uint8_t C1 = uint8_t(Reduce16(Get16(P + 2, H)));
          const uint8_t C2 = uint8_t(Reduce16(Get16(P + 4, H)));
          StorePixel<DStep, Swap>(Q, C0, C1, C2);
        }
      };
      if (Hi)
        Run(std::true_type{});
      else
        Run(std::false_type{});
    });
    ApplyLevels(CM, Q0, N);
  }

  // Background of the source's first and third sample.
  static void SourceBack(const TCM& CM, uint32_t& Back0, uint32_t& Back2) {
    Back0 = Back(CM.FSourceRedFirst ? CM.BackR : CM.BackB);
    Back2 = Back(CM.FSourceRedFirst ? CM.BackB : CM.BackR);
  }

  // C * Alpha div 255 at [Alpha * 256 + C].
  static const uint8_t* AlphaProducts() {
    static const std::vector<uint8_t> Table = [] {
      std::vector<uint8_t> T(65536);
      for (uint32_t A = 0; A < 256; ++A)
        for (uint32_t C = 0; C < 256; ++C)
          T[A * 256 + C] = uint8_t(C * A / 255);
      return T;
    }();
    return Table.data();
  }

  static void RgbComposite8(TCM& CM, const uint8_t* S, uint8_t* D, int32_t DI, int32_t SI, int32_t N) {
    const int32_t SS = CM.FSourceStep, DS = CM.FDestStep;
    const uint8_t* const P0 = S + size_t(SI) * size_t(SS);
    uint8_t* const Q0 = D + size_t(DI) * size_t(DS);
    uint32_t Back0, Back2;
    SourceBack(CM, Back0, Back2);
    const uint32_t Back1 = Back(CM.BackG);
    // The background's share (255 - Alpha) * Back div 255 per alpha and sample.
    uint8_t Share0[256], Share1[256], Share2[256];
    for (uint32_t A = 0; A < 256; ++A) {
      Share0[A] = uint8_t((255 - A) * Back0 / 255);
      Share1[A] = uint8_t((255 - A) * Back1 / 255);
      Share2[A] = uint8_t((255 - A) * Back2 / 255);
    }
    const uint8_t* const Products = AlphaProducts();
    DispatchRgb(SS, DS, CM.SwapRB, [&]<int SStep, int DStep, bool Swap>() {
      const size_t Step = SStep ? size_t(SStep) : size_t(SS);
      const uint8_t* P = P0;
      uint8_t* Q = Q0;
      for (int32_t I = 0; I < N; ++I, P += Step, Q += DStep) {
        const uint32_t A = P[3];
        const uint8_t* M = Products + A * 256;
        const uint8_t C0 = uint8_t(M[P[0]] + Share0[A]);
        const uint8_t C1 = uint8_t(M[P[1]] + Share1[A]);
        const uint8_t C2 = uint8_t(M[P[2]] + Share2[A]);
        StorePixel<DStep, Swap>(Q, C0, C1, C2);
      }
    });
    ApplyLevels(CM, Q0, N);
  }

  static void RgbComposite16(TCM& CM, const uint8_t* S, uint8_t* D, int32_t DI, int32_t SI, int32_t N) {
    const int32_t SS = CM.FSourceStep, DS = CM.FDestStep;
    const uint8_t* const P0 = S + size_t(SI) * size_t(SS) * 2;
    uint8_t* const Q0 = D + size_t(DI) * size_t(DS);
    const bool Hi = HighFirst(CM);
    uint32_t Back0, Back2;
    SourceBack(CM, Back0, Back2);
    const uint32_t Back1 = Back(CM.BackG);
    DispatchRgb(SS, DS, CM.SwapRB, [&]<int SStep, int DStep, bool Swap>() {
      const size_t Step = (SStep ? size_t(SStep) : size_t(SS)) * 2;
      const uint8_t* P = P0;
      uint8_t* Q = Q0;
      for (int32_t I = 0; I < N; ++I, P += Step, Q += DStep) {
        const uint32_t A = Reduce16(Get16(P + 6, Hi));
        const uint8_t C0 = uint8_t(Blend8(Reduce16(Get16(P, Hi)), A, Back0));
        const uint8_t C1 = uint8_t(Blend8(Reduce16(Get16(P + 2, Hi)), A, Back1));
        const uint8_t C2 = uint8_t(Blend8(Reduce16(Get16(P + 4, Hi)), A, Back2));
        StorePixel<DStep, Swap>(Q, C0, C1, C2);
      }
    });
    ApplyLevels(CM, Q0, N);
  }

  static void Cmyk(TCM& CM, const uint8_t* S, uint8_t* D, int32_t DI, int32_t SI, int32_t N) {
    const int32_t SS = CM.FSourceStep;
    const bool Wide = CM.FSourceBits == 16, Hi = HighFirst(CM), Composite = CM.FComposite;
    const uint32_t BackB = Back(CM.BackB), BackG = Back(CM.BackG), BackR = Back(CM.BackR);
    const size_t Step = size_t(SS) * (Wide ? 2 : 1);
    const uint8_t* const P0 = S + size_t(SI) * Step;
    StoreBgr(D + size_t(DI) * size_t(CM.FDestStep), CM.FDestStep, N,
             [&](int32_t I, uint8_t& B, uint8_t& G, uint8_t& R) {
               const uint8_t* P = P0 + size_t(I) * Step;
               uint32_t C, M, Y, A = 255;
               if (Wide) {
                 const uint32_t K = Get16(P + 6, Hi);
                 auto Ink = [K](uint32_t X) {
                   const int64_t V = 65535 - int64_t(X - X * K / 65535 + K);
                   return Reduce16(uint32_t(std::clamp<int64_t>(V, 0, 65535)));
                 };
                 C = Ink(Get16(P, Hi));
                 M = Ink(Get16(P + 2, Hi));
                 Y = Ink(Get16(P + 4, Hi));
                 if (Composite)
                   A = Reduce16(Get16(P + 8, Hi));
               } else {
                 const uint32_t K = P[3];
                 auto Ink = [K](uint32_t X) { return uint32_t(ClampByte(255 - int32_t(X - X * K / 255 + K))); };
                 C = Ink(P[0]);
                 M = Ink(P[1]);
                 Y = Ink(P[2]);
                 if (Composite)
                   A = P[4];
               }
               if (Composite) {
                 Y = Blend8(Y, A, BackB);
                 M = Blend8(M, A, BackG);
                 C = Blend8(C, A, BackR);
               }
               B = uint8_t(Y);
               G = uint8_t(M);
               R = uint8_t(C);
             });
  }

  static void Lab(TCM& CM, const uint8_t* S, uint8_t* D, int32_t DI, int32_t SI, int32_t N) {
    const int32_t SS = CM.FSourceStep;
    const bool L255 = CM.SourceFlags & sfLabL255, Unsigned = CM.SourceFlags & sfLabUnsigned;
    const bool Composite = CM.FComposite;
    const uint32_t BackB = Back(CM.BackB), BackG = Back(CM.BackG), BackR = Back(CM.BackR);
    const uint8_t* const P0 = S + size_t(SI) * size_t(SS);
    // D65 reference white, so that L* 100 with a* = b* = 0 is white.
    constexpr double WhiteX = 0.950456, WhiteZ = 1.088754;
    auto Finv = [](double F) { return F > 0.206893 ? F * F * F : (F - 16.0 / 116.0) / 7.787; };
    StoreBgr(D + size_t(DI) * size_t(CM.FDestStep), CM.FDestStep, N,
             [&](int32_t I, uint8_t& B, uint8_t& G, uint8_t& R) {
               const uint8_t* P = P0 + size_t(I) * size_t(SS);
               const double L = L255 ? P[0] / 2.55 : double(P[0]);
               const double A = Unsigned ? P[1] - 128.0 : double(int8_t(P[1]));
               const double Bs = Unsigned ? P[2] - 128.0 : double(int8_t(P[2]));
               const double Fy = L > 7.9996 ? (L + 16.0) / 116.0 : L / 903.3 * 7.787 + 16.0 / 116.0;
               const double Fx = Fy + A / 500.0, Fz = Fy - Bs / 200.0;
               XyzToBgr(WhiteX * Finv(Fx), Finv(Fy), WhiteZ * Finv(Fz), B, G, R);
               if (Composite) {
                 const uint32_t Alpha = P[3];
                 B = uint8_t(Blend8(B, Alpha, BackB));
                 G = uint8_t(Blend8(G, Alpha, BackG));
                 R = uint8_t(Blend8(R, Alpha, BackR));
               }
             });
  }

  static void YCbCr(TCM& CM, const uint8_t* S, uint8_t* D, int32_t DI, int32_t SI, int32_t N) {
    const int32_t SS = CM.FSourceStep;
    const bool Wide = CM.FSourceBits == 16, Hi = HighFirst(CM);
    const size_t Step = size_t(SS) * (Wide ? 2 : 1);
    const uint8_t* const P0 = S + size_t(SI) * Step;
    const int32_t* CrR = CM.CrRTable;
    const int32_t* CbB = CM.CbBTable;
    const int32_t* CbG = CM.CbGTable;
    const int32_t* CrG = CM.CrGTable;
    auto Store = [&](auto Sample) {
      StoreBgr(D + size_t(DI) * size_t(CM.FDestStep), CM.FDestStep, N,
               [&](int32_t I, uint8_t& B, uint8_t& G, uint8_t& R) {
                 const uint8_t* P = P0 + size_t(I) * Step;
                 const int32_t Y = Sample(P, 0), Cb = Sample(P, 1), Cr = Sample(P, 2);
                 B = ClampByte(Y + CbB[Cb]);
                 G = ClampByte(Y + CbG[Cb] + CrG[Cr]);
                 R = ClampByte(Y + CrR[Cr]);
               });
    };
    if (Wide)
      Store([Hi](const uint8_t* P, int K) { return int32_t(Reduce16(Get16(P + 2 * K, Hi))); });
    else
      Store([](const uint8_t* P, int K) { return int32_t(P[K]); });
  }

  // Gamma through LevelTable under cmfLevels, like the other color routines.
  static void PhotoYcc(TCM& CM, const uint8_t* S, uint8_t* D, int32_t DI, int32_t SI, int32_t N) {
    const int32_t SS = CM.FSourceStep;
    const uint8_t* const P0 = S + size_t(SI) * size_t(SS);
    uint8_t* const Q0 = D + size_t(DI) * size_t(CM.FDestStep);
    constexpr int32_t Half = 1 << 15;
    StoreBgr(Q0, CM.FDestStep, N, [&](int32_t I, uint8_t& B, uint8_t& G, uint8_t& R) {
      const uint8_t* P = P0 + size_t(I) * size_t(SS);
      const int32_t L = CM.FYccL[P[0]] + Half;
      B = ClampByte((L + CM.FYccC1B[P[1]]) >> 16);
      G = ClampByte((L + CM.FYccC1G[P[1]] + CM.FYccC2G[P[2]]) >> 16);
      R = ClampByte((L + CM.FYccC2R[P[2]]) >> 16);
    });
    ApplyLevels(CM, Q0, N);
  }

  static double ExposureFactor(const TCM& CM) { return CM.ExposureOn ? CM.Exposure : 1.0; }

  static void LogLuv32(TCM& CM, const uint8_t* S, uint8_t* D, int32_t DI, int32_t SI, int32_t N) {
    const int32_t SS = CM.FSourceStep;
    const double Factor = ExposureFactor(CM);
    const uint8_t* const P0 = S + size_t(SI) * size_t(SS);
    StoreBgr(D + size_t(DI) * size_t(CM.FDestStep), CM.FDestStep, N,
             [&](int32_t I, uint8_t& B, uint8_t& G, uint8_t& R) {
               const uint8_t* P = P0 + size_t(I) * size_t(SS);
               const double L = LogL16ToY(GetBE16(P)) * Factor;
               LuvToBgr(L, (P[2] + 0.5) / 410.0, (P[3] + 0.5) / 410.0, B, G, R);
             });
  }

  static void LogLuv24(TCM& CM, const uint8_t* S, uint8_t* D, int32_t DI, int32_t SI, int32_t N) {
    const int32_t SS = CM.FSourceStep;
    const double Factor = ExposureFactor(CM);
    const uint8_t* const P0 = S + size_t(SI) * size_t(SS);
    StoreBgr(D + size_t(DI) * size_t(CM.FDestStep), CM.FDestStep, N,
             [&](int32_t I, uint8_t& B, uint8_t& G, uint8_t& R) {
               const uint8_t* P = P0 + size_t(I) * size_t(SS);
               const uint32_t V = GetBE24(P);
               double U, Vc;
               LuvDecodeUv(int32_t(V & 0x3FFF), U, Vc);
               LuvToBgr(LogL10ToY(V >> 14 & 0x3FF) * Factor, U, Vc, B, G, R);
             });
  }

  static void LogLGray(TCM& CM, const uint8_t* S, uint8_t* D, int32_t DI, int32_t SI, int32_t N) {
    const double Factor = ExposureFactor(CM);
    const bool Hi = HighFirst(CM);
    const uint8_t* const P0 = S + size_t(SI) * size_t(CM.FSourceStep) * 2;
    StoreGray(D + size_t(DI) * size_t(CM.FDestStep), CM.FDestStep, N,
              [&](int32_t I) { return GammaTwo(LogL16ToY(Get16(P0 + size_t(I) * CM.FSourceStep * 2, Hi)) * Factor); });
  }
};

TColorManager::TColorManager() : FConvertRow(&TColorRoutines::InternalError) {
  Exposure = LuvExposure;
  for (int32_t I = 0; I < 256; ++I)
    LevelTable[I] = uint8_t(I);
}

void TColorManager::SetSource(TColorFormat Format, int32_t Samples, int32_t Bits) {
  if (Format == SourceFormat && Samples == SourceSamples && Bits == SourceBits)
    return;
  SourceFormat = Format;
  SourceSamples = Samples;
  SourceBits = Bits;
  Prepare();
}

void TColorManager::SetTarget(TColorFormat Format, int32_t Bits) {
  if (Format == TargetFormat && Bits == TargetBits)
    return;
  TargetFormat = Format;
  TargetBits = Bits;
  Prepare();
}

void TColorManager::SetSourceFlags(uint8_t AFlags) {
  if (AFlags == SourceFlags)
    return;
  SourceFlags = AFlags;
  Prepare();
}

void TColorManager::SetFlags(uint8_t AFlags) {
  if (AFlags == Flags)
    return;
  Flags = AFlags;
  Prepare();
}

void TColorManager::SetBackground(int32_t R, int32_t G, int32_t B) {
  BackR = R;
  BackG = G;
  BackB = B;
}

void TColorManager::SetGamma(double Display, double File) {
  DisplayGamma = Display > 0.0 ? Display : 2.0;
  FileGamma = File > 0.0 ? File : 0.45;
  const double Exponent = 1.0 / (FileGamma * DisplayGamma);
  LevelTable[0] = 0;
  for (int32_t I = 1; I < 256; ++I)
    LevelTable[I] = RoundClamp(255.0 * std::pow(I / 255.0, Exponent));
}

void TColorManager::SetLevels(int32_t Low, int32_t High) {
  Low = std::clamp(Low, 0, 255);
  High = std::clamp(High, 0, 255);
  if (Low > High)
    std::swap(Low, High);
  if (Low == 0 && High == 255)
    return;
  std::memset(LevelTable, 0, sizeof(LevelTable));
  if (Low == High)
    LevelTable[High] = 255;
  else
    for (int32_t V = Low; V <= High; ++V)
      LevelTable[V] = RoundClamp((V - Low) * 255.0 / (High - Low));
  Flags |= cmfLevels;
}

void TColorManager::SetWeights(float R, float G, float B) {
  if (R >= 0.0f)
    WeightR = R;
  if (G >= 0.0f)
    WeightG = G;
  if (B >= 0.0f)
    WeightB = B;
  BuildYCbCrTables();
  BuildPhotoYccTables();
}

void TColorManager::SetExposure(double E) {
  Exposure = E;
  LuvExposure = E;
}

uint8_t TColorManager::PixelFormatFor(bool Target) const {
  const int32_t Samples = Target ? TargetSamples : SourceSamples;
  const int32_t Bits = Target ? TargetBits : SourceBits;
  switch (Samples) {
  case 1:
    if (Bits == 1)
      return pf1bit;
    if (Bits >= 2 && Bits <= 4)
      return pf4bit;
    if (Bits >= 8 && Bits <= 16)
      return pf8bit;
    break;
  case 3: return Bits >= 1 && Bits <= 5 ? pf15bit : pf24bit;
  case 4:
    if (Bits >= 8)
      return pf32bit;
    break;
  default: break;
  }
  return pfInvalid;
}

void TColorManager::BuildYCbCrTables() {
  const double R = WeightR, G = WeightG, B = WeightB;
  for (int32_t I = 0; I < 256; ++I) {
    const double C = I - 128;
    CrRTable[I] = RoundTableValue(C * (2.0 - 2.0 * R));
    CbBTable[I] = RoundTableValue(C * (2.0 - 2.0 * B));
    CrGTable[I] = -RoundTableValue(C * R * (2.0 - 2.0 * R) / G);
    CbGTable[I] = -RoundTableValue(C * B * (2.0 - 2.0 * B) / G);
  }
}

// Green solves the luminance sum for the blue and red differences; the
// default weights give the usual factors 0.194 and 0.509.
void TColorManager::BuildPhotoYccTables() {
  const double G = WeightG > 0.0f ? WeightG : 1.0;
  const double C1ToG = WeightB / G, C2ToG = WeightR / G;
  constexpr double One = 65536.0;
  // Three terms of this bound still sum inside int32.
  auto Fixed = [](double V) { return int32_t(std::nearbyint(std::clamp(V, -3.0e8, 3.0e8))); };
  for (int32_t I = 0; I < 256; ++I) {
    const double C1 = 2.2179 * (I - 156), C2 = 1.8215 * (I - 137);
    FYccL[I] = Fixed(1.3584 * I * One);
    FYccC1B[I] = Fixed(C1 * One);
    FYccC2R[I] = Fixed(C2 * One);
    FYccC1G[I] = -Fixed(C1ToG * C1 * One);
    FYccC2G[I] = -Fixed(C2ToG * C2 * One);
  }
}

void TColorManager::BuildUnpackTable() {
  if (FSourceBits > 8)
    return;
  const uint32_t SourceMax = (1u << FSourceBits) - 1;
  const uint32_t Max = (Flags & cmfKeepValues) ? SourceMax : (1u << FUnpackBits) - 1;
  for (uint32_t V = 0; V <= SourceMax; ++V)
    FUnpackTable[V] = uint8_t(V * Max / SourceMax);
  if (FUnpackBits != 8 || 8 % FSourceBits != 0)
    return;
  const int32_t PerByte = 8 / FSourceBits;
  for (uint32_t Byte = 0; Byte < 256; ++Byte) {
    uint64_t Out = 0;
    for (int32_t K = 0; K < PerByte; ++K)
      Out |= uint64_t(FUnpackTable[(Byte >> (8 - FSourceBits * (K + 1))) & SourceMax]) << (8 * K);
    FUnpackBytes[Byte] = Out;
  }
}

void TColorManager::Prepare() {
  FConvertRow = &TColorRoutines::InternalError;
  FSourcePixelBits = FDestPixelBits = 0;
  SwapRB = false;
  if (SourceFormat == cfNone || TargetFormat == cfNone)
    return;
  SourceFlags = uint8_t(SourceHasAlpha(SourceFormat) ? SourceFlags | sfHasAlpha : SourceFlags & ~sfHasAlpha);
  Flags = uint8_t(TargetHasAlpha(TargetFormat) ? Flags | cmfHasAlpha : Flags & ~cmfHasAlpha);
  const int32_t DestBytes = TargetSamplesOf(TargetFormat);
  if (DestBytes)
    TargetSamples = DestBytes;

  FSourceBits = SourceBits;
  FSourceStep = SourceSamples;
  FDestStep = DestBytes;
  FSourceRedFirst = IsRedFirst(SourceFormat);
  const bool Composite = (SourceFlags & sfHasAlpha) && (Flags & cmfComposite);
  FComposite = Composite;
  const bool Bits8Or16 = SourceBits == 8 || SourceBits == 16;
  const bool RgbTarget = IsRgbFormat(TargetFormat);
  TRowRoutine Routine = nullptr;
  int32_t NeedSamples = 1;

  switch (SourceFormat) {
  case cfPalette:
  case cfGray:
    if (SourceFormat == cfPalette || SourceBits < 8 || TargetBits < 8) {
      if (SourceSamples != 1 || SourceBits < 1 || SourceBits > 16 || TargetBits < 1 || TargetBits > 16)
        return;
      // Deeper targets hold 8 bits: the pixel buffer has no deeper format.
      FUnpackBits = std::min(TargetBits, 8);
      BuildUnpackTable();
      FSourcePixelBits = SourceBits;
      FDestPixelBits = FUnpackBits;
      FConvertRow = &TColorRoutines::Unpack;
      return;
    }
    if (Bits8Or16)
      Routine = &TColorRoutines::GrayCopy;
    break;
  case cfGrayAlpha:
    if (Bits8Or16) {
      const bool GrayComposite = TargetBits == 8 && (Flags & cmfComposite);
      Routine = GrayComposite ? &TColorRoutines::GrayComposite : &TColorRoutines::GrayCopy;
      NeedSamples = GrayComposite ? 2 : 1;
    }
    break;
  case cfRGB:
  case cfRGBA:
  case cfBGR:
  case cfBGRA:
    if (RgbTarget && Bits8Or16) {
      SwapRB = IsRedFirst(SourceFormat) != IsRedFirst(TargetFormat);
      if (Composite)
        Routine = SourceBits == 8 ? &TColorRoutines::RgbComposite8 : &TColorRoutines::RgbComposite16;
      else
        Routine = SourceBits == 8 ? &TColorRoutines::RgbCopy8 : &TColorRoutines::RgbCopy16;
      NeedSamples = Composite ? 4 : 3;
    }
    break;
  case cfCMYK:
  case cfCMYKA:
    if (RgbTarget && Bits8Or16) {
      Routine = &TColorRoutines::Cmyk;
      NeedSamples = Composite ? 5 : 4;
    }
    break;
  case cfCIELab:
  case cfCIELabA:
    if (RgbTarget && SourceBits == 8) {
      Routine = &TColorRoutines::Lab;
      NeedSamples = Composite ? 4 : 3;
    }
    break;
  case cfYCbCr:
    if (RgbTarget && Bits8Or16) {
      BuildYCbCrTables();
      Routine = &TColorRoutines::YCbCr;
      NeedSamples = 3;
    }
    break;
  case cfPhotoYCC:
    if (RgbTarget && SourceBits == 8) {
      BuildPhotoYccTables();
      Routine = &TColorRoutines::PhotoYcc;
      NeedSamples = 3;
    }
    break;
  case cfLogLuv:
    if (RgbTarget && SourceBits == 8 && SourceSamples == 4)
      Routine = &TColorRoutines::LogLuv32;
    else if (RgbTarget && SourceBits == 8 && SourceSamples == 3)
      Routine = &TColorRoutines::LogLuv24;
    else if (TargetFormat == cfGray && SourceBits == 16 && SourceSamples == 1)
      Routine = &TColorRoutines::LogLGray;
    break;
  default: break;
  }
  if (!Routine || DestBytes == 0 || SourceSamples < NeedSamples)
    return;
  FConvertRow = Routine;
  FSourcePixelBits = int64_t(SourceBits) * SourceSamples;
  FDestPixelBits = int64_t(DestBytes) * 8;
}

void TColorManager::ConvertRow(std::span<const uint8_t> Source, std::span<uint8_t> Dest, int32_t DestIndex,
                               int32_t SourceIndex, int32_t Count) {
  if (FSourcePixelBits <= 0 || FDestPixelBits <= 0)
    throw EColorConversionError(InternalErrorText);
  if (SourceIndex < 0 || DestIndex < 0 || Count < 0 || !Fits(Source.size(), SourceIndex, Count, FSourcePixelBits) ||
      !Fits(Dest.size(), DestIndex, Count, FDestPixelBits))
    throw EColorConversionError(RowBoundsText);
  if (Count > 0)
    FConvertRow(*this, Source.data(), Dest.data(), DestIndex, SourceIndex, Count);
}
