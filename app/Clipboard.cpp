#include "Clipboard.h"

#include <QVariant>
#include <cstring>
#include <span>

#include "XImg.h"

namespace {

constexpr qsizetype BmpFileHeaderSize = 14;

// Where the rows of a packed bitmap start when they follow the color table
// at once; 0 when the header cannot tell.
size_t ContiguousStart(std::span<const uint8_t> Packed) {
  TPackedDibInfo Info;
  if (Packed.size() < 16 || !ReadPackedDibInfo(Packed, Info))
    return 0;
  const uint64_t Start = Info.RowsStart();
  return Start <= Packed.size() ? size_t(Start) : 0;
}

void SetResolutionFrom(const QImage& Image, TDib& Dib) {
  const int Dpm = Image.dotsPerMeterX();
  if (Dpm > 0 && Dpm < INT32_MAX / 2)
    Dib.SetResolution(PelsPerMetreToDpi(uint32_t(Dpm)));
}

void CopyRows(const QImage& Image, TDib& Dib, size_t Bytes) {
  for (int32_t Y = 0; Y < Dib.Height(); ++Y)
    std::memcpy(Dib.ScanLine(Y), Image.constScanLine(Y), Bytes);
}

} // namespace

QByteArray BmpFromDib(const TDib& Dib) {
  const std::vector<uint8_t> Packed = Dib.ToGlobalDib();
  QByteArray Out(BmpFileHeaderSize + qsizetype(Packed.size()), Qt::Uninitialized);
  auto* P = reinterpret_cast<uint8_t*>(Out.data());
  P[0] = 'B';
  P[1] = 'M';
  PutLE32(P + 2, uint32_t(Out.size()));
  PutLE32(P + 6, 0);
  PutLE32(P + 10, uint32_t(BmpFileHeaderSize + Dib.BitmapInfoSize()));
  std::memcpy(P + BmpFileHeaderSize, Packed.data(), Packed.size());
  return Out;
}

std::unique_ptr<TDib> DibFromBmp(const QByteArray& Data) {
  const auto* P = reinterpret_cast<const uint8_t*>(Data.constData());
  std::span<const uint8_t> Packed(P, size_t(Data.size()));
  const bool FileHeader = Data.size() >= BmpFileHeaderSize && P[0] == 'B' && P[1] == 'M';
  if (FileHeader)
    Packed = Packed.subspan(BmpFileHeaderSize);
  // 16-bit rows with color masks may be 5-6-5, which the buffer does not
  // keep; Qt applies the masks.
  if (Packed.size() >= 20 && GetLE32(Packed.data()) >= 40 && GetLE16(Packed.data() + 14) == 16 &&
      GetLE32(Packed.data() + 16) == 3) {
    if (auto Dib = DibFromQImage(QImage::fromData(Data, FileHeader ? "BMP" : "DIB")))
      return Dib;
  }
  // Some writers leave a gap before the rows; the file header says where
  // they start.
  if (FileHeader) {
    const size_t Start = ContiguousStart(Packed);
    const size_t Offset = GetLE32(P + 10);
    if (Start > 0 && Offset > size_t(BmpFileHeaderSize) + Start && Offset <= size_t(Data.size())) {
      std::vector<uint8_t> Joined(Packed.begin(), Packed.begin() + ptrdiff_t(Start));
      Joined.insert(Joined.end(), P + Offset, P + Data.size());
      return TDib::FromGlobalDib(Joined);
    }
  }
  return TDib::FromGlobalDib(Packed);
}

std::unique_ptr<TDib> DibFromQImage(const QImage& Image) {
  if (Image.isNull())
    return nullptr;
  const int32_t W = Image.width(), H = Image.height();
  std::unique_ptr<TDib> Dib;
  switch (Image.format()) {
  case QImage::Format_Mono:
  case QImage::Format_Indexed8: {
    const bool Mono = Image.format() == QImage::Format_Mono;
    const QList<QRgb> Table = Image.colorTable();
    Dib = std::make_unique<TDib>(W, H, Mono ? pf1bit : pf8bit);
    for (int32_t I = 0; I < Dib->PaletteSize() && I < Table.size(); ++I)
      Dib->SetPaletteColor(I, RGBColor(uint8_t(qRed(Table[I])), uint8_t(qGreen(Table[I])), uint8_t(qBlue(Table[I]))));
    CopyRows(Image, *Dib, size_t(PackedRowBytes(W, Mono ? 1 : 8)));
    break;
  }
  case QImage::Format_Grayscale8:
    Dib = std::make_unique<TDib>(W, H, pf8bit);
    Dib->MakeGrayPalette();
    CopyRows(Image, *Dib, size_t(W));
    break;
  default: {
    const QImage Bgr = Image.convertToFormat(QImage::Format_BGR888);
    if (Bgr.isNull())
      return nullptr;
    Dib = std::make_unique<TDib>(W, H, pf24bit);
    CopyRows(Bgr, *Dib, size_t(W) * 3);
    break;
  }
  }
  SetResolutionFrom(Image, *Dib);
  return Dib;
}

std::unique_ptr<QMimeData> MimeFromDib(const TDib& Dib) {
  auto Mime = std::make_unique<QMimeData>();
  const QByteArray Bmp = BmpFromDib(Dib);
  Mime->setData(QString::fromLatin1(BmpMimeType), Bmp);
  const QImage Image = QImage::fromData(Bmp, "BMP");
  if (!Image.isNull())
    Mime->setImageData(Image);
  return Mime;
}

bool MimeHoldsDib(const QMimeData* Mime) {
  return Mime && (Mime->hasFormat(QString::fromLatin1(BmpMimeType)) || Mime->hasImage());
}

std::unique_ptr<TDib> DibFromMime(const QMimeData* Mime) {
  if (!Mime)
    return nullptr;
  if (Mime->hasFormat(QString::fromLatin1(BmpMimeType))) {
    try {
      return DibFromBmp(Mime->data(QString::fromLatin1(BmpMimeType)));
    } catch (const EInvalidGraphicOperation&) {
      // Compressed or unusual bitmaps Qt may still read as an image.
      if (!Mime->hasImage())
        throw;
    }
  }
  if (Mime->hasImage())
    return DibFromQImage(qvariant_cast<QImage>(Mime->imageData()));
  return nullptr;
}
