#include "XBmp.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>
#include <span>

namespace {

constexpr uint16_t BmpMagic = 19778; // "BM"
constexpr int32_t FileHeaderSize = 14;
constexpr int32_t Os2InfoSize = 12;
constexpr int32_t WinInfoSize = 40;
constexpr int32_t MaskBytes = 12;
constexpr uint32_t BiRGB = 0, BiRLE8 = 1, BiRLE4 = 2, BiBitFields = 3;

// Image buffers a file may ask for beyond what its own bytes can fill: a
// truncated plain file gets a partial image, run-length data expands at most
// about 128 times, and small images are always allowed.
constexpr int64_t PlainBufferFactor = 4;
constexpr int64_t RleBufferFactor = 256;
constexpr int64_t BufferAllowance = int64_t(1) << 20;
constexpr int32_t MaxDpi = 1000000;

struct TBitCountInfo {
  TPixelFormat PixelFormat;
  int32_t PaletteSize;
  uint8_t ColorFormat;
  int32_t Samples, Bits;
};

bool DescribeBitCount(int32_t BitCount, TBitCountInfo& Info) {
  switch (BitCount) {
  case 1: Info = {pf1bit, 2, cfPalette, 1, 1}; return true;
  case 4: Info = {pf4bit, 16, cfPalette, 1, 4}; return true;
  case 8: Info = {pf8bit, 256, cfPalette, 1, 8}; return true;
  case 15: Info = {pf15bit, 0, cf15bit, 1, 16}; return true;
  case 16: Info = {pf16bit, 0, cf16bit, 1, 16}; return true;
  case 24: Info = {pf24bit, 0, cfBGR, 3, 8}; return true;
  case 32: Info = {pf24bit, 0, cfBGRA, 4, 8}; return true;
  default: return false;
  }
}

// Lowest bit and width of a mask that is one run of set bits.
bool MaskRun(uint32_t Mask, int32_t& Low, int32_t& Bits) {
  if (Mask == 0)
    return false;
  Low = std::countr_zero(Mask);
  const uint32_t Run = Mask >> Low;
  Bits = std::popcount(Run);
  return (Run & (Run + 1)) == 0;
}

// Bit-field pixels of Bytes bytes into blue, green, red; C holds the red,
// green and blue channels.
template <int Bytes, class TChannels>
void ExpandBitFields(const TChannels& C, const uint8_t* S, uint8_t* D, size_t Count) {
  for (size_t X = 0; X < Count; ++X, S += Bytes, D += 3) {
    const uint32_t P = Bytes == 2 ? GetLE16(S) : GetLE32(S);
    D[0] = C[2].Scale[(P >> C[2].Shift) & C[2].Mask];
    D[1] = C[1].Scale[(P >> C[1].Shift) & C[1].Mask];
    D[2] = C[0].Scale[(P >> C[0].Shift) & C[0].Mask];
  }
}

// Run-length data into a 4- or 8-bit image.
class TRleDecoder {
public:
  TRleDecoder(TDib& Dib, int32_t Width, int32_t Height, bool BottomUp, int32_t RowBytes, std::span<const uint8_t> Data)
      : FDib(Dib), FWidth(Width), FHeight(Height), FBottomUp(BottomUp), FFour(Dib.PixelFormat() == pf4bit),
        FPaddedWidth(FFour ? 2 * RowBytes : RowBytes), FData(Data.data()), FSize(Data.size()) {}

  // Decodes up to the end of the bitmap, reporting every row it leaves;
  // false when the data ends first.
  template <class TRowDone>
  bool Decode(TRowDone RowDone);

  // A run or a move went past the row or the image and was cut.
  bool Clipped = false;

private:
  uint8_t* Line() { return FDib.ScanLine(FBottomUp ? FHeight - 1 - FRow : FRow); }
  int32_t Stored(int32_t Count) const { return std::max(0, std::min(Count, FWidth - FX)); }
  void Run(uint8_t Count, uint8_t Value);
  void Literal(uint8_t Count);
  void Advance(int32_t Count);

