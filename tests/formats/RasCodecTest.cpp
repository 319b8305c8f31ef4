#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <optional>

#include "MemoryCodec.h"
#include "TgaPmgExternal.h"
#include "XRas.h"

using namespace TgaPmgExternal;

namespace {

struct TRasLayout {
  uint32_t Magic = 0x59A66A95;
  uint32_t Width = 2, Height = 2, Depth = 8;
  // Unset: the plain data's size.
  std::optional<uint32_t> Length = {};
  uint32_t Type = 1, MapType = 0;
  std::vector<uint8_t> Map = {};
  std::vector<uint8_t> Data = {};
};

std::vector<uint8_t> MakeRas(const TRasLayout& L) {
  std::vector<uint8_t> F(32);
  const uint32_t Fields[] = {L.Magic,
                             L.Width,
                             L.Height,
                             L.Depth,
                             L.Length.value_or(uint32_t(L.Data.size())),
                             L.Type,
                             L.MapType,
                             uint32_t(L.Map.size())};
  for (size_t I = 0; I < 8; ++I)
    PutBE32(&F[4 * I], Fields[I]);
  // Sized once and copied: GCC's -O3 array-bounds check misreads two inserts.
  const size_t Header = F.size();
  F.resize(Header + L.Map.size() + L.Data.size());
  std::copy(L.Map.begin(), L.Map.end(), F.begin() + std::ptrdiff_t(Header));
  std::copy(L.Data.begin(), L.Data.end(), F.begin() + std::ptrdiff_t(Header + L.Map.size()));
  return F;
}

using TRead = MemoryCodec::TRead<TRasReader>;

TRead ReadRas(const std::vector<uint8_t>& File) { return MemoryCodec::ReadFrom<TRasReader>(File); }
std::string ErrorOf(const std::vector<uint8_t>& File) { return MemoryCodec::ErrorOf<TRasReader>(File); }

std::vector<uint8_t> WriteRas(const TDib& Dib) { return MemoryCodec::WriteTo<TRasWriter>(Dib); }

std::vector<uint8_t> RowOf(const TDib& Dib, int32_t Y, size_t N) { return {Dib.ScanLine(Y), Dib.ScanLine(Y) + N}; }

const TPixelFormat AllFormats[] = {pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit};

// Only black and white 1-bit images stay 1-bit.
constexpr TPixelFormat ReadBackFormat(TPixelFormat Pf, bool Gray) {
  return Pf == pf4bit || (Pf == pf1bit && !Gray) ? pf8bit : Pf == pf15bit || Pf == pf16bit ? pf24bit : Pf;
}

} // namespace

// Every pixel format, gray and colored, with widths that leave odd rows to
// pad and 1-bit rows with spare bits.
TEST(RasRoundTrip, EveryPixelFormat) {
  for (TPixelFormat Pf : AllFormats)
    for (bool Gray : {false, true})
      for (int32_t W : {1, 2, 3, 7, 300}) {
        if (Gray && PaletteSizeOf(Pf) == 0)
          continue;
        SCOPED_TRACE(testing::Message() << "format " << int(Pf) << " gray " << Gray << " w " << W);
        const auto Src = PatternDib(W, 4, Pf, uint32_t(Pf * 10 + W), Gray);
        const TRead R = ReadRas(WriteRas(*Src));
        EXPECT_EQ(R.Dib->PixelFormat(), ReadBackFormat(Pf, Gray));
        EXPECT_EQ(R.Reader->Compression, cmpNone);
        EXPECT_EQ(R.Reader->Warning, "");
        for (int32_t Y = 0; Y < 4; ++Y)
          for (int32_t X = 0; X < W; ++X)
            ASSERT_EQ(R.Dib->GetPixelColor(X, Y), Src->GetPixelColor(X, Y)) << X << "," << Y;
      }
}

TEST(RasWriter, ShortWriteFails) {
  const auto Dib = PatternDib(64, 64, pf24bit, 3);
  TMemoryStream Small;
  Small.SetWriteLimit(1000);
  TRasWriter W;
  W.CreateStream(Small);
  try {
    W.Write(*Dib);
    FAIL() << "no error";
  } catch (const EInvalidGraphicOperation& E) {
    EXPECT_STREQ(E.what(), "File write error\nDisk full?");
  }
  EXPECT_FALSE(W.OK);
}

