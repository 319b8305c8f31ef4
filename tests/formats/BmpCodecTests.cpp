#include <gtest/gtest.h>

#include <limits>
#include <random>

#include "BmpFiles.h"
#include "XBmp.h"

// Layouts name only the fields a case needs.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace {

struct TRead {
  std::unique_ptr<TBmpReader> Reader = std::make_unique<TBmpReader>();
  std::unique_ptr<TDib> Dib;
};

TRead ReadBmp(const std::vector<uint8_t>& File) {
  TRead R;
  R.Reader->OpenMemory(File);
  R.Reader->CreateDib();
  R.Dib = R.Reader->TakeDib();
  R.Reader->Read();
  return R;
}

std::string ErrorOf(const std::vector<uint8_t>& File) {
  try {
    ReadBmp(File);
  } catch (const EInvalidGraphicOperation& E) {
    return E.what();
  }
  return "";
}

std::unique_ptr<TDib> RandomDib(int32_t W, int32_t H, TPixelFormat Pf, uint32_t Seed) {
  auto D = std::make_unique<TDib>(W, H, Pf);
  std::mt19937 Rng(Seed);
  for (int32_t I = 0; I < D->PaletteSize(); ++I)
    D->SetPaletteColor(I, Rng() & 0xFFFFFF);
  for (int32_t Y = 0; Y < H; ++Y)
    for (int32_t X = 0; X < W; ++X) {
      uint32_t V = Rng();
      if (Pf == pf15bit || Pf == pf16bit)
        V &= 0x7FFF;
      else if (Pf == pf24bit || Pf == pf32bit)
        V &= 0xFFFFFF;
      D->SetPixelValue(X, Y, V);
    }
  D->SetResolution(150);
  return D;
}

std::vector<uint8_t> WriteBmp(const TDib& Dib, bool Os2) {
  TMemoryStream S;
  TBmpWriter W;
  W.Os2Format = Os2;
  W.CreateStream(S);
  W.Write(Dib);
  EXPECT_TRUE(W.OK);
  EXPECT_EQ(W.FileSize, S.Size());
  return {S.Bytes().begin(), S.Bytes().end()};
}

} // namespace

// Every pixel format through the writer and back, both header kinds, widths
// that exercise each row padding.
TEST(BmpRoundTrip, EveryPixelFormatAndHeader) {
  for (TPixelFormat Pf : {pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit})
    for (bool Os2 : {false, true})
      for (int32_t W : {1, 3, 6, 13}) {
        SCOPED_TRACE(testing::Message() << "format " << int(Pf) << " os2 " << Os2 << " width " << W);
        const auto Src = RandomDib(W, 5, Pf, uint32_t(Pf * 100 + W));
        const TRead R = ReadBmp(WriteBmp(*Src, Os2));
        EXPECT_EQ(R.Reader->Os2Header, Os2);
        EXPECT_EQ(R.Dib->PixelFormat(), Pf == pf32bit ? pf24bit : Pf);
        EXPECT_EQ(R.Dib->Resolution(), Os2 ? 300 : 150);
        for (int32_t I = 0; I < Src->PaletteSize(); ++I)
          ASSERT_EQ(R.Dib->GetPaletteColor(I), Src->GetPaletteColor(I));
        for (int32_t Y = 0; Y < 5; ++Y)
          for (int32_t X = 0; X < W; ++X)
            ASSERT_EQ(R.Dib->GetPixelColor(X, Y), Src->GetPixelColor(X, Y)) << X << "," << Y;
      }
}

TEST(BmpWriter, HeaderFields) {
  const auto Dib = RandomDib(3, 2, pf8bit, 1);
  const auto Os2 = WriteBmp(*Dib, true);
  EXPECT_EQ(GetLE32(&Os2[10]), 14u + 12 + 768);
  EXPECT_EQ(Os2.size(), 794u + 8);
  const auto Win = WriteBmp(*RandomDib(3, 2, pf15bit, 1), false);
  EXPECT_EQ(GetLE16(&Win[28]), 15);
  EXPECT_EQ(GetLE32(&Win[10]), 54u);
  EXPECT_EQ(GetLE32(&Win[2]), Win.size());
}