  TDib& FDib;
  const int32_t FWidth, FHeight;
  const bool FBottomUp, FFour;
  const int32_t FPaddedWidth;
  const uint8_t* FData;
  const size_t FSize;
  size_t FPos = 0;
  // Row in file order and column; X is held just past the padded width.
  int32_t FRow = 0, FX = 0;
};

// Runs into the row's padding are common (some writers encode whole padded
// rows) and are dropped quietly; runs past it are cut.
void TRleDecoder::Advance(int32_t Count) {
  FX += Count;
  if (FX > FPaddedWidth) {
    Clipped = true;
    FX = FPaddedWidth + 1;
  }
}

void TRleDecoder::Run(uint8_t Count, uint8_t Value) {
  uint8_t* L = Line();
  const int32_t N = Stored(Count);
  if (FFour) {
    for (int32_t I = 0; I < N; ++I)
      Set4(L, FX + I, Get4(&Value, I & 1));
  } else if (N > 0) {
    std::memset(L + FX, Value, size_t(N));
  }
  Advance(Count);
}

void TRleDecoder::Literal(uint8_t Count) {
  const size_t Bytes = FFour ? (size_t(Count) + 1) / 2 : Count;
  const size_t Avail = std::min(Bytes, FSize - FPos);
  const int32_t Present = FFour ? int32_t(std::min<size_t>(Count, Avail * 2)) : int32_t(Avail);
  const int32_t N = Stored(Present);
  const uint8_t* Src = FData + FPos;
  uint8_t* L = Line();
  if (FFour) {
    for (int32_t I = 0; I < N; ++I)
      Set4(L, FX + I, Get4(Src, I));
  } else if (N > 0) {
    std::memcpy(L + FX, Src, size_t(N));
  }
  Advance(Count);
  FPos = std::min(FSize, FPos + Bytes + (Bytes & 1));
}

// Pairs (count, value); count 0 escapes: 0 end of line, 1 end of bitmap,
// 2 a move right and down by the next two bytes, more a literal run. Rows
// count in file order, so a move down goes up a bottom-up image.
template <class TRowDone>
bool TRleDecoder::Decode(TRowDone RowDone) {
  // False once the move leaves the last row.
  auto Down = [&](int32_t Rows) {
    for (; Rows > 0; --Rows) {
      RowDone();
      if (++FRow == FHeight)
        return false;
    }
    return true;
  };
  for (;;) {
    if (FSize - FPos < 2) {
      // A last row that is complete needs no end code.
      if (FRow != FHeight - 1 || FX < FWidth)
        return false;
      RowDone();
      return true;
    }
    const uint8_t Count = FData[FPos], Value = FData[FPos + 1];
    FPos += 2;
    if (Count > 0) {
      Run(Count, Value);
    } else if (Value == 0) {
      FX = 0;
      if (!Down(1))
        return true;
    } else if (Value == 1) {
      RowDone();
      return true;
    } else if (Value == 2) {
      if (FSize - FPos < 2)
        return false;
      const uint8_t Dx = FData[FPos], Dy = FData[FPos + 1];
      FPos += 2;
      if (!Down(Dy)) {
        Clipped = true;
        return true;
      }
      Advance(Dx);
    } else {
      Literal(Value);
    }
  }
}

} // namespace

TBmpReader::TBmpReader() { FormatName = "BMP"; }

void TBmpReader::ReadHeader() {
  const uint32_t StoredCompression = ReadInfo();
  DescribePixels();
  ReadCompression(StoredCompression);
  const int64_t FileRow = DibRowBytes(Width, StoredBitsOf(FBitCount));
  if (FileRow > std::numeric_limits<int32_t>::max())
    Fail(ImgMsg::InvalidFormat);
  RowBytes = int32_t(FileRow);
  PlaceData(StoredCompression == BiBitFields && FHeaderSize == WinInfoSize);
  CheckClaims();
}

