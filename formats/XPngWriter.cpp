#include "XPng.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <numeric>

#include "XPngCommon.h"
#include "XZlib.h"

namespace {

constexpr size_t OutputBufferSize = 65520;

// Characters outside Latin-1 become "?"; Lossless tells whether none did.
std::string Utf8ToLatin1(const std::string& S, bool& Lossless) {
  Lossless = true;
  std::string Out;
  for (size_t I = 0; I < S.size();) {
    const uint8_t C = uint8_t(S[I]);
    size_t Len = 1;
    uint32_t Code = C;
    if (C >= 0xF0) {
      Len = 4;
    } else if (C >= 0xE0) {
      Len = 3;
    } else if (C >= 0xC0) {
      Len = 2;
      if (I + 1 < S.size())
        Code = ((C & 0x1Fu) << 6) | (uint8_t(S[I + 1]) & 0x3Fu);
    } else if (C >= 0x80) {
      Code = '?';
    }
    const bool Fits = Code <= 0xFF && Len <= 2 && !(C >= 0x80 && C < 0xC0);
    Lossless = Lossless && Fits;
    Out.push_back(Fits ? char(Code) : '?');
    I += Len;
  }
  return Out;
}

inline uint32_t Cost(uint8_t V) { return V < 128 ? V : 256u - V; }

template <int Type>
inline uint8_t Residual(uint32_t X, uint32_t A, uint32_t B, uint32_t C) {
  if constexpr (Type == 1)
    return uint8_t(X - A);
  else if constexpr (Type == 2)
    return uint8_t(X - B);
  else if constexpr (Type == 3)
    return uint8_t(X - ((A + B) >> 1));
  else
    return uint8_t(X - Png::PaethPredictor(int32_t(A), int32_t(B), int32_t(C)));
}

// Fills Out[1..] with the filtered row and Out[0] with the type; gives up
// once the running cost passes Bound.
template <int Type>
uint64_t FilterRow(const uint8_t* Raw, const uint8_t* Up, uint8_t* Out, size_t N, size_t Bpp, uint64_t Bound) {
  Out[0] = uint8_t(Type);
  uint8_t* Q = Out + 1;
  uint64_t Sum = 0;
  const size_t Lead = std::min(Bpp, N);
  for (size_t I = 0; I < Lead; ++I) {
    Q[I] = Residual<Type>(Raw[I], 0, Up[I], 0);
    Sum += Cost(Q[I]);
  }
  constexpr size_t Block = 512;
  for (size_t Start = Lead; Start < N; Start += Block) {
    const size_t End = std::min(N, Start + Block);
    uint32_t Part = 0;
    for (size_t I = Start; I < End; ++I) {
      const uint8_t V = Residual<Type>(Raw[I], Raw[I - Bpp], Up[I], Up[I - Bpp]);
      Q[I] = V;
      Part += Cost(V);
    }
    Sum += Part;
    if (Sum >= Bound)
      return Sum;
  }
  return Sum;
}

} // namespace

TPngWriter::TPngWriter() { FormatName = "PNG"; }

void TPngWriter::WriteChunk(const char* Type, std::span<const uint8_t> Data) {
  uint8_t Head[8];
  PutBE32(Head, uint32_t(Data.size()));
  std::memcpy(Head + 4, Type, 4);
  const uint32_t Crc = Crc32(Crc32(0, Head + 4, 4), Data.data(), Data.size());
  uint8_t Tail[4];
  PutBE32(Tail, Crc);
  WriteRaw(Head, sizeof Head);
  WriteRaw(Data.data(), Data.size());
  WriteRaw(Tail, sizeof Tail);
}

