// Every codec decodes in a second thread as it does in the first: the viewer
// reads the next image while the shown one is still being read.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <filesystem>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "XColor.h"
#include "XFormats.h"
#include "XImageRead.h"

namespace fs = std::filesystem;

namespace {

// Colors that change along both axes, so that a row or column from another
// image or another place shows.
TDib Pattern(int32_t W, int32_t H, TPixelFormat PixelFormat) {
  TDib D(W, H, PixelFormat);
  if (PixelFormat == pf8bit)
    for (int32_t I = 0; I < 256; ++I)
      D.SetPaletteColor(I, RGBColor(uint8_t(I), uint8_t(255 - I), uint8_t(I * 7)));
  for (int32_t Y = 0; Y < H; ++Y)
    for (int32_t X = 0; X < W; ++X) {
      if (PixelFormat == pf8bit)
        D.SetPixelValue(X, Y, uint8_t(X * 3 + Y * 5));
      else
        D.SetPixelColor(X, Y, RGBColor(uint8_t(X), uint8_t(Y * 3), uint8_t(X ^ Y)));
    }
  return D;
}

struct TDecoded {
  int32_t Width = 0, Height = 0;
  uint8_t PixelFormat = 0;
  std::vector<TColor> Pixels, Palette;
  std::string FormatText;
  bool operator==(const TDecoded&) const = default;
};

TDecoded Decode(const fs::path& Name) {
  TImageRead R = ReadImageFile(Name, TReadOptions{});
  R.ThrowFailure();
  TDecoded D;
  const TDib& Dib = *R.Dib;
  D.Width = Dib.Width();
  D.Height = Dib.Height();
  D.PixelFormat = Dib.PixelFormat();
  D.FormatText = R.FormatText;
  for (int32_t Y = 0; Y < Dib.Height(); ++Y)
    for (int32_t X = 0; X < Dib.Width(); ++X)
      D.Pixels.push_back(Dib.GetPixelColor(X, Y));
  for (int32_t I = 0; I < Dib.PaletteSize(); ++I)
    D.Palette.push_back(Dib.GetPaletteColor(I));
  return D;
}

class ThreadSafety : public ::testing::Test {
protected:
  void SetUp() override {
    Folder = fs::temp_directory_path() / ("pelorin-threads-" + std::to_string(getpid()));
    fs::create_directories(Folder);
  }
  void TearDown() override { fs::remove_all(Folder); }

  // One file per format that writes, in true color where it takes it and
  // with a palette otherwise.
  std::vector<fs::path> WriteEveryFormat() {
    std::vector<fs::path> Files;
    const TDib True = Pattern(211, 157, pf24bit), Indexed = Pattern(211, 157, pf8bit);
    for (const TFormatRow& Row : FormatRows()) {
      if (!Row.NewWriter || !Row.NewReader)
        continue;
      const TDib* Image = &True;
      if (Row.Refusal && Row.Refusal(True) && *Row.Refusal(True))
        Image = &Indexed;
      if (Row.Refusal && Row.Refusal(*Image) && *Row.Refusal(*Image))
        continue;
      std::string Ext = Row.Extensions[0];
      std::transform(Ext.begin(), Ext.end(), Ext.begin(), [](unsigned char C) { return char(std::tolower(C)); });
      const fs::path Name = Folder / ("image." + Ext);
      std::unique_ptr<TImgWriter> W = Row.NewWriter(TWriteOptions{}, *Image);
      W->CreateFile(Name);
      W->Write(*Image);
      if (W->OK)
        Files.push_back(Name);
    }
    return Files;
  }

  fs::path Folder;
};

TEST_F(ThreadSafety, TwoThreadsDecodeEveryFormatAsOneDoes) {
  const std::vector<fs::path> Files = WriteEveryFormat();
  ASSERT_GE(Files.size(), 6u) << "BMP, PCX, GIF, PNG, TIFF, JPEG at least";
  std::vector<TDecoded> Reference;
  for (const fs::path& F : Files)
    Reference.push_back(Decode(F));

  // Each thread starts at another file, so that different codecs run at
  // the same time, and the same ones too.
  std::atomic<int> Mismatches{0}, Failures{0};
  auto Work = [&](size_t Start) {
    for (int Round = 0; Round < 4; ++Round)
      for (size_t K = 0; K < Files.size(); ++K) {
        const size_t I = (Start + K) % Files.size();
        try {
          if (!(Decode(Files[I]) == Reference[I]))
            ++Mismatches;
        } catch (...) {
          ++Failures;
        }
      }
  };
  std::thread A(Work, 0), B(Work, Files.size() / 2);
  A.join();
  B.join();
  EXPECT_EQ(Mismatches.load(), 0);
  EXPECT_EQ(Failures.load(), 0);
}

// A LogLuv reader that sets its own exposure (from the file) must not change
// the rows of another reader converting at the same time.
TEST_F(ThreadSafety, LogLuvExposureBelongsToItsColorManager) {
  auto Manager = [](double Exposure) {
    TColorManager CM;
    CM.SetSource(cfLogLuv, 1, 16);
    CM.SetTarget(cfGray, 8);
    CM.SetSourceFlags(sfSwap16);
    CM.SetExposure(Exposure);
    return CM;
  };
  auto Convert = [](TColorManager& CM) {
    const std::vector<uint8_t> Source{0x3E, 0x00};
    std::vector<uint8_t> Out(1);
    CM.ConvertRow(Source, Out, 0, 0, 1);
    return Out[0];
  };
  TColorManager Bright = Manager(2.0);
  TColorManager Plain = Manager(1.0);
  EXPECT_EQ(Convert(Bright), 181) << "set after it, another manager's exposure is not this one's";
  EXPECT_EQ(Convert(Plain), 128);

  TColorManager Dim = Manager(0.5);
  const uint8_t DimGray = Convert(Dim);
  EXPECT_LT(DimGray, 128);

  std::atomic<int> Wrong{0};
  std::thread T([&] {
    for (int I = 0; I < 2000; ++I) {
      TColorManager Other = Manager(I % 2 ? 0.5 : 1.0);
      if (Convert(Other) != (I % 2 ? DimGray : 128))
        ++Wrong;
    }
  });
  for (int I = 0; I < 2000; ++I)
    if (Convert(Bright) != 181)
      ++Wrong;
  T.join();
  EXPECT_EQ(Wrong.load(), 0);
  LuvExposure = 1.0;
}

} // namespace
