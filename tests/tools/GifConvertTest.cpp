#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sys/wait.h>
#include <unistd.h>

#include "XBmp.h"
#include "XGif.h"

namespace fs = std::filesystem;

namespace {

class GifConvertTest : public testing::Test {
protected:
  void SetUp() override {
    Dir = fs::temp_directory_path() / ("pelorin-gif-convert-" + std::to_string(::getpid()));
    fs::remove_all(Dir);
    fs::create_directories(Dir);
  }
  void TearDown() override { fs::remove_all(Dir); }

  // Exit status and standard output of the converter.
  std::pair<int, std::string> Run(const std::string& Args) {
    const fs::path Out = Dir / "stdout";
    const int W = std::system((std::string(PELORIN_CONVERT) + " " + Args + " >" + Out.string() + " 2>&1").c_str());
    std::ifstream In(Out);
    return {WIFEXITED(W) ? WEXITSTATUS(W) : -1, {std::istreambuf_iterator<char>(In), {}}};
  }

  template <class TWriter>
  void Save(TWriter& Writer, const TDib& Dib, const fs::path& Name) {
    Writer.CreateFile(Name);
    Writer.Write(Dib);
    ASSERT_TRUE(Writer.OK);
  }

  fs::path Dir;
};

std::unique_ptr<TDib> Pattern() {
  auto D = std::make_unique<TDib>(53, 21, pf8bit);
  for (int32_t I = 0; I < 256; ++I)
    D->SetPaletteColor(I, RGBColor(uint8_t(I), uint8_t(I * 3), uint8_t(255 - I)));
  for (int32_t Y = 0; Y < 21; ++Y)
    for (int32_t X = 0; X < 53; ++X)
      D->SetPixelValue(X, Y, uint32_t((X * Y + X / 3) & 255));
  return D;
}

std::unique_ptr<TGifReader> Load(const fs::path& Name) {
  auto R = std::make_unique<TGifReader>();
  R->Open(Name);
  R->Read();
  return R;
}

} // namespace

TEST_F(GifConvertTest, ExpandedInterlacedCopyKeepsPixelsAndTransparency) {
  const auto Src = Pattern();
  TGifWriter W;
  W.Transparency = {7, int32_t(RGBColor(7, 21, 248)), -1, 0};
  Save(W, *Src, Dir / "in.gif");

  const auto [Status, Out] =
      Run("--expand --interlace " + (Dir / "in.gif").string() + " " + (Dir / "out.gif").string());
  ASSERT_EQ(Status, 0) << Out;
  const auto R = Load(Dir / "out.gif");
  EXPECT_TRUE(R->Interlaced);
  EXPECT_EQ(R->Transparency.TransparentIndex, 7);
  for (int32_t Y = 0; Y < 21; ++Y)
    for (int32_t X = 0; X < 53; ++X)
      ASSERT_EQ(R->Dib->GetPixelValue(X, Y), Src->GetPixelValue(X, Y));
  // Expand mode: roughly nine bits a pixel.
  EXPECT_GT(fs::file_size(Dir / "out.gif"), 53u * 21 * 9 / 8);

  const auto [InfoStatus, Info] = Run("--info " + (Dir / "out.gif").string());
  EXPECT_EQ(InfoStatus, 0);
  EXPECT_NE(Info.find("format: GIF 89a\n"), std::string::npos) << Info;
  EXPECT_NE(Info.find("compression: LZW\n"), std::string::npos);
  EXPECT_NE(Info.find("interlaced: yes\n"), std::string::npos);
}

TEST_F(GifConvertTest, TrueColorImagesAreRefused) {
  TDib Rgb(8, 8, pf24bit);
  TBmpWriter W;
  Save(W, Rgb, Dir / "rgb.bmp");
  const auto [Status, Out] = Run((Dir / "rgb.bmp").string() + " " + (Dir / "rgb.gif").string());
  EXPECT_EQ(Status, 1);
  EXPECT_NE(Out.find("Convert to grayscale or indexed colors to save as GIF"), std::string::npos) << Out;
  EXPECT_FALSE(fs::exists(Dir / "rgb.gif"));
}