void TPngWriter::WriteHeader() {
  FormatName = "PNG";
  FIndexMap = {};
  std::iota(FIndexMap.begin(), FIndexMap.end(), uint8_t(0));
  FMapIndexes = false;
  FSamples = 1;
  switch (PixelFormat) {
  case pf1bit:
  case pf4bit:
  case pf8bit:
    FColorType = IsGray ? 0 : 3;
    FBitDepth = PixelFormat == pf1bit ? 1 : PixelFormat == pf4bit ? 4 : 8;
    ColorManager.SetSource(IsGray ? cfGray : cfPalette, 1, FBitDepth);
    ColorManager.SetTarget(IsGray ? cfGray : cfPalette, FBitDepth);
    break;
  case pf15bit:
  case pf16bit:
    FColorType = 2;
    FBitDepth = 8;
    FSamples = 3;
    break;
  case pf24bit:
  case pf32bit:
    FColorType = 2;
    FBitDepth = 8;
    FSamples = 3;
    // 32-bit pixels hold red first; their fourth byte is not written.
    ColorManager.SetSource(PixelFormat == pf24bit ? cfBGR : cfRGB, PixelFormat == pf24bit ? 3 : 4, 8);
    ColorManager.SetTarget(cfRGB, 8);
    break;
  default: Fail(ImgMsg::UnsupportedFormat);
  }
  FPixelBytes = std::max(1, (FBitDepth + 7) / 8 * FSamples);
  FRowLength = PackedRowBytes(Width, int64_t(FBitDepth) * FSamples);

  WriteRaw(Png::Signature, sizeof Png::Signature);
  uint8_t Ihdr[13];
  PutBE32(Ihdr, uint32_t(Width));
  PutBE32(Ihdr + 4, uint32_t(Height));
  Ihdr[8] = FBitDepth;
  Ihdr[9] = FColorType;
  Ihdr[10] = 0;
  Ihdr[11] = 0;
  Ihdr[12] = Interlaced ? 1 : 0;
  WriteChunk("IHDR", Ihdr);
  Compression = cmpDeflate;
}

void TPngWriter::WriteTexts() {
  const std::pair<Png::TTextKey, const std::string*> Texts[] = {
      {Png::TitleKey, &Title}, {Png::AuthorKey, &Author}, {Png::RightsKey, &Rights}};
  for (const auto& [Key, Text] : Texts) {
    if (Text->empty())
      continue;
    bool Lossless = true;
    std::string Latin1 = Utf8ToLatin1(*Text, Lossless);
    if (!Lossless)
      SetWarning(FormatMessage(ImgMsg::TextReplaced));
    // Latin-1 has one byte per character, so the cut splits none.
    if (Latin1.size() > Key.Limit) {
      Latin1.resize(Key.Limit);
      SetWarning(FormatMessage(ImgMsg::TextCut));
    }
    std::string Data(Key.Keyword);
    Data.push_back('\0');
    Data += Latin1;
    WriteChunk("tEXt", {reinterpret_cast<const uint8_t*>(Data.data()), Data.size()});
  }
}

void TPngWriter::WritePalette() {
  int32_t Count = PaletteSize;
  int32_t TI = Transparency.TransparentIndex, BI = Transparency.BackIndex;
  auto Valid = [&Count](int32_t I) { return I >= 0 && I < Count; };
  std::vector<TColor> Colors;
  if (OptimizePalette && FBitDepth >= 4) {
    std::array<uint32_t, 256> Uses{};
    for (int32_t Y = 0; Y < Height; ++Y) {
      const uint8_t* Row = Dib->ScanLine(Y);
      if (FBitDepth == 8) {
        for (int32_t X = 0; X < Width; ++X)
          ++Uses[Row[X]];
      } else {
        for (int32_t X = 0; X < Width; ++X)
          ++Uses[Get4(Row, X)];
      }
    }
    std::vector<int32_t> Kept;
    for (int32_t I = 0; I < Count; ++I)
      if (Uses[size_t(I)] > 0 || (Valid(BI) && I == BI))
        Kept.push_back(I);
    if (PaletteOrder == pngMostUsedFirst)
      std::stable_sort(Kept.begin(), Kept.end(),
                       [&Uses](int32_t A, int32_t B) { return Uses[size_t(A)] > Uses[size_t(B)]; });
    for (size_t New = 0; New < Kept.size(); ++New) {
      FIndexMap[size_t(Kept[New])] = uint8_t(New);
      Colors.push_back(Dib->GetPaletteColor(Kept[New]));
    }
    if (Valid(TI)) {
      if (Uses[size_t(TI)] > 0) {
        TI = FIndexMap[size_t(TI)];
      } else {
        TI = -1;
        BI = -1;
      }
    }
    if (Valid(BI))
      BI = FIndexMap[size_t(BI)];
    Count = int32_t(Kept.size());
    FMapIndexes = true;
  } else {
    for (int32_t I = 0; I < Count; ++I)
      Colors.push_back(Dib->GetPaletteColor(I));
  }
  if (Valid(TI))
    Colors[size_t(TI)] = TColor(Transparency.TransparentColor) & 0xFFFFFF;
  std::vector<uint8_t> Plte;
  for (const TColor C : Colors) {
    Plte.push_back(GetRValue(C));
    Plte.push_back(GetGValue(C));
    Plte.push_back(GetBValue(C));
  }
  WriteChunk("PLTE", Plte);
  if (Valid(TI)) {
    std::vector<uint8_t> Trns(size_t(TI) + 1, 255);
    Trns[size_t(TI)] = 0;
    WriteChunk("tRNS", Trns);
  }
  if (Valid(BI)) {
    const uint8_t Index = uint8_t(BI);
    WriteChunk("bKGD", {&Index, 1});
  }
  PaletteSize = Count;
  Transparency.TransparentIndex = TI;
  Transparency.BackIndex = BI;
}

