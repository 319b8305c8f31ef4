#include <gtest/gtest.h>

#include <cstring>

#include "CorpusFiles.h"
#include "MemoryCodec.h"
#include "TgaPmgExternal.h"
#include "XPsd.h"

using namespace TgaPmgExternal;

namespace {

// A file as the tests need it. Raw files take Data as the planes; run-length
// files take Rows, one packed row per channel row, and get their count table.
struct TPsdLayout {
  std::string Signature = "8BPS";
  uint16_t Version = 1, Channels = 1;
  uint32_t Width = 2, Height = 1;
  uint16_t Depth = 8, Mode = 1;
  std::vector<uint8_t> ColorData{};
  uint32_t LayerLength = 0;
  uint16_t Compression = 0;
  std::vector<uint8_t> Data{};
  std::vector<std::vector<uint8_t>> Rows{};
};

void Put32(std::vector<uint8_t>& F, uint32_t V) {
  F.resize(F.size() + 4);
  PutBE32(&F[F.size() - 4], V);
}

std::vector<uint8_t> MakePsd(const TPsdLayout& L) {
  std::vector<uint8_t> F(26, 0);
  std::memcpy(&F[0], L.Signature.data(), 4);
  PutBE16(&F[4], L.Version);
  PutBE16(&F[12], L.Channels);
  PutBE32(&F[14], L.Height);
  PutBE32(&F[18], L.Width);
  PutBE16(&F[22], L.Depth);
  PutBE16(&F[24], L.Mode);
  Put32(F, uint32_t(L.ColorData.size()));
  F.insert(F.end(), L.ColorData.begin(), L.ColorData.end());
  Put32(F, 0);
  Put32(F, L.LayerLength);
  F.insert(F.end(), {uint8_t(L.Compression >> 8), uint8_t(L.Compression)});
  for (const auto& R : L.Rows)
    F.insert(F.end(), {uint8_t(R.size() >> 8), uint8_t(R.size())});
  for (const auto& R : L.Rows)
    F.insert(F.end(), R.begin(), R.end());
  F.insert(F.end(), L.Data.begin(), L.Data.end());
  return F;
}

using TRead = MemoryCodec::TRead<TPSDReader>;

TRead ReadPsd(const std::vector<uint8_t>& File, bool Alpha = false, TColor Background = RGBColor(0, 0, 200)) {
  return MemoryCodec::ReadFrom<TPSDReader>(File, [&](TPSDReader& R) {
    R.AlphaEnabled = Alpha;
    R.SetBackground(Background);
  });
}
std::string ErrorOf(const std::vector<uint8_t>& File) { return MemoryCodec::ErrorOf<TPSDReader>(File); }
std::vector<uint8_t> WritePsd(const TDib& Dib) { return MemoryCodec::WriteTo<TPSDWriter>(Dib); }

std::vector<uint8_t> RowOf(const TDib& Dib, int32_t Y, int32_t Bytes) {
  return {Dib.ScanLine(Y), Dib.ScanLine(Y) + Bytes};
}

std::vector<uint8_t> FloatsBE(std::initializer_list<float> Values) {
  std::vector<uint8_t> Out;
  for (float F : Values) {
    uint32_t Bits;
    std::memcpy(&Bits, &F, 4);
    Put32(Out, Bits);
  }
  return Out;
}

const TPixelFormat AllFormats[] = {pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit};

} // namespace

TEST(PsdRoundTrip, EveryPixelFormat) {
  for (TPixelFormat Pf : AllFormats)
    for (bool Gray : {false, true}) {
      if (Gray && PaletteSizeOf(Pf) == 0)
        continue;
      SCOPED_TRACE(testing::Message() << "format " << int(Pf) << " gray " << Gray);
      const auto Src = PatternDib(133, 4, Pf, uint32_t(Pf * 5 + Gray), Gray);
      const TRead R = ReadPsd(WritePsd(*Src));
      EXPECT_EQ(R.Reader->Warning, "");
      EXPECT_EQ(R.Reader->IsGray, Gray);
      const uint8_t Want = Pf == pf1bit && Gray ? pf1bit : PaletteSizeOf(Pf) ? pf8bit : pf24bit;
      EXPECT_EQ(R.Dib->PixelFormat(), Want);
      EXPECT_EQ(CorpusFiles::FirstDifference(*R.Dib, *Src), "");
    }
}

