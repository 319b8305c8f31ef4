#include "XPng.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "XPngCommon.h"
#include "XIcc.h"
#include "XPngFilter.h"
#include "XZlib.h"

namespace {

// The fuzz target builds this file with CRC checks off so that mutated
// inputs get past the chunk layer.
#ifdef PELORIN_PNG_NO_CRC
constexpr bool VerifyCrc = false;
#else
constexpr bool VerifyCrc = true;
#endif

constexpr uint32_t MaxChunkLength = 0x7FFFFFFF;
constexpr uint32_t MaxDimension = 0x7FFFFFFF;
constexpr int32_t MaxDpi = 1000000;
// Deflate expands at most about 1032 times; anything a file claims beyond
// that (plus a little for tiny files) it cannot hold.
constexpr int64_t MaxInflateRatio = 1032;
constexpr int64_t InflateAllowance = int64_t(1) << 20;
constexpr size_t IdatPiece = 65536;
// Ancillary chunks larger than this hold nothing the reader wants.
constexpr uint32_t MaxAncillaryLength = 65536;

constexpr uint32_t TypeCaseMask = 0xDFDFDFDF;
constexpr uint32_t Tag(const char (&S)[5]) {
  return ((uint32_t(uint8_t(S[0])) << 24) | (uint32_t(uint8_t(S[1])) << 16) | (uint32_t(uint8_t(S[2])) << 8) |
          uint32_t(uint8_t(S[3]))) &
         TypeCaseMask;
}
constexpr uint32_t TagIHDR = Tag("IHDR"), TagPLTE = Tag("PLTE"), TagIDAT = Tag("IDAT"), TagIEND = Tag("IEND"),
                   TagGAMA = Tag("gAMA"), TagBKGD = Tag("bKGD"), TagTRNS = Tag("tRNS"), TagPHYS = Tag("pHYs"),
                   TagTEXT = Tag("tEXt"), TagSBIT = Tag("sBIT"), TagSRGB = Tag("sRGB"), TagICCP = Tag("iCCP");

constexpr double DisplayGamma = 2.2;
// A file gamma this close to the display's inverse is left alone, as the
// reference library does; correcting it would only add rounding errors.
constexpr double GammaThreshold = 0.05;

bool GammaSignificant(double FileGamma) { return std::abs(FileGamma * DisplayGamma - 1.0) > GammaThreshold; }

// PNG texts are Latin-1; the program's strings are UTF-8.
std::string Latin1ToUtf8(const uint8_t* P, size_t N) {
  std::string S;
  S.reserve(N);
  for (size_t I = 0; I < N; ++I) {
    const uint8_t C = P[I];
    if (C < 0x80) {
      S.push_back(char(C));
    } else {
      S.push_back(char(0xC0 | (C >> 6)));
      S.push_back(char(0x80 | (C & 0x3F)));
    }
  }
  return S;
}

} // namespace

// Where the rows come from: the whole image data inflated at once, or the
// stream, which inflates each row into one of two buffers in turn, so that
// the row above is still there.
struct TPngReader::TInflate {
  std::unique_ptr<uint8_t, TPixelDeleter> Whole;
  size_t WholeSize = 0, WholeAt = 0;
  TInflateStream Z;
  uint32_t ChunkLeft = 0;
  uint32_t Crc = 0;
  std::vector<uint8_t> Rows[2];
  bool Second = false;
};

TPngReader::TPngReader() { FormatName = "PNG"; }
TPngReader::~TPngReader() = default;

TPngChunkHeader TPngReader::ReadChunkHeader() {
  uint8_t B[8];
  ReadExact(B, sizeof B);
  TPngChunkHeader H;
  H.Length = GetBE32(B);
  std::memcpy(H.Name, B + 4, 4);
  H.Type = GetBE32(B + 4) & TypeCaseMask;
  if (H.Length > MaxChunkLength)
    Fail(ImgMsg::InvalidFormat);
  return H;
}

