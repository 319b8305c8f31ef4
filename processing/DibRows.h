#pragma once
#include <cstdint>
#include <span>
#include <vector>

#include "DibImage.h"

// Whole rows in and out of a buffer of any pixel format, as GetPixelColor and
// SetPixelColor would give and take them pixel by pixel, without a call per
// pixel. Rows are Width pixels of blue, green, red bytes, or of gray bytes.

// Reads row Y as blue, green, red bytes (3 x Width).
void GetRowBgr(const TDib& Dib, int32_t Y, std::span<uint8_t> Bgr);
// Reads row Y as the red value of each pixel's color: the gray value of a
// buffer whose palette is gray.
void GetRowGray(const TDib& Dib, int32_t Y, std::span<uint8_t> Gray);

// Writes rows; palette formats take the nearest entry as SetPixelColor
// does, remembered for colors seen before.
class TRowWriter {
public:
  explicit TRowWriter(TDib& ADib);
  void PutBgr(int32_t Y, std::span<const uint8_t> Bgr);
  void PutGray(int32_t Y, std::span<const uint8_t> Gray);

private:
  uint32_t IndexOf(uint8_t R, uint8_t G, uint8_t B);
  void PutIndexes(int32_t Y, const uint8_t* Indexes);

  TDib& Dib;
  bool Palette = false;
  // The palette is 256 entries of gray in order: a gray value is its index.
  bool GrayRamp = false;
  std::vector<uint32_t> CacheKeys;
  std::vector<uint8_t> CacheIndexes;
  std::vector<uint8_t> Indexes;
};
