#include "XGif.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <span>

namespace {

constexpr uint8_t GifCompressionLZW = 3;
constexpr uint8_t ExtensionIntroducer = 0x21;
constexpr uint8_t ImageSeparator = 0x2C;
constexpr uint8_t Trailer = 0x3B;
constexpr uint8_t GraphicControlLabel = 0xF9;
constexpr int32_t MaxCodes = 4096;
constexpr int32_t MaxCodeWidth = 12;
// Longest string a code can stand for.
constexpr int32_t MaxStringLength = MaxCodes;
// The decoder reads codes four bytes at a time from anywhere in the data.
constexpr size_t DataPadding = 8;
// A code stands for at most 2^width pixels, so a byte of data makes at most
// 4096 * 8 / 12 of them; with a margin, plus an allowance that lets tiny
// files have ordinary screens.
constexpr int64_t PixelsPerFileByte = MaxCodes;
constexpr int64_t PixelAllowance = int64_t(1) << 20;

constexpr int32_t PassStart[4] = {0, 4, 2, 1};
constexpr int32_t PassStep[4] = {8, 8, 4, 2};

TColor TableColor(const std::vector<uint8_t>& Table, int32_t I) {
  return ColorFromRGBBytes(Table.data() + 3 * size_t(I));
}

enum class TLzwStatus { EndCode, Stopped, DataEnded, Error };

// The GIF string-table decoder. Strings are written back to front straight
// into the line, so no stack is needed, and a string may run past the end of
// a row: whole rows go to the sink, the rest moves to the front of the line.
class TGifDecoder {
public:
  // Data must be followed by DataPadding readable bytes.
  TGifDecoder(std::span<const uint8_t> Data, int32_t CodeSize, int32_t LineWidth)
      : FData(Data.data()), FTotalBits(uint64_t(Data.size()) * 8), FClear(1 << CodeSize), FCodeSize(CodeSize),
        FLineWidth(LineWidth), FLine(size_t(LineWidth) + MaxStringLength + DataPadding) {
    for (int32_t I = 0; I < FClear; ++I) {
      FSuffix[size_t(I)] = uint8_t(I);
      FFirst[size_t(I)] = uint8_t(I);
      FLength[size_t(I)] = 1;
    }
  }

  // Sink(const uint8_t* Row) takes one row of LineWidth pixels and answers
  // whether more rows are wanted.
  template <class TSink>
  TLzwStatus Decode(TSink&& Sink);