TEST(PsdWriter, GrayLevelsBlackAndWhiteAndOpaqueAlpha) {
  // 4-bit gray comes back as 8-bit gray levels 0, 17, ..., 255.
  TDib Gray4(16, 1, pf4bit);
  Gray4.MakeGrayPalette();
  for (int32_t X = 0; X < 16; ++X)
    Gray4.SetPixelValue(X, 0, uint32_t(X));
  TRead R = ReadPsd(WritePsd(Gray4));
  EXPECT_EQ(R.Reader->ColorMode, 1);
  for (int32_t X = 0; X < 16; ++X)
    EXPECT_EQ(R.Dib->ScanLine(0)[X], X * 17);

  // White-first black and white stays a bitmap and keeps its colors; any
  // other two colors go out indexed.
  TDib Bits(9, 1, pf1bit);
  Bits.SetPaletteColor(0, RGBColor(255, 255, 255));
  Bits.SetPaletteColor(1, RGBColor(0, 0, 0));
  Bits.SetPixelValue(0, 0, 1);
  Bits.SetPixelValue(8, 0, 1);
  R = ReadPsd(WritePsd(Bits));
  EXPECT_EQ(R.Reader->ColorMode, 0);
  EXPECT_EQ(CorpusFiles::FirstDifference(*R.Dib, Bits), "");
  Bits.SetPaletteColor(1, RGBColor(200, 0, 0));
  R = ReadPsd(WritePsd(Bits));
  EXPECT_EQ(R.Reader->ColorMode, 2);
  EXPECT_EQ(CorpusFiles::FirstDifference(*R.Dib, Bits), "");

  // The buffer's fourth byte is no alpha: the written one is opaque.
  TDib Color(1, 1, pf32bit);
  Color.SetPixelColor(0, 0, RGBColor(10, 20, 30));
  R = ReadPsd(WritePsd(Color), true);
  EXPECT_TRUE(R.Reader->HasAlpha);
  EXPECT_EQ(R.Dib->GetPixelColor(0, 0), RGBColor(10, 20, 30));
}

TEST(PsdWriter, RefusesWhatTheHeaderCannotHold) {
  TDib Wide(30001, 1, pf8bit);
  TMemoryStream S;
  TPSDWriter W;
  W.CreateStream(S);
  EXPECT_THROW(W.Write(Wide), EInvalidGraphicOperation);
  EXPECT_FALSE(W.OK);
  EXPECT_EQ(S.Bytes().size(), 0u);
}

TEST(PsdReader, SixteenBitSingleChannelRowsAreTwoBytesPerSample) {
  // The second row must come from its own bytes, not the first row's tail.
  TPsdLayout L{.Width = 2, .Height = 2, .Depth = 16, .Data = {0xFF, 0xFF, 0x80, 0x00, 0x12, 0x34, 0x00, 0x00}};
  const TRead R = ReadPsd(MakePsd(L));
  EXPECT_EQ(R.Dib->PixelFormat(), pf8bit);
  EXPECT_EQ(RowOf(*R.Dib, 0, 2), (std::vector<uint8_t>{255, 0x8000 / 257}));
  EXPECT_EQ(RowOf(*R.Dib, 1, 2), (std::vector<uint8_t>{0x1234 / 257, 0}));
}

TEST(PsdReader, PackBitsRowsAreCutAtTheRowEnd) {
  // A literal, a no-op, a run that spills past the row; then a row that ends
  // early keeps black and warns.
  TPsdLayout L{.Width = 5, .Height = 2, .Compression = 1};
  L.Rows = {{0x01, 10, 20, 0x80, 0xFC, 30}, {0x00, 40}};
  const TRead R = ReadPsd(MakePsd(L));
  EXPECT_EQ(R.Reader->Compression, cmpRLE);
  EXPECT_EQ(RowOf(*R.Dib, 0, 5), (std::vector<uint8_t>{10, 20, 30, 30, 30}));
  EXPECT_EQ(RowOf(*R.Dib, 1, 5), (std::vector<uint8_t>{40, 0, 0, 0, 0}));
  EXPECT_EQ(R.Reader->Warning, "Compression error found in PSD file.");
}

