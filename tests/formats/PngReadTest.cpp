#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <cmath>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "XPng.h"

namespace fs = std::filesystem;

namespace {

using TBytes = std::vector<uint8_t>;

void PutBE(TBytes& B, uint32_t V) {
  for (int S = 24; S >= 0; S -= 8)
    B.push_back(uint8_t(V >> S));
}

void AddChunk(TBytes& File, const char* Type, const TBytes& Data, bool BadCrc = false) {
  PutBE(File, uint32_t(Data.size()));
  const size_t TypeAt = File.size();
  File.insert(File.end(), Type, Type + 4);
  File.insert(File.end(), Data.begin(), Data.end());
  uLong Crc = crc32(0L, File.data() + TypeAt, uInt(4 + Data.size()));
  PutBE(File, uint32_t(Crc) ^ (BadCrc ? 1u : 0u));
}

TBytes Ihdr(uint32_t W, uint32_t H, uint8_t Depth, uint8_t Type, uint8_t Interlace = 0) {
  TBytes D;
  PutBE(D, W);
  PutBE(D, H);
  D.insert(D.end(), {Depth, Type, 0, 0, Interlace});
  return D;
}

TBytes Deflate(const TBytes& Raw) {
  uLongf Size = compressBound(uLong(Raw.size()));
  TBytes Out(Size);
  compress2(Out.data(), &Size, Raw.data(), uLong(Raw.size()), 6);
  Out.resize(Size);
  return Out;
}

TBytes Signature() { return {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A}; }

// A file with the given IHDR, extra chunks before the data, and rows of raw
// (filter byte included) data.
struct TPngBuilder {
  TBytes File = Signature();
  explicit TPngBuilder(const TBytes& Header, const char* IhdrName = "IHDR") { AddChunk(File, IhdrName, Header); }
  TPngBuilder& Chunk(const char* Type, const TBytes& Data) {
    AddChunk(File, Type, Data);
    return *this;
  }
  TBytes Finish(const TBytes& Raw) {
    AddChunk(File, "IDAT", Deflate(Raw));
    AddChunk(File, "IEND", {});
    return File;
  }
};

struct TRead {
  std::unique_ptr<TPngReader> Reader = std::make_unique<TPngReader>();
  std::unique_ptr<TDib> Dib;
};

TRead ReadPng(const TBytes& File, bool Alpha = true, TColor Back = 0x00C08040) {
  TRead R;
  R.Reader->SetBackground(Back);
  R.Reader->OpenMemory(File);
  R.Reader->AlphaEnabled = Alpha;
  R.Reader->CreateDib();
  R.Dib = R.Reader->TakeDib();
  R.Reader->Read();
  return R;
}

// The message of a failed read; any exception that is not the codec's own
// counts as a failure of the test.
std::string FailureOf(const TBytes& File) {
  try {
    ReadPng(File);
  } catch (const EInvalidGraphicOperation& E) {
    return E.what();
  } catch (const std::exception& E) {
    return std::string("not a codec error: ") + E.what();
  }
  return "";
}

const char* Corpus() { return std::getenv("PELORIN_CORPUS"); }

// The suite's folder, or empty when the corpus is not beside the project.
fs::path SuiteDir() {
  if (!Corpus())
    return {};
  const fs::path Dir = fs::path(Corpus()) / "pngsuite" / "png";
  return fs::is_directory(Dir) ? Dir : fs::path();
}

// The reference decoding: libpng's samples, palette and its transparency
// expanded, 16-bit samples kept, gray and RGB keys left alone.
struct TReference {
  uint32_t W = 0, H = 0;
  int ColorType = 0, Depth = 0;
  bool Sixteen = false;
  std::vector<uint16_t> Rgba; // 4 samples per pixel
  bool HasGamma = false;
  double Gamma = 0;
  bool ColorSpace = false; // sRGB or iCCP
  bool HasBkgd = false;
  png_color_16 Bkgd{};
  std::vector<png_color> Palette;
};

bool DecodeWithLibpng(const std::string& Path, TReference& Ref) {
  FILE* F = std::fopen(Path.c_str(), "rb");
  if (!F)
    return false;
  png_structp Png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop Info = png_create_info_struct(Png);
  std::vector<png_bytep> Rows;
  std::vector<uint8_t> Bytes;
  if (setjmp(png_jmpbuf(Png))) {
    png_destroy_read_struct(&Png, &Info, nullptr);
    std::fclose(F);
    return false;
  }
  png_init_io(Png, F);
  png_read_info(Png, Info);
  Ref.W = png_get_image_width(Png, Info);
  Ref.H = png_get_image_height(Png, Info);
  Ref.ColorType = png_get_color_type(Png, Info);
  Ref.Depth = png_get_bit_depth(Png, Info);
  Ref.Sixteen = Ref.Depth == 16;
  double G;
  if (png_get_gAMA(Png, Info, &G)) {
    Ref.HasGamma = true;
    Ref.Gamma = G;
  }
  Ref.ColorSpace = png_get_valid(Png, Info, PNG_INFO_sRGB | PNG_INFO_iCCP) != 0;
  png_color_16p B;
  if (png_get_bKGD(Png, Info, &B)) {
    Ref.HasBkgd = true;
    Ref.Bkgd = *B;
  }
  png_colorp Pal;
  int NumPal;
  if (png_get_PLTE(Png, Info, &Pal, &NumPal))
    Ref.Palette.assign(Pal, Pal + NumPal);
  if (Ref.ColorType == PNG_COLOR_TYPE_PALETTE) {
    png_set_palette_to_rgb(Png);
    if (png_get_valid(Png, Info, PNG_INFO_tRNS))
      png_set_tRNS_to_alpha(Png);
  }
  if (Ref.ColorType == PNG_COLOR_TYPE_GRAY && Ref.Depth < 8)
    png_set_expand_gray_1_2_4_to_8(Png);
  if (Ref.ColorType == PNG_COLOR_TYPE_GRAY || Ref.ColorType == PNG_COLOR_TYPE_GRAY_ALPHA)
    png_set_gray_to_rgb(Png);
  png_set_interlace_handling(Png);
  png_read_update_info(Png, Info);
  const int Channels = png_get_channels(Png, Info);
  const size_t RowBytes = png_get_rowbytes(Png, Info);
  Bytes.resize(RowBytes * Ref.H);
  for (uint32_t Y = 0; Y < Ref.H; ++Y)
    Rows.push_back(Bytes.data() + Y * RowBytes);
  png_read_image(Png, Rows.data());
  png_destroy_read_struct(&Png, &Info, nullptr);
  std::fclose(F);

  Ref.Rgba.resize(size_t(Ref.W) * Ref.H * 4);
  const uint32_t Max = Ref.Sixteen ? 65535 : 255;
  for (uint32_t Y = 0; Y < Ref.H; ++Y)
    for (uint32_t X = 0; X < Ref.W; ++X)
      for (int C = 0; C < 4; ++C) {
        uint32_t V = Max;
        if (C < Channels) {
          const size_t At = (size_t(X) * Channels + C) * (Ref.Sixteen ? 2 : 1);
          V = Ref.Sixteen ? uint32_t(Rows[Y][At] << 8 | Rows[Y][At + 1]) : Rows[Y][At];
        }
        Ref.Rgba[(size_t(Y) * Ref.W + X) * 4 + C] = uint16_t(V);
      }
  return true;
}

uint32_t Scale(const TReference& Ref, uint32_t V) {
  if (Ref.Depth == 16)
    return V * 255 / 65535;
  if (Ref.Depth == 8)
    return V & 0xFF;
  const uint32_t Max = (1u << Ref.Depth) - 1;
  return std::min(V, Max) * 255 / Max;
}

// The colors the viewer shows: alpha composited onto the background (the
// file's bKGD before the caller's), then the file gamma for a display of 2.2,
// skipped like the reference library does when gamma x display is within 5 %
// of 1, and for files that name their color space.
constexpr double ScreenGamma = 2.2;

bool GammaCorrected(const TReference& Ref) {
  return Ref.HasGamma && !Ref.ColorSpace && std::abs(Ref.Gamma * ScreenGamma - 1.0) > 0.05;
}

std::vector<TColor> Expected(const TReference& Ref, bool Alpha, TColor Back) {
  uint8_t Level[256];
  for (int I = 0; I < 256; ++I)
    Level[I] = GammaCorrected(Ref)
                   ? uint8_t(I == 0 ? 0 : std::lround(255.0 * std::pow(I / 255.0, 1.0 / (Ref.Gamma * ScreenGamma))))
                   : uint8_t(I);
  const bool Palette = Ref.ColorType == PNG_COLOR_TYPE_PALETTE;
  const bool Gray = Ref.ColorType == PNG_COLOR_TYPE_GRAY || Ref.ColorType == PNG_COLOR_TYPE_GRAY_ALPHA;
  if (Ref.HasBkgd) {
    if (Palette) {
      if (Ref.Bkgd.index < Ref.Palette.size()) {
        const png_color& E = Ref.Palette[Ref.Bkgd.index];
        Back = RGBColor(Level[E.red], Level[E.green], Level[E.blue]);
      }
    } else if (Gray) {
      const uint8_t V = uint8_t(Scale(Ref, Ref.Bkgd.gray));
      Back = RGBColor(V, V, V);
    } else {
      Back = RGBColor(uint8_t(Scale(Ref, Ref.Bkgd.red)), uint8_t(Scale(Ref, Ref.Bkgd.green)),
                      uint8_t(Scale(Ref, Ref.Bkgd.blue)));
    }
  }
  std::vector<TColor> Out(size_t(Ref.W) * Ref.H);
  for (size_t I = 0; I < Out.size(); ++I) {
    uint32_t S[4];
    for (int C = 0; C < 4; ++C)
      S[C] = Ref.Sixteen ? Ref.Rgba[I * 4 + C] / 257u : Ref.Rgba[I * 4 + C];
    const uint32_t A = Alpha ? S[3] : 255;
    const uint32_t BackC[3] = {GetRValue(Back), GetGValue(Back), GetBValue(Back)};
    uint8_t V[3];
    for (int C = 0; C < 3; ++C) {
      // Gray composites onto the red part of the background.
      const uint32_t Bg = Gray ? BackC[0] : BackC[C];
      if (Palette) {
        const uint32_t Color = Level[S[C]];
        V[C] = uint8_t(Color * A / 255 + (255 - A) * Bg / 255);
      } else {
        V[C] = Level[S[C] * A / 255 + (255 - A) * Bg / 255];
      }
    }
    Out[I] = RGBColor(V[0], V[1], V[2]);
  }
  return Out;
}

std::vector<fs::path> SuiteFiles() {
  std::vector<fs::path> Files;
  for (const auto& E : fs::directory_iterator(SuiteDir()))
    if (E.path().extension() == ".png")
      Files.push_back(E.path());
  std::sort(Files.begin(), Files.end());
  return Files;
}

TBytes LoadFile(const fs::path& P) {
  std::ifstream In(P, std::ios::binary);
  return TBytes(std::istreambuf_iterator<char>(In), {});
}

} // namespace

