#include <gtest/gtest.h>

#include <string>

#include "MemoryCodec.h"
#include "TgaPmgExternal.h"
#include "XPmg.h"

using namespace TgaPmgExternal;

namespace {

std::vector<uint8_t> Bytes(const std::string& S) { return {S.begin(), S.end()}; }

using TRead = MemoryCodec::TRead<TPmgReader>;

TRead ReadPmg(const std::vector<uint8_t>& File) { return MemoryCodec::ReadFrom<TPmgReader>(File); }
std::string ErrorOf(const std::string& File) { return MemoryCodec::ErrorOf<TPmgReader>(Bytes(File)); }

std::vector<uint8_t> WritePmg(const TDib& Dib, bool Plain, const std::string& Title = "") {
  return MemoryCodec::WriteTo<TPmgWriter>(Dib, [&](TPmgWriter& W) {
    W.Plain = Plain;
    W.Title = Title;
  });
}

struct TCase {
  TPixelFormat Pf;
  bool Gray;
  char Kind; // the magic digit of the raw form
};

// Black and white bitmaps, gray ramps and colored images of each format.
const TCase Cases[] = {{pf1bit, true, '4'},   {pf1bit, false, '6'}, {pf4bit, true, '5'},   {pf4bit, false, '6'},
                       {pf8bit, true, '5'},   {pf8bit, false, '6'}, {pf15bit, false, '6'}, {pf16bit, false, '6'},
                       {pf24bit, false, '6'}, {pf32bit, false, '6'}};

} // namespace

TEST(PmgRoundTrip, EveryPixelFormatPlainAndRaw) {
  for (const TCase& C : Cases)
    for (bool Plain : {false, true})
      for (int32_t W : {1, 10, 33}) {
        SCOPED_TRACE(testing::Message() << "format " << int(C.Pf) << " gray " << C.Gray << " plain " << Plain << " w "
                                        << W);
        const auto Src = PatternDib(W, 5, C.Pf, uint32_t(C.Pf * 7 + W), C.Gray);
        const auto File = WritePmg(*Src, Plain);
        EXPECT_EQ(File[1], Plain ? C.Kind - 3 : C.Kind);
        const TRead R = ReadPmg(File);
        EXPECT_EQ(R.Reader->Compression, Plain ? cmpAscii : cmpNone);
        for (int32_t Y = 0; Y < 5; ++Y)
          for (int32_t X = 0; X < W; ++X)
            ASSERT_EQ(R.Dib->GetPixelColor(X, Y), Src->GetPixelColor(X, Y)) << X << "," << Y;
      }
}

TEST(PmgRoundTrip, InvertedBitmapPaletteKeepsBlackBlack) {
  TDib Dib(3, 1, pf1bit);
  Dib.SetPaletteColor(0, 0xFFFFFF);
  Dib.SetPaletteColor(1, 0);
  Dib.SetPixelValue(0, 0, 1);
  const auto File = WritePmg(Dib, true);
  EXPECT_EQ(std::string(File.begin(), File.end()), "P1\n3 1\n1 0 0 \n");
}

TEST(PmgWriter, TextsBecomeCommentsAndComeBack) {
  TDib Dib(3, 3, pf8bit);
  Dib.MakeGrayPalette();
  for (int32_t I = 0; I < 9; ++I)
    Dib.ScanLine(I / 3)[I % 3] = uint8_t(I);
  TMemoryStream S;
  TPmgWriter W;
  W.Plain = true;
  W.Title = "Sunset\nover sea";
  W.Author = "Ann";
  W.Rights = "(c) Ann";
  W.CreateStream(S);
  W.Write(Dib);
  const std::string Text(S.Bytes().begin(), S.Bytes().end());
  EXPECT_EQ(Text, "P2\n#Title: Sunset over sea\n#Author: Ann\n#Copyright: (c) Ann\n3 3\n255\n0 1 2 3 4 5 6 7 8 \n");
  const TRead R = ReadPmg(Bytes(Text));
  EXPECT_EQ(R.Reader->Title, "Sunset over sea");
  EXPECT_EQ(R.Reader->Author, "Ann");
  EXPECT_EQ(R.Reader->Rights, "(c) Ann");
}

