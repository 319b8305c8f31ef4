#include <gtest/gtest.h>

#include <fstream>
#include <unistd.h>

#include "SafeFile.h"
#include "XBmp.h"

namespace fs = std::filesystem;

TEST(FormatRegistry, FormatOfFile) {
  EXPECT_EQ(FormatOfFile("photo.JPEG"), fmtJPEG);
  EXPECT_EQ(FormatOfFile("scan.rgba"), fmtSGI);
  EXPECT_EQ(FormatOfFile("pic.jp2"), fmtJP2);
  EXPECT_EQ(FormatOfFile("a.tiff"), fmtTIFF);
  EXPECT_EQ(FormatOfFile("A.TIF.BMP"), fmtBMP);
  EXPECT_EQ(FormatOfFile("old.rle"), fmtBMP);
  EXPECT_EQ(FormatOfFile("skin.bump"), fmtBUM);
  EXPECT_EQ(FormatOfFile("README"), fmtUnknown);
  EXPECT_EQ(FormatOfFile(""), fmtUnknown);
  // Only the file name part counts.
  EXPECT_EQ(FormatOfFile("C:\\pics.BMP\\notes"), fmtUnknown);
  EXPECT_EQ(FormatOfFile("/home/u/pics.bmp/notes.txt"), fmtUnknown);
  EXPECT_EQ(FormatOfFile("c:photo.gif"), fmtGIF);
}

TEST(FormatRegistry, Texts) {
  EXPECT_EQ(FormatText(fmtBMP), "Windows Bitmap");
  EXPECT_EQ(FormatText(fmtBUM), "Poser Bump Map");
  EXPECT_EQ(FormatText(fmtUnknown), "Unknown");
  EXPECT_EQ(FormatText(99), "Unknown");
  const auto Texts = FormatTexts();
  ASSERT_EQ(Texts.size(), 16u);
  EXPECT_EQ(Texts[6], "JPEG 2000 Image");
  EXPECT_EQ(CompressionText(1), "Run Length Coding");
  EXPECT_EQ(CompressionText(18), "Unknown");
  EXPECT_EQ(ColorFormatText(7), "True Color RGBA");
}

namespace {

// Records the size of every write that reaches the stream.
class TCountingStream : public TMemoryStream {
public:
  size_t Write(const void* Buffer, size_t Count) override {
    Writes.push_back(Count);
    return TMemoryStream::Write(Buffer, Count);
  }
  std::vector<size_t> Writes;
};

class TProbeWriter : public TImgWriter {
public:
  TProbeWriter() { FormatName = "PRB"; }
  void WriteHeader() override {}
  void WriteImage() override {}
};

} // namespace

TEST(ImgFrame, BufferedWriting) {
  TCountingStream S;
  TProbeWriter W;
  W.CreateStream(S);
  W.BeginBuffer();
  const std::vector<uint8_t> Big(10000, 1), Half(5000, 2);
  W.BufferedWrite(Big.data(), Big.size());
  EXPECT_EQ(S.Writes, std::vector<size_t>{10000});
  W.BufferedWrite(Half.data(), Half.size());
  W.BufferedWrite(Half.data(), Half.size());
  EXPECT_EQ(S.Writes, (std::vector<size_t>{10000, 5000}));
  W.FlushBuffer();
  W.FlushBuffer();
  EXPECT_EQ(S.Writes, (std::vector<size_t>{10000, 5000, 5000}));
  W.EndBuffer();
  EXPECT_EQ(S.Size(), 20000);
  EXPECT_EQ(S.Bytes()[19999], 2);
}

TEST(ImgFrame, FailAndWarnings) {
  TProbeWriter W;
  W.SetWarning("first");
  W.SetWarning("second");
  EXPECT_EQ(W.Warning, "first");
  W.OK = true;
  try {
    W.Fail("Invalid %s header");
  } catch (const EInvalidGraphicOperation& E) {
    EXPECT_STREQ(E.what(), "Invalid PRB header");
  }
  EXPECT_FALSE(W.OK);
}

