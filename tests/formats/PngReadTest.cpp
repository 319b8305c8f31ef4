#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

#include "PngTestFiles.h"

namespace fs = std::filesystem;
using namespace PngTestFiles;

TEST(PngRead, PixelFormatsOfDepths) {
  struct TCase {
    uint8_t Type, Depth;
    uint8_t Format;
  } Cases[] = {{0, 1, pf1bit}, {0, 2, pf4bit}, {0, 4, pf4bit}, {0, 8, pf8bit},   {0, 16, pf8bit}, {3, 1, pf1bit},
               {3, 2, pf4bit}, {3, 4, pf4bit}, {3, 8, pf8bit}, {2, 16, pf24bit}, {4, 8, pf8bit},  {6, 8, pf24bit}};
  for (const TCase& C : Cases) {
    const int Samples = C.Type == 2 ? 3 : C.Type == 4 ? 2 : C.Type == 6 ? 4 : 1;
    TBytes Raw(1 + (3 * C.Depth * Samples + 7) / 8, 0);
    TPngBuilder B(Ihdr(3, 1, C.Depth, C.Type));
    if (C.Type == 3)
      B.Chunk("PLTE", {0, 0, 0, 255, 255, 255});
    const TRead R = ReadPng(B.Finish(Raw));
    EXPECT_EQ(R.Dib->PixelFormat(), C.Format) << int(C.Type) << "/" << int(C.Depth);
  }
}

TEST(PngRead, TwoBitSamplesKeepTheirMeaning) {
  // Gray levels 0..3 spread over the 4-bit ramp; palette indexes unchanged.
  const TBytes Raw = {0, 0x1B};
  const TRead Gray = ReadPng(TPngBuilder(Ihdr(4, 1, 2, 0)).Finish(Raw));
  EXPECT_EQ(Gray.Dib->GetPixelColor(1, 0), 0x555555u);
  EXPECT_EQ(Gray.Dib->GetPixelColor(3, 0), 0xFFFFFFu);
  TPngBuilder B(Ihdr(4, 1, 2, 3));
  B.Chunk("PLTE", {10, 0, 0, 20, 0, 0, 30, 0, 0, 40, 0, 0});
  const TRead Pal = ReadPng(B.Finish(Raw));
  EXPECT_EQ(Pal.Dib->GetPixelValue(2, 0), 2u);
  EXPECT_EQ(Pal.Dib->GetPixelColor(3, 0), 40u);
}

TEST(PngRead, ChunkNamesIgnoreCase) {
  TPngBuilder B(Ihdr(1, 1, 8, 3), "ihDR");
  B.Chunk("plte", {1, 2, 3});
  B.Chunk("PHYS", {0, 0, 0x2E, 0x23, 0, 0, 0x2E, 0x23, 1});
  const TBytes Raw = {0, 0};
  TBytes File = B.File;
  AddChunk(File, "idat", Deflate(Raw));
  AddChunk(File, "iEnD", {});
  const TRead R = ReadPng(File);
  EXPECT_EQ(R.Dib->GetPixelColor(0, 0), RGBColor(1, 2, 3));
  EXPECT_EQ(R.Reader->Resolution, 300);
}

TEST(PngRead, PhysInMetresOnly) {
  TPngReader Reader;
  Reader.Resolution = 96;
  TPngBuilder B(Ihdr(1, 1, 8, 0));
  B.Chunk("pHYs", {0, 0, 0x2E, 0x23, 0, 0, 0x2E, 0x23, 0});
  const TBytes File = B.Finish({0, 0});
  Reader.OpenMemory(File);
  EXPECT_EQ(Reader.Resolution, 96);
}

