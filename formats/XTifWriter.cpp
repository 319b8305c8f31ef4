// Writes one TIFF directory with its strips. The directory, the color map,
// the resolution and the texts come first, so the only values patched after
// the image data are the strip offsets and byte counts.
#include <algorithm>
#include <cstring>
#include <initializer_list>

#include "LzwLib.h"
#include "PixelLayout.h"
#include "XTif.h"
#include "XTifTags.h"
#include "XZlib.h"

namespace {

constexpr uint16_t TypeAscii = 2, TypeShort = 3, TypeLong = 4, TypeRational = 5;
constexpr uint32_t HeaderSize = 8, EntrySize = 12;
constexpr uint16_t TiffMagic = 42;
constexpr uint16_t PhotoBlackIsZero = 1, PhotoRgb = 2, PhotoPalette = 3;
constexpr uint16_t StoredNone = 1, StoredLzw = 5, StoredDeflate = 8;
constexpr uint16_t NoPrediction = 1, HorizontalPrediction = 2;
// Short texts are padded so that every text lies outside its entry.
constexpr size_t MinTextChars = 4;
constexpr int DeflateLevel = 9;
// For images that lost their resolution.
constexpr int32_t DefaultDpi = 72;

uint16_t StoredCompression(uint8_t Compression) {
  switch (Compression) {
  case TifCmp::Lzw:
  case TifCmp::LzwPredict: return StoredLzw;
  case TifCmp::Deflate: return StoredDeflate;
  default: return StoredNone;
  }
}

// The text as stored: padded with spaces and ended by a zero byte. A zero
// inside the text would end it early for every reader, so it ends there.
std::string StoredText(const std::string& Text) {
  std::string S = Text.substr(0, Text.find('\0'));
  if (S.size() < MinTextChars)
    S.resize(MinTextChars, ' ');
  S.push_back('\0');
  return S;
}

// All red values, then green, then blue, each component times 256; entries
// past the palette (a 1-bit image written with 4 bits) stay black.
std::vector<uint8_t> ColorMapBytes(const TDib& Dib, int32_t Bits, bool BigEndian) {
  const size_t N = size_t(1) << Bits;
  std::vector<uint8_t> Map(N * 6, 0);
  for (size_t I = 0; I < N && I < size_t(Dib.PaletteSize()); ++I) {
    const TDib::TRgbBytes C = Dib.GetPaletteRGB(int32_t(I));
    const uint8_t Parts[3] = {C.R, C.G, C.B};
    for (size_t K = 0; K < 3; ++K) {
      uint8_t* P = Map.data() + (K * N + I) * 2;
      const uint16_t V = uint16_t(Parts[K] << 8);
      Put16(P, V, BigEndian);
    }
  }
  return Map;
}

// Each byte minus the same sample of the pixel to its left; into another
// buffer, so that the loop reads no byte it has written and vectorizes.
void HorizontalDifferences(const uint8_t* __restrict In, uint8_t* __restrict Out, size_t N, size_t Step) {
  for (size_t I = 0; I < Step && I < N; ++I)
    Out[I] = In[I];
  for (size_t I = Step; I < N; ++I)
    Out[I] = uint8_t(In[I] - In[I - Step]);
}

} // namespace

struct TTifWriter::TDirEntry {
  uint16_t Tag = 0, Type = 0;
  uint32_t Count = 1;
  // The value itself, or the offset of the values when they do not fit.
  uint32_t Value = 0;
  // What lies at Value when it is an offset.
  std::vector<uint8_t> Data;
};

namespace {

// The values outside the directory follow it in this order: the color map,
// the resolution, the texts, the strip tables.
int32_t PlacementRank(const TTifWriter::TDirEntry& E) {
  if (E.Tag == TifTag::ColorMapTag)
    return 0;
  if (E.Type == TypeRational)
    return 1;
  return E.Type == TypeAscii ? 2 : 3;
}

} // namespace

TTifWriter::TTifWriter() { FormatName = "TIFF"; }

