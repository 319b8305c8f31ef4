#include <QImage>
#include <QPainter>

#include "AppTestUtil.h"
#include "PainterSurface.h"

namespace {

// Draws Dib's DrawZoomed onto a fresh gray target of Size.
QImage DrawOnto(TDib& Dib, QSize Size, QRect Clip = {}) {
  QImage Target(Size, QImage::Format_RGB32);
  Target.fill(qRgb(1, 2, 3));
  QPainter P(&Target);
  TPainterSurface S;
  if (Clip.isNull())
    Clip = QRect(QPoint(0, 0), Size);
  S.Begin(&P, TRect{Clip.left(), Clip.top(), Clip.right() + 1, Clip.bottom() + 1});
  Dib.Canvas = &S;
  Dib.DrawZoomed();
  S.End();
  Dib.Canvas = nullptr;
  return Target;
}

QRgb Rgb(TColor C) { return qRgb(C & 0xFF, (C >> 8) & 0xFF, (C >> 16) & 0xFF); }

TEST(DrawSurface, EveryPixelFormatDrawsItsColors) {
  for (TPixelFormat F : {pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit}) {
    TDib Dib(19, 5, F);
    if (Dib.PaletteSize() > 0)
      for (int32_t I = 0; I < Dib.PaletteSize(); ++I)
        Dib.SetPaletteColor(I, TColor(I * 8 | (255 - I) << 8 | 0x40 << 16));
    for (int32_t Y = 0; Y < 5; ++Y)
      for (int32_t X = 0; X < 19; ++X)
        Dib.SetPixelColor(X, Y,
                          Dib.PaletteSize() > 0 ? Dib.GetPaletteColor((X + 3 * Y) % Dib.PaletteSize())
                                                : TColor((X * 13) << 3 | (Y * 40) << 8 | 0x80 << 16));
    const QImage Out = DrawOnto(Dib, QSize(19, 5));
    // 5-bit channels may be widened to 8 bits either way; compare what they hold.
    const int Shift = F == pf15bit || F == pf16bit ? 3 : 0;
    for (int32_t Y = 0; Y < 5; ++Y)
      for (int32_t X = 0; X < 19; ++X) {
        const QRgb Want = Rgb(Dib.GetPixelColor(X, Y)), Got = Out.pixel(X, Y);
        ASSERT_EQ(qRed(Got) >> Shift, qRed(Want) >> Shift) << "format " << int(F) << " at " << X << "," << Y;
        ASSERT_EQ(qGreen(Got) >> Shift, qGreen(Want) >> Shift) << "format " << int(F) << " at " << X << "," << Y;
        ASSERT_EQ(qBlue(Got) >> Shift, qBlue(Want) >> Shift) << "format " << int(F) << " at " << X << "," << Y;
      }
  }
}

TEST(DrawSurface, RowsAreWrappedNotCopied) {
  for (TPixelFormat F : {pf1bit, pf8bit, pf15bit, pf24bit, pf32bit}) {
    TDib Dib(40, 10, F);
    int32_t Skip = 0;
    const QImage Part = DibPart(Dib, 16, 3, 20, 4, Skip);
    EXPECT_EQ(Part.constBits(), Dib.ScanLine(3) + Dib.BitCount() * 16 / 8) << "format " << int(F);
    EXPECT_EQ(Part.bytesPerLine(), Dib.RowBytes());
  }
  TDib Bits(40, 2, pf1bit);
  int32_t Skip = 0;
  DibPart(Bits, 13, 0, 5, 1, Skip);
  EXPECT_EQ(Skip, 5);
}

TEST(DrawSurface, PartialRepaintsAndZoomsCopyTheRightSource) {
  auto Dib = Pattern24(100, 100);
  // 3:1, the repaint of (31, 0)-(61, 30) shows source x 10..19, y 0..9.
  Dib->SetZoom(2);
  const QImage Out = DrawOnto(*Dib, QSize(300, 300), QRect(31, 0, 30, 30));
  EXPECT_EQ(Out.pixel(31, 0), qRgb(10, 0, 7));
  EXPECT_EQ(Out.pixel(60, 29), qRgb(19, 9, 7));
  EXPECT_EQ(Out.pixel(30, 0), qRgb(1, 2, 3));
  EXPECT_EQ(Out.pixel(61, 0), qRgb(1, 2, 3));
  // 1/2: one pixel of each 2 x 2 block.
  Dib->SetZoom(-1);
  const QRgb Half = DrawOnto(*Dib, QSize(50, 50)).pixel(10, 20);
  EXPECT_EQ(qRed(Half) / 2, 10);
  EXPECT_EQ(qGreen(Half) / 2, 20);
}

TEST(DrawSurface, TilesPastTheImageEdgeKeepTheScale) {
  auto Dib = Pattern24(96, 72);
  Dib->Tiled = true;
  for (int32_t Z : {0, 3, -2}) {
    Dib->SetZoom(Z);
    const QImage Out = DrawOnto(*Dib, QSize(Dib->ZoomedWidth(), Dib->ZoomedHeight()));
    const int32_t F = Z >= 0 ? Z + 1 : 1 - Z;
    for (auto [X, Y] : {std::pair{0, 0}, {Dib->ZoomedWidth() - 1, Dib->ZoomedHeight() - 1}, {17, 11}}) {
      const QRgb C = Out.pixel(X, Y);
      // Enlarged: the pixel under it; reduced: one of the block it stands for.
      const int32_t Sx = Z >= 0 ? qRed(C) * F : qRed(C) / F, Sy = Z >= 0 ? qGreen(C) * F : qGreen(C) / F;
      const int32_t Wx = Z >= 0 ? X - X % F : X, Wy = Z >= 0 ? Y - Y % F : Y;
      ASSERT_EQ(Sx, Wx) << "zoom " << Z << " at " << X << "," << Y;
      ASSERT_EQ(Sy, Wy) << "zoom " << Z << " at " << X << "," << Y;
      ASSERT_EQ(qBlue(C), 7);
    }
  }
}

} // namespace
