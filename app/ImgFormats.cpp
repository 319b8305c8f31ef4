#include "ImgFormats.h"

#include <algorithm>
#include <cctype>

#include "DibImage.h"
#include "XPmg.h"
#include "XPng.h"

TReadOptions ReadOptionsOf(const TSettings& S) {
  TReadOptions O;
  O.Resolution = int32_t(S.DefaultDpi);
  O.Background = TColor(S.BackColor);
  O.AlphaEnabled = S.ApplyAlpha;
  O.PcdResolution = S.PcdResolution;
  O.LuvStonits = S.LuvStonits;
  O.ApplyOrientation = !(S.ViewOptionsOff & voKeepStoredTurn);
  O.ApplyProfile = !(S.ViewOptionsOff & voIgnoreProfiles);
  return O;
}

namespace {

// Whether the signature switches ask Format's files to carry the texts.
bool SignsFormat(const TSettings& S, int32_t Format) {
  switch (Format) {
  case fmtPNG: return S.SignPng;
  case fmtTIFF: return S.SignTif;
  case fmtPNM: return S.SignPnm;
  default: return false;
  }
}

} // namespace

TWriteOptions WriteOptionsOf(const TSettings& S, int32_t Format, const TTransparencyInfo& Transparency,
                             const TMetaTexts& Meta) {
  TWriteOptions O;
  O.Os2 = S.BmpOs2 != 0;
  O.GifCompression = S.GifCompression;
  O.GifInterlaced = S.GifInterlaced;
  O.PngFilters = S.PngFilters;
  O.PngLevel = S.PngCompressionLevel;
  O.PngInterlaced = S.PngInterlaced;
  O.PngOptimizePalette = S.PngOptimizePalette;
  O.JpgQuality = std::clamp<int32_t>(S.JpgQuality, 10, 100);
  O.JpgProgressive = S.JpgProgressive;
  O.TifBigEndian = S.TifBigEndian != 0;
  O.TifCompression = S.TifCompression;
  O.TifStripSize = S.TifStripSize;
  O.TgaRunLength = S.TgaRle;
  O.PnmPlain = S.PnmCompression == cmpAscii;
  O.Transparency = Transparency;
  if (SignsFormat(S, Format))
    O.Texts = Meta;
  return O;
}

int32_t PngSaveMode(const TDib& Image) {
  if (Image.PixelFormat() == pf1bit)
    return 0;
  return Image.IsGray || Image.PixelFormat() > pf8bit ? 1 : 2;
}

bool TifPredictionAllowed(const TDib& Image) {
  return Image.PixelFormat() == pf24bit || (Image.PixelFormat() == pf8bit && Image.IsGray);
}

TSaveChoice CreateWriter(int32_t FilterIndex, const TDib& Image, const TSettings& S,
                         const TTransparencyInfo& Transparency, const TMetaTexts& Meta) {
  const TFormatRow* Row = SaveFilterRow(FilterIndex);
  const int32_t Format = Row ? Row->Format : fmtUnknown;
  TWriteOptions O = WriteOptionsOf(S, Format, Transparency, Meta);
  if (PngSaveMode(Image) != 1 || S.PngCompressionLevel <= 0)
    O.PngFilters = pngFilterNone;
  return ChooseWriter(FilterIndex, Image, O);
}

std::string NameWithExtension(const std::string& Name, const std::string& Extension) {
  std::string Lower = Name;
  for (char& C : Lower)
    C = char(std::tolower(static_cast<unsigned char>(C)));
  if (Lower.find(Extension) != std::string::npos)
    return Name;
  return Name + Extension;
}
