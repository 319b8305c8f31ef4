#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "PngTestFiles.h"

namespace fs = std::filesystem;
using namespace PngTestFiles;

namespace {

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
