#include "XGif.h"

#include <algorithm>
#include <cstring>
#include <span>

#include "XGifFrame.h"
#include "XGifLzw.h"

namespace {

constexpr uint8_t GifCompressionLZW = 3;
constexpr uint8_t ExtensionIntroducer = 0x21;
constexpr uint8_t ImageSeparator = 0x2C;
constexpr uint8_t GraphicControlLabel = 0xF9;
constexpr uint8_t DisposeToBackground = 2;
constexpr uint8_t DisposeToPrevious = 3;
// A code stands for at most 2^width pixels, so a byte of data makes at most
// 4096 * 8 / 12 of them; with a margin, plus an allowance that lets tiny
// files have ordinary screens.
constexpr int64_t PixelsPerFileByte = GifMaxCodes;
constexpr int64_t PixelAllowance = int64_t(1) << 20;
constexpr int64_t DisposalScreens = 16;

constexpr int32_t PassStart[4] = {0, 4, 2, 1};
constexpr int32_t PassStep[4] = {8, 8, 4, 2};

TColor TableColor(const std::vector<uint8_t>& Table, int32_t I) {
  return ColorFromRGBBytes(Table.data() + 3 * size_t(I));
}

bool GrayTable(const std::vector<uint8_t>& Table, int32_t Count) {
  for (int32_t I = 0; I < Count; ++I) {
    const uint8_t* E = Table.data() + 3 * size_t(I);
    if (E[0] != E[1] || E[1] != E[2])
      return false;
  }
  return true;
}

int32_t BitsForPaletteSize(int32_t Count) { return Count >= 17 ? 8 : Count < 3 ? 1 : Count <= 4 ? 2 : 4; }

} // namespace

TGifReader::TGifReader() {
  FormatName = "GIF";
  Transparency.Reset();
}

TGifReader::~TGifReader() = default;

int64_t TGifReader::PixelCap() const { return PixelsPerFileByte * FileSize + PixelAllowance; }

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
  if (!ValidCodeSize(FCodeSize))
    Fail(ImgMsg::InvalidCompression);
  if (Width == 0 || Height == 0)
    Fail(ImgMsg::InvalidFormat);
  // Outside its images the screen is plain index 0: never allocate more than
  // the file's data could fill.
  if (int64_t(Width) * Height > PixelCap())
    Fail(ImgMsg::InvalidFormat);

  const bool Shared = ScanFrame();
  PaletteSize = std::max(FCurrentCount, GlobalCount);
  const int32_t Bits = BitsForPaletteSize(PaletteSize);
  PixelFormat = Bits == 8 ? pf8bit : Bits == 1 ? pf1bit : pf4bit;
  IsGray = GrayTable(*FCurrentTable, FCurrentCount);
  if (!Shared) {
    // Images with tables of their own meet only as colors.
    PixelFormat = pf24bit;
    PaletteSize = 0;
    IsGray = FFrameGray;
  }
  Compression = GifCompressionLZW;
  ColorFormat = cfPalette;
  RowBytes = Width;
  ColorManager.SetSource(cfPalette, 1, Bits);
  if (DibRowBytes(Width, BitCountOf(PixelFormat)) * Height > INT32_MAX)
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

// The blocks up to and including the next image descriptor, its local table
// and its code size byte.
bool TGifReader::ReadImageBlock(TImageBlock& Block, std::vector<uint8_t>& Local) {
  Block = TImageBlock{};
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
        Block.Transparent = G[3];
      Block.Disposal = uint8_t((G[0] >> 2) & 7);
      Block.Delay = GetLE16(G + 1);
    }
    if (!SkipSubBlocks() || !NextIntroducer(Introducer))
      return false;
  }
  if (Introducer != ImageSeparator)
    return false;
  uint8_t D[9];
  if (ReadSome(D, sizeof D) != sizeof D)
    return false;
  Block.Left = GetLE16(D);
  Block.Top = GetLE16(D + 2);
  Block.Width = GetLE16(D + 4);
  Block.Height = GetLE16(D + 6);
  Block.Interlaced = (D[8] & 0x40) != 0;
  Block.LocalCount = 0;
  Local.clear();
  if (D[8] & 0x80) {
    Block.LocalCount = 2 << (D[8] & 7);
    Local.assign(3 * size_t(Block.LocalCount), 0);
    if (ReadSome(Local.data(), Local.size()) != Local.size())
      return false;
  }
  return ReadByte(Block.CodeSize);
}

