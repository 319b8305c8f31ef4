#include "XPcd.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr int64_t SectorSize = 2048;
constexpr size_t HeaderSize = 3 * SectorSize;
constexpr const char* OverviewSignature = "PCD_OPA";
constexpr const char* PackSignature = "PCD";
constexpr size_t CountOffset = 10;
// Rotation in bits 0-1, the largest resolution held in bits 2-3.
constexpr size_t AttributeOffset = 0x0E02;
constexpr int32_t BaseWidth = 192, BaseHeight = 128;
constexpr int32_t PlainLevels = 2, MaxLevel = 4;
constexpr int64_t PlainSectors[] = {4, 23, 96};
constexpr int64_t OverviewSector = 5;
// The 4 base section's Huffman table; the corrections follow it.
constexpr int64_t CorrectionStart = 388 * SectorSize;
// Attribute and line pointer sectors of the 16 base section lie between the
// end of the 4 base data and the 16 base tables.
constexpr int64_t SixteenBaseGap = 12 * SectorSize;
// Far more than the corrections of a 16 base image can take.
constexpr int64_t MaxCorrectionBytes = int64_t(64) << 20;
constexpr uint8_t cmpHuffman = 5;
constexpr int32_t MaxCodeLength = 16;
constexpr uint32_t SyncMark = 0xFFFFFE, SyncLead = 0xFFF;
constexpr int32_t SyncBits = 24, RowHeaderBits = 16;

int64_t PlainBytes(int32_t Level) { return int64_t(BaseWidth << Level) * (BaseHeight << Level) * 3 / 2; }

// Doubles a W x H plane kept at the top left of rows of Stride bytes, in
// place: every row first (bottom up, right to left, so no sample is
// overwritten before use), then the rows between them.
void Upsample(uint8_t* P, size_t Stride, int32_t W, int32_t H) {
  for (int32_t Y = H - 1; Y >= 0; --Y) {
    const uint8_t* S = P + size_t(Y) * Stride;
    uint8_t* D = P + size_t(2 * Y) * Stride;
    const uint8_t Last = S[W - 1];
    D[2 * W - 2] = D[2 * W - 1] = Last;
    for (int32_t X = W - 2; X >= 0; --X) {
      const int32_t A = S[X], B = S[X + 1];
      D[2 * X] = uint8_t(A);
      D[2 * X + 1] = uint8_t((A + B + 1) >> 1);
    }
  }
  for (int32_t Y = 0; Y + 1 < H; ++Y) {
    const uint8_t* A = P + size_t(2 * Y) * Stride;
    uint8_t* M = P + size_t(2 * Y + 1) * Stride;
    const uint8_t* B = M + Stride;
    int32_t X = 0;
    for (; X + 2 < 2 * W; X += 2) {
      M[X] = uint8_t((A[X] + B[X] + 1) >> 1);
      M[X + 1] = uint8_t((A[X] + A[X + 2] + B[X] + B[X + 2] + 2) >> 2);
    }
    M[X] = M[X + 1] = uint8_t((A[X] + B[X] + 1) >> 1);
  }
  std::memcpy(P + size_t(2 * H - 1) * Stride, P + size_t(2 * H - 2) * Stride, size_t(2 * W));
}

enum class TTableRead { Ok, Short, Corrupt };

// An entry count, then per entry the code length, the 16-bit left-aligned
// code and the correction; the first entry whose code matches wins.
TTableRead ParseTable(std::span<const uint8_t> D, size_t& Pos, TPcdHuffman& T) {
  if (Pos >= D.size())
    return TTableRead::Short;
  const size_t Count = size_t(D[Pos]) + 1;
  if (D.size() - Pos - 1 < Count * 4)
    return TTableRead::Short;
  const uint8_t* E = D.data() + Pos + 1;
  for (size_t I = 0; I < Count; ++I)
    if (E[4 * I] + 1 > MaxCodeLength)
      return TTableRead::Corrupt;
  T.Lookup.assign(size_t(1) << MaxCodeLength, 0);
  for (size_t I = Count; I-- > 0;) {
    const int32_t Length = E[4 * I] + 1;
    const uint32_t Code = GetBE16(E + 4 * I + 1);
    const uint32_t Span = 1u << (MaxCodeLength - Length);
    const uint32_t First = Code >> (MaxCodeLength - Length) << (MaxCodeLength - Length);
    std::fill_n(T.Lookup.begin() + First, Span, uint16_t(Length << 8 | E[4 * I + 3]));
  }
  Pos += 1 + Count * 4;
  return TTableRead::Ok;
}

