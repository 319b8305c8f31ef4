#include "DibRotate.h"
#include "PixelLayout.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Tiles of source rows by source columns. A tile's source rows and
// destination rows stay in the first-level cache; tiles walk down a column
// strip of the source, so that each destination row is written left to
// right, tile after tile, and its cache lines are filled before they leave.
// The strip is wider than it is tall so that its source lines, which rarely
// start on a line boundary, are mostly used whole. 32 rows by 512 bytes was
// the fastest of 16 to 64 rows by 64 to 512 bytes for every pixel size.
constexpr int32_t TileRows = 32;
constexpr int32_t TileBytes = 512;

template <int N>
inline void CopyPixel(uint8_t* D, const uint8_t* S) {
  std::memcpy(D, S, N);
}

// Pixels per side of the square block one kernel call transposes.
template <int N>
constexpr int32_t BlockSide = N == 3 ? 8 : 16 / N;

// The plain kernel, for targets without SSE2.
template <int N>
inline void TransposeBlockPlain(const uint8_t* S, ptrdiff_t SS, uint8_t* D, ptrdiff_t DS) {
  constexpr int32_t K = BlockSide<N>;
  for (int32_t J = 0; J < K; ++J)
    for (int32_t I = 0; I < K; ++I)
      CopyPixel<N>(D + J * DS + I * N, S + I * SS + J * N);
}

inline uint64_t Load24(const uint8_t* P) {
  uint32_t V;
  std::memcpy(&V, P, 4);
  return V & 0xFFFFFFu;
}

// Eight three-byte pixels down a source column make one destination run of
// 24 bytes, stored as three words instead of eight unaligned three-byte moves.
inline void TransposeBlock24(const uint8_t* S, ptrdiff_t SS, uint8_t* D, ptrdiff_t DS) {
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
inline void TransposeBlockSse2(const uint8_t* S, ptrdiff_t SS, uint8_t* D, ptrdiff_t DS) {
  constexpr int32_t K = 16 / N;
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
#endif

template <int N>
inline void TransposeBlock(const uint8_t* S, ptrdiff_t SS, uint8_t* D, ptrdiff_t DS) {
  if constexpr (N == 3)
    TransposeBlock24(S, SS, D, DS);
  else {
#if defined(__SSE2__)
    TransposeBlockSse2<N>(S, SS, D, DS);
#else
    TransposeBlockPlain<N>(S, SS, D, DS);
#endif
  }
}

// Pixel by pixel, for the ragged right and bottom edges of a tile.
template <int N>
void TransposeEdge(const uint8_t* S, ptrdiff_t SS, uint8_t* D, ptrdiff_t DS, int32_t Rows, int32_t Cols) {
  for (int32_t J = 0; J < Cols; ++J)
    for (int32_t I = 0; I < Rows; ++I)
      CopyPixel<N>(D + J * DS + I * N, S + I * SS + J * N);
}

// One tile: whole blocks, then the columns and rows they leave. BlockCols is
// how many of the tile's columns the kernel may read.
template <int N>
void TransposeTile(const uint8_t* S, ptrdiff_t SS, uint8_t* D, ptrdiff_t DS, int32_t Rows, int32_t Cols,
                   int32_t BlockCols) {
  constexpr int32_t K = BlockSide<N>;
  const int32_t FullCols = BlockCols / K * K;
  int32_t I = 0;
  for (; I + K <= Rows; I += K) {
    const uint8_t* SRow = S + I * SS;
    uint8_t* DCol = D + I * N;
    for (int32_t J = 0; J < FullCols; J += K)
      TransposeBlock<N>(SRow + J * N, SS, DCol + J * DS, DS);
    TransposeEdge<N>(SRow + FullCols * N, SS, DCol + FullCols * DS, DS, K, Cols - FullCols);
  }
  TransposeEdge<N>(S + I * SS, SS, D + I * N, DS, Rows - I, Cols);
}

template <int N>
void TransposeTiled(const uint8_t* S, ptrdiff_t SS, uint8_t* D, ptrdiff_t DS, int32_t Rows, int32_t Cols) {
  constexpr int32_t TileCols = std::max<int32_t>(TileBytes / N / BlockSide<N> * BlockSide<N>, BlockSide<N>);
  // The word loads of three-byte pixels read a byte past the pixel; the
  // image's last column may end the buffer.
  const int32_t Readable = N == 3 ? Cols - 1 : Cols;
  for (int32_t J0 = 0; J0 < Cols; J0 += TileCols) {
    const int32_t Width = std::min(TileCols, Cols - J0);
    const int32_t BlockCols = std::min(Width, Readable - J0);
    for (int32_t I0 = 0; I0 < Rows; I0 += TileRows)
      TransposeTile<N>(S + I0 * SS + J0 * N, SS, D + J0 * DS + I0 * N, DS, std::min(TileRows, Rows - I0), Width,
                       BlockCols);
  }
}

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

} // namespace

void TransposePixels(const uint8_t* Src, ptrdiff_t SrcStep, uint8_t* Dst, ptrdiff_t DstStep, int32_t Rows, int32_t Cols,
                     int32_t Bits) {
  if (Rows <= 0 || Cols <= 0)
    return;
  switch (Bits) {
  case 1: TransposePacked<1>(Src, SrcStep, Dst, DstStep, Rows, Cols); break;
  case 4: TransposePacked<4>(Src, SrcStep, Dst, DstStep, Rows, Cols); break;
  case 8: TransposeTiled<1>(Src, SrcStep, Dst, DstStep, Rows, Cols); break;
  case 16: TransposeTiled<2>(Src, SrcStep, Dst, DstStep, Rows, Cols); break;
  case 24: TransposeTiled<3>(Src, SrcStep, Dst, DstStep, Rows, Cols); break;
  case 32: TransposeTiled<4>(Src, SrcStep, Dst, DstStep, Rows, Cols); break;
  }
}
