#pragma once
#include <cstdint>
#include <span>
#include <vector>

#include "DibImage.h"
#include "XColor.h"

// One row of the (u', v') chromaticity grid of the 24-bit LogLuv encoding.
struct TLuvUvRow {
  float UStart;
  int16_t Count;      // cells in the row
  int16_t Cumulative; // index of the row's first cell
};
inline constexpr int32_t LuvUvRowCount = 163;
inline constexpr int32_t LuvUvCells = 16289;
inline constexpr double LuvUvStep = 0.0035;
inline constexpr double LuvUvVStart = 0.01694;
inline constexpr double LuvUNeutral = 0.210526316;
inline constexpr double LuvVNeutral = 0.473684211;
extern const TLuvUvRow LuvUvRows[LuvUvRowCount];

// The chromaticity of a 14-bit uv index; false (and the neutral white) for
// an index outside the grid.
bool LuvDecodeUv(int32_t Index, double& U, double& V);

// A whole LogLuv image kept in its encoded form, so that it can be rendered
// again at another exposure.
class TLuvBuf {
public:
  // Samples 4 (32-bit LogLuv) or 3 (24-bit) render as BGR; 2 is 16-bit LogL
  // and renders as gray.
  TLuvBuf(int32_t AWidth, int32_t Samples, int32_t AHeight);

  // Stores the next encoded row; rows beyond Height are ignored and answer
  // false. A short row is padded with zeros.
  bool AddRow(std::span<const uint8_t> Row);
  // Converts every stored row y into row y of the Dib at the given exposure.
  void Render(TDib& Dib, double AExposure);

  int32_t Width() const { return FWidth; }
  int32_t Height() const { return FHeight; }
  int32_t RowBytes() const { return FRowBytes; }
  int32_t RowsAdded() const { return FWritePos; }
  TColorManager& ColorManager() { return FColorManager; }

private:
  TColorManager FColorManager;
  std::vector<uint8_t> FData;
  int32_t FWritePos = 0; // rows stored so far
  int32_t FWidth = 0, FHeight = 0, FRowBytes = 0;
};
