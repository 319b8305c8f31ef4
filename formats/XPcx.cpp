#include "XPcx.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace {

constexpr int32_t HeaderSize = 128;
constexpr uint8_t Manufacturer = 10;
constexpr uint8_t VersionPlainPalette = 3, VersionCurrent = 5;
constexpr uint8_t EncodingRle = 1;
constexpr uint16_t PaletteInfoColor = 1, PaletteInfoGray = 2;
constexpr int32_t HeaderEntries = 16;
constexpr uint8_t PaletteMarker = 12;
constexpr int32_t TrailerEntries = 256, TrailerSize = 1 + 3 * TrailerEntries;
constexpr uint8_t RunFlag = 0xC0;
constexpr int32_t MaxRun = 63;
constexpr uint32_t DcxMagic = 987654321;
constexpr int32_t MaxSide = 65536;

// Header fields by offset.
constexpr int32_t hVersion = 1, hEncoding = 2, hBits = 3, hXmin = 4, hYmin = 6, hXmax = 8, hYmax = 10, hHdpi = 12,
                  hVdpi = 14, hPalette = 16, hPlanes = 65, hBytesPerLine = 66, hPaletteInfo = 68;

// A run code and its value give at most 63 bytes.
constexpr int64_t MaxDecodedBytes(int64_t Size) { return Size / 2 * MaxRun + Size % 2; }

constexpr TPixelFormat FormatOf(int32_t Bits, int32_t Planes) {
  if (Bits == 1 && Planes == 1)
    return pf1bit;
  if ((Bits == 1 && Planes >= 2 && Planes <= 4) || ((Bits == 2 || Bits == 4) && Planes == 1))
    return pf4bit;
  if (Bits == 8 && Planes == 1)
    return pf8bit;
  if (Bits == 8 && Planes == 3)
    return pf24bit;
  return TPixelFormat(pfInvalid);
}

// The CGA's sixteen colors: black, blue, green, cyan, red, magenta, brown,
// light gray, then the bright ones.
constexpr TColor CgaColors[16] = {
    RGBColor(0x00, 0x00, 0x00), RGBColor(0x00, 0x00, 0xAA), RGBColor(0x00, 0xAA, 0x00), RGBColor(0x00, 0xAA, 0xAA),
    RGBColor(0xAA, 0x00, 0x00), RGBColor(0xAA, 0x00, 0xAA), RGBColor(0xAA, 0x55, 0x00), RGBColor(0xAA, 0xAA, 0xAA),
    RGBColor(0x55, 0x55, 0x55), RGBColor(0x55, 0x55, 0xFF), RGBColor(0x55, 0xFF, 0x55), RGBColor(0x55, 0xFF, 0xFF),
    RGBColor(0xFF, 0x55, 0x55), RGBColor(0xFF, 0x55, 0xFF), RGBColor(0xFF, 0xFF, 0x55), RGBColor(0xFF, 0xFF, 0xFF)};
constexpr int32_t CgaBright = 8;
constexpr uint8_t CgaRegisterSet = 0x80, CgaCyanSet = 0x40, CgaDim = 0x10;

} // namespace

TPcxReader::TPcxReader() { FormatName = "PCX"; }

void TPcxReader::ReadHeader() {
  FormatName = "PCX";
  FindPage();
  Seek(FBase);
  if (FEnd - FBase < HeaderSize || ReadSome(FHeader, sizeof FHeader) != sizeof FHeader || FHeader[0] != Manufacturer)
    Fail(ImgMsg::InvalidHeader);
  const uint8_t* H = FHeader;
  Version = H[hVersion];
  BitsPerPixel = H[hBits];
  Planes = H[hPlanes];
  BytesPerLine = GetLE16(H + hBytesPerLine);
  CheckSizes(H);
  DescribePixels(H);
  if (BytesPerLine < PackedRowBytes(Width, BitsPerPixel))
    Fail(ImgMsg::InvalidHeader);
  if (GetLE16(H + hHdpi) > 0)
    Resolution = GetLE16(H + hHdpi);
  RowBytes = Planes * BytesPerLine;
  DataOffset = FBase + HeaderSize;
  DataSize = FEnd - DataOffset;
  if (PixelFormat == pf8bit) {
    uint8_t Marker = 0;
    if (DataSize < TrailerSize)
      Fail(ImgMsg::InvalidPalette);
    Seek(FEnd - TrailerSize);
    ReadExact(&Marker, 1);
    if (Marker != PaletteMarker)
      Fail(ImgMsg::InvalidPalette);
    PaletteSize = TrailerEntries;
    PaletteOffset = FEnd - TrailerSize + 1;
    DataSize -= TrailerSize;
  }
  if (IsGray) {
    PaletteSize = 0;
    PaletteOffset = 0;
  }
  Compression = cmpRLE;
  CheckClaims();
}