void TTifWriter::ChooseLayout() {
  if (Compression != TifCmp::Lzw && Compression != TifCmp::LzwPredict && Compression != TifCmp::Deflate)
    Compression = TifCmp::None;
  FExpandTo4 = false;
  FSamples = 1;
  switch (PixelFormat) {
  case pf1bit:
    FBits = IsGray ? 1 : 4;
    FPhotometric = IsGray ? PhotoBlackIsZero : PhotoPalette;
    FExpandTo4 = !IsGray;
    break;
  case pf4bit:
  case pf8bit:
    FBits = PixelFormat == pf4bit ? 4 : 8;
    FPhotometric = IsGray ? PhotoBlackIsZero : PhotoPalette;
    break;
  case pf15bit:
  case pf16bit:
  case pf24bit:
  case pf32bit:
    FBits = 8;
    FSamples = 3;
    FPhotometric = PhotoRgb;
    break;
  default: Fail(ImgMsg::UnsupportedFormat);
  }
  RowBytes = int32_t(PackedRowBytes(Width, int64_t(FBits) * FSamples));
  // Differences of packed 1- and 4-bit samples are not what readers undo,
  // so prediction is kept to whole-byte samples.
  if (Compression == TifCmp::Deflate)
    UsePredictor = FPhotometric == PhotoRgb || (FBits == 8 && IsGray);
  else
    UsePredictor = Compression == TifCmp::LzwPredict && FBits == 8;

  const int64_t Estimate = int64_t(RowBytes) * Height / std::max(StripSize, 1) + 1;
  RowsPerStrip = int32_t(std::max<int64_t>(Height / Estimate, 1));
  StripCount = (Height + RowsPerStrip - 1) / RowsPerStrip;
}

std::vector<TTifWriter::TDirEntry> TTifWriter::DirectoryEntries() const {
  auto Text = [](uint16_t Tag, const std::string& T) {
    const std::string S = StoredText(T);
    return TDirEntry{Tag, TypeAscii, uint32_t(S.size()), 0, std::vector<uint8_t>(S.begin(), S.end())};
  };
  const uint16_t Stored = StoredCompression(Compression);
  std::vector<TDirEntry> E;
  E.push_back({TifTag::NewSubfileType, TypeLong, 1, 0, {}});
  E.push_back({TifTag::ImageWidth, TypeLong, 1, uint32_t(Width), {}});
  E.push_back({TifTag::ImageLength, TypeLong, 1, uint32_t(Height), {}});
  E.push_back({TifTag::BitsPerSampleTag, TypeShort, 1, uint32_t(FBits), {}});
  E.push_back({TifTag::CompressionTagId, TypeShort, 1, Stored, {}});
  E.push_back({TifTag::PhotometricTag, TypeShort, 1, uint32_t(FPhotometric), {}});
  if (!Title.empty())
    E.push_back(Text(TifTag::ImageDescription, Title));
  E.push_back({TifTag::StripOffsets, TypeLong, uint32_t(StripCount), 0, {}});
  E.push_back({TifTag::SamplesPerPixelTag, TypeShort, 1, uint32_t(FSamples), {}});
  E.push_back({TifTag::RowsPerStrip, TypeLong, 1, uint32_t(RowsPerStrip), {}});
  E.push_back({TifTag::StripByteCounts, TypeLong, uint32_t(StripCount), 0, {}});
  E.push_back({TifTag::XResolution, TypeRational, 1, 0, {}});
  E.push_back({TifTag::YResolution, TypeRational, 1, 0, {}});
  E.push_back({TifTag::PlanarConfiguration, TypeShort, 1, 1, {}});
  if (!Author.empty())
    E.push_back(Text(TifTag::Artist, Author));
  // Readers know Predictor only as a parameter of a compression; beside
  // uncompressed data some warn about an unknown tag.
  if (Compression != TifCmp::None)
    E.push_back({TifTag::PredictorTag, TypeShort, 1, UsePredictor ? HorizontalPrediction : NoPrediction, {}});
  if (FPhotometric == PhotoPalette)
    E.push_back({TifTag::ColorMapTag, TypeShort, uint32_t(3 << FBits), 0, {}});
  if (!Rights.empty())
    E.push_back(Text(TifTag::Copyright, Rights));
  return E;
}

