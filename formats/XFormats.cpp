#include "XFormats.h"

#include <algorithm>
#include <cctype>

#include "XBmp.h"
#include "XGif.h"
#include "XIff.h"
#include "XJpg.h"
#include "XPcd.h"
#include "XPmg.h"
#include "XPcx.h"
#include "XPng.h"
#include "XPsd.h"
#include "XRas.h"
#include "XSgi.h"
#include "XTga.h"
#include "XTif.h"
#include "XWmf.h"

namespace {

std::string Upper(std::string_view S) {
  std::string U(S);
  for (char& C : U)
    C = char(std::toupper(static_cast<unsigned char>(C)));
  return U;
}

std::string Lower(std::string_view S) {
  std::string L(S);
  for (char& C : L)
    C = char(std::tolower(static_cast<unsigned char>(C)));
  return L;
}

bool EndsWith(std::string_view S, std::string_view Tail) {
  return S.size() >= Tail.size() && S.substr(S.size() - Tail.size()) == Tail;
}

template <class TReader>
std::unique_ptr<TImgReader> Make() {
  return std::make_unique<TReader>();
}

// Only the Photo CD row makes this reader, so the cast is exact.
void ConfigurePcd(TImgReader& R, const TReadOptions& O) { static_cast<TPcdReader&>(R).PcdResolution = O.PcdResolution; }

// Only the TIFF row makes this reader.
void ConfigureTif(TImgReader& R, const TReadOptions& O) {
  auto& T = static_cast<TTifReader&>(R);
  T.UseStoNits = O.LuvStonits;
  T.OnLuvRow = O.OnLuvRow;
}

// For the writers of formats that carry texts.
void SetTexts(TImgWriter& W, const TMetaTexts& T) {
  W.Title = T.Title;
  W.Author = T.Author;
  W.Rights = T.Rights;
}

std::unique_ptr<TImgWriter> NewBmpWriter(const TWriteOptions& O, const TDib&) {
  auto W = std::make_unique<TBmpWriter>();
  W->Os2Format = O.Os2;
  return W;
}

// Bump maps are always Windows bitmaps.
std::unique_ptr<TImgWriter> NewBumWriter(const TWriteOptions&, const TDib&) {
  auto W = std::make_unique<TBmpWriter>();
  W->Os2Format = false;
  return W;
}

std::unique_ptr<TImgWriter> NewRasWriter(const TWriteOptions&, const TDib&) { return std::make_unique<TRasWriter>(); }

std::unique_ptr<TImgWriter> NewPcxWriter(const TWriteOptions&, const TDib&) { return std::make_unique<TPcxWriter>(); }

std::unique_ptr<TImgWriter> NewLbmWriter(const TWriteOptions&, const TDib&) { return std::make_unique<TLbmWriter>(); }

std::unique_ptr<TImgWriter> NewGifWriter(const TWriteOptions& O, const TDib&) {
  auto W = std::make_unique<TGifWriter>();
  W->Compression = O.GifCompression;
  W->Interlaced = O.GifInterlaced;
  W->Transparency = O.Transparency;
  return W;
}

std::unique_ptr<TImgWriter> NewPngWriter(const TWriteOptions& O, const TDib& Image) {
  auto W = std::make_unique<TPngWriter>();
  W->Filters = uint8_t(O.PngFilters | pngFilterNone);
  const bool IndexedColor = (Image.PixelFormat() == pf4bit || Image.PixelFormat() == pf8bit) && !Image.IsGray;
  W->OptimizePalette = IndexedColor && O.PngOptimizePalette;
  W->PaletteOrder = W->OptimizePalette ? pngMostUsedFirst : pngKeepOrder;
  W->CompressionLevel = O.PngLevel;
  W->Interlaced = O.PngInterlaced;
  W->Transparency = O.Transparency;
  SetTexts(*W, O.Texts);
  return W;
}

std::unique_ptr<TImgWriter> NewPsdWriter(const TWriteOptions&, const TDib&) { return std::make_unique<TPSDWriter>(); }

std::unique_ptr<TImgWriter> NewSgiWriter(const TWriteOptions&, const TDib&) { return std::make_unique<TSgiWriter>(); }

std::unique_ptr<TImgWriter> NewJpgWriter(const TWriteOptions& O, const TDib&) {
  auto W = std::make_unique<TJpgWriter>();
  W->Quality = uint8_t(O.JpgQuality);
  W->Progressive = O.JpgProgressive;
  return W;
}

std::unique_ptr<TImgWriter> NewTgaWriter(const TWriteOptions& O, const TDib&) {
  auto W = std::make_unique<TTgaWriter>();
  W->RunLength = O.TgaRunLength;
  return W;
}

std::unique_ptr<TImgWriter> NewPnmWriter(const TWriteOptions& O, const TDib&) {
  auto W = std::make_unique<TPmgWriter>();
  W->Plain = O.PnmPlain;
  SetTexts(*W, O.Texts);
  return W;
}

const char* GifRefusal(const TDib& Image) {
  return Image.PixelFormat() > pf8bit ? "Convert to grayscale or indexed colors to save as GIF" : nullptr;
}

void BmpSaveKind(TSaveKind& K, const TWriteOptions& O, const TDib&) {
  if (O.Os2)
    K.Text = "OS/2 Bitmap";
}

std::unique_ptr<TImgWriter> NewTifWriter(const TWriteOptions& O, const TDib&) {
  auto W = std::make_unique<TTifWriter>();
  W->BigEndian = O.TifBigEndian;
  W->Compression = O.TifCompression;
  W->StripSize = O.TifStripSize;
  SetTexts(*W, O.Texts);
  return W;
}

void TifSaveKind(TSaveKind& K, const TWriteOptions& O, const TDib&) {
  K.Text = O.TifBigEndian ? "Tagged Image File (mac)" : "Tagged Image File (pc)";
}

// The one portable map kind that holds the image.
void PnmSaveKind(TSaveKind& K, const TWriteOptions&, const TDib& Image) {
  if (Image.PixelFormat() == pf1bit)
    K = {"PBM (Portable Bitmap) (*.pbm)", ".pbm", "Portable Bitmap Image"};
  else if (Image.IsGray)
    K = {"PGM (Portable Graymap) (*.pgm)", ".pgm", "Portable Graymap Image"};
  else
    K = {"PPM (Portable Pixelmap) (*.ppm)", ".ppm", "Portable Pixelmap Image"};
}

// Tested in this order; the first extension the name ends with wins.
const TFormatRow Rows[] = {
    {.Format = fmtBMP,
     .Extensions = {".BMP", ".RLE"},
     .Text = "Windows Bitmap",
     .OpenCaption = "Windows Bitmap",
     .SaveCaption = "BMP (Windows Bitmap) (*.bmp)",
     .VariantExtension = ".RLE",
     .VariantText = "Run Length Encoded Bitmap",
     .ShowsReaderVariant = true,
     .NewReader = Make<TBmpReader>,
     .NewWriter = NewBmpWriter,
     .AdjustSaveKind = BmpSaveKind},
    {.Format = fmtPCX,
     .Extensions = {".PCX"},
     .Text = "ZSoft Paintbrush Image",
     .OpenCaption = "ZSoft Paintbrush Image",
     .SaveCaption = "PCX (ZSoft Paintbrush) (*.pcx)",
     .NewReader = Make<TPcxReader>,
     .NewWriter = NewPcxWriter},
    {.Format = fmtGIF,
     .Extensions = {".GIF"},
     .Text = "Graphic Interchange Format",
     .OpenCaption = "Graphic Interchange Format",
     .SaveCaption = "GIF (Graphic Interchange) (*.gif)",
     .SaveText = "Graphic Interchange Format 89a",
     .ShowsReaderVariant = true,
     .TakesBackground = true,
     .NewReader = Make<TGifReader>,
     .NewWriter = NewGifWriter,
     .Refusal = GifRefusal},
    {.Format = fmtPNG,
     .Extensions = {".PNG"},
     .Text = "Portable Network Graphic",
     .OpenCaption = "Portable Network Graphic",
     .SaveCaption = "PNG (Portable Network Graphic) (*.png)",
     .TakesBackground = true,
     .NewReader = Make<TPngReader>,
     .NewWriter = NewPngWriter},
    {.Format = fmtTIFF,
     .Extensions = {".TIF", ".TIFF"},
     .Text = "Tagged Image File Format",
     .OpenCaption = "Tagged Image File Format",
     .SaveCaption = "TIFF (Tagged Image File) (*.tif)",
     .ShowsReaderVariant = true,
     .TakesBackground = true,
     .NewReader = Make<TTifReader>,
     .Configure = ConfigureTif,
     .NewWriter = NewTifWriter,
     .AdjustSaveKind = TifSaveKind},
    {.Format = fmtJPEG,
     .Extensions = {".JPG", ".JPE", ".JPEG", ".JFIF"},
     .Text = "JPEG Image",
     .OpenCaption = "JPEG Image",
     .SaveCaption = "JPEG (JPEG Image) (*.jpg)",
     .NewReader = Make<TJpgReader>,
     .NewWriter = NewJpgWriter,
     .LibraryVersion = JpegLibraryVersion},
    {.Format = fmtJP2, .Extensions = {".JP2"}, .Text = "JPEG 2000 Image"},
    {.Format = fmtTGA,
     .Extensions = {".TGA", ".VST", ".VDA", ".ICB"},
     .Text = "TARGA True Vision Image",
     .OpenCaption = "TARGA True Vision Image",
     .SaveCaption = "TGA (TARGA True Vision) (*.tga)",
     .NewReader = Make<TTgaReader>,
     .NewWriter = NewTgaWriter},
    {.Format = fmtPNM,
     .Extensions = {".PPM", ".PGM", ".PBM", ".PNM"},
     .Text = "Portable Map Image",
     .OpenCaption = "Portable Map Image",
     .SaveCaption = "MAP (*.pnm)",
     .ShowsReaderVariant = true,
     .NewReader = Make<TPmgReader>,
     .NewWriter = NewPnmWriter,
     .AdjustSaveKind = PnmSaveKind},
    {.Format = fmtSGI,
     .Extensions = {".SGI", ".RGB", ".RGBA"},
     .Text = "Silicon Graphics Image",
     .OpenCaption = "Silicon Graphics Image",
     .SaveCaption = "SGI (Silicon Graphics) (*.sgi)",
     .TakesBackground = true,
     .NewReader = Make<TSgiReader>,
     .NewWriter = NewSgiWriter},
    {.Format = fmtRAS,
     .Extensions = {".RAS"},
     .Text = "SUN Raster File",
     .OpenCaption = "SUN Raster File",
     .SaveCaption = "RAS (SUN Raster) (*.ras)",
     .NewReader = Make<TRasReader>,
     .NewWriter = NewRasWriter},
    {.Format = fmtIFF,
     .Extensions = {".IFF", ".LBM"},
     .Text = "Interchange File Format",
     .OpenCaption = "Interchange File Format",
     .SaveCaption = "IFF (Interchange File Format) (*.iff)",
     .NewReader = Make<TLbmReader>,
     .NewWriter = NewLbmWriter},
    {.Format = fmtPSD,
     .Extensions = {".PSD"},
     .Text = "Photoshop Image",
     .OpenCaption = "Photoshop Image",
     .SaveCaption = "PSD (Photoshop) (*.psd)",
     .TakesBackground = true,
     .NewReader = Make<TPSDReader>,
     .NewWriter = NewPsdWriter},
    {.Format = fmtPCD,
     .Extensions = {".PCD"},
     .Text = "Kodak Photo-CD Image",
     .OpenCaption = "Kodak Photo-CD Image",
     .NewReader = Make<TPcdReader>,
     .Configure = ConfigurePcd},
    {.Format = fmtWMF,
     .Extensions = {".WMF", ".EMF"},
     .Text = "Windows Metafile",
     .OpenCaption = "Windows Metafile",
     .ShowsReaderVariant = true,
     .NewReader = Make<TWmfReader>},
    {.Format = fmtBUM,
     .Extensions = {".BUM", ".BUMP"},
     .Text = "Poser Bump Map",
     .OpenCaption = "Poser Bump Map",
     .SaveCaption = "BUM (Poser Bump Map) (*.bum)",
     .NewReader = Make<TBmpReader>,
     .NewWriter = NewBumWriter},
};
static_assert(std::size(Rows) == FormatCount);

// "*.bmp *.rle" for the open dialog.
std::string Patterns(const TFormatRow& Row) {
  std::string P;
  for (const char* Ext : Row.Extensions)
    if (Ext)
      P += (P.empty() ? "*" : " *") + Lower(Ext);
  return P;
}

} // namespace

