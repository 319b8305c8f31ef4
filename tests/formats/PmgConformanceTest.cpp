#include <gtest/gtest.h>

#include <fstream>
#include <unistd.h>
#include <map>
#include <sstream>

#include "CorpusReference.h"
#include "XPmg.h"

namespace fs = std::filesystem;

namespace {

using namespace CorpusReference;

// Outcomes other than a clean decode; every other portable map of the corpus
// must decode cleanly and match its reference.
const std::map<std::string, std::string> Failing = {
    {"pillow/pnm/courB08.pbm", "Invalid PMG header"},
    {"pillow/pnm/negative_size.ppm", "Invalid PMG header"},
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

std::vector<std::pair<std::string, std::string>> PnmFiles(const fs::path& Root) {
  std::vector<std::pair<std::string, std::string>> Files;
  std::ifstream In(Root / "FILES.tsv");
  for (std::string Line; std::getline(In, Line);) {
    std::vector<std::string> Col;
    std::stringstream Ss(Line);
    for (std::string C; std::getline(Ss, C, '\t');)
      Col.push_back(C);
    if (Col.size() >= 8 && Col[1] == "pnm" && Col[5] != "reference" && Col[5] != "doc")
      Files.emplace_back(Col[2], Col[7].ends_with(".png") ? Col[7] : "");
  }
  return Files;
}

std::string Outcome(TPmgReader& Reader, const fs::path& Name) {
  try {
    Reader.Open(Name);
    Reader.Read();
    return Reader.Warning.empty() ? "ok" : "warn:" + Reader.Warning;
  } catch (const EInvalidGraphicOperation& E) {
    return E.what();
  }
}

int MaxDifference(const TDib& Dib, const TRgbaImage& Ref) {
  if (Ref.Width != Dib.Width() || Ref.Height != Dib.Height())
    return -1;
  int Max = 0;
  const uint8_t* P = Ref.Pixels.data();
  for (int32_t Y = 0; Y < Dib.Height(); ++Y)
    for (int32_t X = 0; X < Dib.Width(); ++X, P += 4) {
      const TColor C = Dib.GetPixelColor(X, Y);
      Max =
          std::max({Max, std::abs(GetRValue(C) - P[0]), std::abs(GetGValue(C) - P[1]), std::abs(GetBValue(C) - P[2])});
    }
  return Max;
}

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
  const auto Files = PnmFiles(Root);
  ASSERT_EQ(Files.size(), 38u);
  for (const auto& [Path, Reference] : Files) {
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
    const int D = MaxDifference(*Reader.Dib, Ref);
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
    ASSERT_EQ(A.Dib->Width(), B.Dib->Width());
    ASSERT_EQ(A.Dib->Height(), B.Dib->Height());
    for (int32_t Y = 0; Y < A.Dib->Height(); ++Y)
      for (int32_t X = 0; X < A.Dib->Width(); ++X)
        ASSERT_EQ(A.Dib->GetPixelColor(X, Y), B.Dib->GetPixelColor(X, Y)) << X << "," << Y;
  }
}
