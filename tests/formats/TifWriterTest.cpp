#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "ByteOrder.h"
#include "LzwLib.h"
#include "MemoryCodec.h"
#include "SafeFile.h"
#include "TgaPmgExternal.h"
#include "XTif.h"

namespace {

using MemoryCodec::ExpectSameColors;
using TgaPmgExternal::PatternDib;

struct TFormatCase {
  TPixelFormat Pf;
  bool Gray;
};
constexpr TFormatCase Formats[] = {{pf1bit, true},   {pf1bit, false}, {pf4bit, true},   {pf4bit, false},
                                   {pf8bit, true},   {pf8bit, false}, {pf15bit, false}, {pf16bit, false},
                                   {pf24bit, false}, {pf32bit, false}};
constexpr uint8_t Compressions[] = {0, 3, 4, 12};

std::vector<uint8_t> WriteTif(const TDib& Dib, uint8_t Compression, bool BigEndian, int32_t StripSize = 32768) {
  return MemoryCodec::WriteTo<TTifWriter>(Dib, [&](TTifWriter& W) {
    W.Compression = Compression;
    W.BigEndian = BigEndian;
    W.StripSize = StripSize;
  });
}

// The value field of the first directory entry with Tag; null when absent.
const uint8_t* EntryValue(const std::vector<uint8_t>& F, uint16_t Tag, uint32_t* Count = nullptr) {
  const bool Be = F[0] == 'M';
  const uint32_t Dir = Be ? GetBE32(&F[4]) : GetLE32(&F[4]);
  const uint16_t N = Get16(&F[Dir], Be);
  for (uint32_t I = 0; I < N; ++I) {
    const uint8_t* E = &F[Dir + 2 + I * 12];
    if (Get16(E, Be) == Tag) {
      if (Count)
        *Count = Be ? GetBE32(E + 4) : GetLE32(E + 4);
      return E + 8;
    }
  }
  return nullptr;
}

TEST(TifWriter, EveryPixelFormatCompressionAndByteOrderReadsBack) {
  for (const TFormatCase& F : Formats)
    for (uint8_t C : Compressions)
      for (bool Be : {false, true})
        for (int32_t Strip : {1, 300, 32768}) {
          SCOPED_TRACE(testing::Message() << "pf " << int(F.Pf) << (F.Gray ? " gray" : "") << " compression " << int(C)
                                          << (Be ? " MM" : " II") << " strip " << Strip);
          const auto Dib = PatternDib(37, 23, F.Pf, 7 + F.Pf, F.Gray);
          const auto R = MemoryCodec::ReadFrom<TTifReader>(WriteTif(*Dib, C, Be, Strip));
          ExpectSameColors(*Dib, *R.Dib);
          EXPECT_EQ(R.Reader->BigEndian, Be);
          // Packed samples are never predicted: their LZW is the plain one.
          const bool Packed = F.Pf == pf1bit || F.Pf == pf4bit;
          EXPECT_EQ(R.Reader->Compression, C == 4 && Packed ? 3 : C);
          EXPECT_EQ(R.Dib->IsGray, F.Gray);
        }
}

TEST(TifWriter, ChoosesTheStoredLayoutByPixelFormat) {
  struct TCase {
    TFormatCase F;
    uint8_t Compression;
    int32_t Bits, Samples, Photometric, Predictor;
  };
  const TCase Cases[] = {
      {{pf1bit, true}, 4, 1, 1, 1, 1},   {{pf1bit, false}, 3, 4, 1, 3, 1},  {{pf4bit, false}, 4, 4, 1, 3, 1},
      {{pf8bit, false}, 4, 8, 1, 3, 2},  {{pf8bit, true}, 12, 8, 1, 1, 2},  {{pf8bit, false}, 12, 8, 1, 3, 1},
      {{pf4bit, true}, 12, 4, 1, 1, 1},  {{pf24bit, false}, 3, 8, 3, 2, 1}, {{pf24bit, false}, 12, 8, 3, 2, 2},
      {{pf16bit, false}, 4, 8, 3, 2, 2},
  };
  for (const TCase& K : Cases) {
    SCOPED_TRACE(testing::Message() << "pf " << int(K.F.Pf) << " compression " << int(K.Compression));
    const auto Dib = PatternDib(9, 4, K.F.Pf, 1, K.F.Gray);
    const auto R = MemoryCodec::ReadFrom<TTifReader>(WriteTif(*Dib, K.Compression, false));
    EXPECT_EQ(R.Reader->BitsPerSample, K.Bits);
    EXPECT_EQ(R.Reader->SamplesPerPixel, K.Samples);
    EXPECT_EQ(R.Reader->Photometric, K.Photometric);
    EXPECT_EQ(R.Reader->Predictor, K.Predictor);
  }
}

TEST(TifWriter, OneBitColorBecomesSixteenEntryPalette) {
  TDib Dib(5, 2, pf1bit);
  Dib.SetPaletteColor(0, 0x0000FF);
  Dib.SetPaletteColor(1, 0x00FF00);
  const auto F = WriteTif(Dib, 0, false);
  uint32_t Count = 0;
  const uint8_t* V = EntryValue(F, 320, &Count);
  ASSERT_NE(V, nullptr);
  ASSERT_EQ(Count, 48u);
  const uint8_t* Map = &F[GetLE32(V)];
  EXPECT_EQ(GetLE16(Map), 0xFF00);          // red of entry 0
  EXPECT_EQ(GetLE16(Map + 32 + 2), 0xFF00); // green of entry 1
  for (int I = 2; I < 16; ++I)
    EXPECT_EQ(GetLE16(Map + 2 * I) | GetLE16(Map + 32 + 2 * I) | GetLE16(Map + 64 + 2 * I), 0) << I;
}

TEST(TifWriter, StripsFollowTheTargetSize) {
  TTifWriter W;
  W.StripSize = 8192;
  TMemoryStream S;
  W.CreateStream(S);
  const auto Dib = PatternDib(100, 100, pf24bit, 3);
  W.Write(*Dib);
  EXPECT_EQ(W.RowsPerStrip, 25);
  EXPECT_EQ(W.StripCount, 4);
  const std::vector<uint8_t> F(S.Bytes().begin(), S.Bytes().end());
  uint32_t Count = 0;
  const uint8_t* Offsets = EntryValue(F, 273, &Count);
  ASSERT_EQ(Count, 4u);
  const uint8_t* Counts = EntryValue(F, 279);
  // Four strips of 25 rows of 300 bytes, one after the other up to the end.
  const uint32_t O = GetLE32(Offsets), C = GetLE32(Counts);
  for (uint32_t I = 0; I < 4; ++I) {
    EXPECT_EQ(GetLE32(&F[C + 4 * I]), 7500u);
    EXPECT_EQ(GetLE32(&F[O + 4 * I]), GetLE32(&F[O]) + 7500 * I);
  }
  EXPECT_EQ(GetLE32(&F[O + 12]) + 7500, F.size());
}

TEST(TifWriter, SingleStripKeepsOffsetAndCountInTheEntries) {
  const auto Dib = PatternDib(10, 10, pf8bit, 5);
  for (uint8_t C : Compressions)
    for (bool Be : {false, true}) {
      const auto F = WriteTif(*Dib, C, Be);
      const uint8_t* O = EntryValue(F, 273);
      const uint8_t* N = EntryValue(F, 279);
      const uint32_t Offset = Be ? GetBE32(O) : GetLE32(O), Count = Be ? GetBE32(N) : GetLE32(N);
      EXPECT_EQ(Offset + Count, F.size()) << int(C);
      EXPECT_EQ(C == 0, Count == 100u) << int(C);
    }
}

TEST(TifWriter, TextsArePaddedAndBigEndianShortsLeadTheValueField) {
  const auto Dib = PatternDib(3, 3, pf24bit, 9);
  const auto F = MemoryCodec::WriteTo<TTifWriter>(*Dib, [](TTifWriter& W) {
    W.BigEndian = true;
    W.Author = "Al";
    W.Title = "A harbour at dawn";
    W.Rights = std::string("CC\0hidden", 9);
  });
  uint32_t Count = 0;
  const uint8_t* A = EntryValue(F, 315, &Count);
  ASSERT_NE(A, nullptr);
  EXPECT_EQ(Count, 5u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&F[GetBE32(A)]), 5), std::string("Al  \0", 5));
  const uint8_t* P = EntryValue(F, 262);
  EXPECT_EQ(P[0], 0x00);
  EXPECT_EQ(P[1], 0x02);
  const auto R = MemoryCodec::ReadFrom<TTifReader>(F);
  EXPECT_EQ(R.Reader->Title, "A harbour at dawn");
  EXPECT_EQ(R.Reader->Author, "Al");
  EXPECT_EQ(R.Reader->Rights, "CC");
  // No texts, no entries: 14 of them for an RGB image.
  const auto Plain = WriteTif(*Dib, 3, false);
  EXPECT_EQ(GetLE16(&Plain[8]), 14);
  EXPECT_EQ(EntryValue(Plain, 270), nullptr);
}

