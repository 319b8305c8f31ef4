#include "XIff.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>

#include "XPackBits.h"

namespace {

constexpr uint32_t Id(const char (&S)[5]) {
  return uint32_t(uint8_t(S[0])) << 24 | uint32_t(uint8_t(S[1])) << 16 | uint32_t(uint8_t(S[2])) << 8 |
         uint32_t(uint8_t(S[3]));
}
constexpr uint32_t IdForm = Id("FORM"), IdIlbm = Id("ILBM"), IdAcbm = Id("ACBM"), IdBmhd = Id("BMHD"),
                   IdCmap = Id("CMAP"), IdCamg = Id("CAMG"), IdBody = Id("BODY"), IdAbit = Id("ABIT");

constexpr int32_t FormHeaderSize = 12, ChunkHeaderSize = 8, BitmapHeaderSize = 20;
constexpr int64_t MinFileSize = FormHeaderSize + ChunkHeaderSize + BitmapHeaderSize;
constexpr uint8_t MaskPlane = 1;
constexpr uint8_t CompressionNone = 0, CompressionByteRun1 = 1;
constexpr uint32_t ModeHam = 0x800, ModeHalfBrite = 0x80;
constexpr int32_t HalfBriteEntries = 32;
constexpr int32_t MaxPaletteEntries = 256;
constexpr int32_t MaxSide = 0xFFFF;

// A repeat code and its byte give at most 128 bytes.
constexpr int64_t MaxUnpackedBytes(int64_t Size) { return Size / 2 * 128 + Size % 2; }

// The eight pixels of a plane byte, the leftmost in the lowest byte.
constexpr std::array<uint64_t, 256> SpreadBits() {
  std::array<uint64_t, 256> T{};
  for (uint32_t B = 0; B < 256; ++B)
    for (uint32_t J = 0; J < 8; ++J)
      T[B] |= uint64_t((B >> (7 - J)) & 1) << (8 * J);
  return T;
}
constexpr std::array<uint64_t, 256> Spread = SpreadBits();

constexpr uint8_t ValueAt(const uint64_t* Values, int32_t X) { return uint8_t(Values[X >> 3] >> (8 * (X & 7))); }

// Plane rows hold a whole number of 16-bit words.
constexpr int64_t PlaneRowBytes(int64_t Width) { return (Width + 15) / 16 * 2; }

} // namespace

TLbmReader::TLbmReader() { FormatName = "IFF"; }

void TLbmReader::ReadHeader() {
  FormatName = "IFF";
  uint8_t Form[FormHeaderSize];
  Seek(0);
  if (FileSize < MinFileSize || ReadSome(Form, sizeof Form) != sizeof Form || GetBE32(Form) != IdForm)
    Fail(ImgMsg::InvalidHeader);
  const uint32_t Type = GetBE32(Form + 8);
  Contiguous = Type == IdAcbm;
  Chunky = Type != IdIlbm && !Contiguous;
  const int64_t FormSize = GetBE32(Form + 4);
  // Some writers leave the size 0; never look past the file.
  WalkChunks(FormSize >= 4 ? std::min(FileSize, ChunkHeaderSize + FormSize) : FileSize);
  DescribePixels();
  CheckClaims();
}

// Chunks up to the body; odd sizes are padded to even. Every step moves on by
// at least a chunk header, so the walk ends at the end of the form.
void TLbmReader::WalkChunks(int64_t FormEnd) {
  FHaveHeader = false;
  PaletteOffset = 0;
  PaletteSize = 0;
  ViewModes = 0;
  const uint32_t BodyId = Contiguous ? IdAbit : IdBody;
  for (int64_t Pos = FormHeaderSize;;) {
    uint8_t Head[ChunkHeaderSize];
    if (Pos + ChunkHeaderSize > FormEnd)
      Fail(ImgMsg::InvalidHeader);
    Seek(Pos);
    ReadExact(Head, sizeof Head);
    const uint32_t Chunk = GetBE32(Head);
    const int64_t Size = GetBE32(Head + 4), Data = Pos + ChunkHeaderSize;
    if (Chunk == IdBmhd) {
      ReadBitmapHeader(Data, Size);
    } else if (Chunk == IdCmap) {
      PaletteOffset = Data;
      PaletteSize = int32_t(std::min<int64_t>(std::min(Size, FileSize - Data) / 3, MaxPaletteEntries));
    } else if (Chunk == IdCamg && Size >= 4) {
      uint8_t Modes[4];
      ReadExact(Modes, sizeof Modes);
      ViewModes = GetBE32(Modes);
    } else if (Chunk == BodyId) {
      if (!FHaveHeader)
        Fail(ImgMsg::InvalidHeader);
      DataOffset = Data;
      DataSize = std::min(Size, FileSize - Data);
      return;
    }
    Pos = Data + Size + (Size & 1);
  }
}

