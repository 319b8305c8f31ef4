#include "XTif.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "Errors.h"
#include "XTifTags.h"

using namespace TifTag;

namespace {

constexpr uint8_t ModeBilevel = 0, ModeGray = 1, ModePalette = 2, ModeRgb = 3, ModeCmyk = 4, ModeYCbCr = 5, ModeLab = 6,
                  ModeLuv = 7;
constexpr uint16_t ByteOrderII = 0x4949, ByteOrderMM = 0x4D4D;
constexpr uint16_t Magic = 42, BigTiffMagic = 43;
constexpr int32_t MaxSamples = 16;
// Tiles wider or longer than this are refused unless the image is as large.
constexpr int32_t MaxTileOverhang = 1024;
// Where the scan of an old-style JPEG stream must have begun.
constexpr int64_t MaxJpegHeader = 1 << 16;

struct TCompressionRow {
  uint32_t Tag;
  uint8_t Code;
};

// The compression tags and the codes the info window names.
constexpr TCompressionRow CompressionRows[] = {
    {1, TifCmp::None},         {2, TifCmp::Huffman},      {3, TifCmp::Group3},       {4, TifCmp::Group4},
    {5, TifCmp::Lzw},          {6, TifCmp::OldJpeg},      {7, TifCmp::Jpeg},         {8, TifCmp::Deflate},
    {32946, TifCmp::Deflate},  {32771, TifCmp::Huffman},  {32773, TifCmp::PackBits}, {32809, TifCmp::Thunder},
    {34676, TifCmp::LogLuv32}, {34677, TifCmp::LogLuv24},
};

int64_t Saturate(int64_t A, int64_t Factor) {
  constexpr int64_t Max = std::numeric_limits<int64_t>::max();
  return A > Max / std::max<int64_t>(Factor, 1) ? Max : A * Factor;
}

} // namespace

TTifReader::TTifReader() { FormatName = "TIFF"; }

std::string TTifReader::FormatVariant() const {
  return BigEndian ? "Tagged Image File (mac)" : "Tagged Image File (pc)";
}

void TTifReader::ReadHeader() {
  FormatName = "TIFF";
  FSegments.clear();
  FColorMap.clear();
  FJpegTables.clear();
  if (FileSize < 8)
    Fail(ImgMsg::InvalidHeader);
  Seek(0);
  uint8_t H[8];
  ReadExact(H, sizeof H);
  const uint16_t Order = GetLE16(H);
  if (Order != ByteOrderII && Order != ByteOrderMM)
    Fail(ImgMsg::InvalidHeader);
  BigEndian = Order == ByteOrderMM;
  const uint16_t Number = BigEndian ? GetBE16(H + 2) : GetLE16(H + 2);
  if (Number == BigTiffMagic)
    Fail(ImgMsg::UnsupportedFormat);
  FDirOffset = BigEndian ? GetBE32(H + 4) : GetLE32(H + 4);
  if (Number != Magic || FDirOffset < 8)
    Fail(ImgMsg::InvalidHeader);
  LoadDirectory(FDirOffset);
  ReadBasics();
  ReadPhotometric();
  MapCompression();
  ReadLayout();
  ReadDescription();
  ReadProfile();
  SetUpColors();
  CheckConversion();
  CheckClaims();
}

