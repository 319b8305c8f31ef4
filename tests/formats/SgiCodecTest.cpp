#include <gtest/gtest.h>

#include <cstring>

#include "MemoryCodec.h"
#include "TgaPmgExternal.h"
#include "XSgi.h"

using namespace TgaPmgExternal;

namespace {

// A file as the tests need it: the header fields, then either the planes or
// the two tables and the rows they point to. Offsets in Offsets are counted
// from the start of Rows; the tables are placed right after the header.
struct TSgiLayout {
  uint16_t Magic = 474;
  uint8_t Storage = 0;
  uint8_t SampleBytes = 1;
  int32_t Width = 2, Height = 1, Channels = 1;
  std::string Name{};
  std::vector<uint8_t> Data{};
  std::vector<uint32_t> Offsets{}, Lengths{};
};

std::vector<uint8_t> MakeSgi(const TSgiLayout& L) {
  std::vector<uint8_t> F(512, 0);
  PutBE16(&F[0], L.Magic);
  F[2] = L.Storage;
  F[3] = L.SampleBytes;
  PutBE16(&F[4], 3);
  PutBE16(&F[6], uint16_t(L.Width));
  PutBE16(&F[8], uint16_t(L.Height));
  PutBE16(&F[10], uint16_t(L.Channels));
  std::memcpy(&F[24], L.Name.data(), std::min<size_t>(L.Name.size(), 80));
  if (L.Storage == 1) {
    const uint32_t Base = uint32_t(512 + 4 * (L.Offsets.size() + L.Lengths.size()));
    for (uint32_t O : L.Offsets) {
      F.resize(F.size() + 4);
      PutBE32(&F[F.size() - 4], Base + O);
    }
    for (uint32_t N : L.Lengths) {
      F.resize(F.size() + 4);
      PutBE32(&F[F.size() - 4], N);
    }
  }
  F.insert(F.end(), L.Data.begin(), L.Data.end());
  return F;
}

// Run-length data of one row per table entry, each row after the other.
TSgiLayout RleLayout(int32_t Width, int32_t Height, int32_t Channels, const std::vector<std::vector<uint8_t>>& Rows,
                     uint8_t SampleBytes = 1) {
  TSgiLayout L{.Storage = 1, .SampleBytes = SampleBytes, .Width = Width, .Height = Height, .Channels = Channels};
  for (const auto& R : Rows) {
    L.Offsets.push_back(uint32_t(L.Data.size()));
    L.Lengths.push_back(uint32_t(R.size()));
    L.Data.insert(L.Data.end(), R.begin(), R.end());
  }
  return L;
}

using TRead = MemoryCodec::TRead<TSgiReader>;

TRead ReadSgi(const std::vector<uint8_t>& File, bool Alpha = false, TColor Background = RGBColor(0, 0, 200)) {
  return MemoryCodec::ReadFrom<TSgiReader>(File, [&](TSgiReader& R) {
    R.AlphaEnabled = Alpha;
    R.SetBackground(Background);
  });
}
std::string ErrorOf(const std::vector<uint8_t>& File) { return MemoryCodec::ErrorOf<TSgiReader>(File); }

std::vector<uint8_t> WriteSgi(const TDib& Dib) { return MemoryCodec::WriteTo<TSgiWriter>(Dib); }

std::vector<uint8_t> RowOf(const TDib& Dib, int32_t Y, int32_t Bytes) {
  return {Dib.ScanLine(Y), Dib.ScanLine(Y) + Bytes};
}

const TPixelFormat AllFormats[] = {pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit};

} // namespace

TEST(SgiRoundTrip, EveryPixelFormat) {
  for (TPixelFormat Pf : AllFormats)
    for (bool Gray : {false, true}) {
      if (Gray && PaletteSizeOf(Pf) == 0)
        continue;
      SCOPED_TRACE(testing::Message() << "format " << int(Pf) << " gray " << Gray);
      const auto Src = PatternDib(130, 5, Pf, uint32_t(Pf * 7 + Gray), Gray);
      const TRead R = ReadSgi(WriteSgi(*Src));
      EXPECT_EQ(R.Reader->Channels, Gray ? 1 : 3);
      EXPECT_EQ(R.Reader->IsGray, Gray);
      EXPECT_EQ(R.Dib->PixelFormat(), Gray ? pf8bit : pf24bit);
      EXPECT_EQ(R.Reader->Warning, "");
      for (int32_t Y = 0; Y < 5; ++Y)
        for (int32_t X = 0; X < 130; ++X)
          ASSERT_EQ(R.Dib->GetPixelColor(X, Y), Src->GetPixelColor(X, Y)) << X << "," << Y;
    }
}

