#pragma once
#include <QPainter>

#include "DrawSurface.h"

// Draws TDib parts with a QPainter. The rows are wrapped as a QImage in
// place wherever Qt has the same layout, so only the drawn part is ever
// converted or scaled, and only by the paint engine.
class TPainterSurface : public TDrawSurface {
public:
  // Painter and clip are set for the duration of one paint.
  void Begin(QPainter* APainter, const TRect& AClip) {
    Painter = APainter;
    Clip = AClip;
  }
  void End() { Painter = nullptr; }

  TRect ClipRect() const override { return Clip; }
  void StretchDib(const TDib& Dib, int32_t DstX, int32_t DstY, int32_t DstW, int32_t DstH, int32_t SrcX, int32_t SrcY,
                  int32_t SrcW, int32_t SrcH) override;

private:
  QPainter* Painter = nullptr;
  TRect Clip;
};

// The part of a stretch that lies inside the image: its source rectangle
// (rows from the top) and where it lands. False when nothing does.
struct TStretchPart {
  int32_t Left = 0, Top = 0, Width = 0, Height = 0;
  QRectF Target;
};
bool StretchPart(const TDib& Dib, int32_t DstX, int32_t DstY, int32_t DstW, int32_t DstH, int32_t SrcX, int32_t SrcY,
                 int32_t SrcW, int32_t SrcH, TStretchPart& Part);

// The rows Left..Left+Width, Top..Top+Height of Dib as a QImage. Shares the
// pixel memory unless the format needs a conversion (4 bits per pixel); for
// 1-bit images the returned image may start left of Left, at a byte edge,
// and XSkip tells by how many pixels.
QImage DibPart(const TDib& Dib, int32_t Left, int32_t Top, int32_t Width, int32_t Height, int32_t& XSkip);
