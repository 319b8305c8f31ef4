#pragma once
#include <array>
#include <cstdint>
#include <vector>

#include "DibImage.h"

// The logical screen that the images of a GIF frame are drawn onto, in the
// buffer's own format: palette indices for the indexed formats, colors
// through the current image's table for pf24bit. Everything is clipped to
// the screen.
class TGifCanvas {
public:
  explicit TGifCanvas(TDib& Dib) : FDib(Dib) {}

  // What each index of the next image shows; used by pf24bit buffers only.
  void SetColors(const std::array<TColor, 256>& Colors);
  // The next image's rectangle and its transparent index (-1: none), whose
  // pixels leave the screen as it is.
  void Begin(int32_t Left, int32_t Top, int32_t Width, int32_t Height, int32_t Transparent);
  // Rows of the image's rectangle that lie on the screen.
  int32_t VisibleRows() const { return FBottom - FTop; }
  bool Visible() const { return FRight > FLeft && FBottom > FTop; }
  // Row Row (below VisibleRows) of the image, Count of its pixels.
  void StoreRow(int32_t Row, const uint8_t* Line, int32_t Count);

  // Disposal of the image's rectangle before the next one: index 0 (Color
  // in a pf24bit buffer), or the screen as it was before Save.
  void Clear(TColor Color);
  void Save();
  void Restore();

private:
  void RowBytes(int64_t& First, int64_t& End) const;

  TDib& FDib;
  int32_t FLeft = 0, FTop = 0, FRight = 0, FBottom = 0;
  int32_t FTransparent = -1;
  // Blue, green, red of each index.
  std::array<uint8_t, 3 * 256> FBgr{};
  std::vector<uint8_t> FSaved;
};
