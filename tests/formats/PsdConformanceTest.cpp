#include <gtest/gtest.h>

#include <map>
#include <set>

#include "CorpusFiles.h"
#include "TgaPmgExternal.h"
#include "XPsd.h"

namespace fs = std::filesystem;

namespace {

using namespace CorpusFiles;
using namespace CorpusReference;
using namespace TgaPmgExternal;

// Every file of the corpus reads cleanly except these. Files whose layers
// are broken but whose merged image is sound read.
const std::map<std::string, std::string> Failing = {
    {"pillow/psd/combined_larger_than_size.psd", "fail:Stream read error in PSD file."},
    {"pillow/psd/timeout-1ee28a249896e05b83840ae8140622de8e648ba9.psd",
     "fail:Unsupported compression scheme in PSD file."},
    {"pillow/psd/timeout-598843abc37fc080ec36a2699ebbd44f795d3a6f.psd",
     "fail:Unsupported compression scheme in PSD file."},
    {"pillow/psd/timeout-c8efc3fded6426986ba867a399791bae544f59bc.psd",
     "fail:Unsupported compression scheme in PSD file."},
    {"twelvemonkeys/psd/broken-psd/short-packbits.psd", "fail:Stream read error in PSD file."},
};

// Pillow decodes these wrongly, so they are not compared with it: it takes
// a set bitmap bit as white (the gray twin of the 4 x 4 bitmap shows it is
// black), reads the row counts of a five-channel file as if it had three,
// and lets PackBits runs spill into the next row.
const std::set<std::string> PillowWrong = {
    "psd-tools/psd/colormodes/4x4_1bit_bitmap.psd",
    "twelvemonkeys/psd/test_bitmap.psd",
    "twelvemonkeys/psd/AlphaChannelSample_720x480.psd",
    "twelvemonkeys/psd/gimp-32x32-packbits-overflow.psd",
};

// Pillow reads 8-bit files only, and Lab ones without converting them.
bool PillowCompares(const TPSDReader& R) { return R.Depth <= 8 && R.ColorMode != 9; }

struct TTwin {
  const char *Name, *Twin;
  int Tolerance;
};

// The same picture at two depths: what Pillow cannot check is checked
// against the other depth, 32-bit floats through the sRGB curve. The Lab
// conversion turns one level of L*, a* or b* into up to eight of a color.
const TTwin Twins[] = {
    {"psd-tools/psd/colormodes/4x4_16bit_rgb.psd", "psd-tools/psd/colormodes/4x4_8bit_rgb.psd", 2},
    {"psd-tools/psd/colormodes/4x4_16bit_grayscale.psd", "psd-tools/psd/colormodes/4x4_8bit_grayscale.psd", 2},
    {"psd-tools/psd/colormodes/4x4_16bit_cmyk.psd", "psd-tools/psd/colormodes/4x4_8bit_cmyk.psd", 2},
    {"psd-tools/psd/colormodes/4x4_16bit_lab.psd", "psd-tools/psd/colormodes/4x4_8bit_lab.psd", 8},
    {"twelvemonkeys/psd/32bit5x5.psd", "psd-tools/psd/16bit5x5.psd", 1},
};

int MaxDifference(const TDib& A, const TDib& B) {
  if (A.Width() != B.Width() || A.Height() != B.Height())
    return -1;
  int Max = 0;
  for (int32_t Y = 0; Y < A.Height(); ++Y)
    for (int32_t X = 0; X < A.Width(); ++X) {
      const TColor P = A.GetPixelColor(X, Y), Q = B.GetPixelColor(X, Y);
      Max = std::max({Max, std::abs(GetRValue(P) - GetRValue(Q)), std::abs(GetGValue(P) - GetGValue(Q)),
                      std::abs(GetBValue(P) - GetBValue(Q))});
    }
  return Max;
}

bool HaveCorpus(const fs::path& Root) { return !Root.empty() && fs::exists(Root / "FILES.tsv"); }

} // namespace

TEST(PsdConformance, CorpusOutcomesAndPillowPixels) {
  const fs::path Root = CorpusRoot();
  if (!HaveCorpus(Root))
    GTEST_SKIP() << "corpus not available (PELORIN_CORPUS)";
  const auto Files = FilesOf(Root, "psd");
  ASSERT_EQ(Files.size(), 121u);
  const bool Pillow = HavePillow();
  int Compared = 0;
  for (const TCorpusFile& F : Files) {
    SCOPED_TRACE(F.Path);
    TPSDReader Reader;
    const std::string Got = Outcome(Reader, Root / F.Path);
    const auto It = Failing.find(F.Path);
    EXPECT_EQ(Got, It == Failing.end() ? "ok" : It->second);
    if (Got != "ok" || !Pillow || !PillowCompares(Reader) || PillowWrong.count(F.Path))
      continue;
    // Pillow opens some files it cannot decode; those give no reference.
    const TRgbaImage Ref = PillowDecode(Root / F.Path);
    if (Ref.Pixels.empty())
      continue;
    EXPECT_EQ(FirstDifference(*Reader.Dib, Ref), "");
    ++Compared;
  }
  if (!Pillow)
    GTEST_SKIP() << "python3-pil is not installed; outcomes checked without pixels";
  EXPECT_GE(Compared, 60);
}

TEST(PsdConformance, DeeperFilesMatchTheirTwinsAndCompositesTheirRendering) {
  const fs::path Root = CorpusRoot();
  if (!HaveCorpus(Root))
    GTEST_SKIP() << "corpus not available (PELORIN_CORPUS)";
  for (const TTwin& T : Twins) {
    SCOPED_TRACE(T.Name);
    TPSDReader A, B;
    ASSERT_EQ(Outcome(A, Root / T.Name), "ok");
    ASSERT_EQ(Outcome(B, Root / T.Twin), "ok");
    EXPECT_NE(A.Depth, B.Depth);
    const int D = MaxDifference(*A.Dib, *B.Dib);
    EXPECT_GE(D, 0) << "sizes differ";
    EXPECT_LE(D, T.Tolerance);
  }
  // The merged image is the flattened layers as another program renders them.
  TPSDReader Layered;
  ASSERT_EQ(Outcome(Layered, Root / "psd-tools/psd/group-clipping/group-clipping.psd"), "ok");
  const TRgbaImage Ref = ReadPng(Root / "psd-tools/psd/group-clipping/group-clipping-clip-studio.png");
  ASSERT_FALSE(Ref.Pixels.empty());
  EXPECT_EQ(MaxOpaqueDifference(*Layered.Dib, Ref), 0);
}