TEST(PsdReader, ColorModesAlphaAndLowerCaseSignature) {
  // RGB with a fourth channel has alpha, blended only when allowed.
  TPsdLayout L{.Signature = "8bps", .Channels = 4, .Width = 1, .Mode = 3, .Data = {200, 100, 50, 0}};
  TRead R = ReadPsd(MakePsd(L));
  EXPECT_TRUE(R.Reader->HasAlpha);
  EXPECT_EQ(R.Reader->ColorFormat, cfRGBA);
  EXPECT_EQ(R.Dib->GetPixelColor(0, 0), RGBColor(200, 100, 50));
  EXPECT_EQ(ReadPsd(MakePsd(L), true).Dib->GetPixelColor(0, 0), RGBColor(0, 0, 200));
  L.Channels = 3;
  L.Data.pop_back();
  R = ReadPsd(MakePsd(L), true);
  EXPECT_FALSE(R.Reader->HasAlpha);
  EXPECT_EQ(R.Dib->GetPixelColor(0, 0), RGBColor(200, 100, 50));

  // CMYK stores 0 for full ink: all 255 is white, K 0 is black.
  L = {.Channels = 4, .Width = 2, .Mode = 4, .Data = {255, 255, 255, 255, 255, 255, 255, 0}};
  R = ReadPsd(MakePsd(L));
  EXPECT_EQ(R.Dib->GetPixelColor(0, 0), RGBColor(255, 255, 255));
  EXPECT_EQ(R.Dib->GetPixelColor(1, 0), RGBColor(0, 0, 0));

  // Lab: L* 0..255, a* and b* around 128; 16-bit samples alike.
  L = {.Channels = 3, .Width = 2, .Mode = 9, .Data = {255, 0, 128, 128, 128, 128}};
  R = ReadPsd(MakePsd(L));
  EXPECT_EQ(R.Dib->GetPixelColor(0, 0), RGBColor(255, 255, 255));
  EXPECT_EQ(R.Dib->GetPixelColor(1, 0), RGBColor(0, 0, 0));
  L = {.Channels = 3, .Width = 1, .Depth = 16, .Mode = 9, .Data = {0xFF, 0xFF, 0x80, 0x00, 0x80, 0x00}};
  EXPECT_EQ(ReadPsd(MakePsd(L)).Dib->GetPixelColor(0, 0), RGBColor(255, 255, 255));

  // Gray with a second channel carries alpha; multichannel of two is gray.
  L = {.Channels = 2, .Width = 1, .Data = {90, 0}};
  EXPECT_EQ(ReadPsd(MakePsd(L), true, RGBColor(60, 60, 60)).Dib->ScanLine(0)[0], 60);
  L.Mode = 7;
  R = ReadPsd(MakePsd(L), true);
  EXPECT_TRUE(R.Reader->IsGray);
  EXPECT_EQ(R.Dib->ScanLine(0)[0], 90);
}

TEST(PsdReader, FloatSamplesAreLinearLight) {
  // Color through the sRGB curve, alpha linear; NaN and negatives are 0.
  TPsdLayout L{.Width = 5, .Depth = 32, .Data = FloatsBE({0.0f, 0.25f, 1.5f, -1.0f, std::nanf("")})};
  TRead R = ReadPsd(MakePsd(L));
  EXPECT_EQ(RowOf(*R.Dib, 0, 5), (std::vector<uint8_t>{0, 136, 255, 0, 0}));
  L = {.Channels = 2, .Width = 1, .Depth = 32, .Data = FloatsBE({1.0f, 0.5f})};
  R = ReadPsd(MakePsd(L), true, RGBColor(0, 0, 0));
  EXPECT_EQ(R.Dib->ScanLine(0)[0], 127);
}

TEST(PsdReader, IndexedPalettesOfAnyLength) {
  // Planar thirds of whatever length the color data has.
  TPsdLayout L{.Width = 2, .Mode = 2, .ColorData = {1, 2, 3, 4, 5, 6}, .Data = {0, 1}};
  TRead R = ReadPsd(MakePsd(L));
  EXPECT_EQ(R.Dib->GetPixelColor(0, 0), RGBColor(1, 3, 5));
  EXPECT_EQ(R.Dib->GetPixelColor(1, 0), RGBColor(2, 4, 6));
  L.ColorData.assign(3 * 1000, 7);
  L.ColorData[1000] = 8;
  R = ReadPsd(MakePsd(L));
  EXPECT_EQ(R.Reader->PaletteSize, 256);
  EXPECT_EQ(R.Dib->GetPixelColor(0, 0), RGBColor(7, 8, 7));
  // No colors at all: the indexes show as gray.
  L.ColorData.clear();
  L.Data = {0, 255};
  R = ReadPsd(MakePsd(L));
  EXPECT_EQ(R.Reader->Warning, "Invalid palette in PSD file.");
  EXPECT_EQ(R.Dib->GetPixelColor(1, 0), RGBColor(255, 255, 255));
}