bool TGifReader::ReadImageHeader() {
  Transparency.Reset();
  if (!ReadImageBlock(FFirst, FLocalTable))
    return false;
  Transparency.TransparentIndex = FFirst.Transparent;
  FrameLeft = FFirst.Left;
  FrameTop = FFirst.Top;
  FrameWidth = FFirst.Width;
  FrameHeight = FFirst.Height;
  Interlaced = FFirst.Interlaced;
  LocalCount = FFirst.LocalCount;
  FCurrentTable = LocalCount > 0 ? &FLocalTable : &FGlobalTable;
  FCurrentCount = LocalCount > 0 ? LocalCount : GlobalCount;
  HasAlpha = Transparency.TransparentIndex >= 0 && Transparency.TransparentIndex < FCurrentCount;
  FCodeSize = FFirst.CodeSize;
  DataOffset = Position();
  // Interlaced rows arrive out of order: nothing worth drawing until the end.
  if (Interlaced)
    ShowProgress = false;
  return true;
}

bool TGifReader::SameTable(const TImageBlock& Block) const {
  const std::vector<uint8_t>& Table = Block.LocalCount > 0 ? FScratchTable : FGlobalTable;
  const int32_t Count = Block.LocalCount > 0 ? Block.LocalCount : GlobalCount;
  return Count == FCurrentCount && std::equal(Table.begin(), Table.end(), FCurrentTable->begin(), FCurrentTable->end());
}

int64_t TGifReader::ScreenArea(const TImageBlock& Block) const {
  const int64_t W = Block.Left < Width ? std::min(Block.Width, Width - Block.Left) : 0;
  const int64_t H = Block.Top < Height ? std::min(Block.Height, Height - Block.Top) : 0;
  return W * H;
}

// Images without a delay are shown together with the ones after them, so
// the first frame runs up to the first image whose control block asks for
// a delay. Answers whether all its images can share the first one's palette:
// the same table, and no other transparent index where the first one's would
// be replaced for display. Disposals cost work that no data pays for, so
// their total is capped at a few screens.
bool TGifReader::ScanFrame() {
  FFrameImages = 1;
  FFrameGray = GrayTable(*FCurrentTable, FCurrentCount);
  const int32_t First = FFirst.Transparent;
  const bool Replaced = First >= 0 && First < FCurrentCount;
  bool Shared = true;
  int64_t Work = 0;
  const int64_t Budget = DisposalScreens * Width * Height + PixelAllowance;
  TImageBlock Previous = FFirst, Block;
  while (Previous.Delay == 0) {
    if (Previous.Disposal == DisposeToBackground || Previous.Disposal == DisposeToPrevious)
      Work += ScreenArea(Previous);
    if (Work > Budget || !SkipSubBlocks() || !ReadImageBlock(Block, FScratchTable) || !ValidCodeSize(Block.CodeSize))
      break;
    ++FFrameImages;
    Shared = Shared && SameTable(Block) && (!Replaced || Block.Transparent == First);
    FFrameGray = FFrameGray && (Block.LocalCount > 0 ? GrayTable(FScratchTable, Block.LocalCount)
                                                     : GrayTable(FGlobalTable, GlobalCount));
    Previous = Block;
  }
  if (FFrameImages > 1)
    ShowProgress = false;
  return Shared;
}

void TGifReader::ReadPalette() {
  const std::vector<uint8_t>& Table = *FCurrentTable;
  FColors.fill(0);
  for (int32_t I = 0; I < FCurrentCount; ++I)
    FColors[size_t(I)] = TableColor(Table, I);
  const int32_t Index = Transparency.TransparentIndex;
  if (Index >= 0 && Index < FCurrentCount) {
    Transparency.TransparentColor = int32_t(TableColor(Table, Index));
    if (BackgroundIndex != 0 && BackgroundIndex < FCurrentCount) {
      Transparency.BackIndex = BackgroundIndex;
      Transparency.BackColor = int32_t(TableColor(Table, BackgroundIndex));
    }
    if (AlphaEnabled)
      FColors[size_t(Index)] = Transparency.BackIndex >= 0 ? TColor(Transparency.BackColor) : BackgroundColor;
  }
  if (PixelFormat != pf24bit)
    for (int32_t I = 0; I < FCurrentCount; ++I)
      Dib->SetPaletteColor(I, FColors[size_t(I)]);
}

// The payloads of the data sub-blocks, read in pieces straight into the
// buffer and moved together there; the stream is left after the terminator.
// Pieces start at FirstChunk bytes and grow, so that small images of a frame
// do not read far ahead.
void TGifReader::CollectData(size_t FirstChunk) {
  constexpr size_t ChunkSize = 1 << 18;
  size_t Kept = 0;      // payload bytes collected
  size_t Remaining = 0; // payload bytes left in the current sub-block
  size_t Chunk = FirstChunk;
  int64_t End = -1;
  ReadBuffer.clear();
  // The file's own bytes bound the data, so reserving them is safe.
  ReadBuffer.reserve(size_t(std::max<int64_t>(FileSize - DataOffset, 0)) + ChunkSize + GifDataPadding);
  for (bool Done = false; !Done; Chunk = std::min(2 * Chunk, ChunkSize)) {
    const int64_t At = Position();
    ReadBuffer.resize(Kept + Chunk);
    uint8_t* const Piece = ReadBuffer.data() + Kept;
    const size_t Got = ReadSome(Piece, Chunk);
    Done = Got < Chunk;
    size_t Pos = 0;
    while (Pos < Got) {
      if (Remaining == 0) {
        Remaining = Piece[Pos++];
        if (Remaining == 0) {
          End = At + int64_t(Pos);
          Done = true;
          break;
        }
      }
      const size_t Take = std::min(Remaining, Got - Pos);
      std::memmove(ReadBuffer.data() + Kept, Piece + Pos, Take);
      Kept += Take;
      Pos += Take;
      Remaining -= Take;
    }
  }
  ReadBuffer.resize(Kept);
  if (End >= 0)
    Seek(End);
}

