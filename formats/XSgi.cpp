#include "XSgi.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace {

constexpr int32_t HeaderSize = 512;
constexpr uint16_t Magic = 474;
constexpr int32_t NameOffset = 24, NameLength = 80;
constexpr uint8_t StoragePlain = 0, StorageRle = 1;
constexpr uint8_t LiteralBit = 0x80, CountMask = 0x7F;
// A run packet is a header and one sample and gives at most 127 samples.
constexpr int64_t MaxPacketSamples = 127;
constexpr uint32_t WrittenMaximum = 255;

// Where a channel's samples sit in the interleaved row: blue, green, red and
// alpha for color, gray and alpha for gray.
int32_t SlotOf(int32_t Channel, int32_t Channels) {
  if (Channels < 3 || Channel == 3)
    return Channel;
  return 2 - Channel;
}

// Copies Count samples of Bytes bytes into every Step-th place of Dest.
template <size_t Bytes>
void ScatterOf(uint8_t* Dest, size_t Step, const uint8_t* Src, int32_t Count) {
  if (Step == Bytes) {
    std::memcpy(Dest, Src, size_t(Count) * Bytes);
    return;
  }
  for (int32_t I = 0; I < Count; ++I, Dest += Step, Src += Bytes)
    for (size_t B = 0; B < Bytes; ++B)
      Dest[B] = Src[B];
}

template <size_t Bytes>
void RepeatOf(uint8_t* Dest, size_t Step, const uint8_t* Sample, int32_t Count) {
  if (Step == 1) {
    std::memset(Dest, *Sample, size_t(Count));
    return;
  }
  for (int32_t I = 0; I < Count; ++I, Dest += Step)
    for (size_t B = 0; B < Bytes; ++B)
      Dest[B] = Sample[B];
}

void Scatter(uint8_t* Dest, size_t Step, const uint8_t* Src, int32_t Count, size_t Bytes) {
  Bytes == 1 ? ScatterOf<1>(Dest, Step, Src, Count) : ScatterOf<2>(Dest, Step, Src, Count);
}

void Repeat(uint8_t* Dest, size_t Step, const uint8_t* Sample, int32_t Count, size_t Bytes) {
  Bytes == 1 ? RepeatOf<1>(Dest, Step, Sample, Count) : RepeatOf<2>(Dest, Step, Sample, Count);
}

void Clear(uint8_t* Dest, size_t Step, int32_t Count, size_t Bytes) {
  static const uint8_t Zero[2] = {};
  Repeat(Dest, Step, Zero, Count, Bytes);
}

// Packet headers take a whole sample; with 16-bit samples the count is in
// the low byte. Rows may end without a closing zero header. Gives the
// samples decoded, or -1 for a packet past the width or past the data.
template <size_t Bytes>
int32_t DecodePackets(const uint8_t* P, size_t Size, uint8_t* Dest, size_t Step, int32_t Width) {
  const uint8_t* const End = P + Size;
  int32_t X = 0;
  while (size_t(End - P) >= Bytes) {
    const uint8_t Head = P[Bytes - 1];
    P += Bytes;
    const int32_t Count = Head & CountMask;
    if (Count == 0)
      break;
    const bool Literal = Head & LiteralBit;
    const size_t Need = Literal ? size_t(Count) * Bytes : Bytes;
    if (Count > Width - X || size_t(End - P) < Need)
      return -1;
    uint8_t* D = Dest + size_t(X) * Step;
    if (Literal)
      ScatterOf<Bytes>(D, Step, P, Count);
    else
      RepeatOf<Bytes>(D, Step, P, Count);
    P += Need;
    X += Count;
  }
  return X;
}

} // namespace

TSgiReader::TSgiReader() { FormatName = "SGI"; }