  // Pixels of an unfinished row when decoding stopped.
  const uint8_t* Line() const { return FLine.data(); }
  int32_t Pending() const { return FPos; }

private:
  const uint8_t* FData;
  uint64_t FTotalBits;
  int32_t FClear, FCodeSize, FLineWidth;
  int32_t FPos = 0;
  std::vector<uint8_t> FLine;
  std::array<uint16_t, MaxCodes> FPrefix{};
  std::array<uint16_t, MaxCodes> FLength{};
  std::array<uint8_t, MaxCodes> FSuffix{};
  std::array<uint8_t, MaxCodes> FFirst{};
};

template <class TSink>
TLzwStatus TGifDecoder::Decode(TSink&& Sink) {
  const int32_t Clear = FClear, End = FClear + 1;
  int32_t Width = FCodeSize + 1;
  uint32_t Mask = (1u << Width) - 1;
  int32_t Next = Clear + 2, Limit = 1 << Width;
  int32_t Old = -1;
  uint64_t BitPos = 0;
  uint8_t* const Line = FLine.data();
  uint16_t* const Prefix = FPrefix.data();
  uint16_t* const Length = FLength.data();
  uint8_t* const Suffix = FSuffix.data();
  uint8_t* const First = FFirst.data();
  int32_t Pos = 0;

  for (;;) {
    if (BitPos + uint64_t(Width) > FTotalBits) {
      FPos = Pos;
      return TLzwStatus::DataEnded;
    }
    const uint32_t Raw = GetLE32(FData + (BitPos >> 3));
    const int32_t Code = int32_t((Raw >> (BitPos & 7)) & Mask);
    BitPos += uint64_t(Width);

    if (Code < Clear && Old >= 0) {
      Line[Pos++] = uint8_t(Code);
      if (Next < MaxCodes) {
        Prefix[Next] = uint16_t(Old);
        Suffix[Next] = uint8_t(Code);
        First[Next] = First[Old];
        Length[Next] = uint16_t(Length[Old] + 1);
        ++Next;
      }
    } else if (Code == Clear) {
      Width = FCodeSize + 1;
      Mask = (1u << Width) - 1;
      Next = Clear + 2;
      Limit = 1 << Width;
      Old = -1;
      continue;
    } else if (Code == End) {
      FPos = Pos;
      return TLzwStatus::EndCode;
    } else if (Old < 0) {
      // First code after a clear: a plain pixel, no new entry.
      if (Code > Clear) {
        FPos = Pos;
        return TLzwStatus::Error;
      }
      Line[Pos++] = uint8_t(Code);
    } else {
      if (Code > Next || Code >= MaxCodes) {
        FPos = Pos;
        return TLzwStatus::Error;
      }
      if (Code == Next) {
        // The string being defined: the previous one and its own first pixel.
        Prefix[Next] = uint16_t(Old);
        Suffix[Next] = First[Old];
        First[Next] = First[Old];
        Length[Next] = uint16_t(Length[Old] + 1);
      }
      const int32_t N = Length[Code];
      uint8_t* D = Line + Pos + N - 1;
      int32_t C = Code;
      while (C >= Clear) {
        *D-- = Suffix[C];
        C = Prefix[C];
      }
      *D = uint8_t(C);
      Pos += N;
      if (Code != Next && Next < MaxCodes) {
        Prefix[Next] = uint16_t(Old);
        Suffix[Next] = First[Code];
        First[Next] = First[Old];
        Length[Next] = uint16_t(Length[Old] + 1);
      }
      // A full table takes no more entries until the next clear code.
      if (Next < MaxCodes)
        ++Next;
    }
    if (Next == Limit && Width < MaxCodeWidth) {
      ++Width;
      Mask = (1u << Width) - 1;
      Limit <<= 1;
    }
    Old = Code;

    if (Pos >= FLineWidth) {
      int32_t Start = 0;
      do {
        if (!Sink(static_cast<const uint8_t*>(Line + Start))) {
          FPos = 0;
          return TLzwStatus::Stopped;
        }
        Start += FLineWidth;
      } while (Pos - Start >= FLineWidth);
      Pos -= Start;
      if (Pos > 0)
        std::memmove(Line, Line + Start, size_t(Pos));
    }
  }
}

// The GIF string-table encoder: strings are found through a hash of
// (prefix code, byte) pairs; codes go out least significant bit first in
// sub-blocks of 255 bytes.
class TGifEncoder {
public:
  TGifEncoder(TImgWriter& Writer, int32_t CodeSize, bool Lzw)
      : FWriter(Writer), FCodeSize(CodeSize), FClear(1 << CodeSize), FLzw(Lzw) {}

  void Start() {
    Reset();
    Emit(uint32_t(FClear));
  }
  void Feed(const uint8_t* P, size_t N) {
    if (FLzw)
      FeedLzw(P, N);
    else
      FeedExpand(P, N);
  }
  void Finish();

private:
  static constexpr uint32_t NoPrefix = MaxCodes + 1;
  static constexpr uint32_t EmptySlot = 0xFFFFFFFFu;
  static constexpr uint32_t HashSize = 8192;

  void Reset() {
    FNext = FClear + 2;
    FWidth = FCodeSize + 1;
    FLimit = 1 << FWidth;
    if (FLzw)
      FHash.fill(EmptySlot);
  }
  void Emit(uint32_t Code) {
    FAcc |= uint64_t(Code) << FBits;
    FBits += FWidth;
    while (FBits >= 8) {
      PutByte(uint8_t(FAcc));
      FAcc >>= 8;
      FBits -= 8;
    }
    if (FNext >= FLimit && FWidth < MaxCodeWidth) {
      ++FWidth;
      FLimit = 1 << FWidth;
    }
  }
  void PutByte(uint8_t B) {
    FBlock[size_t(++FBlockLen)] = B;
    if (FBlockLen == 255) {
      FBlock[0] = 255;
      FWriter.BufferedWrite(FBlock.data(), 256);
      FBlockLen = 0;
    }
  }
  void FeedLzw(const uint8_t* P, size_t N);
  void FeedExpand(const uint8_t* P, size_t N);