void TPngReader::ReadChunkData(const TPngChunkHeader& H) {
  if (int64_t(H.Length) + 4 > FileSize - Position())
    Fail(ImgMsg::StreamRead);
  FChunk.resize(H.Length);
  if (H.Length > 0)
    ReadExact(FChunk.data(), H.Length);
  uint8_t Stored[4];
  ReadExact(Stored, sizeof Stored);
  if (H.Length == 0) {
    SetWarning(PngMsg::ZeroLengthChunk);
    return;
  }
  if (VerifyCrc) {
    if (Crc32(Crc32(0, H.Name, 4), FChunk.data(), H.Length) != GetBE32(Stored))
      Fail(PngMsg::CrcError);
  }
}

void TPngReader::ReadIccp(const TPngChunkHeader& H) {
  // Only the first chunk counts, as the format allows one.
  const bool First = IccProfile.empty() && !IccBroken;
  if (!First || H.Length == 0 || H.Length > MaxIccProfileSize || int64_t(H.Length) + 4 > FileSize - Position()) {
    IccBroken = IccBroken || First;
    SkipChunk(H);
    return;
  }
  FChunk.resize(H.Length);
  ReadExact(FChunk.data(), H.Length);
  uint8_t Stored[4];
  ReadExact(Stored, sizeof Stored);
  if (VerifyCrc && Crc32(Crc32(0, H.Name, 4), FChunk.data(), H.Length) != GetBE32(Stored))
    IccBroken = true;
  else
    IccBroken = ProfileOfIccpChunk(FChunk, IccProfile) == TIccFound::Broken;
}

void TPngReader::SkipChunk(const TPngChunkHeader& H) { Seek(Position() + int64_t(H.Length) + 4); }

uint32_t TPngReader::ScaleSample(uint32_t V) const {
  if (FBitDepth == 16)
    return V * 255 / 65535;
  if (FBitDepth == 8)
    return V & 0xFF;
  const uint32_t Max = (1u << FBitDepth) - 1;
  return std::min(V, Max) * 255 / Max;
}

void TPngReader::ReadIhdr() {
  const uint8_t* D = FChunk.data();
  FWidth = GetBE32(D);
  FHeight = GetBE32(D + 4);
  FBitDepth = D[8];
  FColorType = D[9];
  FCompressionMethod = D[10];
  FFilterMethod = D[11];
  FInterlaceMethod = D[12];
  if (FWidth == 0 || FHeight == 0 || FWidth > MaxDimension || FHeight > MaxDimension)
    Fail(ImgMsg::InvalidFormat);
  if (FFilterMethod != 0)
    Fail(ImgMsg::UnsupportedFeature);
  if (FCompressionMethod != 0)
    Fail(ImgMsg::UnsupportedCompression);
  Compression = cmpDeflate;
  Width = int32_t(FWidth);
  Height = int32_t(FHeight);
  Interlaced = FInterlaceMethod != 0;
  ShowProgress = !Interlaced;
}