std::span<const TFormatRow> FormatRows() { return Rows; }

const TFormatRow* FindFormat(int32_t Format) {
  if (Format < 0 || Format >= FormatCount)
    return nullptr;
  return &Rows[Format];
}

int32_t FormatOfFile(std::string_view Name) {
  // Both separators count: names may come from either world.
  const size_t Cut = Name.find_last_of("\\:/");
  if (Cut != std::string_view::npos)
    Name.remove_prefix(Cut + 1);
  const std::string U = Upper(Name);
  for (const TFormatRow& Row : Rows)
    for (const char* Ext : Row.Extensions)
      if (Ext && EndsWith(U, Ext))
        return Row.Format;
  return fmtUnknown;
}

std::string FormatText(int32_t Format) {
  const TFormatRow* Row = FindFormat(Format);
  return Row ? Row->Text : "Unknown";
}

std::vector<std::string> FormatTexts() {
  std::vector<std::string> Texts;
  for (const TFormatRow& Row : Rows)
    Texts.push_back(Row.Text);
  return Texts;
}

bool CanRead(int32_t Format) {
  const TFormatRow* Row = FindFormat(Format);
  return Row && Row->NewReader;
}

std::unique_ptr<TImgReader> NewReader(int32_t Format, const TReadOptions& O) {
  if (!CanRead(Format))
    return nullptr;
  const TFormatRow& Row = Rows[Format];
  std::unique_ptr<TImgReader> R = Row.NewReader();
  if (O.Resolution)
    R->Resolution = *O.Resolution;
  if (Row.TakesBackground && O.Background)
    R->SetBackground(*O.Background);
  if (Row.Configure)
    Row.Configure(*R, O);
  return R;
}

