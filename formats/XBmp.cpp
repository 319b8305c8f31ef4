#include "XBmp.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

constexpr uint16_t BmpMagic = 19778; // "BM"
constexpr int32_t FileHeaderSize = 14;
constexpr int32_t Os2InfoSize = 12;
constexpr int32_t WinInfoSize = 40;
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

int32_t BitCountOf(uint8_t PixelFormat) {
  switch (PixelFormat) {
  case pf1bit: return 1;
  case pf4bit: return 4;
  case pf8bit: return 8;
  case pf15bit: return 15;
  case pf16bit: return 16;
  case pf24bit: return 24;
  case pf32bit: return 32;
  default: return 0;
  }
}

inline void SetNibble(uint8_t* Line, int32_t X, uint8_t Value) {
  uint8_t& B = Line[X >> 1];
  B = (X & 1) ? uint8_t((B & 0xF0) | (Value & 0x0F)) : uint8_t((B & 0x0F) | (Value << 4));
}

} // namespace

TBmpReader::TBmpReader() { FormatName = "BMP"; }

void TBmpReader::ReadHeader() {
  FormatName = "BMP";
  Seek(0);
  uint8_t FileHeader[FileHeaderSize];
  ReadExact(FileHeader, sizeof FileHeader);
  if (GetLE16(FileHeader) != BmpMagic)
    Fail("invalid BMP file header");
  DataOffset = GetLE32(FileHeader + 10);

  // Room for the header fields and the three bit-field masks after them.
  uint8_t Info[WinInfoSize + 12] = {};
  ReadExact(Info, 4);
  const uint32_t HeaderSize = GetLE32(Info);
  PaletteOffset = Position() + int64_t(HeaderSize) - 4;

  int32_t BitCount, Planes;
  uint32_t StoredCompression = BiRGB;
  if (HeaderSize == Os2InfoSize) {
    Os2Header = true;
    ReadExact(Info + 4, 8);
    Width = GetLE16(Info + 4);
    Height = GetLE16(Info + 6);
    Planes = GetLE16(Info + 8);
    BitCount = GetLE16(Info + 10);
  } else {
    // Short OS/2 2.x headers end after any field from 16 bytes on; the
    // fields they leave out count as 0.
    if (HeaderSize < 16 || int64_t(HeaderSize) > FileSize - FileHeaderSize)
      Fail(ImgMsg::InvalidHeader);
    ReadExact(Info + 4, std::min<uint32_t>(HeaderSize, WinInfoSize) - 4);
    Width = int32_t(GetLE32(Info + 4));
    Height = int32_t(GetLE32(Info + 8));
    Planes = GetLE16(Info + 12);
    BitCount = GetLE16(Info + 14);
    StoredCompression = GetLE32(Info + 16);
    const int32_t PelsPerMetre = int32_t(GetLE32(Info + 24));
    FColorsUsed = GetLE32(Info + 32);
    // A file that states no resolution keeps the caller's default.
    if (PelsPerMetre > 0) {
      const double Dpi = std::round(PelsPerMetre / PelsPerMetrePerDpi);
      if (Dpi >= 1 && Dpi <= MaxDpi)
        Resolution = int32_t(Dpi);
    }
    const bool KnownSize = HeaderSize <= 64 || HeaderSize == 108 || HeaderSize == 124;
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

  TBitCountInfo Desc;
  if (!DescribeBitCount(BitCount, Desc))
    Fail(ImgMsg::InvalidFormat);
  PixelFormat = Desc.PixelFormat;
  PaletteSize = Desc.PaletteSize;
  ColorFormat = Desc.ColorFormat;
  Is32Bit = BitCount == 32;
  ColorManager.SetSource(TColorFormat(Desc.ColorFormat), Desc.Samples, Desc.Bits);
  if (PaletteSize > 0) {
    ColorManager.SetFlags(cmfKeepValues);
    ColorManager.SetTarget(cfPalette, Desc.Bits);
  } else if (Desc.ColorFormat == cf15bit || Desc.ColorFormat == cf16bit) {
    ColorManager.SetTarget(TColorFormat(Desc.ColorFormat), 16);
  } else {
    ColorManager.SetTarget(cfBGR, 8);
  }

  switch (StoredCompression) {
  case BiRGB: Compression = cmpNone; break;
  case BiRLE8:
  case BiRLE4:
    if (PixelFormat != pf8bit && PixelFormat != pf4bit)
      Fail(ImgMsg::CompressionError);
    Compression = cmpRLE;
    break;
  case BiBitFields: {
    // Only the masks of the plain layouts are served: 5-5-5 and 8-8-8.
    if (BitCount != 16 && BitCount != 32)
      Fail(ImgMsg::UnsupportedCompression);
    // The masks follow a 40-byte header and close the longer ones.
    if (HeaderSize != WinInfoSize && HeaderSize < WinInfoSize + 12)
      Fail(ImgMsg::UnsupportedCompression);
    ReadExact(Info + WinInfoSize, 12);
    const uint32_t R = GetLE32(Info + 40), G = GetLE32(Info + 44), B = GetLE32(Info + 48);
    const bool Plain =
        BitCount == 16 ? (R == 0x7C00 && G == 0x03E0 && B == 0x001F) : (R == 0xFF0000 && G == 0xFF00 && B == 0xFF);
    if (!Plain)
      Fail(ImgMsg::UnsupportedCompression);
    Compression = cmpNone;
    break;
  }
  default: Fail(ImgMsg::UnsupportedCompression);
  }

  const int64_t FileRow = ((int64_t(Width) * BitCount + 31) / 32) * 4;
  if (FileRow > std::numeric_limits<int32_t>::max())
    Fail(ImgMsg::InvalidFormat);
  RowBytes = int32_t(FileRow);

  if (PaletteSize == 0)
    PaletteOffset = 0;
  DataSize = std::max<int64_t>(FileSize - DataOffset, 0);

  // Never allocate from a claim the file's own bytes cannot back.
  const int64_t DibRow = ((int64_t(Width) * BitCountOf(PixelFormat) + 31) / 32) * 4;
  const int64_t DibBytes = DibRow * Height;
  const int64_t Needed = FileRow * Height;
  if (Compression == cmpNone) {
    if (Needed > DataSize && DibBytes > PlainBufferFactor * FileSize + BufferAllowance)
      Fail(ImgMsg::StreamRead);
  } else if (DibBytes > RleBufferFactor * DataSize + BufferAllowance) {
    Fail(ImgMsg::InvalidFormat);
  }
}

void TBmpReader::ReadPalette() {
  const int64_t EntrySize = Os2Header ? 3 : 4;
  int64_t Entries = PaletteSize;
  if (FColorsUsed > 0 && FColorsUsed < uint32_t(PaletteSize))
    Entries = FColorsUsed;
  // A palette shorter than the full size ends where the pixels begin.
  if (DataOffset > PaletteOffset)
    Entries = std::min(Entries, (DataOffset - PaletteOffset) / EntrySize);
  uint8_t Raw[256 * 4];
  ReadExact(Raw, size_t(Entries * EntrySize));
  for (int64_t I = 0; I < Entries; ++I) {
    const uint8_t* E = Raw + I * EntrySize;
    Dib->SetPaletteColor(int32_t(I), RGBColor(E[2], E[1], E[0]));
  }
}

void TBmpReader::ReadImage() {
  if (Compression == cmpRLE)
    DecodeRle();
  else if (Is32Bit)
    ReadRows32();
  else
    ReadRows();
}

void TBmpReader::ReadRows() {
  const size_t Count = size_t(std::min(RowBytes, Dib->RowBytes()));
  int32_t Y = BottomUp ? Height - 1 : 0;
  const int32_t Step = BottomUp ? -1 : 1;
  for (int32_t I = 0; I < Height; ++I, Y += Step) {
    if (ReadSome(Dib->ScanLine(Y), Count) != Count)
      Fail(ImgMsg::StreamRead);
    if (size_t(RowBytes) > Count)
      Seek(Position() + (RowBytes - int64_t(Count)));
    RowDone();
  }
}

void TBmpReader::ReadRows32() {
  // Several rows per read keep the calls few for narrow images.
  const int32_t RowsPerChunk = std::max<int32_t>(1, (1 << 18) / RowBytes);
  ReadBuffer.resize(size_t(RowBytes) * size_t(std::min(RowsPerChunk, Height)));
  int32_t Y = BottomUp ? Height - 1 : 0;
  const int32_t Step = BottomUp ? -1 : 1;
  for (int32_t Done = 0; Done < Height;) {
    const int32_t Rows = std::min(RowsPerChunk, Height - Done);
    const size_t Want = size_t(RowBytes) * size_t(Rows);
    const size_t Got = ReadSome(ReadBuffer.data(), Want);
    const int32_t Full = int32_t(Got / size_t(RowBytes));
    for (int32_t R = 0; R < Rows; ++R, Y += Step, ++Done) {
      const uint8_t* S = ReadBuffer.data() + size_t(R) * size_t(RowBytes);
      const size_t Avail = R < Full ? size_t(Width) : R == Full ? (Got % size_t(RowBytes)) / 4 : 0;
      uint8_t* D = Dib->ScanLine(Y);
      for (size_t X = 0; X < Avail; ++X, S += 4, D += 3) {
        D[0] = S[0];
        D[1] = S[1];
        D[2] = S[2];
      }
      if (R >= Full)
        Fail(ImgMsg::StreamRead);
      RowDone();
    }
  }
}

// Run-length data stays inside the current row and inside the data read.
// Runs into the row's padding are common (some writers encode whole padded
// rows) and are dropped quietly; runs past it are cut with a warning. Data
// that ends early leaves the remaining pixels 0 and fails.
void TBmpReader::DecodeRle() {
  ReadBuffer.resize(size_t(DataSize));
  ReadBuffer.resize(ReadSome(ReadBuffer.data(), ReadBuffer.size()));
  const uint8_t* Data = ReadBuffer.data();
  const size_t Size = ReadBuffer.size();
  const bool Four = PixelFormat == pf4bit;
  const int32_t PaddedWidth = Four ? 2 * RowBytes : RowBytes;
  size_t Pos = 0;
  bool Clipped = false;
  int32_t Y = BottomUp ? Height - 1 : 0;
  const int32_t Step = BottomUp ? -1 : 1;

  // X moves by the full count of a run, held just past the padded width;
  // only the pixels inside the image width are stored.
  auto Advance = [&](int32_t& X, int32_t Count) {
    X += Count;
    if (X > PaddedWidth) {
      Clipped = true;
      X = PaddedWidth + 1;
    }
  };
  auto Stored = [&](int32_t X, int32_t Count) { return std::max(0, std::min(Count, Width - X)); };

  for (int32_t Row = 0; Row < Height; ++Row, Y += Step) {
    uint8_t* Line = Dib->ScanLine(Y);
    int32_t X = 0;
    bool EndOfBitmap = false;
    for (;;) {
      if (Size - Pos < 2) {
        // A last row that is complete needs no end code.
        if (Row == Height - 1 && X >= Width)
          break;
        if (Clipped)
          SetWarning(FormatMessage(ImgMsg::CompressionError));
        Fail(ImgMsg::StreamRead);
      }
      const uint8_t Count = Data[Pos], Value = Data[Pos + 1];
      Pos += 2;
      if (Count > 0) {
        const int32_t N = Stored(X, Count);
        if (Four) {
          for (int32_t I = 0; I < N; ++I)
            SetNibble(Line, X + I, (I & 1) ? Value & 0x0F : Value >> 4);
        } else if (N > 0) {
          std::memset(Line + X, Value, size_t(N));
        }
        Advance(X, Count);
        continue;
      }
      if (Value == 0)
        break;
      if (Value == 1) {
        EndOfBitmap = true;
        break;
      }
      if (Value == 2)
        Fail(ImgMsg::CompressionError);
      const size_t Bytes = Four ? (size_t(Value) + 1) / 2 : Value;
      const size_t Avail = std::min(Bytes, Size - Pos);
      const int32_t Present = Four ? int32_t(std::min<size_t>(Value, Avail * 2)) : int32_t(Avail);
      const int32_t N = Stored(X, Present);
      const uint8_t* Src = Data + Pos;
      if (Four) {
        for (int32_t I = 0; I < N; ++I)
          SetNibble(Line, X + I, (I & 1) ? Src[I >> 1] & 0x0F : Src[I >> 1] >> 4);
      } else if (N > 0) {
        std::memcpy(Line + X, Src, size_t(N));
      }
      Advance(X, Value);
      Pos = std::min(Size, Pos + Bytes + (Bytes & 1));
    }
    RowDone();
    if (EndOfBitmap)
      break;
  }
  if (Clipped)
    SetWarning(FormatMessage(ImgMsg::CompressionError));
}

TBmpWriter::TBmpWriter() { FormatName = "BMP"; }

void TBmpWriter::WriteHeader() {
  const int32_t BitCount = BitCountOf(PixelFormat);
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
    const double PelsValue = std::round(Resolution * PelsPerMetrePerDpi);
    const uint32_t Pels = PelsValue > 0 && PelsValue <= std::numeric_limits<int32_t>::max() ? uint32_t(PelsValue) : 0;
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