TEST(TifWriter, ImagesPastTheOffsetLimitAreRefused) {
  const auto Dib = PatternDib(200, 100, pf24bit, 11);
  for (uint8_t C : Compressions) {
    TMemoryStream S;
    TTifWriter W;
    W.Compression = C;
    W.MaxFileSize = 3000;
    W.CreateStream(S);
    try {
      W.Write(*Dib);
      ADD_FAILURE() << "written with compression " << int(C);
    } catch (const EInvalidGraphicOperation& E) {
      EXPECT_NE(std::string(E.what()).find("too large for a TIFF file"), std::string::npos);
    }
    // Uncompressed data are refused before a byte is written.
    if (C == 0) {
      EXPECT_EQ(S.Bytes().size(), 0u);
    }
  }
}

TEST(TifWriter, FailedSaveKeepsTheExistingFile) {
  const auto Name = std::filesystem::temp_directory_path() / ("pelorin-tifkeep-" + std::to_string(::getpid()) + ".tif");
  std::ofstream(Name, std::ios::binary) << "previous contents";
  const auto Dib = PatternDib(200, 100, pf24bit, 12);
  EXPECT_THROW(SaveViaTempFile(Name,
                               [&](TStream& S) {
                                 TTifWriter W;
                                 W.Compression = 12;
                                 W.MaxFileSize = 2000;
                                 W.CreateStream(S);
                                 W.Write(*Dib);
                               }),
               EInvalidGraphicOperation);
  std::ifstream In(Name, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(In), {}), "previous contents");
  std::filesystem::remove(Name);
}

