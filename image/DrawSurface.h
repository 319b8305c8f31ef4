#pragma once
#include <cstdint>
#include "Rects.h"

class TDib;

// Where a TDib draws itself. The core only computes which part of the image
// goes where; the window layer implements the actual stretch.
class TDrawSurface {
public:
  virtual ~TDrawSurface() = default;
  // The part of the surface that needs painting.
  virtual TRect ClipRect() const = 0;
  // Stretches the source rectangle of Dib onto the destination rectangle.
  // SrcY counts from the bottom row of the image upward, the addressing of a
  // device-independent bitmap, so the zoom arithmetic can stay as designed.
  // Tiles at the image's edges ask for source pixels past the image; the
  // surface draws only the part inside, at the same scale.
  virtual void StretchDib(const TDib& Dib, int32_t DstX, int32_t DstY, int32_t DstW, int32_t DstH, int32_t SrcX,
                          int32_t SrcY, int32_t SrcW, int32_t SrcH) = 0;
};