// A DCX file lists the offsets of its pages; the first one is shown.
void TPcxReader::FindPage() {
  FBase = 0;
  FEnd = FileSize;
  uint8_t Table[12] = {};
  Seek(0);
  const size_t Got = ReadSome(Table, sizeof Table);
  if (Got < 8 || GetLE32(Table) != DcxMagic)
    return;
  const int64_t First = GetLE32(Table + 4), Next = Got == sizeof Table ? GetLE32(Table + 8) : 0;
  if (First < 8 || First >= FileSize)
    Fail(ImgMsg::InvalidHeader);
  FBase = First;
  if (Next > First && Next <= FileSize)
    FEnd = Next;
}

void TPcxReader::CheckSizes(const uint8_t* H) {
  const int32_t Xmin = GetLE16(H + hXmin), Ymin = GetLE16(H + hYmin), Xmax = GetLE16(H + hXmax),
                Ymax = GetLE16(H + hYmax);
  if (Xmax < Xmin || Ymax < Ymin)
    Fail(ImgMsg::InvalidHeader);
  Width = Xmax - Xmin + 1;
  Height = Ymax - Ymin + 1;
  if (Width > MaxSide || Height > MaxSide || BytesPerLine == 0)
    Fail(ImgMsg::InvalidHeader);
}

// Indexed kinds take the header's sixteen colors, 8-bit ones the palette at
// the end; 1-bit files are black and white.
void TPcxReader::DescribePixels(const uint8_t* H) {
  PixelFormat = FormatOf(BitsPerPixel, Planes);
  if (PixelFormat == pfInvalid)
    Fail(ImgMsg::InvalidFormat);
  const bool Indexed = PixelFormat != pf24bit;
  IsGray = PixelFormat == pf1bit || (Indexed && GetLE16(H + hPaletteInfo) == PaletteInfoGray);
  PaletteSize = PixelFormat == pf4bit ? HeaderEntries : 0;
  PaletteOffset = PaletteSize > 0 ? FBase + hPalette : 0;
  ColorFormat = Indexed ? cfPalette : cfRGB;
  const int32_t Bits = BitsPerPixel * (BitsPerPixel == 1 ? Planes : 1);
  if (Indexed) {
    ColorManager.SetSource(cfPalette, 1, Bits);
    ColorManager.SetTarget(IsGray ? cfGray : cfPalette, BitCountOf(PixelFormat));
  } else {
    ColorManager.SetSource(cfRGB, Planes, BitsPerPixel);
    ColorManager.SetTarget(cfBGR, 8);
  }
}

// Never allocate for rows the data cannot hold.
void TPcxReader::CheckClaims() {
  if (int64_t(RowBytes) * Height > MaxDecodedBytes(DataSize))
    Fail(ImgMsg::StreamRead);
  if (DibRowBytes(Width, BitCountOf(PixelFormat)) * Height > std::numeric_limits<int32_t>::max())
    Fail(ImgMsg::UnsupportedFormat);
}

void TPcxReader::ReadPalette() {
  if (PixelFormat == pf8bit) {
    uint8_t Rgb[3 * TrailerEntries];
    ReadExact(Rgb, sizeof Rgb);
    for (int32_t I = 0; I < TrailerEntries; ++I)
      Dib->SetPaletteColor(I, ColorFromRGBBytes(Rgb + 3 * I));
  } else if (BitsPerPixel == 2) {
    CgaPalette();
  } else {
    HeaderPalette();
  }
}

void TPcxReader::HeaderPalette() {
  for (int32_t I = 0; I < HeaderEntries; ++I)
    Dib->SetPaletteColor(I, ColorFromRGBBytes(FHeader + hPalette + 3 * I));
}

