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

// Largest channel difference from libtiff's rendering where it is not exact.
// YCbCr: libtiff repeats chroma where we blend it; JPEG: other IDCT and
// upsampling; CMYK, L*a*b* and LogLuv: other conversion formulas.
const std::map<std::string, int> Tolerance = {
#include "TifTolerances.inc"
};

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
    if (Got != "ok")
      EXPECT_TRUE(Got.find("TIFF") != std::string::npos || Got.find("JPG") != std::string::npos ||
                  Got.find("JPEG") != std::string::npos);
    if (Got != "ok" || !Compare || !R.Dib || (R.Orientation > 1))
      continue;
    const CorpusReference::TRgbaImage Ref = TiffTool::Render(Root / F.Path);
    if (Ref.Pixels.empty())
      continue;
    const auto T = Tolerance.find(F.Path);
    EXPECT_LE(TiffTool::MaxDifference(*R.Dib, Ref), T == Tolerance.end() ? 0 : T->second);
    EXPECT_GE(TiffTool::MaxDifference(*R.Dib, Ref), 0);
    ++Compared;
  }
  if (Compare)
    EXPECT_GT(Compared, 100);
}

} // namespace
