#include "ImgFormats.h"

#include <algorithm>
#include <cctype>

#include "XBmp.h"
#include "XGif.h"
#include "XJpg.h"
#include "XPng.h"

namespace {

std::string Upper(std::string S) {
  for (char& C : S)
    C = char(std::toupper(static_cast<unsigned char>(C)));
  return S;
}

std::string Lower(std::string S) {
  for (char& C : S)
    C = char(std::tolower(static_cast<unsigned char>(C)));
  return S;
}

} // namespace

std::unique_ptr<TImgReader> CreateReader(int32_t Format, const TSettings& S) {
  std::unique_ptr<TImgReader> R;
  bool Background = false;
  switch (Format) {
  case fmtBMP:
  case fmtBUM: R = std::make_unique<TBmpReader>(); break;
  case fmtGIF:
    R = std::make_unique<TGifReader>();
    Background = true;
    break;
  case fmtPNG:
    R = std::make_unique<TPngReader>();
    Background = true;
    break;
  case fmtJPEG: R = std::make_unique<TJpgReader>(); break;
  default: return nullptr;
  }
  R->Resolution = S.DefaultDpi;
  if (Background)
    R->SetBackground(S.BackColor);
  return R;
}

std::string ReaderFormatText(int32_t Format, const TImgReader& Reader, const std::string& Path) {
  switch (Format) {
  case fmtBMP:
    if (static_cast<const TBmpReader&>(Reader).Os2Header)
      return "OS/2 Bitmap";
    if (Upper(Path).find(".RLE") != std::string::npos)
      return "Run Length Encoded Bitmap";
    return "Windows Bitmap";
  case fmtGIF: return "GIF " + static_cast<const TGifReader&>(Reader).Version();
  case fmtPNG: return "Portable Network Graphic";
  case fmtJPEG: return "JPEG Image";
  case fmtBUM: return "Poser Bump Map";
  default: return FormatText(Format);
  }
}

bool ReaderTransparency(int32_t Format, const TImgReader& Reader, TTransparencyInfo& Info) {
  if (Format == fmtGIF) {
    Info = static_cast<const TGifReader&>(Reader).Transparency;
    return true;
  }
  if (Format == fmtPNG) {
    Info = static_cast<const TPngReader&>(Reader).Transparency;
    return true;
  }
  return false;
}

