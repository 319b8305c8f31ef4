#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <set>
#include <sstream>

#include "CorpusFiles.h"
#include "TgaPmgExternal.h"
#include "XRas.h"

namespace fs = std::filesystem;

namespace {

using namespace CorpusReference;
using namespace CorpusFiles;

// Every Sun raster file of the corpus decodes cleanly; these are the layouts
// they cover, so that a file dropped from the corpus shows.
const std::set<std::string> Files = {
    "pillow/ras/hopper.ras",                // 24-bit, red first
    "pillow/ras/sunraster.im1",             // 1-bit byte-encoded, no map
    "pillow-test-images/ras/32bpp.ras",     // 32-bit
    "pillow-test-images/ras/4bpp.ras",      // 4-bit with a 16-entry map
    "pillow-test-images/ras/gray.ras",      // 8-bit, no map
    "zigimg/ras/sample-24bit-bgr-rle.ras",  // 24-bit byte-encoded
    "zigimg/ras/sample-8bit-grayscale.ras", // 8-bit, no map
    "zigimg/ras/sample-8bit.ras",           // 8-bit with a map
    "zigimg/ras/sample-bgr24.ras",          // 24-bit, blue first
    "zigimg/ras/sample-blackwhite.ras",     // 1-bit with odd rows
    "zigimg/ras/sample-rgb24.ras",          // 24-bit, red first
};

} // namespace

TEST(RasConformance, CorpusFilesMatchTheirReferences) {
  const fs::path Root = CorpusRoot();
  if (Root.empty() || !fs::exists(Root / "FILES.tsv"))
    GTEST_SKIP() << "corpus not available (PELORIN_CORPUS)";
  const auto Found = FilesOf(Root, "ras");
  ASSERT_EQ(Found.size(), Files.size());
  int References = 0;
  for (const TCorpusFile& F : Found) {
    SCOPED_TRACE(F.Path);
    EXPECT_TRUE(Files.contains(F.Path)) << "file without an expected layout";
    TRasReader Reader;
    ASSERT_EQ(Outcome(Reader, Root / F.Path), "ok");
    if (!F.Reference.ends_with(".png"))
      continue;
    EXPECT_EQ(MaxOpaqueDifference(*Reader.Dib, ReadPng(Root / F.Reference)), 0);
    ++References;
  }
  EXPECT_EQ(References, 4);
}

// Files without a reference, judged by a decoder that shares no code with
// ours.
TEST(RasConformance, CorpusFilesMatchPillow) {
  const fs::path Root = CorpusRoot();
  if (Root.empty() || !fs::exists(Root / "FILES.tsv"))
    GTEST_SKIP() << "corpus not available (PELORIN_CORPUS)";
  if (!TgaPmgExternal::HavePillow())
    GTEST_SKIP() << "python3-pil not installed";
  for (const std::string& Name : Files) {
    SCOPED_TRACE(Name);
    TRasReader Reader;
    ASSERT_EQ(Outcome(Reader, Root / Name), "ok");
    EXPECT_EQ(TgaPmgExternal::FirstDifference(*Reader.Dib, TgaPmgExternal::PillowDecode(Root / Name)), "");
  }
}

// One picture stored blue first, red first and byte-encoded.
TEST(RasConformance, SamePictureInThreeLayouts) {
  const fs::path Root = CorpusRoot();
  if (Root.empty() || !fs::exists(Root / "FILES.tsv"))
    GTEST_SKIP() << "corpus not available (PELORIN_CORPUS)";
  TRasReader Rgb, Bgr, Rle;
  ASSERT_EQ(Outcome(Rgb, Root / "zigimg/ras/sample-rgb24.ras"), "ok");
  ASSERT_EQ(Outcome(Bgr, Root / "zigimg/ras/sample-bgr24.ras"), "ok");
  ASSERT_EQ(Outcome(Rle, Root / "zigimg/ras/sample-24bit-bgr-rle.ras"), "ok");
  EXPECT_TRUE(Rgb.RedFirst);
  EXPECT_FALSE(Bgr.RedFirst);
  EXPECT_EQ(Rle.Compression, cmpRLE);
  ASSERT_EQ(Rgb.Dib->ImageSize(), Rle.Dib->ImageSize());
  EXPECT_EQ(std::memcmp(Rgb.Dib->Bits(), Rle.Dib->Bits(), size_t(Rgb.Dib->ImageSize())), 0);
  // The blue-first copy was encoded separately and differs by rounding, far
  // less than red and blue swapped would.
  int64_t Sum = 0;
  for (int32_t Y = 0; Y < Rgb.Dib->Height(); ++Y)
    for (int32_t X = 0; X < Rgb.Dib->Width(); ++X) {
      const TColor A = Rgb.Dib->GetPixelColor(X, Y), B = Bgr.Dib->GetPixelColor(X, Y);
      Sum += std::abs(GetRValue(A) - GetRValue(B)) + std::abs(GetGValue(A) - GetGValue(B)) +
             std::abs(GetBValue(A) - GetBValue(B));
    }
  EXPECT_LE(Sum, int64_t(Rgb.Dib->Width()) * Rgb.Dib->Height() * 3);
}