TEST(ImgFrame, OpenMissingFileRaisesStreamError) {
  TBmpReader R;
  EXPECT_THROW(R.Open("/nonexistent/dir/x.bmp"), EFileStreamError);
  EXPECT_FALSE(R.OK);
}

TEST(ImgFrame, FileRoundTripSetsSizeAndDate) {
  const fs::path Dir = fs::temp_directory_path() / ("pelorin-frame-" + std::to_string(::getpid()));
  fs::create_directories(Dir);
  TDib Dib(5, 4, pf24bit);
  Dib.Fill(RGBColor(10, 20, 30));
  TBmpWriter W;
  W.CreateFile(Dir / "a.bmp");
  W.Write(Dib);
  EXPECT_EQ(W.FileSize, int64_t(fs::file_size(Dir / "a.bmp")));
  TBmpReader R;
  R.Open(Dir / "a.bmp");
  EXPECT_EQ(R.FileSize, W.FileSize);
  EXPECT_NE(R.FileDate, fs::file_time_type{});
  R.Read();
  EXPECT_EQ(R.Dib->GetPixelColor(4, 3), RGBColor(10, 20, 30));
  fs::remove_all(Dir);
}

TEST(SafeFile, FailedWriteKeepsOldFileAndLeavesNoTemporary) {
  const fs::path Dir = fs::temp_directory_path() / ("pelorin-safe-" + std::to_string(::getpid()));
  fs::create_directories(Dir);
  const fs::path Name = Dir / "out.bin";
  std::ofstream(Name) << "old";
  EXPECT_THROW(SaveViaTempFile(Name,
                               [](TStream& S) {
                                 S.Write("partial", 7);
                                 throw EInvalidGraphicOperation("File write error\nDisk full?");
                               }),
               EInvalidGraphicOperation);
  EXPECT_EQ(fs::file_size(Name), 3u);
  SaveViaTempFile(Name, [](TStream& S) { S.Write("new data", 8); });
  EXPECT_EQ(fs::file_size(Name), 8u);
  EXPECT_EQ(std::distance(fs::directory_iterator(Dir), fs::directory_iterator()), 1);
  EXPECT_THROW(SaveViaTempFile(Dir / "missing" / "x.bin", [](TStream&) {}), EFileStreamError);
  fs::remove_all(Dir);
}

TEST(SafeFile, SymbolicLinksAreFollowedToTheFileTheyName) {
  const fs::path Dir = fs::temp_directory_path() / ("pelorin-link-" + std::to_string(::getpid()));
  fs::create_directories(Dir / "real");
  std::ofstream(Dir / "real" / "photo.bin") << "old";
  fs::create_symlink("real/photo.bin", Dir / "link.bin");
  fs::create_symlink("link.bin", Dir / "chain.bin");
  SaveViaTempFile(Dir / "chain.bin", [](TStream& S) { S.Write("new data", 8); });
  EXPECT_TRUE(fs::is_symlink(Dir / "chain.bin"));
  EXPECT_TRUE(fs::is_symlink(Dir / "link.bin"));
  EXPECT_EQ(fs::file_size(Dir / "real" / "photo.bin"), 8u);
  // The temporary file went to the target's folder, and is gone.
  EXPECT_EQ(std::distance(fs::directory_iterator(Dir / "real"), fs::directory_iterator()), 1);

  // A link to a file in a folder nobody may write (even root: /proc) fails
  // with the file error and changes neither the link nor its target.
  fs::create_symlink("/proc/version", Dir / "system.bin");
  const auto Size = fs::file_size("/proc/version");
  try {
    SaveViaTempFile(Dir / "system.bin", [](TStream& S) { S.Write("x", 1); });
    ADD_FAILURE() << "save into /proc succeeded";
  } catch (const EFileStreamError& E) {
    EXPECT_EQ(std::string(E.what()).rfind("Cannot create file " + (Dir / "system.bin").string(), 0), 0u) << E.what();
  }
  EXPECT_TRUE(fs::is_symlink(Dir / "system.bin"));
  EXPECT_EQ(fs::file_size("/proc/version"), Size);
  fs::remove_all(Dir);
}