std::vector<std::string> OpenFilters() {
  return {"Windows Bitmap (*.bmp *.rle)",
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
}

std::vector<std::string> SaveFilters() {
  return {"BMP (Windows Bitmap) (*.bmp)",          "PCX (ZSoft Paintbrush) (*.pcx)",
          "GIF (Graphic Interchange) (*.gif)",     "PNG (Portable Network Graphic) (*.png)",
          "TIFF (Tagged Image File) (*.tif)",      "JPEG (JPEG Image) (*.jpg)",
          "TGA (TARGA True Vision) (*.tga)",       "MAP (*.pnm)",
          "SGI (Silicon Graphics) (*.sgi)",        "RAS (SUN Raster) (*.ras)",
          "IFF (Interchange File Format) (*.iff)", "PSD (Photoshop) (*.psd)",
          "BUM (Poser Bump Map) (*.bum)"};
}

std::vector<std::string> SaveFiltersFor(const TDib& Image) {
  std::vector<std::string> F = SaveFilters();
  std::string& Map = F[SaveFilterPnm - 1];
  if (Image.PixelFormat() == pf1bit)
    Map = "PBM (Portable Bitmap) (*.pbm)";
  else if (Image.IsGray)
    Map = "PGM (Portable Graymap) (*.pgm)";
  else
    Map = "PPM (Portable Pixelmap) (*.ppm)";
  return F;
}

TSaveChoice CreateWriter(int32_t FilterIndex, const TDib& Image, const TSettings& S,
                         const TTransparencyInfo& Transparency, const TMetaTexts& Meta) {
  TSaveChoice C;
  auto PassMeta = [&](TImgWriter& W) {
    W.Title = Meta.Title;
    W.Author = Meta.Author;
    W.Rights = Meta.Rights;
  };
  switch (FilterIndex) {
  case 1: {
    auto W = std::make_unique<TBmpWriter>();
    W->Os2Format = S.BmpOs2 != 0;
    C.Extension = ".bmp";
    C.FormatText = W->Os2Format ? "OS/2 Bitmap" : "Windows Bitmap";
    C.Writer = std::move(W);
    break;
  }
  case 2:
    C.Extension = ".pcx";
    C.FormatText = "ZSoft Paintbrush Image";
    break;
  case 3: {
    if (Image.PixelFormat() > pf8bit) {
      C.Refusal = "Convert to grayscale or indexed colors to save as GIF";
      return C;
    }
    auto W = std::make_unique<TGifWriter>();
    W->Compression = S.GifCompression;
    W->Interlaced = S.GifInterlaced;
    W->Transparency = Transparency;
    C.Extension = ".gif";
    C.FormatText = "Graphic Interchange Format 89a";
    C.Writer = std::move(W);
    break;
  }
  case 4: {
    auto W = std::make_unique<TPngWriter>();
    W->Filters = uint8_t(S.PngFilters | pngFilterNone);
    const bool IndexedColor = (Image.PixelFormat() == pf4bit || Image.PixelFormat() == pf8bit) && !Image.IsGray;
    W->OptimizePalette = IndexedColor && S.PngOptimizePalette;
    W->PaletteOrder = W->OptimizePalette ? pngMostUsedFirst : pngKeepOrder;
    W->CompressionLevel = S.PngCompressionLevel;
    W->Interlaced = S.PngInterlaced;
    W->Transparency = Transparency;
    if (S.SignPng)
      PassMeta(*W);
    C.Extension = ".png";
    C.FormatText = "Portable Network Graphic";
    C.Writer = std::move(W);
    break;
  }
  case 5:
    C.Extension = ".tif";
    C.FormatText = S.TifBigEndian ? "Tagged Image File (mac)" : "Tagged Image File (pc)";
    break;
  case 6: {
    auto W = std::make_unique<TJpgWriter>();
    W->Quality = uint8_t(std::clamp<int32_t>(S.JpgQuality, 10, 100));
    W->Progressive = S.JpgProgressive;
    C.Extension = ".jpg";
    C.FormatText = "JPEG Image";
    C.Writer = std::move(W);
    break;
  }
  case 7:
    C.Extension = ".tga";
    C.FormatText = "TARGA True Vision Image";
    break;
  case 8:
    if (Image.PixelFormat() == pf1bit) {
      C.Extension = ".pbm";
      C.FormatText = "Portable Bitmap Image";
    } else if (Image.IsGray) {
      C.Extension = ".pgm";
      C.FormatText = "Portable Graymap Image";
    } else {
      C.Extension = ".ppm";
      C.FormatText = "Portable Pixelmap Image";
    }
    break;
  case 9:
    C.Extension = ".sgi";
    C.FormatText = "Silicon Graphics Image";
    break;
  case 10:
    C.Extension = ".ras";
    C.FormatText = "SUN Raster File";
    break;
  case 11:
    C.Extension = ".iff";
    C.FormatText = "Interchange File Format";
    break;
  case 12:
    C.Extension = ".psd";
    C.FormatText = "Photoshop Image";
    break;
  case 13: {
    auto W = std::make_unique<TBmpWriter>();
    W->Os2Format = false;
    C.Extension = ".bum";
    C.FormatText = "Poser Bump Map";
    C.Writer = std::move(W);
    break;
  }
  default: break;
  }
  if (!C.Writer)
    C.Refusal = NotSupportedText;
  return C;
}

std::string NameWithExtension(const std::string& Name, const std::string& Extension) {
  if (Lower(Name).find(Extension) != std::string::npos)
    return Name;
  return Name + Extension;
}
