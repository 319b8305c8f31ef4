#include <gtest/gtest.h>

#include "ImgFormats.h"
#include "XBmp.h"
#include "XJpg.h"
#include "XPmg.h"
#include "XPng.h"
#include "XTga.h"
#include "XTif.h"

// The settings reach the codecs of the table of formats.
namespace {

TSettings Defaults() {
  TSettings S{};
  SetDefaultSettings(S);
  return S;
}

template <class T>
const T* WriterOf(const TSaveChoice& C) {
  return dynamic_cast<const T*>(C.Writer.get());
}

TEST(FormatSettings, ReadersTakeResolutionBackgroundAndAlpha) {
  TSettings S = Defaults();
  S.DefaultDpi = 150;
  S.BackColor = 0x00102030;
  S.ApplyAlpha = true;
  const TReadOptions O = ReadOptionsOf(S);
  EXPECT_EQ(O.Resolution, 150);
  EXPECT_EQ(O.Background, TColor(0x00102030));
  EXPECT_TRUE(O.AlphaEnabled);
  const auto Png = NewReader(fmtPNG, O);
  ASSERT_TRUE(Png);
  EXPECT_EQ(Png->Resolution, 150);
  EXPECT_EQ(Png->BackgroundColor, TColor(0x00102030));
  EXPECT_EQ(NewReader(fmtBMP, O)->BackgroundColor, TColor(0xFFFFFF));
  EXPECT_FALSE(NewReader(fmtJP2, O));
  S.LuvStonits = true;
  const auto Tif = NewReader(fmtTIFF, ReadOptionsOf(S));
  ASSERT_TRUE(Tif);
  EXPECT_EQ(Tif->BackgroundColor, TColor(0x00102030));
  EXPECT_TRUE(static_cast<const TTifReader&>(*Tif).UseStoNits);
}

TEST(FormatSettings, WritersTakeTheirSettings) {
  TSettings S = Defaults();
  const TDib Color(2, 2, pf24bit), Indexed(2, 2, pf8bit);
  const TTransparencyInfo T{3, 0, -1, 0};
  const TMetaTexts Meta{"Title", "Author", "Rights"};
  S.BmpOs2 = 1;
  S.TifBigEndian = 1;
  S.PngFilters = pngFilterUp;
  S.PngOptimizePalette = true;
  S.SignPng = false;
  EXPECT_TRUE(WriterOf<TBmpWriter>(CreateWriter(1, Color, S, T, Meta))->Os2Format);
  EXPECT_EQ(CreateWriter(1, Color, S, T, Meta).FormatText, "OS/2 Bitmap");
  EXPECT_EQ(CreateWriter(5, Color, S, T, Meta).FormatText, "Tagged Image File (mac)");
  const TSaveChoice Unsigned = CreateWriter(4, Indexed, S, T, Meta);
  const TPngWriter* Png = WriterOf<TPngWriter>(Unsigned);
  ASSERT_TRUE(Png);
  // Row filters are kept to gray and true-color images.
  EXPECT_EQ(Png->Filters, pngFilterNone);
  EXPECT_EQ(WriterOf<TPngWriter>(CreateWriter(4, Color, S, T, Meta))->Filters, pngFilterUp | pngFilterNone);
  EXPECT_TRUE(Png->OptimizePalette);
  EXPECT_EQ(Png->Transparency.TransparentIndex, 3);
  EXPECT_EQ(Png->Title, "");
  S.SignPng = true;
  EXPECT_EQ(WriterOf<TPngWriter>(CreateWriter(4, Indexed, S, T, Meta))->Rights, "Rights");

  S.TifCompression = 12;
  S.TifStripSize = 8192;
  S.SignTif = true;
  const TTifWriter* Tif = WriterOf<TTifWriter>(CreateWriter(5, Color, S, T, Meta));
  ASSERT_TRUE(Tif);
  EXPECT_TRUE(Tif->BigEndian);
  EXPECT_EQ(Tif->Compression, 12);
  EXPECT_EQ(Tif->StripSize, 8192);
  EXPECT_EQ(Tif->Author, "Author");
  S.SignTif = false;
  EXPECT_EQ(WriterOf<TTifWriter>(CreateWriter(5, Color, S, T, Meta))->Author, "");

  for (auto [Setting, Stored] : {std::pair{5, 10}, {55, 55}, {200, 100}}) {
    S.JpgQuality = Setting;
    EXPECT_EQ(WriterOf<TJpgWriter>(CreateWriter(6, Color, S, T, Meta))->Quality, Stored) << Setting;
  }
}

// Each format's own switch signs it; one format's switch never signs another.
TEST(FormatSettings, TargaAndPortableMapOptionsAndSignature) {
  TSettings S = Defaults();
  const TDib Color(2, 2, pf24bit);
  const TMetaTexts Meta{"Title", "Author", "Rights"};
  S.TgaRle = true;
  S.PnmCompression = cmpAscii;
  S.SignPng = true;
  S.SignPnm = false;
  EXPECT_TRUE(WriterOf<TTgaWriter>(CreateWriter(7, Color, S, {}, Meta))->RunLength);
  const TSaveChoice Plain = CreateWriter(SaveFilterPnm, Color, S, {}, Meta);
  ASSERT_TRUE(WriterOf<TPmgWriter>(Plain));
  EXPECT_TRUE(WriterOf<TPmgWriter>(Plain)->Plain);
  EXPECT_EQ(WriterOf<TPmgWriter>(Plain)->Title, "");
  S.SignPng = false;
  S.SignPnm = true;
  S.PnmCompression = 0;
  S.TgaRle = false;
  const TSaveChoice Signed = CreateWriter(SaveFilterPnm, Color, S, {}, Meta);
  EXPECT_FALSE(WriterOf<TPmgWriter>(Signed)->Plain);
  EXPECT_EQ(WriterOf<TPmgWriter>(Signed)->Author, "Author");
  EXPECT_EQ(WriterOf<TPngWriter>(CreateWriter(4, Color, S, {}, Meta))->Title, "");
  EXPECT_FALSE(WriterOf<TTgaWriter>(CreateWriter(7, Color, S, {}, Meta))->RunLength);
}

} // namespace
