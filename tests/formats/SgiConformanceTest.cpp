#include <gtest/gtest.h>

#include <map>

#include "CorpusFiles.h"
#include "TgaPmgExternal.h"
#include "XSgi.h"

namespace fs = std::filesystem;

namespace {

using namespace CorpusFiles;
using namespace CorpusReference;
using namespace TgaPmgExternal;

// Expected outcome of every SGI file of the corpus: "ok" decodes cleanly,
// "warn:" with that warning, "fail:" fails with that message. Files that
// decode are compared with their reference, their plain twin or Pillow.
const char* const Short = "fail:Stream read error in SGI file.";
const char* const BadRow = "fail:Invalid SGI image format.";

const std::map<std::string, std::string> Expected = {
    {"pillow/sgi/crash-465703f71a0f0094873a3e0e82c9f798161171b8.sgi", Short},
    {"pillow/sgi/crash-64834657ee604b8797bf99eac6a194c124a9a8ba.sgi", Short},
    {"pillow/sgi/crash-6b7f2244da6d0ae297ee0754a424213444e92778.sgi", Short},
    {"pillow/sgi/crash-754d9c7ec485ffb76a90eeaab191ef69a2a3a3cd.sgi", Short},
    {"pillow/sgi/crash-abcf1c97b8fe42a6c68f1fb0b978530c98d57ced.sgi", Short},
    {"pillow/sgi/crash-b82e64d4f3f76d7465b6af535283029eda211259.sgi", Short},
    {"pillow/sgi/crash-c1b2595b8b0b92cc5f38b6635e98e3a119ade807.sgi", Short},
    {"pillow/sgi/crash-db8bfa78b19721225425530c5946217720d7df4e.sgi", Short},
    {"pillow/sgi/hopper.bw", "ok"},
    {"pillow/sgi/hopper.rgb", "ok"},
    {"pillow/sgi/hopper.sgi", "ok"},
    {"pillow/sgi/hopper16.rgb", "ok"},
    {"pillow/sgi/ossfuzz-5730089102868480.sgi", Short},
    {"pillow/sgi/sgi_crash.bin", BadRow},
    {"pillow/sgi/sgi_overrun.bin", Short},
    {"pillow/sgi/sgi_overrun_expandrow.bin", BadRow},
    {"pillow/sgi/sgi_overrun_expandrow2.bin", Short},
    {"pillow/sgi/sgi_overrun_expandrowF04.bin", Short},
    {"pillow/sgi/transparent.sgi", "ok"},
    {"pillow/sgi/tv.rgb", "ok"},
    {"pillow/sgi/tv16.sgi", "ok"},
    {"twelvemonkeys/sgi/input.sgi", "ok"},
    {"twelvemonkeys/sgi/normalize_16bit.sgi", "ok"},
    {"twelvemonkeys/sgi/normalize_16bit_offset.sgi", "ok"},
    {"twelvemonkeys/sgi/normalize_8bit.sgi", "ok"},
    {"twelvemonkeys/sgi/normalize_8bit_offset.sgi", "ok"},
    {"zigimg/sgi/sample-24bit-rle.sgi", "ok"},
    {"zigimg/sgi/sample-blackwhite.sgi", "ok"},
    {"zigimg/sgi/sample-gray-rle.sgi", "ok"},
    {"zigimg/sgi/sample-rgb24.sgi", "ok"},
    {"zigimg/sgi/sample-rgb48be-rle.sgi", "ok"},
    {"zigimg/sgi/sample-rgb48be.sgi", "ok"},
    {"zigimg/sgi/sample-rgba-rle.sgi", "ok"},
    {"zigimg/sgi/sample-rgba.sgi", "ok"},
};

// Run-length files beside the plain files of the same picture. Pillow
// refuses these run-length rows, which end without a closing header.
const std::pair<const char*, const char*> SamePixels[] = {
    {"zigimg/sgi/sample-24bit-rle.sgi", "zigimg/sgi/sample-rgb24.sgi"},
    {"zigimg/sgi/sample-gray-rle.sgi", "zigimg/sgi/sample-blackwhite.sgi"},
    {"zigimg/sgi/sample-rgb48be-rle.sgi", "zigimg/sgi/sample-rgb48be.sgi"},
    {"zigimg/sgi/sample-rgba-rle.sgi", "zigimg/sgi/sample-rgba.sgi"},
};

// The reference of a file: its PNG, the SGI file it equals, or else Pillow.
TRgbaImage ReferenceOf(const fs::path& Root, const TCorpusFile& F) {
  if (F.Reference.ends_with(".png"))
    return ReadPng(Root / F.Reference);
  return PillowDecode(Root / (F.Reference.empty() ? F.Path : F.Reference));
}

} // namespace

TEST(SgiConformance, CorpusOutcomes) {
  const fs::path Root = CorpusRoot();
  if (Root.empty() || !fs::exists(Root / "FILES.tsv"))
    GTEST_SKIP() << "corpus not available (PELORIN_CORPUS)";
  const auto Files = FilesOf(Root, "sgi");
  ASSERT_EQ(Files.size(), 34u);
  const bool Pillow = HavePillow();
  int Compared = 0;
  for (const TCorpusFile& F : Files) {
    SCOPED_TRACE(F.Path);
    TSgiReader Reader;
    const std::string Got = Outcome(Reader, Root / F.Path);
    const auto It = Expected.find(F.Path);
    ASSERT_NE(It, Expected.end()) << "no expected outcome; got " << Got;
    EXPECT_EQ(Got, It->second);
    if (Got != "ok" || !Pillow)
      continue;
    const TRgbaImage Ref = ReferenceOf(Root, F);
    if (Ref.Pixels.empty())
      continue;
    // Pillow keeps the high byte of 16-bit samples where we round.
    const int D = MaxOpaqueDifference(*Reader.Dib, Ref);
    EXPECT_GE(D, 0) << "size differs from the reference";
    EXPECT_LE(D, Reader.SampleBytes == 2 ? 1 : 0);
    ++Compared;
  }
  if (!Pillow)
    GTEST_SKIP() << "python3-pil is not installed; outcomes checked without pixels";
  EXPECT_GE(Compared, 15);
}

TEST(SgiConformance, RunLengthFilesMatchTheirPlainTwins) {
  const fs::path Root = CorpusRoot();
  if (Root.empty() || !fs::exists(Root / "FILES.tsv"))
    GTEST_SKIP() << "corpus not available (PELORIN_CORPUS)";
  for (const auto& [Name, Plain] : SamePixels) {
    SCOPED_TRACE(Name);
    TSgiReader A, B;
    ASSERT_EQ(Outcome(A, Root / Name), "ok");
    ASSERT_EQ(Outcome(B, Root / Plain), "ok");
    EXPECT_EQ(A.Compression, cmpRLE);
    EXPECT_EQ(B.Compression, cmpNone);
    EXPECT_EQ(FirstDifference(*A.Dib, *B.Dib), "");
  }
}
