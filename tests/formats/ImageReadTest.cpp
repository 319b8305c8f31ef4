#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

#include "XBmp.h"
#include "XGif.h"
#include "XImageRead.h"
#include "XPng.h"

namespace fs = std::filesystem;

namespace {

class ImageRead : public ::testing::Test {
protected:
  void SetUp() override {
    Folder = fs::temp_directory_path() / ("pelorin-read-" + std::to_string(getpid()) + "-" +
                                          testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(Folder);
  }
  void TearDown() override { fs::remove_all(Folder); }

  std::string Write(TImgWriter& W, const TDib& Dib, const std::string& Name) {
    const fs::path P = Folder / Name;
    W.CreateFile(P);
    W.Write(Dib);
    return P.string();
  }

  static TDib Pattern(int32_t W, int32_t H) {
    TDib D(W, H, pf8bit);
    for (int32_t I = 0; I < 256; ++I)
      D.SetPaletteColor(I, RGBColor(uint8_t(I), uint8_t(255 - I), uint8_t(I / 2)));
    for (int32_t Y = 0; Y < H; ++Y)
      for (int32_t X = 0; X < W; ++X)
        D.SetPixelValue(X, Y, uint32_t((X * 7 + Y * 3) & 255));
    return D;
  }

  static bool SamePixels(const TDib& A, const TDib& B) {
    for (int32_t Y = 0; Y < A.Height(); ++Y)
      for (int32_t X = 0; X < A.Width(); ++X)
        if (A.GetPixelColor(X, Y) != B.GetPixelColor(X, Y))
          return false;
    return A.Width() == B.Width() && A.Height() == B.Height();
  }

  fs::path Folder;
};

TEST_F(ImageRead, NamesTheFileByFormatVariantAndExtension) {
  const TDib Src = Pattern(5, 3);
  TBmpWriter Os2;
  Os2.Os2Format = true;
  const std::string Os2Name = Write(Os2, Src, "os2.bmp");
  const TImageRead R = ReadImageFile(Os2Name, {});
  EXPECT_EQ(R.Format, fmtBMP);
  EXPECT_EQ(R.FormatText, "OS/2 Bitmap");
  EXPECT_FALSE(R.Transparency);
  EXPECT_FALSE(R.Failure);
  ASSERT_TRUE(R.Dib);
  EXPECT_TRUE(SamePixels(*R.Dib, Src));
  EXPECT_EQ(R.Facts.Width, 5);
  EXPECT_EQ(R.Facts.Height, 3);
  EXPECT_EQ(R.Facts.PixelFormat, pf8bit);
  EXPECT_EQ(R.Facts.FileSize, int64_t(fs::file_size(Os2Name)));

  TBmpWriter Windows;
  const std::string Plain = Write(Windows, Src, "plain.bmp");
  EXPECT_EQ(ReadImageFile(Plain, {}).FormatText, "Windows Bitmap");
  fs::copy_file(Plain, Folder / "plain.rle");
  EXPECT_EQ(ReadImageFile(Folder / "plain.rle", {}).FormatText, "Run Length Encoded Bitmap");
  // Bump maps keep their name whatever header the bitmap has.
  fs::copy_file(Os2Name, Folder / "os2.bum");
  const TImageRead Bump = ReadImageFile(Folder / "os2.bum", {});
  EXPECT_EQ(Bump.Format, fmtBUM);
  EXPECT_EQ(Bump.FormatText, "Poser Bump Map");
}

TEST_F(ImageRead, KeepsTransparencyAndTextsOfTheFormatsThatHaveThem) {
  const TDib Src = Pattern(4, 4);
  TGifWriter Gif;
  Gif.Transparency = {5, int32_t(RGBColor(1, 2, 3)), 7, 0};
  const TImageRead G = ReadImageFile(Write(Gif, Src, "t.gif"), {});
  EXPECT_EQ(G.FormatText, "GIF 89a");
  ASSERT_TRUE(G.Transparency);
  EXPECT_EQ(G.Transparency->TransparentIndex, 5);
  EXPECT_EQ(G.Transparency->BackIndex, 7);

  TPngWriter Png;
  Png.Title = "Dunes";
  Png.Author = "Someone";
  const TImageRead P = ReadImageFile(Write(Png, Src, "t.png"), {});
  EXPECT_EQ(P.FormatText, "Portable Network Graphic");
  ASSERT_TRUE(P.Transparency);
  EXPECT_EQ(P.Transparency->TransparentIndex, -1);
  EXPECT_EQ(P.Texts.Title, "Dunes");
  EXPECT_EQ(P.Texts.Author, "Someone");
  EXPECT_TRUE(SamePixels(*P.Dib, Src));
}

TEST_F(ImageRead, UnreadableNamesAndFilesFailBeforeABufferExists) {
  const std::string Unread = (Folder / "a.jp2").string();
  try {
    ReadImageFile(Unread, {});
    ADD_FAILURE() << "no failure";
  } catch (const std::runtime_error& E) {
    EXPECT_EQ(std::string(E.what()), "File type not supported:\n" + Unread);
  }
  bool Called = false;
  EXPECT_ANY_THROW(ReadImageFile(Folder / "missing.bmp", {}, [&](auto&, auto&) { Called = true; }));
  std::ofstream(Folder / "junk.png") << "not a png at all";
  EXPECT_THROW(ReadImageFile(Folder / "junk.png", {}, [&](auto&, auto&) { Called = true; }), EInvalidGraphicOperation);
  EXPECT_FALSE(Called);
}

TEST_F(ImageRead, ARowFailureKeepsTheRowsReadBefore) {
  TPngWriter Png;
  Png.CompressionLevel = 0;
  const std::string Name = Write(Png, Pattern(64, 64), "cut.png");
  fs::resize_file(Name, fs::file_size(Name) / 2);
  const TImageRead R = ReadImageFile(Name, {});
  ASSERT_TRUE(R.Failure);
  ASSERT_TRUE(R.Dib);
  EXPECT_EQ(R.Dib->Width(), 64);
  EXPECT_THROW(R.ThrowFailure(), EInvalidGraphicOperation);
}

TEST_F(ImageRead, TheBufferIsOfferedBeforeItsRowsArrive) {
  const TDib Src = Pattern(6, 4);
  TBmpWriter W;
  const std::string Name = Write(W, Src, "rows.bmp");
  std::vector<std::string> Events;
  std::unique_ptr<TDib> Taken;
  TReadOptions O;
  O.OnProgress = [&](TProgressStage Stage, int32_t, const TRect&, bool) {
    if (Stage == psStart || Stage == psEnd)
      Events.push_back(Stage == psStart ? "start" : "end");
  };
  const TImageRead R = ReadImageFile(Name, O, [&](std::unique_ptr<TDib>& Buffer, const TImageRead& Header) {
    Events.push_back("buffer");
    EXPECT_EQ(Header.Facts.Width, 6);
    EXPECT_EQ(Header.FormatText, "Windows Bitmap");
    EXPECT_FALSE(Header.Dib);
    Taken = std::move(Buffer);
  });
  EXPECT_EQ(Events, (std::vector<std::string>{"buffer", "start", "end"}));
  EXPECT_FALSE(R.Dib);
  ASSERT_TRUE(Taken);
  EXPECT_TRUE(SamePixels(*Taken, Src));
}

TEST_F(ImageRead, ACallersReaderGetsTheReadOptions) {
  TPngWriter W;
  const std::string Name = Write(W, Pattern(3, 3), "own.png");
  std::ifstream In(Name, std::ios::binary);
  const std::vector<uint8_t> Bytes{std::istreambuf_iterator<char>(In), {}};
  TPngReader Reader;
  TReadOptions O;
  O.AlphaEnabled = true;
  const TImageRead R = ReadImageWith(Reader, Bytes, O);
  EXPECT_TRUE(Reader.AlphaEnabled);
  EXPECT_EQ(R.Format, fmtUnknown);
  EXPECT_EQ(R.FormatText, "");
  ASSERT_TRUE(R.Dib);
  EXPECT_EQ(R.Dib->Width(), 3);
  TPngReader FromFile;
  EXPECT_EQ(ReadImageWith(FromFile, Name).Facts.FileSize, int64_t(Bytes.size()));
}

} // namespace
