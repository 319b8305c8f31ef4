#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "MemoryCodec.h"
#include "TgaPmgExternal.h"
#include "XTga.h"

using namespace TgaPmgExternal;

namespace {

struct TTgaLayout {
  uint8_t Type = 2;
  uint8_t Bits = 24;
  uint8_t Descriptor = 0x20;
  int32_t Width = 2, Height = 2;
  uint8_t MapType = 0;
  uint16_t FirstEntry = 0, MapLength = 0;
  uint8_t EntryBits = 0;
  std::vector<uint8_t> Map = {};
  std::vector<uint8_t> Data = {};
};

std::vector<uint8_t> MakeTga(const TTgaLayout& L) {
  std::vector<uint8_t> F(18, 0);
  F[1] = L.MapType;
  F[2] = L.Type;
  PutLE16(&F[3], L.FirstEntry);
  PutLE16(&F[5], L.MapLength);
  F[7] = L.EntryBits;
  PutLE16(&F[12], uint16_t(L.Width));
  PutLE16(&F[14], uint16_t(L.Height));
  F[16] = L.Bits;
  F[17] = L.Descriptor;
  // Sized once and copied: GCC's -O3 array-bounds check misreads two inserts.
  const size_t Header = F.size();
  F.resize(Header + L.Map.size() + L.Data.size());
  std::copy(L.Map.begin(), L.Map.end(), F.begin() + std::ptrdiff_t(Header));
  std::copy(L.Data.begin(), L.Data.end(), F.begin() + std::ptrdiff_t(Header + L.Map.size()));
  return F;
}

using TRead = MemoryCodec::TRead<TTgaReader>;

TRead ReadTga(const std::vector<uint8_t>& File) { return MemoryCodec::ReadFrom<TTgaReader>(File); }
std::string ErrorOf(const std::vector<uint8_t>& File) { return MemoryCodec::ErrorOf<TTgaReader>(File); }

std::vector<uint8_t> WriteTga(const TDib& Dib, bool Rle) {
  TMemoryStream S;
  TTgaWriter W;
  W.RunLength = Rle;
  W.CreateStream(S);
  W.Write(Dib);
  EXPECT_TRUE(W.OK);
  EXPECT_EQ(W.Compression, Rle ? cmpRLE : cmpNone);
  return {S.Bytes().begin(), S.Bytes().end()};
}

const TPixelFormat AllFormats[] = {pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit};

} // namespace

// Every pixel format, gray and colored, plain and run-length, with widths
// that put runs and literals of more than 128 pixels across row ends.
TEST(TgaRoundTrip, EveryPixelFormat) {
  for (TPixelFormat Pf : AllFormats)
    for (bool Gray : {false, true})
      for (bool Rle : {false, true})
        for (int32_t W : {1, 2, 7, 300}) {
          if (Gray && PaletteSizeOf(Pf) == 0)
            continue;
          SCOPED_TRACE(testing::Message() << "format " << int(Pf) << " gray " << Gray << " rle " << Rle << " w " << W);
          const auto Src = PatternDib(W, 4, Pf, uint32_t(Pf * 10 + W), Gray);
          const TRead R = ReadTga(WriteTga(*Src, Rle));
          EXPECT_EQ(R.Reader->Compression, Rle ? cmpRLE : cmpNone);
          EXPECT_EQ(R.Reader->IsGray, Gray);
          EXPECT_EQ(R.Dib->PixelFormat(), Pf == pf32bit   ? pf24bit
                                          : Pf == pf15bit ? pf16bit
                                          : Pf < pf8bit   ? pf8bit
                                                          : Pf);
          EXPECT_EQ(R.Reader->Warning, "");
          for (int32_t Y = 0; Y < 4; ++Y)
            for (int32_t X = 0; X < W; ++X)
              ASSERT_EQ(R.Dib->GetPixelColor(X, Y), Src->GetPixelColor(X, Y)) << X << "," << Y;
        }
}

