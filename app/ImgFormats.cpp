#include "ImgFormats.h"

#include <algorithm>
#include <cctype>

TReadOptions ReadOptionsOf(const TSettings& S) {
  TReadOptions O;
  O.Resolution = int32_t(S.DefaultDpi);
  O.Background = TColor(S.BackColor);
  O.AlphaEnabled = S.ApplyAlpha;
  return O;
}

TWriteOptions WriteOptionsOf(const TSettings& S, const TTransparencyInfo& Transparency, const TMetaTexts& Meta) {
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
  O.Transparency = Transparency;
  if (S.SignPng)
    O.Texts = Meta;
  return O;
}

TSaveChoice CreateWriter(int32_t FilterIndex, const TDib& Image, const TSettings& S,
                         const TTransparencyInfo& Transparency, const TMetaTexts& Meta) {
  return ChooseWriter(FilterIndex, Image, WriteOptionsOf(S, Transparency, Meta));
}

std::string NameWithExtension(const std::string& Name, const std::string& Extension) {
  std::string Lower = Name;
  for (char& C : Lower)
    C = char(std::tolower(static_cast<unsigned char>(C)));
  if (Lower.find(Extension) != std::string::npos)
    return Name;
  return Name + Extension;
}