TEST(PmgReader, SamplesAndLayouts) {
  // Big-endian words: 0xFF00 under 65535 is 254.
  TRead R = ReadPmg(Bytes(std::string("P6\n1 1\n65535\n") + std::string("\xFF\x00\x00\x00\x00\x10", 6)));
  EXPECT_EQ(R.Dib->GetPixelColor(0, 0), RGBColor(254, 0, 0));
  R = ReadPmg(Bytes("P2 2 1 15 15 7"));
  EXPECT_EQ(R.Dib->ScanLine(0)[0], 255);
  EXPECT_EQ(R.Dib->ScanLine(0)[1], 119);
  // The whole header on the magic line; plain bitmap digits need no blanks.
  R = ReadPmg(Bytes("P1 10 1\n1010101011"));
  EXPECT_EQ(R.Dib->ScanLine(0)[0], 0x55);
  EXPECT_EQ(R.Dib->ScanLine(0)[1], 0x00);
  R = ReadPmg(Bytes("P5\n2\n# title: Sunset\n1 9\n\x05\x09"));
  EXPECT_EQ(R.Reader->Title, "Sunset");
  EXPECT_EQ(R.Dib->ScanLine(0)[0], 5 * 255 / 9);
  // Plain samples above maxval count as maxval, however long.
  R = ReadPmg(Bytes("P2 1 1 100 99999999999999999999"));
  EXPECT_EQ(R.Dib->ScanLine(0)[0], 255);
}

TEST(PmgReader, HostileHeadersAndData) {
  const std::string Header = "Invalid PMG header";
  EXPECT_EQ(ErrorOf("P7\n1 1\n255\n\0"), Header);
  EXPECT_EQ(ErrorOf("P65 1 1 255 x"), Header);
  EXPECT_EQ(ErrorOf("P5\n0 1\n255\n\1"), "Invalid PGM header");
  EXPECT_EQ(ErrorOf("P5\n-1 1\n255\n\1"), "Invalid PGM header");
  EXPECT_EQ(ErrorOf("P5\n1 1\n0\n\1"), "Invalid PGM header");
  EXPECT_EQ(ErrorOf("P5\n1 1\n65536\n\1\1"), "Invalid PGM header");
  EXPECT_EQ(ErrorOf("P6\n99999999999 1\n255\n"), "Invalid PPM header");
  // Pixels the data cannot hold fail before the buffer is made.
  EXPECT_EQ(ErrorOf("P6\n60000 60000\n255\n\1\2\3"), "Stream read error in PPM file.");
  EXPECT_EQ(ErrorOf("P3\n60000 60000\n255\n1 2 3"), "Stream read error in PPM file.");
  EXPECT_EQ(ErrorOf("P4\n64 2\n12345678"), "Stream read error in PBM file.");
  // Endless comments and blanks end in a clean failure.
  EXPECT_EQ(ErrorOf("P5\n" + std::string(3 << 20, ' ') + "1 1 255 x"), "Invalid PGM header");
  std::string Comments = "P5\n";
  while (Comments.size() < (2u << 20))
    Comments += "# a comment line that goes on\n";
  EXPECT_EQ(ErrorOf(Comments + "1 1 255 x"), "Invalid PGM header");
  EXPECT_EQ(ErrorOf("P2 2 1 255 1 " + std::string(100, ' ')), "Stream read error in PGM file.");
  EXPECT_EQ(ErrorOf("P2 2 1 255 1 -5"), "Invalid PGM image format.");
  EXPECT_EQ(ErrorOf("P1 2 1 1 2"), "Invalid PBM image format.");
}

// Our files pass netpbm's checks and read back the same in netpbm and Pillow.
TEST(PmgExternal, OtherDecodersReadOurFiles) {
  const bool Pillow = HavePillow(), Netpbm = HaveCommand("pamfile") && HaveCommand("anytopnm");
  if (!Pillow && !Netpbm)
    GTEST_SKIP() << "neither python3-pil nor netpbm is installed";
  for (const TCase& C : Cases)
    for (bool Plain : {false, true}) {
      SCOPED_TRACE(testing::Message() << "format " << int(C.Pf) << " gray " << C.Gray << " plain " << Plain);
      const auto Src = PatternDib(37, 3, C.Pf, uint32_t(C.Pf), C.Gray);
      TTempFile File(".pnm");
      File.Write(WritePmg(*Src, Plain, "A title"));
      if (Netpbm) {
        EXPECT_EQ(std::system(("pamfile '" + File.Path().string() + "' >/dev/null 2>&1").c_str()), 0);
        EXPECT_EQ(FirstDifference(*Src, NetpbmDecode(File.Path())), "") << "netpbm";
      }
      if (Pillow) {
        EXPECT_EQ(FirstDifference(*Src, PillowDecode(File.Path())), "") << "Pillow";
      }
    }
  if (!Pillow || !Netpbm)
    GTEST_SKIP() << (Pillow ? "netpbm" : "python3-pil") << " not installed; checked with the other only";
}
