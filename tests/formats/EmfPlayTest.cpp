#include <gtest/gtest.h>

#include <bit>
#include <initializer_list>
#include <string>
#include <vector>

#include "XMetaPlay.h"

namespace {

// Builds an enhanced metafile in memory: the header, records of 32-bit
// fields, the end record.
struct TEmfBuilder {
  std::vector<uint8_t> Bytes;

  void Long(uint32_t L) {
    for (int Shift = 0; Shift < 32; Shift += 8)
      Bytes.push_back(uint8_t(L >> Shift));
  }
  TEmfBuilder() {
    std::vector<int32_t> Header(20, 0);
    Header[8] = 0x464D4520;
    Rec(1, Header);
  }
  TEmfBuilder& Rec(uint32_t Type, const std::vector<int32_t>& Fields) {
    Long(Type);
    Long(uint32_t(8 + 4 * Fields.size()));
    for (int32_t F : Fields)
      Long(uint32_t(F));
    return *this;
  }
  // A record whose size field claims Size, whatever follows.
  TEmfBuilder& Claim(uint32_t Type, uint32_t Size) {
    Long(Type);
    Long(Size);
    return *this;
  }
  std::vector<uint8_t> Finish() {
    Rec(14, {0, 0, 16});
    return Bytes;
  }
};

int32_t F(float V) { return std::bit_cast<int32_t>(V); }
int32_t P16(int X, int Y) { return int32_t(uint16_t(int16_t(X)) | (uint32_t(uint16_t(int16_t(Y))) << 16)); }

constexpr uint32_t SetWindowExt = 9, SetWindowOrg = 10, SetViewportExt = 11, SetMapMode = 17, IntersectClip = 30,
                   ExcludeClip = 29, ScaleViewportExt = 31, SaveDC = 33, SetBkColor = 25, RestoreDC = 34,
                   SetWorldTransform = 35, SelectObject = 37, CreateBrush = 39, Rectangle = 43, BeginPath = 59,
                   EndPath = 60, FillPath = 62, ExtSelectClipRgn = 75, StretchDIBits = 81, ExtTextOutW = 84,
                   Polygon16 = 86, PolyPolygon = 8, GradientFill = 118;
constexpr int32_t NullPen = int32_t(0x80000008);
constexpr uint32_t Red = 0xFF0000, Blue = 0x0000FF, White = 0xFFFFFF;

// Slot 1 a red brush, slot 2 a blue one, red selected and no pen.
TEmfBuilder Painter() {
  TEmfBuilder B;
  B.Rec(CreateBrush, {1, 0, 0x0000FF, 0}).Rec(CreateBrush, {2, 0, 0xFF0000, 0});
  B.Rec(SelectObject, {1}).Rec(SelectObject, {NullPen});
  return B;
}

struct TPlayed {
  TMetaPlayResult Result;
  std::vector<uint32_t> Pixels;
  uint32_t At(int X, int Y) const { return Pixels[size_t(Y) * 40 + size_t(X)] & 0xFFFFFF; }
};

TPlayed Play(const std::vector<uint8_t>& File) {
  TMetaDC DC(40, 40);
  DC.SetDevice({0, 0}, 1, 1);
  DC.SetObjectCount(4);
  TPlayed Out{PlayEmf(File, DC), {}};
  for (int32_t Y = 0; Y < 40; ++Y)
    Out.Pixels.insert(Out.Pixels.end(), DC.SurfaceRow(Y), DC.SurfaceRow(Y) + 40);
  return Out;
}

// Each way of mapping must bring the drawn square onto pixels 10 to 29.
TEST(EmfPlay, MappingsPlaceTheRectangle) {
  struct TCase {
    const char* Name;
    std::vector<std::pair<uint32_t, std::vector<int32_t>>> Setup;
    std::vector<int32_t> Rect;
  };
  const TCase Cases[] = {
      {"device units", {}, {10, 10, 30, 30}},
      {"window origin", {{SetWindowOrg, {-10, -10}}}, {0, 0, 20, 20}},
      {"anisotropic halves",
       {{SetMapMode, {8}}, {SetWindowExt, {200, 200}}, {SetViewportExt, {100, 100}}},
       {20, 20, 60, 60}},
      {"scaled viewport",
       {{SetMapMode, {8}}, {SetWindowExt, {100, 100}}, {SetViewportExt, {100, 100}}, {ScaleViewportExt, {1, 2, 1, 2}}},
       {20, 20, 60, 60}},
      {"world transform", {{SetWorldTransform, {F(2), 0, 0, F(2), F(10), F(10)}}}, {0, 0, 10, 10}},
  };
  for (const TCase& C : Cases) {
    TEmfBuilder B = Painter();
    for (const auto& [Type, Fields] : C.Setup)
      B.Rec(Type, Fields);
    const TPlayed P = Play(B.Rec(Rectangle, C.Rect).Finish());
    EXPECT_FALSE(P.Result.Truncated) << C.Name;
    EXPECT_EQ(P.Result.Skipped, 0) << C.Name;
    EXPECT_EQ(P.At(11, 11), Red) << C.Name;
    EXPECT_EQ(P.At(28, 28), Red) << C.Name;
    EXPECT_EQ(P.At(8, 8), White) << C.Name;
    EXPECT_EQ(P.At(31, 31), White) << C.Name;
  }
}

TEST(EmfPlay, PathOfShortPointsIsFilled) {
  TEmfBuilder B = Painter();
  B.Rec(BeginPath, {}).Rec(Polygon16, {0, 0, 0, 0, 4, P16(10, 10), P16(30, 10), P16(30, 30), P16(10, 30)});
  const TPlayed P = Play(B.Rec(EndPath, {}).Rec(FillPath, {0, 0, 0, 0}).Finish());
  EXPECT_EQ(P.At(20, 20), Red);
  EXPECT_EQ(P.At(5, 20), White);
}

TEST(EmfPlay, ClipRectanglesAndSavedStates) {
  // Inside the saved state the brush turns blue and the clip shrinks;
  // restoring brings back both.
  TEmfBuilder B = Painter();
  B.Rec(SaveDC, {}).Rec(SelectObject, {2}).Rec(IntersectClip, {0, 0, 5, 5}).Rec(RestoreDC, {-1});
  B.Rec(IntersectClip, {0, 0, 20, 40}).Rec(ExcludeClip, {10, 10, 15, 15}).Rec(Rectangle, {0, 0, 40, 40});
  const TPlayed P = Play(B.Finish());
  EXPECT_EQ(P.At(2, 30), Red);
  EXPECT_EQ(P.At(18, 18), Red);
  EXPECT_EQ(P.At(12, 12), White);
  EXPECT_EQ(P.At(25, 5), White);
}

TEST(EmfPlay, DeviceRegionClipsAndEmptyDataResets) {
  // Data size and mode, then the region: header (size, type, count, bytes,
  // bounds) and one rectangle.
  const std::vector<int32_t> Region = {48, 5, 32, 1, 1, 16, 0, 0, 20, 40, 0, 0, 20, 40};
  TEmfBuilder B = Painter();
  B.Rec(ExtSelectClipRgn, Region).Rec(Rectangle, {0, 0, 40, 20});
  B.Rec(ExtSelectClipRgn, {0, 5}).Rec(Rectangle, {0, 20, 40, 40});
  const TPlayed P = Play(B.Finish());
  EXPECT_EQ(P.At(10, 5), Red);
  EXPECT_EQ(P.At(30, 5), White);
  EXPECT_EQ(P.At(30, 30), Red);
}

TEST(EmfPlay, OpaqueTextWithoutCharactersFillsItsRectangle) {
  TEmfBuilder B;
  B.Rec(SetBkColor, {0xFF0000});
  B.Rec(ExtTextOutW, {0, 0, 0, 0, 1, 0, 0, 10, 10, 0, 0, 2, 10, 10, 30, 30, 0});
  const TPlayed P = Play(B.Finish());
  EXPECT_EQ(P.Result.Skipped, 0);
  EXPECT_EQ(P.At(20, 20), Blue);
  EXPECT_EQ(P.At(5, 5), White);
}

TEST(EmfPlay, BottomUpBitmapRowsCountFromTheBottom) {
  // A 1 x 2 bitmap of 24 bits, its bottom row blue and top row red; the
  // source's y counts rows from the bottom.
  struct TCase {
    int32_t SourceY, SourceH;
    uint32_t Top, Bottom;
  } const Cases[] = {{0, 2, Red, Blue}, {0, 1, Blue, Blue}, {1, 1, Red, Red}};
  for (const TCase& C : Cases) {
    TEmfBuilder B;
    const int32_t Record = 80, Info = 40, Bits = 8;
    B.Rec(StretchDIBits,
          {0, 0, 0, 0, 0, 0, 0, C.SourceY, 1, C.SourceH, Record, Info, Record + Info, Bits, 0, 0xCC0020, 40, 40,
           // Header: size, width, height, planes and bits, no compression.
           40, 1, 2, 1 | (24 << 16), 0, Bits, 0, 0, 0, 0,
           // Rows of 3 bytes padded to 4, blue-green-red.
           0x0000FF, 0xFF0000});
    const TPlayed P = Play(B.Finish());
    EXPECT_EQ(P.Result.Skipped, 0);
    EXPECT_EQ(P.At(20, 5), C.Top) << C.SourceY << " " << C.SourceH;
    EXPECT_EQ(P.At(20, 35), C.Bottom) << C.SourceY << " " << C.SourceH;
  }
}

TEST(EmfPlay, HorizontalGradientRunsFromLeftToRight) {
  TEmfBuilder B;
  // Two vertices (point, red and green, blue and alpha), one rectangle.
  B.Rec(GradientFill, {0, 0, 0, 0, 2, 1, 0, 0, 0, 0xFF00, 0, 40, 40, 0, 0xFF00, 0, 1});
  const TPlayed P = Play(B.Finish());
  EXPECT_GT(P.At(1, 20) >> 16, 0xE0u);
  EXPECT_LT(P.At(1, 20) & 0xFF, 0x20u);
  EXPECT_GT(P.At(38, 20) & 0xFF, 0xE0u);
}

// Broken records are skipped or end the walk, never read past their size.
TEST(EmfPlay, HostileRecordsSkipOrStop) {
  struct TCase {
    const char* Name;
    std::vector<uint8_t> File;
    int32_t Skipped;
    bool Truncated;
  };
  const std::vector<int32_t> Big = {0, 0, 0, 0, 1000000, 1, 2};
  const TCase Cases[] = {
      {"object index out of range", TEmfBuilder().Rec(SelectObject, {100000}).Finish(), 1, false},
      {"stock index unknown", TEmfBuilder().Rec(SelectObject, {int32_t(0x80000063)}).Finish(), 1, false},
      {"record too short", TEmfBuilder().Rec(Rectangle, {1, 2}).Finish(), 1, false},
      {"point count past the record", TEmfBuilder().Rec(Polygon16, Big).Finish(), 1, false},
      {"polygon sizes past the points", TEmfBuilder().Rec(PolyPolygon, {0, 0, 0, 0, 1, 2, 5, 0, 0, 10, 10}).Finish(), 1,
       false},
      {"text past the record",
       TEmfBuilder().Rec(ExtTextOutW, {0, 0, 0, 0, 1, 0, 0, 5, 5, 100, 72, 0, 0, 0, 0, 0, 0}).Finish(), 1, false},
      {"bitmap block outside the record",
       TEmfBuilder().Rec(StretchDIBits, {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 70, 40, 0, 0, 0, 0xCC0020, 4, 4}).Finish(), 1,
       false},
      {"unknown record", TEmfBuilder().Rec(9999, {1, 2, 3}).Finish(), 1, false},
      {"size past the end", TEmfBuilder().Claim(Rectangle, 4000).Bytes, 0, true},
      {"size below the header", TEmfBuilder().Claim(Rectangle, 4).Finish(), 0, true},
      {"size not a multiple of 4", TEmfBuilder().Claim(Rectangle, 10).Finish(), 0, true},
      {"no end record", TEmfBuilder().Rec(Rectangle, {0, 0, 5, 5}).Bytes, 0, true},
  };
  for (const TCase& C : Cases) {
    const TPlayed P = Play(C.File);
    EXPECT_EQ(P.Result.Skipped, C.Skipped) << C.Name;
    EXPECT_EQ(P.Result.Truncated, C.Truncated) << C.Name;
  }
}

TEST(EmfPlay, EndRecordStopsTheWalk) {
  std::vector<uint8_t> File = Painter().Finish();
  const std::vector<uint8_t> After = TEmfBuilder().Rec(Rectangle, {0, 0, 40, 40}).Finish();
  File.insert(File.end(), After.begin(), After.end());
  const TPlayed P = Play(File);
  EXPECT_EQ(P.Result.Played, 6);
  EXPECT_EQ(P.At(20, 20), White);
}

TEST(EmfPlay, Utf16BecomesUtf8) {
  struct TCase {
    std::vector<uint16_t> Units;
    std::string Utf8;
  };
  const TCase Cases[] = {
      {{'A', 0xE9, 0x20AC}, "A\xC3\xA9\xE2\x82\xAC"},
      {{0xD83D, 0xDE00}, "\xF0\x9F\x98\x80"},
      {{0xD83D, 'x'}, "\xEF\xBF\xBDx"},
      {{0xDE00, 'x'}, "\xEF\xBF\xBDx"},
      {{'a', 0xD83D}, "a\xEF\xBF\xBD"},
      {{'a', 0, 'b'}, "ab"},
  };
  for (const TCase& C : Cases) {
    std::vector<uint8_t> Bytes;
    for (uint16_t U : C.Units)
      Bytes.insert(Bytes.end(), {uint8_t(U), uint8_t(U >> 8)});
    EXPECT_EQ(Utf16ToUtf8(Bytes), C.Utf8);
    Bytes.push_back('z');
    EXPECT_EQ(Utf16ToUtf8(Bytes), C.Utf8) << "odd byte";
  }
}

} // namespace
