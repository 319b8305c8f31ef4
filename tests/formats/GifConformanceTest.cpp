#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

#include "CorpusReference.h"
#include "XGif.h"

namespace fs = std::filesystem;

namespace {

using namespace CorpusReference;

// Outcome of every GIF file of the corpus. "ok" reads cleanly, "warn:" with
// that warning, "fail:" fails with that message (at the header or in the
// data). Files with reference pixels are compared in addition.
const char* const BadHeader = "fail:Invalid GIF header";
const char* const BadData = "fail:Compression error found in GIF file.";
const char* const BadCodeSize = "fail:Invalid compression scheme in GIF file.";

const std::map<std::string, std::string> Outcomes = {
    // A local table or code size cut off by the end of the file.
    {"pygif/gif/image-zero-height.gif", BadHeader},
    {"pygif/gif/image-zero-size.gif", BadHeader},
    {"pygif/gif/image-zero-width.gif", BadCodeSize},
    // No image at all.
    {"pygif/gif/no-data.gif", BadHeader},
    {"pygif/gif/max-size.gif", BadHeader},
    {"pygif/gif/zero-height.gif", BadHeader},
    {"pygif/gif/zero-size.gif", BadHeader},
    {"pygif/gif/zero-width.gif", BadHeader},
    {"image-rs/gif/regression/zero-loop-count.gif", BadHeader},
    // A code beyond the next free one.
    {"pygif/gif/invalid-code.gif", BadData},
    // Clear codes of 4096 and more.
    {"pygif/gif/overflow-codes-max.gif", BadCodeSize},
    {"pygif/gif/overflow-codes.gif", BadCodeSize},
    {"pillow/gif/decompression_bomb.gif", BadCodeSize},
    {"pillow/gif/zero_width.gif", BadCodeSize},
};

TRgbaImage ReadRgba(const fs::path& Name, int32_t Width, int32_t Height) {
  std::ifstream In(Name, std::ios::binary);
  TRgbaImage Out{Width, Height, {std::istreambuf_iterator<char>(In), {}}};
  if (Out.Pixels.size() != size_t(Width) * size_t(Height) * 4)
    return {};
  return Out;
}

// Opaque reference pixels must have the color the buffer shows; transparent
// ones show whatever a viewer puts behind them. Returns the number of
// differing pixels, or -1 when the sizes differ.
int64_t Mismatches(const TGifReader& Reader, const TRgbaImage& Ref) {
  const TDib& Dib = *Reader.Dib;
  if (Ref.Width != Dib.Width() || Ref.Height != Dib.Height())
    return -1;
  int64_t Count = 0;
  for (int32_t Y = 0; Y < Dib.Height(); ++Y)
    for (int32_t X = 0; X < Dib.Width(); ++X) {
      const uint8_t* P = Ref.Pixels.data() + (size_t(Y) * size_t(Ref.Width) + size_t(X)) * 4;
      Count += P[3] == 255 && Dib.GetPixelColor(X, Y) != RGBColor(P[0], P[1], P[2]);
    }
  return Count;
}

std::map<std::string, std::string> ReadConf(const fs::path& Name) {
  std::map<std::string, std::string> Values;
  std::ifstream In(Name);
  std::string Line, Section;
  while (std::getline(In, Line)) {
    if (Line.empty() || Line[0] == '#')
      continue;
    if (Line[0] == '[') {
      Section = Line.substr(1, Line.find(']') - 1);
      continue;
    }
    const size_t Eq = Line.find(" = ");
    if (Eq != std::string::npos)
      Values[Section + "." + Line.substr(0, Eq)] = Line.substr(Eq + 3);
  }
  return Values;
}

// The reference of the first frame, if the corpus has one. Files that the
// suite calls wrongly encoded animations have no delays at all, so their one
// frame is what the suite lists as the last.
TRgbaImage FirstFrameReference(const fs::path& Root, const std::string& Path) {
  const fs::path File = Root / Path;
  if (Path.starts_with("pygif/")) {
    auto Conf = ReadConf(fs::path(File).replace_extension(".conf"));
    const std::string Frames = Conf["config.frames"];
    if (Frames.empty())
      return {};
    const std::string First = Conf["config.force-animation"] == "yes" ? Frames.substr(Frames.rfind(',') + 1)
                                                                      : Frames.substr(0, Frames.find(','));
    const int32_t W = std::atoi(Conf["config.width"].c_str()), H = std::atoi(Conf["config.height"].c_str());
    if (!Conf[First + ".pixels"].empty())
      return ReadRgba(File.parent_path() / Conf[First + ".pixels"], W, H);
    return ReadPng(File.parent_path() / Conf[First + ".image"]);
  }
  if (Path.starts_with("image-rs/gif/images/")) {
    const std::string Ref = "image-rs/gif/reference/" + Path.substr(20) + ".png";
    if (fs::exists(Root / Ref))
      return ReadPng(Root / Ref);
  }
  return {};
}

std::vector<std::string> GifFiles(const fs::path& Root) {
  std::vector<std::string> Files;
  std::ifstream In(Root / "FILES.tsv");
  std::string Line;
  while (std::getline(In, Line)) {
    std::vector<std::string> Cols;
    std::stringstream S(Line);
    for (std::string C; std::getline(S, C, '\t');)
      Cols.push_back(C);
    if (Cols.size() > 5 && Cols[1] == "gif" && Cols[2].ends_with(".gif") && Cols[5] != "reference")
      Files.push_back(Cols[2]);
  }
  return Files;
}

std::string ReadOutcome(TGifReader& Reader, const fs::path& File) {
  try {
    Reader.Open(File);
    Reader.Read();
    return Reader.Warning.empty() ? "ok" : "warn:" + Reader.Warning;
  } catch (const EInvalidGraphicOperation& E) {
    return std::string("fail:") + E.what();
  }
}

} // namespace

