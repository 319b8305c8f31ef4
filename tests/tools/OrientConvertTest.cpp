#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "../formats/ExifTestUtil.h"
#include "../formats/JpgTestUtil.h"
#include "XBmp.h"
#include "XImageRead.h"

// The converter turns images by their stored orientation as the viewer
// does, unless told not to, and never touches its input.

namespace {

namespace fs = std::filesystem;

std::string Slurp(const fs::path& Name) {
  std::ifstream In(Name, std::ios::binary);
  return {std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>()};
}

class OrientConvert : public testing::Test {
protected:
  void SetUp() override {
    Dir = fs::temp_directory_path() / ("pelorin-orient-" + std::to_string(::getpid()) + "-" +
                                       testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(Dir);
    fs::create_directories(Dir);
    Input = Dir / "in.jpg";
    // Stored 40 x 16, tagged to be turned a quarter clockwise.
    const std::vector<uint8_t> Jpeg =
        ExifTest::WithApp1(JpgTest::Encode(*JpgTest::MakePhoto(40, 16), 90, false), ExifTest::OrientationSegment(6));
    std::ofstream(Input, std::ios::binary)
        .write(reinterpret_cast<const char*>(Jpeg.data()), std::streamsize(Jpeg.size()));
    Original = Slurp(Input);
  }
  void TearDown() override { fs::remove_all(Dir); }

  // The exit status, with the standard output in Out.
  int Run(const std::vector<std::string>& Args, std::string* Out = nullptr) {
    std::string Cmd = std::string("'") + PELORIN_CONVERT + "'";
    for (const std::string& A : Args)
      Cmd += " '" + A + "'";
    Cmd += " >'" + (Dir / "stdout").string() + "' 2>/dev/null";
    const int W = std::system(Cmd.c_str());
    if (Out)
      *Out = Slurp(Dir / "stdout");
    return WIFEXITED(W) ? WEXITSTATUS(W) : -1;
  }

  static std::pair<int32_t, int32_t> SizeOf(const fs::path& Bmp) {
    TBmpReader R;
    TImageRead Read = ReadImageWith(R, Bmp);
    Read.ThrowFailure();
    return {Read.Dib->Width(), Read.Dib->Height()};
  }

  fs::path Dir;
  fs::path Input;
  std::string Original;
};

TEST_F(OrientConvert, TurnsByTheTagUnlessNoOrient) {
  struct TCase {
    std::vector<std::string> Options;
    std::pair<int32_t, int32_t> Size;
  };
  const TCase Cases[] = {
      {{}, {16, 40}},
      {{"--no-orient"}, {40, 16}},
      {{"--no-profile"}, {16, 40}},
      {{"--no-orient", "--no-profile"}, {40, 16}},
  };
  for (const TCase& C : Cases) {
    std::vector<std::string> Args = C.Options;
    const fs::path Output = Dir / "out.bmp";
    Args.push_back(Input.string());
    Args.push_back(Output.string());
    ASSERT_EQ(Run(Args), 0) << Args.size();
    EXPECT_EQ(SizeOf(Output), C.Size) << Args.size();
    EXPECT_EQ(Slurp(Input), Original) << "the input stays as it was";
    fs::remove(Output);
  }
}

TEST_F(OrientConvert, InfoTellsTheTagAndUsageNamesTheSwitches) {
  std::string Out;
  ASSERT_EQ(Run({"--info", Input.string()}, &Out), 0);
  EXPECT_NE(Out.find("\norientation: 6\n"), std::string::npos) << Out;
  EXPECT_NE(Out.find("\ncolor profile: none\n"), std::string::npos) << Out;
  // The stored size: the info tells the file, not the turned picture.
  EXPECT_NE(Out.find("\nwidth: 40\nheight: 16\n"), std::string::npos) << Out;
  ASSERT_EQ(Run({"--help"}, &Out), 0);
  for (const char* Switch : {"--no-orient", "--no-profile"})
    EXPECT_NE(Out.find(Switch), std::string::npos) << Switch;
}

} // namespace
