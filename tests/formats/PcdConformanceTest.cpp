#include <gtest/gtest.h>

#include "CorpusFiles.h"
#include "PcdBoxes.h"
#include "TgaPmgExternal.h"
#include "XPcd.h"

namespace fs = std::filesystem;

namespace {

using namespace CorpusFiles;
using namespace CorpusReference;

// The corpus's one Photo CD file holds the three plain resolutions and no
// 4 base or 16 base section.
std::unique_ptr<TPcdReader> ReadHopper(const fs::path& Root, uint8_t Resolution) {
  auto R = std::make_unique<TPcdReader>();
  R->PcdResolution = Resolution;
  EXPECT_EQ(Outcome(*R, Root / "pillow/pcd/hopper.pcd"), "ok");
  return R;
}

} // namespace

TEST(PcdConformance, HopperAtEveryResolution) {
  const fs::path Root = CorpusRoot();
  if (Root.empty() || !fs::exists(Root / "pillow/pcd/hopper.pcd"))
    GTEST_SKIP() << "corpus not available (PELORIN_CORPUS)";
  const int Widths[] = {192, 384, 768, 768, 768};
  std::unique_ptr<TPcdReader> Read[5];
  for (uint8_t R = 0; R < 5; ++R) {
    SCOPED_TRACE(int(R));
    Read[R] = ReadHopper(Root, R);
    EXPECT_EQ(Read[R]->PcdResolution, std::min<uint8_t>(R, 2));
    EXPECT_EQ(Read[R]->Dib->Width(), Widths[R]);
    EXPECT_EQ(Read[R]->Dib->Height(), Widths[R] * 2 / 3);
    EXPECT_EQ(Read[R]->ColorFormat, cfPhotoYCC);
  }
  // The smaller planes are the base, scaled down.
  const TDib& Base = *Read[2]->Dib;
  EXPECT_LT(MeanBoxDifference(Base, *Read[0]->Dib, 4), 8.0);
  EXPECT_LT(MeanBoxDifference(Base, *Read[1]->Dib, 2), 6.0);
  if (!TgaPmgExternal::HavePillow())
    GTEST_SKIP() << "python3-pil is not installed";
  // Pillow converts the same base planes with its own YCC formula.
  const TRgbaImage Ref = TgaPmgExternal::PillowDecode(Root / "pillow/pcd/hopper.pcd");
  ASSERT_EQ(Ref.Width, 768);
  double Ours[3] = {}, Theirs[3] = {};
  for (int32_t Y = 0; Y < 512; ++Y)
    for (int32_t X = 0; X < 768; ++X) {
      const TColor C = Base.GetPixelColor(X, Y);
      const uint8_t* P = &Ref.Pixels[(size_t(Y) * 768 + size_t(X)) * 4];
      const int Mine[3] = {GetRValue(C), GetGValue(C), GetBValue(C)};
      for (int K = 0; K < 3; ++K) {
        Ours[K] += Mine[K];
        Theirs[K] += P[K];
      }
    }
  for (int K = 0; K < 3; ++K)
    EXPECT_NEAR(Ours[K] / (768 * 512), Theirs[K] / (768 * 512), 20.0) << K;
}