// Paint programs of the CGA days wrote the color select register instead of
// colors: the background in the high nibble of the first byte, and in the
// fourth byte the cyan-magenta set (else green-red-yellow) and dim colors.
// Files without that register byte hold four colors.
void TPcxReader::CgaPalette() {
  const uint8_t Select = FHeader[hPalette + 3];
  if (!(Select & CgaRegisterSet))
    return HeaderPalette();
  const int32_t First = (Select & CgaCyanSet ? 3 : 2) + (Select & CgaDim ? 0 : CgaBright);
  Dib->SetPaletteColor(0, CgaColors[FHeader[hPalette] >> 4]);
  for (int32_t I = 1; I < 4; ++I)
    Dib->SetPaletteColor(I, CgaColors[First + 2 * (I - 1)]);
}

void TPcxReader::ReadImage() {
  ReadBuffer.resize(size_t(DataSize));
  ReadBuffer.resize(ReadSome(ReadBuffer.data(), ReadBuffer.size()));
  FRow.assign(size_t(RowBytes), 0);
  const uint8_t* P = ReadBuffer.data();
  const uint8_t* const End = P + ReadBuffer.size();
  for (int32_t Y = 0; Y < Height; ++Y) {
    if (!DecodeRow(P, End))
      Fail(ImgMsg::StreamRead);
    StoreRow(Y);
    RowDone();
  }
}

// A run is cut at the end of the row; false when the data ends first.
bool TPcxReader::DecodeRow(const uint8_t*& P, const uint8_t* End) {
  uint8_t* const D = FRow.data();
  const size_t N = FRow.size();
  size_t X = 0;
  while (X < N) {
    // Literal bytes up to the next run code.
    const uint8_t* Stop = P + std::min(size_t(End - P), N - X);
    const uint8_t* Q = P;
    while (Q < Stop && *Q < RunFlag)
      ++Q;
    std::memcpy(D + X, P, size_t(Q - P));
    X += size_t(Q - P);
    P = Q;
    if (X == N)
      break;
    if (End - P < 2)
      return false;
    const size_t Count = std::min(size_t(P[0] - RunFlag), N - X);
    std::memset(D + X, P[1], Count);
    X += Count;
    P += 2;
  }
  return true;
}

void TPcxReader::StoreRow(int32_t Y) {
  uint8_t* D = Dib->ScanLine(Y);
  const uint8_t* S = FRow.data();
  const size_t Line = size_t(BytesPerLine);
  if (PixelFormat == pf24bit) {
    for (int32_t X = 0; X < Width; ++X, D += 3) {
      D[0] = S[2 * Line + size_t(X)];
      D[1] = S[Line + size_t(X)];
      D[2] = S[X];
    }
  } else if (BitsPerPixel == 1 && Planes > 1) {
    // Plane k gives bit k of the pixel.
    for (int32_t X = 0; X < Width; ++X) {
      uint32_t V = 0;
      for (int32_t K = 0; K < Planes; ++K)
        V |= Get1(S + size_t(K) * Line, X) << K;
      Set4(D, X, V);
    }
  } else if (BitsPerPixel == 2) {
    for (int32_t X = 0; X < Width; ++X)
      Set4(D, X, (S[X >> 2] >> (6 - 2 * (X & 3))) & 3);
  } else {
    std::memcpy(D, S, size_t(PackedRowBytes(Width, BitsPerPixel)));
  }
}

TPcxWriter::TPcxWriter() { FormatName = "PCX"; }