TEST(TgaWriter, RunsStopAt127AndNeverCrossRows) {
  TDib Dib(200, 2, pf24bit);
  Dib.Fill(RGBColor(1, 2, 3));
  const auto F = WriteTga(Dib, true);
  ASSERT_EQ(F.size(), 18u + 2 * (4 + 4));
  EXPECT_EQ(F[2], 10);
  EXPECT_EQ(F[18], 0xFE);
  EXPECT_EQ(F[22], 0xC8);
  EXPECT_EQ(F[26], 0xFE);

  TDib Mixed(6, 1, pf8bit);
  Mixed.MakeGrayPalette();
  const uint8_t Values[] = {5, 6, 7, 7, 7, 8};
  std::memcpy(Mixed.ScanLine(0), Values, 6);
  const auto M = WriteTga(Mixed, true);
  const std::vector<uint8_t> Packets(M.begin() + 18, M.end());
  EXPECT_EQ(Packets, (std::vector<uint8_t>{1, 5, 6, 0x82, 7, 0, 8}));
}

TEST(TgaWriter, RefusesWhatTheHeaderCannotHoldAndShortWrites) {
  TDib Wide(70000, 1, pf8bit);
  TMemoryStream S;
  TTgaWriter W;
  W.CreateStream(S);
  EXPECT_THROW(W.Write(Wide), EInvalidGraphicOperation);
  EXPECT_FALSE(W.OK);

  const auto Dib = PatternDib(64, 64, pf24bit, 3);
  TMemoryStream Small;
  Small.SetWriteLimit(1000);
  TTgaWriter W2;
  W2.CreateStream(Small);
  try {
    W2.Write(*Dib);
    FAIL() << "no error";
  } catch (const EInvalidGraphicOperation& E) {
    EXPECT_STREQ(E.what(), "File write error\nDisk full?");
  }
  EXPECT_FALSE(W2.OK);
}

TEST(TgaReader, OriginsFlipAndMirror) {
  TTgaLayout L{.Type = 3, .Bits = 8, .Width = 2, .Height = 2, .Data = {1, 2, 3, 4}};
  for (uint8_t Descriptor : {0x00, 0x10, 0x20, 0x30}) {
    SCOPED_TRACE(int(Descriptor));
    L.Descriptor = Descriptor;
    const TRead R = ReadTga(MakeTga(L));
    const bool Top = Descriptor & 0x20, Right = Descriptor & 0x10;
    const uint8_t* First = R.Dib->ScanLine(Top ? 0 : 1);
    EXPECT_EQ(First[0], Right ? 2 : 1);
    EXPECT_EQ(First[1], Right ? 1 : 2);
    EXPECT_EQ(R.Dib->ScanLine(Top ? 1 : 0)[0], Right ? 4 : 3);
  }
}

TEST(TgaReader, PacketsGoOnIntoTheNextRow) {
  // A 10-pixel run from 3 pixels before the end of the first row.
  TTgaLayout L{.Type = 11, .Bits = 8, .Width = 5, .Height = 3};
  L.Data = {1, 7, 8, 0x89, 9, 0x82, 5};
  const TRead R = ReadTga(MakeTga(L));
  EXPECT_EQ(R.Reader->Warning, "");
  EXPECT_EQ(std::vector<uint8_t>(R.Dib->ScanLine(0), R.Dib->ScanLine(0) + 5), (std::vector<uint8_t>{7, 8, 9, 9, 9}));
  EXPECT_EQ(std::vector<uint8_t>(R.Dib->ScanLine(1), R.Dib->ScanLine(1) + 5), (std::vector<uint8_t>{9, 9, 9, 9, 9}));
  EXPECT_EQ(std::vector<uint8_t>(R.Dib->ScanLine(2), R.Dib->ScanLine(2) + 5), (std::vector<uint8_t>{9, 9, 5, 5, 5}));
}

