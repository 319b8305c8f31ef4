#include <gtest/gtest.h>

#include <map>

#include "CorpusFiles.h"
#include "TiffTool.h"
#include "XTif.h"

namespace fs = std::filesystem;

namespace {

using namespace CorpusFiles;

// Every TIFF file of the corpus whose outcome is not a clean read: the
// configurations the reader refuses, the broken files and the files that read
// with a warning. Files not listed read cleanly.
const std::map<std::string, std::string> Expected = {
#include "TifOutcomes.inc"
};

// Largest channel difference from libtiff's rendering by kind of image:
// 16-bit samples are reduced by truncation where libtiff rounds; YCbCr
// chroma is blended between units where libtiff repeats it; JPEG data go
// through another IDCT and upsampling; L*a*b* through other formulas.
int ToleranceOf(const TTifReader& R) {
  if (R.Compression == 10 || R.Compression == 11)
    return 45;
  switch (R.ColorMode) {
  case 5: return 60;
  case 6: return 70;
  // libtiff maps LogLuv to 8 bits with its own curve.
  case 7: return 30;
  default: return R.BitsPerSample == 16 ? 1 : 0;
  }
}

// Files whose pixels differ from libtiff's for a known reason.
const std::map<std::string, int> Tolerance = {
    // HalftoneHints stretch the levels; libtiff ignores them.
    {"image-tiff/tiff/libtiffpic/jim___cg.tif", 51},
    {"image-tiff/tiff/libtiffpic/jim___gg.tif", 1},
    // A broken file: the JPEG strips do not fit the directory.
    {"image-rs/tiff/regression/clusterfuzz-testcase-minimized-fuzzer_script_tiff-5026894169374720.tif", 255},
    // Modified Huffman rows labelled Group 3: libtiff gives up where we
    // read on.
    {"twelvemonkeys/tiff/incorrect-compression-rle-as-g3.tif", 255},
    // ThunderScan runs that continue a byte started by the previous code.
    {"image-tiff/tiff/libtiffpic/text.tif", 255},
};

// Pictures stored with fill order 2 beside their plain twins; libtiff leaves
// the bit order of plain data as stored, so the twins are the reference.
const std::pair<const char*, const char*> SamePixels[] = {
    {"pillow/tiff/tiff_gray_2_4_bpp/hopper2R.tif", "pillow/tiff/tiff_gray_2_4_bpp/hopper2.tif"},
    {"pillow/tiff/tiff_gray_2_4_bpp/hopper2IR.tif", "pillow/tiff/tiff_gray_2_4_bpp/hopper2I.tif"},
    {"pillow/tiff/tiff_gray_2_4_bpp/hopper4R.tif", "pillow/tiff/tiff_gray_2_4_bpp/hopper4.tif"},
    {"pillow/tiff/tiff_gray_2_4_bpp/hopper4IR.tif", "pillow/tiff/tiff_gray_2_4_bpp/hopper4I.tif"},
    {"image-tiff/tiff/libtiffpic/quad-tile.tif", "image-tiff/tiff/images/quad-lzw-compat.tiff"},
};

constexpr int64_t MaxComparedPixels = 1 << 18;

bool HasTwin(const std::string& Path) {
  return std::any_of(std::begin(SamePixels), std::end(SamePixels), [&](const auto& P) { return Path == P.first; });
}

TEST(TifConformance, EveryFileHasItsOutcomeAndLibtiffsPixels) {
  const fs::path Root = CorpusReference::CorpusRoot();
  if (Root.empty())
    GTEST_SKIP() << "PELORIN_CORPUS is not set";
  const bool Compare = TiffTool::HaveTiff2Rgba();
  const std::vector<TCorpusFile> Files = FilesOf(Root, "tiff");
  ASSERT_GT(Files.size(), 400u);
  int Compared = 0;
  for (const TCorpusFile& F : Files) {
    SCOPED_TRACE(F.Path);
    TTifReader R;
    const std::string Got = Outcome(R, Root / F.Path);
    const auto E = Expected.find(F.Path);
    EXPECT_EQ(Got, E == Expected.end() ? "ok" : E->second);
    if (Got != "ok") {
      EXPECT_TRUE(Got.find("TIFF") != std::string::npos || Got.find("JPG") != std::string::npos ||
                  Got.find("JPEG") != std::string::npos);
    }
    // Large pictures only cost time: their kinds come in small files too.
    const bool Small = int64_t(R.Width) * R.Height <= MaxComparedPixels;
    if (Got != "ok" || !Compare || !R.Dib || !Small || R.Orientation > 1 || HasTwin(F.Path))
      continue;
    const CorpusReference::TRgbaImage Ref = TiffTool::Render(Root / F.Path);
    if (Ref.Pixels.empty())
      continue;
    const auto T = Tolerance.find(F.Path);
    EXPECT_LE(TiffTool::MaxDifference(*R.Dib, Ref), T == Tolerance.end() ? ToleranceOf(R) : T->second);
    EXPECT_GE(TiffTool::MaxDifference(*R.Dib, Ref), 0);
    ++Compared;
  }
  if (Compare) {
    EXPECT_GT(Compared, 100);
  }
}

TEST(TifConformance, TwinsReadAlike) {
  const fs::path Root = CorpusReference::CorpusRoot();
  if (Root.empty())
    GTEST_SKIP() << "PELORIN_CORPUS is not set";
  for (const auto& [A, B] : SamePixels) {
    TTifReader Ra, Rb;
    ASSERT_EQ(Outcome(Ra, Root / A), "ok") << A;
    ASSERT_EQ(Outcome(Rb, Root / B), "ok") << B;
    EXPECT_EQ(FirstDifference(*Ra.Dib, *Rb.Dib), "") << A;
  }
}

} // namespace
