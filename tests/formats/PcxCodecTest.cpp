#include <gtest/gtest.h>

#include "MemoryCodec.h"
#include "NetpbmTool.h"
#include "TgaPmgExternal.h"
#include "XPcx.h"

using namespace TgaPmgExternal;

namespace {

struct TPcxLayout {
  uint8_t Bits = 8, Planes = 1, Version = 5;
  uint16_t Xmin = 0, Ymin = 0, Xmax = 1, Ymax = 1;
  uint16_t BytesPerLine = 2, PaletteInfo = 1;
  std::vector<uint8_t> HeaderPalette = {};
  std::vector<uint8_t> Data = {};
  // 256 entries after a marker of 12, for 8-bit files.
  bool Trailer = true;
};

std::vector<uint8_t> MakePcx(const TPcxLayout& L) {
  std::vector<uint8_t> F(128, 0);
  F[0] = 10;
  F[1] = L.Version;
  F[2] = 1;
  F[3] = L.Bits;
  PutLE16(&F[4], L.Xmin);
  PutLE16(&F[6], L.Ymin);
  PutLE16(&F[8], L.Xmax);
  PutLE16(&F[10], L.Ymax);
  std::copy(L.HeaderPalette.begin(), L.HeaderPalette.end(), F.begin() + 16);
  F[65] = L.Planes;
  PutLE16(&F[66], L.BytesPerLine);
  PutLE16(&F[68], L.PaletteInfo);
  F.insert(F.end(), L.Data.begin(), L.Data.end());
  if (L.Trailer) {
    F.push_back(12);
    for (int I = 0; I < 256; ++I)
      F.insert(F.end(), {uint8_t(I), uint8_t(255 - I), uint8_t(I / 2)});
  }
  return F;
}

using TRead = MemoryCodec::TRead<TPcxReader>;
TRead ReadPcx(const std::vector<uint8_t>& File) { return MemoryCodec::ReadFrom<TPcxReader>(File); }
std::string ErrorOf(const std::vector<uint8_t>& File) { return MemoryCodec::ErrorOf<TPcxReader>(File); }
std::vector<uint8_t> WritePcx(const TDib& Dib) { return MemoryCodec::WriteTo<TPcxWriter>(Dib); }

const TPixelFormat AllFormats[] = {pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit};

constexpr TPixelFormat ReadBackFormat(TPixelFormat Pf) { return Pf > pf8bit ? pf24bit : Pf; }

// 1-bit files are black and white, so only those palettes survive.
std::unique_ptr<TDib> Source(int32_t W, TPixelFormat Pf, bool Gray, uint32_t Seed) {
  auto D = PatternDib(W, 5, Pf, Seed, Gray || Pf == pf1bit);
  if (Pf == pf1bit && !Gray) {
    D->SetPaletteColor(0, 0xFFFFFF);
    D->SetPaletteColor(1, 0x000000);
    D->IsGray = false;
  }
  return D;
}

} // namespace

// Widths that leave spare bits in 1- and 4-bit planes, runs longer than one
// code holds and rows of bytes that look like run codes.
TEST(PcxRoundTrip, EveryPixelFormat) {
  for (TPixelFormat Pf : AllFormats)
    for (bool Gray : {false, true})
      for (int32_t W : {1, 7, 9, 300}) {
        if (Gray && PaletteSizeOf(Pf) == 0)
          continue;
        SCOPED_TRACE(testing::Message() << "format " << int(Pf) << " gray " << Gray << " w " << W);
        const auto Src = Source(W, Pf, Gray, uint32_t(Pf * 10 + W));
        const TRead R = ReadPcx(WritePcx(*Src));
        EXPECT_EQ(R.Dib->PixelFormat(), ReadBackFormat(Pf));
        EXPECT_EQ(R.Reader->Compression, cmpRLE);
        MemoryCodec::ExpectSameColors(*R.Dib, *Src);
      }
}

TEST(PcxReader, HeaderSizesAreChecked) {
  const std::string Bad = "Invalid PCX header";
  TPcxLayout L{.Data = {1, 2, 3, 4}};
  EXPECT_EQ(ErrorOf(MakePcx(L)), "");
  L.Xmin = 2;
  EXPECT_EQ(ErrorOf(MakePcx(L)), Bad);
  L = {.Ymin = 5, .Data = {1, 2, 3, 4}};
  EXPECT_EQ(ErrorOf(MakePcx(L)), Bad);
  // Rows shorter than the width needs, or none at all.
  L = {.BytesPerLine = 1, .Data = {1, 2, 3, 4}};
  EXPECT_EQ(ErrorOf(MakePcx(L)), Bad);
  L = {.Bits = 1, .Planes = 4, .Xmax = 16, .BytesPerLine = 2, .Trailer = false};
  EXPECT_EQ(ErrorOf(MakePcx(L)), Bad);
  L = {.BytesPerLine = 0};
  EXPECT_EQ(ErrorOf(MakePcx(L)), Bad);
  EXPECT_EQ(ErrorOf(std::vector<uint8_t>(127, 10)), Bad);

  // Xmin 10 to Xmax 109 is 100 pixels.
  L = {.Xmin = 10, .Xmax = 109, .Ymax = 0, .BytesPerLine = 100, .Data = {0xC0 | 50, 7, 0xC0 | 50, 8}};
  const TRead R = ReadPcx(MakePcx(L));
  EXPECT_EQ(R.Dib->Width(), 100);
  EXPECT_EQ(R.Dib->ScanLine(0)[99], 8);
}

