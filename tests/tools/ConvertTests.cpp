#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

#include "DibFilter.h"
#include "DibResample.h"
#include "DibTune.h"
#include "PeQuant.h"
#include "XBmp.h"
#include "XImageRead.h"
#include "XTif.h"

namespace fs = std::filesystem;

namespace {

struct TRun {
  int Status = -1;
  std::string Out, Err;
};

std::string Quote(const std::string& S) {
  std::string Q = "'";
  for (char C : S)
    Q += C == '\'' ? std::string("'\\''") : std::string(1, C);
  return Q + "'";
}

std::string Slurp(const fs::path& Name) {
  std::ifstream In(Name, std::ios::binary);
  return {std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>()};
}

class ConvertTest : public testing::Test {
protected:
  void SetUp() override {
    const char* Corpus = std::getenv("PELORIN_CORPUS");
    if (!Corpus || !fs::exists(fs::path(Corpus) / "bmpsuite"))
      GTEST_SKIP() << "corpus not available";
    Suite = fs::path(Corpus) / "bmpsuite" / "bmp";
    Dir = fs::temp_directory_path() / ("pelorin-convert-" + std::to_string(::getpid()) + "-" +
                                       testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(Dir);
    fs::create_directories(Dir);
  }
  void TearDown() override {
    if (!Dir.empty())
      fs::remove_all(Dir);
  }

  TRun Run(const std::vector<std::string>& Args) {
    std::string Cmd = Quote(PELORIN_CONVERT);
    for (const auto& A : Args)
      Cmd.append(" ").append(Quote(A));
    Cmd.append(" >").append(Quote((Dir / "stdout").string()));
    Cmd.append(" 2>").append(Quote((Dir / "stderr").string()));
    TRun R;
    const int W = std::system(Cmd.c_str());
    R.Status = WIFEXITED(W) ? WEXITSTATUS(W) : -1;
    R.Out = Slurp(Dir / "stdout");
    R.Err = Slurp(Dir / "stderr");
    fs::remove(Dir / "stdout");
    fs::remove(Dir / "stderr");
    return R;
  }

  std::string In(const char* Name) const { return (Suite / Name).string(); }
  std::string Out(const char* Name) const { return (Dir / Name).string(); }
  size_t FilesInDir() const { return size_t(std::distance(fs::directory_iterator(Dir), fs::directory_iterator())); }

  fs::path Suite, Dir;
};

void ExpectSameColors(const TDib& A, const TDib& B) {
  ASSERT_EQ(A.Width(), B.Width());
  ASSERT_EQ(A.Height(), B.Height());
  for (int32_t Y = 0; Y < A.Height(); ++Y)
    for (int32_t X = 0; X < A.Width(); ++X)
      ASSERT_EQ(A.GetPixelColor(X, Y), B.GetPixelColor(X, Y)) << X << "," << Y;
}

std::unique_ptr<TDib> Decode(const std::string& Name, bool* Os2 = nullptr) {
  TBmpReader R;
  TImageRead Read = ReadImageWith(R, Name);
  Read.ThrowFailure();
  if (Os2)
    *Os2 = R.Os2Header;
  return std::move(Read.Dib);
}

} // namespace

TEST_F(ConvertTest, ConvertsBetweenHeaderKinds) {
  const TRun R = Run({"--os2", In("g/pal8.bmp"), Out("a.bmp")});
  ASSERT_EQ(R.Status, 0) << R.Err;
  bool Os2 = false;
  const auto Src = Decode(In("g/pal8.bmp"));
  const auto Dst = Decode(Out("a.bmp"), &Os2);
  EXPECT_TRUE(Os2);
  for (int32_t Y = 0; Y < Src->Height(); ++Y)
    for (int32_t X = 0; X < Src->Width(); ++X)
      ASSERT_EQ(Dst->GetPixelColor(X, Y), Src->GetPixelColor(X, Y));
}

// Each lossless writer's file is the next step's input, so a reader or writer
// that drops a row, a channel or the options' effect breaks the chain.
TEST_F(ConvertTest, ChainThroughTheLosslessWritersKeepsColors) {
  const std::vector<std::vector<std::string>> Steps = {
      {In("g/rgb24.bmp"), Out("a.tga")}, {"--rle", Out("a.tga"), Out("b.tga")}, {"--plain", Out("b.tga"), Out("c.ppm")},
      {Out("c.ppm"), Out("d.ppm")},      {Out("d.ppm"), Out("e.sgi")},          {Out("e.sgi"), Out("f.ras")},
      {Out("f.ras"), Out("g.png")},      {Out("g.png"), Out("h.bmp")},
  };
  for (const auto& Step : Steps) {
    const TRun R = Run(Step);
    ASSERT_EQ(R.Status, 0) << Step.back() << ": " << R.Err;
  }
  EXPECT_EQ(Slurp(Out("c.ppm")).substr(0, 2), "P3");
  EXPECT_EQ(Slurp(Out("d.ppm")).substr(0, 2), "P6");
  // Image type 2 is plain true color, 10 its run-length form.
  EXPECT_EQ(Slurp(Out("a.tga")).at(2), 2);
  EXPECT_EQ(Slurp(Out("b.tga")).at(2), 10);
  ExpectSameColors(*Decode(In("g/rgb24.bmp")), *Decode(Out("h.bmp")));
}

TEST_F(ConvertTest, TextOptionsReachPortableMapComments) {
  ASSERT_EQ(
      Run({"--title", "Harbour", "--author", "A. Writer", "--rights", "Free", In("g/pal8.bmp"), Out("s.ppm")}).Status,
      0);
  const TRun R = Run({"--info", Out("s.ppm")});
  EXPECT_NE(R.Out.find("title: Harbour\nauthor: A. Writer\nrights: Free\n"), std::string::npos) << R.Out;
  EXPECT_EQ(Run({"--title"}).Status, 2);
}

TEST_F(ConvertTest, TiffOptionsReachTheFile) {
  ASSERT_EQ(Run({"--compression", "lzw-pred", "--byte-order", "mm", "--strip-bytes", "1000", "--author", "Al",
                 In("g/rgb24.bmp"), Out("a.tif")})
                .Status,
            0);
  TTifReader R;
  TImageRead Read = ReadImageWith(R, Out("a.tif"));
  Read.ThrowFailure();
  EXPECT_TRUE(R.BigEndian);
  EXPECT_EQ(R.CompressionTag, 5u);
  EXPECT_EQ(R.Predictor, 2);
  EXPECT_EQ(R.Author, "Al");
  ExpectSameColors(*Decode(In("g/rgb24.bmp")), *Read.Dib);
  for (const char* Bad : {"--compression=lzw", "--compression", "--byte-order", "--strip-bytes"})
    EXPECT_EQ(Run({Bad, "zip", In("g/rgb24.bmp"), Out("b.tif")}).Status, 2) << Bad;
  EXPECT_EQ(Run({"--strip-bytes", "0", In("g/rgb24.bmp"), Out("b.tif")}).Status, 2);
}

TEST_F(ConvertTest, InfoListsEveryField) {
  const TRun R = Run({"--info", In("g/pal8os2.bmp")});
  ASSERT_EQ(R.Status, 0) << R.Err;
  EXPECT_NE(R.Out.find("format: OS/2 Bitmap\nwidth: 127\nheight: 64\n"), std::string::npos) << R.Out;
  for (const char* Key : {"pixel format: Color Palette (256)", "palette size: 256", "gray: no",
                          "color format: Color Palette", "bits per sample: 8", "compression: Uncompressed",
                          "resolution: ", "interlaced: no", "title: ", "author: ", "rights: ", "warning: "})
    EXPECT_NE(R.Out.find(std::string("\n") + Key), std::string::npos) << Key;
  EXPECT_NE(Run({"--info", In("g/pal8rle.bmp")}).Out.find("compression: Run Length Coding"), std::string::npos);
}

TEST_F(ConvertTest, RgbDumpIsBinaryPpm) {
  ASSERT_EQ(Run({"--rgb", In("g/rgb24.bmp"), Out("x.ppm")}).Status, 0);
  const std::string P = Slurp(Out("x.ppm"));
  const std::string Header = "P6\n127 64\n255\n";
  ASSERT_EQ(P.substr(0, Header.size()), Header);
  EXPECT_EQ(P.size(), Header.size() + 127 * 64 * 3);
  const auto Dib = Decode(In("g/rgb24.bmp"));
  const TColor C = Dib->GetPixelColor(5, 7);
  const size_t At = Header.size() + (7 * 127 + 5) * 3;
  EXPECT_EQ(uint8_t(P[At]), GetRValue(C));
  EXPECT_EQ(uint8_t(P[At + 2]), GetBValue(C));
}

TEST_F(ConvertTest, FailuresKeepExistingOutput) {
  std::ofstream(Out("keep.bmp")) << "precious";
  const TRun R = Run({In("b/rgb16-880.bmp"), Out("keep.bmp")});
  EXPECT_EQ(R.Status, 1);
  EXPECT_NE(R.Err.find("Invalid color scheme in BMP file."), std::string::npos) << R.Err;
  EXPECT_EQ(Slurp(Out("keep.bmp")), "precious");
  EXPECT_EQ(FilesInDir(), 1u);
  EXPECT_EQ(Run({Out("missing.bmp"), Out("y.bmp")}).Status, 1);
  EXPECT_EQ(FilesInDir(), 1u);
}

TEST_F(ConvertTest, UsageErrors) {
  EXPECT_EQ(Run({}).Status, 2);
  EXPECT_EQ(Run({In("g/pal8.bmp")}).Status, 2);
  EXPECT_EQ(Run({"--bogus", In("g/pal8.bmp"), Out("a.bmp")}).Status, 2);
  const TRun Unknown = Run({In("g/pal8.bmp"), Out("a.xyz")});
  EXPECT_EQ(Unknown.Status, 2);
  EXPECT_NE(Unknown.Err.find("unknown output format"), std::string::npos);
  const TRun ReadOnly = Run({In("g/pal8.bmp"), Out("a.pcd")});
  EXPECT_EQ(ReadOnly.Status, 2);
  EXPECT_NE(ReadOnly.Err.find("no writer for Kodak Photo-CD Image"), std::string::npos);
  EXPECT_EQ(FilesInDir(), 0u);
}

TEST_F(ConvertTest, BatchReportsEachFailureAndGoesOn) {
  const TRun R = Run({"-o", Dir.string(), "--to", "bump", In("g/pal4.bmp"), In("b/shortfile.bmp"), In("g/rgb16.bmp")});
  EXPECT_EQ(R.Status, 1);
  EXPECT_NE(R.Err.find("shortfile.bmp: Stream read error in BMP file."), std::string::npos) << R.Err;
  EXPECT_TRUE(fs::exists(Dir / "pal4.bump"));
  EXPECT_TRUE(fs::exists(Dir / "rgb16.bump"));
  EXPECT_FALSE(fs::exists(Dir / "shortfile.bump"));
  EXPECT_EQ(Run({"-o", Dir.string(), In("g/pal4.bmp")}).Status, 2);
}

// The option reaches the reader, and only 0 to 4 are taken.
TEST_F(ConvertTest, PcdResolutionPicksThePlanes) {
  const std::string Hopper = (Suite.parent_path().parent_path() / "pillow/pcd/hopper.pcd").string();
  ASSERT_EQ(Run({"--pcd-resolution", "1", Hopper, Out("small.bmp")}).Status, 0);
  EXPECT_EQ(Decode(Out("small.bmp"))->Width(), 384);
  ASSERT_EQ(Run({Hopper, Out("base.bmp")}).Status, 0);
  EXPECT_EQ(Decode(Out("base.bmp"))->Height(), 512);
  for (const char* Bad : {"5", "-1", "", "12"}) {
    const TRun R = Run({"--pcd-resolution", Bad, Hopper, Out("x.bmp")});
    EXPECT_EQ(R.Status, 2) << Bad;
    EXPECT_NE(R.Err.find("--pcd-resolution takes 0 to 4"), std::string::npos) << R.Err;
  }
  EXPECT_EQ(Run({Hopper, Out("y.bmp"), "--pcd-resolution"}).Status, 2);
}

TEST_F(ConvertTest, MetafilesBecomePictures) {
  const fs::path Corpus = Suite.parent_path().parent_path();
  ASSERT_EQ(Run({(Corpus / "pillow/wmf-emf/drawing.wmf").string(), Out("drawing.png")}).Status, 0);
  const TRun Info = Run({"--info", Out("drawing.png")});
  EXPECT_NE(Info.Out.find("width: 110"), std::string::npos) << Info.Out;
  const TRun Emf = Run({"--info", (Corpus / "pillow/wmf-emf/drawing.emf").string()});
  EXPECT_NE(Emf.Out.find("Enhanced Metafile"), std::string::npos) << Emf.Out;
}

TEST_F(ConvertTest, ResizeGivesTheResamplersPixels) {
  for (const char* Filter : {"box", "mitchell", "lanczos"}) {
    ASSERT_EQ(Run({"--filter", Filter, "--resize", "50x31", In("g/rgb24.bmp"), Out("r.bmp")}).Status, 0) << Filter;
    std::unique_ptr<TDib> Expected = Decode(In("g/rgb24.bmp"));
    ResizeBuffer(50, 31, FilterByName(Filter), Expected);
    ExpectSameColors(*Decode(Out("r.bmp")), *Expected);
  }
  // The default filter is Spline; palette images stay palette images.
  ASSERT_EQ(Run({"--resize", "20x9", In("g/pal8.bmp"), Out("p.bmp")}).Status, 0);
  std::unique_ptr<TDib> Pal = Decode(In("g/pal8.bmp"));
  ResizeBuffer(20, 9, rfSpline, Pal);
  const std::unique_ptr<TDib> Got = Decode(Out("p.bmp"));
  EXPECT_EQ(Got->PixelFormat(), pf8bit);
  ExpectSameColors(*Got, *Pal);
}

TEST_F(ConvertTest, CropKeepsTheRectangleClippedToTheImage) {
  // g/pal4.bmp and g/rgb24.bmp are 127 x 64.
  const struct {
    const char* File;
    const char* Rect;
    int32_t X, Y, W, H;
  } Cases[] = {{"g/rgb24.bmp", "10,5,40,30", 10, 5, 40, 30},
               {"g/pal4.bmp", "1,0,3,64", 1, 0, 3, 64},
               {"g/rgb24.bmp", "120,60,500,500", 120, 60, 7, 4}};
  for (const auto& C : Cases) {
    ASSERT_EQ(Run({"--crop", C.Rect, In(C.File), Out("c.bmp")}).Status, 0) << C.Rect;
    std::unique_ptr<TDib> Expected = Decode(In(C.File));
    Expected->Crop(C.X, C.Y, C.W, C.H);
    const std::unique_ptr<TDib> Got = Decode(Out("c.bmp"));
    EXPECT_EQ(Got->PixelFormat(), Expected->PixelFormat());
    ExpectSameColors(*Got, *Expected);
  }
  for (const char* Bad : {"1,2,3", "1,2,0,4", "-1,0,5,5", "a,0,5,5", "1,2,3,4,5"})
    EXPECT_EQ(Run({"--crop", Bad, In("g/rgb24.bmp"), Out("bad.bmp")}).Status, 2) << Bad;
  const TRun Outside = Run({"--crop", "127,0,5,5", In("g/rgb24.bmp"), Out("bad.bmp")});
  EXPECT_EQ(Outside.Status, 1);
  EXPECT_NE(Outside.Err.find("outside the 127x64 image"), std::string::npos) << Outside.Err;
  EXPECT_FALSE(fs::exists(Out("bad.bmp")));
}

TEST_F(ConvertTest, ResizeRefusesBadSizesAndFilters) {
  for (const char* Bad : {"0x5", "5x0", "10000x1", "12", "x9", "5x", "-3x4", "5x4x3"})
    EXPECT_EQ(Run({"--resize", Bad, In("g/rgb24.bmp"), Out("r.bmp")}).Status, 2) << Bad;
  EXPECT_EQ(Run({"--filter", "nearest", "--resize", "5x5", In("g/rgb24.bmp"), Out("r.bmp")}).Status, 2);
  EXPECT_FALSE(fs::exists(Out("r.bmp")));
}

using TChannelValues = std::array<int32_t, 3>;

TEST_F(ConvertTest, TuningOptionsGiveTheDialogsResults) {
  auto Tables = [](TChannelValues B, TChannelValues C, TChannelValues G) {
    return std::array<TLut, 3>{ChannelTable(B[0], C[0], GammaTable(G[0])), ChannelTable(B[1], C[1], GammaTable(G[1])),
                               ChannelTable(B[2], C[2], GammaTable(G[2]))};
  };
  struct TCase {
    std::vector<std::string> Args;
    std::function<void(TDib&)> Expect;
  };
  const std::vector<TCase> Cases = {
      {{"--brightness", "40", "--gamma", "0.5,1,2.25"},
       [&](TDib& D) {
         const auto L = Tables({40, 40, 40}, {100, 100, 100}, {50, 100, 225});
         ApplyTables(D, L[0], L[1], L[2]);
       }},
      {{"--contrast", "150,100,0", "--brightness", "-20,0,5"},
       [&](TDib& D) {
         const auto L = Tables({-20, 0, 5}, {150, 100, 0}, {100, 100, 100});
         ApplyTables(D, L[0], L[1], L[2]);
       }},
      {{"--hue", "120", "--saturation", "150", "--lightness", "80"},
       [](TDib& D) {
         ApplyHls(D, THlsShift{120, 80, 150});
       }},
      {{"--levels", "50,150"},
       [](TDib& D) { ApplyTables(D, LevelsTable(50, 150), LevelsTable(50, 150), LevelsTable(50, 150)); }},
      {{"--levels", "0,128,10,250,100,101"},
       [](TDib& D) { ApplyTables(D, LevelsTable(0, 128), LevelsTable(10, 250), LevelsTable(100, 101)); }},
  };
  for (const TCase& C : Cases) {
    std::vector<std::string> Args = C.Args;
    Args.push_back(In("g/rgb24.bmp"));
    Args.push_back(Out("t.bmp"));
    ASSERT_EQ(Run(Args).Status, 0) << Args[0];
    std::unique_ptr<TDib> Expected = Decode(In("g/rgb24.bmp"));
    C.Expect(*Expected);
    ExpectSameColors(*Decode(Out("t.bmp")), *Expected);
  }
}

TEST_F(ConvertTest, TuningOptionsRefuseValuesOutOfRange) {
  const std::vector<std::vector<std::string>> Bad = {
      {"--brightness", "128"}, {"--brightness", "1,2"}, {"--contrast", "401"}, {"--gamma", "0"},
      {"--gamma", "4.01"},     {"--gamma", "1.234"},    {"--gamma", "-1"},     {"--hue", "181"},
      {"--lightness", "-1"},   {"--saturation", "x"},   {"--levels", "5,5"},   {"--levels", "1,2,3"},
      {"--levels", "0,256"}};
  for (std::vector<std::string> Args : Bad) {
    const std::string What = Args[0] + " " + Args[1];
    Args.push_back(In("g/rgb24.bmp"));
    Args.push_back(Out("t.bmp"));
    EXPECT_EQ(Run(Args).Status, 2) << What;
  }
  EXPECT_FALSE(fs::exists(Out("t.bmp")));
}

TEST_F(ConvertTest, FilterOptionsGiveTheFilterRoutinesPixels) {
  struct TCase {
    const char* Value;
    int32_t No, Param, Strength;
  };
  for (const TCase& C : {TCase{"blur:70:3", fnBlur, 3, 70},
                         {"emboss:40:6", fnEmboss, 6, 40},
                         {"gaussian", fnGaussBlur, 0, 50},
                         {"posterize:128", fnPosterize, 0, 128}}) {
    ASSERT_EQ(Run({"--filter-op", C.Value, In("g/rgb24.bmp"), Out("f.bmp")}).Status, 0) << C.Value;
    std::unique_ptr<TDib> Expected = Decode(In("g/rgb24.bmp"));
    ApplyFilter(*Expected, *Expected, C.No, C.Param, C.Strength);
    ExpectSameColors(*Decode(Out("f.bmp")), *Expected);
  }
  for (const char* Bad :
       {"smudge", "blur:0", "blur:101", "blur:50:4", "emboss:9", "sharpen:50:1", "posterize:129", "glow:50:1:2"})
    EXPECT_EQ(Run({"--filter-op", Bad, In("g/rgb24.bmp"), Out("f.bmp")}).Status, 2) << Bad;
  // A color palette image is refused, not silently passed through.
  EXPECT_EQ(Run({"--filter-op", "blur", In("g/pal8.bmp"), Out("p.bmp")}).Status, 1);
}

TEST_F(ConvertTest, ColorAndGrayConversionsGiveTheRoutinesPixels) {
  struct TCase {
    std::vector<std::string> Args;
    std::function<void(const TDib&, std::unique_ptr<TDib>&)> Expect;
  };
  const std::vector<TCase> Cases = {
      {{"--colors", "16"}, [](const TDib& S, std::unique_ptr<TDib>& D) { ConvertToIndexed(S, D, 16, 1, 5, 2); }},
      {{"--dither", "none", "--quantizer", "neural", "--colors", "200"},
       [](const TDib& S, std::unique_ptr<TDib>& D) { ConvertToIndexed(S, D, 200, 0, 5, 4); }},
      {{"--gray", "2", "--dither", "stucki"},
       [](const TDib& S, std::unique_ptr<TDib>& D) { ConvertToGray(S, D, 2, 2, 7, 72, 21); }},
      {{"--gray", "64"}, [](const TDib& S, std::unique_ptr<TDib>& D) { ConvertToGray(S, D, 64, 0, 7, 72, 21); }},
  };
  for (const TCase& C : Cases) {
    std::vector<std::string> Args = C.Args;
    Args.push_back(In("g/rgb24.bmp"));
    Args.push_back(Out("q.bmp"));
    ASSERT_EQ(Run(Args).Status, 0) << Args[1];
    std::unique_ptr<TDib> Expected;
    C.Expect(*Decode(In("g/rgb24.bmp")), Expected);
    ASSERT_TRUE(Expected);
    const std::unique_ptr<TDib> Got = Decode(Out("q.bmp"));
    EXPECT_EQ(Got->PixelFormat(), Expected->PixelFormat()) << Args[1];
    ExpectSameColors(*Got, *Expected);
  }
  for (const std::vector<std::string>& Bad : std::vector<std::vector<std::string>>{{"--colors", "1"},
                                                                                   {"--colors", "257"},
                                                                                   {"--gray", "0"},
                                                                                   {"--dither", "ordered"},
                                                                                   {"--quantizer", "octree"}}) {
    std::vector<std::string> Args = Bad;
    Args.push_back(In("g/rgb24.bmp"));
    Args.push_back(Out("q.bmp"));
    EXPECT_EQ(Run(Args).Status, 2) << Bad[0] << " " << Bad[1];
  }
}
