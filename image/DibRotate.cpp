#include "DibRotate.h"
#include "DibRotateSimd.h"
#include "DibRotateTiles.h"
#include "PixelLayout.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

inline uint64_t Load24(const uint8_t* P) {
  uint32_t V;
  std::memcpy(&V, P, 4);
  return V & 0xFFFFFFu;
}

// Eight three-byte pixels down a source column make one destination run of
// 24 bytes, stored as three words instead of eight unaligned three-byte moves.
struct TKernel24 {
  static constexpr int32_t Side = 8;
  // The word load of the last pixel reads the byte after it.
  static constexpr int32_t Overread = 1;

  static void Run(const uint8_t* S, ptrdiff_t SS, uint8_t* D, ptrdiff_t DS) {
    for (int32_t J = 0; J < 8; ++J, S += 3, D += DS) {
      uint64_t P[8];
      for (int32_t I = 0; I < 8; ++I)
        P[I] = Load24(S + I * SS);
      const uint64_t W0 = P[0] | P[1] << 24 | P[2] << 48;
      const uint64_t W1 = P[2] >> 16 | P[3] << 8 | P[4] << 32 | P[5] << 56;
      const uint64_t W2 = P[5] >> 8 | P[6] << 16 | P[7] << 40;
      std::memcpy(D, &W0, 8);
      std::memcpy(D + 8, &W1, 8);
      std::memcpy(D + 16, &W2, 8);
    }
  }
};

#if defined(__SSE2__)
template <int N>
inline __m128i InterleaveLow(__m128i A, __m128i B) {
  if constexpr (N == 1)
    return _mm_unpacklo_epi8(A, B);
  else if constexpr (N == 2)
    return _mm_unpacklo_epi16(A, B);
  else
    return _mm_unpacklo_epi32(A, B);
}
template <int N>
inline __m128i InterleaveHigh(__m128i A, __m128i B) {
  if constexpr (N == 1)
    return _mm_unpackhi_epi8(A, B);
  else if constexpr (N == 2)
    return _mm_unpackhi_epi16(A, B);
  else
    return _mm_unpackhi_epi32(A, B);
}

// A K x K block of one-, two- or four-byte pixels in K registers. Interleaving
// row I with row I + K/2 rotates the bits of a pixel's (row, column) address
// left by one; log2(K) rounds swap row and column, which is the transpose.
template <int N>
struct TKernelWords {
  static constexpr int32_t Side = 16 / N;
  static constexpr int32_t Overread = 0;

  static void Run(const uint8_t* S, ptrdiff_t SS, uint8_t* D, ptrdiff_t DS) {
    constexpr int32_t K = Side;
    constexpr int32_t Rounds = N == 1 ? 4 : N == 2 ? 3 : 2;
    __m128i X[K], Y[K];
#pragma GCC unroll 16
    for (int32_t I = 0; I < K; ++I)
      X[I] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(S + I * SS));
#pragma GCC unroll 4
    for (int32_t R = 0; R < Rounds; ++R) {
#pragma GCC unroll 8
      for (int32_t I = 0; I < K / 2; ++I) {
        Y[2 * I] = InterleaveLow<N>(X[I], X[I + K / 2]);
        Y[2 * I + 1] = InterleaveHigh<N>(X[I], X[I + K / 2]);
      }
#pragma GCC unroll 16
      for (int32_t I = 0; I < K; ++I)
        X[I] = Y[I];
    }
#pragma GCC unroll 16
    for (int32_t I = 0; I < K; ++I)
      _mm_storeu_si128(reinterpret_cast<__m128i*>(D + I * DS), X[I]);
  }
};
#else
// The plain kernel, for targets without SSE2.
template <int N>
struct TKernelWords {
  static constexpr int32_t Side = 16 / N;
  static constexpr int32_t Overread = 0;
  static void Run(const uint8_t* S, ptrdiff_t SS, uint8_t* D, ptrdiff_t DS) {
    TransposeEdge<N>(S, SS, D, DS, Side, Side);
  }
};
#endif