// Most significant bit first over bytes in memory; past their end only
// zeros come in, and Left tells how many real bits remain.
class TBitReader {
public:
  TBitReader(std::span<const uint8_t> Data, size_t Pos) : FData(Data), FPos(Pos) { Fill(); }

  uint32_t Peek(int32_t N) const { return FWindow >> (32 - N); }
  void Skip(int32_t N) {
    FWindow <<= N;
    FBits -= N;
    Fill();
  }
  int64_t Left() const { return FBits + 8 * int64_t(FData.size() - FPos); }
  // Bytes from the start of Data up to the next unread bit, rounded up.
  size_t Consumed() const { return FPos - size_t(FBits / 8); }

private:
  void Fill() {
    while (FBits <= 24 && FPos < FData.size()) {
      FWindow |= uint32_t(FData[FPos++]) << (24 - FBits);
      FBits += 8;
    }
  }

  std::span<const uint8_t> FData;
  size_t FPos;
  uint32_t FWindow = 0;
  int32_t FBits = 0;
};

// Whole bytes are stepped over until the twelve bits after the first byte
// of the window are ones, then single bits until the window starts with 23
// ones and a zero. Looking a byte ahead means a byte step never passes the
// start of a mark, whatever its bit position. The mark is consumed; false at
// the end of the data, so the search never runs past it.
bool FindSync(TBitReader& B) {
  while (B.Left() >= SyncBits + RowHeaderBits) {
    const uint32_t Top = B.Peek(SyncBits);
    if (Top == SyncMark) {
      B.Skip(SyncBits);
      return true;
    }
    B.Skip(((Top >> 4) & SyncLead) == SyncLead ? 1 : 8);
  }
  return false;
}

// Adds the corrections of one row; false where no code matches, which
// sends the decoder to the next sync mark.
bool CorrectRow(TBitReader& B, const TPcdHuffman& T, uint8_t* Row, int32_t Count) {
  const uint16_t* Lookup = T.Lookup.data();
  for (int32_t X = 0; X < Count; ++X) {
    const uint16_t E = Lookup[B.Peek(MaxCodeLength)];
    const int32_t Length = E >> 8;
    if (Length == 0 || Length > B.Left())
      return false;
    Row[X] = ClampByte(Row[X] + int8_t(E & 0xFF));
    B.Skip(Length);
  }
  return true;
}

} // namespace

TPcdReader::TPcdReader() { FormatName = "PCD"; }

void TPcdReader::ReadHeader() {
  FormatName = "PCD";
  if (FileSize < int64_t(HeaderSize))
    Fail(ImgMsg::InvalidHeader);
  uint8_t H[HeaderSize];
  Seek(0);
  ReadExact(H, sizeof H);
  IsOverview = std::memcmp(H, OverviewSignature, 7) == 0;
  if (!IsOverview && std::memcmp(H + SectorSize, PackSignature, 3) != 0)
    Fail(ImgMsg::InvalidHeader);
  PcdRotation = H[AttributeOffset] & 3;
  ClampResolution(H);
  const bool Portrait = PcdRotation == 1 || PcdRotation == 3;
  FWidth = BaseWidth << PcdResolution;
  FHeight = BaseHeight << PcdResolution;
  Width = Portrait ? FHeight : FWidth;
  Height = Portrait ? FWidth : FHeight;
  DataOffset = (IsOverview ? OverviewSector : PlainSectors[std::min<int32_t>(PcdResolution, PlainLevels)]) * SectorSize;
  DataSize = int64_t(Width) * Height;
  ColorFormat = cfPhotoYCC;
  IsGray = false;
  PaletteSize = 0;
  PaletteOffset = 0;
  Compression = PcdResolution > PlainLevels ? cmpHuffman : cmpNone;
  ColorManager.SetGamma(2.0, 0.6);
  ColorManager.SetWeights(0.2125f, 0.7154f, 0.0721f);
  ColorManager.SetSource(cfPhotoYCC, 3, 8);
  ColorManager.SetTarget(cfBGR, 8);
  ColorManager.SetFlags(ColorManager.Flags | cmfLevels);
  PixelFormat = ColorManager.PixelFormatFor(true);
}