TEST(BmpWriter, ShortWriteFailsAndClearsOK) {
  const auto Dib = RandomDib(64, 64, pf24bit, 2);
  TMemoryStream S;
  S.SetWriteLimit(1000);
  TBmpWriter W;
  W.CreateStream(S);
  try {
    W.Write(*Dib);
    FAIL() << "no error";
  } catch (const EInvalidGraphicOperation& E) {
    EXPECT_STREQ(E.what(), "File write error\nDisk full?");
  }
  EXPECT_FALSE(W.OK);
}

TEST(BmpReader, TopDownRowsAndThirtyTwoBits) {
  TBmpLayout S{.Width = 1, .Height = -2, .BitCount = 32};
  S.Data = {1, 2, 3, 99, 4, 5, 6, 99};
  const TRead R = ReadBmp(MakeBmp(S));
  EXPECT_FALSE(R.Reader->BottomUp);
  EXPECT_EQ(R.Dib->PixelFormat(), pf24bit);
  EXPECT_EQ(R.Dib->GetPixelColor(0, 0), RGBColor(3, 2, 1));
  EXPECT_EQ(R.Dib->GetPixelColor(0, 1), RGBColor(6, 5, 4));
}

TEST(BmpReader, ShortPaletteAndResolution) {
  // Two colors used in a 4-bit file too small to hold 16 entries.
  TBmpLayout S{.Width = 2, .Height = 1, .BitCount = 4, .ColorsUsed = 2, .PelsPerMetre = 0, .PaletteEntries = 2};
  S.Data = {0x10, 0, 0, 0};
  TBmpReader Reader;
  Reader.Resolution = 96;
  const auto File = MakeBmp(S);
  Reader.OpenMemory(File);
  Reader.Read();
  EXPECT_EQ(Reader.Dib->GetPixelColor(0, 0), RGBColor(1, 2, 3));
  EXPECT_EQ(Reader.Dib->GetPixelColor(1, 0), RGBColor(0, 0, 0));
  EXPECT_EQ(Reader.Dib->Resolution(), 96);
}

TEST(BmpReader, HostileHeaders) {
  EXPECT_EQ(ErrorOf({'B', 'M', 0, 0}), "Stream read error in BMP file.");
  EXPECT_EQ(ErrorOf(std::vector<uint8_t>(60, 0)), "invalid BMP file header");
  // Sizes the data cannot back fail before any allocation.
  EXPECT_EQ(ErrorOf(MakeBmp({.Width = 60000, .Height = 60000, .BitCount = 24, .Data = {1, 2, 3}})),
            "Stream read error in BMP file.");
  EXPECT_EQ(ErrorOf(MakeBmp({.Width = 30000, .Height = 30000, .BitCount = 8, .Compression = 1, .Data = {0, 1}})),
            "Invalid BMP image format.");
  EXPECT_EQ(ErrorOf(MakeBmp({.Height = std::numeric_limits<int32_t>::min()})), "Invalid BMP image format.");
  EXPECT_EQ(ErrorOf(MakeBmp({.Width = -4})), "Invalid BMP image format.");
  EXPECT_EQ(ErrorOf(MakeBmp({.Width = 0})), "Invalid BMP image format.");
  EXPECT_EQ(ErrorOf(MakeBmp({.BitCount = 2})), "Invalid BMP image format.");
  EXPECT_EQ(ErrorOf(MakeBmp({.BitCount = 24, .Compression = 1})), "Compression error found in BMP file.");
  EXPECT_EQ(ErrorOf(MakeBmp({.Compression = 4})), "Unsupported compression scheme in BMP file.");
  // 5-6-5 masks are not served; 5-5-5 masks are the plain layout.
  TBmpLayout Masks{.Width = 1,
                   .Height = 1,
                   .BitCount = 16,
                   .Compression = 3,
                   .Data = {0xE0, 0x07, 0, 0, 0x1F, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}};
  const uint8_t M565[] = {0x00, 0xF8, 0, 0, 0xE0, 0x07, 0, 0, 0x1F, 0, 0, 0};
  std::copy(std::begin(M565), std::end(M565), Masks.Data.begin());
  EXPECT_EQ(ErrorOf(MakeBmp(Masks)), "Unsupported compression scheme in BMP file.");
}

TEST(BmpReader, TruncatedPixelsKeepRowsReadAndFail) {
  TBmpLayout S{.Width = 4, .Height = 3, .BitCount = 8, .Data = {7, 7, 7, 7, 8}};
  TBmpReader Reader;
  const auto File = MakeBmp(S);
  Reader.OpenMemory(File);
  EXPECT_THROW(Reader.Read(), EInvalidGraphicOperation);
  EXPECT_EQ(Reader.Dib->GetPixelValue(0, 2), 7u);
  EXPECT_EQ(Reader.Dib->GetPixelValue(0, 1), 8u);
  EXPECT_EQ(Reader.Dib->GetPixelValue(1, 1), 0u);
}