void TPngReader::SetupColors() {
  const int32_t Depth = FBitDepth;
  auto DepthIn = [Depth](std::initializer_list<int32_t> Allowed) {
    return std::find(Allowed.begin(), Allowed.end(), Depth) != Allowed.end();
  };
  int32_t Samples = 1;
  uint8_t SourceFlags = Depth == 16 ? sfSwap16 : 0;
  switch (FColorType) {
  case 0:
    if (!DepthIn({1, 2, 4, 8, 16}))
      Fail(ImgMsg::InvalidPalette);
    ColorFormat = cfGray;
    ColorManager.SetSource(cfGray, 1, Depth);
    ColorManager.SetTarget(cfGray, Depth == 2 ? 4 : Depth == 16 ? 8 : Depth);
    IsGray = true;
    break;
  case 2:
    if (!DepthIn({8, 16}))
      Fail(ImgMsg::InvalidColor);
    ColorFormat = cfRGB;
    Samples = 3;
    ColorManager.SetSource(cfRGB, 3, Depth);
    ColorManager.SetTarget(cfBGR, 8);
    break;
  case 3:
    if (!DepthIn({1, 2, 4, 8}))
      Fail(ImgMsg::InvalidColor);
    ColorFormat = cfPalette;
    ColorManager.SetFlags(uint8_t(ColorManager.Flags | cmfKeepValues));
    ColorManager.SetSource(cfPalette, 1, Depth);
    ColorManager.SetTarget(cfPalette, Depth == 2 ? 4 : Depth);
    break;
  case 4:
    if (!DepthIn({8, 16}))
      Fail(ImgMsg::InvalidColor);
    ColorFormat = cfGrayAlpha;
    Samples = 2;
    ColorManager.SetSource(cfGrayAlpha, 2, Depth);
    ColorManager.SetTarget(cfGray, 8);
    IsGray = true;
    break;
  case 6:
    if (!DepthIn({8, 16}))
      Fail(ImgMsg::InvalidColor);
    ColorFormat = cfRGBA;
    Samples = 4;
    ColorManager.SetSource(cfRGBA, 4, Depth);
    ColorManager.SetTarget(cfBGR, 8);
    break;
  default: Fail(ImgMsg::InvalidColor);
  }
  ColorManager.SetSourceFlags(uint8_t(ColorManager.SourceFlags | SourceFlags));
  PixelFormat = ColorManager.PixelFormatFor(true);
  HasAlpha = (ColorManager.SourceFlags & sfHasAlpha) != 0;
  FPixelBytes = std::max(1, (Depth + 7) / 8 * Samples);
  FPixelBits = Depth * Samples;
  FRowLength = PackedRowBytes(FWidth, FPixelBits);
  RowBytes = int32_t(std::min<int64_t>(FRowLength + 1, std::numeric_limits<int32_t>::max()));
}

void TPngReader::ReadBkgd(const TPngChunkHeader& H) {
  const uint8_t* D = FChunk.data();
  switch (FColorType) {
  case 3:
    if (H.Length >= 1)
      FBkgdIndex = D[0];
    break;
  case 2:
  case 6:
    if (H.Length >= 6)
      SetBackground(RGBColor(uint8_t(ScaleSample(GetBE16(D))), uint8_t(ScaleSample(GetBE16(D + 2))),
                             uint8_t(ScaleSample(GetBE16(D + 4)))));
    break;
  default:
    if (H.Length >= 2) {
      const uint8_t V = uint8_t(ScaleSample(GetBE16(D)));
      SetBackground(RGBColor(V, V, V));
    }
    break;
  }
}

void TPngReader::ReadTrns(const TPngChunkHeader& H) {
  const uint8_t* D = FChunk.data();
  switch (FColorType) {
  case 0:
    if (H.Length >= 2) {
      const uint8_t V = uint8_t(ScaleSample(GetBE16(D)));
      KeyColor = RGBColor(V, V, V);
      HasAlpha = true;
    }
    break;
  case 2:
    if (H.Length >= 6) {
      KeyColor = RGBColor(uint8_t(ScaleSample(GetBE16(D))), uint8_t(ScaleSample(GetBE16(D + 2))),
                          uint8_t(ScaleSample(GetBE16(D + 4))));
      HasAlpha = true;
    }
    break;
  case 3:
    FAlphaTable = std::make_unique<std::array<uint8_t, 256>>();
    FAlphaTable->fill(255);
    FAlphaEntries = int32_t(std::min<uint32_t>(H.Length, 256));
    std::memcpy(FAlphaTable->data(), D, size_t(FAlphaEntries));
    HasAlpha = true;
    break;
  default: break;
  }
}

void TPngReader::ReadText() {
  struct TKey {
    Png::TTextKey Key;
    std::string TImgIO::*Field;
  };
  static const TKey Keys[] = {
      {Png::TitleKey, &TImgIO::Title}, {Png::AuthorKey, &TImgIO::Author}, {Png::RightsKey, &TImgIO::Rights}};
  const uint8_t* D = FChunk.data();
  const size_t N = FChunk.size();
  for (const TKey& K : Keys) {
    const size_t KeyLen = std::strlen(K.Key.Keyword);
    if (N > KeyLen && std::memcmp(D, K.Key.Keyword, KeyLen) == 0 && D[KeyLen] == 0) {
      const uint8_t* Text = D + KeyLen + 1;
      size_t Len = std::min(N - KeyLen - 1, K.Key.Limit);
      Len = size_t(std::find(Text, Text + Len, uint8_t(0)) - Text);
      this->*K.Field = Latin1ToUtf8(Text, Len);
      return;
    }
  }
}