// The file header and the fields of the bitmap header up to the colors used;
// returns the stored compression.
uint32_t TBmpReader::ReadInfo() {
  FormatName = "BMP";
  Seek(0);
  uint8_t FileHeader[FileHeaderSize];
  ReadExact(FileHeader, sizeof FileHeader);
  if (GetLE16(FileHeader) != BmpMagic)
    Fail("invalid BMP file header");
  DataOffset = GetLE32(FileHeader + 10);

  uint8_t Info[WinInfoSize] = {};
  ReadExact(Info, 4);
  FHeaderSize = GetLE32(Info);
  PaletteOffset = Position() + int64_t(FHeaderSize) - 4;

  int32_t Planes;
  uint32_t StoredCompression = BiRGB;
  if (FHeaderSize == Os2InfoSize) {
    Os2Header = true;
    ReadExact(Info + 4, 8);
    Width = GetLE16(Info + 4);
    Height = GetLE16(Info + 6);
    Planes = GetLE16(Info + 8);
    FBitCount = GetLE16(Info + 10);
  } else {
    // Short OS/2 2.x headers end after any field from 16 bytes on; the
    // fields they leave out count as 0.
    if (FHeaderSize < 16 || int64_t(FHeaderSize) > FileSize - FileHeaderSize)
      Fail(ImgMsg::InvalidHeader);
    ReadExact(Info + 4, std::min<uint32_t>(FHeaderSize, WinInfoSize) - 4);
    Width = GetLESigned32(Info + 4);
    Height = GetLESigned32(Info + 8);
    Planes = GetLE16(Info + 12);
    FBitCount = GetLE16(Info + 14);
    StoredCompression = GetLE32(Info + 16);
    const int32_t PelsPerMetre = GetLESigned32(Info + 24);
    FColorsUsed = GetLE32(Info + 32);
    // A file that states no resolution keeps the caller's default.
    if (PelsPerMetre > 0) {
      const int32_t Dpi = PelsPerMetreToDpi(uint32_t(PelsPerMetre));
      if (Dpi >= 1 && Dpi <= MaxDpi)
        Resolution = Dpi;
    }
    const bool KnownSize = FHeaderSize <= 64 || FHeaderSize == 108 || FHeaderSize == 124;
    if (!KnownSize)
      SetWarning(FormatMessage(ImgMsg::InvalidHeader));
  }
  if (Planes != 1)
    SetWarning(FormatMessage(ImgMsg::InvalidHeader));

  if (Height < 0) {
    if (Height == std::numeric_limits<int32_t>::min())
      Fail(ImgMsg::InvalidFormat);
    BottomUp = false;
    Height = -Height;
  } else {
    BottomUp = true;
  }
  if (Width <= 0 || Height == 0)
    Fail(ImgMsg::InvalidFormat);
  return StoredCompression;
}

void TBmpReader::DescribePixels() {
  TBitCountInfo Desc;
  if (!DescribeBitCount(FBitCount, Desc))
    Fail(ImgMsg::InvalidFormat);
  PixelFormat = Desc.PixelFormat;
  PaletteSize = Desc.PaletteSize;
  ColorFormat = Desc.ColorFormat;
  Is32Bit = FBitCount == 32;
  ColorManager.SetSource(TColorFormat(Desc.ColorFormat), Desc.Samples, Desc.Bits);
  if (PaletteSize > 0) {
    ColorManager.SetFlags(cmfKeepValues);
    ColorManager.SetTarget(cfPalette, Desc.Bits);
  } else if (Desc.ColorFormat == cf15bit || Desc.ColorFormat == cf16bit) {
    ColorManager.SetTarget(TColorFormat(Desc.ColorFormat), 16);
  } else {
    ColorManager.SetTarget(cfBGR, 8);
  }
}

void TBmpReader::ReadCompression(uint32_t Stored) {
  switch (Stored) {
  case BiRGB: Compression = cmpNone; break;
  case BiRLE8:
  case BiRLE4:
    if (PixelFormat != pf8bit && PixelFormat != pf4bit)
      Fail(ImgMsg::CompressionError);
    Compression = cmpRLE;
    break;
  case BiBitFields:
    ReadBitFields();
    Compression = cmpNone;
    break;
  default: Fail(ImgMsg::UnsupportedCompression);
  }
}