void TSgiReader::ReadHeader() {
  FormatName = "SGI";
  Seek(0);
  uint8_t H[HeaderSize];
  ReadExact(H, sizeof H);
  SampleBytes = H[3];
  if (GetBE16(H) != Magic || (SampleBytes != 1 && SampleBytes != 2))
    Fail(ImgMsg::InvalidHeader);
  Width = GetBE16(H + 6);
  Height = GetBE16(H + 8);
  Channels = GetBE16(H + 10);
  if (Width == 0 || Height == 0)
    Fail(ImgMsg::InvalidHeader);
  DescribeChannels();
  RowBytes = Width * SampleBytes * Channels;
  if (H[2] != StoragePlain && H[2] != StorageRle)
    Fail(ImgMsg::InvalidCompression);
  Compression = H[2] == StorageRle ? cmpRLE : cmpNone;
  BottomUp = true;
  const char* Name = reinterpret_cast<const char*>(H + NameOffset);
  Title.assign(Name, strnlen(Name, NameLength));
  PaletteSize = 0;
  PaletteOffset = 0;
  DataOffset = HeaderSize;
  DataSize = FileSize - HeaderSize;
  CheckClaims();
}

void TSgiReader::DescribeChannels() {
  static const TColorFormat Formats[] = {cfGray, cfGrayAlpha, cfBGR, cfBGRA};
  if (Channels < 1 || Channels > 4)
    Fail(ImgMsg::InvalidFormat);
  IsGray = Channels <= 2;
  HasAlpha = Channels == 2 || Channels == 4;
  ColorFormat = Formats[Channels - 1];
  ColorManager.SetSource(TColorFormat(ColorFormat), Channels, 8 * SampleBytes);
  ColorManager.SetSourceFlags(SampleBytes == 2 ? sfSwap16 : 0);
  ColorManager.SetTarget(IsGray ? cfGray : cfBGR, 8);
  PixelFormat = ColorManager.PixelFormatFor(true);
  FDirect = SampleBytes == 1 && (Channels == 1 || Channels == 3);
}

// Never allocate for pixels the file cannot hold: planes need every byte;
// every run-length row needs its table entries and enough packets to reach
// the width, wherever its data lies.
void TSgiReader::CheckClaims() {
  if (Compression == cmpNone) {
    if (int64_t(Width) * Height * Channels * SampleBytes > DataSize)
      Fail(ImgMsg::StreamRead);
  } else {
    ReadTables();
    const int64_t MinRowBytes = (Width + MaxPacketSamples - 1) / MaxPacketSamples * 2 * SampleBytes;
    for (uint32_t Length : FLengths)
      if (Length < MinRowBytes)
        Fail(ImgMsg::StreamRead);
  }
  if (DibRowBytes(Width, BitCountOf(PixelFormat)) * Height > std::numeric_limits<int32_t>::max())
    Fail(ImgMsg::UnsupportedFormat);
}

// Offsets and lengths of every row of every channel, all inside the file.
void TSgiReader::ReadTables() {
  const size_t Entries = size_t(Height) * size_t(Channels);
  if (int64_t(Entries) * 8 > DataSize)
    Fail(ImgMsg::StreamRead);
  std::vector<uint8_t> Raw(Entries * 8);
  Seek(HeaderSize);
  ReadExact(Raw.data(), Raw.size());
  FOffsets.resize(Entries);
  FLengths.resize(Entries);
  for (size_t I = 0; I < Entries; ++I) {
    FOffsets[I] = GetBE32(&Raw[4 * I]);
    FLengths[I] = GetBE32(&Raw[4 * (Entries + I)]);
    if (FOffsets[I] < uint32_t(HeaderSize) || int64_t(FOffsets[I]) + FLengths[I] > FileSize)
      Fail(ImgMsg::StreamRead);
  }
}

uint8_t* TSgiReader::ChannelStart(uint8_t* Row, int32_t Channel) const {
  return Row + size_t(SlotOf(Channel, Channels)) * size_t(SampleBytes);
}

void TSgiReader::ReadImage() {
  FRow.assign(size_t(RowBytes), 0);
  if (Compression == cmpRLE)
    // Worst case: a literal packet per sample and a closing header.
    FPacked.resize((size_t(Width) * 2 + 1) * size_t(SampleBytes));
  else
    FPacked.resize(size_t(Width) * size_t(SampleBytes));
  for (int32_t Row = 0; Row < Height; ++Row) {
    const int32_t Y = Height - 1 - Row;
    uint8_t* Dest = FDirect ? Dib->ScanLine(Y) : FRow.data();
    if (Compression == cmpRLE)
      ReadRleRow(Row, Dest);
    else
      ReadPlainRow(Row, Dest);
    if (!FDirect)
      ColorManager.ConvertRow(FRow, Dib->Row(Y), 0, 0, Width);
    RowDone();
  }
}

