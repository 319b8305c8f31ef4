#include "XRas.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace {

constexpr uint32_t Magic = 0x59A66A95;
constexpr uint32_t TypeOld = 0, TypeStandard = 1, TypeByteEncoded = 2, TypeRgb = 3;
constexpr uint32_t MapTypeRgb = 1;
constexpr uint8_t Escape = 0x80;
// An escape, a count and a value make at most 256 bytes; nothing else
// decodes to more bytes than it takes.
constexpr int64_t RunCodeBytes = 3, MaxRunBytes = 256;
constexpr int32_t WrittenMapEntries = 256;
constexpr TColor Black = 0x000000, White = 0xFFFFFF;

constexpr TPixelFormat FormatOfDepth(uint32_t Depth) {
  switch (Depth) {
  case 1: return pf1bit;
  case 4: return pf4bit;
  case 8: return pf8bit;
  case 24: return pf24bit;
  case 32: return pf32bit;
  }
  return TPixelFormat(pfInvalid);
}

// Rows are padded to 16 bits.
constexpr int64_t PaddedRowBytes(int64_t Width, int32_t Depth) { return (Width * Depth + 15) / 16 * 2; }

// The most bytes Size bytes of encoded data can give.
constexpr int64_t MaxDecodedBytes(int64_t Size) { return Size / RunCodeBytes * MaxRunBytes + Size % RunCodeBytes; }

} // namespace

TRasHeader ParseRasHeader(const uint8_t* P) {
  return {GetBE32(P),      GetBE32(P + 4),  GetBE32(P + 8),  GetBE32(P + 12),
          GetBE32(P + 16), GetBE32(P + 20), GetBE32(P + 24), GetBE32(P + 28)};
}

void StoreRasHeader(const TRasHeader& H, uint8_t* P) {
  const uint32_t Fields[] = {H.Magic, H.Width, H.Height, H.Depth, H.Length, H.Type, H.MapType, H.MapLength};
  for (uint32_t F : Fields) {
    PutBE32(P, F);
    P += 4;
  }
}

TRasReader::TRasReader() { FormatName = "RAS"; }

void TRasReader::ReadHeader() {
  FormatName = "RAS";
  Seek(0);
  uint8_t Raw[RasHeaderSize];
  if (ReadSome(Raw, sizeof Raw) != sizeof Raw)
    Fail(ImgMsg::InvalidHeader);
  const TRasHeader H = ParseRasHeader(Raw);
  constexpr uint32_t MaxSide = std::numeric_limits<int32_t>::max();
  if (H.Magic != Magic || H.Width == 0 || H.Height == 0 || H.Width > MaxSide || H.Height > MaxSide)
    Fail(ImgMsg::InvalidHeader);
  Width = int32_t(H.Width);
  Height = int32_t(H.Height);
  if (H.Type == TypeOld || H.Type == TypeStandard || H.Type == TypeRgb)
    Compression = cmpNone;
  else if (H.Type == TypeByteEncoded)
    Compression = cmpRLE;
  else
    Fail(ImgMsg::InvalidCompression);
  RedFirst = H.Type == TypeRgb;
  PixelFormat = FormatOfDepth(H.Depth);
  if (PixelFormat == pfInvalid)
    Fail(ImgMsg::InvalidHeader);
  Depth = int32_t(H.Depth);
  DescribePixels(H.MapLength);

  FMapLength = H.MapLength;
  PaletteOffset = PaletteSize > 0 ? RasHeaderSize : 0;
  DataOffset = RasHeaderSize + FMapLength;
  DataSize = FileSize - DataOffset;
  if (DataSize < 1)
    Fail(ImgMsg::InvalidHeader);
  const int64_t StoredRow = StoredRowBytes(H);
  CheckClaims(StoredRow);
  RowBytes = int32_t(StoredRow);
}

// A map beside true-color pixels is skipped; one longer than the buffer's
// palette gives its first entries.
void TRasReader::DescribePixels(uint32_t MapLength) {
  IsGray = false;
  HasAlpha = false;
  FInvert = false;
  PaletteSize = 0;
  if (Depth <= 8) {
    PaletteSize = int32_t(std::min<uint32_t>(MapLength / 3, uint32_t(PaletteSizeOf(PixelFormat))));
    if (PaletteSize > 0) {
      ColorFormat = cfPalette;
      ColorManager.SetSource(cfPalette, 1, Depth);
      ColorManager.SetFlags(cmfKeepValues);
      ColorManager.SetTarget(cfPalette, Depth);
    } else {
      IsGray = true;
      FInvert = Depth == 1;
      ColorFormat = cfGray;
      ColorManager.SetSource(cfGray, 1, Depth);
      ColorManager.SetTarget(cfGray, Depth);
    }
    return;
  }
  // The fourth byte of 32-bit pixels is padding, not alpha: files leave it 0.
  ColorFormat = RedFirst ? cfRGB : cfBGR;
  ColorManager.SetSource(TColorFormat(ColorFormat), 3, 8);
  ColorManager.SetTarget(cfBGR, 8);
}

