#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include "AboutWindow.h"

// The pictures are drawn in code rather than shipped as resources: a
// resource registered by the library would have to be unregistered before
// every unload.

namespace Quenna {

namespace {

QImage WhiteImage(int W, int H) {
  QImage I(W, H, QImage::Format_RGB32);
  I.fill(Qt::white);
  return I;
}

QFont PictureFont(int Pixels, bool Bold, bool Italic) {
  QFont F(QStringLiteral("Arial"));
  F.setPixelSize(Pixels);
  F.setBold(Bold);
  F.setItalic(Italic);
  return F;
}

// Text filled with Brush, its baseline at Baseline.
void FillText(QPainter& P, const QPointF& Baseline, const QFont& Font, const QString& Text, const QBrush& Brush) {
  QPainterPath Path;
  Path.addText(Baseline, Font, Text);
  P.fillPath(Path, Brush);
}

} // namespace

QImage LogoBitmap() {
  QImage I = WhiteImage(143, 44);
  QPainter P(&I);
  P.setRenderHint(QPainter::Antialiasing);
  QLinearGradient Ink(0, 0, 143, 0);
  Ink.setColorAt(0, QColor(0x3F, 0x00, 0x7F));
  Ink.setColorAt(1, QColor(0xC0, 0x00, 0x50));
  FillText(P, QPointF(4, 31), PictureFont(32, true, true), QStringLiteral("Quenna"), Ink);
  // A swash under the name.
  QPainterPath Swash(QPointF(6, 37));
  Swash.cubicTo(QPointF(50, 33), QPointF(95, 42), QPointF(138, 34));
  P.setPen(QPen(QColor(0x80, 0x80, 0xB0), 2, Qt::SolidLine, Qt::RoundCap));
  P.drawPath(Swash);
  FillText(P, QPointF(101, 43), PictureFont(8, false, false), QStringLiteral("software"), QColor(0x40, 0x40, 0x60));
  return I;
}

QImage MarkBitmap() {
  QImage I = WhiteImage(22, 48);
  QPainter P(&I);
  P.setRenderHint(QPainter::Antialiasing);
  // A quill: a leaf-shaped vane over a thin shaft.
  QPainterPath Vane(QPointF(17, 1));
  Vane.cubicTo(QPointF(23, 14), QPointF(15, 30), QPointF(7, 38));
  Vane.cubicTo(QPointF(4, 28), QPointF(8, 10), QPointF(17, 1));
  QLinearGradient Fill(0, 0, 22, 40);
  Fill.setColorAt(0, QColor(0x60, 0x40, 0xC0));
  Fill.setColorAt(1, QColor(0x00, 0x00, 0x80));
  P.fillPath(Vane, Fill);
  P.setPen(QPen(QColor(0x20, 0x10, 0x40), 1.2, Qt::SolidLine, Qt::RoundCap));
  P.drawLine(QPointF(16, 4), QPointF(3, 46));
  return I;
}

QImage NameBitmap(bool ThumbnailProgram) {
  QImage I = WhiteImage(82, 17);
  QPainter P(&I);
  P.setRenderHint(QPainter::Antialiasing);
  const QString Name = ThumbnailProgram ? QStringLiteral("Fennick") : QStringLiteral("Pelorin");
  const QFont F = PictureFont(15, true, false);
  FillText(P, QPointF(2, 14), F, Name, QColor(0xA0, 0xA0, 0xC0));
  FillText(P, QPointF(1, 13), F, Name, QColor(0x00, 0x00, 0x80));
  return I;
}

QImage AndPicture() {
  QImage I = WhiteImage(22, 50);
  QPainter P(&I);
  P.setRenderHint(QPainter::Antialiasing);
  P.setPen(Qt::NoPen);
  // Four stacked diamonds, darker toward the bottom; AND keeps what the
  // strip behind them and their gray share.
  for (int K = 0; K < 4; ++K) {
    const int V = 0xC8 - K * 0x30;
    const qreal Cy = 6 + K * 12.5;
    QPainterPath D(QPointF(11, Cy - 6));
    D.lineTo(QPointF(19, Cy));
    D.lineTo(QPointF(11, Cy + 6));
    D.lineTo(QPointF(3, Cy));
    D.closeSubpath();
    P.fillPath(D, QColor(V, V, V));
  }
  return I;
}

QImage WithoutWhite(const QImage& Bitmap) {
  QImage I = Bitmap.convertToFormat(QImage::Format_ARGB32);
  for (int Y = 0; Y < I.height(); ++Y) {
    auto* Row = reinterpret_cast<QRgb*>(I.scanLine(Y));
    for (int X = 0; X < I.width(); ++X)
      if ((Row[X] & 0xFFFFFF) == 0xFFFFFF)
        Row[X] = 0;
  }
  return I;
}

} // namespace Quenna