TEST(SgiWriter, RefusesWhatTheHeaderCannotHold) {
  TDib Wide(70000, 1, pf8bit);
  TMemoryStream S;
  TSgiWriter W;
  W.CreateStream(S);
  EXPECT_THROW(W.Write(Wide), EInvalidGraphicOperation);
  EXPECT_FALSE(W.OK);
  EXPECT_EQ(S.Bytes().size(), 0u);
}

TEST(SgiReader, RunLengthPacketsAndTitle) {
  TSgiLayout L = RleLayout(5, 1, 1, {{0x82, 10, 20, 0x03, 30, 0x00}});
  L.Name = "sunset";
  const TRead R = ReadSgi(MakeSgi(L));
  EXPECT_EQ(R.Reader->Compression, cmpRLE);
  EXPECT_EQ(R.Reader->Title, "sunset");
  EXPECT_EQ(R.Reader->Warning, "");
  EXPECT_EQ(RowOf(*R.Dib, 0, 5), (std::vector<uint8_t>{10, 20, 30, 30, 30}));

  // Rows that end without a closing header, and rows sharing their data.
  L = RleLayout(3, 2, 1, {{0x03, 9}});
  L.Offsets.push_back(0);
  L.Lengths.push_back(2);
  const TRead Shared = ReadSgi(MakeSgi(L));
  EXPECT_EQ(Shared.Reader->Warning, "");
  EXPECT_EQ(RowOf(*Shared.Dib, 0, 3), (std::vector<uint8_t>{9, 9, 9}));
  EXPECT_EQ(RowOf(*Shared.Dib, 1, 3), (std::vector<uint8_t>{9, 9, 9}));
}

TEST(SgiReader, SixteenBitSamplesAndPacketWords) {
  // Big-endian samples reduced to 8 bits; each packet header is a word.
  TSgiLayout L{.SampleBytes = 2, .Width = 2, .Height = 1, .Channels = 1, .Data = {0xFF, 0xFF, 0x12, 0x34}};
  TRead R = ReadSgi(MakeSgi(L));
  EXPECT_EQ(R.Dib->PixelFormat(), pf8bit);
  EXPECT_EQ(RowOf(*R.Dib, 0, 2), (std::vector<uint8_t>{255, 0x1234 / 257}));

  L = RleLayout(3, 1, 1, {{0x00, 0x81, 0x80, 0x00, 0x00, 0x02, 0x40, 0x00, 0x00, 0x00}}, 2);
  R = ReadSgi(MakeSgi(L));
  EXPECT_EQ(R.Reader->Warning, "");
  EXPECT_EQ(RowOf(*R.Dib, 0, 3), (std::vector<uint8_t>{0x8000 / 257, 0x4000 / 257, 0x4000 / 257}));
}

TEST(SgiReader, AlphaIsDroppedOrBlendedOntoTheBackground) {
  TSgiLayout L{.Width = 1, .Height = 1, .Channels = 4, .Data = {200, 100, 50, 0}};
  TRead R = ReadSgi(MakeSgi(L));
  EXPECT_TRUE(R.Reader->HasAlpha);
  EXPECT_EQ(R.Reader->ColorFormat, cfBGRA);
  EXPECT_EQ(R.Dib->PixelFormat(), pf24bit);
  EXPECT_EQ(R.Dib->GetPixelColor(0, 0), RGBColor(200, 100, 50));
  R = ReadSgi(MakeSgi(L), true);
  EXPECT_EQ(R.Dib->GetPixelColor(0, 0), RGBColor(0, 0, 200));

  L = {.Width = 2, .Height = 1, .Channels = 2, .Data = {90, 90, 255, 0}};
  R = ReadSgi(MakeSgi(L), true, RGBColor(60, 60, 60));
  EXPECT_TRUE(R.Reader->IsGray);
  EXPECT_EQ(R.Dib->PixelFormat(), pf8bit);
  EXPECT_EQ(RowOf(*R.Dib, 0, 2)[0], 90);
  EXPECT_EQ(RowOf(*R.Dib, 0, 2)[1], 60);
}

TEST(SgiReader, BadHeaders) {
  const TSgiLayout Good{.Data = {1, 2}};
  EXPECT_EQ(ErrorOf(MakeSgi(Good)), "");
  auto With = [&](auto Change) {
    TSgiLayout L = Good;
    Change(L);
    return ErrorOf(MakeSgi(L));
  };
  EXPECT_EQ(With([](TSgiLayout& L) { L.Magic = 475; }), "Invalid SGI header");
  EXPECT_EQ(With([](TSgiLayout& L) { L.SampleBytes = 3; }), "Invalid SGI header");
  EXPECT_EQ(With([](TSgiLayout& L) { L.Width = 0; }), "Invalid SGI header");
  EXPECT_EQ(With([](TSgiLayout& L) { L.Channels = 0; }), "Invalid SGI image format.");
  EXPECT_EQ(With([](TSgiLayout& L) { L.Channels = 5; }), "Invalid SGI image format.");
  EXPECT_EQ(With([](TSgiLayout& L) {
              L.Width = 65535;
              L.Channels = 65535;
            }),
            "Invalid SGI image format.");
  EXPECT_EQ(With([](TSgiLayout& L) { L.Storage = 2; }), "Invalid compression scheme in SGI file.");
  EXPECT_EQ(With([](TSgiLayout& L) { L.Data.pop_back(); }), "Stream read error in SGI file.");
  EXPECT_EQ(ErrorOf(std::vector<uint8_t>(100, 0)), "Stream read error in SGI file.");
}

