#pragma once
// The tile walk of the blocked transposes, shared by the translation units
// that compile it for different instruction sets. Everything is internal to
// each unit, so that no unit links another's instructions by accident.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

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

// Pixel by pixel, for the ragged right and bottom edges of a tile.
template <int N>
void TransposeEdge(const uint8_t* S, ptrdiff_t SS, uint8_t* D, ptrdiff_t DS, int32_t Rows, int32_t Cols) {
  for (int32_t J = 0; J < Cols; ++J)
    for (int32_t I = 0; I < Rows; ++I)
      std::memcpy(D + J * DS + I * N, S + I * SS + J * N, N);
}

// One tile: whole blocks of Kernel::Side pixels square, then the columns and
// rows they leave. BlockCols is how many of the tile's columns the kernel
// may read.
template <int N, class Kernel>
void TransposeTile(const uint8_t* S, ptrdiff_t SS, uint8_t* D, ptrdiff_t DS, int32_t Rows, int32_t Cols,
                   int32_t BlockCols) {
  constexpr int32_t K = Kernel::Side;
  const int32_t FullCols = BlockCols / K * K;
  int32_t I = 0;
  for (; I + K <= Rows; I += K) {
    const uint8_t* SRow = S + I * SS;
    uint8_t* DCol = D + I * N;
    for (int32_t J = 0; J < FullCols; J += K)
      Kernel::Run(SRow + J * N, SS, DCol + J * DS, DS);
    TransposeEdge<N>(SRow + FullCols * N, SS, DCol + FullCols * DS, DS, K, Cols - FullCols);
  }
  TransposeEdge<N>(S + I * SS, SS, D + I * N, DS, Rows - I, Cols);
}

// Overread is how many columns short of the end the kernel must stop,
// because it reads past its last pixel.
template <int N, class Kernel>
void TransposeTiled(const uint8_t* S, ptrdiff_t SS, uint8_t* D, ptrdiff_t DS, int32_t Rows, int32_t Cols) {
  constexpr int32_t K = Kernel::Side;
  constexpr int32_t TileCols = std::max<int32_t>(TileBytes / N / K * K, K);
  const int32_t Readable = Cols - Kernel::Overread;
  for (int32_t J0 = 0; J0 < Cols; J0 += TileCols) {
    const int32_t Width = std::min(TileCols, Cols - J0);
    const int32_t BlockCols = std::clamp(Readable - J0, 0, Width);
    for (int32_t I0 = 0; I0 < Rows; I0 += TileRows)
      TransposeTile<N, Kernel>(S + I0 * SS + J0 * N, SS, D + J0 * DS + I0 * N, DS, std::min(TileRows, Rows - I0), Width,
                               BlockCols);
  }
}

} // namespace