// Run-length data: pairs of (count, value), escapes 0/0 end of line, 0/1 end
// of bitmap, 0/2 delta, 0/n literal.
TEST(BmpRle, EightBitRunsLiteralsAndPadding) {
  TBmpLayout S{.Width = 6, .Height = 2, .BitCount = 8, .Compression = 1};
  S.Data = {0, 3, 10, 11, 12, 0xEE, 3, 5, 0, 0, 6, 9, 0, 1};
  const TRead R = ReadBmp(MakeBmp(S));
  EXPECT_EQ(R.Reader->Compression, cmpRLE);
  const uint8_t Bottom[] = {10, 11, 12, 5, 5, 5};
  for (int X = 0; X < 6; ++X) {
    EXPECT_EQ(R.Dib->GetPixelValue(X, 1), Bottom[X]);
    EXPECT_EQ(R.Dib->GetPixelValue(X, 0), 9u);
  }
  EXPECT_TRUE(R.Reader->Warning.empty());
}

TEST(BmpRle, FourBitRunsAndOddLiteral) {
  TBmpLayout S{.Width = 8, .Height = 1, .BitCount = 4, .Compression = 2};
  S.Data = {0, 5, 0x12, 0x34, 0x50, 0xEE, 3, 0xAB, 0, 1};
  const TRead R = ReadBmp(MakeBmp(S));
  const uint32_t Want[] = {1, 2, 3, 4, 5, 0xA, 0xB, 0xA};
  for (int X = 0; X < 8; ++X)
    EXPECT_EQ(R.Dib->GetPixelValue(X, 0), Want[X]) << X;
}

TEST(BmpRle, StaysInsideRowAndData) {
  // A run past the row end is cut and warned about; the next row is intact.
  TBmpLayout Over{.Width = 4, .Height = 2, .BitCount = 8, .Compression = 1};
  Over.Data = {200, 1, 0, 0, 2, 3, 2, 4, 0, 1};
  TRead R = ReadBmp(MakeBmp(Over));
  EXPECT_EQ(R.Reader->Warning, "Compression error found in BMP file.");
  EXPECT_EQ(R.Dib->GetPixelValue(3, 1), 1u);
  EXPECT_EQ(R.Dib->GetPixelValue(3, 0), 4u);

  // A run into the row padding, as some writers make, is no fault.
  TBmpLayout Pad{.Width = 3, .Height = 1, .BitCount = 8, .Compression = 1, .Data = {4, 6, 0, 1}};
  R = ReadBmp(MakeBmp(Pad));
  EXPECT_TRUE(R.Reader->Warning.empty());
  EXPECT_EQ(R.Dib->GetPixelValue(2, 0), 6u);

  // End of bitmap leaves the rest 0 and reads nothing after it.
  TBmpLayout Eob{.Width = 4, .Height = 3, .BitCount = 4, .Compression = 2};
  Eob.Data = {4, 0x77, 0, 1, 4, 0x55};
  R = ReadBmp(MakeBmp(Eob));
  EXPECT_EQ(R.Dib->GetPixelValue(0, 2), 7u);
  EXPECT_EQ(R.Dib->GetPixelValue(0, 1), 0u);

  TBmpLayout Delta{.Width = 4, .Height = 1, .BitCount = 8, .Compression = 1, .Data = {0, 2, 1, 0, 0, 1}};
  EXPECT_EQ(ErrorOf(MakeBmp(Delta)), "Compression error found in BMP file.");
  // A literal and a pair cut off by the end of the data.
  TBmpLayout Cut{.Width = 8, .Height = 2, .BitCount = 8, .Compression = 1, .Data = {0, 6, 1, 2, 3}};
  EXPECT_EQ(ErrorOf(MakeBmp(Cut)), "Stream read error in BMP file.");
  TBmpLayout Odd{.Width = 8, .Height = 2, .BitCount = 4, .Compression = 2, .Data = {0, 9, 0x12, 0x34, 5}};
  EXPECT_EQ(ErrorOf(MakeBmp(Odd)), "Stream read error in BMP file.");
}