TEST(PcxReader, LayoutsOutsideTheKnownOnesFail) {
  for (auto [Bits, Planes] : {std::pair{8, 2}, {8, 4}, {1, 5}, {2, 2}, {4, 2}, {16, 1}, {8, 0}}) {
    SCOPED_TRACE(testing::Message() << Bits << " bits " << Planes << " planes");
    TPcxLayout L{.Bits = uint8_t(Bits), .Planes = uint8_t(Planes), .BytesPerLine = 4, .Data = {1, 2, 3, 4}};
    EXPECT_EQ(ErrorOf(MakePcx(L)), "Invalid PCX image format.");
  }
}

TEST(PcxReader, PaletteTrailerMustBeThere) {
  const std::string Bad = "Invalid palette in PCX file.";
  TPcxLayout L{.Data = {1, 2, 3, 4}, .Trailer = false};
  EXPECT_EQ(ErrorOf(MakePcx(L)), Bad);
  std::vector<uint8_t> File = MakePcx({.Data = {1, 2, 3, 4}});
  File[File.size() - 769] = 13;
  EXPECT_EQ(ErrorOf(File), Bad);
  // Gray 8-bit files take the gray ramp, not the trailer.
  const TRead R = ReadPcx(MakePcx({.PaletteInfo = 2, .Data = {0xC2, 9, 0xC2, 9}}));
  EXPECT_EQ(R.Dib->GetPixelColor(1, 1), RGBColor(9, 9, 9));
}

TEST(PcxReader, RunsAreCutAtRowEndsAndShortDataFails) {
  // The first run is 5 long but the row holds 2; the next row starts afresh.
  TPcxLayout L{.Data = {0xC5, 7, 0xC2, 9}};
  TRead R = ReadPcx(MakePcx(L));
  EXPECT_EQ(R.Dib->GetPixelValue(1, 0), 7u);
  EXPECT_EQ(R.Dib->GetPixelValue(0, 1), 9u);
  EXPECT_EQ(R.Dib->GetPixelColor(0, 1), RGBColor(9, 246, 4));

  const std::string Short = "Stream read error in PCX file.";
  L.Data = {0xC2, 7, 0xC1};
  EXPECT_EQ(ErrorOf(MakePcx(L)), Short);
  L.Data = {0xC2, 7, 5, 6, 7};
  EXPECT_EQ(ErrorOf(MakePcx(L)), "");
  L.Data = {0xC2, 7, 5};
  EXPECT_EQ(ErrorOf(MakePcx(L)), Short);
  // 65536 rows of 24-bit pixels from a handful of bytes are refused before
  // any allocation.
  L = {.Planes = 3, .Xmax = 65534, .Ymax = 65535, .BytesPerLine = 65535, .Data = {0xFF, 0}};
  EXPECT_EQ(ErrorOf(MakePcx(L)), Short);
}

TEST(PcxReader, DcxOffsetsOutsideTheFileFail) {
  std::vector<uint8_t> File(12, 0);
  PutLE32(&File[0], 987654321);
  PutLE32(&File[4], 12);
  const std::vector<uint8_t> Page = MakePcx({.Data = {1, 2, 3, 4}});
  File.insert(File.end(), Page.begin(), Page.end());
  EXPECT_EQ(ErrorOf(File), "");
  PutLE32(&File[4], uint32_t(File.size()));
  EXPECT_EQ(ErrorOf(File), "Invalid PCX header");
  PutLE32(&File[4], 2);
  EXPECT_EQ(ErrorOf(File), "Invalid PCX header");
}

// 1-bit images whose first color is the brighter one keep their look.
TEST(PcxWriter, WhiteOnBlackOneBitImagesKeepTheirColors) {
  TDib D(10, 1, pf1bit);
  D.SetPaletteColor(0, 0xFFFFFF);
  D.SetPaletteColor(1, 0x000000);
  D.SetPixelValue(3, 0, 1);
  const TRead R = ReadPcx(WritePcx(D));
  EXPECT_EQ(R.Dib->GetPixelColor(3, 0), 0x000000u);
  EXPECT_EQ(R.Dib->GetPixelColor(4, 0), 0xFFFFFFu);
}

// Our files read back the same in decoders that share no code with ours.
// This Pillow takes the first of four 1-bit planes as the highest bit, so
// 4-bit files are judged by pcxtoppm alone.
TEST(PcxExternal, PillowAndNetpbmReadOurFiles) {
  const bool Pillow = HavePillow(), Netpbm = HaveCommand("pcxtoppm");
  if (!Pillow && !Netpbm)
    GTEST_SKIP() << "neither python3-pil nor netpbm installed";
  for (TPixelFormat Pf : AllFormats)
    for (bool Gray : {false, true}) {
      if (Gray && PaletteSizeOf(Pf) == 0)
        continue;
      SCOPED_TRACE(testing::Message() << "format " << int(Pf) << " gray " << Gray);
      const auto Src = Source(131, Pf, Gray, uint32_t(Pf));
      TTempFile File(".pcx");
      File.Write(WritePcx(*Src));
      if (Pillow && Pf != pf4bit) {
        EXPECT_EQ(FirstDifference(*Src, PillowDecode(File.Path())), "") << "Pillow";
      }
      if (Netpbm) {
        EXPECT_EQ(FirstDifference(*Src, NetpbmTool::Decode("pcxtoppm", File.Path())), "") << "pcxtoppm";
      }
    }
}