void TTifReader::ReadBasics() {
  if (!Find(ImageWidth) || !Find(ImageLength))
    Fail(ImgMsg::InvalidHeader);
  const uint32_t W = Value(ImageWidth, 0), L = Value(ImageLength, 0);
  if (W == 0 || L == 0 || W > uint32_t(std::numeric_limits<int32_t>::max()) ||
      L > uint32_t(std::numeric_limits<int32_t>::max()))
    Fail(ImgMsg::InvalidHeader);
  Width = int32_t(W);
  Height = int32_t(L);
  BitsPerSample = int32_t(Value(BitsPerSampleTag, 1));
  SamplesPerPixel = int32_t(Value(SamplesPerPixelTag, 1));
  if (BitsPerSample == 0 || SamplesPerPixel == 0)
    Fail(ImgMsg::InvalidHeader);
  // Floating point, signed and samples wider than 16 bits have no conversion;
  // format 4 (void) is taken as unsigned, as other readers do. LogLuv writers
  // declare their encoded pixels as signed 16-bit samples.
  const uint32_t Format = Value(SampleFormat, 1);
  const uint32_t Photo = Value(PhotometricTag, 0);
  const bool LogEncoded = Photo == 32844 || Photo == 32845;
  if (SamplesPerPixel > MaxSamples || (!LogEncoded && (BitsPerSample > 16 || (Format != 1 && Format != 4))))
    Fail(ImgMsg::UnsupportedFormat);
  ColorMode = BitsPerSample == 1 ? ModeBilevel : ModeGray;
  if (SamplesPerPixel >= 3)
    ColorMode = ModeRgb;
  PlanarConfig = int32_t(Value(PlanarConfiguration, 1));
  if (PlanarConfig != 1 && PlanarConfig != 2)
    Fail(ImgMsg::InvalidHeader);
  FPlanes = PlanarConfig == 2 ? SamplesPerPixel : 1;
  PixelBytes = (SamplesPerPixel * BitsPerSample + 7) / 8;
  RowBytes = int32_t((int64_t(Width) * BitsPerSample * SamplesPerPixel + 7) / 8 & std::numeric_limits<int32_t>::max());
  if ((int64_t(Width) * BitsPerSample * SamplesPerPixel + 7) / 8 > std::numeric_limits<int32_t>::max())
    Fail(ImgMsg::UnsupportedFormat);
}

void TTifReader::ReadPhotometric() {
  Invert = false;
  Upsample = false;
  SubH = SubV = 1;
  if (!Find(PhotometricTag))
    return;
  Photometric = int32_t(Value(PhotometricTag, 1));
  auto NeedSamples = [&](int32_t N) {
    if (SamplesPerPixel < N)
      Fail(ImgMsg::UnsupportedFormat);
  };
  switch (Photometric) {
  case 0:
  case 1:
    Invert = Photometric == 0;
    ColorMode = BitsPerSample == 1 ? ModeBilevel : ModeGray;
    break;
  case 2: NeedSamples(3), ColorMode = ModeRgb; break;
  case 3:
    ColorMode = ModePalette;
    if (!Find(ColorMapTag))
      Fail(ImgMsg::InvalidPalette);
    break;
  case 5: NeedSamples(4), ColorMode = ModeCmyk; break;
  case 6: {
    // Old-style JPEG writers left the samples at their default.
    if (SamplesPerPixel == 1 && Value(CompressionTagId, 1) == 6)
      SamplesPerPixel = 3;
    NeedSamples(3);
    ColorMode = ModeYCbCr;
    const std::vector<uint32_t> S = Values(YCbCrSubSampling, 2);
    SubH = S.size() > 0 && S[0] > 0 ? int32_t(S[0]) : 2;
    SubV = S.size() > 1 && S[1] > 0 ? int32_t(S[1]) : 2;
    // Only the factors the format allows; others would make no sense of the data.
    auto Allowed = [](int32_t F) { return F == 1 || F == 2 || F == 4; };
    if (!Allowed(SubH) || !Allowed(SubV))
      Fail(ImgMsg::UnsupportedFeature);
    Upsample = SubH > 1 || SubV > 1;
    break;
  }
  case 8:
  case 9: NeedSamples(3), ColorMode = ModeLab; break;
  case 32844: ColorMode = ModeLuv; break;
  case 32845: NeedSamples(3), ColorMode = ModeLuv; break;
  default: Fail(ImgMsg::UnsupportedFormat);
  }
  if (ColorMode == ModeLuv)
    StoNits = DoubleValue(StoNitsTag, 1.0);
}