void TPcxWriter::WriteHeader() {
  if (Width >= MaxSide || Height > MaxSide)
    Fail(ImgMsg::UnsupportedFormat);
  uint8_t H[HeaderSize] = {};
  H[0] = Manufacturer;
  H[hVersion] = PixelFormat == pf1bit ? VersionPlainPalette : VersionCurrent;
  H[hEncoding] = EncodingRle;
  const bool Packed = PixelFormat == pf1bit || PixelFormat == pf4bit;
  H[hBits] = Packed ? 1 : 8;
  FPlanes = PixelFormat == pf4bit ? 4 : PixelFormat <= pf8bit ? 1 : 3;
  FBytesPerLine = Packed ? int32_t(PackedRowBytes(Width, 1)) : Width;
  PutLE16(H + hXmax, uint16_t(Width - 1));
  PutLE16(H + hYmax, uint16_t(Height - 1));
  const uint16_t Dpi = uint16_t(std::clamp(Resolution, 0, 0xFFFF));
  PutLE16(H + hHdpi, Dpi);
  PutLE16(H + hVdpi, Dpi);
  FInvert = PixelFormat == pf1bit && PaletteSize == 2 &&
            Luminance(Dib->GetPaletteColor(0)) > Luminance(Dib->GetPaletteColor(1));
  if (PaletteSize <= HeaderEntries)
    for (int32_t I = 0; I < PaletteSize; ++I)
      ColorToRGBBytes(Dib->GetPaletteColor(FInvert ? 1 - I : I), H + hPalette + 3 * I);
  H[hPlanes] = uint8_t(FPlanes);
  PutLE16(H + hBytesPerLine, uint16_t(FBytesPerLine));
  PutLE16(H + hPaletteInfo, IsGray ? PaletteInfoGray : PaletteInfoColor);
  RowBytes = FPlanes * FBytesPerLine;
  Compression = cmpRLE;
  WriteRaw(H, sizeof H);
}

// FRow gets the planes of row Y, bits past the width clear.
void TPcxWriter::BuildRow(int32_t Y) {
  const uint8_t* S = Dib->ScanLine(Y);
  uint8_t* D = FRow.data();
  const size_t Line = size_t(FBytesPerLine);
  switch (PixelFormat) {
  case pf1bit:
    std::memcpy(D, S, Line);
    if (FInvert)
      for (size_t I = 0; I < Line; ++I)
        D[I] = uint8_t(~D[I]);
    if (Width % 8)
      D[Line - 1] &= uint8_t(0xFF << (8 - Width % 8));
    break;
  case pf4bit:
    std::memset(D, 0, FRow.size());
    for (int32_t X = 0; X < Width; ++X) {
      const uint32_t V = Get4(S, X);
      for (int32_t K = 0; K < 4; ++K)
        if (V >> K & 1)
          D[size_t(K) * Line + size_t(X >> 3)] |= uint8_t(0x80 >> (X & 7));
    }
    break;
  case pf8bit: std::memcpy(D, S, Line); break;
  case pf24bit:
    for (size_t X = 0; X < Line; ++X, S += 3) {
      D[X] = S[2];
      D[Line + X] = S[1];
      D[2 * Line + X] = S[0];
    }
    break;
  default:
    Dib->GetRowColors(Y, FColors);
    for (size_t X = 0; X < Line; ++X) {
      D[X] = GetRValue(FColors[X]);
      D[Line + X] = GetGValue(FColors[X]);
      D[2 * Line + X] = GetBValue(FColors[X]);
    }
  }
}

// Runs never cross a plane; single bytes that look like run codes go as
// runs of one.
void TPcxWriter::EncodeRow() {
  FPacked.clear();
  for (int32_t Plane = 0; Plane < FPlanes; ++Plane) {
    const uint8_t* S = FRow.data() + size_t(Plane) * size_t(FBytesPerLine);
    for (int32_t I = 0; I < FBytesPerLine;) {
      const uint8_t V = S[I];
      int32_t N = 1;
      while (I + N < FBytesPerLine && N < MaxRun && S[I + N] == V)
        ++N;
      if (N > 1 || V >= RunFlag)
        FPacked.push_back(uint8_t(RunFlag | N));
      FPacked.push_back(V);
      I += N;
    }
  }
}

void TPcxWriter::WriteImage() {
  FRow.assign(size_t(RowBytes), 0);
  FColors.resize(size_t(Width));
  BeginBuffer();
  for (int32_t Y = 0; Y < Height; ++Y) {
    BuildRow(Y);
    EncodeRow();
    BufferedWrite(FPacked.data(), FPacked.size());
    RowDone();
  }
  FlushBuffer();
  EndBuffer();
  if (PixelFormat == pf8bit) {
    uint8_t Trailer[TrailerSize] = {PaletteMarker};
    for (int32_t I = 0; I < std::min(PaletteSize, TrailerEntries); ++I)
      ColorToRGBBytes(Dib->GetPaletteColor(I), Trailer + 1 + 3 * I);
    WriteRaw(Trailer, sizeof Trailer);
  }
}