// Some writers leave 24-bit rows unpadded or pad them to 32 bits; the data
// length tells. Byte-encoded lengths count encoded bytes and tell nothing.
int64_t TRasReader::StoredRowBytes(const TRasHeader& H) const {
  const int64_t Pixels = PackedRowBytes(Width, Depth);
  if (Depth == 24 && Compression == cmpNone && H.Length != 0) {
    const int64_t PerRow = H.Length / H.Height;
    if (PerRow >= Pixels && PerRow < Pixels + 3)
      return PerRow;
  }
  return PaddedRowBytes(Width, Depth);
}

// Never allocate for rows the file cannot hold. The last row may lack its
// padding.
void TRasReader::CheckClaims(int64_t StoredRow) {
  const int64_t Pixels = PackedRowBytes(Width, Depth);
  const int64_t Have = Compression == cmpNone ? DataSize : MaxDecodedBytes(DataSize);
  if (Pixels > Have || Height - 1 > (Have - Pixels) / StoredRow)
    Fail(ImgMsg::StreamRead);
  if (DibRowBytes(Width, BitCountOf(PixelFormat)) * Height > std::numeric_limits<int32_t>::max())
    Fail(ImgMsg::UnsupportedFormat);
  FPixelBytes = int32_t(Pixels);
}

// Three planes of equal length: all red values, then green, then blue.
void TRasReader::ReadPalette() {
  const int64_t Plane = FMapLength / 3;
  std::vector<uint8_t> Rgb(size_t(PaletteSize) * 3);
  for (int32_t C = 0; C < 3; ++C) {
    Seek(PaletteOffset + C * Plane);
    ReadExact(Rgb.data() + size_t(C) * size_t(PaletteSize), size_t(PaletteSize));
  }
  for (int32_t I = 0; I < PaletteSize; ++I)
    Dib->SetPaletteColor(I, RGBColor(Rgb[size_t(I)], Rgb[size_t(PaletteSize + I)], Rgb[size_t(2 * PaletteSize + I)]));
}

void TRasReader::ReadImage() {
  FDirect = RowBytes <= Dib->RowBytes();
  if (!FDirect)
    FRow.assign(size_t(RowBytes), 0);
  if (Compression == cmpRLE)
    DecodeRle();
  else
    ReadPlain();
}

uint8_t* TRasReader::RowTarget(int32_t Y) { return FDirect ? Dib->ScanLine(Y) : FRow.data(); }

// Turns a row as the file stores it into buffer pixels, in place.
void TRasReader::FinishRow(int32_t Y) {
  uint8_t* D = Dib->ScanLine(Y);
  if (!FDirect)
    std::memcpy(D, FRow.data(), size_t(FPixelBytes));
  else
    std::memset(D + FPixelBytes, 0, size_t(RowBytes - FPixelBytes));
  if (FInvert)
    for (int32_t I = 0; I < FPixelBytes; ++I)
      D[I] = uint8_t(~D[I]);
  if (Depth == 24 && RedFirst)
    SwapRedBlue(D, Width, 3);
  if (Depth == 32) {
    // The buffer keeps 32-bit pixels red first.
    if (!RedFirst)
      SwapRedBlue(D, Width, 4);
    for (int32_t X = 0; X < Width; ++X)
      D[4 * X + 3] = 0;
  }
  RowDone();
}

void TRasReader::ReadPlain() {
  for (int32_t Y = 0; Y < Height; ++Y) {
    // The last row's padding may be missing; nothing needs it.
    ReadExact(RowTarget(Y), size_t(Y + 1 < Height ? RowBytes : FPixelBytes));
    FinishRow(Y);
  }
}

// Decoded bytes fill the rows one after another, padding included. Data that
// ends before the last row's pixels fails; a run past them is cut with a
// warning.
void TRasReader::DecodeRle() {
  ReadBuffer.resize(size_t(DataSize));
  ReadBuffer.resize(ReadSome(ReadBuffer.data(), ReadBuffer.size()));
  const uint8_t* P = ReadBuffer.data();
  const uint8_t* const End = P + ReadBuffer.size();
  const size_t Row = size_t(RowBytes);
  int32_t Y = 0;
  size_t X = 0;
  uint8_t* T = RowTarget(0);
  auto NextRow = [&] {
    FinishRow(Y++);
    X = 0;
    if (Y < Height)
      T = RowTarget(Y);
  };
  while (Y < Height) {
    if (End - P < 1 || (*P == Escape && End - P < 2) || (P[0] == Escape && P[1] != 0 && End - P < 3)) {
      if (Y + 1 == Height && X >= size_t(FPixelBytes))
        return NextRow();
      Fail(ImgMsg::StreamRead);
    }
    if (*P != Escape) {
      // Literal bytes up to the next escape or the end of the row.
      const size_t Room = std::min(size_t(End - P), Row - X);
      const void* Esc = std::memchr(P, Escape, Room);
      const size_t N = Esc ? size_t(static_cast<const uint8_t*>(Esc) - P) : Room;
      std::memcpy(T + X, P, N);
      P += N;
      X += N;
      if (X == Row)
        NextRow();
      continue;
    }
    size_t Count = 1;
    uint8_t Value = Escape;
    if (P[1] != 0) {
      Count = size_t(P[1]) + 1;
      Value = P[2];
      P += 3;
    } else {
      P += 2;
    }
    while (Count > 0) {
      if (Y == Height) {
        SetWarning(FormatMessage(ImgMsg::CompressionError));
        return;
      }
      const size_t N = std::min(Count, Row - X);
      std::memset(T + X, Value, N);
      X += N;
      Count -= N;
      if (X == Row)
        NextRow();
    }
  }
}

