#include <gtest/gtest.h>

#include <fstream>
#include <unistd.h>
#include <map>
#include <sstream>

#include "CorpusFiles.h"
#include "XPmg.h"

namespace fs = std::filesystem;

namespace {

using namespace CorpusReference;
using namespace CorpusFiles;

// Outcomes other than a clean decode; every other portable map of the corpus
// must decode cleanly and match its reference.
const std::map<std::string, std::string> Failing = {
    {"pillow/pnm/courB08.pbm", "fail:Invalid PMG header"},
    {"pillow/pnm/negative_size.ppm", "fail:Invalid PMG header"},
};

// Plain files and the raw files that hold the same samples.
const std::pair<const char*, const char*> SamePixels[] = {
    {"pillow/pnm/hopper_16bit_plain.pgm", "pillow/pnm/hopper_16bit.pgm"},
    {"pillow/pnm/hopper_1bit_plain.pbm", "pillow/pnm/hopper_1bit.pbm"},
    {"pillow/pnm/hopper_8bit_plain.pgm", "pillow/pnm/hopper_8bit.pgm"},
    {"pillow/pnm/hopper_8bit_plain.ppm", "pillow/pnm/hopper_8bit.ppm"},
    {"zigimg/pnm/pgm_ascii_grayscale8.pgm", "zigimg/pnm/pgm_binary_grayscale8.pgm"},
    {"zigimg/pnm/ppm_ascii_rgb24.ppm", "zigimg/pnm/ppm_binary_rgb24.ppm"},
};

bool HaveNetpbm() { return std::system("command -v pnmtopng >/dev/null 2>&1") == 0; }

// netpbm's own reading of the file, through PNG, as the reference where the
// corpus has none.
TRgbaImage NetpbmReference(const fs::path& Name) {
  const fs::path Png = fs::temp_directory_path() / ("pelorin-pnm-ref-" + std::to_string(::getpid()) + ".png");
  const std::string Cmd = "pnmtopng '" + Name.string() + "' > '" + Png.string() + "' 2>/dev/null";
  TRgbaImage Ref;
  if (std::system(Cmd.c_str()) == 0)
    Ref = ReadPngSamples(Png);
  fs::remove(Png);
  return Ref;
}

} // namespace

TEST(PmgConformance, CorpusOutcomes) {
  const fs::path Root = CorpusRoot();
  if (Root.empty() || !fs::exists(Root / "FILES.tsv"))
    GTEST_SKIP() << "corpus not available (PELORIN_CORPUS)";
  const bool Netpbm = HaveNetpbm();
  const auto Files = FilesOf(Root, "pnm");
  ASSERT_EQ(Files.size(), 38u);
  for (const auto& [Path, Listed] : Files) {
    const std::string Reference = Listed.ends_with(".png") ? Listed : "";
    SCOPED_TRACE(Path);
    TPmgReader Reader;
    const std::string Got = Outcome(Reader, Root / Path);
    const auto It = Failing.find(Path);
    if (It != Failing.end()) {
      EXPECT_EQ(Got, It->second);
      continue;
    }
    ASSERT_EQ(Got, "ok");
    if (Reference.empty() && !Netpbm)
      continue;
    // 16-bit references round where the reader truncates.
    const TRgbaImage Ref = Reference.empty() ? NetpbmReference(Root / Path) : ReadPngSamples(Root / Reference);
    const int D = MaxOpaqueDifference(*Reader.Dib, Ref);
    EXPECT_GE(D, 0) << "no reference of the same size";
    EXPECT_LE(D, Reader.MaxVal == 255 || Reader.MaxVal == 1 ? 0 : 1);
  }
  if (!Netpbm)
    GTEST_SKIP() << "netpbm not installed: files without a corpus reference only decoded";
}

TEST(PmgConformance, PlainAndRawFormsAgree) {
  const fs::path Root = CorpusRoot();
  if (Root.empty() || !fs::exists(Root / "FILES.tsv"))
    GTEST_SKIP() << "corpus not available (PELORIN_CORPUS)";
  for (const auto& [Plain, Raw] : SamePixels) {
    SCOPED_TRACE(Plain);
    TPmgReader A, B;
    ASSERT_EQ(Outcome(A, Root / Plain), "ok");
    ASSERT_EQ(Outcome(B, Root / Raw), "ok");
    EXPECT_EQ(A.Compression, cmpAscii);
    EXPECT_EQ(B.Compression, cmpNone);
    EXPECT_EQ(FirstDifference(*A.Dib, *B.Dib), "");
  }
}