void TPngWriter::BuildPngRow(int32_t Y, std::span<uint8_t> Out) {
  const uint8_t* Source = Dib->ScanLine(Y);
  const std::span<const uint8_t> SourceRow = Dib->Row(Y);
  switch (PixelFormat) {
  case pf15bit:
  case pf16bit: {
    uint8_t* Q = Out.data();
    for (int32_t X = 0; X < Width; ++X, Q += 3) {
      const uint32_t W = GetLE16(Source + 2 * X);
      Q[0] = uint8_t(((W >> 10) & 31) * 255 / 31);
      Q[1] = uint8_t(((W >> 5) & 31) * 255 / 31);
      Q[2] = uint8_t((W & 31) * 255 / 31);
    }
    return;
  }
  case pf24bit:
  case pf32bit: ColorManager.ConvertRow(SourceRow, Out, 0, 0, Width); return;
  default: break;
  }
  const size_t N = size_t(FRowLength);
  std::memcpy(Out.data(), Source, N);
  if (const int32_t Spare = int32_t(N * 8 - size_t(Width) * FBitDepth))
    Out[N - 1] = uint8_t(Out[N - 1] & (0xFF << Spare));
  if (!FMapIndexes)
    return;
  if (FBitDepth == 8) {
    for (size_t I = 0; I < N; ++I)
      Out[I] = FIndexMap[Out[I]];
  } else {
    for (size_t I = 0; I < N; ++I)
      Out[I] = uint8_t((FIndexMap[Out[I] >> 4] << 4) | (FIndexMap[Out[I] & 0x0F] & 0x0F));
    if (Width & 1)
      Out[N - 1] &= 0xF0;
  }
}

void TPngWriter::PutRow(const TRowSink& Put, std::span<uint8_t> RawWithType, std::span<uint8_t> PrevWithType) {
  const size_t N = RawWithType.size() - 1;
  const uint8_t* Raw = RawWithType.data() + 1;
  const uint8_t* Up = PrevWithType.data() + 1;
  const size_t Bpp = size_t(FPixelBytes);
  RawWithType[0] = 0;
  const uint8_t* Best = RawWithType.data();
  if (Filters != pngFilterNone) {
    uint64_t BestSum = 0;
    for (size_t I = 0; I < N; ++I)
      BestSum += Cost(Raw[I]);
    for (int32_t F = 1; F <= 4; ++F) {
      if (!(Filters & (1 << F)))
        continue;
      std::vector<uint8_t>& C = FCandidates[size_t(F)];
      C.resize(N + 1);
      uint64_t Sum;
      switch (F) {
      case 1: Sum = FilterRow<1>(Raw, Up, C.data(), N, Bpp, BestSum); break;
      case 2: Sum = FilterRow<2>(Raw, Up, C.data(), N, Bpp, BestSum); break;
      case 3: Sum = FilterRow<3>(Raw, Up, C.data(), N, Bpp, BestSum); break;
      default: Sum = FilterRow<4>(Raw, Up, C.data(), N, Bpp, BestSum); break;
      }
      if (Sum < BestSum) {
        BestSum = Sum;
        Best = C.data();
      }
    }
  }
  Put({Best, N + 1});
}