TEST(TgaReader, RunLengthDataThatOverrunsOrEndsEarly) {
  TTgaLayout L{.Type = 11, .Bits = 8, .Width = 2, .Height = 2};
  L.Data = {0xFF, 4};
  const TRead R = ReadTga(MakeTga(L));
  EXPECT_EQ(R.Reader->Warning, "Compression error found in TGA file.");
  EXPECT_EQ(R.Dib->ScanLine(1)[1], 4);

  L.Data = {0x81, 4};
  EXPECT_EQ(ErrorOf(MakeTga(L)), "Stream read error in TGA file.");
  // A literal packet whose pixels are cut by the end of the file.
  L.Type = 10;
  L.Bits = 24;
  L.Data = {0x03, 1, 2, 3, 4, 5};
  EXPECT_EQ(ErrorOf(MakeTga(L)), "Stream read error in TGA file.");
}

TEST(TgaReader, ClaimsBeyondTheDataFailBeforeAllocating) {
  // 65535 x 65535 would need 12 GB; neither form of data can fill it.
  TTgaLayout Big{.Type = 2, .Bits = 24, .Width = 65535, .Height = 65535, .Data = std::vector<uint8_t>(100, 0)};
  EXPECT_EQ(ErrorOf(MakeTga(Big)), "Stream read error in TGA file.");
  Big.Type = 10;
  EXPECT_EQ(ErrorOf(MakeTga(Big)), "Stream read error in TGA file.");
  // 100 run packets of 4 bytes reach 12800 pixels and no more.
  TTgaLayout Rle{.Type = 10, .Bits = 24, .Width = 128, .Height = 100};
  for (int I = 0; I < 100; ++I)
    Rle.Data.insert(Rle.Data.end(), {0xFF, 1, 2, 3});
  EXPECT_EQ(ErrorOf(MakeTga(Rle)), "");
  Rle.Height = 101;
  EXPECT_EQ(ErrorOf(MakeTga(Rle)), "Stream read error in TGA file.");
}

TEST(TgaReader, BadHeaders) {
  const std::string Bad = "Invalid TGA header";
  const TTgaLayout Good{.Data = std::vector<uint8_t>(12, 0)};
  EXPECT_EQ(ErrorOf(MakeTga(Good)), "");
  auto With = [&](auto Change) {
    TTgaLayout L = Good;
    Change(L);
    return ErrorOf(MakeTga(L));
  };
  EXPECT_EQ(With([](TTgaLayout& L) { L.Width = 0; }), Bad);
  EXPECT_EQ(With([](TTgaLayout& L) { L.Height = 0; }), Bad);
  EXPECT_EQ(With([](TTgaLayout& L) { L.Bits = 12; }), Bad);
  EXPECT_EQ(With([](TTgaLayout& L) { L.Type = 0; }), Bad);
  EXPECT_EQ(With([](TTgaLayout& L) { L.Type = 32; }), Bad);
  EXPECT_EQ(With([](TTgaLayout& L) { L.Type = 3; }), Bad) << "24-bit gray";
  EXPECT_EQ(With([](TTgaLayout& L) {
              L.MapType = 1;
              L.MapLength = 1;
              L.EntryBits = 8;
            }),
            Bad);
  EXPECT_EQ(With([](TTgaLayout& L) {
              L.Type = 1;
              L.Bits = 8;
            }),
            Bad)
      << "color-mapped without a map";
  EXPECT_EQ(With([](TTgaLayout& L) { L.Data.clear(); }), Bad) << "no pixel data";
  EXPECT_EQ(With([](TTgaLayout& L) { L.Data.resize(11); }), "Stream read error in TGA file.");
}