void TPngReader::ReadHeader() {
  FormatName = "PNG";
  FChunk = std::vector<uint8_t>();
  FAlphaTable.reset();
  FAlphaEntries = 0;
  FBkgdIndex = -1;
  FGamma = false;
  FDataBytes = 0;
  uint32_t FileGamma = 0;
  bool ColorSpace = false;
  Transparency.Reset();
  KeyColor.reset();
  DataOffset = 0;
  PaletteOffset = 0;
  PaletteSize = 0;
  HasAlpha = false;
  IsGray = false;

  Seek(0);
  uint8_t Head[16];
  if (FileSize < 9 || ReadSome(Head, sizeof Head) != sizeof Head || std::memcmp(Head, Png::Signature, 8) != 0)
    Fail(ImgMsg::InvalidHeader);
  if (GetBE32(Head + 8) != 13 || (GetBE32(Head + 12) & TypeCaseMask) != TagIHDR)
    Fail(ImgMsg::InvalidHeader);
  TPngChunkHeader Ihdr;
  Ihdr.Length = 13;
  Ihdr.Type = TagIHDR;
  std::memcpy(Ihdr.Name, Head + 12, 4);
  ReadChunkData(Ihdr);
  ReadIhdr();
  SetupColors();

  bool SeenIdat = false;
  for (;;) {
    const int64_t Start = Position();
    if (Start + 8 > FileSize)
      break;
    const TPngChunkHeader H = ReadChunkHeader();
    if (H.Type == TagIEND)
      break;
    if (H.Type == TagIDAT) {
      if (!SeenIdat)
        DataOffset = Start;
      SeenIdat = true;
      // Only the bytes the file really holds can expand into pixels.
      FDataBytes += std::min<int64_t>(H.Length, std::max<int64_t>(FileSize - Position(), 0));
      SkipChunk(H);
    } else if (H.Type == TagPLTE) {
      if (FColorType == 3) {
        if (H.Length % 3 != 0)
          Fail(ImgMsg::InvalidPalette);
        PaletteOffset = Start;
        PaletteSize = int32_t(std::min<uint32_t>(H.Length / 3, 1u << FBitDepth));
      }
      SkipChunk(H);
    } else if (H.Type == TagSRGB || H.Type == TagICCP) {
      // A one-byte rendering intent, or a profile of any size.
      ColorSpace = ColorSpace || (H.Type == TagSRGB ? H.Length == 1 : H.Length > 0);
      if (H.Type == TagICCP)
        ReadIccp(H);
      else
        SkipChunk(H);
    } else if (H.Length > MaxAncillaryLength && (H.Name[0] & 0x20)) {
      SkipChunk(H);
    } else if (H.Type == TagGAMA) {
      ReadChunkData(H);
      if (H.Length >= 4)
        FileGamma = GetBE32(FChunk.data());
    } else if (H.Type == TagBKGD) {
      ReadChunkData(H);
      ReadBkgd(H);
    } else if (H.Type == TagTRNS) {
      ReadChunkData(H);
      ReadTrns(H);
    } else if (H.Type == TagPHYS) {
      ReadChunkData(H);
      if (H.Length >= 9 && FChunk[8] == 1) {
        const int32_t Dpi = PelsPerMetreToDpi(GetBE32(FChunk.data()));
        if (Dpi >= 1 && Dpi <= MaxDpi)
          Resolution = Dpi;
      }
    } else if (H.Type == TagTEXT) {
      ReadChunkData(H);
      ReadText();
    } else if (H.Type == TagSBIT) {
      ReadChunkData(H);
    } else {
      if ((H.Name[0] & 0x20) == 0)
        SetWarning(FormatMessage(PngMsg::CriticalChunk));
      SkipChunk(H);
      if (Position() >= FileSize)
        break;
    }
  }
  if (!SeenIdat)
    Fail(ImgMsg::InvalidFormat);
  // A file that names its color space is shown as stored; the table is
  // applied to palettes or RGB rows in ReadImage.
  if (FileGamma > 0 && !ColorSpace && GammaSignificant(FileGamma / 100000.0)) {
    ColorManager.SetGamma(DisplayGamma, FileGamma / 100000.0);
    FGamma = true;
  }

  // No allocation beyond what the compressed data can expand to, and no
  // buffer the pixel buffer cannot address.
  const int64_t Limit = MaxInflateRatio * FDataBytes + InflateAllowance;
  if (int64_t(FHeight) > Limit / (FRowLength + 1))
    Fail(ImgMsg::InvalidFormat);
  const int64_t DibRow = DibRowBytes(FWidth, BitCountOf(PixelFormat));
  if (DibRow * int64_t(FHeight) > std::numeric_limits<int32_t>::max())
    Fail(ImgMsg::InvalidFormat);
  DataSize = FDataBytes;
  FChunk = std::vector<uint8_t>();
}