void TPngWriter::WriteRows(const TRowSink& Put) {
  const size_t Full = size_t(FRowLength);
  std::vector<uint8_t> A(Full + 1, 0), B(Full + 1, 0);
  if (!Interlaced) {
    uint8_t* Cur = A.data();
    uint8_t* Prev = B.data();
    for (int32_t Y = 0; Y < Height; ++Y) {
      BuildPngRow(Y, {Cur + 1, Full});
      PutRow(Put, {Cur, Full + 1}, {Prev, Full + 1});
      std::swap(Cur, Prev);
      RowDone();
    }
    return;
  }
  const int32_t PixelBits = int32_t(FBitDepth) * FSamples;
  std::vector<uint8_t> Line(Full, 0);
  for (int32_t P = 0; P < 7; ++P) {
    const Png::TPass& Pass = Png::Adam7[P];
    if (Pass.StartCol >= Width)
      continue;
    const int32_t PassWidth = Pass.Width(Width);
    const size_t N = size_t(PackedRowBytes(PassWidth, PixelBits));
    std::fill(A.begin(), A.end(), uint8_t(0));
    std::fill(B.begin(), B.end(), uint8_t(0));
    uint8_t* Cur = A.data();
    uint8_t* Prev = B.data();
    for (int32_t Y = Pass.StartRow; Y < Height; Y += Pass.RowStep) {
      BuildPngRow(Y, Line);
      std::fill(Cur, Cur + N + 1, uint8_t(0));
      Png::CopyPixels(Line.data(), Pass.StartCol, Pass.ColStep, Cur + 1, 0, 1, PassWidth, PixelBits);
      PutRow(Put, {Cur, N + 1}, {Prev, N + 1});
      std::swap(Cur, Prev);
      if (P >= 5)
        RowDone();
    }
  }
}

void TPngWriter::WriteImage() {
  Filters = uint8_t(Filters | pngFilterNone);
  CompressionLevel = std::clamp(CompressionLevel, 0, 9);
  if (CompressionLevel == 0 || FBitDepth == 1)
    Filters = pngFilterNone;
  WriteTexts();
  if (FColorType == 3)
    WritePalette();
  if (Resolution > 0) {
    uint8_t Phys[9];
    const uint32_t V =
        Resolution <= MaxDpiForPels ? uint32_t(DpiToPelsPerMetre(Resolution)) : std::numeric_limits<uint32_t>::max();
    PutBE32(Phys, V);
    PutBE32(Phys + 4, V);
    Phys[8] = 1;
    WriteChunk("pHYs", Phys);
  }

  const int64_t Bytes = Png::ImageDataBytes(Width, Height, int64_t(FBitDepth) * FSamples, Interlaced);
  if (CompressionLevel > 0 && Bytes <= WholeDeflateLimit)
    DeflateAll(size_t(Bytes));
  else
    DeflateStreamed();
  WriteChunk("IEND", {});
  for (auto& C : FCandidates)
    C = std::vector<uint8_t>();
}

// All filtered rows in one block, deflated in one call and cut into chunks of
// the size the stream writes.
void TPngWriter::DeflateAll(size_t Bytes) {
  std::vector<uint8_t> Data;
  Data.reserve(Bytes);
  WriteRows([&Data](std::span<const uint8_t> Row) { Data.insert(Data.end(), Row.begin(), Row.end()); });
  std::vector<uint8_t> Packed;
  if (!DeflateWhole(CompressionLevel, Data, Packed))
    Fail(ImgMsg::CompressionError);
  Data = std::vector<uint8_t>();
  for (size_t At = 0; At < Packed.size(); At += OutputBufferSize)
    WriteChunk("IDAT", {Packed.data() + At, std::min(OutputBufferSize, Packed.size() - At)});
}

void TPngWriter::DeflateStreamed() {
  // Palette indexes gain nothing from the tuning for filtered rows.
  TDeflateStream D;
  if (!D.Start(CompressionLevel, FColorType != 3, OutputBufferSize,
               [this](std::span<const uint8_t> Data) { WriteChunk("IDAT", Data); }))
    Fail(ImgMsg::CompressionError);
  WriteRows([&D, this](std::span<const uint8_t> Row) {
    if (!D.Write(Row))
      Fail(ImgMsg::CompressionError);
  });
  if (!D.Finish())
    Fail(ImgMsg::CompressionError);
}
