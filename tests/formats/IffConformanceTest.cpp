#include <gtest/gtest.h>

#include <map>

#include "CorpusFiles.h"
#include "NetpbmTool.h"
#include "TgaPmgExternal.h"
#include "XIff.h"

namespace fs = std::filesystem;

namespace {

using namespace CorpusFiles;
using namespace CorpusReference;

// "netpbm": decodes cleanly and matches ilbmtoppm's decoding (Pillow has no
// IFF reader); "ok": decodes cleanly, nothing to compare with; "fail:" fails
// with that message.
const std::map<std::string, std::string> Expected = {
    {"twelvemonkeys/iff/A4000T_HAM6.IFF", "netpbm"},
    {"twelvemonkeys/iff/A4000T_HAM8.IFF", "netpbm"},
    {"twelvemonkeys/iff/ASH.PBM", "netpbm"},
    {"twelvemonkeys/iff/AmigaAmiga.iff", "netpbm"},
    {"twelvemonkeys/iff/Bryce.iff", "netpbm"},
    {"twelvemonkeys/iff/GoldPorsche.iff", "netpbm"},
    {"twelvemonkeys/iff/IKKEGOD.iff", "netpbm"},
    {"twelvemonkeys/iff/Lion.iff", "netpbm"},
    // Palettes changed per row are not taken: the pictures show in their
    // base colors.
    {"twelvemonkeys/iff/Manhattan.PCHG", "ok"},
    {"twelvemonkeys/iff/Somnambulist-2.SHAM", "ok"},
    {"twelvemonkeys/iff/arch.deep", "fail:Invalid IFF header"},
    {"twelvemonkeys/iff/glowsphere2.rgb8", "fail:Invalid compression scheme in IFF file."},
    {"twelvemonkeys/iff/owl.iff", "netpbm"},
    {"twelvemonkeys/iff/survivor.iff", "netpbm"},
    // 32 planes: ilbmtoppm refuses them.
    {"twelvemonkeys/iff/test.iff", "ok"},
    {"twelvemonkeys/iff/tunnel04-adpro-cross-boundary-runs.rgb8", "fail:Invalid compression scheme in IFF file."},
    {"zigimg/iff/sample-24bit.iff", "netpbm"},
    {"zigimg/iff/sample-8bit.acbm", "ok"},
    {"zigimg/iff/sample-ehb.iff", "netpbm"},
    {"zigimg/iff/sample-ham.iff", "netpbm"},
    {"zigimg/iff/sample-ham8.iff", "netpbm"},
    {"zigimg/iff/sample-ilbm-4bit-compressed-atari.iff", "fail:Invalid compression scheme in IFF file."},
    {"zigimg/iff/sample-ilbm-8bit-compressed.iff", "netpbm"},
    {"zigimg/iff/sample-ilbm-8bit-uncompressed.iff", "netpbm"},
    {"zigimg/iff/sample-pbm.iff", "netpbm"},
};

// Hold-and-modify rows start from color 0, as the display hardware does;
// ilbmtoppm starts them from black. The two agree from the first pixel that
// sets or modifies all of a row's channels on: "" when they do, else the
// first pixel that differs after the two met.
std::string HamDifference(const TDib& Dib, const TRgbaImage& Ref) {
  if (Ref.Width != Dib.Width() || Ref.Height != Dib.Height())
    return "size";
  for (int32_t Y = 0; Y < Dib.Height(); ++Y) {
    bool Met = false;
    for (int32_t X = 0; X < Dib.Width(); ++X) {
      const uint8_t* P = &Ref.Pixels[(size_t(Y) * size_t(Ref.Width) + size_t(X)) * 4];
      const bool Same = Dib.GetPixelColor(X, Y) == RGBColor(P[0], P[1], P[2]);
      Met = Met || Same;
      if (Met && !Same)
        return std::to_string(X) + "," + std::to_string(Y);
    }
    if (!Met)
      return "row " + std::to_string(Y);
  }
  return "";
}

bool HaveCorpus() {
  const fs::path Root = CorpusRoot();
  return !Root.empty() && fs::exists(Root / "FILES.tsv");
}

} // namespace

TEST(IffConformance, CorpusOutcomes) {
  if (!HaveCorpus())
    GTEST_SKIP() << "corpus not available (PELORIN_CORPUS)";
  const fs::path Root = CorpusRoot();
  const bool Netpbm = TgaPmgExternal::HaveCommand("ilbmtoppm");
  const auto Files = FilesOf(Root, "iff");
  ASSERT_EQ(Files.size(), 25u);
  int Compared = 0;
  for (const TCorpusFile& F : Files) {
    SCOPED_TRACE(F.Path);
    TLbmReader Reader;
    const std::string Got = Outcome(Reader, Root / F.Path);
    ASSERT_TRUE(Expected.contains(F.Path)) << "no expected outcome; got " << Got;
    const std::string& Want = Expected.at(F.Path);
    if (Want.starts_with("fail:")) {
      EXPECT_EQ(Got, Want);
      continue;
    }
    ASSERT_EQ(Got, "ok");
    if (Want == "ok" || !Netpbm)
      continue;
    const TRgbaImage Ref = NetpbmTool::Decode("ilbmtoppm", Root / F.Path);
    ASSERT_GT(Ref.Width, 0) << "ilbmtoppm refused the file";
    if (Reader.Ham)
      EXPECT_EQ(HamDifference(*Reader.Dib, Ref), "");
    else
      EXPECT_EQ(TgaPmgExternal::FirstDifference(*Reader.Dib, Ref), "");
    ++Compared;
  }
  if (Netpbm) {
    EXPECT_EQ(Compared, 17);
  }
}