void TPngReader::ReadPalette() {
  const TPngChunkHeader H = ReadChunkHeader();
  if (H.Type != TagPLTE)
    return;
  ReadChunkData(H);
  const int32_t N = std::min({PaletteSize, Dib->PaletteSize(), int32_t(H.Length / 3)});
  for (int32_t I = 0; I < N; ++I) {
    const uint8_t* E = FChunk.data() + 3 * I;
    Dib->SetPaletteColor(I, RGBColor(E[0], E[1], E[2]));
  }
}

void TPngReader::FinishPalette() {
  const int32_t Entries = Dib->PaletteSize();
  if (FColorType == 0 || FColorType == 4)
    Dib->MakeGrayPalette();
  if (FGamma) {
    const uint8_t* Level = ColorManager.LevelTable;
    for (int32_t I = 0; I < Entries; ++I) {
      const TColor C = Dib->GetPaletteColor(I);
      Dib->SetPaletteColor(I, RGBColor(Level[GetRValue(C)], Level[GetGValue(C)], Level[GetBValue(C)]));
    }
  }
  if (FColorType != 3)
    return;
  const int32_t Used = std::min(PaletteSize, Entries);
  TColor Back = BackgroundColor;
  if (FBkgdIndex >= 0 && FBkgdIndex < Used) {
    Back = Dib->GetPaletteColor(FBkgdIndex);
    Transparency.BackIndex = FBkgdIndex;
    Transparency.BackColor = int32_t(Back);
    BackgroundColor = Back;
  }
  if (!FAlphaTable)
    return;
  const std::array<uint8_t, 256>& Alpha = *FAlphaTable;
  Transparency.BackColor = int32_t(Back);
  int32_t Count = 0, Index = -1;
  for (int32_t I = 0; I < Used; ++I)
    if (Alpha[size_t(I)] < 255) {
      ++Count;
      Index = I;
    }
  Transparency.TransparentIndex = Count == 0 ? -1 : Count == 1 ? Index : -2;
  if (Count == 1)
    Transparency.TransparentColor = int32_t(Dib->GetPaletteColor(Index));
  if (!AlphaEnabled)
    return;
  for (int32_t I = 0; I < Entries; ++I) {
    const uint8_t A = Alpha[size_t(I)];
    if (A == 0)
      Dib->SetPaletteColor(I, Back);
    else if (A < 255)
      Dib->SetPaletteColor(I, Blend(Dib->GetPaletteColor(I), Back, A));
  }
}

void TPngReader::FillRow(TInflate& I, std::span<uint8_t> Row) {
  size_t Done = 0;
  while (Done < Row.size()) {
    if (I.Z.Ended())
      Fail(ImgMsg::CompressionError);
    if (I.Z.InputLeft() == 0) {
      NextInput(I);
      continue;
    }
    if (!I.Z.Inflate(Row.subspan(Done), Done))
      Fail(ImgMsg::CompressionError);
  }
}