TEST(GifConformance, CorpusOutcomesAndFirstFrames) {
  const fs::path Root = CorpusRoot();
  if (Root.empty() || !fs::exists(Root / "FILES.tsv"))
    GTEST_SKIP() << "corpus not available";
  const auto Files = GifFiles(Root);
  ASSERT_GT(Files.size(), 100u);
  int32_t Compared = 0;
  for (const std::string& Path : Files) {
    SCOPED_TRACE(Path);
    TGifReader Reader;
    const std::string Outcome = ReadOutcome(Reader, Root / Path);
    const auto It = Outcomes.find(Path);
    EXPECT_EQ(Outcome, It == Outcomes.end() ? "ok" : It->second);
    if (!Reader.Dib)
      continue;
    const TRgbaImage Ref = FirstFrameReference(Root, Path);
    if (Ref.Pixels.empty())
      continue;
    EXPECT_EQ(Mismatches(Reader, Ref), 0);
    ++Compared;
  }
  EXPECT_GE(Compared, 60);
}

TEST(GifConformance, VersionAndHeaderFields) {
  const fs::path Root = CorpusRoot();
  if (Root.empty() || !fs::exists(Root / "pygif/gif/gif87a.gif"))
    GTEST_SKIP() << "corpus not available";
  TGifReader R87;
  ASSERT_EQ(ReadOutcome(R87, Root / "pygif/gif/gif87a.gif"), "ok");
  EXPECT_EQ(R87.Version(), "87a");
  EXPECT_EQ(R87.Compression, 3);
  EXPECT_EQ(R87.ColorFormat, cfPalette);

  // A local table larger than the global one decides the buffer.
  TGifReader Local;
  ASSERT_EQ(ReadOutcome(Local, Root / "pygif/gif/local-color-table.gif"), "ok");
  EXPECT_GT(Local.LocalCount, 0);
  EXPECT_EQ(Local.PaletteSize, std::max(Local.LocalCount, Local.GlobalCount));

  TGifReader Interlaced;
  ASSERT_EQ(ReadOutcome(Interlaced, Root / "pygif/gif/interlace.gif"), "ok");
  EXPECT_TRUE(Interlaced.Interlaced);
}