  TImgWriter& FWriter;
  int32_t FCodeSize, FClear;
  bool FLzw;
  int32_t FNext = 0, FWidth = 0, FLimit = 0;
  uint32_t FPrefix = NoPrefix;
  uint64_t FAcc = 0;
  int32_t FBits = 0;
  int32_t FBlockLen = 0;
  std::array<uint8_t, 256> FBlock{};
  // Each slot: the 20-bit key (prefix * 256 + byte) above its 12-bit code.
  std::array<uint32_t, HashSize> FHash{};
};

void TGifEncoder::FeedLzw(const uint8_t* P, size_t N) {
  size_t I = 0;
  if (FPrefix == NoPrefix && N > 0)
    FPrefix = P[I++];
  uint32_t Prefix = FPrefix;
  for (; I < N; ++I) {
    const uint32_t B = P[I];
    const uint32_t Key = (Prefix << 8) | B;
    uint32_t Slot = (Key >> 12) ^ (Key & (HashSize - 1));
    uint32_t Entry;
    while ((Entry = FHash[Slot]) != EmptySlot) {
      if ((Entry >> 12) == Key)
        break;
      Slot = (Slot + 1) & (HashSize - 1);
    }
    if (Entry != EmptySlot) {
      Prefix = Entry & 0xFFF;
      continue;
    }
    Emit(Prefix);
    if (FNext < MaxCodes - 1) {
      FHash[Slot] = (Key << 12) | uint32_t(FNext);
      ++FNext;
    } else {
      Emit(uint32_t(FClear));
      Reset();
    }
    Prefix = B;
  }
  FPrefix = Prefix;
}

void TGifEncoder::FeedExpand(const uint8_t* P, size_t N) {
  for (size_t I = 0; I < N; ++I) {
    Emit(P[I]);
    if (++FNext >= FLimit) {
      Emit(uint32_t(FClear));
      Reset();
    }
  }
}

void TGifEncoder::Finish() {
  if (FLzw && FPrefix != NoPrefix)
    Emit(FPrefix);
  Emit(uint32_t(FClear + 1));
  if (FBits > 0)
    PutByte(uint8_t(FAcc));
  FAcc = 0;
  FBits = 0;
  if (FBlockLen > 0) {
    FBlock[0] = uint8_t(FBlockLen);
    FWriter.BufferedWrite(FBlock.data(), size_t(FBlockLen) + 1);
    FBlockLen = 0;
  }
  const uint8_t Tail[2] = {0x00, Trailer};
  FWriter.BufferedWrite(Tail, sizeof Tail);
}

int32_t BitsForPaletteSize(int32_t Count) { return Count >= 17 ? 8 : Count < 3 ? 1 : Count <= 4 ? 2 : 4; }

} // namespace

TGifReader::TGifReader() {
  FormatName = "GIF";
  Transparency.Reset();
}

void TGifReader::ReadHeader() {
  FormatName = "GIF";
  Seek(0);
  uint8_t H[13];
  if (ReadSome(H, sizeof H) != sizeof H || std::memcmp(H, "GIF", 3) != 0)
    Fail(ImgMsg::InvalidHeader);
  FVersion.assign(reinterpret_cast<const char*>(H + 3), 3);
  Width = GetLE16(H + 6);
  Height = GetLE16(H + 8);
  const uint8_t Packed = H[10];
  BackgroundIndex = H[11];
  AspectRatio = H[12];
  GlobalCount = 0;
  FGlobalTable.clear();
  if (Packed & 0x80) {
    GlobalCount = 2 << (Packed & 7);
    GlobalTableOffset = Position();
    FGlobalTable.resize(3 * size_t(GlobalCount));
    if (ReadSome(FGlobalTable.data(), FGlobalTable.size()) != FGlobalTable.size())
      Fail(ImgMsg::InvalidHeader);
  }
  if (!ReadImageHeader())
    Fail(ImgMsg::InvalidHeader);

  // Clear code 4096 and beyond leave no room for a single string.
  if (FCodeSize < 2 || FCodeSize > 11)
    Fail(ImgMsg::InvalidCompression);
  if (Width == 0 || Height == 0)
    Fail(ImgMsg::InvalidFormat);

  PaletteSize = std::max(FCurrentCount, GlobalCount);
  const int32_t Bits = BitsForPaletteSize(PaletteSize);
  PixelFormat = Bits == 8 ? pf8bit : Bits == 1 ? pf1bit : pf4bit;
  IsGray = true;
  for (int32_t I = 0; I < FCurrentCount && IsGray; ++I) {
    const uint8_t* E = FCurrentTable->data() + 3 * size_t(I);
    IsGray = E[0] == E[1] && E[1] == E[2];
  }
  Compression = GifCompressionLZW;
  ColorFormat = cfPalette;
  RowBytes = Width;
  ColorManager.SetSource(cfPalette, 1, Bits);

  // Outside its frame the screen is plain index 0: never allocate more than
  // the file's data could fill.
  const int64_t Pixels = int64_t(Width) * Height;
  const int64_t DibRow = ((int64_t(Width) * (PixelFormat == pf8bit ? 8 : PixelFormat == pf4bit ? 4 : 1) + 31) / 32) * 4;
  if (Pixels > PixelsPerFileByte * FileSize + PixelAllowance || DibRow * Height > INT32_MAX)
    Fail(ImgMsg::InvalidFormat);
}