TEST(PngSuite, ValidFilesMatchReferencePixels) {
  if (SuiteDir().empty())
    GTEST_SKIP() << "PngSuite not available";
  int Checked = 0;
  const TColor Back = 0x00C08040;
  for (const fs::path& P : SuiteFiles()) {
    const std::string Name = P.filename().string();
    if (Name[0] == 'x')
      continue;
    TReference Ref;
    ASSERT_TRUE(DecodeWithLibpng(P.string(), Ref)) << Name;
    for (const bool Alpha : {true, false}) {
      TRead R;
      ASSERT_NO_THROW(R = ReadPng(LoadFile(P), Alpha, Back)) << Name;
      ASSERT_EQ(uint32_t(R.Dib->Width()), Ref.W) << Name;
      ASSERT_EQ(uint32_t(R.Dib->Height()), Ref.H) << Name;
      const std::vector<TColor> Want = Expected(Ref, Alpha, Back);
      int Bad = 0;
      std::string First;
      for (uint32_t Y = 0; Y < Ref.H; ++Y)
        for (uint32_t X = 0; X < Ref.W; ++X) {
          const TColor Got = R.Dib->GetPixelColor(int32_t(X), int32_t(Y));
          const TColor W = Want[size_t(Y) * Ref.W + X];
          if (Got != W && Bad++ == 0) {
            char Text[96];
            std::snprintf(Text, sizeof Text, "(%u,%u) got %06X want %06X", X, Y, Got, W);
            First = Text;
          }
        }
      EXPECT_EQ(Bad, 0) << Name << (Alpha ? " alpha" : " no alpha") << ": " << First;
    }
    ++Checked;
  }
  EXPECT_EQ(Checked, 156);
}

