#include <gtest/gtest.h>

#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "XJpg.h"
#include "XImageRead.h"

namespace fs = std::filesystem;

namespace {

struct TCorpusFile {
  std::string Path, Status;
};

fs::path CorpusRoot() {
  const char* Root = std::getenv("PELORIN_CORPUS");
  return Root ? fs::path(Root) : fs::path();
}

std::vector<TCorpusFile> JpegFiles(const fs::path& Root) {
  std::vector<TCorpusFile> Files;
  std::ifstream In(Root / "FILES.tsv");
  std::string Line;
  while (std::getline(In, Line)) {
    std::vector<std::string> Col;
    std::stringstream S(Line);
    for (std::string F; std::getline(S, F, '\t');)
      Col.push_back(F);
    if (Col.size() >= 6 && Col[1] == "jpeg" && Col[5] != "reference" && Col[5] != "doc")
      Files.push_back({Col[2], Col[5]});
  }
  return Files;
}

struct TPixmap {
  int Width = 0, Height = 0, Channels = 0;
  std::vector<uint8_t> Data;
};

// A binary PGM or PPM as djpeg writes it.
bool ReadPnm(const fs::path& Name, TPixmap& P) {
  std::ifstream In(Name, std::ios::binary);
  std::string Magic;
  int MaxVal = 0;
  if (!(In >> Magic >> P.Width >> P.Height >> MaxVal) || MaxVal != 255)
    return false;
  In.get();
  P.Channels = Magic == "P6" ? 3 : Magic == "P5" ? 1 : 0;
  if (P.Channels == 0)
    return false;
  P.Data.resize(size_t(P.Width) * size_t(P.Height) * size_t(P.Channels));
  In.read(reinterpret_cast<char*>(P.Data.data()), std::streamsize(P.Data.size()));
  return In.gcount() == std::streamsize(P.Data.size());
}

bool ReadPngRgb(const fs::path& Name, TPixmap& P) {
  png_image Image{};
  Image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&Image, Name.c_str()))
    return false;
  Image.format = PNG_FORMAT_RGB;
  P.Width = int(Image.width);
  P.Height = int(Image.height);
  P.Channels = 3;
  P.Data.resize(PNG_IMAGE_SIZE(Image));
  return png_image_finish_read(&Image, nullptr, P.Data.data(), 0, nullptr) != 0;
}

struct TOutcome {
  std::unique_ptr<TDib> Dib;
  std::string Error, Warning;
  int ColorFormat = 0;
};

TOutcome DecodeFile(const fs::path& Name) {
  TOutcome O;
  try {
    TJpgReader R;
    // The decoder itself is compared: embedded profiles stay unapplied.
    TReadOptions Options;
    Options.ApplyProfile = false;
    TImageRead Read = ReadImageWith(R, Name, Options);
    O.Dib = std::move(Read.Dib);
    Read.ThrowFailure();
    O.Warning = Read.Warning;
    O.ColorFormat = Read.Facts.ColorFormat;
  } catch (const EInvalidGraphicOperation& E) {
    O.Error = E.what();
  }
  return O;
}

std::string FileText(const fs::path& Name) {
  std::ifstream In(Name, std::ios::binary);
  std::ostringstream Text;
  Text << In.rdbuf();
  return Text.str();
}

// Largest difference of any sample; -1 when the sizes differ.
int MaxDifference(const TDib& Dib, const TPixmap& P) {
  if (Dib.Width() != P.Width || Dib.Height() != P.Height)
    return -1;
  int Max = 0;
  for (int Y = 0; Y < P.Height; ++Y) {
    const uint8_t* D = Dib.ScanLine(Y);
    const uint8_t* R = P.Data.data() + size_t(Y) * size_t(P.Width) * size_t(P.Channels);
    for (int X = 0; X < P.Width; ++X) {
      if (P.Channels == 1) {
        const TColor C = Dib.GetPixelColor(X, Y);
        Max = std::max(Max, std::abs(int(GetRValue(C)) - int(R[X])));
        continue;
      }
      // Buffer rows are B, G, R; PPM and PNG rows R, G, B.
      for (int K = 0; K < 3; ++K)
        Max = std::max(Max, std::abs(int(D[X * 3 + 2 - K]) - int(R[X * 3 + K])));
    }
  }
  return Max;
}