// Both walks read ahead in pieces: runs of zero bytes or of tiny sub-blocks
// must not cost a read each.
bool TGifReader::NextIntroducer(uint8_t& Introducer) {
  uint8_t Buf[4096];
  for (;;) {
    const int64_t At = Position();
    const size_t Got = ReadSome(Buf, sizeof Buf);
    if (Got == 0)
      return false;
    for (size_t I = 0; I < Got; ++I)
      if (Buf[I] != 0) {
        Introducer = Buf[I];
        Seek(At + int64_t(I) + 1);
        return true;
      }
  }
}

bool TGifReader::SkipSubBlocks() {
  uint8_t Buf[4096];
  int64_t At = Position();
  for (;;) {
    const size_t Got = ReadSome(Buf, sizeof Buf);
    if (Got == 0)
      return false;
    size_t I = 0;
    while (I < Got) {
      if (Buf[I] == 0) {
        Seek(At + int64_t(I) + 1);
        return true;
      }
      I += size_t(Buf[I]) + 1;
    }
    At += int64_t(I);
    if (At >= FileSize)
      return false;
    Seek(At);
  }
}

bool TGifReader::ReadImageHeader() {
  Transparency.Reset();
  uint8_t Introducer;
  if (!NextIntroducer(Introducer))
    return false;
  while (Introducer == ExtensionIntroducer) {
    uint8_t Label;
    if (!ReadByte(Label))
      return false;
    if (Label == GraphicControlLabel) {
      uint8_t Size, G[4];
      if (!ReadByte(Size) || Size != 4 || ReadSome(G, 4) != 4)
        return false;
      if (G[0] & 1)
        Transparency.TransparentIndex = G[3];
    }
    if (!SkipSubBlocks() || !NextIntroducer(Introducer))
      return false;
  }
  if (Introducer != ImageSeparator)
    return false;
  uint8_t D[9];
  if (ReadSome(D, sizeof D) != sizeof D)
    return false;
  FrameLeft = GetLE16(D);
  FrameTop = GetLE16(D + 2);
  FrameWidth = GetLE16(D + 4);
  FrameHeight = GetLE16(D + 6);
  Interlaced = (D[8] & 0x40) != 0;
  if (D[8] & 0x80) {
    LocalCount = 2 << (D[8] & 7);
    FLocalTable.assign(3 * size_t(LocalCount), 0);
    if (ReadSome(FLocalTable.data(), FLocalTable.size()) != FLocalTable.size())
      return false;
    FCurrentTable = &FLocalTable;
    FCurrentCount = LocalCount;
  } else {
    LocalCount = 0;
    FLocalTable.clear();
    FCurrentTable = &FGlobalTable;
    FCurrentCount = GlobalCount;
  }
  HasAlpha = Transparency.TransparentIndex >= 0 && Transparency.TransparentIndex < FCurrentCount;
  if (!ReadByte(FCodeSize))
    return false;
  DataOffset = Position();
  // Interlaced rows arrive out of order: nothing worth drawing until the end.
  if (Interlaced)
    ShowProgress = false;
  return true;
}

void TGifReader::ReadPalette() {
  const std::vector<uint8_t>& Table = *FCurrentTable;
  for (int32_t I = 0; I < FCurrentCount; ++I)
    Dib->SetPaletteColor(I, TableColor(Table, I));
  const int32_t Index = Transparency.TransparentIndex;
  if (Index < 0 || Index >= FCurrentCount)
    return;
  Transparency.TransparentColor = int32_t(TableColor(Table, Index));
  if (BackgroundIndex != 0 && BackgroundIndex < FCurrentCount) {
    Transparency.BackIndex = BackgroundIndex;
    Transparency.BackColor = int32_t(TableColor(Table, BackgroundIndex));
  }
  if (AlphaEnabled)
    Dib->SetPaletteColor(Index, Transparency.BackIndex >= 0 ? TColor(Transparency.BackColor) : BackgroundColor);
}