// Red, green and blue masks of 16- and 32-bit pixels. 5-5-5 and 8-8-8 keep
// the plain layouts; any other set decodes through FChannels into 24 bits.
// Alpha masks are not read: bitmaps' alpha is ignored.
void TBmpReader::ReadBitFields() {
  // Short OS/2 2.x headers use the code for another scheme.
  if (FBitCount != 16 && FBitCount != 32)
    Fail(ImgMsg::UnsupportedCompression);
  // The masks follow a 40-byte header and close the longer ones.
  if (FHeaderSize != WinInfoSize && FHeaderSize < WinInfoSize + MaskBytes)
    Fail(ImgMsg::UnsupportedCompression);
  uint8_t Raw[MaskBytes];
  Seek(FileHeaderSize + WinInfoSize);
  ReadExact(Raw, sizeof Raw);
  const uint32_t Masks[3] = {GetLE32(Raw), GetLE32(Raw + 4), GetLE32(Raw + 8)};
  const uint32_t Plain[3] = {FBitCount == 16 ? 0x7C00u : 0xFF0000u, FBitCount == 16 ? 0x03E0u : 0xFF00u,
                             FBitCount == 16 ? 0x001Fu : 0xFFu};
  if (std::equal(Masks, Masks + 3, Plain))
    return;

  const uint32_t Limit = FBitCount == 16 ? 0xFFFFu : 0xFFFFFFFFu;
  for (int32_t I = 0; I < 3; ++I) {
    int32_t Low, Bits;
    if (Masks[I] > Limit || !MaskRun(Masks[I], Low, Bits))
      Fail(ImgMsg::InvalidColor);
    // Up to 8 bits scale to 0..255; wider ones keep their top 8 bits.
    TChannel& C = FChannels[I];
    const int32_t Kept = std::min(Bits, 8);
    C.Shift = Low + Bits - Kept;
    C.Mask = (1u << Kept) - 1;
    for (uint32_t V = 0; V <= C.Mask; ++V)
      C.Scale[V] = uint8_t((2 * V * 255 + C.Mask) / (2 * C.Mask));
  }
  if ((Masks[0] & Masks[1]) | (Masks[0] & Masks[2]) | (Masks[1] & Masks[2]))
    Fail(ImgMsg::InvalidColor);
  FBitFields = true;
  PixelFormat = pf24bit;
  ColorManager.SetTarget(cfBGR, 8);
}

// Entries stored: as many as colors-used names, and a palette shorter than
// the full size ends where the pixels begin.
int64_t TBmpReader::PaletteEntries() const {
  const int64_t EntrySize = Os2Header ? 3 : 4;
  int64_t Entries = PaletteSize;
  if (FColorsUsed > 0 && FColorsUsed < uint32_t(PaletteSize))
    Entries = FColorsUsed;
  if (DataOffset > PaletteOffset)
    Entries = std::min(Entries, (DataOffset - PaletteOffset) / EntrySize);
  return Entries;
}

// Pixels never start inside the headers, nor before the first palette
// entry of an indexed image: such an offset is taken to mean right after
// the headers and the palette, so that no header or palette bytes are read
// as pixels.
void TBmpReader::PlaceData(bool MasksAfterHeader) {
  const int64_t EntrySize = Os2Header ? 3 : 4;
  if (PaletteSize > 0) {
    if (DataOffset < PaletteOffset + EntrySize) {
      DataOffset = PaletteOffset;
      DataOffset += PaletteEntries() * EntrySize;
    }
  } else {
    DataOffset = std::max(DataOffset, PaletteOffset + (MasksAfterHeader ? MaskBytes : 0));
    PaletteOffset = 0;
  }
  DataSize = std::max<int64_t>(FileSize - DataOffset, 0);
}

// Never allocate from a claim the file's own bytes cannot back.
void TBmpReader::CheckClaims() {
  const int64_t DibBytes = DibRowBytes(Width, BitCountOf(PixelFormat)) * Height;
  const int64_t Needed = int64_t(RowBytes) * Height;
  if (Compression == cmpNone) {
    if (Needed > DataSize && DibBytes > PlainBufferFactor * FileSize + BufferAllowance)
      Fail(ImgMsg::StreamRead);
  } else if (DibBytes > RleBufferFactor * DataSize + BufferAllowance) {
    Fail(ImgMsg::InvalidFormat);
  }
}