TEST(PngRead, PaletteTransparency) {
  const TBytes Plte = {255, 0, 0, 0, 255, 0, 0, 0, 255, 100, 100, 100};
  const TBytes Raw = {0, 0, 1, 2, 3};
  {
    TPngBuilder B(Ihdr(4, 1, 8, 3));
    B.Chunk("PLTE", Plte).Chunk("tRNS", {0});
    const TRead R = ReadPng(B.Finish(Raw), true, 0x00FFFFFF);
    EXPECT_TRUE(R.Reader->HasAlpha);
    EXPECT_EQ(R.Reader->Transparency.TransparentIndex, 0);
    EXPECT_EQ(R.Reader->Transparency.TransparentColor, 0x0000FF);
    EXPECT_EQ(R.Dib->GetPixelColor(0, 0), 0xFFFFFFu);
    EXPECT_EQ(R.Dib->GetPixelColor(1, 0), 0x00FF00u);
  }
  {
    // Two entries below 255: no single transparent index, both blended; the
    // bKGD entry is the blend background.
    TPngBuilder B(Ihdr(4, 1, 8, 3));
    B.Chunk("PLTE", Plte).Chunk("tRNS", {0, 128}).Chunk("bKGD", {3});
    const TRead R = ReadPng(B.Finish(Raw), true, 0x00FFFFFF);
    EXPECT_EQ(R.Reader->Transparency.TransparentIndex, -2);
    EXPECT_EQ(R.Reader->Transparency.BackIndex, 3);
    EXPECT_EQ(R.Reader->Transparency.BackColor, 0x646464);
    EXPECT_EQ(R.Dib->GetPixelColor(0, 0), 0x646464u);
    EXPECT_EQ(R.Dib->GetPixelColor(1, 0), Blend(0x00FF00, 0x646464, 128));
  }
  {
    TPngBuilder B(Ihdr(4, 1, 8, 3));
    B.Chunk("PLTE", Plte).Chunk("tRNS", {0});
    const TRead R = ReadPng(B.Finish(Raw), false);
    EXPECT_EQ(R.Reader->Transparency.TransparentIndex, 0);
    EXPECT_EQ(R.Dib->GetPixelColor(0, 0), 0x0000FFu);
  }
}

TEST(PngRead, KeysAndBackgroundOfTrueColor) {
  TPngBuilder B(Ihdr(1, 1, 16, 2));
  B.Chunk("tRNS", {0x12, 0x34, 0xFF, 0xFF, 0, 0}).Chunk("bKGD", {0xFF, 0xFF, 0x80, 0x00, 0, 0});
  const TRead R = ReadPng(B.Finish({0, 0x12, 0x34, 0xFF, 0xFF, 0, 0}));
  ASSERT_TRUE(R.Reader->KeyColor.has_value());
  EXPECT_EQ(*R.Reader->KeyColor, RGBColor(0x12, 0xFF, 0));
  EXPECT_EQ(R.Reader->BackgroundColor, RGBColor(255, 127, 0));
  EXPECT_TRUE(R.Reader->HasAlpha);

  // A gray background is scaled to a full-range color at any depth.
  TPngBuilder G(Ihdr(1, 1, 1, 0));
  G.Chunk("bKGD", {0, 1});
  TPngReader Reader;
  const TBytes File = G.Finish({0, 0});
  Reader.OpenMemory(File);
  EXPECT_EQ(Reader.BackgroundColor, 0xFFFFFFu);
}

TEST(PngRead, InterlacedWidthOneSkipsEmptyPasses) {
  // Width 1, height 3: passes 1 (row 0), 5 (row 2) and 7 (row 1) only.
  const TBytes Raw = {0, 10, 0, 30, 0, 20};
  const TRead R = ReadPng(TPngBuilder(Ihdr(1, 3, 8, 0, 1)).Finish(Raw));
  EXPECT_EQ(R.Dib->GetPixelValue(0, 0), 10u);
  EXPECT_EQ(R.Dib->GetPixelValue(0, 1), 20u);
  EXPECT_EQ(R.Dib->GetPixelValue(0, 2), 30u);
}