void TGifReader::DecodeImage(const TImageBlock& Block, TGifCanvas& Canvas, bool Progress) {
  CollectData(Progress ? size_t(1) << 18 : 4096);
  const size_t DataBytes = ReadBuffer.size();
  ReadBuffer.resize(DataBytes + GifDataPadding, 0);
  const int32_t VisibleRows = Canvas.VisibleRows();
  if (!Canvas.Visible())
    return;
  if (Progress && !Block.Interlaced)
    for (int32_t Y = 0; Y < Block.Top; ++Y)
      RowDone();

  FPass = 0;
  FRow = 0;
  int32_t Stored = 0;
  const std::span<const uint8_t> Data{ReadBuffer.data(), DataBytes};
  if (FDecoder)
    FDecoder->Restart(Data, Block.CodeSize, Block.Width);
  else
    FDecoder = std::make_unique<TGifDecoder>(Data, Block.CodeSize, Block.Width);
  const TLzwStatus Status = FDecoder->Decode([&](const uint8_t* Line) {
    if (FRow < VisibleRows) {
      Canvas.StoreRow(FRow, Line, Block.Width);
      ++Stored;
      if (Progress)
        RowDone();
    }
    if (!Block.Interlaced) {
      ++FRow;
    } else {
      FRow += PassStep[FPass];
      while (FRow >= Block.Height && FPass < 3)
        FRow = PassStart[++FPass];
    }
    return Stored < VisibleRows;
  });
  if (Status != TLzwStatus::Stopped && FDecoder->Pending() > 0 && FRow < VisibleRows)
    Canvas.StoreRow(FRow, FDecoder->Line(), FDecoder->Pending());
  if (Status == TLzwStatus::Error) {
    ReadBuffer = std::vector<uint8_t>();
    Fail(ImgMsg::CompressionError);
  }
  if (Stored < VisibleRows)
    SetWarning(FormatMessage(ImgMsg::CompressionError));
}

// The first image is drawn whole, as a single image would be; later ones
// leave their transparent pixels alone. The screen outside the images shows
// index 0, as the first image's palette shows it.
void TGifReader::ReadImage() {
  ReadPalette();
  TGifCanvas Canvas(*Dib);
  const TColor Background = FColors[0];
  TImageBlock Block = FFirst;
  Canvas.Begin(Block.Left, Block.Top, Block.Width, Block.Height, -1);
  if (PixelFormat == pf24bit) {
    Canvas.SetColors(FColors);
    TGifCanvas Screen(*Dib);
    Screen.Begin(0, 0, Width, Height, -1);
    Screen.Clear(Background);
  }
  for (int32_t I = 0;;) {
    if (Block.Disposal == DisposeToPrevious && I + 1 < FFrameImages)
      Canvas.Save();
    DecodeImage(Block, Canvas, I == 0);
    if (++I == FFrameImages)
      break;
    if (Block.Disposal == DisposeToBackground)
      Canvas.Clear(Background);
    else if (Block.Disposal == DisposeToPrevious)
      Canvas.Restore();
    if (!ReadImageBlock(Block, FScratchTable) || !ValidCodeSize(Block.CodeSize))
      break;
    if (PixelFormat == pf24bit)
      Canvas.SetColors(ImageColors(Block));
    Canvas.Begin(Block.Left, Block.Top, Block.Width, Block.Height, Block.Transparent);
  }
  ReadBuffer = std::vector<uint8_t>();
  FDecoder.reset();
}

std::array<TColor, 256> TGifReader::ImageColors(const TImageBlock& Block) const {
  const std::vector<uint8_t>& Table = Block.LocalCount > 0 ? FScratchTable : FGlobalTable;
  const int32_t Count = Block.LocalCount > 0 ? Block.LocalCount : GlobalCount;
  std::array<TColor, 256> Colors{};
  for (int32_t I = 0; I < Count; ++I)
    Colors[size_t(I)] = TableColor(Table, I);
  return Colors;
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
          Row[size_t(X)] = uint8_t(Get4(S, X));
      else
        for (int32_t X = 0; X < Width; ++X)
          Row[size_t(X)] = uint8_t(Get1(S, X));
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