void TTifReader::MapCompression() {
  CompressionTag = Value(CompressionTagId, 1);
  Predictor = int32_t(Value(PredictorTag, 1));
  const auto Row = std::find_if(std::begin(CompressionRows), std::end(CompressionRows),
                                [&](const TCompressionRow& R) { return R.Tag == CompressionTag; });
  if (Row == std::end(CompressionRows))
    Fail(ImgMsg::UnsupportedCompression);
  Compression = Row->Code;
  if (Compression == TifCmp::Lzw && Predictor == 2)
    Compression = TifCmp::LzwPredict;
  if (Compression == TifCmp::LogLuv32 && SamplesPerPixel == 1)
    Compression = TifCmp::LogL16;
  // The predictor belongs to the coders that take it; others ignore the tag.
  const bool TakesPredictor =
      Compression == TifCmp::Lzw || Compression == TifCmp::LzwPredict || Compression == TifCmp::Deflate;
  if (!TakesPredictor || Predictor == 1)
    Predictor = 1;
  else if (Predictor != 2 || (BitsPerSample != 8 && BitsPerSample != 16))
    Fail(ImgMsg::UnsupportedFeature);
  const bool Luv = Compression == TifCmp::LogLuv32 || Compression == TifCmp::LogL16 || Compression == TifCmp::LogLuv24;
  if ((ColorMode == ModeLuv) != Luv)
    Fail(ImgMsg::UnsupportedCompression);
  if (Compression == TifCmp::Jpeg || Compression == TifCmp::OldJpeg)
    Upsample = false;
  FaxOptions = CompressionTag == 3 ? Value(T4Options, 0) : CompressionTag == 4 ? Value(T6Options, 0) : 0;
  FillOrder = int32_t(Value(FillOrderTag, 1));
  if (FillOrder != 1 && FillOrder != 2)
    Fail(ImgMsg::InvalidHeader);
  const bool Fax = Compression == TifCmp::Huffman || Compression == TifCmp::Group3 || Compression == TifCmp::Group4;
  if (Fax && (BitsPerSample != 1 || SamplesPerPixel != 1))
    Fail(ImgMsg::UnsupportedFeature);
  if (Compression == TifCmp::Thunder && (BitsPerSample != 4 || SamplesPerPixel != 1))
    Fail(ImgMsg::UnsupportedFeature);
  // Planes of samples narrower than a byte would need bit assembly.
  if (FPlanes > 1 && BitsPerSample != 8 && BitsPerSample != 16)
    Fail(ImgMsg::UnsupportedFeature);
  if (Upsample && (FPlanes > 1 || BitsPerSample != 8))
    Fail(ImgMsg::UnsupportedFeature);
}

void TTifReader::ReadLayout() {
  Tiled = false;
  // Early tiled files keep their tile tables in the strip tags.
  const bool TileSize = Find(TileWidthTag) && Find(TileLengthTag);
  if (Find(StripOffsets) && TileSize)
    ReadTiles(StripOffsets, StripByteCounts);
  else if (Find(StripOffsets))
    ReadStrips();
  else
    ReadTiles(TileOffsets, TileByteCounts);
  if (Compression == TifCmp::OldJpeg)
    UseInterchangeStream();
  if (FSegments.empty())
    Fail(ImgMsg::InvalidHeader);
  for (TTifSegment& S : FSegments) {
    // Data outside the file are missing rows; what lies inside is kept.
    if (S.Offset <= 0 || S.Offset >= FileSize)
      S.Offset = S.Bytes = 0;
    S.Bytes = std::min(S.Bytes, FileSize - S.Offset);
  }
  DataOffset = FSegments.front().Offset;
  DataSize = FSegments.front().Bytes;
}

// One segment per offset that has a count; its plane and place in the plane
// follow from its position in the table.
void TTifReader::SetSegments(const std::vector<uint32_t>& Offsets, const std::vector<uint32_t>& Counts,
                             int64_t PerPlane) {
  FSegments.resize(std::min(Offsets.size(), Counts.size()));
  for (size_t I = 0; I < FSegments.size(); ++I) {
    TTifSegment& S = FSegments[I];
    S.Offset = Offsets[I];
    S.Bytes = Counts[I];
    S.Plane = int32_t(int64_t(I) / PerPlane);
    S.Index = int32_t(int64_t(I) % PerPlane);
  }
}

void TTifReader::ReadStrips() {
  int64_t Rps = Value(RowsPerStrip, uint32_t(Height));
  if (Rps <= 0 || Rps > Height)
    Rps = Height;
  const int64_t PerPlane = (Height + Rps - 1) / Rps, Need = PerPlane * FPlanes;
  FPerPlane = PerPlane;
  const std::vector<uint32_t> Offsets = Values(StripOffsets, uint32_t(Need));
  std::vector<uint32_t> Counts = Values(StripByteCounts, uint32_t(Need));
  // A single count of 0 is a writer that did not know it.
  if (Counts.size() == 1 && Counts[0] == 0 && Need == 1)
    Counts.clear();
  if (Counts.empty()) {
    if (Offsets.size() != 1 || Need != 1)
      Fail(ImgMsg::ImproperStrip);
    const bool Raw = Compression == TifCmp::None || Compression == TifCmp::LogLuv24;
    Counts.push_back(Raw ? uint32_t(std::min<int64_t>(int64_t(RowBytes) * Height, UINT32_MAX))
                         : uint32_t(std::clamp<int64_t>(FileSize - Offsets[0], 0, UINT32_MAX)));
  }
  SetSegments(Offsets, Counts, PerPlane);
  for (TTifSegment& S : FSegments) {
    S.Y = int32_t(S.Index * Rps);
    S.Width = S.DataWidth = Width;
    S.Rows = S.DataRows = int32_t(std::min<int64_t>(Rps, Height - S.Y));
  }
}

