#include <gtest/gtest.h>

#include <map>

#include "CorpusFiles.h"
#include "XTga.h"

namespace fs = std::filesystem;

namespace {

using namespace CorpusFiles;
using namespace CorpusReference;

// Expected outcome of every Targa file of the corpus: "ref" decodes cleanly
// and matches its PNG reference; "ok" decodes cleanly (no reference);
// "warn:" decodes with that warning; "fail:" fails with that message.
const char* const BadHeader = "fail:Invalid TGA header";
const char* const Short = "fail:Stream read error in TGA file.";

const std::map<std::string, std::string> Expected = {
    {"image-rs/tga/images/encoding/black_white.tga", "ok"},
    {"image-rs/tga/images/testsuite/b5-attrib.tga", "ref"},
    {"image-rs/tga/images/testsuite/b5-cmap.tga", "ref"},
    {"image-rs/tga/images/testsuite/b5-noattrib.tga", "ref"},
    {"image-rs/tga/images/testsuite/b5-unused-cmap.tga", "ref"},
    {"image-rs/tga/images/testsuite/bottom_left.tga", "ref"},
    {"image-rs/tga/images/testsuite/bottom_right.tga", "ref"},
    {"image-rs/tga/images/testsuite/cbw8.tga", "ref"},
    {"image-rs/tga/images/testsuite/ccm8.tga", "ok"},
    {"image-rs/tga/images/testsuite/cmap_offset.tga", "ref"},
    {"image-rs/tga/images/testsuite/ctc24.tga", "ref"},
    {"image-rs/tga/images/testsuite/top_left.tga", "ref"},
    {"image-rs/tga/images/testsuite/top_right.tga", "ref"},
    {"image-rs/tga/images/testsuite/ubw8.tga", "ref"},
    {"image-rs/tga/images/testsuite/ucm8.tga", "ok"},
    {"image-rs/tga/images/testsuite/utc16.tga", "ok"},
    {"image-rs/tga/images/testsuite/utc24.tga", "ref"},
    {"image-rs/tga/images/testsuite/utc32.tga", "ref"},
    {"image-rs/tga/regression/bad-color-map.tga", BadHeader},
    {"image-rs/tga/regression/flip-zero-height.tga", BadHeader},
    {"image-rs/tga/regression/flip-zero-height2.tga", BadHeader},
    {"image-rs/tga/regression/orientation-zero-width.tga", BadHeader},
    {"image-rs/tga/regression/overfull-image.tga", Short},
    {"image-rs/tga/regression/sixteen-bit-gray-colormap.tga", BadHeader},
    {"image-rs/tga/regression/sixteen-bit-gray-colormap2.tga", BadHeader},
    {"image-rs/tga/regression/slice-copy-length.tga", BadHeader},
    {"pillow/tga/200x32_p_bl_raw_origin.tga", "ref"},
    {"pillow/tga/cross_scan_line.tga", "ref"},
    {"pillow/tga/cross_scan_line_truncated.tga", Short},
    {"pillow/tga/la.tga", "ok"},
    {"pillow/tga/p_16.tga", "ref"},
    {"pillow/tga/p_8.tga", BadHeader},
    {"pillow/tga/rgb32rle.tga", "ok"},
    {"pillow/tga/rgb32rle_bottom_right.tga", "ok"},
    {"pillow/tga/rgb32rle_top_right.tga", "ok"},
    {"pillow/tga/rgba16.tga", "ok"},
    {"pillow/tga/tga_id_field.tga", "ok"},
};

// The Pillow and TwelveMonkeys sets: one picture in several layouts, every
// one of which decodes cleanly; those with a PNG beside them match it.
bool InGoodSets(const std::string& Path) {
  return Path.starts_with("pillow/tga/common/") || Path.starts_with("twelvemonkeys/tga/") ||
         Path.starts_with("zigimg/tga/");
}

// Pictures stored once plain and once with another origin or run-length
// coding.
const std::pair<const char*, const char*> SamePixels[] = {
    {"image-rs/tga/images/testsuite/ccm8.tga", "image-rs/tga/images/testsuite/ucm8.tga"},
    {"twelvemonkeys/tga/CTC16.TGA", "image-rs/tga/images/testsuite/utc16.tga"},
    {"twelvemonkeys/tga/CTC32.TGA", "image-rs/tga/images/testsuite/utc32.tga"},
    {"twelvemonkeys/tga/FLAG_B16.TGA", "twelvemonkeys/tga/FLAG_T16.TGA"},
    {"twelvemonkeys/tga/FLAG_B32.TGA", "twelvemonkeys/tga/FLAG_T32.TGA"},
    {"twelvemonkeys/tga/XING_B24.TGA", "twelvemonkeys/tga/XING_T24.TGA"},
    {"twelvemonkeys/tga/monochrome16_top_left_rle.tga", "twelvemonkeys/tga/monochrome16_top_left.tga"},
    {"zigimg/tga/stopsignsmallcompressed.tga", "zigimg/tga/stopsignsmall.tga"},
};

// Only PNG references hold pixels to compare.
std::vector<TCorpusFile> TgaFiles(const fs::path& Root) {
  std::vector<TCorpusFile> Files = FilesOf(Root, "tga");
  for (TCorpusFile& F : Files)
    if (!F.Reference.ends_with(".png"))
      F.Reference.clear();
  return Files;
}

} // namespace

