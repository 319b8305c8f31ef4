#include "XTga.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace {

constexpr int32_t HeaderSize = 18;
constexpr int32_t KindMapped = 1, KindTrue = 2, KindGray = 3;
constexpr uint8_t RleBit = 8;
constexpr uint8_t TopDownBit = 0x20, RightToLeftBit = 0x10;
// A packet is a header byte and one pixel at the least, and gives at most
// 128 pixels.
constexpr int64_t MaxPacketPixels = 128;
// The writer keeps to runs of 127 pixels.
constexpr int32_t MaxWrittenRun = 127;

// 5-5-5 words, red highest; bit 15 is an attribute bit, not color.
TColor Color555(const uint8_t* P) {
  const uint32_t V = GetLE16(P);
  return RGBColor(uint8_t(((V >> 10) & 31) * 8), uint8_t(((V >> 5) & 31) * 8), uint8_t((V & 31) * 8));
}

// Reverses the order of Count pixels of Bytes bytes each.
void MirrorPixels(uint8_t* Row, int32_t Count, int32_t Bytes) {
  uint8_t* L = Row;
  uint8_t* R = Row + size_t(Count - 1) * size_t(Bytes);
  for (; L < R; L += Bytes, R -= Bytes)
    std::swap_ranges(L, L + Bytes, R);
}

void FillPixels(uint8_t* Dest, const uint8_t* Pixel, int32_t Count, int32_t Bytes) {
  if (Bytes == 1) {
    std::memset(Dest, *Pixel, size_t(Count));
    return;
  }
  for (int32_t I = 0; I < Count; ++I, Dest += Bytes)
    std::memcpy(Dest, Pixel, size_t(Bytes));
}

} // namespace

TTgaReader::TTgaReader() { FormatName = "TGA"; }

void TTgaReader::ReadHeader() {
  FormatName = "TGA";
  Seek(0);
  uint8_t H[HeaderSize];
  ReadExact(H, sizeof H);
  Width = GetLE16(H + 12);
  Height = GetLE16(H + 14);
  if (Width == 0 || Height == 0)
    Fail(ImgMsg::InvalidHeader);
  IsGray = false;
  HasAlpha = false;
  BottomUp = (H[17] & TopDownBit) == 0;
  FRightToLeft = (H[17] & RightToLeftBit) != 0;
  if ((H[2] & ~(RleBit | 3)) != 0)
    Fail(ImgMsg::InvalidHeader);
  Compression = (H[2] & RleBit) ? cmpRLE : cmpNone;
  DescribeMap(H);
  DescribePixels(H[2] & 3, H[16]);

  const int64_t MapBytes = int64_t(FMapLength) * EntryBytes;
  PaletteOffset = PaletteSize > 0 ? HeaderSize + H[0] : 0;
  DataOffset = HeaderSize + H[0] + MapBytes;
  DataSize = FileSize - DataOffset;
  if (DataSize < 1)
    Fail(ImgMsg::InvalidHeader);
  RowBytes = Width * FPixelBytes;
  CheckClaims();
}

// The map fields count only when the file says a map is there; a map beside
// true-color or gray pixels is skipped.
void TTgaReader::DescribeMap(const uint8_t* H) {
  EntryBits = EntryBytes = 0;
  FFirstEntry = FMapLength = 0;
  if (H[1] == 0)
    return;
  if (H[1] != 1)
    Fail(ImgMsg::InvalidHeader);
  EntryBits = H[7];
  switch (EntryBits) {
  case 15:
  case 16: EntryBytes = 2; break;
  case 24: EntryBytes = 3; break;
  case 32: EntryBytes = 4; break;
  default: Fail(ImgMsg::InvalidHeader);
  }
  FFirstEntry = GetLE16(H + 3);
  FMapLength = GetLE16(H + 5);
}

