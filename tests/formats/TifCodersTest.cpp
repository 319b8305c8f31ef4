#include <gtest/gtest.h>

#include "TifStrips.h"
#include "XTifCoders.h"

namespace {

uint8_t Nibble(const std::vector<uint8_t>& Rows, int32_t RowBytes, int32_t X, int32_t Y) {
  const uint8_t B = Rows[size_t(Y) * size_t(RowBytes) + size_t(X / 2)];
  return X % 2 ? B & 15 : B >> 4;
}

std::vector<uint8_t> Row(std::initializer_list<uint8_t> Codes, const uint8_t*& P, bool& Complete, int32_t Width,
                         int32_t Planes, size_t Slack = 0) {
  static std::vector<uint8_t> In;
  In = Codes;
  P = In.data();
  std::vector<uint8_t> Out(size_t(Width * Planes) + Slack, 0xEE);
  Complete = LogLuvRleRow(P, In.data() + In.size(), std::span(Out).first(size_t(Width * Planes)), Width, Planes);
  return Out;
}

} // namespace

TEST(ThunderScan, DecodesEveryCode) {
  // Set 5; run of 2; deltas +1, -1 (and a field that adds nothing); 3-bit
  // deltas +3, -2; set 15 then +1 wraps to 0.
  const std::vector<uint8_t> In = {0xC5, 0x02, 0x40 | 0x1B, 0x80 | (3 << 3) | 6, 0xCF, 0x40 | 0x26};
  std::vector<uint8_t> Out(5, 0xFF);
  EXPECT_EQ(ThunderScanDecode(In, Out, 9, 5), 1);
  const uint8_t Want[] = {5, 5, 5, 6, 5, 8, 6, 15, 0, 0};
  for (int32_t X = 0; X < 10; ++X)
    EXPECT_EQ(Nibble(Out, 5, X, 0), Want[X]) << X;
}

TEST(ThunderScan, CutsRowsAndStopsAtTheBufferEnd) {
  // Width 3 with room for 4 pixels a row: a run of 40 stops at pixel 3 and
  // the next row starts over from pixel value 0 with the next byte.
  const std::vector<uint8_t> In = {0xC7, 40, 0xC1, 0xC2, 0xC3, 0xC9, 0xC9, 0xC9, 0xC9};
  std::vector<uint8_t> Out(2 * 2 + 1, 0xAA);
  EXPECT_EQ(ThunderScanDecode(In, std::span(Out).first(4), 3, 2), 2);
  EXPECT_EQ(Out, (std::vector<uint8_t>{0x77, 0x70, 0x12, 0x30, 0xAA}));
  // Input ending inside a row: that row is not counted, what it got stays.
  std::vector<uint8_t> Short(4);
  EXPECT_EQ(ThunderScanDecode(std::span(In).first(4), Short, 3, 2), 1);
  EXPECT_EQ(Short, (std::vector<uint8_t>{0x77, 0x70, 0x12, 0x00}));
  // A width the rows cannot hold decodes nothing.
  EXPECT_EQ(ThunderScanDecode(In, Out, 9, 2), 0);
}

