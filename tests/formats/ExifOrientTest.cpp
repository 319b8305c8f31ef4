#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

#include "JpgTestUtil.h"
#include "XImageRead.h"

// The eight orientations of one photo, written as a camera would: the
// pixels stored turned (ImageMagick) and the Exif tag saying how to stand
// them up (exiftool). Each must read as the same upright picture.

namespace {

namespace fs = std::filesystem;

bool HaveTool(const char* Name) {
  return std::system((std::string("command -v ") + Name + " >/dev/null 2>&1").c_str()) == 0;
}

bool RunQuiet(const std::string& Cmd) { return std::system((Cmd + " >/dev/null 2>&1").c_str()) == 0; }

std::string Quoted(const fs::path& P) { return "'" + P.string() + "'"; }

// Wider than high, with a dark block in the top left corner, so that every
// mirror and turn shows.
std::unique_ptr<TDib> Upright() {
  std::unique_ptr<TDib> Dib = JpgTest::MakePhoto(64, 48);
  for (int32_t Y = 0; Y < 16; ++Y)
    for (int32_t X = 0; X < 24; ++X)
      Dib->SetPixelColor(X, Y, 0x202020);
  return Dib;
}

void WritePpm(const TDib& Dib, const fs::path& Name) {
  std::ofstream F(Name, std::ios::binary);
  F << "P6\n" << Dib.Width() << " " << Dib.Height() << "\n255\n";
  for (int32_t Y = 0; Y < Dib.Height(); ++Y)
    for (int32_t X = 0; X < Dib.Width(); ++X) {
      const TColor C = Dib.GetPixelColor(X, Y);
      const char Rgb[3] = {char(C & 0xFF), char((C >> 8) & 0xFF), char((C >> 16) & 0xFF)};
      F.write(Rgb, 3);
    }
}

// Mean difference per sample; 255 when the sizes differ.
double MeanDifference(const TDib& A, const TDib& B) {
  if (A.Width() != B.Width() || A.Height() != B.Height())
    return 255;
  double Sum = 0;
  for (int32_t Y = 0; Y < A.Height(); ++Y)
    for (int32_t X = 0; X < A.Width(); ++X) {
      const TColor P = A.GetPixelColor(X, Y), Q = B.GetPixelColor(X, Y);
      for (int Shift = 0; Shift < 24; Shift += 8)
        Sum += std::abs(int((P >> Shift) & 0xFF) - int((Q >> Shift) & 0xFF));
    }
  return Sum / (3.0 * A.Width() * A.Height());
}

// What ImageMagick does to the upright pixels so that tag N stands them up.
const char* const StoredTurn[9] = {
    "", "", "-flop", "-rotate 180", "-flip", "-transpose", "-rotate 270", "-transverse", "-rotate 90"};

class ExifOrient : public ::testing::Test {
protected:
  // The files are made once for all cases of the suite.
  static void SetUpTestSuite() {
    if (!HaveTool("convert") || !HaveTool("exiftool")) {
      Missing = "needs ImageMagick's convert and exiftool (libimage-exiftool-perl)";
      return;
    }
    Folder = fs::temp_directory_path() / ("pelorin-exif-" + std::to_string(getpid()));
    fs::create_directories(Folder);
    WritePpm(*Upright(), Folder / "up.ppm");
    // Full chroma and a high quality keep the turned copies within a few
    // levels of each other.
    for (int N = 0; N <= 8; ++N) {
      const std::string Jpg = Quoted(Variant(N));
      const bool Made =
          RunQuiet("convert " + Quoted(Folder / "up.ppm") + " " + StoredTurn[N] +
                   " -strip -sampling-factor 1x1 -quality 95 " + Jpg) &&
          (N == 0 || RunQuiet("exiftool -q -overwrite_original -n -Orientation=" + std::to_string(N) + " " + Jpg));
      if (!Made) {
        Failed = "the tools failed on orientation " + std::to_string(N);
        return;
      }
    }
  }
  static void TearDownTestSuite() {
    std::error_code Ec;
    if (!Folder.empty())
      fs::remove_all(Folder, Ec);
  }
  void SetUp() override {
    if (!Missing.empty())
      GTEST_SKIP() << Missing;
    ASSERT_TRUE(Failed.empty()) << Failed;
  }
  // 0 is the upright picture without a tag.
  static fs::path Variant(int N) { return Folder / ("o" + std::to_string(N) + ".jpg"); }

  static std::unique_ptr<TDib> ReadTurned(const fs::path& Name, const TReadOptions& O, TImageRead* Out = nullptr) {
    TImageRead Read = ReadImageFile(Name, O);
    Read.ThrowFailure();
    std::unique_ptr<TDib> Dib = std::move(Read.Dib);
    ApplyOrientation(*Dib, OrientationStep(Read.Orientation));
    if (Out)
      *Out = std::move(Read);
    return Dib;
  }

  static inline fs::path Folder;
  static inline std::string Missing, Failed;
};

TEST_F(ExifOrient, EveryOrientationReadsAsTheUprightPicture) {
  const std::unique_ptr<TDib> Reference = ReadTurned(Variant(0), {});
  for (int N = 1; N <= 8; ++N) {
    SCOPED_TRACE("orientation " + std::to_string(N));
    TImageRead Read;
    const std::unique_ptr<TDib> Dib = ReadTurned(Variant(N), {}, &Read);
    EXPECT_EQ(Read.Orientation, N);
    EXPECT_EQ(Read.Facts.Orientation, N);
    EXPECT_EQ(Read.Facts.OrientationApplied, N > 1);
    EXPECT_LT(MeanDifference(*Dib, *Reference), 3.0);
  }
}

TEST_F(ExifOrient, SwitchedOffTheStoredPictureStays) {
  const std::unique_ptr<TDib> Reference = ReadTurned(Variant(0), {});
  TReadOptions Off;
  Off.ApplyOrientation = false;
  for (int N = 2; N <= 8; ++N) {
    SCOPED_TRACE("orientation " + std::to_string(N));
    TImageRead Read;
    const std::unique_ptr<TDib> Dib = ReadTurned(Variant(N), Off, &Read);
    EXPECT_EQ(Read.Orientation, 0) << "nothing asked of the caller";
    EXPECT_EQ(Read.Facts.Orientation, N) << "the tag is still told";
    EXPECT_FALSE(Read.Facts.OrientationApplied);
    // Standing the stored rows up by hand gives the picture, which proves
    // they stayed as stored.
    ApplyOrientation(*Dib, OrientationStep(uint16_t(N)));
    EXPECT_LT(MeanDifference(*Dib, *Reference), 3.0);
    EXPECT_GT(MeanDifference(*ReadTurned(Variant(N), Off), *Reference), 10.0) << "the variants differ as stored";
  }
}

TEST_F(ExifOrient, TheHeaderAloneTellsTheTag) {
  for (int N = 0; N <= 8; ++N)
    EXPECT_EQ(ReadImageHeader(Variant(N), {}).Facts.Orientation, N) << N;
}

} // namespace
