#include <gtest/gtest.h>

#include <map>

#include "CorpusFiles.h"
#include "NetpbmTool.h"
#include "TgaPmgExternal.h"
#include "XPcx.h"

namespace fs = std::filesystem;

namespace {

using namespace CorpusFiles;
using namespace CorpusReference;

// "pillow": decodes cleanly and matches Pillow's decoding; "netpbm": the
// same with pcxtoppm, for layouts Pillow refuses or (this Pillow) takes
// with plane 0 as the highest bit; "cga": decodes cleanly,
// judged by its own picture below; "fail:" fails with that message.
const char* const BadHeader = "fail:Invalid PCX header";

// Bytes per line shorter than the width are refused before the palette.
const std::map<std::string, std::string> Expected = {
    {"pillow/pcx/01r_00.pcx", BadHeader},         {"pillow/pcx/hopper.dcx", "pillow"},
    {"pillow/pcx/odd_stride.pcx", "pillow"},      {"pillow/pcx/ossfuzz-4836216264589312.pcx", BadHeader},
    {"pillow/pcx/p_4_planes.pcx", "netpbm"},      {"pillow/pcx/pcx_overrun.bin", BadHeader},
    {"pillow/pcx/pcx_overrun2.bin", BadHeader},   {"pillow/pcx/pil184.pcx", "pillow"},
    {"twelvemonkeys/pcx/CGA_BW.PCX", "pillow"},   {"twelvemonkeys/pcx/CGA_FSD.PCX", "cga"},
    {"twelvemonkeys/pcx/CGA_RGBI.PCX", "cga"},    {"twelvemonkeys/pcx/CGA_TST1.PCX", "cga"},
    {"twelvemonkeys/pcx/DARKSTAR.PCX", "pillow"}, {"twelvemonkeys/pcx/animals.pcx", "netpbm"},
    {"twelvemonkeys/pcx/input.pcx", "pillow"},    {"twelvemonkeys/pcx/no-palette-monochrome.pcx", "pillow"},
    {"twelvemonkeys/pcx/rose.pcx", "netpbm"},     {"twelvemonkeys/pcx/dcx/input.dcx", "pillow"},
    {"zigimg/pcx/test-bpp1.pcx", "pillow"},       {"zigimg/pcx/test-bpp24.pcx", "pillow"},
    {"zigimg/pcx/test-bpp4.pcx", "netpbm"},       {"zigimg/pcx/test-bpp8.pcx", "pillow"},
};

// The colors each CGA picture names in its own text: background first.
const std::map<std::string, std::vector<TColor>> CgaColors = {
    {"twelvemonkeys/pcx/CGA_FSD.PCX", {0x000000, 0xFFFF00, 0xFF00FF, 0xFFFFFF}},
    // Blue, light green, light red, yellow.
    {"twelvemonkeys/pcx/CGA_RGBI.PCX", {0xAA0000, 0x55FF55, 0x5555FF, 0x55FFFF}},
    // Cyan behind cyan, magenta and light gray: the hidden line stays hidden.
    {"twelvemonkeys/pcx/CGA_TST1.PCX", {0xAAAA00, 0xAAAA00, 0xAA00AA, 0xAAAAAA}},
};

} // namespace

TEST(PcxConformance, CorpusOutcomes) {
  const fs::path Root = CorpusRoot();
  if (Root.empty() || !fs::exists(Root / "FILES.tsv"))
    GTEST_SKIP() << "corpus not available (PELORIN_CORPUS)";
  const bool Pillow = TgaPmgExternal::HavePillow(), Netpbm = TgaPmgExternal::HaveCommand("pcxtoppm");
  const auto Files = FilesOf(Root, "pcx");
  ASSERT_EQ(Files.size(), 22u);
  int Compared = 0;
  for (const TCorpusFile& F : Files) {
    SCOPED_TRACE(F.Path);
    TPcxReader Reader;
    const std::string Got = Outcome(Reader, Root / F.Path);
    ASSERT_TRUE(Expected.contains(F.Path)) << "no expected outcome; got " << Got;
    const std::string& Want = Expected.at(F.Path);
    if (Want.starts_with("fail:")) {
      EXPECT_EQ(Got, Want);
      continue;
    }
    ASSERT_EQ(Got, "ok");
    if (Want == "cga") {
      const std::vector<TColor>& Colors = CgaColors.at(F.Path);
      for (int32_t I = 0; I < 4; ++I)
        EXPECT_EQ(Reader.Dib->GetPaletteColor(I), Colors[size_t(I)]) << I;
      continue;
    }
    if ((Want == "pillow" && !Pillow) || (Want == "netpbm" && !Netpbm))
      continue;
    const TRgbaImage Ref =
        Want == "pillow" ? TgaPmgExternal::PillowDecode(Root / F.Path) : NetpbmTool::Decode("pcxtoppm", Root / F.Path);
    ASSERT_GT(Ref.Width, 0) << "reference decoder refused the file";
    EXPECT_EQ(TgaPmgExternal::FirstDifference(*Reader.Dib, Ref), "");
    ++Compared;
  }
  if (Pillow && Netpbm) {
    EXPECT_EQ(Compared, 15);
  }
}

// A DCX file's first page is the PCX file beside it.
TEST(PcxConformance, DcxPageIsItsPcxFile) {
  const fs::path Root = CorpusRoot();
  if (Root.empty() || !fs::exists(Root / "FILES.tsv"))
    GTEST_SKIP() << "corpus not available (PELORIN_CORPUS)";
  TPcxReader Page, Plain;
  ASSERT_EQ(Outcome(Page, Root / "twelvemonkeys/pcx/dcx/input.dcx"), "ok");
  ASSERT_EQ(Outcome(Plain, Root / "twelvemonkeys/pcx/input.pcx"), "ok");
  EXPECT_EQ(FirstDifference(*Page.Dib, *Plain.Dib), "");
}