// The resolution asked for, lowered to what the header names and what the
// file really holds; a file without even the smallest planes fails.
void TPcdReader::ClampResolution(const uint8_t* Header) {
  int32_t Level = IsOverview ? 0 : std::min<int32_t>(PcdResolution, MaxLevel);
  Resolutions = GetBE16(Header + CountOffset);
  if (Resolutions >= 1 && Resolutions <= Level)
    Level = Resolutions - 1;
  if (!IsOverview)
    Level = std::min(Level, PlainLevels + std::min((Header[AttributeOffset] >> 2) & 3, 2));
  auto PlainFits = [&](int32_t L) {
    const int32_t P = std::min(L, PlainLevels);
    const int64_t Start = IsOverview ? OverviewSector : PlainSectors[P];
    return Start * SectorSize + PlainBytes(P) <= FileSize;
  };
  while (Level > 0 && !PlainFits(Level))
    --Level;
  if (!PlainFits(Level))
    Fail(ImgMsg::StreamRead);
  PcdResolution = uint8_t(Level);
  if (Level > PlainLevels && !HoldsFourBaseTable())
    PcdResolution = PlainLevels;
}

bool TPcdReader::HoldsFourBaseTable() {
  if (FileSize <= CorrectionStart)
    return false;
  std::vector<uint8_t> Table(size_t(std::min<int64_t>(FileSize - CorrectionStart, 1 + 256 * 4)));
  Seek(CorrectionStart);
  ReadExact(Table.data(), Table.size());
  size_t Pos = 0;
  const TTableRead R = ParseTable(Table, Pos, FTables[0]);
  if (R == TTableRead::Corrupt)
    Fail(ImgMsg::InvalidFormat);
  return R == TTableRead::Ok;
}

void TPcdReader::ReadImage() {
  const size_t Size = size_t(FWidth) * size_t(FHeight);
  FLuma.assign(Size, 0);
  FChroma1.assign(Size, 0);
  FChroma2.assign(Size, 0);
  ReadPlainPlanes();
  if (PcdResolution > PlainLevels)
    ReadCorrections();
  Upsample(FChroma1.data(), size_t(FWidth), FWidth / 2, FHeight / 2);
  Upsample(FChroma2.data(), size_t(FWidth), FWidth / 2, FHeight / 2);
  ConvertRows();
}

// Per pair of rows: two luminance rows, then one row of each chrominance
// plane at half the width.
void TPcdReader::ReadPlainPlanes() {
  const int32_t Level = std::min<int32_t>(PcdResolution, PlainLevels);
  const int32_t W = BaseWidth << Level, H = BaseHeight << Level;
  const size_t Stride = size_t(FWidth), Half = size_t(W / 2);
  std::vector<uint8_t> Pair(size_t(W) * 3);
  Seek(DataOffset);
  for (int32_t K = 0; K < H / 2; ++K) {
    ReadExact(Pair.data(), Pair.size());
    std::memcpy(&FLuma[size_t(2 * K) * Stride], Pair.data(), size_t(W));
    std::memcpy(&FLuma[size_t(2 * K + 1) * Stride], Pair.data() + W, size_t(W));
    std::memcpy(&FChroma1[size_t(K) * Stride], Pair.data() + 2 * W, Half);
    std::memcpy(&FChroma2[size_t(K) * Stride], Pair.data() + 2 * W + Half, Half);
  }
}