TEST(PngSuite, BrokenFilesFailWithPngMessage) {
  if (SuiteDir().empty())
    GTEST_SKIP() << "PngSuite not available";
  int Checked = 0;
  for (const fs::path& P : SuiteFiles()) {
    const std::string Name = P.filename().string();
    if (Name[0] != 'x')
      continue;
    const std::string Message = FailureOf(LoadFile(P));
    EXPECT_NE(Message.find("PNG"), std::string::npos) << Name << ": " << Message;
    ++Checked;
  }
  EXPECT_EQ(Checked, 14);
}

TEST(PngSuite, HeaderFieldsAndTexts) {
  if (SuiteDir().empty())
    GTEST_SKIP() << "PngSuite not available";
  const fs::path Dir = SuiteDir();
  TPngReader Reader;
  Reader.Open(Dir / "basi6a16.png");
  EXPECT_TRUE(Reader.Interlaced);
  EXPECT_FALSE(Reader.ShowProgress);
  EXPECT_TRUE(Reader.HasAlpha);
  EXPECT_EQ(Reader.ColorFormat, cfRGBA);
  EXPECT_EQ(Reader.PixelFormat, pf24bit);
  EXPECT_EQ(Reader.Compression, cmpDeflate);

  TPngReader Text;
  Text.Open(Dir / "ct1n0g04.png");
  EXPECT_EQ(Text.Title, "PngSuite");
  EXPECT_EQ(Text.Author, "Willem A.J. van Schaik\n(willem@schaik.com)");
  EXPECT_NE(Text.Rights.find("Copyright Willem van Schaik"), std::string::npos);
}

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