// The payloads of the data sub-blocks, read in large pieces straight into
// the buffer and moved together there; an animation's later images are never
// read.
void TGifReader::CollectData() {
  constexpr size_t ChunkSize = 1 << 18;
  size_t Kept = 0;      // payload bytes collected
  size_t Remaining = 0; // payload bytes left in the current sub-block
  ReadBuffer.clear();
  // The file's own bytes bound the data, so reserving them is safe.
  ReadBuffer.reserve(size_t(std::max<int64_t>(FileSize - DataOffset, 0)) + ChunkSize + DataPadding);
  for (bool Done = false; !Done;) {
    ReadBuffer.resize(Kept + ChunkSize);
    uint8_t* const Chunk = ReadBuffer.data() + Kept;
    const size_t Got = ReadSome(Chunk, ChunkSize);
    Done = Got < ChunkSize;
    size_t Pos = 0;
    while (Pos < Got) {
      if (Remaining == 0) {
        Remaining = Chunk[Pos++];
        if (Remaining == 0) {
          Done = true;
          break;
        }
      }
      const size_t Take = std::min(Remaining, Got - Pos);
      std::memmove(ReadBuffer.data() + Kept, Chunk + Pos, Take);
      Kept += Take;
      Pos += Take;
      Remaining -= Take;
    }
  }
  ReadBuffer.resize(Kept);
}

void TGifReader::StoreRow(const uint8_t* Line, int32_t Count) {
  uint8_t* D = Dib->ScanLine(FrameTop + FRow);
  const int32_t N = std::min(Count, Width - FrameLeft);
  const int32_t X0 = FrameLeft;
  switch (PixelFormat) {
  case pf8bit: std::memcpy(D + X0, Line, size_t(N)); break;
  case pf4bit:
    for (int32_t I = 0; I < N; ++I) {
      const int32_t X = X0 + I;
      uint8_t& B = D[X >> 1];
      const uint8_t V = Line[I] & 0x0F;
      B = (X & 1) ? uint8_t((B & 0xF0) | V) : uint8_t((B & 0x0F) | (V << 4));
    }
    break;
  default:
    for (int32_t I = 0; I < N; ++I) {
      const int32_t X = X0 + I;
      const uint8_t Mask = uint8_t(0x80 >> (X & 7));
      if (Line[I] == 1)
        D[X >> 3] |= Mask;
      else
        D[X >> 3] &= uint8_t(~Mask);
    }
    break;
  }
}

void TGifReader::ReadImage() {
  CollectData();
  const size_t DataBytes = ReadBuffer.size();
  ReadBuffer.resize(DataBytes + DataPadding, 0);
  ReadPalette();

  const int32_t VisibleRows = FrameTop < Height ? std::min(FrameHeight, Height - FrameTop) : 0;
  if (VisibleRows == 0 || FrameWidth == 0 || FrameLeft >= Width)
    return;
  if (!Interlaced)
    for (int32_t Y = 0; Y < FrameTop; ++Y)
      RowDone();

  FPass = 0;
  FRow = 0;
  int32_t Stored = 0;
  TGifDecoder Decoder({ReadBuffer.data(), DataBytes}, FCodeSize, FrameWidth);
  const TLzwStatus Status = Decoder.Decode([&](const uint8_t* Line) {
    if (FRow < VisibleRows) {
      StoreRow(Line, FrameWidth);
      ++Stored;
      RowDone();
    }
    if (!Interlaced) {
      ++FRow;
    } else {
      FRow += PassStep[FPass];
      while (FRow >= FrameHeight && FPass < 3)
        FRow = PassStart[++FPass];
    }
    return Stored < VisibleRows;
  });
  if (Status != TLzwStatus::Stopped && Decoder.Pending() > 0 && FRow < VisibleRows)
    StoreRow(Decoder.Line(), Decoder.Pending());
  ReadBuffer = std::vector<uint8_t>();
  if (Status == TLzwStatus::Error)
    Fail(ImgMsg::CompressionError);
  if (Stored < VisibleRows)
    SetWarning(FormatMessage(ImgMsg::CompressionError));
}