void TLbmReader::ReadBitmapHeader(int64_t Position, int64_t Size) {
  uint8_t H[BitmapHeaderSize];
  Seek(Position);
  if (Size < BitmapHeaderSize || ReadSome(H, sizeof H) != sizeof H)
    Fail(ImgMsg::InvalidHeader);
  Width = GetBE16(H);
  Height = GetBE16(H + 2);
  Planes = H[8];
  Masking = H[9];
  FCompression = H[10];
  FHaveHeader = true;
}

void TLbmReader::DescribePixels() {
  if (Width == 0 || Height == 0)
    Fail(ImgMsg::InvalidHeader);
  if (FCompression != CompressionNone && (FCompression != CompressionByteRun1 || Contiguous))
    Fail(ImgMsg::InvalidCompression);
  Compression = FCompression == CompressionByteRun1 ? cmpRLE : cmpNone;
  Ham = !Chunky && (ViewModes & ModeHam) && (Planes == 6 || Planes == 8);
  HalfBrite = !Chunky && !Ham && (ViewModes & ModeHalfBrite) && Planes == 6;
  FPlaneRow = PlaneRowBytes(Width);
  if (Chunky) {
    if (Planes == 24)
      Fail(ImgMsg::UnsupportedFeature);
    if (Planes < 1 || Planes > 8)
      Fail(ImgMsg::InvalidFormat);
    // One byte a pixel whatever the planes; rows are padded to even.
    PixelFormat = pf8bit;
    RowBytes = Width + (Width & 1);
  } else {
    if (Ham || Planes == 24 || Planes == 32)
      PixelFormat = pf24bit;
    else if (Planes >= 1 && Planes <= 8)
      PixelFormat = Planes == 1 ? pf1bit : Planes <= 4 ? pf4bit : pf8bit;
    else
      Fail(ImgMsg::InvalidFormat);
    const int32_t Stored = Planes + (Masking == MaskPlane && !Contiguous ? 1 : 0);
    RowBytes = int32_t(FPlaneRow * Stored);
  }
  const bool Indexed = PixelFormat != pf24bit;
  if (!Indexed && !Ham)
    PaletteSize = 0;
  IsGray = Indexed && PaletteSize == 0;
  FColors.assign(MaxPaletteEntries, 0);
  ColorFormat = Indexed ? (IsGray ? cfGray : cfPalette) : cfRGB;
  ColorManager.SetSource(TColorFormat(ColorFormat), Indexed ? 1 : 3, Indexed ? std::min(Planes, 8) : 8);
  ColorManager.SetTarget(Indexed ? (IsGray ? cfGray : cfPalette) : cfBGR, Indexed ? BitCountOf(PixelFormat) : 8);
}

// Never allocate for rows the data cannot hold.
void TLbmReader::CheckClaims() {
  const int64_t Need = Contiguous ? FPlaneRow * Planes * Height : int64_t(RowBytes) * Height;
  if (Need > (Compression == cmpRLE ? MaxUnpackedBytes(DataSize) : DataSize))
    Fail(ImgMsg::StreamRead);
  if (DibRowBytes(Width, BitCountOf(PixelFormat)) * Height > std::numeric_limits<int32_t>::max())
    Fail(ImgMsg::UnsupportedFormat);
}

// Extra half-brite images show entries 32 to 63 as 0 to 31 at half
// brightness; files that store all 64 colors give the ones they mean.
void TLbmReader::ReadPalette() {
  std::vector<uint8_t> Rgb(size_t(PaletteSize) * 3);
  ReadExact(Rgb.data(), Rgb.size());
  for (int32_t I = 0; I < PaletteSize; ++I)
    FColors[size_t(I)] = ColorFromRGBBytes(&Rgb[size_t(I) * 3]);
  int32_t Entries = std::min(PaletteSize, PaletteSizeOf(PixelFormat));
  if (HalfBrite) {
    for (int32_t I = PaletteSize; I < 2 * HalfBriteEntries; ++I) {
      const TColor C = FColors[size_t(I % HalfBriteEntries)];
      FColors[size_t(I)] = RGBColor(GetRValue(C) >> 1, GetGValue(C) >> 1, GetBValue(C) >> 1);
    }
    Entries = std::max(Entries, 2 * HalfBriteEntries);
  }
  for (int32_t I = 0; I < Entries; ++I)
    Dib->SetPaletteColor(I, FColors[size_t(I)]);
}