TEST(PsdReader, BadHeaders) {
  const TPsdLayout Good{.Data = {1, 2}};
  EXPECT_EQ(ErrorOf(MakePsd(Good)), "");
  auto With = [&](auto Change) {
    TPsdLayout L = Good;
    Change(L);
    return ErrorOf(MakePsd(L));
  };
  const std::string Header = "Invalid PSD header", Unsupported = "Unsupported PSD image format.";
  EXPECT_EQ(With([](TPsdLayout& L) { L.Signature = "8BPX"; }), Header);
  EXPECT_EQ(With([](TPsdLayout& L) { L.Version = 3; }), Header);
  EXPECT_EQ(With([](TPsdLayout& L) { L.Version = 2; }), Unsupported);
  EXPECT_EQ(With([](TPsdLayout& L) { L.Channels = 0; }), Header);
  EXPECT_EQ(With([](TPsdLayout& L) { L.Channels = 57; }), Header);
  EXPECT_EQ(With([](TPsdLayout& L) { L.Width = 0; }), Header);
  EXPECT_EQ(With([](TPsdLayout& L) { L.Height = 30001; }), Header);
  EXPECT_EQ(With([](TPsdLayout& L) { L.Depth = 4; }), Unsupported);
  EXPECT_EQ(With([](TPsdLayout& L) { L.Mode = 2, L.Depth = 16; }), Unsupported);
  EXPECT_EQ(With([](TPsdLayout& L) { L.Mode = 5; }), Unsupported);
  EXPECT_EQ(With([](TPsdLayout& L) { L.Mode = 3, L.Channels = 2; }), "Invalid PSD image format.");
  EXPECT_EQ(With([](TPsdLayout& L) { L.Compression = 2; }), "Unsupported compression scheme in PSD file.");
  EXPECT_EQ(With([](TPsdLayout& L) { L.LayerLength = 100; }), "Stream read error in PSD file.");
  EXPECT_EQ(ErrorOf(std::vector<uint8_t>(27, 0)), Header);
}

TEST(PsdReader, ClaimsBeyondTheDataFailBeforeAllocating) {
  const std::string Short = "Stream read error in PSD file.";
  // 20000 x 20000 x 4 channels would need 1.6 GB.
  TPsdLayout Big{.Channels = 4, .Width = 20000, .Height = 20000, .Mode = 3, .Data = std::vector<uint8_t>(1000)};
  EXPECT_EQ(ErrorOf(MakePsd(Big)), Short) << "raw planes";
  Big.Compression = 1;
  EXPECT_EQ(ErrorOf(MakePsd(Big)), Short) << "count table past the end";
  TPsdLayout L{.Width = 3, .Height = 1, .Compression = 1, .Rows = {{0x02, 1, 2, 3}}};
  EXPECT_EQ(ErrorOf(MakePsd(L)), "");
  std::vector<uint8_t> F = MakePsd(L);
  F.pop_back();
  EXPECT_EQ(ErrorOf(F), Short) << "counts past the end";
  // A two-byte run fills at most 128 bytes.
  L = {.Width = 128, .Compression = 1, .Rows = {{0x81, 5}}};
  EXPECT_EQ(ErrorOf(MakePsd(L)), "");
  L.Width = 30000;
  L.Height = 30000;
  L.Rows.assign(30000, {0x81, 5});
  EXPECT_EQ(ErrorOf(MakePsd(L)), Short) << "rows a 64-fold expansion cannot fill";
}

// Our files read back the same in a decoder that shares no code with ours.
// Bitmaps are left out: that decoder takes a set bit as white.
TEST(PsdExternal, PillowReadsOurFiles) {
  if (!HavePillow())
    GTEST_SKIP() << "python3-pil is not installed";
  for (TPixelFormat Pf : AllFormats)
    for (bool Gray : {false, true}) {
      if ((Gray && PaletteSizeOf(Pf) == 0) || (Pf == pf1bit && Gray))
        continue;
      SCOPED_TRACE(testing::Message() << "format " << int(Pf) << " gray " << Gray);
      const auto Src = PatternDib(131, 3, Pf, uint32_t(Pf + 3 * Gray), Gray);
      TTempFile File(".psd");
      File.Write(WritePsd(*Src));
      EXPECT_EQ(FirstDifference(*Src, PillowDecode(File.Path())), "");
    }
}
