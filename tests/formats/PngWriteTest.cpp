#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "XPng.h"
#include "XImageRead.h"

namespace fs = std::filesystem;

namespace {

using TBytes = std::vector<uint8_t>;

struct TChunk {
  std::string Type;
  TBytes Data;
};

std::vector<TChunk> Chunks(const TBytes& File) {
  std::vector<TChunk> Out;
  for (size_t At = 8; At + 12 <= File.size();) {
    const uint32_t Len = GetBE32(&File[At]);
    TChunk C{std::string(File.begin() + long(At) + 4, File.begin() + long(At) + 8),
             TBytes(File.begin() + long(At) + 8, File.begin() + long(At) + 8 + Len)};
    Out.push_back(C);
    At += 12 + Len;
  }
  return Out;
}

const TChunk* Find(const std::vector<TChunk>& Cs, const std::string& Type) {
  for (const TChunk& C : Cs)
    if (C.Type == Type)
      return &C;
  return nullptr;
}

TBytes Inflated(const std::vector<TChunk>& Cs) {
  TBytes Data;
  for (const TChunk& C : Cs)
    if (C.Type == "IDAT")
      Data.insert(Data.end(), C.Data.begin(), C.Data.end());
  TBytes Out(64 << 20);
  uLongf Size = uLongf(Out.size());
  EXPECT_EQ(uncompress(Out.data(), &Size, Data.data(), uLong(Data.size())), Z_OK);
  Out.resize(Size);
  return Out;
}

// Filter type bytes of a non-interlaced image.
std::vector<uint8_t> FilterTypes(const TBytes& File, size_t RowLength) {
  const TBytes Raw = Inflated(Chunks(File));
  std::vector<uint8_t> Types;
  for (size_t At = 0; At < Raw.size(); At += RowLength + 1)
    Types.push_back(Raw[At]);
  return Types;
}

TBytes WritePng(const TDib& Dib, TPngWriter& W) {
  TMemoryStream S;
  W.CreateStream(S);
  W.Write(Dib);
  EXPECT_TRUE(W.OK);
  const auto B = S.Bytes();
  return TBytes(B.begin(), B.end());
}

TBytes WritePng(const TDib& Dib, uint8_t Filters = pngAllFilters, bool Interlaced = false, int32_t Level = 6) {
  TPngWriter W;
  W.Filters = Filters;
  W.Interlaced = Interlaced;
  W.CompressionLevel = Level;
  return WritePng(Dib, W);
}

std::unique_ptr<TDib> ReadPng(const TBytes& File, TPngReader& R) {
  TImageRead Read = ReadImageWith(R, File);
  Read.ThrowFailure();
  return std::move(Read.Dib);
}

std::unique_ptr<TDib> ReadPng(const TBytes& File) {
  TPngReader R;
  return ReadPng(File, R);
}

// Pixels of an independent decoder, as 0x00BBGGRR.
bool LibpngColors(const TBytes& File, std::vector<TColor>& Colors) {
  png_image Image{};
  Image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&Image, File.data(), File.size()))
    return false;
  Image.format = PNG_FORMAT_RGB;
  TBytes Pixels(PNG_IMAGE_SIZE(Image));
  if (!png_image_finish_read(&Image, nullptr, Pixels.data(), 0, nullptr))
    return false;
  Colors.resize(size_t(Image.width) * Image.height);
  for (size_t I = 0; I < Colors.size(); ++I)
    Colors[I] = RGBColor(Pixels[I * 3], Pixels[I * 3 + 1], Pixels[I * 3 + 2]);
  return true;
}

struct TFormatCase {
  const char* Name;
  TPixelFormat Format;
  bool Gray;
};

const TFormatCase FormatCases[] = {
    {"1bit", pf1bit, false},   {"1bit gray", pf1bit, true}, {"4bit", pf4bit, false},   {"4bit gray", pf4bit, true},
    {"8bit", pf8bit, false},   {"8bit gray", pf8bit, true}, {"15bit", pf15bit, false}, {"16bit", pf16bit, false},
    {"24bit", pf24bit, false}, {"32bit", pf32bit, false}};

// Smooth areas, edges and noise, so that every filter wins somewhere.
std::unique_ptr<TDib> MakeImage(TPixelFormat Format, bool Gray, int32_t W, int32_t H, uint32_t Seed = 1) {
  auto Dib = std::make_unique<TDib>(W, H, Format);
  std::mt19937 Rng(Seed);
  if (Dib->PaletteSize() > 0) {
    if (Gray) {
      Dib->MakeGrayPalette();
    } else {
      for (int32_t I = 0; I < Dib->PaletteSize(); ++I)
        Dib->SetPaletteColor(I, Rng() & 0xFFFFFF);
    }
  }
  const uint32_t Max = Format <= pf8bit ? uint32_t(Dib->PaletteSize() - 1) : Format <= pf16bit ? 0x7FFF : 0xFFFFFF;
  for (int32_t Y = 0; Y < H; ++Y)
    for (int32_t X = 0; X < W; ++X) {
      uint32_t V;
      if (Y % 7 == 3)
        V = Rng();
      else if (X < W / 2)
        V = uint32_t(X * 3 + Y * 5) * 0x010203u;
      else
        V = (X / 4 + Y / 4) % 2 ? 0xFFFFFFFF : 0;
      Dib->SetPixelValue(X, Y, V & Max);
    }
  return Dib;
}

