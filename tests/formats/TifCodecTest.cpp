#include <gtest/gtest.h>

#include <zlib.h>

#include "MemoryCodec.h"
#include "TifBuilder.h"
#include "XTif.h"

namespace {

using MemoryCodec::ErrorOf;
using MemoryCodec::ReadFrom;
using B = TTifBuilder;

// A gray ramp: pixel x of row y is x * 16 + y.
std::vector<uint8_t> Ramp(int32_t W, int32_t H) {
  std::vector<uint8_t> D(size_t(W) * size_t(H));
  for (int32_t Y = 0; Y < H; ++Y)
    for (int32_t X = 0; X < W; ++X)
      D[size_t(Y) * size_t(W) + size_t(X)] = uint8_t(X * 16 + Y);
  return D;
}

void ExpectRamp(const TDib& Dib, int32_t W, int32_t H) {
  ASSERT_EQ(Dib.Width(), W);
  ASSERT_EQ(Dib.Height(), H);
  for (int32_t Y = 0; Y < H; ++Y)
    for (int32_t X = 0; X < W; ++X)
      ASSERT_EQ(GetRValue(Dib.GetPixelColor(X, Y)), uint8_t(X * 16 + Y)) << X << "," << Y;
}

std::vector<uint8_t> Deflate(const std::vector<uint8_t>& In) {
  uLongf Size = compressBound(uLong(In.size()));
  std::vector<uint8_t> Out(Size);
  compress(Out.data(), &Size, In.data(), uLong(In.size()));
  Out.resize(Size);
  return Out;
}

TEST(TifCodec, BothByteOrdersAndShortOffsetsReadAlike) {
  const std::vector<uint8_t> Data = Ramp(8, 4);
  for (bool Big : {false, true}) {
    B F = B::Simple(8, 4, 8, 1, 1, Data, Big);
    F.Tag(273, B::Short, {8}).Tag(279, B::Short, {32});
    const auto R = ReadFrom<TTifReader>(F.Build());
    ExpectRamp(*R.Dib, 8, 4);
    EXPECT_EQ(R.Reader->FormatVariant(), Big ? "Tagged Image File (mac)" : "Tagged Image File (pc)");
  }
}

TEST(TifCodec, StripTablesAreTakenAsTheImageNeedsThem) {
  const std::vector<uint8_t> Data = Ramp(8, 5);
  // One strip without byte counts holds the whole uncompressed image.
  B NoCounts = B::Simple(8, 5, 8, 1, 1, Data);
  NoCounts.Remove(279);
  ExpectRamp(*ReadFrom<TTifReader>(NoCounts.Build()).Dib, 8, 5);
  // Two strips of 3 rows: the second is cut to the 2 rows left.
  B Two(false);
  const uint32_t A = Two.Add({Data.begin(), Data.begin() + 24}), C = Two.Add({Data.begin() + 24, Data.end()});
  Two.Tag(256, B::Long, {8}).Tag(257, B::Long, {5}).Tag(258, B::Short, {8}).Tag(262, B::Short, {1});
  Two.Tag(273, B::Long, {A, C}).Tag(278, B::Short, {3}).Tag(279, B::Long, {24, 16});
  ExpectRamp(*ReadFrom<TTifReader>(Two.Build()).Dib, 8, 5);
  // A strip missing from the tables leaves its rows blank. Coded rows, as
  // plain ones must all be there.
  std::vector<uint8_t> Packed;
  for (int32_t Y = 0; Y < 3; ++Y) {
    Packed.push_back(7);
    Packed.insert(Packed.end(), Data.begin() + 8 * Y, Data.begin() + 8 * Y + 8);
  }
  B Part(false);
  const uint32_t P = Part.Add(Packed);
  Part.Tag(256, B::Long, {8}).Tag(257, B::Long, {5}).Tag(258, B::Short, {8}).Tag(259, B::Short, {32773});
  Part.Tag(262, B::Short, {1}).Tag(273, B::Long, {P}).Tag(278, B::Short, {3});
  Part.Tag(279, B::Long, {uint32_t(Packed.size())});
  const auto R = ReadFrom<TTifReader>(Part.Build());
  EXPECT_EQ(GetRValue(R.Dib->GetPixelColor(1, 2)), 16 + 2);
  EXPECT_EQ(GetRValue(R.Dib->GetPixelColor(1, 3)), 0);
}

TEST(TifCodec, TilesArePlacedAndCutAtTheEdges) {
  constexpr int32_t W = 100, H = 100, T = 64;
  B F(false);
  std::vector<uint32_t> Offsets, Counts;
  for (int32_t Ty = 0; Ty < 2; ++Ty)
    for (int32_t Tx = 0; Tx < 2; ++Tx) {
      std::vector<uint8_t> Tile(size_t(T) * T, 0xEE);
      for (int32_t Y = 0; Y < T; ++Y)
        for (int32_t X = 0; X < T; ++X)
          if (Tx * T + X < W && Ty * T + Y < H)
            Tile[size_t(Y) * T + size_t(X)] = uint8_t((Tx * T + X) * 3 + (Ty * T + Y));
      const std::vector<uint8_t> Packed = Deflate(Tile);
      Offsets.push_back(F.Add(Packed));
      Counts.push_back(uint32_t(Packed.size()));
    }
  F.Tag(256, B::Short, {W}).Tag(257, B::Short, {H}).Tag(258, B::Short, {8}).Tag(259, B::Short, {8});
  F.Tag(262, B::Short, {1}).Tag(322, B::Short, {T}).Tag(323, B::Short, {T});
  F.Tag(324, B::Long, Offsets).Tag(325, B::Long, Counts);
  const auto R = ReadFrom<TTifReader>(F.Build());
  EXPECT_TRUE(R.Reader->Tiled);
  EXPECT_EQ(R.Reader->TilesAcross, 2);
  EXPECT_EQ(R.Reader->TilesDown, 2);
  for (int32_t Y = 0; Y < H; ++Y)
    for (int32_t X = 0; X < W; ++X)
      ASSERT_EQ(GetRValue(R.Dib->GetPixelColor(X, Y)), uint8_t(X * 3 + Y)) << X << "," << Y;
}

TEST(TifCodec, WhiteIsZeroAndResolutionInCentimetres) {
  B F = B::Simple(8, 1, 1, 1, 0, {0x0F});
  F.Tag(282, B::Rational, {118, 1}).Tag(296, B::Short, {3});
  const auto R = ReadFrom<TTifReader>(F.Build());
  EXPECT_EQ(R.Dib->GetPixelColor(0, 0), RGBColor(255, 255, 255));
  EXPECT_EQ(R.Dib->GetPixelColor(7, 0), RGBColor(0, 0, 0));
  EXPECT_EQ(R.Reader->Resolution, 300);
}

TEST(TifCodec, PredictorAddsSixteenBitSamplesInFileOrder) {
  // Samples 1000, 1300, 1200: differences 1000, 300, -100.
  for (bool Big : {false, true}) {
    std::vector<uint8_t> Diff;
    for (uint16_t V : {uint16_t(1000), uint16_t(300), uint16_t(65436)}) {
      const uint8_t Lo = uint8_t(V), Hi = uint8_t(V >> 8);
      Diff.insert(Diff.end(), Big ? std::initializer_list<uint8_t>{Hi, Lo} : std::initializer_list<uint8_t>{Lo, Hi});
    }
    B F = B::Simple(3, 1, 16, 1, 1, Deflate(Diff), Big, 8);
    F.Tag(317, B::Short, {2});
    const auto R = ReadFrom<TTifReader>(F.Build());
    EXPECT_EQ(GetRValue(R.Dib->GetPixelColor(0, 0)), 1000 * 255 / 65535);
    EXPECT_EQ(GetRValue(R.Dib->GetPixelColor(1, 0)), 1300 * 255 / 65535);
    EXPECT_EQ(GetRValue(R.Dib->GetPixelColor(2, 0)), 1200 * 255 / 65535);
  }
}

TEST(TifCodec, RefusedConfigurationsNameTheReason) {
  EXPECT_EQ(ErrorOf<TTifReader>(B::Simple(8, 1, 8, 1, 4, Ramp(8, 1)).Build()), "Unsupported TIFF image format.");
  EXPECT_EQ(ErrorOf<TTifReader>(B::Simple(8, 1, 32, 1, 1, std::vector<uint8_t>(32)).Build()),
            "Unsupported TIFF image format.");
  EXPECT_EQ(ErrorOf<TTifReader>(B::Simple(8, 1, 8, 1, 1, Ramp(8, 1), false, 34712).Build()),
            "Unsupported compression scheme in TIFF file.");
  // A JPEG strip that brings no tables of its own.
  B Jpeg = B::Simple(8, 8, 8, 3, 6, {0xFF, 0xD8, 0xFF, 0xD9}, false, 7);
  EXPECT_EQ(ErrorOf<TTifReader>(Jpeg.Build()), "Bogus JPEG tables field.");
  B Palette = B::Simple(8, 1, 8, 1, 3, Ramp(8, 1));
  EXPECT_EQ(ErrorOf<TTifReader>(Palette.Build()), "Invalid palette in TIFF file.");
}

// Sets the count of a tag's entry in a little-endian file.
void PatchCount(std::vector<uint8_t>& F, uint16_t Tag, uint32_t Count) {
  const uint32_t Dir = GetLE32(F.data() + 4);
  for (uint32_t I = 0; I < GetLE16(F.data() + Dir); ++I) {
    uint8_t* E = F.data() + Dir + 2 + 12 * I;
    if (GetLE16(E) == Tag)
      PutLE32(E + 4, Count);
  }
}

TEST(TifCodec, HostileDirectoriesFailFast) {
  const std::vector<uint8_t> Good = B::Simple(8, 4, 8, 1, 1, Ramp(8, 4)).Build();
  ASSERT_EQ(ErrorOf<TTifReader>(Good), "");
  const uint32_t Dir = GetLE32(Good.data() + 4);
  // More entries than the file holds.
  std::vector<uint8_t> F = Good;
  PutLE16(F.data() + Dir, 0xFFFF);
  EXPECT_EQ(ErrorOf<TTifReader>(F), "Invalid TIFF header");
  // Directory past the end of the file.
  F = Good;
  PutLE32(F.data() + 4, uint32_t(F.size() + 100));
  EXPECT_EQ(ErrorOf<TTifReader>(F), "Invalid TIFF header");
  // A bits-per-sample array whose values lie past the end.
  F = B::Simple(8, 4, 8, 3, 2, std::vector<uint8_t>(96)).Build();
  ASSERT_EQ(ErrorOf<TTifReader>(F), "");
  PatchCount(F, 258, 0x40000000);
  EXPECT_EQ(ErrorOf<TTifReader>(F), "Invalid TIFF header");
  // A strip that starts past the end of the file.
  B Gone = B::Simple(8, 4, 8, 1, 1, Ramp(8, 4));
  Gone.Tag(273, B::Long, {1u << 30});
  EXPECT_EQ(ErrorOf<TTifReader>(Gone.Build()), "Improper TIFF strip/tile size.");
  // Strips that claim far more data than the file holds and cannot expand to
  // the image.
  B Huge = B::Simple(60000, 60000, 8, 1, 1, Ramp(8, 4));
  EXPECT_EQ(ErrorOf<TTifReader>(Huge.Build()), "Improper TIFF strip/tile size.");
  B Packed = B::Simple(60000, 60000, 8, 1, 1, Ramp(8, 4), false, 32773);
  EXPECT_EQ(ErrorOf<TTifReader>(Packed.Build()), "Improper TIFF strip/tile size.");
}

} // namespace