TEST(TgaConformance, CorpusOutcomes) {
  const fs::path Root = CorpusRoot();
  if (Root.empty() || !fs::exists(Root / "FILES.tsv"))
    GTEST_SKIP() << "corpus not available (PELORIN_CORPUS)";
  const auto Files = TgaFiles(Root);
  ASSERT_EQ(Files.size(), 82u);
  int References = 0;
  for (const TCorpusFile& F : Files) {
    SCOPED_TRACE(F.Path);
    TTgaReader Reader;
    const std::string Got = Outcome(Reader, Root / F.Path);
    const auto It = Expected.find(F.Path);
    const std::string Want = It != Expected.end() ? It->second : InGoodSets(F.Path) ? "good" : "";
    ASSERT_NE(Want, "") << "no expected outcome; got " << Got;
    if (Want != "ref" && Want != "good") {
      EXPECT_EQ(Got, Want);
      continue;
    }
    ASSERT_EQ(Got, "ok");
    if (F.Reference.empty()) {
      EXPECT_EQ(Want, "good") << "reference expected";
      continue;
    }
    // 5-bit channels: the buffer and the palette expand them by 8 (plus 3),
    // references replicate the top bits.
    const bool Five = Reader.ColorFormat == cf15bit || Reader.EntryBytes == 2;
    const int D = MaxOpaqueDifference(*Reader.Dib, ReadPng(Root / F.Reference));
    EXPECT_GE(D, 0) << "size differs from the reference";
    EXPECT_LE(D, Five ? 7 : 0);
    ++References;
  }
  EXPECT_GE(References, 30);
}

TEST(TgaConformance, SamePicturesInOtherLayouts) {
  const fs::path Root = CorpusRoot();
  if (Root.empty() || !fs::exists(Root / "FILES.tsv"))
    GTEST_SKIP() << "corpus not available (PELORIN_CORPUS)";
  for (const auto& [Name, Plain] : SamePixels) {
    SCOPED_TRACE(Name);
    TTgaReader A, B;
    ASSERT_EQ(Outcome(A, Root / Name), "ok");
    ASSERT_EQ(Outcome(B, Root / Plain), "ok");
    ASSERT_EQ(A.Dib->Width(), B.Dib->Width());
    ASSERT_EQ(A.Dib->Height(), B.Dib->Height());
    for (int32_t Y = 0; Y < A.Dib->Height(); ++Y)
      for (int32_t X = 0; X < A.Dib->Width(); ++X)
        ASSERT_EQ(A.Dib->GetPixelColor(X, Y), B.Dib->GetPixelColor(X, Y)) << X << "," << Y;
  }
}