void TPcdReader::ReadCorrections() {
  FTail.resize(size_t(std::min(FileSize - CorrectionStart, MaxCorrectionBytes)));
  Seek(CorrectionStart);
  ReadExact(FTail.data(), FTail.size());
  const size_t Stride = size_t(FWidth);
  Upsample(FLuma.data(), Stride, 768, 512);
  Upsample(FChroma1.data(), Stride, 384, 256);
  Upsample(FChroma2.data(), Stride, 384, 256);
  const int64_t End = Correct(CorrectionStart, 1, 1536, 1024);
  if (PcdResolution < MaxLevel)
    return;
  if (End < 0)
    Fail(ImgMsg::InvalidFormat);
  Upsample(FLuma.data(), Stride, 1536, 1024);
  Upsample(FChroma1.data(), Stride, 768, 512);
  Upsample(FChroma2.data(), Stride, 768, 512);
  const int64_t Next = (End + SectorSize - 1) / SectorSize * SectorSize + SixteenBaseGap;
  Correct(Next, 3, 3072, 2048);
}

std::span<const uint8_t> TPcdReader::SectionAt(int64_t Offset) const {
  const int64_t Start = Offset - CorrectionStart;
  if (Start < 0 || Start >= int64_t(FTail.size()))
    return {};
  return std::span<const uint8_t>(FTail).subspan(size_t(Start));
}

// Reads Tables Huffman tables at Offset, then adds the rows of corrections
// that follow. A row header names the plane (0 luminance, 2 and 3 the
// chrominance planes at half the row) in bits 14-15 and the row in bits
// 1-13; a row past the luminance height ends the section. Gives the file
// offset of that end mark, or -1 when the data ends first.
int64_t TPcdReader::Correct(int64_t Offset, int32_t Tables, int32_t LumaWidth, int32_t LumaHeight) {
  const std::span<const uint8_t> Section = SectionAt(Offset);
  size_t Pos = 0;
  for (int32_t T = 0; T < Tables; ++T)
    if (ParseTable(Section, Pos, FTables[T]) != TTableRead::Ok)
      Fail(ImgMsg::InvalidFormat);
  TBitReader B(Section, Pos);
  while (FindSync(B)) {
    const uint32_t Head = B.Peek(RowHeaderBits);
    const int32_t Plane = int32_t(Head >> 14), Row = int32_t(Head >> 1) & 0x1FFF;
    if (Row >= LumaHeight)
      return Offset + int64_t(B.Consumed());
    B.Skip(RowHeaderBits);
    const int32_t Index = Plane == 0 ? 0 : Plane - 1;
    if (Plane == 1 || Index >= Tables)
      continue;
    std::vector<uint8_t>& Target = Index == 0 ? FLuma : Index == 1 ? FChroma1 : FChroma2;
    const int32_t TargetRow = Index == 0 ? Row : Row / 2;
    CorrectRow(B, FTables[Index], &Target[size_t(TargetRow) * size_t(FWidth)], Index == 0 ? LumaWidth : LumaWidth / 2);
  }
  SetWarning(FormatMessage(ImgMsg::StreamRead));
  return -1;
}

// Each buffer row gathers its samples from the landscape planes along the
// line the rotation maps onto it.
void TPcdReader::ConvertRows() {
  const int64_t W = FWidth, H = FHeight;
  std::vector<uint8_t> Row(size_t(Width) * 3);
  for (int32_t Y = 0; Y < Height; ++Y) {
    int64_t Start = 0, Step = 1;
    switch (PcdRotation) {
    case 0: Start = Y * W; break;
    case 1: Start = W - 1 - Y, Step = W; break;
    case 2: Start = (H - 1 - Y) * W + W - 1, Step = -1; break;
    default: Start = (H - 1) * W + Y, Step = -W; break;
    }
    uint8_t* P = Row.data();
    for (int32_t X = 0; X < Width; ++X, Start += Step, P += 3) {
      P[0] = FLuma[size_t(Start)];
      P[1] = FChroma1[size_t(Start)];
      P[2] = FChroma2[size_t(Start)];
    }
    ColorManager.ConvertRow(Row, Dib->Row(Y), 0, 0, Width);
    RowDone();
  }
}