std::vector<uint8_t> LzwEncode(std::span<const uint8_t> Data, size_t Piece) {
  std::vector<uint8_t> Out;
  TTifLzwEncoder E([&](std::span<const uint8_t> B) { Out.insert(Out.end(), B.begin(), B.end()); });
  E.Start();
  for (size_t I = 0; I < Data.size(); I += Piece)
    E.Feed(Data.subspan(I, std::min(Piece, Data.size() - I)));
  E.Finish();
  return Out;
}

TEST(TifLzwEncoder, DecodesBackWhateverThePiecesAndTableResets) {
  std::mt19937 Rng(4);
  std::vector<std::vector<uint8_t>> Inputs = {{}, {0x41}, std::vector<uint8_t>(100000, 7)};
  // Noise fills the table many times; a few symbols make long strings.
  for (uint32_t Symbols : {256u, 4u}) {
    std::vector<uint8_t> V(150000);
    for (auto& B : V)
      B = uint8_t(Rng() % Symbols);
    Inputs.push_back(V);
  }
  for (const auto& In : Inputs)
    for (size_t Piece : {size_t(1), size_t(37), size_t(1) << 20}) {
      const auto Coded = LzwEncode(In, Piece);
      EXPECT_EQ(Coded, LzwEncode(In, 1 << 20)) << "pieces change the codes";
      TTifLzwDecoder D;
      D.Start(Coded);
      std::vector<uint8_t> Back(In.size() + 16);
      const size_t N = D.Decode(Back);
      Back.resize(N);
      EXPECT_EQ(Back, In) << In.size() << " bytes in pieces of " << Piece;
      EXPECT_FALSE(D.BogusCode());
      EXPECT_FALSE(D.OldStyle());
    }
}

} // namespace
