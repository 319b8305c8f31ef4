#include "XPsd.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstring>
#include <limits>

#include "XPackBits.h"

namespace {

constexpr int32_t HeaderSize = 26;
constexpr int64_t MinFileSize = 28;
constexpr uint16_t PlainVersion = 1, LargeVersion = 2;
constexpr int32_t MaxChannels = 56, MaxSide = 30000;
constexpr uint16_t RawData = 0, RunLengthData = 1;
constexpr int32_t PaletteEntries = 256;
// A two-byte run packet gives at most 128 bytes: no row holds more than 64
// bytes per byte of its count.
constexpr int64_t MaxExpansion = 64;
constexpr uint8_t Opaque = 255;

enum : uint16_t {
  modeBitmap = 0,
  modeGray = 1,
  modeIndexed = 2,
  modeRGB = 3,
  modeCMYK = 4,
  modeMultichannel = 7,
  modeDuotone = 8,
  modeLab = 9,
};

bool SignatureOK(const uint8_t* H) {
  static const char Signature[] = "8BPS";
  for (int32_t I = 0; I < 4; ++I)
    if (std::toupper(H[I]) != Signature[I])
      return false;
  return true;
}

bool DepthFits(int32_t Mode, int32_t Depth) {
  switch (Mode) {
  case modeBitmap: return Depth == 1;
  case modeIndexed: return Depth == 8;
  case modeCMYK:
  case modeLab: return Depth == 8 || Depth == 16;
  case modeGray:
  case modeDuotone:
  case modeRGB:
  case modeMultichannel: return Depth == 8 || Depth == 16 || Depth == 32;
  default: return false;
  }
}

// Float samples are linear light: color gets the sRGB curve on the way to
// 16 bits, alpha stays linear. NaN and negatives count as 0.
constexpr int32_t CurveSteps = 4096;
const std::array<uint16_t, CurveSteps + 1>& SrgbCurve() {
  static const auto Table = [] {
    std::array<uint16_t, CurveSteps + 1> T{};
    for (int32_t I = 0; I <= CurveSteps; ++I) {
      const double L = double(I) / CurveSteps;
      const double V = L <= 0.0031308 ? 12.92 * L : 1.055 * std::pow(L, 1.0 / 2.4) - 0.055;
      T[size_t(I)] = uint16_t(std::lround(std::clamp(V, 0.0, 1.0) * 65535.0));
    }
    return T;
  }();
  return Table;
}

uint16_t WideOfFloat(const uint8_t* P, bool Curve) {
  const uint32_t Bits = GetBE32(P);
  float F;
  std::memcpy(&F, &Bits, sizeof F);
  if (!(F > 0.0f))
    return 0;
  if (F >= 1.0f)
    return 65535;
  if (!Curve)
    return uint16_t(std::lround(F * 65535.0f));
  return SrgbCurve()[size_t(std::lround(F * float(CurveSteps)))];
}

// Channel planes into every Step-th place of an interleaved row; Flip
// complements (CMYK stores 0 for full ink).
void Scatter8(const uint8_t* P, uint8_t* D, int32_t Width, size_t Step, uint8_t Flip) {
  for (int32_t X = 0; X < Width; ++X, D += Step)
    *D = P[X] ^ Flip;
}

void Scatter16(const uint8_t* P, uint8_t* D, int32_t Width, size_t Step, uint8_t Flip) {
  for (int32_t X = 0; X < Width; ++X, D += Step, P += 2) {
    D[0] = P[0] ^ Flip;
    D[1] = P[1] ^ Flip;
  }
}

// 16-bit Lab to the 8 bits the Lab conversion takes, rounded so that the
// neutral 32768 of a* and b* stays 128.
void Narrow16(const uint8_t* P, uint8_t* D, int32_t Width, size_t Step) {
  for (int32_t X = 0; X < Width; ++X, D += Step, P += 2)
    *D = uint8_t(std::min<uint32_t>(255, (uint32_t(GetBE16(P)) + 128) >> 8));
}

void ScatterFloat(const uint8_t* P, uint8_t* D, int32_t Width, size_t Step, bool Curve) {
  for (int32_t X = 0; X < Width; ++X, D += Step, P += 4)
    PutBE16(D, WideOfFloat(P, Curve));
}

bool IsBlack(TColor C) { return (C & 0xFFFFFF) == 0; }
bool IsWhite(TColor C) { return (C & 0xFFFFFF) == 0xFFFFFF; }

} // namespace

