#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "XBmp.h"
#include "XFormats.h"
#include "XGif.h"
#include "XJpg.h"
#include "XPng.h"

// What each format answers, written out: a row that loses its reader, writer
// or an extension shows here.
namespace {

struct TExpectedFormat {
  int32_t Format;
  std::vector<std::string> Extensions;
  std::string Text;
  bool Readable;
};

const std::vector<TExpectedFormat> Expected = {
    {fmtBMP, {"bmp", "rle"}, "Windows Bitmap", true},
    {fmtPCX, {"pcx"}, "ZSoft Paintbrush Image", true},
    {fmtGIF, {"gif"}, "Graphic Interchange Format", true},
    {fmtPNG, {"png"}, "Portable Network Graphic", true},
    {fmtTIFF, {"tif", "tiff"}, "Tagged Image File Format", true},
    {fmtJPEG, {"jpg", "jpe", "jpeg", "jfif"}, "JPEG Image", true},
    {fmtJP2, {"jp2"}, "JPEG 2000 Image", false},
    {fmtTGA, {"tga", "vst", "vda", "icb"}, "TARGA True Vision Image", true},
    {fmtPNM, {"ppm", "pgm", "pbm", "pnm"}, "Portable Map Image", true},
    {fmtSGI, {"sgi", "rgb", "rgba"}, "Silicon Graphics Image", true},
    {fmtRAS, {"ras"}, "SUN Raster File", true},
    {fmtIFF, {"iff", "lbm"}, "Interchange File Format", true},
    {fmtPSD, {"psd"}, "Photoshop Image", true},
    {fmtPCD, {"pcd"}, "Kodak Photo-CD Image", true},
    {fmtWMF, {"wmf", "emf"}, "Windows Metafile", true},
    {fmtBUM, {"bum", "bump"}, "Poser Bump Map", true},
};

std::string UpperText(std::string S) {
  for (char& C : S)
    C = char(std::toupper(static_cast<unsigned char>(C)));
  return S;
}

TEST(FormatTable, EveryFormatAndExtensionAnswersAsBefore) {
  ASSERT_EQ(FormatRows().size(), Expected.size());
  for (const TExpectedFormat& E : Expected) {
    SCOPED_TRACE(E.Text);
    ASSERT_NE(FindFormat(E.Format), nullptr);
    EXPECT_EQ(FindFormat(E.Format)->Format, E.Format);
    EXPECT_EQ(FormatText(E.Format), E.Text);
    EXPECT_EQ(FormatTexts()[size_t(E.Format)], E.Text);
    EXPECT_EQ(CanRead(E.Format), E.Readable);
    EXPECT_EQ(NewReader(E.Format, {}) != nullptr, E.Readable);
    for (const std::string& Ext : E.Extensions) {
      EXPECT_EQ(FormatOfFile("name." + Ext), E.Format) << Ext;
      EXPECT_EQ(FormatOfFile("DIR/NAME." + UpperText(Ext)), E.Format) << Ext;
    }
  }
  for (int32_t Outside : {int32_t(fmtUnknown), -1, 99}) {
    EXPECT_EQ(FindFormat(Outside), nullptr);
    EXPECT_EQ(FormatText(Outside), "Unknown");
    EXPECT_FALSE(CanRead(Outside));
  }
  EXPECT_EQ(FormatOfFile("a.bmpx"), fmtUnknown);
  EXPECT_EQ(FormatOfFile("a.jpeg.pcx"), fmtPCX);
}

TEST(FormatTable, DialogFiltersAreTheOldTexts) {
  const std::vector<std::string> Open = {
      "Windows Bitmap (*.bmp *.rle)",
      "ZSoft Paintbrush Image (*.pcx)",
      "Graphic Interchange Format (*.gif)",
      "Portable Network Graphic (*.png)",
      "Tagged Image File Format (*.tif *.tiff)",
      "JPEG Image (*.jpg *.jpe *.jpeg *.jfif)",
      "TARGA True Vision Image (*.tga *.vst *.vda *.icb)",
      "Portable Map Image (*.ppm *.pgm *.pbm *.pnm)",
      "Silicon Graphics Image (*.sgi *.rgb *.rgba)",
      "SUN Raster File (*.ras)",
      "Interchange File Format (*.iff *.lbm)",
      "Photoshop Image (*.psd)",
      "Kodak Photo-CD Image (*.pcd)",
      "Windows Metafile (*.wmf *.emf)",
      "Poser Bump Map (*.bum *.bump)",
      "All supported bitmap files (*.bmp *.rle *.pcx *.gif *.png *.tif *.tiff *.jpg *.jpe *.jpeg *.jfif "
      "*.tga *.vst *.vda *.icb *.ppm *.pgm *.pbm *.pnm *.sgi *.rgb *.rgba *.ras *.iff *.lbm *.psd *.pcd "
      "*.wmf *.emf *.bum *.bump)",
      "All files (*)"};
  EXPECT_EQ(OpenFilters(), Open);
  EXPECT_EQ(OpenFilters()[OpenFilterAll - 1], Open[15]);

  const std::vector<std::string> Save = {
      "BMP (Windows Bitmap) (*.bmp)",          "PCX (ZSoft Paintbrush) (*.pcx)",
      "GIF (Graphic Interchange) (*.gif)",     "PNG (Portable Network Graphic) (*.png)",
      "TIFF (Tagged Image File) (*.tif)",      "JPEG (JPEG Image) (*.jpg)",
      "TGA (TARGA True Vision) (*.tga)",       "MAP (*.pnm)",
      "SGI (Silicon Graphics) (*.sgi)",        "RAS (SUN Raster) (*.ras)",
      "IFF (Interchange File Format) (*.iff)", "PSD (Photoshop) (*.psd)",
      "BUM (Poser Bump Map) (*.bum)"};
  EXPECT_EQ(SaveFilters(), Save);
  std::vector<std::string> ForColor = Save;
  ForColor[SaveFilterPnm - 1] = "PPM (Portable Pixelmap) (*.ppm)";
  EXPECT_EQ(SaveFiltersFor(TDib(2, 2, pf24bit)), ForColor);
  EXPECT_EQ(SaveFilterRow(0), nullptr);
  EXPECT_EQ(SaveFilterRow(SaveFilterCount + 1), nullptr);
}

struct TExpectedSave {
  int32_t Filter;
  std::string Extension, Text;
  bool Writes;
};

TEST(FormatTable, SaveChoicesAreTheOldOnes) {
  const TDib Color(2, 2, pf24bit), Indexed(2, 2, pf8bit), Bits(2, 2, pf1bit);
  TDib Gray(2, 2, pf8bit);
  Gray.IsGray = true;
  const std::vector<TExpectedSave> Old = {
      {1, ".bmp", "Windows Bitmap", true},
      {2, ".pcx", "ZSoft Paintbrush Image", true},
      {3, ".gif", "Graphic Interchange Format 89a", true},
      {4, ".png", "Portable Network Graphic", true},
      {5, ".tif", "Tagged Image File (pc)", true},
      {6, ".jpg", "JPEG Image", true},
      {7, ".tga", "TARGA True Vision Image", true},
      {8, ".pgm", "Portable Graymap Image", true},
      {9, ".sgi", "Silicon Graphics Image", true},
      {10, ".ras", "SUN Raster File", true},
      {11, ".iff", "Interchange File Format", true},
      {12, ".psd", "Photoshop Image", true},
      {13, ".bum", "Poser Bump Map", true},
  };
  for (const TExpectedSave& E : Old) {
    SCOPED_TRACE(E.Filter);
    const TSaveChoice C = ChooseWriter(E.Filter, Gray, {});
    EXPECT_EQ(C.Extension, E.Extension);
    EXPECT_EQ(C.FormatText, E.Text);
    EXPECT_EQ(C.Writer != nullptr, E.Writes);
    EXPECT_EQ(C.Refusal, E.Writes ? "" : NotSupportedText);
  }
  for (int32_t Outside : {0, SaveFilterCount + 1}) {
    const TSaveChoice C = ChooseWriter(Outside, Gray, {});
    EXPECT_FALSE(C.Writer);
    EXPECT_EQ(C.Extension, "");
    EXPECT_EQ(C.Refusal, NotSupportedText);
  }
  const TSaveChoice Gif = ChooseWriter(3, Color, {});
  EXPECT_FALSE(Gif.Writer);
  EXPECT_EQ(Gif.Extension, "");
  EXPECT_EQ(Gif.Refusal, "Convert to grayscale or indexed colors to save as GIF");
  EXPECT_TRUE(ChooseWriter(3, Indexed, {}).Writer);

  TWriteOptions O;
  O.Os2 = true;
  O.TifBigEndian = true;
  EXPECT_EQ(ChooseWriter(1, Color, O).FormatText, "OS/2 Bitmap");
  EXPECT_EQ(ChooseWriter(5, Color, O).FormatText, "Tagged Image File (mac)");
  EXPECT_EQ(ChooseWriter(8, Bits, O).Extension, ".pbm");
  EXPECT_EQ(ChooseWriter(8, Bits, O).FormatText, "Portable Bitmap Image");
  EXPECT_EQ(ChooseWriter(8, Indexed, O).Extension, ".ppm");
  EXPECT_EQ(ChooseWriter(8, Indexed, O).FormatText, "Portable Pixelmap Image");
  EXPECT_EQ(SaveFiltersFor(Bits)[SaveFilterPnm - 1], "PBM (Portable Bitmap) (*.pbm)");
  EXPECT_EQ(SaveFiltersFor(Gray)[SaveFilterPnm - 1], "PGM (Portable Graymap) (*.pgm)");
}

// The choice must outlive the reference.
template <class T>
const T& WriterAs(const TSaveChoice& C) {
  const T* W = dynamic_cast<const T*>(C.Writer.get());
  EXPECT_NE(W, nullptr);
  static const T None;
  return W ? *W : None;
}

TEST(FormatTable, WritersTakeTheirOptions) {
  const TDib Color(2, 2, pf24bit), Indexed(2, 2, pf8bit);
  TWriteOptions O;
  O.Os2 = true;
  O.GifCompression = 0;
  O.GifInterlaced = true;
  O.PngFilters = pngFilterPaeth;
  O.PngLevel = 2;
  O.PngInterlaced = true;
  O.PngOptimizePalette = true;
  O.JpgQuality = 33;
  O.JpgProgressive = true;
  O.Transparency.TransparentIndex = 5;
  O.Texts = {"T", "A", "R"};
  EXPECT_TRUE(WriterAs<TBmpWriter>(ChooseWriter(1, Color, O)).Os2Format);
  // Bump maps never take the OS/2 header.
  EXPECT_FALSE(WriterAs<TBmpWriter>(ChooseWriter(13, Color, O)).Os2Format);

  const TSaveChoice GifChoice = ChooseWriter(3, Indexed, O);
  const auto& Gif = WriterAs<TGifWriter>(GifChoice);
  EXPECT_EQ(Gif.Compression, 0);
  EXPECT_TRUE(Gif.Interlaced);
  EXPECT_EQ(Gif.Transparency.TransparentIndex, 5);

  const TSaveChoice PngIndexed = ChooseWriter(4, Indexed, O);
  const auto& Png = WriterAs<TPngWriter>(PngIndexed);
  EXPECT_EQ(Png.Filters, pngFilterPaeth | pngFilterNone);
  EXPECT_EQ(Png.CompressionLevel, 2);
  EXPECT_TRUE(Png.Interlaced);
  EXPECT_TRUE(Png.OptimizePalette);
  EXPECT_EQ(Png.PaletteOrder, pngMostUsedFirst);
  EXPECT_EQ(Png.Transparency.TransparentIndex, 5);
  EXPECT_EQ(Png.Title + Png.Author + Png.Rights, "TAR");
  // Only color palettes are reordered.
  const TSaveChoice PngColor = ChooseWriter(4, Color, O);
  EXPECT_FALSE(WriterAs<TPngWriter>(PngColor).OptimizePalette);
  EXPECT_EQ(WriterAs<TPngWriter>(PngColor).PaletteOrder, pngKeepOrder);

  const TSaveChoice JpgChoice = ChooseWriter(6, Color, O);
  const auto& Jpg = WriterAs<TJpgWriter>(JpgChoice);
  EXPECT_EQ(Jpg.Quality, 33);
  EXPECT_TRUE(Jpg.Progressive);
}

TEST(FormatTable, ReadersGetResolutionAndOnlyGifAndPngTheBackground) {
  TReadOptions O;
  O.Resolution = 123;
  O.Background = 0x00345678;
  for (int32_t F : {fmtBMP, fmtGIF, fmtPNG, fmtJPEG, fmtBUM}) {
    SCOPED_TRACE(F);
    const auto R = NewReader(F, O);
    ASSERT_TRUE(R);
    EXPECT_EQ(R->Resolution, 123);
    EXPECT_EQ(R->BackgroundColor, F == fmtGIF || F == fmtPNG ? 0x00345678u : 0xFFFFFFu);
  }
  EXPECT_TRUE(dynamic_cast<TBmpReader*>(NewReader(fmtBMP, {}).get()));
  EXPECT_TRUE(dynamic_cast<TBmpReader*>(NewReader(fmtBUM, {}).get()));
  EXPECT_TRUE(dynamic_cast<TGifReader*>(NewReader(fmtGIF, {}).get()));
  EXPECT_TRUE(dynamic_cast<TPngReader*>(NewReader(fmtPNG, {}).get()));
  EXPECT_TRUE(dynamic_cast<TJpgReader*>(NewReader(fmtJPEG, {}).get()));
  EXPECT_EQ(NewReader(fmtBMP, {})->Resolution, 300);
  EXPECT_NE(FindFormat(fmtJPEG)->LibraryVersion, nullptr);
  EXPECT_EQ(FindFormat(fmtPNG)->LibraryVersion, nullptr);
}

} // namespace