void TTgaReader::DescribePixels(int32_t Kind, int32_t Bits) {
  FGrayAlpha = false;
  if (Kind == KindMapped) {
    // Indexes wider than a byte have no buffer format to go to.
    if (Bits != 8 || FMapLength == 0)
      Fail(ImgMsg::InvalidHeader);
    PixelFormat = pf8bit;
    FPixelBytes = 1;
    // Entries past the 256 a byte can index are never used.
    PaletteSize = std::clamp(256 - FFirstEntry, 0, FMapLength);
    ColorFormat = cfPalette;
    ColorManager.SetSource(cfPalette, 1, 8);
    ColorManager.SetFlags(cmfKeepValues);
    ColorManager.SetTarget(cfPalette, 8);
    return;
  }
  if (Kind == KindGray) {
    // 16-bit gray pixels are a gray byte and an alpha byte.
    if (Bits != 8 && Bits != 16)
      Fail(ImgMsg::InvalidHeader);
    PixelFormat = pf8bit;
    FPixelBytes = Bits / 8;
    FGrayAlpha = Bits == 16;
    IsGray = true;
    PaletteSize = 0;
    ColorFormat = FGrayAlpha ? cfGrayAlpha : cfGray;
    ColorManager.SetSource(TColorFormat(ColorFormat), FPixelBytes, 8);
    ColorManager.SetTarget(cfGray, 8);
    return;
  }
  if (Kind != KindTrue)
    Fail(ImgMsg::InvalidHeader);
  PaletteSize = 0;
  switch (Bits) {
  case 15:
  case 16:
    PixelFormat = Bits == 15 ? pf15bit : pf16bit;
    FPixelBytes = 2;
    ColorFormat = cf15bit;
    ColorManager.SetSource(cf15bit, 1, 16);
    ColorManager.SetTarget(cf15bit, 16);
    break;
  case 24:
    PixelFormat = pf24bit;
    FPixelBytes = 3;
    ColorFormat = cfBGR;
    ColorManager.SetSource(cfBGR, 3, 8);
    ColorManager.SetTarget(cfBGR, 8);
    break;
  case 32:
    PixelFormat = pf24bit;
    FPixelBytes = 4;
    HasAlpha = true;
    ColorFormat = cfBGRA;
    ColorManager.SetSource(cfBGRA, 4, 8);
    ColorManager.SetTarget(cfBGR, 8);
    break;
  default: Fail(ImgMsg::InvalidHeader);
  }
}

// Never allocate for pixels the file cannot hold: plain data needs every
// byte, run-length data expands at most MaxPacketPixels per packet.
void TTgaReader::CheckClaims() {
  const int64_t Pixels = int64_t(Width) * Height;
  if (Compression == cmpNone) {
    if (Pixels * FPixelBytes > DataSize)
      Fail(ImgMsg::StreamRead);
  } else {
    const int64_t Packets = (DataSize + FPixelBytes) / (FPixelBytes + 1);
    if (Pixels > Packets * MaxPacketPixels)
      Fail(ImgMsg::StreamRead);
  }
  if (DibRowBytes(Width, BitCountOf(PixelFormat)) * Height > std::numeric_limits<int32_t>::max())
    Fail(ImgMsg::UnsupportedFormat);
}

void TTgaReader::ReadPalette() {
  std::vector<uint8_t> Raw(size_t(PaletteSize) * size_t(EntryBytes));
  ReadExact(Raw.data(), Raw.size());
  for (int32_t I = 0; I < PaletteSize; ++I) {
    const uint8_t* E = Raw.data() + size_t(I) * size_t(EntryBytes);
    Dib->SetPaletteColor(FFirstEntry + I, EntryBytes == 2 ? Color555(E) : ColorFromBGRBytes(E));
  }
}

void TTgaReader::ReadImage() {
  FRow.assign(size_t(RowBytes), 0);
  if (Compression == cmpRLE)
    DecodeRle();
  else
    ReadPlain();
}