void TLbmReader::ReadImage() {
  ReadBuffer.resize(size_t(DataSize));
  ReadBuffer.resize(ReadSome(ReadBuffer.data(), ReadBuffer.size()));
  FRow.assign(size_t(RowBytes), 0);
  FValues.assign(size_t(FPlaneRow), 0);
  if (Contiguous)
    return ReadBody();
  const uint8_t* P = ReadBuffer.data();
  const uint8_t* const End = P + ReadBuffer.size();
  for (int32_t Y = 0; Y < Height; ++Y) {
    if (!UnpackRow(P, End))
      Fail(ImgMsg::StreamRead);
    StoreRow(Y);
    RowDone();
  }
}

// Contiguous planes: all rows of plane 0, then of plane 1, and so on.
void TLbmReader::ReadBody() {
  const size_t Plane = size_t(FPlaneRow) * size_t(Height), Line = size_t(FPlaneRow);
  if (ReadBuffer.size() < Plane * size_t(Planes))
    Fail(ImgMsg::StreamRead);
  for (int32_t Y = 0; Y < Height; ++Y) {
    for (int32_t K = 0; K < Planes; ++K)
      std::memcpy(&FRow[size_t(K) * Line], &ReadBuffer[size_t(K) * Plane + size_t(Y) * Line], Line);
    StoreRow(Y);
    RowDone();
  }
}

// One stored row, all its plane rows together; a repeat is cut at the row's
// end, a literal past it is broken data. False when the data ends first.
bool TLbmReader::UnpackRow(const uint8_t*& P, const uint8_t* End) {
  uint8_t* const D = FRow.data();
  const size_t N = FRow.size();
  if (Compression == cmpNone) {
    if (size_t(End - P) < N)
      return false;
    std::memcpy(D, P, N);
    P += N;
    return true;
  }
  const TUnpacked R = UnpackBits(P, End, D, N);
  if (R.LiteralPastEnd)
    Fail(ImgMsg::CompressionError);
  return R.Written == N;
}

// FValues gets the values of Count planes from plane First on, plane First
// as bit 0.
void TLbmReader::GatherPlanes(int32_t First, int32_t Count) {
  const size_t Line = size_t(FPlaneRow);
  uint64_t* V = FValues.data();
  std::fill(FValues.begin(), FValues.end(), 0);
  for (int32_t K = 0; K < Count; ++K) {
    const uint8_t* S = &FRow[size_t(First + K) * Line];
    for (size_t I = 0; I < Line; ++I)
      V[I] |= Spread[S[I]] << K;
  }
}

void TLbmReader::StoreRow(int32_t Y) {
  uint8_t* D = Dib->ScanLine(Y);
  const uint64_t* V = FValues.data();
  if (Chunky) {
    std::memcpy(D, FRow.data(), size_t(Width));
  } else if (PixelFormat == pf1bit) {
    std::memcpy(D, FRow.data(), size_t(PackedRowBytes(Width, 1)));
  } else if (Ham) {
    GatherPlanes(0, Planes);
    HamRow(D);
  } else if (PixelFormat == pf24bit) {
    // Planes 0-7 are red, 8-15 green, 16-23 blue; 24-31 alpha, not kept.
    for (int32_t C = 0; C < 3; ++C) {
      GatherPlanes(8 * C, 8);
      uint8_t* Out = D + 2 - C;
      for (int32_t X = 0; X < Width; ++X, Out += 3)
        *Out = ValueAt(V, X);
    }
  } else {
    GatherPlanes(0, Planes);
    if (PixelFormat == pf8bit)
      for (int32_t X = 0; X < Width; ++X)
        D[X] = ValueAt(V, X);
    else
      for (int32_t X = 0; X < Width; ++X)
        Set4(D, X, ValueAt(V, X));
  }
}

// Hold and modify: the top two bits of a value either pick a palette color
// or replace the high bits of one channel of the pixel to the left (blue,
// red, green) with the low bits. Every row starts from color 0.
void TLbmReader::HamRow(uint8_t* D) const {
  const int32_t Bits = Planes - 2, Keep = 8 - Bits;
  const uint32_t Mask = (1u << Bits) - 1;
  const uint8_t KeepMask = uint8_t((1u << Keep) - 1);
  TColor C = FColors[0];
  uint8_t R = GetRValue(C), G = GetGValue(C), B = GetBValue(C);
  const uint64_t* V = FValues.data();
  for (int32_t X = 0; X < Width; ++X, D += 3) {
    const uint32_t Value = ValueAt(V, X), Low = Value & Mask;
    const uint8_t High = uint8_t(Low << Keep);
    switch (Value >> Bits) {
    case 0:
      C = FColors[Low];
      R = GetRValue(C);
      G = GetGValue(C);
      B = GetBValue(C);
      break;
    case 1: B = uint8_t(High | (B & KeepMask)); break;
    case 2: R = uint8_t(High | (R & KeepMask)); break;
    default: G = uint8_t(High | (G & KeepMask));
    }
    D[0] = B;
    D[1] = G;
    D[2] = R;
  }
}