TEST(SgiReader, ClaimsBeyondTheDataFailBeforeAllocating) {
  // 65535 x 65535 x 4 would need 17 GB.
  TSgiLayout Big{.Width = 65535, .Height = 65535, .Channels = 4, .Data = std::vector<uint8_t>(1000, 0)};
  EXPECT_EQ(ErrorOf(MakeSgi(Big)), "Stream read error in SGI file.");
  Big.Storage = 1;
  EXPECT_EQ(ErrorOf(MakeSgi(Big)), "Stream read error in SGI file.") << "tables past the end";
  // 254 samples need two run packets: a row of three bytes cannot hold them.
  EXPECT_EQ(ErrorOf(MakeSgi(RleLayout(254, 1, 1, {{0x7F, 1, 0x7F, 1}}))), "");
  EXPECT_EQ(ErrorOf(MakeSgi(RleLayout(254, 1, 1, {{0x7F, 1, 0x00}}))), "Stream read error in SGI file.");
}

TEST(SgiReader, TablesAndRowsThatLeaveTheFileOrTheRow) {
  const std::string Short = "Stream read error in SGI file.", Bad = "Invalid SGI image format.";
  TSgiLayout L = RleLayout(3, 1, 1, {{0x03, 7, 0}});
  EXPECT_EQ(ErrorOf(MakeSgi(L)), "");
  L.Lengths[0] = 4;
  EXPECT_EQ(ErrorOf(MakeSgi(L)), Short) << "length past the end";
  L.Lengths[0] = 3;
  L.Offsets[0] = 1;
  EXPECT_EQ(ErrorOf(MakeSgi(L)), Short) << "offset past the end";
  L.Offsets[0] = 0xFFFFFFF0u;
  EXPECT_EQ(ErrorOf(MakeSgi(L)), Short) << "offset wraps";
  std::vector<uint8_t> F = MakeSgi(RleLayout(3, 1, 1, {{0x03, 7, 0}}));
  PutBE32(&F[512], 100);
  EXPECT_EQ(ErrorOf(F), Short) << "offset inside the header";

  EXPECT_EQ(ErrorOf(MakeSgi(RleLayout(3, 1, 1, {{0x04, 7, 0}}))), Bad) << "run past the row";
  EXPECT_EQ(ErrorOf(MakeSgi(RleLayout(3, 1, 1, {{0x02, 7, 0x82, 8, 9}}))), Bad) << "literal past the row";
  EXPECT_EQ(ErrorOf(MakeSgi(RleLayout(3, 1, 1, {{0x83, 7, 8}}))), Bad) << "literal cut by the row's length";
  EXPECT_EQ(ErrorOf(MakeSgi(RleLayout(2, 1, 1, {{0x01}}))), Short) << "run cut by the row's length";
}

TEST(SgiReader, RowsThatEndEarlyKeepBlackAndWarn) {
  // The second row stops after one sample; the first row's samples must not
  // show through in it.
  const TRead R = ReadSgi(MakeSgi(
      RleLayout(3, 2, 3, {{0x03, 5, 0}, {0x01, 6, 0}, {0x03, 5, 0}, {0x03, 6, 0}, {0x03, 5, 0}, {0x00, 0, 0}})));
  EXPECT_EQ(R.Reader->Warning, "Compression error found in SGI file.");
  EXPECT_EQ(R.Dib->GetPixelColor(0, 1), RGBColor(5, 5, 5));
  EXPECT_EQ(R.Dib->GetPixelColor(0, 0), RGBColor(6, 6, 0));
  EXPECT_EQ(R.Dib->GetPixelColor(2, 0), RGBColor(0, 6, 0));
}

// Our files read back the same in a decoder that shares no code with ours.
TEST(SgiExternal, PillowReadsOurFiles) {
  if (!HavePillow())
    GTEST_SKIP() << "python3-pil is not installed";
  for (TPixelFormat Pf : AllFormats) {
    SCOPED_TRACE(testing::Message() << "format " << int(Pf));
    const auto Src = PatternDib(131, 3, Pf, uint32_t(Pf), Pf == pf8bit);
    TTempFile File(".sgi");
    File.Write(WriteSgi(*Src));
    EXPECT_EQ(FirstDifference(*Src, PillowDecode(File.Path())), "");
  }
}