TPSDReader::TPSDReader() { FormatName = "PSD"; }

void TPSDReader::ReadHeader() {
  FormatName = "PSD";
  if (FileSize < MinFileSize)
    Fail(ImgMsg::InvalidHeader);
  Seek(0);
  uint8_t H[HeaderSize];
  ReadExact(H, sizeof H);
  if (!SignatureOK(H))
    Fail(ImgMsg::InvalidHeader);
  const uint16_t Version = GetBE16(H + 4);
  if (Version == LargeVersion)
    Fail(ImgMsg::UnsupportedFormat);
  Channels = GetBE16(H + 12);
  const uint32_t Rows = GetBE32(H + 14), Columns = GetBE32(H + 18);
  if (Version != PlainVersion || Channels < 1 || Channels > MaxChannels || Rows < 1 || Rows > MaxSide || Columns < 1 ||
      Columns > MaxSide)
    Fail(ImgMsg::InvalidHeader);
  Height = int32_t(Rows);
  Width = int32_t(Columns);
  Depth = GetBE16(H + 22);
  ColorMode = GetBE16(H + 24);
  DescribeColors();

  int64_t Pos = HeaderSize;
  SkipSections(Pos);
  uint8_t Method[2];
  Seek(Pos);
  ReadExact(Method, sizeof Method);
  if (GetBE16(Method) != RawData && GetBE16(Method) != RunLengthData)
    Fail(ImgMsg::UnsupportedCompression);
  Compression = GetBE16(Method) == RunLengthData ? cmpRLE : cmpNone;
  DataOffset = Pos + 2;
  DataSize = FileSize - DataOffset;
  if (DibRowBytes(Width, BitCountOf(PixelFormat)) * Height > std::numeric_limits<int32_t>::max())
    Fail(ImgMsg::UnsupportedFormat);
  if (Compression == cmpRLE)
    ReadCounts();
  else
    CheckRaw();
}

void TPSDReader::DescribeColors() {
  if (!DepthFits(ColorMode, Depth))
    Fail(ImgMsg::UnsupportedFormat);
  FChannelRowBytes = PackedRowBytes(Width, Depth);
  // Lab samples are narrowed to the 8 bits the Lab conversion takes.
  FSampleBytes = Depth >= 16 && ColorMode != modeLab ? 2 : 1;
  FInvert = ColorMode == modeCMYK;
  IsGray = false;
  HasAlpha = false;
  uint8_t Flags = FSampleBytes == 2 ? sfSwap16 : 0;
  if (ColorMode == modeLab)
    Flags |= sfLabL255 | sfLabUnsigned;
  ColorManager.SetSourceFlags(Flags);
  switch (ColorMode) {
  case modeBitmap:
  case modeIndexed:
    IsGray = ColorMode == modeBitmap;
    UsedChannels = FColorChannels = 1;
    ColorFormat = IsGray ? cfGray : cfPalette;
    ColorManager.SetSource(TColorFormat(ColorFormat), 1, Depth);
    ColorManager.SetTarget(TColorFormat(ColorFormat), Depth);
    break;
  case modeGray:
  case modeDuotone: SetSource(cfGray, cfGrayAlpha, 1, cfGray); break;
  case modeMultichannel:
    // Fewer than three channels make no color: the first one shows as gray.
    if (Channels < 3)
      SetSource(cfGray, cfGray, 1, cfGray);
    else
      SetSource(cfRGB, cfRGBA, 3, cfBGR);
    break;
  case modeRGB: SetSource(cfRGB, cfRGBA, 3, cfBGR); break;
  case modeCMYK: SetSource(cfCMYK, cfCMYKA, 4, cfBGR); break;
  default: SetSource(cfCIELab, cfCIELabA, 3, cfBGR); break;
  }
  PixelFormat = ColorManager.PixelFormatFor(true);
  RowBytes = int32_t(PackedRowBytes(Width, int64_t(UsedChannels) * Depth));
  FDirect = UsedChannels == 1 && Depth <= 8;
  FDirectBgr = ColorFormat == cfRGB && Depth == 8;
}