std::string DetailedFormatText(int32_t Format, const TImgReader& Reader, std::string_view Path) {
  const TFormatRow* Row = FindFormat(Format);
  if (!Row)
    return FormatText(Format);
  if (Row->ShowsReaderVariant) {
    std::string Variant = Reader.FormatVariant();
    if (!Variant.empty())
      return Variant;
  }
  if (Row->VariantExtension && Upper(Path).find(Row->VariantExtension) != std::string::npos)
    return Row->VariantText;
  return Row->Text;
}

std::vector<std::string> OpenFilters() {
  std::vector<std::string> F;
  std::string All;
  for (const TFormatRow& Row : Rows) {
    if (!Row.OpenCaption)
      continue;
    const std::string P = Patterns(Row);
    F.push_back(std::string(Row.OpenCaption) + " (" + P + ")");
    All += (All.empty() ? "" : " ") + P;
  }
  F.push_back("All supported bitmap files (" + All + ")");
  F.push_back("All files (*)");
  return F;
}

const TFormatRow* SaveFilterRow(int32_t FilterIndex) {
  int32_t Index = 0;
  for (const TFormatRow& Row : Rows)
    if (Row.SaveCaption && ++Index == FilterIndex)
      return &Row;
  return nullptr;
}

TSaveKind SaveKindOf(const TFormatRow& Row, const TWriteOptions& O, const TDib& Image) {
  TSaveKind K{Row.SaveCaption ? Row.SaveCaption : "", Lower(Row.Extensions[0]), Row.SaveText ? Row.SaveText : Row.Text};
  if (Row.AdjustSaveKind)
    Row.AdjustSaveKind(K, O, Image);
  return K;
}

std::vector<std::string> SaveFilters() {
  std::vector<std::string> F;
  for (const TFormatRow& Row : Rows)
    if (Row.SaveCaption)
      F.push_back(Row.SaveCaption);
  return F;
}

std::vector<std::string> SaveFiltersFor(const TDib& Image) {
  std::vector<std::string> F;
  for (const TFormatRow& Row : Rows)
    if (Row.SaveCaption)
      F.push_back(SaveKindOf(Row, TWriteOptions{}, Image).Caption);
  return F;
}

TSaveChoice ChooseWriter(int32_t FilterIndex, const TDib& Image, const TWriteOptions& O) {
  TSaveChoice C;
  if (const TFormatRow* Row = SaveFilterRow(FilterIndex)) {
    const char* Why = Row->Refusal ? Row->Refusal(Image) : nullptr;
    if (Why && *Why) {
      C.Refusal = Why;
      return C;
    }
    TSaveKind K = SaveKindOf(*Row, O, Image);
    C.Extension = std::move(K.Extension);
    C.FormatText = std::move(K.Text);
    if (Row->NewWriter)
      C.Writer = Row->NewWriter(O, Image);
  }
  if (!C.Writer)
    C.Refusal = NotSupportedText;
  return C;
}