TEST(RasReader, ByteEncodedEscapesAndRunsAcrossRows) {
  // 0x80 0x00 is one 0x80; 0x80 n v is n + 1 bytes v. Rows of 3 pixels take
  // a padding byte, which the stream fills like any other.
  TRasLayout L{.Width = 3, .Height = 3, .Type = 2};
  L.Data = {0x80, 0x00, 7, 0x80, 0x04, 0x11, 2, 3, 0x80, 0x01, 0x22, 0};
  const TRead R = ReadRas(MakeRas(L));
  EXPECT_EQ(R.Reader->Compression, cmpRLE);
  EXPECT_EQ(R.Reader->Warning, "");
  EXPECT_EQ(RowOf(*R.Dib, 0, 4), (std::vector<uint8_t>{0x80, 7, 0x11, 0}));
  EXPECT_EQ(RowOf(*R.Dib, 1, 3), (std::vector<uint8_t>{0x11, 0x11, 0x11}));
  EXPECT_EQ(RowOf(*R.Dib, 2, 3), (std::vector<uint8_t>{3, 0x22, 0x22}));
}

TEST(RasReader, ByteEncodedDataThatOverrunsOrEndsEarly) {
  TRasLayout L{.Width = 2, .Height = 2, .Type = 2, .Data = {0x80, 0x09, 5}};
  TRead R = ReadRas(MakeRas(L));
  EXPECT_EQ(R.Reader->Warning, "Compression error found in RAS file.");
  EXPECT_EQ(RowOf(*R.Dib, 1, 2), (std::vector<uint8_t>{5, 5}));

  // The last row's pixels are enough; its padding may be missing.
  L = {.Width = 3, .Height = 2, .Type = 2, .Data = {0x80, 0x05, 5, 6}};
  R = ReadRas(MakeRas(L));
  EXPECT_EQ(R.Reader->Warning, "");
  EXPECT_EQ(RowOf(*R.Dib, 1, 4), (std::vector<uint8_t>{5, 5, 6, 0}));

  const std::string Short = "Stream read error in RAS file.";
  L.Data = {0x80, 0x04, 5, 6};
  EXPECT_EQ(ErrorOf(MakeRas(L)), Short);
  // Escapes cut by the end of the data.
  L.Data = {0x80, 0x04, 5, 0x80};
  EXPECT_EQ(ErrorOf(MakeRas(L)), Short);
  L.Data = {0x80, 0x04, 5, 0x80, 0x03};
  EXPECT_EQ(ErrorOf(MakeRas(L)), Short);
}

TEST(RasReader, ClaimsBeyondTheDataFailBeforeAllocating) {
  const std::string Short = "Stream read error in RAS file.";
  TRasLayout Big{.Width = 2000000000, .Height = 2000000000, .Depth = 24, .Data = std::vector<uint8_t>(100, 0)};
  EXPECT_EQ(ErrorOf(MakeRas(Big)), Short);
  Big.Type = 2;
  EXPECT_EQ(ErrorOf(MakeRas(Big)), Short);

  // 100 runs of 256 bytes are 100 rows of 256 gray pixels and no more.
  TRasLayout Rle{.Width = 256, .Height = 100, .Type = 2};
  for (int I = 0; I < 100; ++I)
    Rle.Data.insert(Rle.Data.end(), {0x80, 0xFF, uint8_t(I)});
  EXPECT_EQ(ErrorOf(MakeRas(Rle)), "");
  Rle.Height = 101;
  EXPECT_EQ(ErrorOf(MakeRas(Rle)), Short);

  // Plain rows need every byte but the last row's padding.
  TRasLayout Plain{.Width = 3, .Height = 2, .Data = {1, 2, 3, 0, 4, 5, 6}};
  EXPECT_EQ(ErrorOf(MakeRas(Plain)), "");
  Plain.Data.pop_back();
  EXPECT_EQ(ErrorOf(MakeRas(Plain)), Short);
}