// The color a reader of the file must show for each pixel.
TColor FileColor(const TDib& Dib, int32_t X, int32_t Y) {
  if (Dib.PixelFormat() == pf15bit || Dib.PixelFormat() == pf16bit) {
    const uint32_t V = Dib.GetPixelValue(X, Y);
    return RGBColor(uint8_t(((V >> 10) & 31) * 255 / 31), uint8_t(((V >> 5) & 31) * 255 / 31),
                    uint8_t((V & 31) * 255 / 31));
  }
  return Dib.GetPixelColor(X, Y);
}

void ExpectSameImage(const TDib& Source, const TBytes& File, const std::string& What) {
  const auto Back = ReadPng(File);
  ASSERT_EQ(Back->Width(), Source.Width()) << What;
  ASSERT_EQ(Back->Height(), Source.Height()) << What;
  std::vector<TColor> Independent;
  ASSERT_TRUE(LibpngColors(File, Independent)) << What;
  int Bad = 0, BadLibpng = 0;
  for (int32_t Y = 0; Y < Source.Height(); ++Y)
    for (int32_t X = 0; X < Source.Width(); ++X) {
      const TColor Want = FileColor(Source, X, Y);
      Bad += Back->GetPixelColor(X, Y) != Want;
      BadLibpng += Independent[size_t(Y) * size_t(Source.Width()) + size_t(X)] != Want;
    }
  EXPECT_EQ(Bad, 0) << What;
  EXPECT_EQ(BadLibpng, 0) << What;
}

bool HaveTool(const char* Name) {
  return std::system((std::string("command -v ") + Name + " >/dev/null 2>&1").c_str()) == 0;
}

} // namespace

TEST(PngWrite, RoundTripEveryFormatFilterAndInterlace) {
  const uint8_t FilterSets[] = {pngFilterNone,    pngFilterSub,   pngFilterUp,
                                pngFilterAverage, pngFilterPaeth, pngAllFilters};
  const std::pair<int32_t, int32_t> Sizes[] = {{37, 23}, {1, 9}, {9, 1}};
  for (const TFormatCase& F : FormatCases)
    for (const auto& [W, H] : Sizes) {
      const auto Dib = MakeImage(F.Format, F.Gray, W, H);
      for (const uint8_t Filters : FilterSets)
        for (const bool Interlaced : {false, true}) {
          const std::string What = std::string(F.Name) + " " + std::to_string(W) + "x" + std::to_string(H) +
                                   " filters " + std::to_string(Filters) + (Interlaced ? " interlaced" : "");
          ExpectSameImage(*Dib, WritePng(*Dib, Filters, Interlaced), What);
        }
    }
}

TEST(PngWrite, HeaderOfEachFormat) {
  struct TWant {
    uint8_t Depth, Type;
  };
  const std::map<std::string, TWant> Want = {
      {"1bit", {1, 3}},      {"1bit gray", {1, 0}}, {"4bit", {4, 3}},  {"4bit gray", {4, 0}}, {"8bit", {8, 3}},
      {"8bit gray", {8, 0}}, {"15bit", {8, 2}},     {"16bit", {8, 2}}, {"24bit", {8, 2}},     {"32bit", {8, 2}}};
  for (const TFormatCase& F : FormatCases) {
    const auto Dib = MakeImage(F.Format, F.Gray, 5, 5);
    const TBytes File = WritePng(*Dib, pngAllFilters, true);
    const auto Cs = Chunks(File);
    ASSERT_EQ(Cs.front().Type, "IHDR");
    EXPECT_EQ(Cs.front().Data[8], Want.at(F.Name).Depth) << F.Name;
    EXPECT_EQ(Cs.front().Data[9], Want.at(F.Name).Type) << F.Name;
    EXPECT_EQ(Cs.front().Data[12], 1) << F.Name;
    EXPECT_EQ(Cs.back().Type, "IEND");
    EXPECT_EQ(Find(Cs, "PLTE") != nullptr, Want.at(F.Name).Type == 3) << F.Name;
  }
}