// Image data is read in pieces, so a huge IDAT never needs a buffer of its
// size; its CRC is checked when its last piece has been read.
void TPngReader::NextInput(TInflate& I) {
  if (I.ChunkLeft == 0) {
    if (Position() + 8 > FileSize)
      Fail(ImgMsg::CompressionError);
    const TPngChunkHeader H = ReadChunkHeader();
    if (H.Type == TagIEND)
      Fail(ImgMsg::CompressionError);
    if (H.Type != TagIDAT) {
      SkipChunk(H);
      return;
    }
    if (int64_t(H.Length) + 4 > FileSize - Position())
      Fail(ImgMsg::StreamRead);
    if (H.Length == 0) {
      uint8_t Stored[4];
      ReadExact(Stored, sizeof Stored);
      SetWarning(PngMsg::ZeroLengthChunk);
      return;
    }
    I.ChunkLeft = H.Length;
    I.Crc = Crc32(0, H.Name, 4);
  }
  const uint32_t Piece = std::min<uint32_t>(I.ChunkLeft, uint32_t(IdatPiece));
  FChunk.resize(Piece);
  ReadExact(FChunk.data(), Piece);
  I.Crc = Crc32(I.Crc, FChunk.data(), Piece);
  I.ChunkLeft -= Piece;
  I.Z.Feed(FChunk.data(), Piece);
  if (I.ChunkLeft == 0) {
    uint8_t Stored[4];
    ReadExact(Stored, sizeof Stored);
    if (VerifyCrc && I.Crc != GetBE32(Stored))
      Fail(PngMsg::CrcError);
  }
}

// The image data from the first IDAT chunk on, as NextInput reads it, into
// Out (Room bytes). It stops short at anything NextInput would stop or fail
// at; when the data before that does not hold the whole image, the stream
// meets it again.
size_t TPngReader::GatherData(uint8_t* Out, size_t Room) {
  size_t Size = 0;
  for (;;) {
    uint8_t B[8];
    if (Position() + 8 > FileSize || ReadSome(B, sizeof B) != sizeof B)
      break;
    TPngChunkHeader H;
    H.Length = GetBE32(B);
    H.Type = GetBE32(B + 4) & TypeCaseMask;
    if (H.Length > MaxChunkLength || H.Type == TagIEND)
      break;
    if (H.Type != TagIDAT) {
      SkipChunk(H);
      continue;
    }
    if (H.Length == 0 || int64_t(H.Length) + 4 > FileSize - Position() || H.Length > Room - Size)
      break;
    uint8_t Stored[4];
    if (ReadSome(Out + Size, H.Length) != H.Length || ReadSome(Stored, sizeof Stored) != sizeof Stored)
      break;
    if (VerifyCrc && Crc32(Crc32(0, B + 4, 4), Out + Size, H.Length) != GetBE32(Stored))
      break;
    Size += H.Length;
  }
  return Size;
}

// One call of the fast inflate when all of the image data fits the limit.
// Anything but a complete stream of exactly the image's size is left to the
// stream, so that damaged and truncated files fail, or show their first
// rows, as they always did.
bool TPngReader::InflateAll(TInflate& I) {
  const int64_t Bytes = Png::ImageDataBytes(FWidth, FHeight, FPixelBits, Interlaced);
  if (Bytes > WholeInflateLimit || FDataBytes <= 0)
    return false;
  // Deflate data never needs much more room than the data it holds (stored
  // blocks add 5 bytes in 64 KB); anything beyond that is junk the stream
  // would never read, and the stream is left to deal with it.
  const size_t Room = size_t(std::min(FDataBytes, Bytes + Bytes / 16 + 65536));
  // Blocks of an image's size come whole from the kernel, as pixel buffers
  // do; page by page they would cost a tenth of the decode. Without the
  // memory the stream, which needs little, reads the file.
  const auto Packed = AllocPixelBlock(Room);
  auto Whole = AllocPixelBlock(size_t(Bytes));
  if (!Packed || !Whole)
    return false;
  const size_t Size = GatherData(Packed.get(), Room);
  if (!InflateWhole({Packed.get(), Size}, {Whole.get(), size_t(Bytes)}))
    return false;
  I.Whole = std::move(Whole);
  I.WholeSize = size_t(Bytes);
  I.WholeAt = 0;
  return true;
}