void TBmpReader::ReadPalette() {
  const int64_t EntrySize = Os2Header ? 3 : 4;
  const int64_t Entries = PaletteEntries();
  uint8_t Raw[256 * 4];
  ReadExact(Raw, size_t(Entries * EntrySize));
  for (int64_t I = 0; I < Entries; ++I) {
    const uint8_t* E = Raw + I * EntrySize;
    Dib->SetPaletteColor(int32_t(I), RGBColor(E[2], E[1], E[0]));
  }
}

void TBmpReader::ReadImage() {
  if (Compression == cmpRLE) {
    DecodeRle();
  } else if (FBitFields && FBitCount == 16) {
    ReadWideRows(2, [this](const uint8_t* S, uint8_t* D, size_t N) { ExpandBitFields<2>(FChannels, S, D, N); });
  } else if (FBitFields) {
    ReadWideRows(4, [this](const uint8_t* S, uint8_t* D, size_t N) { ExpandBitFields<4>(FChannels, S, D, N); });
  } else if (Is32Bit) {
    ReadWideRows(4, [](const uint8_t* S, uint8_t* D, size_t N) {
      for (size_t X = 0; X < N; ++X, S += 4, D += 3) {
        D[0] = S[0];
        D[1] = S[1];
        D[2] = S[2];
      }
    });
  } else {
    ReadRows();
  }
}

// A last row whose pixels are all there may lack its padding.
void TBmpReader::ReadRows() {
  const size_t Count = size_t(std::min(RowBytes, Dib->RowBytes()));
  const size_t Pixels = size_t(PackedRowBytes(Width, BitCountOf(PixelFormat)));
  int32_t Y = BottomUp ? Height - 1 : 0;
  const int32_t Step = BottomUp ? -1 : 1;
  for (int32_t I = 0; I < Height; ++I, Y += Step) {
    if (ReadSome(Dib->ScanLine(Y), Count) < Pixels)
      Fail(ImgMsg::StreamRead);
    if (size_t(RowBytes) > Count)
      Seek(Position() + (RowBytes - int64_t(Count)));
    RowDone();
  }
}

// Pixels of PixelBytes bytes into the 24-bit buffer, one row at a time
// through Convert; several rows per read keep the calls few for narrow
// images.
template <class TConvert>
void TBmpReader::ReadWideRows(int32_t PixelBytes, TConvert Convert) {
  const int32_t RowsPerChunk = std::max<int32_t>(1, (1 << 18) / RowBytes);
  ReadBuffer.resize(size_t(RowBytes) * size_t(std::min(RowsPerChunk, Height)));
  int32_t Y = BottomUp ? Height - 1 : 0;
  const int32_t Step = BottomUp ? -1 : 1;
  for (int32_t Done = 0; Done < Height;) {
    const int32_t Rows = std::min(RowsPerChunk, Height - Done);
    const size_t Got = ReadSome(ReadBuffer.data(), size_t(RowBytes) * size_t(Rows));
    const int32_t Full = int32_t(Got / size_t(RowBytes));
    for (int32_t R = 0; R < Rows; ++R, Y += Step, ++Done) {
      const size_t Have = R < Full ? size_t(RowBytes) : R == Full ? Got % size_t(RowBytes) : 0;
      const size_t Pixels = std::min(size_t(Width), Have / size_t(PixelBytes));
      Convert(ReadBuffer.data() + size_t(R) * size_t(RowBytes), Dib->ScanLine(Y), Pixels);
      if (Pixels < size_t(Width))
        Fail(ImgMsg::StreamRead);
      RowDone();
    }
  }
}

