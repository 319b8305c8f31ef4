#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <sstream>
#include <sys/wait.h>

#include "MemoryCodec.h"
#include "PixelLayout.h"
#include "TgaPmgExternal.h"
#include "TiffTool.h"
#include "XTif.h"

// The files the TIFF writer makes, judged by libtiff's own tools and by
// Pillow rather than by our reader.

namespace {

using TgaPmgExternal::FirstDifference;
using TgaPmgExternal::TTempFile;

struct TRun {
  int Status = -1;
  std::string Out;
};

// The command's exit status and what it printed on stdout.
TRun RunCommand(const std::string& Cmd) {
  TRun R;
  FILE* P = ::popen(Cmd.c_str(), "r");
  if (!P)
    return R;
  char Buf[4096];
  for (size_t N; (N = std::fread(Buf, 1, sizeof Buf, P)) > 0;)
    R.Out.append(Buf, N);
  const int W = ::pclose(P);
  R.Status = WIFEXITED(W) ? WEXITSTATUS(W) : -1;
  return R;
}

std::string Quoted(const std::filesystem::path& P) {
  std::string S = "'";
  S += P.string();
  return S += "'";
}

struct TTools {
  bool Tiffinfo = false, Tiff2Rgba = false, Pillow = false;
};

TTools Tools() {
  return {TgaPmgExternal::HaveCommand("tiffinfo"), TiffTool::HaveTiff2Rgba(), TgaPmgExternal::HavePillow()};
}

struct TSettings {
  uint8_t Compression = 0;
  bool BigEndian = false;
  int32_t StripSize = 32768;
};

struct TTexts {
  std::string Title, Author, Rights;
};

// Writes through a file, as the program saves.
void WriteFile(const TDib& Dib, const TSettings& S, const TTempFile& File, TTifWriter& W, const TTexts& T = {}) {
  W.Compression = S.Compression;
  W.BigEndian = S.BigEndian;
  W.StripSize = S.StripSize;
  W.Title = T.Title;
  W.Author = T.Author;
  W.Rights = T.Rights;
  W.CreateFile(File.Path());
  W.Write(Dib);
  ASSERT_TRUE(W.OK);
}

// tiffinfo reads every strip; a clean file gives no message at all, since
// libtiff reports warnings and errors alike on stderr.
void ExpectCleanTiffinfo(const std::filesystem::path& F) {
  const TRun R = RunCommand("tiffinfo -D " + Quoted(F) + " 2>&1 >/dev/null");
  EXPECT_EQ(R.Status, 0);
  EXPECT_EQ(R.Out, "");
}

// Every external check of one written file.
void ExpectReadAlike(const TDib& Dib, const std::filesystem::path& F, const TTools& T) {
  if (T.Tiffinfo)
    ExpectCleanTiffinfo(F);
  if (T.Tiff2Rgba) {
    EXPECT_EQ(FirstDifference(Dib, TiffTool::Render(F)), "") << "tiff2rgba";
  }
  if (T.Pillow) {
    EXPECT_EQ(FirstDifference(Dib, TgaPmgExternal::PillowDecode(F)), "") << "Pillow";
  }
}

struct TFormatCase {
  TPixelFormat Pf;
  bool Gray;
  // Bits per pixel as stored: a 1-bit color image goes out as 4-bit palette.
  int32_t StoredBits;
};
constexpr TFormatCase Formats[] = {
    {pf1bit, true, 1},  {pf1bit, false, 4},   {pf4bit, true, 4},    {pf4bit, false, 4},   {pf8bit, true, 8},
    {pf8bit, false, 8}, {pf15bit, false, 24}, {pf16bit, false, 24}, {pf24bit, false, 24}, {pf32bit, false, 24}};
constexpr uint8_t Compressions[] = {0, 3, 4, 12};

TEST(TifWriterExternal, LibtiffAndPillowReadEveryLayout) {
  const TTools T = Tools();
  if (!T.Tiffinfo && !T.Tiff2Rgba && !T.Pillow)
    GTEST_SKIP() << "tiffinfo, tiff2rgba and python3-PIL missing";
  // An odd width leaves a half-used last byte in 1- and 4-bit rows.
  constexpr int32_t W = 37, H = 23;
  for (const TFormatCase& F : Formats) {
    const auto Dib = TgaPmgExternal::PatternDib(W, H, F.Pf, 31 + F.Pf, F.Gray);
    // About five rows a strip, so strips hold several rows and the last
    // strip is short.
    const int32_t StripSize = int32_t(5 * PackedRowBytes(W, F.StoredBits));
    for (uint8_t C : Compressions)
      for (bool Be : {false, true}) {
        SCOPED_TRACE(testing::Message() << "pf " << int(F.Pf) << (F.Gray ? " gray" : "") << " compression " << int(C)
                                        << (Be ? " MM" : " II"));
        TTempFile File(".tif");
        TTifWriter Writer;
        WriteFile(*Dib, {.Compression = C, .BigEndian = Be, .StripSize = StripSize}, File, Writer);
        EXPECT_GT(Writer.RowsPerStrip, 1);
        EXPECT_GT(Writer.StripCount, 2);
        EXPECT_NE(H % Writer.RowsPerStrip, 0);
        ExpectReadAlike(*Dib, File.Path(), T);
      }
  }
}

// Noise with smooth stretches in one strip: far more than the 4094 codes
// that fill the LZW table, so the coder clears and goes on mid-strip.
std::unique_ptr<TDib> NoisyDib(int32_t W, int32_t H, TPixelFormat Pf) {
  auto D = std::make_unique<TDib>(W, H, Pf);
  std::mt19937 Rng(77);
  for (int32_t I = 0; I < D->PaletteSize(); ++I)
    D->SetPaletteColor(I, Rng() & 0xFFFFFF);
  for (int32_t Y = 0; Y < H; ++Y)
    for (int32_t X = 0; X < W; ++X) {
      const bool Smooth = (X / 64 + Y / 48) % 2 == 0;
      const uint32_t V = Smooth ? uint32_t(X + Y) * 0x010203u : Rng();
      D->SetPixelValue(X, Y, Pf == pf8bit ? V & 0xFF : V & 0xFFFFFF);
    }
  return D;
}

TEST(TifWriterExternal, OneLargeLzwStripPastTheCodeTable) {
  const TTools T = Tools();
  if (!T.Tiffinfo && !T.Tiff2Rgba && !T.Pillow)
    GTEST_SKIP() << "tiffinfo, tiff2rgba and python3-PIL missing";
  struct TCase {
    TPixelFormat Pf;
    uint8_t Compression;
    bool BigEndian;
  };
  for (const TCase& C : {TCase{pf24bit, 3, false}, TCase{pf24bit, 4, true}, TCase{pf8bit, 4, false}}) {
    SCOPED_TRACE(testing::Message() << "pf " << int(C.Pf) << " compression " << int(C.Compression));
    const auto Dib = NoisyDib(600, 400, C.Pf);
    TTempFile File(".tif");
    TTifWriter Writer;
    WriteFile(*Dib, {.Compression = C.Compression, .BigEndian = C.BigEndian, .StripSize = 1 << 30}, File, Writer);
    ASSERT_EQ(Writer.StripCount, 1);
    // Codes are at most 12 bits: this many bytes hold more than 4094 codes.
    EXPECT_GT(std::filesystem::file_size(File.Path()), 4094u * 12 / 8 + 1000);
    ExpectReadAlike(*Dib, File.Path(), T);
  }
}

// The value tiffinfo prints for Field ("Artist" etc.), trailing spaces
// dropped; "<none>" when it prints none.
std::string TiffinfoField(const std::string& Info, const std::string& Field) {
  std::istringstream In(Info);
  const std::string Key = "  " + Field + ": ";
  for (std::string Line; std::getline(In, Line);)
    if (Line.rfind(Key, 0) == 0) {
      Line.erase(0, Key.size());
      return Line.erase(Line.find_last_not_of(' ') + 1);
    }
  return "<none>";
}

// Pillow's texts of the description, artist and copyright tags and its dpi,
// one a line, trailing spaces dropped.
std::vector<std::string> PillowTexts(const std::filesystem::path& F) {
  const TRun R = RunCommand("/usr/bin/python3 -c 'import sys\nfrom PIL import Image\nim = Image.open(sys.argv[1])\n"
                            "for k in (270, 315, 33432): print(str(im.tag_v2.get(k, \"<none>\")).rstrip(\" \"))\n"
                            "print(\"%g\" % im.info.get(\"dpi\", (0,))[0])' " +
                            Quoted(F) + " 2>/dev/null");
  std::vector<std::string> Lines;
  std::istringstream In(R.Out);
  for (std::string Line; std::getline(In, Line);)
    Lines.push_back(Line);
  return Lines;
}

TEST(TifWriterExternal, TextsAndResolutionComeBack) {
  const TTools T = Tools();
  if (!T.Tiffinfo && !T.Pillow)
    GTEST_SKIP() << "tiffinfo and python3-PIL missing";
  // Short texts are padded to four characters: a two-character one and one
  // of exactly four; absent texts leave no tag.
  const TTexts Cases[] = {
      {"Harbour at dusk, second try", "Al", "(c) 2026 P. Example"}, {"Four", "", ""}, {"", "Jo", "Free"}};
  auto Shown = [](const std::string& S) { return S.empty() ? std::string("<none>") : S; };
  for (const TTexts& C : Cases)
    for (bool Be : {false, true}) {
      SCOPED_TRACE(C.Title + "|" + C.Author + "|" + C.Rights + (Be ? " MM" : " II"));
      auto Dib = TgaPmgExternal::PatternDib(9, 5, pf24bit, 3);
      Dib->SetResolution(150);
      TTempFile File(".tif");
      TTifWriter Writer;
      WriteFile(*Dib, {.Compression = 3, .BigEndian = Be, .StripSize = 32768}, File, Writer, C);
      if (T.Tiffinfo) {
        ExpectCleanTiffinfo(File.Path());
        const std::string Info = RunCommand("tiffinfo " + Quoted(File.Path()) + " 2>/dev/null").Out;
        EXPECT_EQ(TiffinfoField(Info, "ImageDescription"), Shown(C.Title));
        EXPECT_EQ(TiffinfoField(Info, "Artist"), Shown(C.Author));
        EXPECT_EQ(TiffinfoField(Info, "Copyright"), Shown(C.Rights));
      }
      if (T.Pillow) {
        EXPECT_EQ(PillowTexts(File.Path()),
                  (std::vector<std::string>{Shown(C.Title), Shown(C.Author), Shown(C.Rights), "150"}));
      }
    }
}

} // namespace
