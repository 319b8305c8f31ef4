#pragma once
#include <cairo.h>

#include <vector>

#include "XMetaDC.h"

// What SaveDC keeps and RestoreDC puts back. Only the TMetaDC sources see it.

// A clip step in bitmap pixels: the path, and whether it is taken away from
// the clip (exclusion) instead of intersected with it.
struct TMetaDC::TClipOp {
  std::vector<TMetaPoint> Points;
  // Polygon sizes within Points.
  std::vector<uint32_t> Counts;
  bool Exclude = false;
  bool EvenOdd = false;
};

struct TMetaDC::TState {
  TMetaPen Pen{Meta::PsSolid, 0, 0x000000, {}};
  TMetaBrush Brush{Meta::BsSolid, 0xFFFFFF, 0, nullptr};
  TMetaFont Font{};
  TColor BkColor = 0xFFFFFF;
  TColor TextColor = 0x000000;
  int32_t BkMode = Meta::Opaque;
  int32_t TextAlign = 0;
  int32_t PolyFillMode = Meta::Alternate;
  int32_t Rop2 = Meta::R2CopyPen;
  int32_t ArcDirection = Meta::CounterClockwise;
  double MiterLimit = 10;
  double CharExtra = 0;
  int32_t MapMode = Meta::MmText;
  TMetaPoint WindowOrg{0, 0}, WindowExt{1, 1};
  TMetaPoint ViewportOrg{0, 0}, ViewportExt{1, 1};
  bool WindowExtSet = false;
  TMetaXForm World{};
  TMetaPoint Position{0, 0};
  // No steps: the whole picture.
  std::vector<TClipOp> Clip;
};

// Colors of the files are 0x00BBGGRR.
inline void SetCairoColor(cairo_t* Cr, TColor C) {
  cairo_set_source_rgb(Cr, (C & 0xFF) / 255.0, ((C >> 8) & 0xFF) / 255.0, ((C >> 16) & 0xFF) / 255.0);
}