TEST(PngWrite, FilterChoice) {
  const auto Dib = MakeImage(pf24bit, false, 64, 40);
  const size_t RowLength = 64 * 3;
  for (const uint8_t T : FilterTypes(WritePng(*Dib, pngFilterNone), RowLength))
    EXPECT_EQ(T, 0);
  // Level 0 stores every row unfiltered whatever the set.
  for (const uint8_t T : FilterTypes(WritePng(*Dib, pngAllFilters, false, 0), RowLength))
    EXPECT_EQ(T, 0);
  // A filter given alone competes with None only.
  for (const uint8_t T : FilterTypes(WritePng(*Dib, pngFilterPaeth), RowLength))
    EXPECT_TRUE(T == 0 || T == 4);
  std::set<uint8_t> Used;
  for (const uint8_t T : FilterTypes(WritePng(*Dib, pngAllFilters), RowLength))
    Used.insert(T);
  EXPECT_GE(Used.size(), 3u);
  // 1-bit images are never filtered.
  const auto Bits = MakeImage(pf1bit, false, 64, 40);
  for (const uint8_t T : FilterTypes(WritePng(*Bits, pngAllFilters), 8))
    EXPECT_EQ(T, 0);
}

TEST(PngWrite, SmoothRowsPickTheirFilter) {
  // A horizontal ramp is cheapest with Sub, a copy of the row above with Up.
  TDib Dib(100, 3, pf8bit);
  Dib.MakeGrayPalette();
  for (int32_t Y = 0; Y < 3; ++Y)
    for (int32_t X = 0; X < 100; ++X)
      Dib.SetPixelValue(X, Y, uint32_t(X * 2 + 50));
  const auto Types = FilterTypes(WritePng(Dib), 100);
  ASSERT_EQ(Types.size(), 3u);
  EXPECT_EQ(Types[0], 1);
  EXPECT_EQ(Types[1], 2);
}

TEST(PngWrite, PaletteTransparencyAndBackground) {
  TDib Dib(4, 2, pf8bit);
  for (int32_t I = 0; I < 256; ++I)
    Dib.SetPaletteColor(I, RGBColor(uint8_t(I), 0, 0));
  const uint32_t Pixels[8] = {5, 5, 5, 7, 7, 9, 9, 9};
  for (int32_t I = 0; I < 8; ++I)
    Dib.SetPixelValue(I % 4, I / 4, Pixels[I]);
  {
    TPngWriter W;
    W.Transparency = {7, 0x123456, 9, 0};
    const auto Cs = Chunks(WritePng(Dib, W));
    ASSERT_NE(Find(Cs, "PLTE"), nullptr);
    EXPECT_EQ(Find(Cs, "PLTE")->Data.size(), 768u);
    EXPECT_EQ(Find(Cs, "PLTE")->Data[21], 0x56);
    ASSERT_NE(Find(Cs, "tRNS"), nullptr);
    EXPECT_EQ(Find(Cs, "tRNS")->Data, TBytes({255, 255, 255, 255, 255, 255, 255, 0}));
    ASSERT_NE(Find(Cs, "bKGD"), nullptr);
    EXPECT_EQ(Find(Cs, "bKGD")->Data, TBytes({9}));
  }
  {
    // Most used first: 5 and 9 (three each), then 7; the entries follow.
    TPngWriter W;
    W.OptimizePalette = true;
    W.PaletteOrder = pngMostUsedFirst;
    W.Transparency = {7, 0x123456, 200, 0};
    const TBytes File = WritePng(Dib, W);
    const auto Cs = Chunks(File);
    const TBytes& Plte = Find(Cs, "PLTE")->Data;
    ASSERT_EQ(Plte.size(), 12u);
    EXPECT_EQ(Plte[6], 0x56);
    EXPECT_EQ(Plte[9], 200);
    EXPECT_EQ(Find(Cs, "tRNS")->Data, TBytes({255, 255, 0}));
    EXPECT_EQ(Find(Cs, "bKGD")->Data, TBytes({3}));
    EXPECT_EQ(W.PaletteSize, 4);
    TPngReader R;
    const auto Back = ReadPng(File, R);
    EXPECT_EQ(R.Transparency.TransparentIndex, 2);
    EXPECT_EQ(Back->GetPixelColor(0, 0), RGBColor(5, 0, 0));
    EXPECT_EQ(Back->GetPixelColor(3, 1), RGBColor(9, 0, 0));
    EXPECT_EQ(Back->GetPixelValue(3, 0), 2u);
  }
  {
    // A transparent entry that no pixel uses is dropped with the background.
    TPngWriter W;
    W.OptimizePalette = true;
    W.PaletteOrder = pngMostUsedFirst;
    W.Transparency = {8, 0, 9, 0};
    const auto Cs = Chunks(WritePng(Dib, W));
    EXPECT_EQ(Find(Cs, "tRNS"), nullptr);
    EXPECT_EQ(Find(Cs, "bKGD"), nullptr);
    EXPECT_EQ(Find(Cs, "PLTE")->Data.size(), 9u);
  }
}

