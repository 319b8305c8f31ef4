#include "PainterSurface.h"

#include <algorithm>

#include "DibImage.h"

namespace {

QList<QRgb> ColorTable(const TDib& Dib) {
  QList<QRgb> Table(Dib.PaletteSize());
  const uint8_t* P = Dib.PaletteEntries();
  for (int32_t I = 0; I < Dib.PaletteSize(); ++I, P += 4)
    Table[I] = qRgb(P[2], P[1], P[0]);
  return Table;
}

} // namespace

QImage DibPart(const TDib& Dib, int32_t Left, int32_t Top, int32_t Width, int32_t Height, int32_t& XSkip) {
  XSkip = 0;
  const qsizetype Stride = Dib.RowBytes();
  const uint8_t* Row = Dib.ScanLine(Top);
  switch (Dib.PixelFormat()) {
  case pf1bit: {
    XSkip = Left & 7;
    QImage Img(Row + Left / 8, Width + XSkip, Height, Stride, QImage::Format_Mono);
    Img.setColorTable(ColorTable(Dib));
    return Img;
  }
  case pf4bit: {
    QImage Img(Width, Height, QImage::Format_Indexed8);
    Img.setColorTable(ColorTable(Dib));
    for (int32_t Y = 0; Y < Height; ++Y) {
      const uint8_t* Src = Dib.ScanLine(Top + Y);
      uint8_t* Dst = Img.scanLine(Y);
      for (int32_t X = 0; X < Width; ++X)
        Dst[X] = uint8_t(Get4(Src, Left + X));
    }
    return Img;
  }
  case pf8bit: {
    QImage Img(Row + Left, Width, Height, Stride, QImage::Format_Indexed8);
    Img.setColorTable(ColorTable(Dib));
    return Img;
  }
  case pf15bit:
  case pf16bit: return QImage(Row + 2 * Left, Width, Height, Stride, QImage::Format_RGB555);
  case pf24bit: return QImage(Row + 3 * Left, Width, Height, Stride, QImage::Format_BGR888);
  case pf32bit: return QImage(Row + 4 * Left, Width, Height, Stride, QImage::Format_RGBX8888);
  }
  return {};
}

bool StretchPart(const TDib& Dib, int32_t DstX, int32_t DstY, int32_t DstW, int32_t DstH, int32_t SrcX, int32_t SrcY,
                 int32_t SrcW, int32_t SrcH, TStretchPart& Part) {
  if (SrcW <= 0 || SrcH <= 0 || DstW <= 0 || DstH <= 0)
    return false;
  // Source rows counted from the top, as the buffer stores them.
  const int64_t Top = int64_t(Dib.Height()) - SrcY - SrcH;
  const int64_t L = std::max<int64_t>(SrcX, 0), R = std::min<int64_t>(int64_t(SrcX) + SrcW, Dib.Width());
  const int64_t T = std::max<int64_t>(Top, 0), B = std::min<int64_t>(Top + SrcH, Dib.Height());
  if (L >= R || T >= B)
    return false;
  // The destination shrinks with the source so that the scale stays.
  const double Sx = double(DstW) / SrcW, Sy = double(DstH) / SrcH;
  Part.Left = int32_t(L);
  Part.Top = int32_t(T);
  Part.Width = int32_t(R - L);
  Part.Height = int32_t(B - T);
  Part.Target = QRectF(DstX + (L - SrcX) * Sx, DstY + (T - Top) * Sy, (R - L) * Sx, (B - T) * Sy);
  return true;
}

void TPainterSurface::StretchDib(const TDib& Dib, int32_t DstX, int32_t DstY, int32_t DstW, int32_t DstH, int32_t SrcX,
                                 int32_t SrcY, int32_t SrcW, int32_t SrcH) {
  TStretchPart P;
  if (!Painter || !StretchPart(Dib, DstX, DstY, DstW, DstH, SrcX, SrcY, SrcW, SrcH, P))
    return;
  int32_t XSkip = 0;
  const QImage Part = DibPart(Dib, P.Left, P.Top, P.Width, P.Height, XSkip);
  Painter->drawImage(P.Target, Part, QRectF(XSkip, 0, P.Width, P.Height));
}