TEST(TgaReader, ColorMapsStartAtTheirFirstEntryAndUnusedOnesAreSkipped) {
  TTgaLayout L{.Type = 1,
               .Bits = 8,
               .Width = 2,
               .Height = 1,
               .MapType = 1,
               .FirstEntry = 2,
               .MapLength = 2,
               .EntryBits = 24,
               .Map = {1, 2, 3, 4, 5, 6},
               .Data = {2, 3}};
  TRead R = ReadTga(MakeTga(L));
  EXPECT_EQ(R.Dib->GetPixelColor(0, 0), RGBColor(3, 2, 1));
  EXPECT_EQ(R.Dib->GetPixelColor(1, 0), RGBColor(6, 5, 4));

  // 15-bit entries: 5 bits each, bit 15 ignored.
  L = {.Type = 1, .Bits = 8, .Width = 1, .Height = 1, .MapType = 1, .MapLength = 1, .EntryBits = 15};
  L.Map = {0x1F, 0xFC};
  L.Data = {0};
  R = ReadTga(MakeTga(L));
  EXPECT_EQ(R.Dib->GetPixelColor(0, 0), RGBColor(248, 0, 248));

  // A map beside true-color pixels is not part of them.
  L = {.Type = 2, .Bits = 24, .Width = 1, .Height = 1, .MapType = 1, .MapLength = 2, .EntryBits = 16};
  L.Map = {9, 9, 9, 9};
  L.Data = {1, 2, 3};
  R = ReadTga(MakeTga(L));
  EXPECT_EQ(R.Dib->GetPixelColor(0, 0), RGBColor(3, 2, 1));
}

TEST(TgaReader, AlphaIsDropped) {
  TTgaLayout L{.Type = 2, .Bits = 32, .Width = 1, .Height = 1, .Data = {1, 2, 3, 4}};
  TRead R = ReadTga(MakeTga(L));
  EXPECT_EQ(R.Dib->PixelFormat(), pf24bit);
  EXPECT_TRUE(R.Reader->HasAlpha);
  EXPECT_EQ(R.Dib->GetPixelColor(0, 0), RGBColor(3, 2, 1));
  // 16-bit gray is a gray byte and an alpha byte.
  L = {.Type = 3, .Bits = 16, .Width = 2, .Height = 1, .Data = {200, 0, 50, 255}};
  R = ReadTga(MakeTga(L));
  EXPECT_EQ(R.Dib->PixelFormat(), pf8bit);
  EXPECT_EQ(R.Dib->GetPixelColor(0, 0), RGBColor(200, 200, 200));
  EXPECT_EQ(R.Dib->GetPixelColor(1, 0), RGBColor(50, 50, 50));
}

// Our files read back the same in decoders that share no code with ours.
TEST(TgaExternal, OtherDecodersReadOurFiles) {
  const bool Pillow = HavePillow(), Netpbm = HaveCommand("anytopnm") && HaveCommand("pnmtopng");
  if (!Pillow && !Netpbm)
    GTEST_SKIP() << "neither python3-pil nor netpbm is installed";
  for (TPixelFormat Pf : AllFormats)
    for (bool Rle : {false, true}) {
      SCOPED_TRACE(testing::Message() << "format " << int(Pf) << " rle " << Rle);
      const auto Src = PatternDib(131, 3, Pf, uint32_t(Pf), Pf == pf4bit);
      TTempFile File(".tga");
      File.Write(WriteTga(*Src, Rle));
      // 5-bit channels: others replicate the top bits where the buffer adds 3.
      const int Tolerance = Pf == pf15bit || Pf == pf16bit ? 4 : 0;
      if (Pillow) {
        EXPECT_EQ(FirstDifference(*Src, PillowDecode(File.Path()), Tolerance), "") << "Pillow";
      }
      if (Netpbm) {
        EXPECT_EQ(FirstDifference(*Src, NetpbmDecode(File.Path()), Tolerance), "") << "netpbm";
      }
    }
  if (!Pillow || !Netpbm)
    GTEST_SKIP() << (Pillow ? "netpbm" : "python3-pil") << " not installed; checked with the other only";
}