TEST(PngRead, TextsAndWarnings) {
  TPngBuilder B(Ihdr(1, 1, 8, 0));
  B.Chunk("tEXt", {'T', 'i', 't', 'l', 'e', 0, 'S', 'e', 'a', 0xE9});
  B.Chunk("tEXt", {'A', 'u', 't', 'h', 'o', 'r', 0, 'M', 'e'});
  B.Chunk("tEXt", {'C', 'o', 'm', 'm', 'e', 'n', 't', 0, 'x'});
  B.Chunk("sBIT", {});
  B.Chunk("CRIT", {1});
  const TRead R = ReadPng(B.Finish({0, 0}));
  EXPECT_EQ(R.Reader->Title, "Sea\xC3\xA9");
  EXPECT_EQ(R.Reader->Author, "Me");
  EXPECT_EQ(R.Reader->Rights, "");
  EXPECT_EQ(R.Reader->Warning, "Zero length PNG chunk detected!");

  TPngBuilder C(Ihdr(1, 1, 8, 0));
  C.Chunk("CRIT", {1});
  const TRead Critical = ReadPng(C.Finish({0, 0}));
  EXPECT_EQ(Critical.Reader->Warning, "Unexpected but critical PNG chunk detected.");
}

TEST(PngRead, TitleIsCutAtItsLimit) {
  TBytes Text = {'T', 'i', 't', 'l', 'e', 0};
  Text.insert(Text.end(), 300, 'a');
  TPngBuilder B(Ihdr(1, 1, 8, 0));
  B.Chunk("tEXt", Text);
  TPngReader Reader;
  const TBytes File = B.Finish({0, 0});
  Reader.OpenMemory(File);
  EXPECT_EQ(Reader.Title, std::string(250, 'a'));
}

TEST(PngRead, HostileFilesFailWithPngMessages) {
  const TBytes Row = {0, 0};
  auto Expect = [](const TBytes& File, const std::string& Want) { EXPECT_EQ(FailureOf(File), Want); };
  Expect({0x89, 'P', 'N', 'G'}, "Invalid PNG header");
  Expect(TPngBuilder(Ihdr(0, 1, 8, 0)).Finish(Row), "Invalid PNG image format.");
  Expect(TPngBuilder(Ihdr(1, 1, 3, 0)).Finish(Row), "Invalid palette in PNG file.");
  Expect(TPngBuilder(Ihdr(1, 1, 4, 2)).Finish(Row), "Invalid color scheme in PNG file.");
  Expect(TPngBuilder(Ihdr(1, 1, 8, 7)).Finish(Row), "Invalid color scheme in PNG file.");
  {
    TBytes H = Ihdr(1, 1, 8, 0);
    H[11] = 1;
    Expect(TPngBuilder(H).Finish(Row), "Unsupported feature in PNG file.");
    H[11] = 0;
    H[10] = 1;
    Expect(TPngBuilder(H).Finish(Row), "Unsupported compression scheme in PNG file.");
  }
  {
    TPngBuilder B(Ihdr(2, 1, 8, 3));
    B.Chunk("PLTE", {1, 2, 3, 4});
    Expect(B.Finish({0, 0, 0}), "Invalid palette in PNG file.");
  }
  {
    TBytes File = Signature();
    AddChunk(File, "IHDR", Ihdr(1, 1, 8, 0));
    AddChunk(File, "gAMA", {0, 1, 0x86, 0xA0}, true);
    AddChunk(File, "IDAT", Deflate(Row));
    Expect(File, "CRC error found in PNG file.");
  }
  // A header far larger than the data could fill, and the largest one.
  Expect(TPngBuilder(Ihdr(100000, 100000, 8, 0)).Finish(Row), "Invalid PNG image format.");
  Expect(TPngBuilder(Ihdr(0x7FFFFFFF, 0x7FFFFFFF, 16, 6)).Finish(Row), "Invalid PNG image format.");
  Expect(TPngBuilder(Ihdr(0x80000000, 1, 8, 0)).Finish(Row), "Invalid PNG image format.");
  {
    // A data chunk that claims more than the file holds backs no large image.
    TBytes File = TPngBuilder(Ihdr(4, 0x2000000, 1, 0, 1)).Finish({0, 0});
    File.resize(File.size() - 12);
    File[34] = 0x10;
    Expect(File, "Invalid PNG image format.");
  }
  // The data ends before the last row.
  Expect(TPngBuilder(Ihdr(1, 3, 8, 0)).Finish(Row), "Compression error found in PNG file.");
  {
    TBytes File = Signature();
    AddChunk(File, "IHDR", Ihdr(1, 1, 8, 0));
    AddChunk(File, "IEND", {});
    Expect(File, "Invalid PNG image format.");
  }
  {
    TBytes File = TPngBuilder(Ihdr(4, 4, 8, 0)).Finish(TBytes(20, 0));
    File.resize(File.size() - 20);
    EXPECT_NE(FailureOf(File).find("PNG"), std::string::npos);
    TBytes Garbage = TPngBuilder(Ihdr(4, 4, 8, 0)).Finish(TBytes(20, 0));
    Garbage[45] ^= 0xFF;
    EXPECT_NE(FailureOf(Garbage).find("PNG"), std::string::npos);
  }
}

