#pragma once
#include <QImage>
#include <QProcess>
#include <QRect>
#include <QString>
#include <QStringList>
#include <functional>

// A printed page read back through pdftoppm. Its rasterizer widens images
// by an output pixel at their edges and smooths them when it enlarges them
// less than four times, so the page is rendered at four times the printer's
// resolution and each device pixel is read in the middle of its 4 x 4 block.
struct TPrintedPage {
  static constexpr int Factor = 4;
  QImage Image;
  QPoint Origin; // the first device pixel rendered

  bool isNull() const { return Image.isNull(); }
  QRgb Pixel(int X, int Y) const {
    const int Px = Factor * (X - Origin.x()) + Factor / 2, Py = Factor * (Y - Origin.y()) + Factor / 2;
    return Image.valid(Px, Py) ? Image.pixel(Px, Py) | 0xFF000000u : 0;
  }
  // The device pixels where Ink holds.
  QRect InkBox(const std::function<bool(QRgb)>& Ink) const {
    QRect Box;
    for (int Y = 0; Y < Image.height() / Factor; ++Y)
      for (int X = 0; X < Image.width() / Factor; ++X)
        if (Ink(Image.pixel(Factor * X + Factor / 2, Factor * Y + Factor / 2)))
          Box |= QRect(Origin.x() + X, Origin.y() + Y, 1, 1);
    return Box;
  }
};

// Renders page one of Pdf; Region (device pixels at Dpi) limits the work
// on large pages.
inline TPrintedPage RasterizePdf(const QString& Pdf, int Dpi, const QString& OutBase, const QRect& Region = {}) {
  QStringList Args{QStringLiteral("-r"), QString::number(TPrintedPage::Factor * Dpi), QStringLiteral("-png"),
                   QStringLiteral("-singlefile")};
  if (!Region.isNull())
    Args << QStringLiteral("-x") << QString::number(TPrintedPage::Factor * Region.x()) << QStringLiteral("-y")
         << QString::number(TPrintedPage::Factor * Region.y()) << QStringLiteral("-W")
         << QString::number(TPrintedPage::Factor * Region.width()) << QStringLiteral("-H")
         << QString::number(TPrintedPage::Factor * Region.height());
  Args << Pdf << OutBase;
  TPrintedPage Page;
  if (QProcess::execute(QStringLiteral("pdftoppm"), Args) != 0)
    return Page;
  Page.Image = QImage(OutBase + QStringLiteral(".png")).convertToFormat(QImage::Format_RGB32);
  Page.Origin = Region.isNull() ? QPoint() : Region.topLeft();
  return Page;
}