TEST(PngCorpus, OtherSuitesReadOrFailWithPngMessage) {
  if (!Corpus() || !fs::is_directory(Corpus()))
    GTEST_SKIP() << "corpus not available";
  int Read = 0, Failed = 0;
  for (const char* Sub : {"pillow/png", "image-rs/png/images", "libjpeg-turbo/png"}) {
    const fs::path Dir = fs::path(Corpus()) / Sub;
    if (!fs::exists(Dir))
      continue;
    for (const auto& E : fs::recursive_directory_iterator(Dir)) {
      if (!E.is_regular_file())
        continue;
      const std::string Message = FailureOf(LoadFile(E.path()));
      if (Message.empty()) {
        ++Read;
      } else {
        ++Failed;
        EXPECT_NE(Message.find("PNG"), std::string::npos) << E.path() << ": " << Message;
      }
    }
  }
  EXPECT_GT(Read, 30);
  std::printf("corpus PNGs read: %d, refused: %d\n", Read, Failed);
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

TEST(PngSuite, GammaFilesOutsideTheWindowAreCorrected) {
  if (SuiteDir().empty())
    GTEST_SKIP() << "PngSuite not available";
  int Corrected = 0, Unchanged = 0;
  for (const fs::path& P : SuiteFiles()) {
    const std::string Name = P.filename().string();
    if (Name[0] != 'g')
      continue;
    TReference Ref;
    ASSERT_TRUE(DecodeWithLibpng(P.string(), Ref)) << Name;
    // Only 0.45 lies within 5 % of the display's inverse.
    EXPECT_EQ(GammaCorrected(Ref), Name.compare(0, 3, "g04") != 0) << Name;
    Ref.HasGamma = false;
    const std::vector<TColor> Raw = Expected(Ref, true, 0x00C08040);
    const TRead R = ReadPng(LoadFile(P));
    bool Same = true;
    for (uint32_t I = 0; I < Raw.size(); ++I)
      Same = Same && R.Dib->GetPixelColor(int32_t(I % Ref.W), int32_t(I / Ref.W)) == Raw[I];
    ++(Same ? Unchanged : Corrected);
  }
  EXPECT_EQ(Unchanged, 3);
  EXPECT_EQ(Corrected, 15);
}