// The color channels and, when the file has more, the first extra channel
// as alpha.
void TPSDReader::SetSource(TColorFormat Color, TColorFormat WithAlpha, int32_t ColorChannels, TColorFormat Target) {
  if (Channels < ColorChannels)
    Fail(ImgMsg::InvalidFormat);
  FColorChannels = ColorChannels;
  HasAlpha = Channels > ColorChannels && WithAlpha != Color;
  UsedChannels = ColorChannels + (HasAlpha ? 1 : 0);
  ColorFormat = HasAlpha ? WithAlpha : Color;
  ColorManager.SetSource(TColorFormat(ColorFormat), UsedChannels, 8 * FSampleBytes);
  ColorManager.SetTarget(Target, 8);
  IsGray = Target == cfGray;
}

// Color mode data, image resources, layers and masks, each with its length;
// only an indexed file's palette is kept.
void TPSDReader::SkipSections(int64_t& Pos) {
  for (int32_t Section = 0; Section < 3; ++Section) {
    uint8_t L[4];
    Seek(Pos);
    ReadExact(L, sizeof L);
    const int64_t Length = GetBE32(L);
    Pos += 4;
    if (Length > FileSize - Pos)
      Fail(ImgMsg::StreamRead);
    if (Section == 0 && ColorMode == modeIndexed) {
      FPaletteStride = Length / 3;
      PaletteSize = int32_t(std::min<int64_t>(FPaletteStride, PaletteEntries));
      PaletteOffset = PaletteSize > 0 ? Pos : 0;
      if (PaletteSize == 0) {
        // Indexes without colors still show their picture.
        IsGray = true;
        SetWarning(FormatMessage(ImgMsg::InvalidPalette));
      }
    }
    Pos += Length;
  }
}

void TPSDReader::CheckRaw() {
  if (int64_t(UsedChannels) * Height * FChannelRowBytes > DataSize)
    Fail(ImgMsg::StreamRead);
}

// The byte counts of every row of every channel come first; the used rows
// must lie inside the file and be able to fill their rows.
void TPSDReader::ReadCounts() {
  const int64_t Entries = int64_t(Channels) * Height;
  if (Entries * 2 > DataSize)
    Fail(ImgMsg::StreamRead);
  std::vector<uint8_t> Raw(size_t(Entries) * 2);
  Seek(DataOffset);
  ReadExact(Raw.data(), Raw.size());
  const size_t Used = size_t(UsedChannels) * size_t(Height);
  FRowStart.resize(Used);
  FRowCount.resize(Used);
  const int64_t First = DataOffset + Entries * 2;
  int64_t Pos = First;
  for (size_t I = 0; I < Used; ++I) {
    FRowStart[I] = Pos;
    FRowCount[I] = GetBE16(&Raw[2 * I]);
    Pos += FRowCount[I];
  }
  if (Pos > FileSize || int64_t(Used) * FChannelRowBytes > MaxExpansion * (Pos - First))
    Fail(ImgMsg::StreamRead);
}

void TPSDReader::ReadPalette() {
  std::vector<uint8_t> P(size_t(FPaletteStride) * 3);
  ReadExact(P.data(), P.size());
  const size_t S = size_t(FPaletteStride);
  for (int32_t I = 0; I < PaletteSize; ++I)
    Dib->SetPaletteColor(I, RGBColor(P[size_t(I)], P[S + size_t(I)], P[2 * S + size_t(I)]));
}