void TTifReader::ReadTiles(uint16_t OffsetsTag, uint16_t CountsTag) {
  if (!Find(TileWidthTag) || !Find(TileLengthTag))
    Fail(ImgMsg::ImproperStrip);
  if (!Find(OffsetsTag))
    Fail(ImgMsg::InvalidHeader);
  if (!Find(CountsTag))
    Fail(ImgMsg::ImproperStrip);
  const uint32_t TW = Value(TileWidthTag, 0), TL = Value(TileLengthTag, 0);
  if (TW == 0 || TL == 0 || TW > uint32_t(std::max(Width, MaxTileOverhang)) ||
      TL > uint32_t(std::max(Height, MaxTileOverhang)))
    Fail(ImgMsg::ImproperStrip);
  Tiled = true;
  ShowProgress = false;
  TileWidth = int32_t(TW);
  TileLength = int32_t(TL);
  TilesAcross = int32_t((int64_t(Width) + TW - 1) / TW);
  TilesDown = int32_t((int64_t(Height) + TL - 1) / TL);
  const int64_t PerPlane = int64_t(TilesAcross) * TilesDown, Need = PerPlane * FPlanes;
  FPerPlane = PerPlane;
  if (Need > UINT32_MAX)
    Fail(ImgMsg::ImproperStrip);
  const std::vector<uint32_t> Offsets = Values(OffsetsTag, uint32_t(Need));
  const std::vector<uint32_t> Counts = Values(CountsTag, uint32_t(Need));
  SetSegments(Offsets, Counts, PerPlane);
  for (TTifSegment& S : FSegments) {
    S.X = S.Index % TilesAcross * TileWidth;
    S.Y = S.Index / TilesAcross * TileLength;
    S.DataWidth = TileWidth;
    S.DataRows = TileLength;
    S.Width = std::min(TileWidth, Width - S.X);
    S.Rows = std::min(TileLength, Height - S.Y);
  }
}

void TTifReader::ReadDescription() {
  const double X = Rational(XResolution, 0.0);
  if (X > 0.0) {
    const double Dpi = Value(ResolutionUnit, 2) == 3 ? X * 2.54 : X;
    if (Dpi >= 1.0 && Dpi <= 1e6)
      Resolution = int32_t(std::lround(Dpi));
  }
  const uint32_t O = Value(OrientationTag, 0);
  Orientation = O >= 1 && O <= 8 ? uint16_t(O) : 0;
  Title = Text(DocumentName);
  if (Title.empty())
    Title = Text(ImageDescription);
  Author = Text(Artist);
  Rights = Text(Copyright);
}

// Old-style JPEG files whose directory points at a whole JPEG stream are
// decoded from that stream; the strips then only point into its scan.
void TTifReader::UseInterchangeStream() {
  const int64_t Offset = Value(JpegInterchange, 0);
  if (Offset <= 0 || Offset + 2 > FileSize || FPlanes > 1)
    return;
  uint8_t Soi[2];
  Seek(Offset);
  ReadExact(Soi, 2);
  if (Soi[0] != 0xFF || Soi[1] != 0xD8)
    return;
  const int64_t Length = Value(JpegInterchangeLength, 0);
  TTifSegment S;
  S.Offset = Offset;
  S.Bytes = Length > 2 ? std::min(Length, FileSize - Offset) : FileSize - Offset;
  // A stream of tables and frame header only leaves the strips to be decoded
  // one by one.
  std::vector<uint8_t> Head(size_t(std::min<int64_t>(S.Bytes, MaxJpegHeader)));
  Seek(Offset);
  ReadExact(Head.data(), Head.size());
  bool Scan = false;
  for (size_t I = 0; I + 1 < Head.size() && !Scan; ++I)
    Scan = Head[I] == 0xFF && Head[I + 1] == 0xDA;
  if (!Scan)
    return;
  S.Width = S.DataWidth = Width;
  S.Rows = S.DataRows = Height;
  FSegments.assign(1, S);
  FPerPlane = 1;
  Tiled = false;
}