void TTifWriter::PutEntry(uint8_t* P, const TDirEntry& E) const {
  Put16(P, E.Tag, BigEndian);
  Put16(P + 2, E.Type, BigEndian);
  Put32(P + 4, E.Count, BigEndian);
  std::memset(P + 8, 0, 4);
  // A single SHORT sits in the first two bytes of the value field.
  if (E.Type == TypeShort && E.Count == 1)
    Put16(P + 8, uint16_t(E.Value), BigEndian);
  else
    Put32(P + 8, E.Value, BigEndian);
}

void TTifWriter::FillOutsideValues(std::vector<TDirEntry>& Entries) const {
  bool RationalDone = false;
  for (TDirEntry& E : Entries) {
    if (E.Tag == TifTag::ColorMapTag)
      E.Data = ColorMapBytes(*Dib, FBits, BigEndian);
    // Both resolutions share one rational.
    if (E.Type == TypeRational && !RationalDone) {
      E.Data.resize(8);
      Put32(E.Data.data(), uint32_t(Resolution > 0 ? Resolution : DefaultDpi), BigEndian);
      Put32(E.Data.data() + 4, 1, BigEndian);
      RationalDone = true;
    }
    if ((E.Tag == TifTag::StripOffsets || E.Tag == TifTag::StripByteCounts) && StripCount > 1)
      E.Data.assign(size_t(StripCount) * 4, 0);
  }
}

void TTifWriter::WriteHeader() {
  ChooseLayout();
  for (std::string* T : {&Title, &Author, &Rights})
    *T = FittedText(*T, TifMaxTextLength);
  std::vector<TDirEntry> Entries = DirectoryEntries();
  FillOutsideValues(Entries);
  std::vector<size_t> Order;
  for (size_t I = 0; I < Entries.size(); ++I)
    if (!Entries[I].Data.empty())
      Order.push_back(I);
  std::stable_sort(Order.begin(), Order.end(),
                   [&](size_t A, size_t B) { return PlacementRank(Entries[A]) < PlacementRank(Entries[B]); });

  uint64_t Next = HeaderSize + 2 + Entries.size() * EntrySize + 4;
  uint32_t RationalAt = 0;
  for (size_t I : Order) {
    Entries[I].Value = uint32_t(Next);
    if (Entries[I].Type == TypeRational)
      RationalAt = Entries[I].Value;
    Next += Entries[I].Data.size();
  }
  for (size_t I = 0; I < Entries.size(); ++I) {
    TDirEntry& E = Entries[I];
    if (E.Type == TypeRational)
      E.Value = RationalAt;
    // With one strip its offset and byte count sit in the entries.
    const uint32_t At = StripCount > 1 ? E.Value : uint32_t(HeaderSize + 2 + I * EntrySize + 8);
    if (E.Tag == TifTag::StripOffsets)
      FOffsetsPos = At;
    if (E.Tag == TifTag::StripByteCounts)
      FCountsPos = At;
  }
  // Uncompressed data have a known size; compressed strips are checked as
  // they are written.
  const uint64_t Plain = uint64_t(RowBytes) * uint64_t(Height);
  if (Next + (Compression == TifCmp::None ? Plain : 0) > MaxFileSize)
    Fail(ImgMsg::TifTooLarge);
  WriteDirectory(Entries, Order);
}

void TTifWriter::WriteDirectory(const std::vector<TDirEntry>& Entries, const std::vector<size_t>& Order) {
  std::vector<uint8_t> Head(HeaderSize + 2 + Entries.size() * EntrySize + 4, 0);
  uint8_t* P = Head.data();
  P[0] = P[1] = BigEndian ? 'M' : 'I';
  Put16(P + 2, TiffMagic, BigEndian);
  Put32(P + 4, HeaderSize, BigEndian);
  Put16(P + 8, uint16_t(Entries.size()), BigEndian);
  for (size_t I = 0; I < Entries.size(); ++I)
    PutEntry(P + HeaderSize + 2 + I * EntrySize, Entries[I]);
  WriteRaw(Head.data(), Head.size());
  for (size_t I : Order)
    WriteRaw(Entries[I].Data.data(), Entries[I].Data.size());
}

