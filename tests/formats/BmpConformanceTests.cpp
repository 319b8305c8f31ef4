#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

#include "CorpusReference.h"
#include "XBmp.h"
#include "XImageRead.h"

namespace fs = std::filesystem;

namespace {

using namespace CorpusReference;

// Expected outcome of every bitmap of the corpus, read with the BMP reader
// whatever the extension: "ref" decodes cleanly and matches one of its PNG
// references; "ok" decodes cleanly (no reference, or one that shows alpha);
// "warn:" decodes with that warning; "fail:" fails with that message.
const char* const Unsupported = "fail:Unsupported compression scheme in BMP file.";
const char* const BadFormat = "fail:Invalid BMP image format.";
const char* const BadMasks = "fail:Invalid color scheme in BMP file.";
const char* const Short = "fail:Stream read error in BMP file.";
const char* const NotBmp = "fail:invalid BMP file header";
const char* const RleCut = "warn:Compression error found in BMP file.";

const std::map<std::string, std::string> Expected = {
    {"bmpsuite/bmp/g/pal1.bmp", "ref"},
    {"bmpsuite/bmp/g/pal1bg.bmp", "ref"},
    {"bmpsuite/bmp/g/pal1wb.bmp", "ref"},
    {"bmpsuite/bmp/g/pal4.bmp", "ref"},
    {"bmpsuite/bmp/g/pal4gs.bmp", "ref"},
    {"bmpsuite/bmp/g/pal4rle.bmp", "ref"},
    {"bmpsuite/bmp/g/pal8-0.bmp", "ref"},
    {"bmpsuite/bmp/g/pal8.bmp", "ref"},
    {"bmpsuite/bmp/g/pal8gs.bmp", "ref"},
    {"bmpsuite/bmp/g/pal8nonsquare.bmp", "ref"},
    {"bmpsuite/bmp/g/pal8os2.bmp", "ref"},
    {"bmpsuite/bmp/g/pal8rle.bmp", "ref"},
    {"bmpsuite/bmp/g/pal8topdown.bmp", "ref"},
    {"bmpsuite/bmp/g/pal8v4.bmp", "ref"},
    {"bmpsuite/bmp/g/pal8v5.bmp", "ref"},
    {"bmpsuite/bmp/g/pal8w124.bmp", "ref"},
    {"bmpsuite/bmp/g/pal8w125.bmp", "ref"},
    {"bmpsuite/bmp/g/pal8w126.bmp", "ref"},
    {"bmpsuite/bmp/g/rgb16-565.bmp", "ref"},
    {"bmpsuite/bmp/g/rgb16-565pal.bmp", "ref"},
    {"bmpsuite/bmp/g/rgb16.bmp", "ref"},
    {"bmpsuite/bmp/g/rgb16bfdef.bmp", "ref"},
    {"bmpsuite/bmp/g/rgb24.bmp", "ref"},
    {"bmpsuite/bmp/g/rgb24pal.bmp", "ref"},
    {"bmpsuite/bmp/g/rgb32.bmp", "ref"},
    {"bmpsuite/bmp/g/rgb32bf.bmp", "ref"},
    {"bmpsuite/bmp/g/rgb32bfdef.bmp", "ref"},
    {"bmpsuite/bmp/q/pal1huffmsb.bmp", Unsupported},
    {"bmpsuite/bmp/q/pal1p1.bmp", "ref"},
    {"bmpsuite/bmp/q/pal2.bmp", BadFormat},
    {"bmpsuite/bmp/q/pal2color.bmp", BadFormat},
    {"bmpsuite/bmp/q/pal4rlecut.bmp", "ref"},
    {"bmpsuite/bmp/q/pal4rletrns.bmp", "ref"},
    {"bmpsuite/bmp/q/pal8offs.bmp", "ref"},
    {"bmpsuite/bmp/q/pal8os2-hs.bmp", "ref"},
    {"bmpsuite/bmp/q/pal8os2-sz.bmp", "ref"},
    {"bmpsuite/bmp/q/pal8os2sp.bmp", "ref"},
    {"bmpsuite/bmp/q/pal8os2v2-16.bmp", "ref"},
    {"bmpsuite/bmp/q/pal8os2v2-40sz.bmp", "ref"},
    {"bmpsuite/bmp/q/pal8os2v2-sz.bmp", "ref"},
    {"bmpsuite/bmp/q/pal8os2v2.bmp", "ref"},
    {"bmpsuite/bmp/q/pal8oversizepal.bmp", "ref"},
    {"bmpsuite/bmp/q/pal8rlecut.bmp", "ref"},
    {"bmpsuite/bmp/q/pal8rletrns.bmp", "ref"},
    {"bmpsuite/bmp/q/rgb16-231.bmp", "ref"},
    {"bmpsuite/bmp/q/rgb16-3103.bmp", "ref"},
    {"bmpsuite/bmp/q/rgb16faketrns.bmp", "ref"},
    {"bmpsuite/bmp/q/rgb24jpeg.bmp", BadFormat},
    {"bmpsuite/bmp/q/rgb24largepal.bmp", "ref"},
    {"bmpsuite/bmp/q/rgb24lprof.bmp", "ref"},
    {"bmpsuite/bmp/q/rgb24png.bmp", BadFormat},
    {"bmpsuite/bmp/q/rgb24prof.bmp", "ref"},
    {"bmpsuite/bmp/q/rgb24prof2.bmp", "ref"},
    {"bmpsuite/bmp/q/rgb24rle24.bmp", Unsupported},
    {"bmpsuite/bmp/q/rgb32-111110.bmp", "ref"},
    {"bmpsuite/bmp/q/rgb32-7187.bmp", "ref"},
    {"bmpsuite/bmp/q/rgb32-xbgr.bmp", "ref"},
    {"bmpsuite/bmp/q/rgb32fakealpha.bmp", "ref"},
    {"bmpsuite/bmp/q/rgb32h52.bmp", "ref"},
    {"bmpsuite/bmp/q/rgba16-1924.bmp", "ok"},
    {"bmpsuite/bmp/q/rgba16-4444.bmp", "ok"},
    {"bmpsuite/bmp/q/rgba16-5551.bmp", "ok"},
    {"bmpsuite/bmp/q/rgba32-1.bmp", "ok"},
    {"bmpsuite/bmp/q/rgba32-1010102.bmp", "ok"},
    {"bmpsuite/bmp/q/rgba32-2.bmp", "ref"},
    {"bmpsuite/bmp/q/rgba32-61754.bmp", "ref"},
    {"bmpsuite/bmp/q/rgba32-81284.bmp", "ok"},
    {"bmpsuite/bmp/q/rgba32abf.bmp", Unsupported},
    {"bmpsuite/bmp/q/rgba32h56.bmp", "ok"},
    {"bmpsuite/bmp/q/rgba64.bmp", BadFormat},
    {"bmpsuite/bmp/b/badbitcount.bmp", BadFormat},
    {"bmpsuite/bmp/b/badbitssize.bmp", "ok"},
    {"bmpsuite/bmp/b/baddens1.bmp", "ok"},
    {"bmpsuite/bmp/b/baddens2.bmp", "ok"},
    {"bmpsuite/bmp/b/badfilesize.bmp", "ok"},
    {"bmpsuite/bmp/b/badheadersize.bmp", "warn:Invalid BMP header"},
    {"bmpsuite/bmp/b/badpalettesize.bmp", "ok"},
    {"bmpsuite/bmp/b/badplanes.bmp", "warn:Invalid BMP header"},
    {"bmpsuite/bmp/b/badrle.bmp", RleCut},
    {"bmpsuite/bmp/b/badrle4.bmp", RleCut},
    {"bmpsuite/bmp/b/badrle4bis.bmp", RleCut},
    {"bmpsuite/bmp/b/badrle4ter.bmp", RleCut},
    {"bmpsuite/bmp/b/badrlebis.bmp", RleCut},
    {"bmpsuite/bmp/b/badrleter.bmp", RleCut},
    {"bmpsuite/bmp/b/badwidth.bmp", BadFormat},
    {"bmpsuite/bmp/b/pal8badindex.bmp", "ref"},
    {"bmpsuite/bmp/b/reallybig.bmp", Short},
    {"bmpsuite/bmp/b/rgb16-880.bmp", BadMasks},
    {"bmpsuite/bmp/b/rletopdown.bmp", "ok"},
    {"bmpsuite/bmp/b/shortfile.bmp", Short},
    {"bmpsuite/bmp/x/ba-bm.bmp", NotBmp},
    {"libjpeg-turbo/bmp/shira_bird8.bmp", "ok"},
    {"libjpeg-turbo/bmp/vgl_6434_0018a.bmp", "ok"},
    {"libjpeg-turbo/bmp/vgl_6548_0026a.bmp", "ok"},
    {"image-rs/bmp/bad/Bad_clrsUsed.bmp", "ok"},
    {"image-rs/bmp/bad/Bad_height.bmp", Short},
    {"image-rs/bmp/bad/Bad_unusual_extend_buffer_usage.bmp", BadFormat},
    {"image-rs/bmp/bad/Bad_width.bmp", BadFormat},
    {"image-rs/bmp/images/images/Core_1_Bit.bmp", "ref"},
    {"image-rs/bmp/images/images/Core_4_Bit.bmp", "ref"},
    {"image-rs/bmp/images/images/Core_8_Bit.bmp", "ref"},
    {"image-rs/bmp/images/images/Info_1_Bit.bmp", "ref"},
    {"image-rs/bmp/images/images/Info_1_Bit_Top_Down.bmp", "ref"},
    {"image-rs/bmp/images/images/Info_4_Bit.bmp", "ref"},
    {"image-rs/bmp/images/images/Info_4_Bit_Top_Down.bmp", "ref"},
    {"image-rs/bmp/images/images/Info_8_Bit.bmp", "ref"},
    {"image-rs/bmp/images/images/Info_8_Bit_Top_Down.bmp", "ref"},
    {"image-rs/bmp/images/images/Info_A8_R8_G8_B8.bmp", "ref"},
    {"image-rs/bmp/images/images/Info_A8_R8_G8_B8_Top_Down.bmp", "ref"},
    {"image-rs/bmp/images/images/Info_R8_G8_B8.bmp", "ref"},
    {"image-rs/bmp/images/images/Info_R8_G8_B8_Top_Down.bmp", "ref"},
    {"image-rs/bmp/images/images/Info_X1_R5_G5_B5.bmp", "ref"},
    {"image-rs/bmp/images/images/Info_X1_R5_G5_B5_Top_Down.bmp", "ref"},
    {"image-rs/bmp/images/images/V3_A1_R5_G5_B5.bmp", "ref"},
    {"image-rs/bmp/images/images/V3_A1_R5_G5_B5_Top_Down.bmp", "ref"},
    {"image-rs/bmp/images/images/V3_A4_R4_G4_B4.bmp", "ref"},
    {"image-rs/bmp/images/images/V3_A4_R4_G4_B4_Top_Down.bmp", "ref"},
    {"image-rs/bmp/images/images/V3_R5_G6_B5.bmp", "ref"},
    {"image-rs/bmp/images/images/V3_R5_G6_B5_Top_Down.bmp", "ref"},
    {"image-rs/bmp/images/images/V3_X4_R4_G4_B4.bmp", "ref"},
    {"image-rs/bmp/images/images/V3_X4_R4_G4_B4_Top_Down.bmp", "ref"},
    {"image-rs/bmp/images/images/V3_X8_R8_G8_B8.bmp", "ref"},
    {"image-rs/bmp/images/images/V3_X8_R8_G8_B8_Top_Down.bmp", "ref"},
    {"image-rs/bmp/images/images/V4_24_Bit.bmp", "ref"},
    {"image-rs/bmp/images/images/V4_A8_R8_G8_B8.bmp", "ref"},
    {"image-rs/bmp/images/images/V4_R5_G6_B5.bmp", "ref"},
    {"image-rs/bmp/images/images/V5_24_Bit.bmp", "ref"},
    {"image-rs/bmp/images/images/V5_A1_R5_G5_B5.bmp", "ref"},
    {"image-rs/bmp/images/images/V5_A8_R8_G8_B8_Rgb.bmp", "ref"},
    {"image-rs/bmp/images/images/imagemagick_invalid_run_length_issue_2321.bmp", "ok"},
    {"image-rs/bmp/images/images/lenient/V5_A8_R8_G8_B8_Rgb_BadMask.bmp", "ok"},
    {"image-rs/bmp/images/images/lenient/rle_overflow.bmp", "ok"},
    {"image-rs/bmp/images/images/pal8v4.bmp", "ref"},
    {"image-rs/bmp/images/images/rgba16-1924.bmp", "ref"},
    {"pillow/bmp/clipboard.dib", NotBmp},
    {"pillow/bmp/hopper.bmp", "ok"},
    {"pillow/bmp/hopper_emboss.bmp", "ok"},
    {"pillow/bmp/hopper_emboss_more.bmp", "ok"},
    {"pillow/bmp/hopper_rle8.bmp", "ok"},
    {"pillow/bmp/hopper_rle8_grayscale.bmp", "ref"},
    {"pillow/bmp/hopper_rle8_row_overflow.bmp", RleCut},
    {"pillow/bmp/l2rgb_read.bmp", Short},
    {"pillow/bmp/mmap_error.bmp", "ok"},
    {"pillow/bmp/rgb32bf-abgr.bmp", "ok"},
    {"pillow/bmp/rgb32bf-rgba.bmp", "ok"},
    {"twelvemonkeys/bmp/24bitpalette.bmp", "ok"},
    {"twelvemonkeys/bmp/Blue Lace 16.bmp", "ok"},
    {"twelvemonkeys/bmp/blauesglas_16.bmp", "ok"},
    {"twelvemonkeys/bmp/blauesglas_16_bitmask444.bmp", "ok"},
    {"twelvemonkeys/bmp/blauesglas_16_bitmask565.bmp", "ok"},
    {"twelvemonkeys/bmp/blauesglas_24.bmp", "ok"},
    {"twelvemonkeys/bmp/blauesglas_32.bmp", "ok"},
    {"twelvemonkeys/bmp/blauesglas_32_bitmask888.bmp", "ok"},
    {"twelvemonkeys/bmp/blauesglas_32_bitmask888_reversed.bmp", "ok"},
    {"twelvemonkeys/bmp/blauesglas_4-IM.bmp", "ok"},
    {"twelvemonkeys/bmp/blauesglas_4.bmp", "ok"},
    {"twelvemonkeys/bmp/blauesglas_4.rle", "ok"},
    {"twelvemonkeys/bmp/blauesglas_8-IM.bmp", "ok"},
    {"twelvemonkeys/bmp/blauesglas_8.bmp", "ok"},
    {"twelvemonkeys/bmp/blauesglas_8.rle", "ok"},
    {"twelvemonkeys/bmp/blauesglas_gray.bmp", "ok"},
    {"twelvemonkeys/bmp/blauesglas_mono.bmp", "ok"},
    {"twelvemonkeys/bmp/os2/money-16-(os2).bmp", "ok"},
    {"twelvemonkeys/bmp/os2/money-2-(os2).bmp", "ok"},
    {"twelvemonkeys/bmp/os2/money-24bit-os2.bmp", "ok"},
    {"twelvemonkeys/bmp/os2/money-256-(os2).bmp", "ok"},
    {"twelvemonkeys/bmp/broken-bmp/corrupted-bmp.bmp", BadFormat},
    {"zigimg/bmp/notbmp.png", NotBmp},
    {"zigimg/bmp/simple_v4.bmp", "ok"},
    {"zigimg/bmp/windows_rgba_v5.bmp", "ok"},
};

// Files that hold the same picture as a plain file beside them, in another
// layout or behind a header that needs repair.
const std::pair<const char*, const char*> SamePixels[] = {
    {"pillow/bmp/mmap_error.bmp", "bmpsuite/bmp/g/pal8.bmp"},
    {"pillow/bmp/rgb32bf-abgr.bmp", "bmpsuite/bmp/g/rgb24.bmp"},
    {"twelvemonkeys/bmp/blauesglas_32_bitmask888_reversed.bmp", "twelvemonkeys/bmp/blauesglas_32_bitmask888.bmp"},
};

std::unique_ptr<TDib> ReadCorpusBmp(const fs::path& Name) {
  TBmpReader Reader;
  TImageRead Read = ReadImageWith(Reader, Name);
  Read.ThrowFailure();
  EXPECT_EQ(Reader.Warning, "");
  return std::move(Read.Dib);
}

struct TCorpusFile {
  std::string Path;
  std::vector<std::string> PngReferences;
};

// The bitmap test files listed in the corpus index, with their references.
std::vector<TCorpusFile> BmpFiles(const fs::path& Root) {
  std::vector<TCorpusFile> Files;
  std::ifstream In(Root / "FILES.tsv");
  std::string Line;
  while (std::getline(In, Line)) {
    std::vector<std::string> Col;
    std::stringstream Ss(Line);
    for (std::string C; std::getline(Ss, C, '\t');)
      Col.push_back(C);
    if (Col.size() < 8 || Col[1] != "bmp" || Col[5] == "reference" || Col[5] == "doc")
      continue;
    TCorpusFile F{Col[2], {}};
    std::stringstream Refs(Col[7]);
    for (std::string R; std::getline(Refs, R, ';');)
      if (R.ends_with(".png"))
        F.PngReferences.push_back(R);
    Files.push_back(F);
  }
  return Files;
}

int MaxDifference(const TDib& Dib, const TRgbaImage& Ref) {
  if (Ref.Width != Dib.Width() || Ref.Height != Dib.Height())
    return -1;
  int Max = 0;
  const uint8_t* P = Ref.Pixels.data();
  for (int32_t Y = 0; Y < Dib.Height(); ++Y)
    for (int32_t X = 0; X < Dib.Width(); ++X, P += 4) {
      const TColor C = Dib.GetPixelColor(X, Y);
      Max =
          std::max({Max, std::abs(GetRValue(C) - P[0]), std::abs(GetGValue(C) - P[1]), std::abs(GetBValue(C) - P[2])});
    }
  return Max;
}

} // namespace