TEST(PngRead, ZipBombStopsAtTheLastRow) {
  // Ten megabytes of zeros behind a one-row image: only the row is inflated.
  const TBytes Raw(10 << 20, 0);
  const TRead R = ReadPng(TPngBuilder(Ihdr(16, 1, 8, 0)).Finish(Raw));
  EXPECT_EQ(R.Dib->GetPixelValue(15, 0), 0u);
}

TEST(PngRead, InterlacedRowsNotYetReadShowTheBackground) {
  // Only the first pass arrives; the rest of the buffer keeps the background.
  TPngBuilder B(Ihdr(8, 8, 8, 3, 1));
  B.Chunk("PLTE", {0, 0, 0, 255, 255, 255, 255, 0, 0});
  const TBytes Palette = B.Finish({0, 1});
  TPngReader Pal;
  Pal.SetBackground(0x0000FF);
  Pal.OpenMemory(Palette);
  Pal.CreateDib();
  const auto PalDib = Pal.TakeDib();
  EXPECT_THROW(Pal.Read(), EInvalidGraphicOperation);
  EXPECT_EQ(PalDib->GetPixelValue(0, 0), 1u);
  EXPECT_EQ(PalDib->GetPixelValue(5, 5), 2u);
  EXPECT_EQ(PalDib->GetPixelValue(7, 7), 2u);

  TPngReader Rgb;
  Rgb.SetBackground(0x00123456);
  const TBytes RgbFile = TPngBuilder(Ihdr(9, 3, 8, 2, 1)).Finish({0, 1, 2, 3, 4, 5, 6});
  Rgb.OpenMemory(RgbFile);
  Rgb.CreateDib();
  const auto RgbDib = Rgb.TakeDib();
  EXPECT_THROW(Rgb.Read(), EInvalidGraphicOperation);
  EXPECT_EQ(RgbDib->GetPixelColor(0, 0), RGBColor(1, 2, 3));
  EXPECT_EQ(RgbDib->GetPixelColor(8, 2), 0x00123456u);
}

namespace {

// Gray 0, 64, 128, 200, 255 as RGB and as gray (palette path), with the given
// chunks before the data.
TBytes GammaFile(uint8_t ColorType, const std::vector<std::pair<const char*, TBytes>>& Chunks) {
  const TBytes Values = {0, 64, 128, 200, 255};
  TPngBuilder B(Ihdr(uint32_t(Values.size()), 1, 8, ColorType));
  for (const auto& [Type, Data] : Chunks)
    B.Chunk(Type, Data);
  TBytes Raw = {0};
  for (const uint8_t V : Values)
    for (int C = 0; C < (ColorType == 2 ? 3 : 1); ++C)
      Raw.push_back(V);
  return B.Finish(Raw);
}

TBytes Gama(uint32_t V) {
  TBytes D;
  PutBE(D, V);
  return D;
}

// The first channel of each pixel.
std::vector<uint32_t> Shown(const TBytes& File) {
  const TRead R = ReadPng(File);
  std::vector<uint32_t> Out;
  for (int32_t X = 0; X < R.Dib->Width(); ++X)
    Out.push_back(GetRValue(R.Dib->GetPixelColor(X, 0)));
  return Out;
}

const std::vector<uint32_t> Stored = {0, 64, 128, 200, 255};

std::vector<uint32_t> Corrected(double FileGamma) {
  std::vector<uint32_t> Out;
  for (const uint32_t V : Stored)
    Out.push_back(V == 0 ? 0 : uint32_t(std::lround(255.0 * std::pow(V / 255.0, 1.0 / (FileGamma * 2.2)))));
  return Out;
}

} // namespace