std::span<const uint8_t> TTifWriter::ProduceRow(int32_t Y) {
  uint8_t* D = FRowBuffer.data();
  const uint8_t* S = Dib->ScanLine(Y);
  if (FPhotometric == PhotoRgb) {
    if (PixelFormat == pf24bit) {
      std::memcpy(D, S, size_t(Width) * 3);
      SwapRedBlue(D, Width, 3);
    } else {
      Dib->GetRowColors(Y, FColors);
      for (int32_t X = 0; X < Width; ++X)
        ColorToRGBBytes(FColors[size_t(X)], D + 3 * X);
    }
  } else if (FExpandTo4) {
    std::fill(FRowBuffer.begin(), FRowBuffer.end(), uint8_t(0));
    for (int32_t X = 0; X < Width; ++X)
      Set4(D, X, Get1(S, X));
  } else {
    std::memcpy(D, S, FRowBuffer.size());
  }
  if (!UsePredictor)
    return FRowBuffer;
  HorizontalDifferences(FRowBuffer.data(), FPredicted.data(), FRowBuffer.size(), size_t(FSamples));
  return FPredicted;
}

void TTifWriter::CheckOffset(uint64_t Position) {
  if (Position > MaxFileSize)
    Fail(ImgMsg::TifTooLarge);
}

void TTifWriter::WriteStrips() {
  auto Sink = [this](std::span<const uint8_t> Data) {
    CheckOffset(uint64_t(Stream->Position()) + uint64_t(BufferCount) + Data.size());
    BufferedWrite(Data.data(), Data.size());
  };
  TTifLzwEncoder Lzw(Sink);
  TDeflateStream Deflate;
  const bool UseLzw = Compression == TifCmp::Lzw || Compression == TifCmp::LzwPredict;
  const bool UseDeflate = Compression == TifCmp::Deflate;
  if (UseDeflate && !Deflate.Start(DeflateLevel, UsePredictor, size_t(WriteBufferSize), Sink))
    Fail(ImgMsg::CompressionError);

  auto EndStrip = [&] {
    if (UseLzw)
      Lzw.Finish();
    else if (UseDeflate && !Deflate.Finish())
      Fail(ImgMsg::CompressionError);
  };
  for (int32_t Y = 0; Y < Height; ++Y) {
    if (Y % RowsPerStrip == 0) {
      if (Y > 0) {
        EndStrip();
        if (UseDeflate && !Deflate.Restart())
          Fail(ImgMsg::CompressionError);
      }
      FStripOffsets.push_back(uint32_t(Stream->Position() + BufferCount));
      if (UseLzw)
        Lzw.Start();
    }
    const std::span<const uint8_t> Row = ProduceRow(Y);
    if (UseLzw)
      Lzw.Feed(Row);
    else if (UseDeflate) {
      if (!Deflate.Write(Row))
        Fail(ImgMsg::CompressionError);
    } else
      BufferedWrite(Row.data(), Row.size());
    RowDone();
  }
  EndStrip();
}

void TTifWriter::FinishStripTable() {
  const uint64_t End = uint64_t(Stream->Position());
  CheckOffset(End);
  std::vector<uint8_t> Offsets(FStripOffsets.size() * 4), Counts(FStripOffsets.size() * 4);
  for (size_t I = 0; I < FStripOffsets.size(); ++I) {
    const uint32_t Next = I + 1 < FStripOffsets.size() ? FStripOffsets[I + 1] : uint32_t(End);
    const uint32_t Count = Next - FStripOffsets[I];
    Put32(&Offsets[I * 4], FStripOffsets[I], BigEndian);
    Put32(&Counts[I * 4], Count, BigEndian);
  }
  Stream->Seek(FOffsetsPos);
  WriteRaw(Offsets.data(), Offsets.size());
  Stream->Seek(FCountsPos);
  WriteRaw(Counts.data(), Counts.size());
  Stream->Seek(int64_t(End));
}

void TTifWriter::WriteImage() {
  FRowBuffer.assign(size_t(RowBytes), 0);
  FPredicted.assign(UsePredictor ? size_t(RowBytes) : 0, 0);
  FColors.assign(size_t(Width), 0);
  FStripOffsets.clear();
  FStripOffsets.reserve(size_t(StripCount));
  BeginBuffer();
  WriteStrips();
  FlushBuffer();
  EndBuffer();
  FinishStripTable();
}