// Only what the data can expand to for its coding is allocated.
int64_t TTifReader::ExpansionBound(int64_t Bytes) const {
  switch (Compression) {
  case TifCmp::PackBits: return Saturate(Bytes, 128);
  case TifCmp::Thunder: return Saturate(Bytes, 32);
  // 8 / 9 codes per byte at the least, each at most 4096 bytes long.
  case TifCmp::Lzw:
  case TifCmp::LzwPredict: return Saturate(Bytes, 3641);
  case TifCmp::Deflate: return Saturate(Bytes, 1032);
  // One bit may code a whole row in two-dimensional coding.
  case TifCmp::Huffman:
  case TifCmp::Group3:
  case TifCmp::Group4: return Saturate(Saturate(Bytes, 8) + 1, std::max(RowBytes, 1));
  case TifCmp::OldJpeg:
  case TifCmp::Jpeg: return Saturate(Bytes, 8192);
  case TifCmp::LogLuv32:
  case TifCmp::LogL16: return Saturate(Bytes, 65);
  default: return Bytes;
  }
}

void TTifReader::CheckClaims() {
  int64_t Total = 0;
  for (const TTifSegment& S : FSegments)
    Total += S.Bytes;
  // Subsampled chroma stores fewer bytes than a full sample per pixel.
  // LogLuv pixels are coded in fewer bytes than their declared samples.
  const int64_t Bits = ColorMode == ModeLuv ? int64_t(PixelBytes) * 8
                       : Upsample           ? BitsPerSample
                                            : int64_t(BitsPerSample) * SamplesPerPixel;
  const int64_t Need = (int64_t(Width) * Bits + 7) / 8 * Height / FPlanes;
  if (Total == 0 || ExpansionBound(Total) < Need)
    Fail(ImgMsg::ImproperStrip);
  if (DibRowBytes(Width, BitCountOf(PixelFormat)) * Height > std::numeric_limits<int32_t>::max())
    Fail(ImgMsg::UnsupportedFormat);
}

void TTifReader::SetUpGray() {
  IsGray = true;
  const int32_t Bits = BitsPerSample;
  if (SamplesPerPixel >= 2) {
    ColorFormat = cfGrayAlpha;
    ColorManager.SetSource(cfGrayAlpha, SamplesPerPixel, Bits);
  } else {
    ColorFormat = cfGray;
    ColorManager.SetSource(cfGray, 1, Bits);
  }
  // Two-bit levels go to a 4-bit buffer, the nearest the pixel buffer has.
  ColorManager.SetTarget(cfGray, Bits == 1 ? 1 : Bits <= 4 ? 4 : 8);
  const std::vector<uint32_t> Hints = Values(HalftoneHints, 2);
  if (Hints.size() == 2) {
    const int32_t Shift = std::max(Bits - 8, 0);
    const int32_t Low = int32_t(std::min(Hints[0], Hints[1]) >> Shift);
    const int32_t High = int32_t(std::max(Hints[0], Hints[1]) >> Shift);
    ColorManager.SetLevels(Low, High);
    // Levels past the range are the brightest, not black.
    if (ColorManager.Flags & cmfLevels)
      for (int32_t V = std::clamp(High + 1, 0, 256); V < 256; ++V)
        ColorManager.LevelTable[V] = 255;
  }
}