TGifWriter::TGifWriter() {
  FormatName = "GIF";
  Compression = GifCompressionLZW;
  Transparency.Reset();
}

void TGifWriter::WriteHeader() {
  FormatName = "GIF";
  if (PixelFormat != pf1bit && PixelFormat != pf4bit && PixelFormat != pf8bit)
    Fail(ImgMsg::UnsupportedFormat);
  if (Width > 0xFFFF || Height > 0xFFFF)
    Fail(ImgMsg::UnsupportedFormat);

  FCodeSize = 8;
  FTableSize = 256;
  for (int32_t Size = 2; Size <= 8; ++Size)
    if (PaletteSize <= (1 << Size)) {
      FCodeSize = uint8_t(Size);
      FTableSize = PaletteSize <= 2 ? 2 : 1 << Size;
      break;
    }
  uint8_t ScreenPacked = PaletteSize >= 1 ? 0x80 : 0;
  if (FTableSize > 2)
    ScreenPacked |= uint8_t((FCodeSize - 1) | ((FCodeSize - 1) << 4));

  std::vector<uint8_t> Out;
  Out.reserve(13 + 3 * 256 + 8 + 11);
  const char Signature[] = "GIF89a";
  Out.insert(Out.end(), Signature, Signature + 6);
  uint8_t Screen[7];
  PutLE16(Screen, uint16_t(Width));
  PutLE16(Screen + 2, uint16_t(Height));
  Screen[4] = ScreenPacked;
  Screen[5] = Transparency.BackIndex > 0 && Transparency.BackIndex < 256 ? uint8_t(Transparency.BackIndex) : 0;
  Screen[6] = 0;
  Out.insert(Out.end(), Screen, Screen + 7);

  const int32_t Transparent = Transparency.TransparentIndex;
  for (int32_t I = 0; I < FTableSize; ++I) {
    TColor C = I < PaletteSize ? Dib->GetPaletteColor(I) : 0;
    // The reader may have replaced this entry for display; the file keeps its own.
    if (I == Transparent)
      C = TColor(Transparency.TransparentColor);
    uint8_t E[3];
    ColorToRGBBytes(C, E);
    Out.insert(Out.end(), E, E + 3);
  }
  if (Transparent >= 0 && Transparent < 256) {
    const uint8_t Control[8] = {ExtensionIntroducer, GraphicControlLabel, 4, 0x01, 0, 0, uint8_t(Transparent), 0};
    Out.insert(Out.end(), Control, Control + 8);
  }
  uint8_t Descriptor[11] = {ImageSeparator, 0, 0, 0, 0};
  PutLE16(Descriptor + 5, uint16_t(Width));
  PutLE16(Descriptor + 7, uint16_t(Height));
  Descriptor[9] = uint8_t((Interlaced ? 0x40 : 0) | (FCodeSize - 1));
  Descriptor[10] = FCodeSize;
  Out.insert(Out.end(), Descriptor, Descriptor + 11);
  WriteRaw(Out.data(), Out.size());
  RowBytes = Width;
}

void TGifWriter::WriteImage() {
  BeginBuffer();
  TGifEncoder Encoder(*this, FCodeSize, Compression != 0);
  Encoder.Start();
  std::vector<uint8_t> Row(static_cast<size_t>(Width));
  auto FeedRow = [&](int32_t Y) {
    const uint8_t* S = Dib->ScanLine(Y);
    if (PixelFormat == pf8bit) {
      Encoder.Feed(S, size_t(Width));
    } else {
      if (PixelFormat == pf4bit)
        for (int32_t X = 0; X < Width; ++X)
          Row[size_t(X)] = (X & 1) ? S[X >> 1] & 0x0F : S[X >> 1] >> 4;
      else
        for (int32_t X = 0; X < Width; ++X)
          Row[size_t(X)] = (S[X >> 3] >> (7 - (X & 7))) & 1;
      Encoder.Feed(Row.data(), Row.size());
    }
    RowDone();
  };
  if (Interlaced) {
    for (int32_t Pass = 0; Pass < 4; ++Pass)
      for (int32_t Y = PassStart[Pass]; Y < Height; Y += PassStep[Pass])
        FeedRow(Y);
  } else {
    for (int32_t Y = 0; Y < Height; ++Y)
      FeedRow(Y);
  }
  Encoder.Finish();
  FlushBuffer();
  EndBuffer();
}