TEST(JpgCorpus, DecodesAsTheLibraryCommandLineDoes) {
  const fs::path Root = CorpusRoot();
  if (Root.empty() || !fs::exists(Root / "FILES.tsv"))
    GTEST_SKIP() << "PELORIN_CORPUS not set";
  if (std::system("djpeg -version > /dev/null 2>&1") != 0)
    GTEST_SKIP() << "djpeg not installed";
  const fs::path Out = fs::temp_directory_path() / ("pelorin-djpeg-" + std::to_string(getpid()) + ".pnm");
  const fs::path Err = fs::temp_directory_path() / ("pelorin-djpeg-" + std::to_string(getpid()) + ".err");
  int Compared = 0, Rejected = 0;
  for (const auto& F : JpegFiles(Root)) {
    SCOPED_TRACE(F.Path);
    const fs::path Name = Root / F.Path;
    fs::remove(Out);
    const std::string Command =
        "djpeg -pnm -outfile '" + Out.string() + "' '" + Name.string() + "' 2>'" + Err.string() + "'";
    const int Status = std::system(Command.c_str());
    const int Exit = WIFEXITED(Status) ? WEXITSTATUS(Status) : -1;
    const TOutcome O = DecodeFile(Name);
    TPixmap Ref;
    if (Exit == 1 || !ReadPnm(Out, Ref)) {
      // What the library rejects the reader rejects, with the binding's texts.
      EXPECT_FALSE(O.Error.empty());
      EXPECT_TRUE(O.Error.rfind("Invalid JPG header", 0) == 0 || O.Error.rfind("Compression error found", 0) == 0 ||
                  O.Error == "Invalid color scheme in JPG file.")
          << O.Error;
      ++Rejected;
      continue;
    }
    ASSERT_TRUE(O.Error.empty()) << O.Error;
    // Of the library's warnings only a premature end is passed on.
    EXPECT_EQ(FileText(Err).find("Premature end of JPEG file") != std::string::npos, !O.Warning.empty()) << O.Warning;
    // CMYK goes through the color manager, whose rounding may differ by one.
    const bool Cmyk = O.ColorFormat == cfCMYK || O.ColorFormat == cfYCCK;
    const int Diff = MaxDifference(*O.Dib, Ref);
    EXPECT_GE(Diff, 0);
    EXPECT_LE(Diff, Cmyk ? 1 : 0);
    ++Compared;
  }
  fs::remove(Out);
  fs::remove(Err);
  EXPECT_GT(Compared, 90);
  EXPECT_GT(Rejected, 3);
}

TEST(JpgCorpus, ProgressiveFilesMatchTheirReferenceRenderings) {
  const fs::path Root = CorpusRoot();
  if (Root.empty() || !fs::exists(Root / "image-rs"))
    GTEST_SKIP() << "PELORIN_CORPUS not set";
  // Another decoder made the references: its rounding of the inverse DCT and
  // of the chroma upsampling differs from the library's by a few levels.
  for (const char* Name : {"3.jpg", "cat.jpg", "test.jpg"}) {
    SCOPED_TRACE(Name);
    const TOutcome O = DecodeFile(Root / "image-rs/jpeg/images/progressive" / Name);
    ASSERT_TRUE(O.Error.empty()) << O.Error;
    TPixmap Ref;
    ASSERT_TRUE(ReadPngRgb(Root / "image-rs/jpeg/reference/progressive" / (std::string(Name) + ".png"), Ref));
    const int Diff = MaxDifference(*O.Dib, Ref);
    EXPECT_GE(Diff, 0);
    EXPECT_LE(Diff, 5);
  }
}

} // namespace
