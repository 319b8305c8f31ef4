#include <gtest/gtest.h>

#include <filesystem>

#include "XPng.h"

namespace fs = std::filesystem;

// The build writes splash.png at the top of the build tree; this test runs
// from <build>/tests/formats.
TEST(PngSplash, GeneratedStartImageReads) {
  std::error_code Ec;
  const fs::path Exe = fs::read_symlink("/proc/self/exe", Ec);
  const fs::path Splash = Exe.parent_path().parent_path().parent_path() / "splash.png";
  if (Ec || !fs::exists(Splash))
    GTEST_SKIP() << "splash.png not built";
  TPngReader Reader;
  Reader.SetBackground(0x00FFFFFF);
  Reader.Open(Splash);
  ASSERT_TRUE(Reader.OK);
  Reader.Read();
  ASSERT_NE(Reader.Dib, nullptr);
  EXPECT_EQ(Reader.Dib->Width(), 400);
  EXPECT_EQ(Reader.Dib->Height(), 160);
  EXPECT_EQ(Reader.Dib->PixelFormat(), pf24bit);
  EXPECT_FALSE(Reader.HasAlpha);
  EXPECT_EQ(Reader.Warning, "");
  // Not a flat panel: the frame in the middle is lighter than the corner.
  EXPECT_GT(Luminance(Reader.Dib->GetPixelColor(152, 80)), Luminance(Reader.Dib->GetPixelColor(0, 159)) + 100);
}