void TPSDReader::ReadImage() {
  const size_t Plane = size_t(FChannelRowBytes);
  if (Compression == cmpRLE)
    FPacked.resize(*std::max_element(FRowCount.begin(), FRowCount.end()) + size_t(1));
  if (!FDirect)
    FPlanes.resize(Plane * size_t(UsedChannels));
  if (!FDirect && !FDirectBgr)
    FRow.resize(size_t(Width) * size_t(UsedChannels) * size_t(FSampleBytes));
  for (int32_t Y = 0; Y < Height; ++Y) {
    uint8_t* Line = Dib->ScanLine(Y);
    if (FDirect) {
      ReadChannelRow(0, Y, Line);
      // A set bit is black in the file, white in the gray palette.
      if (ColorMode == modeBitmap)
        for (size_t I = 0; I < Plane; ++I)
          Line[I] = uint8_t(~Line[I]);
    } else {
      for (int32_t C = 0; C < UsedChannels; ++C)
        ReadChannelRow(C, Y, FPlanes.data() + size_t(C) * Plane);
      if (FDirectBgr) {
        for (int32_t C = 0; C < 3; ++C)
          Scatter8(FPlanes.data() + size_t(C) * Plane, Line + 2 - C, Width, 3, 0);
      } else {
        InterleaveRow(FRow.data());
        ColorManager.ConvertRow(FRow, Dib->Row(Y), 0, 0, Width);
      }
    }
    RowDone();
  }
}

// Rows that end before they are full keep black samples and a warning.
void TPSDReader::ReadChannelRow(int32_t Channel, int32_t Row, uint8_t* Dest) {
  const size_t Bytes = size_t(FChannelRowBytes);
  const int64_t Index = int64_t(Channel) * Height + Row;
  if (Compression == cmpNone) {
    Seek(DataOffset + Index * FChannelRowBytes);
    ReadExact(Dest, Bytes);
    return;
  }
  const size_t Size = FRowCount[size_t(Index)];
  Seek(FRowStart[size_t(Index)]);
  ReadExact(FPacked.data(), Size);
  const uint8_t* P = FPacked.data();
  const size_t Got = UnpackBits(P, P + Size, Dest, Bytes).Written;
  if (Got < Bytes) {
    std::memset(Dest + Got, 0, Bytes - Got);
    SetWarning(FormatMessage(ImgMsg::CompressionError));
  }
}

void TPSDReader::InterleaveRow(uint8_t* Dest) const {
  const size_t Plane = size_t(FChannelRowBytes);
  const size_t Step = size_t(UsedChannels) * size_t(FSampleBytes);
  const uint8_t Flip = FInvert ? 0xFF : 0;
  for (int32_t C = 0; C < UsedChannels; ++C) {
    const uint8_t* P = FPlanes.data() + size_t(C) * Plane;
    uint8_t* D = Dest + size_t(C) * size_t(FSampleBytes);
    if (Depth == 32)
      ScatterFloat(P, D, Width, Step, C < FColorChannels);
    else if (Depth == 16 && FSampleBytes == 1)
      Narrow16(P, D, Width, Step);
    else if (Depth == 16)
      Scatter16(P, D, Width, Step, Flip);
    else
      Scatter8(P, D, Width, Step, Flip);
  }
}

TPSDWriter::TPSDWriter() { FormatName = "PSD"; }