TEST(RasReader, BadHeaders) {
  const std::string Bad = "Invalid RAS header";
  const TRasLayout Good{.Data = std::vector<uint8_t>(4, 0)};
  EXPECT_EQ(ErrorOf(MakeRas(Good)), "");
  auto With = [&](auto Change) {
    TRasLayout L = Good;
    Change(L);
    return ErrorOf(MakeRas(L));
  };
  EXPECT_EQ(With([](TRasLayout& L) { L.Magic = 0x956AA659; }), Bad);
  EXPECT_EQ(With([](TRasLayout& L) { L.Width = 0; }), Bad);
  EXPECT_EQ(With([](TRasLayout& L) { L.Height = 0; }), Bad);
  EXPECT_EQ(With([](TRasLayout& L) { L.Width = 0x80000000u; }), Bad);
  for (uint32_t Depth : {0u, 2u, 16u, 48u})
    EXPECT_EQ(With([&](TRasLayout& L) { L.Depth = Depth; }), Bad) << Depth;
  for (uint32_t Type : {4u, 5u, 0xFFFFu})
    EXPECT_EQ(With([&](TRasLayout& L) { L.Type = Type; }), "Invalid compression scheme in RAS file.") << Type;
  EXPECT_EQ(With([](TRasLayout& L) { L.Data.clear(); }), Bad) << "no data";
  // A map that reaches the end of the file leaves no data.
  EXPECT_EQ(With([](TRasLayout& L) {
              L.Map.assign(4, 0);
              L.Data.clear();
            }),
            Bad);
  std::vector<uint8_t> Cut = MakeRas(Good);
  Cut.resize(31);
  EXPECT_EQ(ErrorOf(Cut), Bad);
}

TEST(RasReader, OneBitFilesWithoutMapShowOneAsBlack) {
  TRasLayout L{.Width = 3, .Height = 1, .Depth = 1, .Data = {0xA0, 0x00}};
  TRead R = ReadRas(MakeRas(L));
  EXPECT_TRUE(R.Reader->IsGray);
  EXPECT_EQ(R.Dib->GetPixelColor(0, 0), RGBColor(0, 0, 0));
  EXPECT_EQ(R.Dib->GetPixelColor(1, 0), RGBColor(255, 255, 255));
  EXPECT_EQ(R.Dib->GetPixelColor(2, 0), RGBColor(0, 0, 0));

  // With a map the bits index it.
  L.Map = {1, 2, 3, 4, 5, 6};
  R = ReadRas(MakeRas(L));
  EXPECT_FALSE(R.Reader->IsGray);
  EXPECT_EQ(R.Dib->GetPixelColor(0, 0), RGBColor(2, 4, 6));
  EXPECT_EQ(R.Dib->GetPixelColor(1, 0), RGBColor(1, 3, 5));
}

TEST(RasReader, ColorMapsArePlanesAndLongOnesGiveTheirFirstEntries) {
  TRasLayout L{.Width = 2, .Height = 1, .Map = {10, 11, 20, 21, 30, 31}, .Data = {1, 0}};
  TRead R = ReadRas(MakeRas(L));
  EXPECT_EQ(R.Reader->PaletteSize, 2);
  EXPECT_EQ(R.Dib->GetPixelColor(0, 0), RGBColor(11, 21, 31));
  EXPECT_EQ(R.Dib->GetPixelColor(1, 0), RGBColor(10, 20, 30));

  // 300 entries per plane: the buffer keeps 256.
  L.Map.assign(900, 0);
  for (int I = 0; I < 300; ++I) {
    L.Map[size_t(I)] = uint8_t(I);
    L.Map[size_t(300 + I)] = uint8_t(I + 1);
    L.Map[size_t(600 + I)] = uint8_t(I + 2);
  }
  L.Data = {255, 0};
  R = ReadRas(MakeRas(L));
  EXPECT_EQ(R.Reader->PaletteSize, 256);
  EXPECT_EQ(R.Dib->GetPixelColor(0, 0), RGBColor(255, 0, 1));

  // 4-bit pixels index a 16-entry map; a map beside 24-bit pixels is skipped.
  L = {.Width = 3, .Height = 1, .Depth = 4, .Map = std::vector<uint8_t>(48, 0), .Data = {0x12, 0x30}};
  L.Map[3] = 200;
  R = ReadRas(MakeRas(L));
  EXPECT_EQ(R.Dib->PixelFormat(), pf4bit);
  EXPECT_EQ(R.Dib->GetPixelColor(2, 0), RGBColor(200, 0, 0));
  L = {.Width = 1, .Height = 1, .Depth = 24, .Map = {9, 9, 9}, .Data = {1, 2, 3, 0}};
  R = ReadRas(MakeRas(L));
  EXPECT_EQ(R.Dib->GetPixelColor(0, 0), RGBColor(3, 2, 1));
}

