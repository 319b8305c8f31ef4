#include <gtest/gtest.h>

#include <array>
#include <limits>
#include <random>

#include "BmpFiles.h"
#include "XBmp.h"
#include "XImageRead.h"

// Layouts name only the fields a case needs.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace {

struct TRead {
  std::unique_ptr<TBmpReader> Reader = std::make_unique<TBmpReader>();
  std::unique_ptr<TDib> Dib;
};

TRead ReadBmp(const std::vector<uint8_t>& File) {
  TRead R;
  TImageRead Read = ReadImageWith(*R.Reader, File);
  Read.ThrowFailure();
  R.Dib = std::move(Read.Dib);
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

// A 40-byte header with its red, green and blue masks, pixels bottom-up.
std::vector<uint8_t> BitFieldBmp(uint16_t Bits, std::array<uint32_t, 3> Masks, int32_t Width,
                                 const std::vector<uint32_t>& Pixels) {
  TBmpLayout S{.Width = Width, .Height = int32_t(Pixels.size()) / Width, .BitCount = Bits, .Compression = 3};
  for (uint32_t M : Masks)
    for (int I = 0; I < 4; ++I)
      S.Data.push_back(uint8_t(M >> (8 * I)));
  for (size_t I = 0; I < Pixels.size(); ++I) {
    for (int B = 0; B < Bits / 8; ++B)
      S.Data.push_back(uint8_t(Pixels[I] >> (8 * B)));
    if ((I + 1) % size_t(Width) == 0)
      while ((S.Data.size() - 12) % 4)
        S.Data.push_back(0);
  }
  auto File = MakeBmp(S);
  PutLE32(&File[10], 14 + 40 + 12);
  return File;
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
      for (int32_t W : {1, 3, 6, 13, 17}) {
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
  // Bit fields name another scheme for indexed pixels.
  EXPECT_EQ(ErrorOf(MakeBmp({.BitCount = 8, .Compression = 3, .Data = std::vector<uint8_t>(20)})),
            "Unsupported compression scheme in BMP file.");
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

  // A move whose offsets are cut off by the end of the data.
  TBmpLayout Delta{.Width = 4, .Height = 1, .BitCount = 8, .Compression = 1, .Data = {0, 2, 1}};
  EXPECT_EQ(ErrorOf(MakeBmp(Delta)), "Stream read error in BMP file.");
  // A literal and a pair cut off by the end of the data.
  TBmpLayout Cut{.Width = 8, .Height = 2, .BitCount = 8, .Compression = 1, .Data = {0, 6, 1, 2, 3}};
  EXPECT_EQ(ErrorOf(MakeBmp(Cut)), "Stream read error in BMP file.");
  TBmpLayout Odd{.Width = 8, .Height = 2, .BitCount = 4, .Compression = 2, .Data = {0, 9, 0x12, 0x34, 5}};
  EXPECT_EQ(ErrorOf(MakeBmp(Odd)), "Stream read error in BMP file.");
}

// Masks other than 5-5-5 and 8-8-8 decode into 24 bits: up to 8 bits scale
// to 0..255, wider channels keep their top 8 bits, alpha is ignored.
TEST(BmpBitFields, ScaledAndCutChannels) {
  TRead R = ReadBmp(BitFieldBmp(16, {0xF800, 0x07E0, 0x001F}, 3, {0xF800, 0x07E0, 0x8410}));
  EXPECT_EQ(R.Dib->PixelFormat(), pf24bit);
  EXPECT_EQ(R.Dib->GetPixelColor(0, 0), RGBColor(255, 0, 0));
  EXPECT_EQ(R.Dib->GetPixelColor(1, 0), RGBColor(0, 255, 0));
  EXPECT_EQ(R.Dib->GetPixelColor(2, 0), RGBColor(132, 130, 132));

  // 4-4-4 with the top nibble as alpha.
  R = ReadBmp(BitFieldBmp(16, {0x0F00, 0x00F0, 0x000F}, 1, {0xF123}));
  EXPECT_EQ(R.Dib->GetPixelColor(0, 0), RGBColor(0x11, 0x22, 0x33));

  // 10-10-10 and bottom-up rows.
  R = ReadBmp(BitFieldBmp(32, {0x3FF00000, 0x000FFC00, 0x000003FF}, 1, {0xFFF00003, (0x1FF << 10) | 0x003}));
  EXPECT_EQ(R.Dib->GetPixelColor(0, 1), RGBColor(255, 0, 0));
  EXPECT_EQ(R.Dib->GetPixelColor(0, 0), RGBColor(0, 127, 0));

  // Blue in the low byte, the other way round from the plain layout.
  R = ReadBmp(BitFieldBmp(32, {0x000000FF, 0x0000FF00, 0x00FF0000}, 1, {0x00332211}));
  EXPECT_EQ(R.Dib->GetPixelColor(0, 0), RGBColor(0x11, 0x22, 0x33));
}

TEST(BmpBitFields, PlainMasksKeepTheirFormats) {
  TRead R = ReadBmp(BitFieldBmp(16, {0x7C00, 0x03E0, 0x001F}, 1, {0x7C00}));
  EXPECT_EQ(R.Dib->PixelFormat(), pf16bit);
  EXPECT_EQ(R.Dib->GetPixelValue(0, 0), 0x7C00u);
  R = ReadBmp(BitFieldBmp(32, {0xFF0000, 0xFF00, 0xFF}, 1, {0x112233}));
  EXPECT_TRUE(R.Reader->Is32Bit);
  EXPECT_EQ(R.Dib->GetPixelColor(0, 0), RGBColor(0x11, 0x22, 0x33));
}

TEST(BmpBitFields, BadMasksFail) {
  const std::array<uint32_t, 3> Bad16[] = {
      {0, 0x03E0, 0x001F},       // empty
      {0xF800, 0x0FE0, 0x001F},  // overlapping
      {0xF00F, 0x0FF0, 0},       // not contiguous, and empty
      {0xF000, 0x0F00, 0x00F0F}, // not contiguous
      {0x1F0000, 0x07E0, 0x1F},  // outside 16 bits
  };
  for (const auto& M : Bad16)
    EXPECT_EQ(ErrorOf(BitFieldBmp(16, M, 1, {0})), "Invalid color scheme in BMP file.") << std::hex << M[0];
  EXPECT_EQ(ErrorOf(BitFieldBmp(32, {0xFF000000, 0xFF0000, 0xFF000000}, 1, {0})), "Invalid color scheme in BMP file.");
  // Masks that the data cannot hold.
  auto Short = BitFieldBmp(16, {0xF800, 0x07E0, 0x001F}, 1, {0});
  Short.resize(60);
  EXPECT_EQ(ErrorOf(Short), "Stream read error in BMP file.");
}

// Escape 0, 2, dx, dy moves right and on to later rows (up a bottom-up
// image); skipped pixels stay 0.
TEST(BmpRle, MovesInsideTheImage) {
  TBmpLayout S{.Width = 4, .Height = 3, .BitCount = 8, .Compression = 1};
  S.Data = {1, 5, 0, 2, 2, 1, 1, 7, 0, 1};
  TRead R = ReadBmp(MakeBmp(S));
  EXPECT_TRUE(R.Reader->Warning.empty());
  EXPECT_EQ(R.Dib->GetPixelValue(0, 2), 5u);
  EXPECT_EQ(R.Dib->GetPixelValue(3, 1), 7u);
  for (int X = 0; X < 3; ++X)
    EXPECT_EQ(R.Dib->GetPixelValue(X, 1), 0u);
  EXPECT_EQ(R.Dib->GetPixelValue(0, 0), 0u);

  TBmpLayout Four{.Width = 4, .Height = 2, .BitCount = 4, .Compression = 2};
  Four.Data = {2, 0x12, 0, 2, 1, 0, 1, 0x30, 0, 0, 0, 2, 0, 0, 0, 1};
  R = ReadBmp(MakeBmp(Four));
  const uint32_t Want[] = {1, 2, 0, 3};
  for (int X = 0; X < 4; ++X)
    EXPECT_EQ(R.Dib->GetPixelValue(X, 1), Want[X]) << X;
  EXPECT_TRUE(R.Reader->Warning.empty());
}

TEST(BmpRle, MovesPastTheEndStopThere) {
  // Down past the last row: the image ends with a warning.
  TBmpLayout Down{.Width = 4, .Height = 2, .BitCount = 8, .Compression = 1, .Data = {1, 5, 0, 2, 0, 5, 1, 9, 0, 1}};
  TRead R = ReadBmp(MakeBmp(Down));
  EXPECT_EQ(R.Reader->Warning, "Compression error found in BMP file.");
  EXPECT_EQ(R.Dib->GetPixelValue(0, 1), 5u);
  EXPECT_EQ(R.Dib->GetPixelValue(0, 0), 0u);
  // Right past the row: nothing lands in the next row.
  TBmpLayout Right{.Width = 4, .Height = 2, .BitCount = 8, .Compression = 1};
  Right.Data = {0, 2, 255, 0, 1, 9, 0, 0, 1, 3, 0, 1};
  R = ReadBmp(MakeBmp(Right));
  EXPECT_EQ(R.Reader->Warning, "Compression error found in BMP file.");
  EXPECT_EQ(R.Dib->GetPixelValue(0, 1), 0u);
  EXPECT_EQ(R.Dib->GetPixelValue(0, 0), 3u);
}

// A pixel offset onto the palette: the pixels follow the palette, and a last
// row without its padding is complete.
TEST(BmpReader, PixelOffsetInsidePalette) {
  TBmpLayout S{.Width = 2, .Height = 1, .BitCount = 8, .ColorsUsed = 2, .PaletteEntries = 2, .Data = {1, 0}};
  auto File = MakeBmp(S);
  PutLE32(&File[10], 54);
  const TRead R = ReadBmp(File);
  EXPECT_EQ(R.Dib->GetPaletteColor(1), RGBColor(1, 2, 3));
  EXPECT_EQ(R.Dib->GetPixelValue(0, 0), 1u);
  EXPECT_EQ(R.Dib->GetPixelValue(1, 0), 0u);
  EXPECT_TRUE(R.Reader->Warning.empty());
}