void TPSDWriter::WriteHeader() {
  if (Width > MaxSide || Height > MaxSide)
    Fail(ImgMsg::UnsupportedFormat);
  Compression = cmpNone;
  uint16_t Depth = 8;
  bool WithPalette = false;
  const int32_t Entries = PaletteSizeOf(PixelFormat);
  if (PixelFormat == pf1bit && ((IsBlack(Dib->GetPaletteColor(0)) && IsWhite(Dib->GetPaletteColor(1))) ||
                                (IsWhite(Dib->GetPaletteColor(0)) && IsBlack(Dib->GetPaletteColor(1))))) {
    // Black and white as a bitmap: a set bit is black.
    FChannels = 1;
    FMode = modeBitmap;
    Depth = 1;
    FValueMap[0] = IsBlack(Dib->GetPaletteColor(0)) ? 0xFF : 0;
  } else if (Entries > 0) {
    // Gray levels are written as the palette's, whatever its order.
    FChannels = 1;
    FMode = IsGray ? modeGray : modeIndexed;
    WithPalette = !IsGray;
    for (int32_t I = 0; I < Entries; ++I)
      FValueMap[I] = uint8_t(IsGray ? Luminance(Dib->GetPaletteColor(I)) : I);
  } else {
    FChannels = PixelFormat == pf32bit ? 4 : 3;
    FMode = modeRGB;
  }
  uint8_t H[HeaderSize + 4] = {'8', 'B', 'P', 'S'};
  PutBE16(H + 4, PlainVersion);
  PutBE16(H + 12, uint16_t(FChannels));
  PutBE32(H + 14, uint32_t(Height));
  PutBE32(H + 18, uint32_t(Width));
  PutBE16(H + 22, Depth);
  PutBE16(H + 24, FMode);
  PutBE32(H + HeaderSize, WithPalette ? 3 * PaletteEntries : 0);
  WriteRaw(H, sizeof H);
  if (WithPalette) {
    uint8_t P[3 * PaletteEntries] = {};
    for (int32_t I = 0; I < std::min(Entries, PaletteSize); ++I) {
      const TColor C = Dib->GetPaletteColor(I);
      P[I] = uint8_t(GetRValue(C));
      P[PaletteEntries + I] = uint8_t(GetGValue(C));
      P[2 * PaletteEntries + I] = uint8_t(GetBValue(C));
    }
    WriteRaw(P, sizeof P);
  }
  // No resources, no layers, raw data.
  const uint8_t Tail[10] = {};
  WriteRaw(Tail, sizeof Tail);
}

void TPSDWriter::WriteImage() {
  BeginBuffer();
  if (FChannels == 1)
    WriteIndexRows();
  else
    WriteColorPlanes();
  FlushBuffer();
  EndBuffer();
}

void TPSDWriter::WriteIndexRows() {
  const size_t Bytes = size_t(PackedRowBytes(Width, FMode == modeBitmap ? 1 : 8));
  std::vector<uint8_t> Out(Bytes);
  // Bits past the width stay 0.
  const uint8_t LastMask = uint8_t(0xFF00u >> ((Width - 1) % 8 + 1));
  for (int32_t Y = 0; Y < Height; ++Y) {
    const uint8_t* Row = Dib->ScanLine(Y);
    if (FMode == modeBitmap) {
      for (size_t I = 0; I < Bytes; ++I)
        Out[I] = Row[I] ^ FValueMap[0];
      Out[Bytes - 1] &= LastMask;
    } else if (PixelFormat == pf8bit) {
      for (int32_t X = 0; X < Width; ++X)
        Out[size_t(X)] = FValueMap[Row[X]];
    } else if (PixelFormat == pf4bit) {
      for (int32_t X = 0; X < Width; ++X)
        Out[size_t(X)] = FValueMap[Get4(Row, X)];
    } else {
      for (int32_t X = 0; X < Width; ++X)
        Out[size_t(X)] = FValueMap[Get1(Row, X)];
    }
    BufferedWrite(Out.data(), Out.size());
    RowDone();
  }
}

// Planes red, green, blue and, for 32-bit buffers, an opaque alpha: the
// buffer keeps no alpha of its own. 15- and 16-bit pixels go out as 24-bit
// colors. A progress step per image row, counted over all planes.
void TPSDWriter::WriteColorPlanes() {
  std::vector<TColor> Colors(static_cast<size_t>(Width));
  std::vector<uint8_t> Out(static_cast<size_t>(Width));
  int32_t Written = 0;
  for (int32_t C = 0; C < FChannels; ++C)
    for (int32_t Y = 0; Y < Height; ++Y) {
      if (C == 3) {
        std::fill(Out.begin(), Out.end(), Opaque);
      } else {
        Dib->GetRowColors(Y, Colors);
        const int32_t Shift = 8 * C;
        for (int32_t X = 0; X < Width; ++X)
          Out[size_t(X)] = uint8_t(Colors[size_t(X)] >> Shift);
      }
      BufferedWrite(Out.data(), Out.size());
      if (++Written % FChannels == 0)
        RowDone();
    }
}