TEST(ThunderScan, MatchesLibtiffOnTheCorpusPage) {
  const auto Root = CorpusReference::CorpusRoot();
  if (Root.empty() || !TgaPmgExternal::HavePillow() || !TgaPmgExternal::HaveCommand("tiffcp"))
    GTEST_SKIP() << "corpus, Pillow or tiffcp missing";
  const auto Name = Root / "image-tiff/tiff/libtiffpic/text.tif";
  const auto S = TifStrips::StripsOf(Name);
  ASSERT_EQ(S.Width, 1512);
  std::vector<uint8_t> Rows;
  for (size_t I = 0; I < S.Strips.size(); ++I) {
    const int32_t N = std::min(S.RowsPerStrip, S.Height - int32_t(I) * S.RowsPerStrip);
    std::vector<uint8_t> Part(size_t(N) * size_t(S.RowBytes));
    const int32_t Done = ThunderScanDecode(S.Strips[I], Part, S.Width, S.RowBytes);
    Rows.insert(Rows.end(), Part.begin(), Part.begin() + ptrdiff_t(Done) * S.RowBytes);
  }
  // The last strip holds 36 of its 39 rows; libtiff stops there too.
  EXPECT_EQ(Rows.size(), size_t(356) * size_t(S.RowBytes));
  // libtiff leaves a run that ends exactly at the row end unwritten, so its
  // buffer keeps the row before there; we fill the run. Elsewhere the
  // rows agree.
  const auto Ref = TifStrips::LibtiffRows(Name);
  ASSERT_EQ(Rows.size(), Ref.size());
  const size_t Rb = size_t(S.RowBytes);
  int32_t RunRows = 0;
  for (size_t Y = 0; Y < Rows.size() / Rb; ++Y) {
    const uint8_t *Ours = Rows.data() + Y * Rb, *Theirs = Ref.data() + Y * Rb;
    const size_t From = size_t(std::mismatch(Ours, Ours + Rb, Theirs).first - Ours);
    if (From == Rb)
      continue;
    ++RunRows;
    ASSERT_GT(Y, 0u);
    ASSERT_GT(From, 0u);
    EXPECT_TRUE(std::equal(Theirs + From, Theirs + Rb, Theirs - Rb + From)) << Y;
    const uint8_t Last = Nibble(Rows, S.RowBytes, int32_t(From * 2 - 1), int32_t(Y));
    for (int32_t X = int32_t(From * 2); X < S.Width; ++X)
      ASSERT_EQ(Nibble(Rows, S.RowBytes, X, int32_t(Y)), Last) << X << "," << Y;
  }
  EXPECT_GT(RunRows, 0);
}

TEST(LogLuvRle, MergesPlanesFromRunsAndLiterals) {
  const uint8_t* P;
  bool Complete;
  // Three pixels of two bytes: high plane a run of 3 x 0x11, low plane three
  // literals; the byte after the row stays unread.
  const auto Out = Row({130, 0x11, 3, 1, 2, 3, 0x99}, P, Complete, 3, 2, 1);
  EXPECT_TRUE(Complete);
  EXPECT_EQ(Out, (std::vector<uint8_t>{0x11, 1, 0x11, 2, 0x11, 3, 0xEE}));
  EXPECT_EQ(*P, 0x99);
}

TEST(LogLuvRle, CutsRunsAndLiteralsAtTheRowEnd) {
  const uint8_t* P;
  bool Complete;
  // A run of 129 and literals of 5 in a row of 2 pixels: both cut, and the
  // literals past the end are passed over.
  const auto Out = Row({255, 7, 5, 1, 2, 3, 4, 5, 0x99}, P, Complete, 2, 2, 2);
  EXPECT_TRUE(Complete);
  EXPECT_EQ(Out, (std::vector<uint8_t>{7, 1, 7, 2, 0xEE, 0xEE}));
  EXPECT_EQ(*P, 0x99);
}

TEST(LogLuvRle, TruncatedInputLeavesTheRestZero) {
  const uint8_t* P;
  bool Complete;
  // Four planes; the second ends inside a literal, a run lacks its value.
  auto Out = Row({130, 9, 2, 4}, P, Complete, 2, 4);
  EXPECT_FALSE(Complete);
  EXPECT_EQ(Out, (std::vector<uint8_t>{9, 4, 0, 0, 9, 0, 0, 0}));
  Out = Row({129}, P, Complete, 2, 4);
  EXPECT_FALSE(Complete);
  EXPECT_EQ(Out, std::vector<uint8_t>(8, 0));
  // Zero literals make no progress but are used up.
  Out = Row({0, 0, 0}, P, Complete, 1, 2);
  EXPECT_FALSE(Complete);
}
