#include "XPng.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <numeric>

#include <zlib.h>

namespace {

// The fuzz target builds this file with CRC checks off so that mutated
// inputs get past the chunk layer.
#ifdef PELORIN_PNG_NO_CRC
constexpr bool VerifyCrc = false;
#else
constexpr bool VerifyCrc = true;
#endif

constexpr uint8_t Signature[8] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
constexpr uint32_t MaxChunkLength = 0x7FFFFFFF;
constexpr uint32_t MaxDimension = 0x7FFFFFFF;
constexpr int32_t MaxDpi = 1000000;
// Deflate expands at most about 1032 times; anything a file claims beyond
// that (plus a little for tiny files) it cannot hold.
constexpr int64_t MaxInflateRatio = 1032;
constexpr int64_t InflateAllowance = int64_t(1) << 20;
constexpr size_t OutputBufferSize = 65520;
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

struct TPass {
  int32_t StartRow, RowStep, StartCol, ColStep;
};
constexpr TPass Adam7[7] = {{0, 8, 0, 8}, {0, 8, 4, 8}, {4, 8, 0, 4}, {0, 4, 2, 4},
                            {2, 4, 0, 2}, {0, 2, 1, 2}, {1, 2, 0, 1}};

constexpr double DisplayGamma = 2.2;
// A file gamma this close to the display's inverse is left alone, as the
// reference library does; correcting it would only add rounding errors.
constexpr double GammaThreshold = 0.05;

bool GammaSignificant(double FileGamma) { return std::abs(FileGamma * DisplayGamma - 1.0) > GammaThreshold; }

// Copies Count pixels of PixelBits bits each (most significant bits first
// within a byte) from every SourceStep-th source pixel to every DestStep-th
// destination pixel.
void CopyPixels(const uint8_t* Source, int64_t SourceIndex, int64_t SourceStep, uint8_t* Dest, int64_t DestIndex,
                int64_t DestStep, int64_t Count, int32_t PixelBits) {
  if (PixelBits % 8 == 0) {
    const size_t Bytes = size_t(PixelBits / 8);
    const uint8_t* P = Source + size_t(SourceIndex) * Bytes;
    uint8_t* Q = Dest + size_t(DestIndex) * Bytes;
    const size_t PStep = size_t(SourceStep) * Bytes, QStep = size_t(DestStep) * Bytes;
    switch (Bytes) {
    case 1:
      for (int64_t I = 0; I < Count; ++I, P += PStep, Q += QStep)
        *Q = *P;
      break;
    case 3:
      for (int64_t I = 0; I < Count; ++I, P += PStep, Q += QStep) {
        Q[0] = P[0];
        Q[1] = P[1];
        Q[2] = P[2];
      }
      break;
    default:
      for (int64_t I = 0; I < Count; ++I, P += PStep, Q += QStep)
        std::memcpy(Q, P, Bytes);
      break;
    }
    return;
  }
  const uint32_t Mask = (1u << PixelBits) - 1;
  for (int64_t I = 0; I < Count; ++I) {
    const uint64_t SBit = uint64_t(SourceIndex + I * SourceStep) * uint64_t(PixelBits);
    const uint64_t DBit = uint64_t(DestIndex + I * DestStep) * uint64_t(PixelBits);
    const uint32_t V = (Source[SBit / 8] >> (8 - SBit % 8 - PixelBits)) & Mask;
    const uint32_t Shift = uint32_t(8 - DBit % 8 - PixelBits);
    uint8_t& Out = Dest[DBit / 8];
    Out = uint8_t((Out & ~(Mask << Shift)) | (V << Shift));
  }
}

inline uint8_t PaethPredictor(int32_t A, int32_t B, int32_t C) {
  const int32_t Pa = std::abs(B - C), Pb = std::abs(A - C), Pc = std::abs(A + B - 2 * C);
  if (Pa <= Pb && Pa <= Pc)
    return uint8_t(A);
  return uint8_t(Pb <= Pc ? B : C);
}

// Undoes the filter of one row; Bpp fixed at compile time for the common
// pixel sizes (0: the runtime value).
template <int BppConst>
void UnfilterRow(uint8_t Type, uint8_t* Row, const uint8_t* Prev, size_t N, size_t RuntimeBpp) {
  const size_t Bpp = BppConst ? size_t(BppConst) : RuntimeBpp;
  const size_t Lead = std::min(Bpp, N);
  switch (Type) {
  case 1:
    for (size_t I = Bpp; I < N; ++I)
      Row[I] = uint8_t(Row[I] + Row[I - Bpp]);
    break;
  case 2:
    for (size_t I = 0; I < N; ++I)
      Row[I] = uint8_t(Row[I] + Prev[I]);
    break;
  case 3:
    for (size_t I = 0; I < Lead; ++I)
      Row[I] = uint8_t(Row[I] + (Prev[I] >> 1));
    for (size_t I = Bpp; I < N; ++I)
      Row[I] = uint8_t(Row[I] + ((uint32_t(Row[I - Bpp]) + Prev[I]) >> 1));
    break;
  case 4:
    for (size_t I = 0; I < Lead; ++I)
      Row[I] = uint8_t(Row[I] + Prev[I]);
    for (size_t I = Bpp; I < N; ++I)
      Row[I] = uint8_t(Row[I] + PaethPredictor(Row[I - Bpp], Prev[I], Prev[I - Bpp]));
    break;
  default: break;
  }
}

void Unfilter(uint8_t Type, uint8_t* Row, const uint8_t* Prev, size_t N, size_t Bpp) {
  switch (Bpp) {
  case 1: UnfilterRow<1>(Type, Row, Prev, N, Bpp); break;
  case 2: UnfilterRow<2>(Type, Row, Prev, N, Bpp); break;
  case 3: UnfilterRow<3>(Type, Row, Prev, N, Bpp); break;
  case 4: UnfilterRow<4>(Type, Row, Prev, N, Bpp); break;
  case 6: UnfilterRow<6>(Type, Row, Prev, N, Bpp); break;
  case 8: UnfilterRow<8>(Type, Row, Prev, N, Bpp); break;
  default: UnfilterRow<0>(Type, Row, Prev, N, Bpp); break;
  }
}

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

std::string Utf8ToLatin1(const std::string& S) {
  std::string Out;
  for (size_t I = 0; I < S.size();) {
    const uint8_t C = uint8_t(S[I]);
    size_t Len = 1;
    uint32_t Code = C;
    if (C >= 0xF0) {
      Len = 4;
    } else if (C >= 0xE0) {
      Len = 3;
    } else if (C >= 0xC0) {
      Len = 2;
      if (I + 1 < S.size())
        Code = ((C & 0x1Fu) << 6) | (uint8_t(S[I + 1]) & 0x3Fu);
    } else if (C >= 0x80) {
      Code = '?';
    }
    Out.push_back(Code <= 0xFF && Len <= 2 ? char(Code) : '?');
    I += Len;
  }
  return Out;
}

} // namespace