TRasWriter::TRasWriter() { FormatName = "RAS"; }

void TRasWriter::WriteHeader() {
  TRasHeader H;
  H.Magic = Magic;
  H.Width = uint32_t(Width);
  H.Height = uint32_t(Height);
  H.Type = TypeStandard;
  const bool Indexed = PixelFormat == pf1bit || PixelFormat == pf4bit || PixelFormat == pf8bit;
  const TColor First = PaletteSize > 0 ? Dib->GetPaletteColor(0) : 0,
               Second = PaletteSize > 1 ? Dib->GetPaletteColor(1) : 0;
  FBilevel = PixelFormat == pf1bit && ((First == Black && Second == White) || (First == White && Second == Black));
  FInvert = FBilevel && First == Black;
  if (FBilevel) {
    H.Depth = 1;
  } else if (Indexed) {
    H.Depth = 8;
  } else {
    H.Depth = PixelFormat == pf32bit ? 32 : 24;
  }
  if (Indexed && !FBilevel) {
    H.MapType = MapTypeRgb;
    H.MapLength = 3 * WrittenMapEntries;
  }
  const int64_t Pixels = PackedRowBytes(Width, H.Depth);
  FPixelBytes = int32_t(Pixels);
  const int64_t Stored = Pixels + (Pixels & 1);
  if (Stored * Height > std::numeric_limits<uint32_t>::max())
    Fail(ImgMsg::UnsupportedFormat);
  RowBytes = int32_t(Stored);
  H.Length = uint32_t(Stored * Height);
  uint8_t Raw[RasHeaderSize];
  StoreRasHeader(H, Raw);
  WriteRaw(Raw, sizeof Raw);
  if (H.MapLength > 0) {
    uint8_t Map[3 * WrittenMapEntries] = {};
    for (int32_t I = 0; I < std::min(PaletteSize, WrittenMapEntries); ++I) {
      const TColor C = Dib->GetPaletteColor(I);
      Map[I] = GetRValue(C);
      Map[WrittenMapEntries + I] = GetGValue(C);
      Map[2 * WrittenMapEntries + I] = GetBValue(C);
    }
    WriteRaw(Map, sizeof Map);
  }
}

// Out holds RowBytes bytes whose padding stays 0.
void TRasWriter::BuildRow(int32_t Y, uint8_t* Out) const {
  const uint8_t* S = Dib->ScanLine(Y);
  switch (PixelFormat) {
  case pf1bit:
    if (!FBilevel) {
      for (int32_t X = 0; X < Width; ++X)
        Out[X] = uint8_t(Get1(S, X));
      break;
    }
    std::memcpy(Out, S, size_t(FPixelBytes));
    if (FInvert)
      for (int32_t I = 0; I < FPixelBytes; ++I)
        Out[I] = uint8_t(~Out[I]);
    // Bits past the last pixel stay clear.
    if (Width % 8)
      Out[FPixelBytes - 1] &= uint8_t(0xFF << (8 - Width % 8));
    break;
  case pf4bit:
    for (int32_t X = 0; X < Width; ++X)
      Out[X] = uint8_t(Get4(S, X));
    break;
  case pf15bit:
  case pf16bit:
    for (int32_t X = 0; X < Width; ++X)
      ColorToBGRBytes(Dib->GetPixelColor(X, Y), Out + 3 * X);
    break;
  case pf32bit:
    // The buffer keeps red first; the file wants blue first.
    CopyBlueFirst32(S, Out, Width, 0);
    break;
  default: std::memcpy(Out, S, size_t(FPixelBytes));
  }
}

void TRasWriter::WriteImage() {
  FRow.assign(size_t(RowBytes), 0);
  BeginBuffer();
  for (int32_t Y = 0; Y < Height; ++Y) {
    BuildRow(Y, FRow.data());
    BufferedWrite(FRow.data(), FRow.size());
    RowDone();
  }
  FlushBuffer();
  EndBuffer();
}