TLbmWriter::TLbmWriter() { FormatName = "IFF"; }

void TLbmWriter::WriteHeader() {
  if (Width > MaxSide || Height > MaxSide)
    Fail(ImgMsg::UnsupportedFormat);
  FPlanes = PixelFormat == pf1bit ? 1 : PixelFormat == pf4bit ? 4 : PixelFormat == pf8bit ? 8 : 24;
  FPlaneRow = PlaneRowBytes(Width);
  RowBytes = int32_t(FPlaneRow * FPlanes);
  const int64_t Body = int64_t(RowBytes) * Height;
  const int64_t Cmap = FPlanes <= 8 ? int64_t(PaletteSize) * 3 : 0;
  const int64_t CmapChunk = Cmap > 0 ? ChunkHeaderSize + Cmap + (Cmap & 1) : 0;
  const int64_t Form = 4 + ChunkHeaderSize + BitmapHeaderSize + CmapChunk + ChunkHeaderSize + Body;
  if (Form > std::numeric_limits<uint32_t>::max())
    Fail(ImgMsg::UnsupportedFormat);
  std::vector<uint8_t> H(size_t(FormHeaderSize + ChunkHeaderSize + BitmapHeaderSize + CmapChunk + ChunkHeaderSize));
  uint8_t* P = H.data();
  auto Chunk = [&P](uint32_t Name, int64_t Size) {
    PutBE32(P, Name);
    PutBE32(P + 4, uint32_t(Size));
    P += ChunkHeaderSize;
  };
  Chunk(IdForm, Form);
  PutBE32(P, IdIlbm);
  P += 4;
  Chunk(IdBmhd, BitmapHeaderSize);
  PutBE16(P, uint16_t(Width));
  PutBE16(P + 2, uint16_t(Height));
  P[8] = uint8_t(FPlanes);
  P[14] = P[15] = 1;
  PutBE16(P + 16, uint16_t(Width));
  PutBE16(P + 18, uint16_t(Height));
  P += BitmapHeaderSize;
  if (Cmap > 0) {
    Chunk(IdCmap, Cmap);
    for (int32_t I = 0; I < PaletteSize; ++I, P += 3)
      ColorToRGBBytes(Dib->GetPaletteColor(I), P);
    P += Cmap & 1;
  }
  Chunk(IdBody, Body);
  Compression = cmpNone;
  WriteRaw(H.data(), H.size());
}

// Plane k of a row holds bit k of every pixel value; 24 planes take red,
// green and blue in turn.
void TLbmWriter::BuildRow(int32_t Y) {
  const uint8_t* S = Dib->ScanLine(Y);
  const size_t Line = size_t(FPlaneRow);
  std::fill(FRow.begin(), FRow.end(), 0);
  auto Scatter = [&](int32_t FirstPlane, int32_t Count, auto ValueOf) {
    for (int32_t X = 0; X < Width; ++X) {
      const uint32_t V = ValueOf(X);
      const uint8_t Bit = uint8_t(0x80 >> (X & 7));
      for (int32_t K = 0; K < Count; ++K)
        if (V >> K & 1)
          FRow[size_t(FirstPlane + K) * Line + size_t(X >> 3)] |= Bit;
    }
  };
  switch (PixelFormat) {
  case pf1bit:
    std::memcpy(FRow.data(), S, size_t(PackedRowBytes(Width, 1)));
    if (Width % 8)
      FRow[size_t(PackedRowBytes(Width, 1)) - 1] &= uint8_t(0xFF << (8 - Width % 8));
    break;
  case pf4bit: Scatter(0, 4, [S](int32_t X) { return Get4(S, X); }); break;
  case pf8bit: Scatter(0, 8, [S](int32_t X) { return uint32_t(S[X]); }); break;
  default: {
    const uint8_t* Bgr = S;
    if (PixelFormat != pf24bit) {
      Dib->GetRowColors(Y, FColors);
      for (int32_t X = 0; X < Width; ++X)
        ColorToBGRBytes(FColors[size_t(X)], &FBytes[size_t(X) * 3]);
      Bgr = FBytes.data();
    }
    for (int32_t C = 0; C < 3; ++C)
      Scatter(8 * C, 8, [Bgr, C](int32_t X) { return uint32_t(Bgr[size_t(X) * 3 + size_t(2 - C)]); });
  }
  }
}

void TLbmWriter::WriteImage() {
  FRow.assign(size_t(RowBytes), 0);
  FBytes.assign(size_t(Width) * 3, 0);
  FColors.assign(size_t(Width), 0);
  BeginBuffer();
  for (int32_t Y = 0; Y < Height; ++Y) {
    BuildRow(Y);
    BufferedWrite(FRow.data(), FRow.size());
    RowDone();
  }
  FlushBuffer();
  EndBuffer();
}