TEST(PngWrite, OptimizedFourBitPalette) {
  auto Dib = MakeImage(pf4bit, false, 13, 7);
  TPngWriter W;
  W.OptimizePalette = true;
  W.PaletteOrder = pngMostUsedFirst;
  for (const bool Interlaced : {false, true}) {
    W.Interlaced = Interlaced;
    ExpectSameImage(*Dib, WritePng(*Dib, W), Interlaced ? "interlaced" : "progressive");
  }
}

TEST(PngWrite, TextsResolutionAndChunkSplitting) {
  auto Dib = std::make_unique<TDib>(200, 200, pf24bit);
  std::mt19937 Rng(7);
  for (int32_t Y = 0; Y < 200; ++Y)
    for (int32_t X = 0; X < 200; ++X)
      Dib->SetPixelValue(X, Y, Rng() & 0xFFFFFF);
  Dib->SetResolution(300);
  TPngWriter W;
  W.Title = "Caf\xC3\xA9";
  W.Rights = "(c) us";
  W.CompressionLevel = 1;
  const TBytes File = WritePng(*Dib, W);
  const auto Cs = Chunks(File);
  const TChunk* Phys = Find(Cs, "pHYs");
  ASSERT_NE(Phys, nullptr);
  EXPECT_EQ(GetBE32(Phys->Data.data()), 11811u);
  EXPECT_EQ(Phys->Data[8], 1);
  int Idats = 0;
  for (const TChunk& C : Cs) {
    if (C.Type == "IDAT" && ++Idats == 1) {
      EXPECT_EQ(C.Data.size(), 65520u);
    }
  }
  EXPECT_GT(Idats, 1);
  TPngReader R;
  ReadPng(File, R);
  EXPECT_EQ(R.Title, "Caf\xC3\xA9");
  EXPECT_EQ(R.Author, "");
  EXPECT_EQ(R.Rights, "(c) us");
  EXPECT_EQ(R.Resolution, 300);
  EXPECT_EQ(Find(Cs, "tEXt")->Data, TBytes({'T', 'i', 't', 'l', 'e', 0, 'C', 'a', 'f', 0xE9}));
}

TEST(PngWrite, ShortWriteFails) {
  const auto Dib = MakeImage(pf24bit, false, 50, 50);
  TMemoryStream S;
  S.SetWriteLimit(100);
  TPngWriter W;
  W.CreateStream(S);
  try {
    W.Write(*Dib);
    FAIL() << "no failure";
  } catch (const EInvalidGraphicOperation& E) {
    EXPECT_STREQ(E.what(), "File write error\nDisk full?");
  }
  EXPECT_FALSE(W.OK);
}

TEST(PngWrite, IndependentCheckersAcceptOurFiles) {
  const bool Pngcheck = HaveTool("pngcheck");
  const bool Pillow = std::system("/usr/bin/python3 -c 'import PIL' >/dev/null 2>&1") == 0;
  if (!Pngcheck && !Pillow)
    GTEST_SKIP() << "neither pngcheck nor Pillow installed";
  const fs::path Dir = fs::temp_directory_path() / ("pelorin-png-" + std::to_string(::getpid()));
  fs::create_directories(Dir);
  std::string Files;
  for (const TFormatCase& F : FormatCases)
    for (const bool Interlaced : {false, true}) {
      const auto Dib = MakeImage(F.Format, F.Gray, 21, 13);
      TPngWriter W;
      W.Interlaced = Interlaced;
      W.Title = "T";
      W.Author = "A";
      W.Rights = "R";
      W.OptimizePalette = true;
      W.PaletteOrder = pngMostUsedFirst;
      if (F.Format <= pf8bit && !F.Gray)
        W.Transparency = {1, 0, 0, 0};
      const TBytes File = WritePng(*Dib, W);
      const fs::path P = Dir / (std::string(F.Name) + (Interlaced ? "-i" : "") + ".png");
      std::ofstream(P, std::ios::binary).write(reinterpret_cast<const char*>(File.data()), long(File.size()));
      Files += " '" + P.string() + "'";
    }
  if (Pngcheck) {
    EXPECT_EQ(std::system(("pngcheck -q" + Files + " >/dev/null").c_str()), 0);
  }
  if (Pillow) {
    const std::string Script = "import sys\nfrom PIL import Image\nfor f in sys.argv[1:]:\n"
                               "    im = Image.open(f); im.verify(); im = Image.open(f); im.load()\n";
    EXPECT_EQ(std::system(("/usr/bin/python3 -c \"" + Script + "\"" + Files).c_str()), 0);
  }
  fs::remove_all(Dir);
}