TEST(PngGamma, SrgbGammaAndNamedColorSpacesShowStoredValues) {
  const TBytes Srgb = {0}, Profile = {'p', 0, 0, 0x78, 0x9C, 3, 0};
  for (const uint8_t Type : {uint8_t(2), uint8_t(0)}) {
    EXPECT_EQ(Shown(GammaFile(Type, {{"gAMA", Gama(45455)}})), Stored) << int(Type);
    EXPECT_EQ(Shown(GammaFile(Type, {{"gAMA", Gama(45455)}, {"sRGB", Srgb}})), Stored) << int(Type);
    // A color space chunk wins over any gamma, before or after it.
    EXPECT_EQ(Shown(GammaFile(Type, {{"sRGB", Srgb}, {"gAMA", Gama(100000)}})), Stored) << int(Type);
    EXPECT_EQ(Shown(GammaFile(Type, {{"gAMA", Gama(100000)}, {"iCCP", Profile}})), Stored) << int(Type);
    // Just inside the 5 % window: 0.435 x 2.2 = 0.957 and 0.475 x 2.2 = 1.045.
    EXPECT_EQ(Shown(GammaFile(Type, {{"gAMA", Gama(43500)}})), Stored) << int(Type);
    EXPECT_EQ(Shown(GammaFile(Type, {{"gAMA", Gama(47500)}})), Stored) << int(Type);
  }
}

TEST(PngGamma, OtherGammasAreCorrectedForTheDisplay) {
  for (const uint8_t Type : {uint8_t(2), uint8_t(0)}) {
    EXPECT_EQ(Shown(GammaFile(Type, {{"gAMA", Gama(100000)}})), Corrected(1.0)) << int(Type);
    EXPECT_EQ(Corrected(1.0)[2], 186u);
    // Just outside the window: 0.43 x 2.2 = 0.946 and 0.48 x 2.2 = 1.056.
    EXPECT_EQ(Shown(GammaFile(Type, {{"gAMA", Gama(43000)}})), Corrected(0.43)) << int(Type);
    EXPECT_EQ(Shown(GammaFile(Type, {{"gAMA", Gama(48000)}})), Corrected(0.48)) << int(Type);
    // A malformed sRGB chunk names no color space.
    EXPECT_EQ(Shown(GammaFile(Type, {{"gAMA", Gama(100000)}, {"sRGB", {}}})), Corrected(1.0)) << int(Type);
  }
}

TEST(PngGamma, ImageMagickFileShowsStoredValues) {
  if (std::system("command -v convert >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "ImageMagick's convert is not installed";
  const fs::path Dir = fs::temp_directory_path() / ("pelorin-gamma-" + std::to_string(::getpid()));
  fs::create_directories(Dir);
  const fs::path File = Dir / "im.png";
  const std::string Cmd = "convert -size 3x1 xc:'rgb(10,64,200)' -define png:color-type=2 '" + File.string() + "'";
  ASSERT_EQ(std::system(Cmd.c_str()), 0);
  const TRead R = ReadPng(LoadFile(File));
  fs::remove_all(Dir);
  for (int32_t X = 0; X < 3; ++X)
    EXPECT_EQ(R.Dib->GetPixelColor(X, 0), RGBColor(10, 64, 200));
}
