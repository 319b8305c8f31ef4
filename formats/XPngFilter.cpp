#include "XPngFilter.h"

#include "XPngCommon.h"

namespace {

// Every filter but Up depends on the pixel just undone. Its bytes stay in
// registers (Left, and UpLeft for Paeth): read back from the row, each byte
// would wait for the store before it. The first pixel starts from zeros,
// which gives each filter's rule for it (Paeth of 0, B, 0 is B). N is a
// whole number of pixels in every PNG row; the tail loop only keeps other
// lengths inside the row.

template <size_t Bpp>
void SubRow(uint8_t* Row, size_t N) {
  uint8_t Left[Bpp] = {};
  size_t I = 0;
  for (; I + Bpp <= N; I += Bpp)
    for (size_t K = 0; K < Bpp; ++K)
      Row[I + K] = Left[K] = uint8_t(Row[I + K] + Left[K]);
  for (size_t K = 0; I < N; ++I, ++K)
    Row[I] = uint8_t(Row[I] + Left[K]);
}

void UpRow(uint8_t* Row, const uint8_t* Prev, size_t N) {
  for (size_t I = 0; I < N; ++I)
    Row[I] = uint8_t(Row[I] + Prev[I]);
}

template <size_t Bpp>
void AverageRow(uint8_t* Row, const uint8_t* Prev, size_t N) {
  uint32_t Left[Bpp] = {};
  size_t I = 0;
  for (; I + Bpp <= N; I += Bpp)
    for (size_t K = 0; K < Bpp; ++K) {
      const uint8_t V = uint8_t(Row[I + K] + ((Left[K] + Prev[I + K]) >> 1));
      Row[I + K] = V;
      Left[K] = V;
    }
  for (size_t K = 0; I < N; ++I, ++K)
    Row[I] = uint8_t(Row[I] + ((Left[K] + Prev[I]) >> 1));
}

template <size_t Bpp>
void PaethRow(uint8_t* Row, const uint8_t* Prev, size_t N) {
  int32_t Left[Bpp] = {}, UpLeft[Bpp] = {};
  size_t I = 0;
  for (; I + Bpp <= N; I += Bpp)
    for (size_t K = 0; K < Bpp; ++K) {
      const int32_t Up = Prev[I + K];
      const uint8_t V = uint8_t(Row[I + K] + Png::PaethPredictor(Left[K], Up, UpLeft[K]));
      Row[I + K] = V;
      Left[K] = V;
      UpLeft[K] = Up;
    }
  for (size_t K = 0; I < N; ++I, ++K)
    Row[I] = uint8_t(Row[I] + Png::PaethPredictor(Left[K], Prev[I], UpLeft[K]));
}

template <size_t Bpp>
void UnfilterRow(uint8_t Type, uint8_t* Row, const uint8_t* Prev, size_t N) {
  switch (Type) {
  case 1: SubRow<Bpp>(Row, N); break;
  case 2: UpRow(Row, Prev, N); break;
  case 3: AverageRow<Bpp>(Row, Prev, N); break;
  case 4: PaethRow<Bpp>(Row, Prev, N); break;
  default: break;
  }
}

// Pixel sizes no PNG has; kept only so that any Bpp stays inside the row.
void UnfilterAnyBpp(uint8_t Type, uint8_t* Row, const uint8_t* Prev, size_t N, size_t Bpp) {
  for (size_t I = 0; I < N; ++I) {
    const int32_t A = I >= Bpp ? Row[I - Bpp] : 0, B = Prev[I], C = I >= Bpp ? Prev[I - Bpp] : 0;
    switch (Type) {
    case 1: Row[I] = uint8_t(Row[I] + A); break;
    case 2: Row[I] = uint8_t(Row[I] + B); break;
    case 3: Row[I] = uint8_t(Row[I] + ((A + B) >> 1)); break;
    case 4: Row[I] = uint8_t(Row[I] + Png::PaethPredictor(A, B, C)); break;
    default: return;
    }
  }
}

} // namespace

namespace Png {

void Unfilter(uint8_t Type, uint8_t* Row, const uint8_t* Prev, size_t N, size_t Bpp) {
  switch (Bpp) {
  case 1: UnfilterRow<1>(Type, Row, Prev, N); break;
  case 2: UnfilterRow<2>(Type, Row, Prev, N); break;
  case 3: UnfilterRow<3>(Type, Row, Prev, N); break;
  case 4: UnfilterRow<4>(Type, Row, Prev, N); break;
  case 6: UnfilterRow<6>(Type, Row, Prev, N); break;
  case 8: UnfilterRow<8>(Type, Row, Prev, N); break;
  default: UnfilterAnyBpp(Type, Row, Prev, N, Bpp); break;
  }
}

} // namespace Png