// Run-length data stays inside the current row, the image and the data
// read; runs and moves past them are cut with a warning. Data that ends
// early leaves the remaining pixels 0 and fails.
void TBmpReader::DecodeRle() {
  ReadBuffer.resize(size_t(DataSize));
  ReadBuffer.resize(ReadSome(ReadBuffer.data(), ReadBuffer.size()));
  TRleDecoder Decoder(*Dib, Width, Height, BottomUp, RowBytes, ReadBuffer);
  const bool Complete = Decoder.Decode([this] { RowDone(); });
  if (Decoder.Clipped)
    SetWarning(FormatMessage(ImgMsg::CompressionError));
  if (!Complete)
    Fail(ImgMsg::StreamRead);
}

TBmpWriter::TBmpWriter() { FormatName = "BMP"; }

void TBmpWriter::WriteHeader() {
  const int32_t BitCount = HeaderBitCountOf(PixelFormat);
  if (BitCount == 0)
    Fail(ImgMsg::InvalidFormat);
  if (Os2Format && (Width > 0xFFFF || Height > 0xFFFF))
    Fail(ImgMsg::UnsupportedFormat);
  RowBytes = Dib->RowBytes();
  const uint32_t ImageSize = uint32_t(int64_t(RowBytes) * Height);
  const uint32_t DataOffset = Os2Format ? uint32_t(FileHeaderSize + Os2InfoSize + 3 * PaletteSize)
                                        : uint32_t(FileHeaderSize + WinInfoSize + 4 * PaletteSize);

  uint8_t Header[FileHeaderSize + WinInfoSize] = {};
  PutLE16(Header, BmpMagic);
  PutLE32(Header + 2, DataOffset + ImageSize);
  PutLE32(Header + 10, DataOffset);
  uint8_t* Info = Header + FileHeaderSize;
  size_t HeaderBytes;
  if (Os2Format) {
    PutLE32(Info, Os2InfoSize);
    PutLE16(Info + 4, uint16_t(Width));
    PutLE16(Info + 6, uint16_t(Height));
    PutLE16(Info + 8, 1);
    PutLE16(Info + 10, uint16_t(BitCount));
    HeaderBytes = FileHeaderSize + Os2InfoSize;
  } else {
    const bool Fits = Resolution > 0 && Resolution <= MaxDpiForPels;
    const uint32_t Pels = Fits ? uint32_t(DpiToPelsPerMetre(Resolution)) : 0;
    PutLE32(Info, WinInfoSize);
    PutLE32(Info + 4, uint32_t(Width));
    PutLE32(Info + 8, uint32_t(Height));
    PutLE16(Info + 12, 1);
    PutLE16(Info + 14, uint16_t(BitCount));
    PutLE32(Info + 16, BiRGB);
    PutLE32(Info + 20, ImageSize);
    PutLE32(Info + 24, Pels);
    PutLE32(Info + 28, Pels);
    PutLE32(Info + 32, uint32_t(PaletteSize));
    PutLE32(Info + 36, uint32_t(PaletteSize));
    HeaderBytes = FileHeaderSize + WinInfoSize;
  }
  WriteRaw(Header, HeaderBytes);

  if (PaletteSize > 0) {
    const size_t EntrySize = Os2Format ? 3 : 4;
    std::vector<uint8_t> Palette(size_t(PaletteSize) * EntrySize, 0);
    for (int32_t I = 0; I < PaletteSize; ++I)
      ColorToBGRBytes(Dib->GetPaletteColor(I), Palette.data() + size_t(I) * EntrySize);
    WriteRaw(Palette.data(), Palette.size());
  }
}

void TBmpWriter::WriteImage() {
  // The buffer keeps 32-bit pixels as color values (red first in memory);
  // the file wants blue first.
  std::vector<uint8_t> Swapped;
  if (PixelFormat == pf32bit)
    Swapped.resize(size_t(RowBytes));
  for (int32_t Y = Height - 1; Y >= 0; --Y) {
    const uint8_t* Row = Dib->ScanLine(Y);
    if (!Swapped.empty()) {
      uint8_t* D = Swapped.data();
      for (int32_t X = 0; X < Width; ++X, Row += 4, D += 4) {
        D[0] = Row[2];
        D[1] = Row[1];
        D[2] = Row[0];
        D[3] = Row[3];
      }
      Row = Swapped.data();
    }
    WriteRaw(Row, size_t(RowBytes));
    RowDone();
  }
}
