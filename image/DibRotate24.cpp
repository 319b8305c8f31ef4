// Three-byte pixels transposed eight by eight in SSSE3 registers: each source
// run of eight pixels is spread to four-byte lanes by byte shuffles, the lanes
// are transposed as 32-bit words, and each destination run is packed back to
// 24 bytes. The unit is built for SSSE3; callers ask the processor first.
#include "DibRotateSimd.h"

#if PELORIN_ROTATE24_SSSE3
#include <tmmintrin.h>

#include "DibRotateTiles.h"

namespace {

inline void Transpose4(__m128i& A, __m128i& B, __m128i& C, __m128i& D) {
  const __m128i T0 = _mm_unpacklo_epi32(A, B), T1 = _mm_unpacklo_epi32(C, D);
  const __m128i T2 = _mm_unpackhi_epi32(A, B), T3 = _mm_unpackhi_epi32(C, D);
  A = _mm_unpacklo_epi64(T0, T1);
  B = _mm_unpackhi_epi64(T0, T1);
  C = _mm_unpacklo_epi64(T2, T3);
  D = _mm_unpackhi_epi64(T2, T3);
}

struct TKernel24Ssse3 {
  static constexpr int32_t Side = 8;
  // Both loads of a run stay within its 24 bytes.
  static constexpr int32_t Overread = 0;

  static void Run(const uint8_t* S, ptrdiff_t SS, uint8_t* D, ptrdiff_t DS) {
    const __m128i SpreadLow = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    const __m128i SpreadHigh = _mm_setr_epi8(4, 5, 6, -1, 7, 8, 9, -1, 10, 11, 12, -1, 13, 14, 15, -1);
    const __m128i PackFirst = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    const __m128i PackJoin = _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 0, 1, 2, 4);
    const __m128i PackRest = _mm_setr_epi8(5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1, -1, -1, -1, -1);
    // L[I] holds pixels 0-3 of source row I, H[I] pixels 4-7.
    __m128i L[8], H[8];
    for (int32_t I = 0; I < 8; ++I) {
      const uint8_t* P = S + I * SS;
      L[I] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(P)), SpreadLow);
      H[I] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(P + 8)), SpreadHigh);
    }
    Transpose4(L[0], L[1], L[2], L[3]);
    Transpose4(L[4], L[5], L[6], L[7]);
    Transpose4(H[0], H[1], H[2], H[3]);
    Transpose4(H[4], H[5], H[6], H[7]);
    // Destination row J takes source rows 0-3 from the first block of its
    // half and rows 4-7 from the second.
    for (int32_t J = 0; J < 8; ++J) {
      const __m128i First = J < 4 ? L[J] : H[J - 4];
      const __m128i Second = J < 4 ? L[J + 4] : H[J];
      uint8_t* Out = D + J * DS;
      const __m128i W0 = _mm_or_si128(_mm_shuffle_epi8(First, PackFirst), _mm_shuffle_epi8(Second, PackJoin));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(Out), W0);
      _mm_storel_epi64(reinterpret_cast<__m128i*>(Out + 16), _mm_shuffle_epi8(Second, PackRest));
    }
  }
};

} // namespace

void TransposeTiled24Ssse3(const uint8_t* S, ptrdiff_t SS, uint8_t* D, ptrdiff_t DS, int32_t Rows, int32_t Cols) {
  TransposeTiled<3, TKernel24Ssse3>(S, SS, D, DS, Rows, Cols);
}
#endif