// Row is counted in file order.
void TTgaReader::StoreRow(const uint8_t* S, int32_t Row) {
  uint8_t* D = Dib->ScanLine(BottomUp ? Height - 1 - Row : Row);
  int32_t Bytes = FPixelBytes;
  switch (FPixelBytes) {
  case 2:
    if (FGrayAlpha) {
      for (int32_t X = 0; X < Width; ++X)
        D[X] = S[2 * X];
      Bytes = 1;
    } else {
      for (int32_t X = 0; X < Width; ++X)
        PutLE16(D + 2 * X, GetLE16(S + 2 * X) & 0x7FFF);
    }
    break;
  case 4:
    for (int32_t X = 0; X < Width; ++X, S += 4, D += 3) {
      D[0] = S[0];
      D[1] = S[1];
      D[2] = S[2];
    }
    D = Dib->ScanLine(BottomUp ? Height - 1 - Row : Row);
    Bytes = 3;
    break;
  default: std::memcpy(D, S, size_t(RowBytes));
  }
  if (FRightToLeft)
    MirrorPixels(D, Width, Bytes);
}

void TTgaReader::ReadPlain() {
  for (int32_t Row = 0; Row < Height; ++Row) {
    ReadExact(FRow.data(), FRow.size());
    StoreRow(FRow.data(), Row);
    RowDone();
  }
}

// Packets may go on into the next row; one that goes past the last row is
// cut with a warning. Data that ends first fails.
void TTgaReader::DecodeRle() {
  ReadBuffer.resize(size_t(DataSize));
  ReadBuffer.resize(ReadSome(ReadBuffer.data(), ReadBuffer.size()));
  const uint8_t* Data = ReadBuffer.data();
  const size_t Size = ReadBuffer.size(), P = size_t(FPixelBytes);
  size_t Pos = 0;
  int32_t Row = 0, X = 0;
  while (Row < Height) {
    if (Pos >= Size)
      Fail(ImgMsg::StreamRead);
    const uint8_t Head = Data[Pos++];
    const bool Run = Head & 0x80;
    int32_t Count = (Head & 0x7F) + 1;
    const size_t Need = Run ? P : P * size_t(Count);
    if (Size - Pos < Need)
      Fail(ImgMsg::StreamRead);
    const uint8_t* Src = Data + Pos;
    Pos += Need;
    while (Count > 0) {
      if (Row == Height) {
        SetWarning(FormatMessage(ImgMsg::CompressionError));
        return;
      }
      const int32_t N = std::min(Count, Width - X);
      uint8_t* Dest = FRow.data() + size_t(X) * P;
      if (Run) {
        FillPixels(Dest, Src, N, FPixelBytes);
      } else {
        std::memcpy(Dest, Src, size_t(N) * P);
        Src += size_t(N) * P;
      }
      X += N;
      Count -= N;
      if (X == Width) {
        StoreRow(FRow.data(), Row++);
        RowDone();
        X = 0;
      }
    }
  }
}

TTgaWriter::TTgaWriter() { FormatName = "TGA"; }

void TTgaWriter::WriteHeader() {
  if (Width > 0xFFFF || Height > 0xFFFF)
    Fail(ImgMsg::UnsupportedFormat);
  Compression = RunLength ? cmpRLE : cmpNone;
  uint8_t H[HeaderSize] = {};
  H[2] = KindTrue;
  PutLE16(H + 12, uint16_t(Width));
  PutLE16(H + 14, uint16_t(Height));
  H[17] = TopDownBit;
  FMapValues = false;
  const bool Indexed = PixelFormat == pf1bit || PixelFormat == pf4bit || PixelFormat == pf8bit;
  if (Indexed && IsGray) {
    // Gray levels, whatever order the palette keeps them in.
    H[2] = KindGray;
    H[16] = 8;
    FPixelBytes = 1;
    for (int32_t I = 0; I < PaletteSize; ++I)
      FValueMap[I] = uint8_t(Luminance(Dib->GetPaletteColor(I)));
    FMapValues = true;
  } else if (Indexed) {
    H[1] = 1;
    H[2] = KindMapped;
    PutLE16(H + 5, 256);
    H[7] = 24;
    H[16] = 8;
    FPixelBytes = 1;
    for (int32_t I = 0; I < 256; ++I)
      FValueMap[I] = uint8_t(I);
    FMapValues = PixelFormat != pf8bit;
  } else {
    FPixelBytes = PixelFormat == pf15bit || PixelFormat == pf16bit ? 2 : PixelFormat == pf24bit ? 3 : 4;
    H[16] = uint8_t(8 * FPixelBytes);
  }
  RowBytes = Width * FPixelBytes;
  if (RunLength)
    H[2] |= RleBit;
  WriteRaw(H, sizeof H);
  if (H[1] == 1) {
    uint8_t Map[256 * 3] = {};
    for (int32_t I = 0; I < PaletteSize; ++I)
      ColorToBGRBytes(Dib->GetPaletteColor(I), Map + 3 * I);
    WriteRaw(Map, sizeof Map);
  }
}