// Eight rows of one byte each are an 8 x 8 bit matrix, the leftmost pixel in
// the top bit as in the rows; three rounds swap ever larger bit blocks across
// the diagonal.
inline void TransposeBlock1(const uint8_t* S, ptrdiff_t SS, uint8_t* D, ptrdiff_t DS) {
  uint64_t X = 0;
  for (int32_t I = 0; I < 8; ++I)
    X = X << 8 | S[I * SS];
  uint64_t T = (X ^ (X >> 7)) & 0x00AA00AA00AA00AAull;
  X ^= T ^ (T << 7);
  T = (X ^ (X >> 14)) & 0x0000CCCC0000CCCCull;
  X ^= T ^ (T << 14);
  T = (X ^ (X >> 28)) & 0x00000000F0F0F0F0ull;
  X ^= T ^ (T << 28);
  for (int32_t J = 0; J < 8; ++J)
    D[J * DS] = uint8_t(X >> (56 - 8 * J));
}

// Two rows of one byte: two 4-bit pixels each, swapped across the diagonal.
inline void TransposeBlock4(const uint8_t* S, ptrdiff_t SS, uint8_t* D, ptrdiff_t DS) {
  const uint8_t A = S[0], B = S[SS];
  D[0] = uint8_t((A & 0xF0) | B >> 4);
  D[DS] = uint8_t(A << 4 | (B & 0x0F));
}

// Sub-byte pixels go a whole byte per source row at a time, in blocks as many
// pixels square as a byte holds, and in tiles like the wider pixels; the rows
// and columns short of a block go pixel by pixel.
template <int Bits>
void TransposePacked(const uint8_t* S, ptrdiff_t SS, uint8_t* D, ptrdiff_t DS, int32_t Rows, int32_t Cols) {
  constexpr int32_t K = 8 / Bits, TileCols = 512 / Bits;
  const int32_t FullRows = Rows / K * K, FullCols = Cols / K * K;
  for (int32_t J0 = 0; J0 < FullCols; J0 += TileCols) {
    const int32_t J1 = std::min(FullCols, J0 + TileCols);
    for (int32_t I0 = 0; I0 < FullRows; I0 += TileRows) {
      const int32_t I1 = std::min(FullRows, I0 + TileRows);
      for (int32_t I = I0; I < I1; I += K)
        for (int32_t J = J0; J < J1; J += K) {
          if constexpr (Bits == 1)
            TransposeBlock1(S + I * SS + J / K, SS, D + J * DS + I / K, DS);
          else
            TransposeBlock4(S + I * SS + J / K, SS, D + J * DS + I / K, DS);
        }
    }
  }
  const auto Get = Bits == 1 ? Get1 : Get4;
  const auto Set = Bits == 1 ? Set1 : Set4;
  for (int32_t J = 0; J < Cols; ++J) {
    uint8_t* Out = D + J * DS;
    for (int32_t I = J < FullCols ? FullRows : 0; I < Rows; ++I)
      Set(Out, I, Get(S + I * SS, J));
  }
}

void TransposeTiled24(const uint8_t* S, ptrdiff_t SS, uint8_t* D, ptrdiff_t DS, int32_t Rows, int32_t Cols) {
#if PELORIN_ROTATE24_SSSE3
  if (__builtin_cpu_supports("ssse3"))
    return TransposeTiled24Ssse3(S, SS, D, DS, Rows, Cols);
#endif
  TransposeTiled24Plain(S, SS, D, DS, Rows, Cols);
}

} // namespace

void TransposeTiled24Plain(const uint8_t* S, ptrdiff_t SS, uint8_t* D, ptrdiff_t DS, int32_t Rows, int32_t Cols) {
  TransposeTiled<3, TKernel24>(S, SS, D, DS, Rows, Cols);
}

void TransposePixels(const uint8_t* Src, ptrdiff_t SrcStep, uint8_t* Dst, ptrdiff_t DstStep, int32_t Rows, int32_t Cols,
                     int32_t Bits) {
  if (Rows <= 0 || Cols <= 0)
    return;
  switch (Bits) {
  case 1: TransposePacked<1>(Src, SrcStep, Dst, DstStep, Rows, Cols); break;
  case 4: TransposePacked<4>(Src, SrcStep, Dst, DstStep, Rows, Cols); break;
  case 8: TransposeTiled<1, TKernelWords<1>>(Src, SrcStep, Dst, DstStep, Rows, Cols); break;
  case 16: TransposeTiled<2, TKernelWords<2>>(Src, SrcStep, Dst, DstStep, Rows, Cols); break;
  case 24: TransposeTiled24(Src, SrcStep, Dst, DstStep, Rows, Cols); break;
  case 32: TransposeTiled<4, TKernelWords<4>>(Src, SrcStep, Dst, DstStep, Rows, Cols); break;
  }
}