TEST(BmpConformance, CorpusOutcomes) {
  const fs::path Root = CorpusRoot();
  if (Root.empty() || !fs::exists(Root / "FILES.tsv"))
    GTEST_SKIP() << "corpus not available";
  const auto Files = BmpFiles(Root);
  ASSERT_FALSE(Files.empty());
  for (const TCorpusFile& F : Files) {
    SCOPED_TRACE(F.Path);
    const auto It = Expected.find(F.Path);
    ASSERT_NE(It, Expected.end()) << "no expected outcome";
    const std::string& Want = It->second;
    TBmpReader Reader;
    std::string Outcome;
    try {
      Reader.Open(Root / F.Path);
      Reader.Read();
      Outcome = Reader.Warning.empty() ? "ok" : "warn:" + Reader.Warning;
    } catch (const EInvalidGraphicOperation& E) {
      Outcome = std::string("fail:") + E.what();
    }
    if (Want != "ref") {
      EXPECT_EQ(Outcome, Want);
      continue;
    }
    ASSERT_EQ(Outcome, "ok");
    ASSERT_FALSE(F.PngReferences.empty());
    // 16-bit files: 5-bit channels expand as v * 8 + 3 where references
    // replicate the top bits.
    // Channels wider than 8 bits keep their top bits where a 16-bit
    // reference rounds.
    const bool Cut = F.Path == "bmpsuite/bmp/q/rgb32-7187.bmp";
    const int Tolerance = Reader.ColorFormat == cf15bit || Reader.ColorFormat == cf16bit ? 4 : Cut ? 1 : 0;
    int Best = -1;
    for (const std::string& Ref : F.PngReferences) {
      const int D = MaxDifference(*Reader.Dib, ReadPngSamples(Root / Ref));
      if (D >= 0 && (Best < 0 || D < Best))
        Best = D;
    }
    EXPECT_GE(Best, 0) << "no reference of the same size";
    EXPECT_LE(Best, Tolerance);
  }
}

TEST(BmpConformance, SamePicturesInOtherLayouts) {
  const fs::path Root = CorpusRoot();
  if (Root.empty() || !fs::exists(Root / "FILES.tsv"))
    GTEST_SKIP() << "corpus not available";
  for (const auto& [Name, Plain] : SamePixels) {
    SCOPED_TRACE(Name);
    const auto A = ReadCorpusBmp(Root / Name), B = ReadCorpusBmp(Root / Plain);
    ASSERT_EQ(A->Width(), B->Width());
    ASSERT_EQ(A->Height(), B->Height());
    for (int32_t Y = 0; Y < A->Height(); ++Y)
      for (int32_t X = 0; X < A->Width(); ++X)
        ASSERT_EQ(A->GetPixelColor(X, Y), B->GetPixelColor(X, Y)) << X << "," << Y;
  }
}