// The next row, filter byte first.
uint8_t* TPngReader::NextRow(TInflate& I, size_t Bytes) {
  if (I.Whole) {
    if (Bytes > I.WholeSize - I.WholeAt)
      Fail(ImgMsg::CompressionError);
    uint8_t* Row = I.Whole.get() + I.WholeAt;
    I.WholeAt += Bytes;
    return Row;
  }
  I.Second = !I.Second;
  std::vector<uint8_t>& Row = I.Rows[I.Second];
  if (Row.size() < Bytes)
    Row.resize(Bytes);
  FillRow(I, {Row.data(), Bytes});
  return Row.data();
}

void TPngReader::DecodeRows(TInflate& Z) {
  const size_t N = size_t(FRowLength);
  const std::vector<uint8_t> Zeros(N + 1, 0);
  const uint8_t* Prev = Zeros.data();
  for (int32_t Y = 0; Y < Height; ++Y) {
    uint8_t* Cur = NextRow(Z, N + 1);
    Png::Unfilter(Cur[0], Cur + 1, Prev + 1, N, size_t(FPixelBytes));
    ColorManager.ConvertRow({Cur + 1, N}, Dib->Row(Y), 0, 0, Width);
    RowDone();
    Prev = Cur;
  }
}

// The background under the rows still to come, one color lookup for the
// whole buffer.
void TPngReader::FillBackground() {
  uint8_t* First = Dib->ScanLine(0);
  const size_t Bytes = size_t(Dib->RowBytes());
  if (Dib->PixelFormat() == pf24bit) {
    for (int32_t X = 0; X < Width; ++X)
      ColorToBGRBytes(BackgroundColor, First + size_t(X) * 3);
  } else {
    const uint32_t Index = uint32_t(Dib->NearestPaletteIndex(BackgroundColor));
    const uint8_t Byte = Dib->PixelFormat() == pf1bit   ? uint8_t(Index ? 0xFF : 0)
                         : Dib->PixelFormat() == pf4bit ? uint8_t(Index << 4 | Index)
                                                        : uint8_t(Index);
    std::memset(First, Byte, Bytes);
  }
  for (int32_t Y = 1; Y < Height; ++Y)
    std::memcpy(Dib->ScanLine(Y), First, Bytes);
}

void TPngReader::DecodeInterlaced(TInflate& Z) {
  FillBackground();
  const int32_t DibBits = Dib->BitCount();
  const std::vector<uint8_t> Zeros(size_t(FRowLength) + 1, 0);
  std::vector<uint8_t> Scratch(size_t(Dib->RowBytes()));
  for (int32_t P = 0; P < 7; ++P) {
    const Png::TPass& Pass = Png::Adam7[P];
    if (Pass.StartCol >= Width)
      continue;
    const int32_t PassWidth = Pass.Width(Width);
    const size_t N = size_t(PackedRowBytes(PassWidth, FPixelBits));
    const uint8_t* Prev = Zeros.data();
    for (int32_t Y = Pass.StartRow; Y < Height; Y += Pass.RowStep) {
      uint8_t* Cur = NextRow(Z, N + 1);
      Png::Unfilter(Cur[0], Cur + 1, Prev + 1, N, size_t(FPixelBytes));
      if (P == 6) {
        ColorManager.ConvertRow({Cur + 1, N}, Dib->Row(Y), 0, 0, Width);
      } else {
        ColorManager.ConvertRow({Cur + 1, N}, Scratch, 0, 0, PassWidth);
        Png::CopyPixels(Scratch.data(), 0, 1, Dib->ScanLine(Y), Pass.StartCol, Pass.ColStep, PassWidth, DibBits);
      }
      if (P >= 5)
        RowDone();
      Prev = Cur;
    }
  }
}

void TPngReader::ReadImage() {
  if (FColorType == 0 || FColorType == 3 || FColorType == 4)
    FinishPalette();
  else if (FGamma)
    ColorManager.SetFlags(uint8_t(ColorManager.Flags | cmfLevels));

  TInflate Z;
  if (!InflateAll(Z)) {
    Seek(DataOffset);
    if (!Z.Z.Start())
      Fail(ImgMsg::CompressionError);
  }
  if (Interlaced)
    DecodeInterlaced(Z);
  else
    DecodeRows(Z);
  FChunk = std::vector<uint8_t>();
}