struct TPngReader::TInflate {
  z_stream Z{};
  bool Ready = false;
  bool Ended = false;
  uint32_t ChunkLeft = 0;
  uint32_t Crc = 0;
  ~TInflate() {
    if (Ready)
      inflateEnd(&Z);
  }
};

struct TPngWriter::TDeflate {
  z_stream Z{};
  bool Ready = false;
  std::vector<uint8_t> Out;
  ~TDeflate() {
    if (Ready)
      deflateEnd(&Z);
  }
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
    uLong Crc = crc32(0L, H.Name, 4);
    Crc = crc32(Crc, FChunk.data(), uInt(H.Length));
    if (uint32_t(Crc) != GetBE32(Stored))
      Fail(PngMsg::CrcError);
  }
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
  FRowLength = PackedRowBytes(FWidth, int64_t(Depth) * Samples);
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
    const char* Name;
    size_t Limit;
    std::string TImgIO::*Field;
  };
  static const TKey Keys[] = {
      {"Title", 250, &TImgIO::Title}, {"Author", 249, &TImgIO::Author}, {"Copyright", 246, &TImgIO::Rights}};
  const uint8_t* D = FChunk.data();
  const size_t N = FChunk.size();
  for (const TKey& K : Keys) {
    const size_t KeyLen = std::strlen(K.Name);
    if (N > KeyLen && std::memcmp(D, K.Name, KeyLen) == 0 && D[KeyLen] == 0) {
      const uint8_t* Text = D + KeyLen + 1;
      size_t Len = std::min(N - KeyLen - 1, K.Limit);
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
  if (FileSize < 9 || ReadSome(Head, sizeof Head) != sizeof Head || std::memcmp(Head, Signature, 8) != 0)
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
  z_stream& Z = I.Z;
  Z.next_out = Row.data();
  Z.avail_out = uInt(Row.size());
  while (Z.avail_out > 0) {
    if (I.Ended)
      Fail(ImgMsg::CompressionError);
    if (Z.avail_in == 0) {
      NextInput(I);
      continue;
    }
    const int R = inflate(&Z, Z_NO_FLUSH);
    if (R == Z_STREAM_END)
      I.Ended = true;
    else if (R != Z_OK)
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
    I.Crc = uint32_t(crc32(0L, H.Name, 4));
  }
  const uint32_t Piece = std::min<uint32_t>(I.ChunkLeft, uint32_t(IdatPiece));
  FChunk.resize(Piece);
  ReadExact(FChunk.data(), Piece);
  I.Crc = uint32_t(crc32(I.Crc, FChunk.data(), Piece));
  I.ChunkLeft -= Piece;
  I.Z.next_in = FChunk.data();
  I.Z.avail_in = Piece;
  if (I.ChunkLeft == 0) {
    uint8_t Stored[4];
    ReadExact(Stored, sizeof Stored);
    if (VerifyCrc && I.Crc != GetBE32(Stored))
      Fail(PngMsg::CrcError);
  }
}

void TPngReader::DecodeRows(TInflate& Z) {
  const size_t N = size_t(FRowLength);
  std::vector<uint8_t> A(N + 1, 0), B(N + 1, 0);
  uint8_t* Cur = A.data();
  uint8_t* Prev = B.data();
  for (int32_t Y = 0; Y < Height; ++Y) {
    FillRow(Z, {Cur, N + 1});
    Unfilter(Cur[0], Cur + 1, Prev + 1, N, size_t(FPixelBytes));
    ColorManager.ConvertRow({Cur + 1, N}, Dib->Row(Y), 0, 0, Width);
    RowDone();
    std::swap(Cur, Prev);
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
  const int64_t SourceBits = int64_t(FBitDepth) * ColorManager.SourceSamples;
  const int32_t DibBits = Dib->BitCount();
  const size_t Full = size_t(FRowLength);
  std::vector<uint8_t> A(Full + 1), B(Full + 1);
  std::vector<uint8_t> Scratch(size_t(Dib->RowBytes()));
  for (int32_t P = 0; P < 7; ++P) {
    const TPass& Pass = Adam7[P];
    if (Pass.StartCol >= Width)
      continue;
    const int32_t PassWidth = (Width + Pass.ColStep - 1 - Pass.StartCol) / Pass.ColStep;
    const size_t N = size_t(PackedRowBytes(PassWidth, SourceBits));
    std::fill(B.begin(), B.end(), uint8_t(0));
    uint8_t* Cur = A.data();
    uint8_t* Prev = B.data();
    for (int32_t Y = Pass.StartRow; Y < Height; Y += Pass.RowStep) {
      FillRow(Z, {Cur, N + 1});
      Unfilter(Cur[0], Cur + 1, Prev + 1, N, size_t(FPixelBytes));
      if (P == 6) {
        ColorManager.ConvertRow({Cur + 1, N}, Dib->Row(Y), 0, 0, Width);
      } else {
        ColorManager.ConvertRow({Cur + 1, N}, Scratch, 0, 0, PassWidth);
        CopyPixels(Scratch.data(), 0, 1, Dib->ScanLine(Y), Pass.StartCol, Pass.ColStep, PassWidth, DibBits);
      }
      if (P >= 5)
        RowDone();
      std::swap(Cur, Prev);
    }
  }
}

void TPngReader::ReadImage() {
  if (FColorType == 0 || FColorType == 3 || FColorType == 4)
    FinishPalette();
  else if (FGamma)
    ColorManager.SetFlags(uint8_t(ColorManager.Flags | cmfLevels));

  TInflate Z;
  if (inflateInit(&Z.Z) != Z_OK)
    Fail(ImgMsg::CompressionError);
  Z.Ready = true;
  if (Interlaced)
    DecodeInterlaced(Z);
  else
    DecodeRows(Z);
  FChunk = std::vector<uint8_t>();
}

TPngWriter::TPngWriter() { FormatName = "PNG"; }

void TPngWriter::WriteChunk(const char* Type, std::span<const uint8_t> Data) {
  uint8_t Head[8];
  PutBE32(Head, uint32_t(Data.size()));
  std::memcpy(Head + 4, Type, 4);
  uLong Crc = crc32(0L, Head + 4, 4);
  if (!Data.empty())
    Crc = crc32(Crc, Data.data(), uInt(Data.size()));
  uint8_t Tail[4];
  PutBE32(Tail, uint32_t(Crc));
  WriteRaw(Head, sizeof Head);
  WriteRaw(Data.data(), Data.size());
  WriteRaw(Tail, sizeof Tail);
}

void TPngWriter::WriteHeader() {
  FormatName = "PNG";
  FIndexMap = {};
  std::iota(FIndexMap.begin(), FIndexMap.end(), uint8_t(0));
  FMapIndexes = false;
  FSamples = 1;
  switch (PixelFormat) {
  case pf1bit:
  case pf4bit:
  case pf8bit:
    FColorType = IsGray ? 0 : 3;
    FBitDepth = PixelFormat == pf1bit ? 1 : PixelFormat == pf4bit ? 4 : 8;
    ColorManager.SetSource(IsGray ? cfGray : cfPalette, 1, FBitDepth);
    ColorManager.SetTarget(IsGray ? cfGray : cfPalette, FBitDepth);
    break;
  case pf15bit:
  case pf16bit:
    FColorType = 2;
    FBitDepth = 8;
    FSamples = 3;
    break;
  case pf24bit:
  case pf32bit:
    FColorType = 2;
    FBitDepth = 8;
    FSamples = 3;
    // 32-bit pixels hold red first; their fourth byte is not written.
    ColorManager.SetSource(PixelFormat == pf24bit ? cfBGR : cfRGB, PixelFormat == pf24bit ? 3 : 4, 8);
    ColorManager.SetTarget(cfRGB, 8);
    break;
  default: Fail(ImgMsg::UnsupportedFormat);
  }
  FPixelBytes = std::max(1, (FBitDepth + 7) / 8 * FSamples);
  FRowLength = PackedRowBytes(Width, int64_t(FBitDepth) * FSamples);

  WriteRaw(Signature, sizeof Signature);
  uint8_t Ihdr[13];
  PutBE32(Ihdr, uint32_t(Width));
  PutBE32(Ihdr + 4, uint32_t(Height));
  Ihdr[8] = FBitDepth;
  Ihdr[9] = FColorType;
  Ihdr[10] = 0;
  Ihdr[11] = 0;
  Ihdr[12] = Interlaced ? 1 : 0;
  WriteChunk("IHDR", Ihdr);
  Compression = cmpDeflate;
}

void TPngWriter::WriteTexts() {
  const std::pair<const char*, const std::string*> Texts[] = {
      {"Title", &Title}, {"Author", &Author}, {"Copyright", &Rights}};
  for (const auto& [Key, Text] : Texts) {
    if (Text->empty())
      continue;
    std::string Data(Key);
    Data.push_back('\0');
    Data += Utf8ToLatin1(*Text);
    WriteChunk("tEXt", {reinterpret_cast<const uint8_t*>(Data.data()), Data.size()});
  }
}

void TPngWriter::WritePalette() {
  int32_t Count = PaletteSize;
  int32_t TI = Transparency.TransparentIndex, BI = Transparency.BackIndex;
  auto Valid = [&Count](int32_t I) { return I >= 0 && I < Count; };
  std::vector<TColor> Colors;
  if (OptimizePalette && FBitDepth >= 4) {
    std::array<uint32_t, 256> Uses{};
    for (int32_t Y = 0; Y < Height; ++Y) {
      const uint8_t* Row = Dib->ScanLine(Y);
      if (FBitDepth == 8) {
        for (int32_t X = 0; X < Width; ++X)
          ++Uses[Row[X]];
      } else {
        for (int32_t X = 0; X < Width; ++X)
          ++Uses[Get4(Row, X)];
      }
    }
    std::vector<int32_t> Kept;
    for (int32_t I = 0; I < Count; ++I)
      if (Uses[size_t(I)] > 0 || (Valid(BI) && I == BI))
        Kept.push_back(I);
    if (PaletteOrder == pngMostUsedFirst)
      std::stable_sort(Kept.begin(), Kept.end(),
                       [&Uses](int32_t A, int32_t B) { return Uses[size_t(A)] > Uses[size_t(B)]; });
    for (size_t New = 0; New < Kept.size(); ++New) {
      FIndexMap[size_t(Kept[New])] = uint8_t(New);
      Colors.push_back(Dib->GetPaletteColor(Kept[New]));
    }
    if (Valid(TI)) {
      if (Uses[size_t(TI)] > 0) {
        TI = FIndexMap[size_t(TI)];
      } else {
        TI = -1;
        BI = -1;
      }
    }
    if (Valid(BI))
      BI = FIndexMap[size_t(BI)];
    Count = int32_t(Kept.size());
    FMapIndexes = true;
  } else {
    for (int32_t I = 0; I < Count; ++I)
      Colors.push_back(Dib->GetPaletteColor(I));
  }
  if (Valid(TI))
    Colors[size_t(TI)] = TColor(Transparency.TransparentColor) & 0xFFFFFF;
  std::vector<uint8_t> Plte;
  for (const TColor C : Colors) {
    Plte.push_back(GetRValue(C));
    Plte.push_back(GetGValue(C));
    Plte.push_back(GetBValue(C));
  }
  WriteChunk("PLTE", Plte);
  if (Valid(TI)) {
    std::vector<uint8_t> Trns(size_t(TI) + 1, 255);
    Trns[size_t(TI)] = 0;
    WriteChunk("tRNS", Trns);
  }
  if (Valid(BI)) {
    const uint8_t Index = uint8_t(BI);
    WriteChunk("bKGD", {&Index, 1});
  }
  PaletteSize = Count;
  Transparency.TransparentIndex = TI;
  Transparency.BackIndex = BI;
}

void TPngWriter::BuildPngRow(int32_t Y, std::span<uint8_t> Out) {
  const uint8_t* Source = Dib->ScanLine(Y);
  const std::span<const uint8_t> SourceRow = Dib->Row(Y);
  switch (PixelFormat) {
  case pf15bit:
  case pf16bit: {
    uint8_t* Q = Out.data();
    for (int32_t X = 0; X < Width; ++X, Q += 3) {
      const uint32_t W = GetLE16(Source + 2 * X);
      Q[0] = uint8_t(((W >> 10) & 31) * 255 / 31);
      Q[1] = uint8_t(((W >> 5) & 31) * 255 / 31);
      Q[2] = uint8_t((W & 31) * 255 / 31);
    }
    return;
  }
  case pf24bit:
  case pf32bit: ColorManager.ConvertRow(SourceRow, Out, 0, 0, Width); return;
  default: break;
  }
  const size_t N = size_t(FRowLength);
  std::memcpy(Out.data(), Source, N);
  if (const int32_t Spare = int32_t(N * 8 - size_t(Width) * FBitDepth))
    Out[N - 1] = uint8_t(Out[N - 1] & (0xFF << Spare));
  if (!FMapIndexes)
    return;
  if (FBitDepth == 8) {
    for (size_t I = 0; I < N; ++I)
      Out[I] = FIndexMap[Out[I]];
  } else {
    for (size_t I = 0; I < N; ++I)
      Out[I] = uint8_t((FIndexMap[Out[I] >> 4] << 4) | (FIndexMap[Out[I] & 0x0F] & 0x0F));
    if (Width & 1)
      Out[N - 1] &= 0xF0;
  }
}

namespace {

inline uint32_t Cost(uint8_t V) { return V < 128 ? V : 256u - V; }

template <int Type>
inline uint8_t Residual(uint32_t X, uint32_t A, uint32_t B, uint32_t C) {
  if constexpr (Type == 1)
    return uint8_t(X - A);
  else if constexpr (Type == 2)
    return uint8_t(X - B);
  else if constexpr (Type == 3)
    return uint8_t(X - ((A + B) >> 1));
  else
    return uint8_t(X - PaethPredictor(int32_t(A), int32_t(B), int32_t(C)));
}

// Fills Out[1..] with the filtered row and Out[0] with the type; gives up
// once the running cost passes Bound.
template <int Type>
uint64_t FilterRow(const uint8_t* Raw, const uint8_t* Up, uint8_t* Out, size_t N, size_t Bpp, uint64_t Bound) {
  Out[0] = uint8_t(Type);
  uint8_t* Q = Out + 1;
  uint64_t Sum = 0;
  const size_t Lead = std::min(Bpp, N);
  for (size_t I = 0; I < Lead; ++I) {
    Q[I] = Residual<Type>(Raw[I], 0, Up[I], 0);
    Sum += Cost(Q[I]);
  }
  constexpr size_t Block = 512;
  for (size_t Start = Lead; Start < N; Start += Block) {
    const size_t End = std::min(N, Start + Block);
    uint32_t Part = 0;
    for (size_t I = Start; I < End; ++I) {
      const uint8_t V = Residual<Type>(Raw[I], Raw[I - Bpp], Up[I], Up[I - Bpp]);
      Q[I] = V;
      Part += Cost(V);
    }
    Sum += Part;
    if (Sum >= Bound)
      return Sum;
  }
  return Sum;
}

} // namespace

void TPngWriter::PutRow(TDeflate& D, std::span<uint8_t> RawWithType, std::span<uint8_t> PrevWithType) {
  const size_t N = RawWithType.size() - 1;
  const uint8_t* Raw = RawWithType.data() + 1;
  const uint8_t* Up = PrevWithType.data() + 1;
  const size_t Bpp = size_t(FPixelBytes);
  RawWithType[0] = 0;
  const uint8_t* Best = RawWithType.data();
  if (Filters != pngFilterNone) {
    uint64_t BestSum = 0;
    for (size_t I = 0; I < N; ++I)
      BestSum += Cost(Raw[I]);
    for (int32_t F = 1; F <= 4; ++F) {
      if (!(Filters & (1 << F)))
        continue;
      std::vector<uint8_t>& C = FCandidates[size_t(F)];
      C.resize(N + 1);
      uint64_t Sum;
      switch (F) {
      case 1: Sum = FilterRow<1>(Raw, Up, C.data(), N, Bpp, BestSum); break;
      case 2: Sum = FilterRow<2>(Raw, Up, C.data(), N, Bpp, BestSum); break;
      case 3: Sum = FilterRow<3>(Raw, Up, C.data(), N, Bpp, BestSum); break;
      default: Sum = FilterRow<4>(Raw, Up, C.data(), N, Bpp, BestSum); break;
      }
      if (Sum < BestSum) {
        BestSum = Sum;
        Best = C.data();
      }
    }
  }
  z_stream& Z = D.Z;
  Z.next_in = const_cast<uint8_t*>(Best);
  Z.avail_in = uInt(N + 1);
  while (Z.avail_in > 0) {
    if (deflate(&Z, Z_NO_FLUSH) == Z_STREAM_ERROR)
      Fail(ImgMsg::CompressionError);
    if (Z.avail_out == 0) {
      WriteChunk("IDAT", D.Out);
      Z.next_out = D.Out.data();
      Z.avail_out = uInt(D.Out.size());
    }
  }
}

void TPngWriter::WriteRows(TDeflate& D) {
  const size_t Full = size_t(FRowLength);
  std::vector<uint8_t> A(Full + 1, 0), B(Full + 1, 0);
  if (!Interlaced) {
    uint8_t* Cur = A.data();
    uint8_t* Prev = B.data();
    for (int32_t Y = 0; Y < Height; ++Y) {
      BuildPngRow(Y, {Cur + 1, Full});
      PutRow(D, {Cur, Full + 1}, {Prev, Full + 1});
      std::swap(Cur, Prev);
      RowDone();
    }
    return;
  }
  const int32_t PixelBits = int32_t(FBitDepth) * FSamples;
  std::vector<uint8_t> Line(Full, 0);
  for (int32_t P = 0; P < 7; ++P) {
    const TPass& Pass = Adam7[P];
    if (Pass.StartCol >= Width)
      continue;
    const int32_t PassWidth = (Width + Pass.ColStep - 1 - Pass.StartCol) / Pass.ColStep;
    const size_t N = size_t(PackedRowBytes(PassWidth, PixelBits));
    std::fill(A.begin(), A.end(), uint8_t(0));
    std::fill(B.begin(), B.end(), uint8_t(0));
    uint8_t* Cur = A.data();
    uint8_t* Prev = B.data();
    for (int32_t Y = Pass.StartRow; Y < Height; Y += Pass.RowStep) {
      BuildPngRow(Y, Line);
      std::fill(Cur, Cur + N + 1, uint8_t(0));
      CopyPixels(Line.data(), Pass.StartCol, Pass.ColStep, Cur + 1, 0, 1, PassWidth, PixelBits);
      PutRow(D, {Cur, N + 1}, {Prev, N + 1});
      std::swap(Cur, Prev);
      if (P >= 5)
        RowDone();
    }
  }
}

void TPngWriter::WriteImage() {
  Filters = uint8_t(Filters | pngFilterNone);
  CompressionLevel = std::clamp(CompressionLevel, 0, 9);
  if (CompressionLevel == 0 || FBitDepth == 1)
    Filters = pngFilterNone;
  WriteTexts();
  if (FColorType == 3)
    WritePalette();
  if (Resolution > 0) {
    uint8_t Phys[9];
    const uint32_t V =
        Resolution <= MaxDpiForPels ? uint32_t(DpiToPelsPerMetre(Resolution)) : std::numeric_limits<uint32_t>::max();
    PutBE32(Phys, V);
    PutBE32(Phys + 4, V);
    Phys[8] = 1;
    WriteChunk("pHYs", Phys);
  }

  TDeflate D;
  const int Strategy = FColorType == 3 ? Z_DEFAULT_STRATEGY : Z_FILTERED;
  if (deflateInit2(&D.Z, CompressionLevel, Z_DEFLATED, 15, 8, Strategy) != Z_OK)
    Fail(ImgMsg::CompressionError);
  D.Ready = true;
  D.Out.resize(OutputBufferSize);
  D.Z.next_out = D.Out.data();
  D.Z.avail_out = uInt(D.Out.size());
  WriteRows(D);
  for (;;) {
    const int R = deflate(&D.Z, Z_FINISH);
    if (R == Z_STREAM_ERROR)
      Fail(ImgMsg::CompressionError);
    if (R == Z_STREAM_END)
      break;
    if (D.Z.avail_out == 0) {
      WriteChunk("IDAT", D.Out);
      D.Z.next_out = D.Out.data();
      D.Z.avail_out = uInt(D.Out.size());
    }
  }
  WriteChunk("IDAT", {D.Out.data(), D.Out.size() - D.Z.avail_out});
  WriteChunk("IEND", {});
  for (auto& C : FCandidates)
    C = std::vector<uint8_t>();
}