void TTifReader::SetUpColors() {
  const int32_t Bits = BitsPerSample, Spp = SamplesPerPixel;
  const bool JpegCoded = Compression == TifCmp::Jpeg || Compression == TifCmp::OldJpeg;
  IsGray = false;
  ColorManager.SetSourceFlags(BigEndian && Bits > 8 ? sfSwap16 : 0);
  ColorManager.SetFlags(0);
  switch (ColorMode) {
  case ModeBilevel:
  case ModeGray: SetUpGray(); break;
  case ModePalette: {
    if (Bits > 8)
      Fail(ImgMsg::UnsupportedFormat);
    ColorFormat = cfPalette;
    ColorManager.SetSource(cfPalette, Spp, Bits);
    ColorManager.SetFlags(cmfKeepValues);
    ColorManager.SetTarget(cfPalette, Bits == 1 ? 1 : Bits <= 4 ? 4 : 8);
    // Red, green and blue arrays of Count / 3 entries each; those past the
    // pixel depth are never used.
    const std::vector<uint32_t> Map = Values(ColorMapTag, 3u << 16);
    const size_t Stored = Map.size() / 3, Entries = std::min(Stored, size_t(1) << Bits);
    if (Entries == 0)
      Fail(ImgMsg::InvalidPalette);
    FColorMap.clear();
    for (size_t C = 0; C < 3; ++C)
      FColorMap.insert(FColorMap.end(), Map.begin() + C * Stored, Map.begin() + C * Stored + Entries);
    PaletteSize = int32_t(Entries);
    PaletteOffset = Find(ColorMapTag) ? FDirOffset : 0;
    break;
  }
  case ModeRgb:
    ColorFormat = JpegCoded ? cfBGR : Spp < 4 ? cfRGB : cfRGBA;
    ColorManager.SetSource(TColorFormat(ColorFormat), JpegCoded ? 3 : Spp, Bits);
    ColorManager.SetTarget(cfBGR, 8);
    break;
  case ModeCmyk:
    ColorFormat = Spp < 5 ? cfCMYK : cfCMYKA;
    ColorManager.SetSource(TColorFormat(ColorFormat), Spp, Bits);
    ColorManager.SetTarget(cfBGR, 8);
    break;
  case ModeYCbCr:
    ColorFormat = cfYCbCr;
    // The JPEG library turns YCbCr into B, G, R itself.
    ColorManager.SetSource(JpegCoded ? cfBGR : cfYCbCr, JpegCoded || Upsample ? 3 : Spp, Bits);
    ColorManager.SetTarget(cfBGR, 8);
    break;
  case ModeLab:
    ColorFormat = Spp < 4 ? cfCIELab : cfCIELabA;
    ColorManager.SetSourceFlags(uint8_t(sfLabL255 | (Photometric == 9 ? sfLabUnsigned : 0)));
    ColorManager.SetSource(TColorFormat(ColorFormat), Spp, Bits);
    ColorManager.SetTarget(cfBGR, 8);
    break;
  default:
    if (Compression == TifCmp::LogL16) {
      if (Bits != 16 || Spp != 1)
        Fail(ImgMsg::UnsupportedFormat);
      ColorFormat = cfLogL;
      IsGray = true;
      PixelBytes = 2;
      // Pixels come out of the run coding most significant byte first.
      ColorManager.SetSourceFlags(sfSwap16);
      ColorManager.SetSource(cfLogLuv, 1, 16);
      ColorManager.SetTarget(cfGray, 8);
    } else {
      ColorFormat = cfLogLuv;
      PixelBytes = Compression == TifCmp::LogLuv24 ? 3 : 4;
      ColorManager.SetSource(cfLogLuv, PixelBytes, 8);
      ColorManager.SetTarget(cfBGR, 8);
    }
    RowBytes = int32_t(std::min<int64_t>(int64_t(Width) * PixelBytes, std::numeric_limits<int32_t>::max()));
    if (UseStoNits)
      ColorManager.SetExposure(StoNits);
    break;
  }
  if (JpegCoded && ColorMode != ModeBilevel && ColorMode != ModeGray && ColorMode != ModeRgb && ColorMode != ModeYCbCr)
    Fail(ImgMsg::UnsupportedFeature);
  PixelFormat = ColorManager.PixelFormatFor(true);
  const bool Matte = Find(Matteing) && Value(Matteing, 1) != 1;
  HasAlpha = (ColorManager.SourceFlags & sfHasAlpha) != 0 && !Matte;
}

// A layout no conversion serves fails here, before any buffer exists.
void TTifReader::CheckConversion() {
  if (PixelFormat == pfInvalid)
    Fail(ImgMsg::UnsupportedFormat);
  std::vector<uint8_t> Source(size_t(MaxSamples) * 2, 0), Dest(16, 0);
  try {
    ColorManager.ConvertRow(Source, Dest, 0, 0, 1);
  } catch (const EColorConversionError&) {
    Fail(ImgMsg::UnsupportedFormat);
  }
}

// Old writers stored 8-bit entries in the 16-bit map; such a map is taken as is.
void TTifReader::ReadPalette() {
  const bool Narrow = std::all_of(FColorMap.begin(), FColorMap.end(), [](uint32_t V) { return V < 256; });
  const int32_t N = PaletteSize;
  auto Level = [&](uint32_t V) { return uint8_t(Narrow ? V : V >> 8); };
  for (int32_t I = 0; I < N && I < Dib->PaletteSize(); ++I)
    Dib->SetPaletteColor(
        I, RGBColor(Level(FColorMap[size_t(I)]), Level(FColorMap[size_t(N + I)]), Level(FColorMap[size_t(2 * N + I)])));
}