// Row Y in file pixels.
void TTgaWriter::BuildRow(int32_t Y, uint8_t* Out) const {
  const uint8_t* S = Dib->ScanLine(Y);
  switch (PixelFormat) {
  case pf1bit:
    for (int32_t X = 0; X < Width; ++X)
      Out[X] = FValueMap[Get1(S, X)];
    break;
  case pf4bit:
    for (int32_t X = 0; X < Width; ++X)
      Out[X] = FValueMap[Get4(S, X)];
    break;
  case pf8bit:
    if (FMapValues)
      for (int32_t X = 0; X < Width; ++X)
        Out[X] = FValueMap[S[X]];
    else
      std::memcpy(Out, S, size_t(Width));
    break;
  case pf32bit:
    // The buffer keeps red first and no alpha; the file wants blue first,
    // and an opaque fourth byte for readers that take it as alpha.
    CopyBlueFirst32(S, Out, Width, 0xFF);
    break;
  default: std::memcpy(Out, S, size_t(RowBytes));
  }
}

void TTgaWriter::WriteImage() {
  const bool Direct = PixelFormat == pf24bit || PixelFormat == pf15bit || PixelFormat == pf16bit ||
                      (PixelFormat == pf8bit && !FMapValues);
  FRow.assign(size_t(RowBytes), 0);
  BeginBuffer();
  for (int32_t Y = 0; Y < Height; ++Y) {
    const uint8_t* Row = Dib->ScanLine(Y);
    if (!Direct) {
      BuildRow(Y, FRow.data());
      Row = FRow.data();
    }
    if (RunLength)
      WriteRleRow(Row);
    else
      BufferedWrite(Row, size_t(RowBytes));
    RowDone();
  }
  FlushBuffer();
  EndBuffer();
}

// Packets never cross the end of the row.
void TTgaWriter::WriteRleRow(const uint8_t* Row) {
  const size_t P = size_t(FPixelBytes);
  auto Same = [&](int32_t A, int32_t B) { return std::memcmp(Row + size_t(A) * P, Row + size_t(B) * P, P) == 0; };
  std::vector<uint8_t>& Out = FPacked;
  Out.clear();
  for (int32_t I = 0; I < Width;) {
    int32_t Count = 1;
    if (I + 1 < Width && Same(I, I + 1)) {
      while (I + Count < Width && Count < MaxWrittenRun && Same(I, I + Count))
        ++Count;
      Out.push_back(uint8_t(0x80 + Count - 1));
      Out.insert(Out.end(), Row + size_t(I) * P, Row + size_t(I + 1) * P);
    } else {
      while (I + Count < Width && Count < int32_t(MaxPacketPixels) &&
             !(I + Count + 1 < Width && Same(I + Count, I + Count + 1)))
        ++Count;
      Out.push_back(uint8_t(Count - 1));
      Out.insert(Out.end(), Row + size_t(I) * P, Row + size_t(I + Count) * P);
    }
    I += Count;
  }
  BufferedWrite(Out.data(), Out.size());
}