void TSgiReader::ReadPlainRow(int32_t Row, uint8_t* Dest) {
  const size_t Plane = size_t(Width) * size_t(SampleBytes);
  const size_t Step = size_t(Channels) * size_t(SampleBytes);
  for (int32_t C = 0; C < Channels; ++C) {
    Seek(HeaderSize + (int64_t(C) * Height + Row) * int64_t(Plane));
    ReadExact(FPacked.data(), Plane);
    Scatter(ChannelStart(Dest, C), Step, FPacked.data(), Width, size_t(SampleBytes));
  }
}

// Bytes past what the widest row could use are never read. A row that ends
// before the width keeps black samples and a warning.
void TSgiReader::ReadRleRow(int32_t Row, uint8_t* Dest) {
  const size_t Step = size_t(Channels) * size_t(SampleBytes);
  for (int32_t C = 0; C < Channels; ++C) {
    const size_t Entry = size_t(Row) + size_t(C) * size_t(Height);
    const size_t Size = std::min<size_t>(FLengths[Entry], FPacked.size());
    Seek(FOffsets[Entry]);
    ReadExact(FPacked.data(), Size);
    uint8_t* Start = ChannelStart(Dest, C);
    const int32_t Got = DecodeRow(FPacked.data(), Size, Start);
    if (Got < Width) {
      Clear(Start + size_t(Got) * Step, Step, Width - Got, size_t(SampleBytes));
      SetWarning(FormatMessage(ImgMsg::CompressionError));
    }
  }
}

int32_t TSgiReader::DecodeRow(const uint8_t* P, size_t Size, uint8_t* Dest) {
  const size_t Step = size_t(Channels) * size_t(SampleBytes);
  const int32_t Got =
      SampleBytes == 1 ? DecodePackets<1>(P, Size, Dest, Step, Width) : DecodePackets<2>(P, Size, Dest, Step, Width);
  if (Got < 0)
    Fail(ImgMsg::InvalidFormat);
  return Got;
}

TSgiWriter::TSgiWriter() { FormatName = "SGI"; }

void TSgiWriter::WriteHeader() {
  if (Width > 0xFFFF || Height > 0xFFFF)
    Fail(ImgMsg::UnsupportedFormat);
  // Planes only: run-length rows are never written.
  Compression = cmpNone;
  FChannels = IsGray ? 1 : 3;
  uint8_t H[HeaderSize] = {};
  PutBE16(H, Magic);
  H[2] = StoragePlain;
  H[3] = 1;
  PutBE16(H + 4, FChannels == 1 ? 2 : 3);
  PutBE16(H + 6, uint16_t(Width));
  PutBE16(H + 8, uint16_t(Height));
  PutBE16(H + 10, uint16_t(FChannels));
  PutBE32(H + 16, WrittenMaximum);
  WriteRaw(H, sizeof H);
}

// Planes red, green, blue (or the one gray plane), each from the bottom row
// up. Color images count a progress step every third row written.
void TSgiWriter::WriteImage() {
  std::vector<TColor> Colors(static_cast<size_t>(Width));
  std::vector<uint8_t> Out(static_cast<size_t>(Width));
  int32_t Written = 0;
  BeginBuffer();
  for (int32_t C = 0; C < FChannels; ++C)
    for (int32_t Row = 0; Row < Height; ++Row) {
      Dib->GetRowColors(Height - 1 - Row, Colors);
      for (int32_t X = 0; X < Width; ++X) {
        const TColor Color = Colors[size_t(X)];
        Out[size_t(X)] = uint8_t(FChannels == 1 ? Luminance(Color)
                                 : C == 0       ? GetRValue(Color)
                                 : C == 1       ? GetGValue(Color)
                                                : GetBValue(Color));
      }
      BufferedWrite(Out.data(), Out.size());
      if (FChannels == 1 || ++Written % 3 == 0)
        RowDone();
    }
  FlushBuffer();
  EndBuffer();
}