TEST(RasReader, TrueColorOrdersAndRowLengths) {
  // Blue first, red first (type 3), and 32 bits whose fourth byte is padding.
  TRasLayout L{.Width = 1, .Height = 1, .Depth = 24, .Data = {1, 2, 3, 0}};
  EXPECT_EQ(ReadRas(MakeRas(L)).Dib->GetPixelColor(0, 0), RGBColor(3, 2, 1));
  L.Type = 3;
  EXPECT_EQ(ReadRas(MakeRas(L)).Dib->GetPixelColor(0, 0), RGBColor(1, 2, 3));
  L = {.Width = 1, .Height = 1, .Depth = 32, .Data = {1, 2, 3, 4}};
  TRead R = ReadRas(MakeRas(L));
  EXPECT_EQ(R.Dib->PixelFormat(), pf32bit);
  EXPECT_FALSE(R.Reader->HasAlpha);
  EXPECT_EQ(R.Dib->GetPixelValue(0, 0), RGBColor(3, 2, 1));
  L.Type = 3;
  EXPECT_EQ(ReadRas(MakeRas(L)).Dib->GetPixelValue(0, 0), RGBColor(1, 2, 3));

  // 24-bit rows of 3 x width + 2 bytes, as the data length says.
  L = {.Width = 4, .Height = 2, .Depth = 24};
  for (uint8_t Y = 0; Y < 2; ++Y)
    for (uint8_t I = 0; I < 14; ++I)
      L.Data.push_back(uint8_t(Y * 100 + I));
  R = ReadRas(MakeRas(L));
  EXPECT_EQ(R.Reader->RowBytes, 14);
  EXPECT_EQ(R.Dib->GetPixelColor(0, 1), RGBColor(102, 101, 100));
  // Unpadded odd rows, as the data length says; padded when it says nothing.
  L = {.Width = 1, .Height = 2, .Depth = 24, .Data = {1, 2, 3, 4, 5, 6}};
  EXPECT_EQ(ReadRas(MakeRas(L)).Dib->GetPixelColor(0, 1), RGBColor(6, 5, 4));
  L.Length = 0;
  L.Data = {1, 2, 3, 0, 4, 5, 6, 0};
  EXPECT_EQ(ReadRas(MakeRas(L)).Dib->GetPixelColor(0, 1), RGBColor(6, 5, 4));
  // A byte-encoded length counts encoded bytes and says nothing of rows.
  L = {.Width = 1, .Height = 2, .Depth = 24, .Type = 2, .Data = {1, 2, 3, 9, 4, 5, 6}};
  EXPECT_EQ(ReadRas(MakeRas(L)).Dib->GetPixelColor(0, 1), RGBColor(6, 5, 4));
}

// Our files read back the same in a decoder that shares no code with ours.
TEST(RasExternal, PillowReadsOurFiles) {
  if (!HavePillow())
    GTEST_SKIP() << "python3-pil not installed";
  for (TPixelFormat Pf : AllFormats)
    for (bool Gray : {false, true}) {
      if (Gray && PaletteSizeOf(Pf) == 0)
        continue;
      SCOPED_TRACE(testing::Message() << "format " << int(Pf) << " gray " << Gray);
      const auto Src = PatternDib(131, 3, Pf, uint32_t(Pf), Gray);
      TTempFile File(".ras");
      File.Write(WriteRas(*Src));
      EXPECT_EQ(FirstDifference(*Src, PillowDecode(File.Path())), "");
    }
}
