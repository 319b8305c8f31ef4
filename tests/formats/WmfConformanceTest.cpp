#include <gtest/gtest.h>

#include <cmath>

#include "CorpusFiles.h"
#include "XWmf.h"

namespace fs = std::filesystem;

namespace {

using namespace CorpusFiles;
using namespace CorpusReference;

// Conformance runs draw at most this many pixels a picture: the largest
// files would take minutes under the sanitizers at their natural size.
constexpr int64_t TestPixels = 2'000'000;

struct TComparison {
  double MeanDifference = 0;
  // Share of pixels off by more than a third of the range in any channel:
  // a shape missing or out of place.
  double Differing = 0;
};

// Ours scaled to the reference's size; the reference composited on white.
TComparison Compare(const TDib& Ours, const TRgbaImage& Ref) {
  const std::unique_ptr<TDib> Scaled = Ours.ScaledCopy(Ref.Width, Ref.Height);
  double Sum = 0;
  size_t Off = 0;
  for (int32_t Y = 0; Y < Ref.Height; ++Y)
    for (int32_t X = 0; X < Ref.Width; ++X) {
      const uint8_t* P = &Ref.Pixels[(size_t(Y) * size_t(Ref.Width) + size_t(X)) * 4];
      const TColor C = Scaled->GetPixelColor(X, Y);
      const int Mine[3] = {GetRValue(C), GetGValue(C), GetBValue(C)};
      int Max = 0;
      for (int K = 0; K < 3; ++K) {
        const int Theirs = (P[K] * P[3] + 255 * (255 - P[3])) / 255;
        const int D = std::abs(Mine[K] - Theirs);
        Sum += D;
        Max = std::max(Max, D);
      }
      Off += Max > 85;
    }
  const double N = double(Ref.Width) * Ref.Height;
  return {Sum / (3 * N), double(Off) / N};
}

std::string ReadOutcome(const fs::path& File, std::unique_ptr<TWmfReader>& Reader) {
  Reader = std::make_unique<TWmfReader>();
  Reader->MaxPixels = TestPixels;
  return Outcome(*Reader, File);
}

} // namespace

TEST(WmfConformance, EveryGoodFilePlaysAndBrokenOnesFailCleanly) {
  const fs::path Root = CorpusRoot();
  if (Root.empty() || !fs::exists(Root / "FILES.tsv"))
    GTEST_SKIP() << "corpus not available (PELORIN_CORPUS)";
  int Good = 0, Failed = 0, Played = 0;
  for (const TCorpusFile& F : FilesOf(Root, "wmf-emf")) {
    SCOPED_TRACE(F.Path);
    std::unique_ptr<TWmfReader> Reader;
    const std::string Result = ReadOutcome(Root / F.Path, Reader);
    const bool Invalid = F.Path.find("corrupted") != std::string::npos;
    if (!Invalid) {
      ++Good;
      EXPECT_EQ(Result.rfind("fail:", 0), std::string::npos) << Result;
      continue;
    }
    // A broken file either is refused as no metafile or shows what its good
    // records hold.
    if (Result.rfind("fail:", 0) == 0) {
      EXPECT_EQ(Result, "fail:Metafile is not valid");
      ++Failed;
    } else
      ++Played;
  }
  EXPECT_GE(Good, 180);
  EXPECT_EQ(Failed + Played, 17);
}

TEST(WmfConformance, PicturesLookLikeTheirReferences) {
  const fs::path Root = CorpusRoot();
  if (Root.empty() || !fs::exists(Root / "FILES.tsv"))
    GTEST_SKIP() << "corpus not available (PELORIN_CORPUS)";
  struct TCase {
    const char* File;
    const char* Reference;
    double MaxMean, MaxDiffering;
  };
  const TCase Cases[] = {
      {"pillow/wmf-emf/drawing.emf", "pillow/wmf-emf/drawing_emf_ref.png", 8, 0.03},
      {"pillow/wmf-emf/drawing.wmf", "pillow/wmf-emf/drawing_wmf_ref.png", 8, 0.03},
      {"wmf2svg/wmf-emf/wmf/fulltest.wmf", "wmf2svg/wmf-emf/wmf/fulltest.png", 20, 0.10},
      {"wmf2svg/wmf-emf/emf/fulltest.emf", "wmf2svg/wmf-emf/emf/fulltest.png", 20, 0.10},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.File);
    std::unique_ptr<TWmfReader> Reader;
    const std::string Result = ReadOutcome(Root / C.File, Reader);
    ASSERT_EQ(Result.rfind("fail:", 0), std::string::npos) << Result;
    const TRgbaImage Ref = ReadPng(Root / C.Reference);
    ASSERT_GT(Ref.Width, 0);
    const TComparison D = Compare(*Reader->Dib, Ref);
    EXPECT_LE(D.MeanDifference, C.MaxMean);
    EXPECT_LE(D.Differing, C.MaxDiffering);
  }
}
