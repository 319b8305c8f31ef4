#pragma once
#include <QByteArray>
#include <QImage>
#include <QMimeData>
#include <memory>

#include "DibImage.h"

// The clipboard form of an image: a BMP file (file header and packed
// device-independent bitmap) as image/bmp, and the same image as a QImage
// for programs that take other types.
inline constexpr char BmpMimeType[] = "image/bmp";

QByteArray BmpFromDib(const TDib& Dib);
// A BMP file or a bare packed bitmap; raises on data that does not hold
// what its headers claim.
std::unique_ptr<TDib> DibFromBmp(const QByteArray& Data);
std::unique_ptr<TDib> DibFromQImage(const QImage& Image);

std::unique_ptr<QMimeData> MimeFromDib(const TDib& Dib);
// Whether the data holds an image Pelorin can paste.
bool MimeHoldsDib(const QMimeData* Mime);
// image/bmp first, then any image Qt can read; nothing if neither is there.
std::unique_ptr<TDib> DibFromMime(const QMimeData* Mime);
