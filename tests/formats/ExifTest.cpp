#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "ExifTestUtil.h"
#include "JpgTestUtil.h"
#include "XImageRead.h"

namespace {

using namespace ExifTest;

constexpr uint16_t Orientation = OrientationTag;

// Offsets of the first directory's fields in a Segment() result.
constexpr size_t IfdLink = 6 + 4, IfdCount = 6 + 8;

TEST(ExifOrientation, ReadsTheFirstDirectoryInEitherByteOrder) {
  struct TCase {
    const char* Name;
    std::vector<uint8_t> Data;
    uint16_t Expected;
  };
  const TEntry Width{256, Short, 1, 640}, Make{271, 2, 6, 0};
  const TCase Cases[] = {
      {"little-endian", Segment(false, {{Orientation, Short, 1, 6}}), 6},
      {"big-endian", Segment(true, {{Orientation, Short, 1, 3}}), 3},
      {"after other tags", Segment(true, {Width, Make, {Orientation, Short, 1, 8}}), 8},
      {"directory further on", Segment(false, {{Orientation, Short, 1, 5}}, 40), 5},
      {"upright", Segment(false, {{Orientation, Short, 1, 1}}), 1},
      {"no tag", Segment(false, {Width, Make}), 0},
      {"empty directory", Segment(false, {}), 0},
      {"value 0", Segment(false, {{Orientation, Short, 1, 0}}), 0},
      {"value 9", Segment(true, {{Orientation, Short, 1, 9}}), 0},
      {"stored as a long", Segment(false, {{Orientation, Long, 1, 6}}), 0},
      {"count 0", Segment(false, {{Orientation, Short, 0, 6}}), 0},
      // Only the first of two tags counts.
      {"twice", Segment(false, {{Orientation, Short, 1, 7}, {Orientation, Short, 1, 2}}), 7},
      // The next link is never followed, so a loop costs nothing.
      {"linked to itself", Segment(false, {{Orientation, Short, 1, 6}}, 8, 8), 6},
      {"linked to nowhere", Segment(true, {{Orientation, Short, 1, 6}}, 8, 0xFFFFFFFF), 6},
  };
  for (const TCase& C : Cases)
    EXPECT_EQ(ExifOrientation(C.Data), C.Expected) << C.Name;
}

TEST(ExifOrientation, BrokenSegmentsGiveNone) {
  const std::vector<uint8_t> Good = Segment(false, {{Orientation, Short, 1, 6}});
  auto With = [&](size_t At, std::vector<uint8_t> Bytes) {
    std::vector<uint8_t> S = Good;
    std::copy(Bytes.begin(), Bytes.end(), S.begin() + long(At));
    return S;
  };
  struct TCase {
    const char* Name;
    std::vector<uint8_t> Data;
  };
  const TCase Cases[] = {
      {"empty", {}},
      {"no signature", With(0, {'E', 'x', 'i', 'f', 0, 1})},
      {"XMP instead", With(0, {'h', 't', 't', 'p', ':', '/'})},
      {"byte order mixed", With(6, {'I', 'M'})},
      {"byte order unknown", With(6, {'X', 'X'})},
      {"magic wrong", With(8, {43, 0})},
      {"magic in the other order", With(8, {0, 42})},
      {"directory in the header", With(IfdLink, {4, 0, 0, 0})},
      {"directory at 0", With(IfdLink, {0, 0, 0, 0})},
      {"directory past the end", With(IfdLink, {0, 1, 0, 0})},
      {"directory's count past the end", With(IfdLink, {uint8_t(Good.size() - 6 - 1), 0, 0, 0})},
      {"directory offset wraps", With(IfdLink, {0xFF, 0xFF, 0xFF, 0xFF})},
      {"more entries than bytes", With(IfdCount, {2, 0})},
      {"count of 65535", With(IfdCount, {0xFF, 0xFF})},
  };
  for (const TCase& C : Cases)
    EXPECT_EQ(ExifOrientation(C.Data), 0) << C.Name;
}

TEST(ExifOrientation, EveryCutOfASegmentIsSafe) {
  // The tag is found only once the whole directory is there; the next link
  // after it need not be.
  const std::vector<uint8_t> Good = Segment(true, {{271, 2, 6, 0}, {Orientation, Short, 1, 6}});
  const size_t DirectoryEnd = Good.size() - 4;
  for (size_t N = 0; N <= Good.size(); ++N) {
    const std::vector<uint8_t> Cut(Good.begin(), Good.begin() + long(N));
    EXPECT_EQ(ExifOrientation(Cut), N >= DirectoryEnd ? 6 : 0) << N << " bytes";
  }
}

// The reader takes the tag from the file's first Exif segment; a broken or
// missing one leaves the image as stored and still readable.
TEST(JpgExifOrientation, TheReaderTakesTheFirstExifSegment) {
  const std::vector<uint8_t> Plain = JpgTest::Encode(*JpgTest::MakePhoto(32, 16), 90, false);
  std::vector<uint8_t> Xmp = {'h', 't', 't', 'p', ':', '/', '/', 'n', 's', 0};
  struct TCase {
    const char* Name;
    std::vector<uint8_t> File;
    uint16_t Expected;
  };
  const TCase Cases[] = {
      {"none", Plain, 0},
      {"little-endian", WithApp1(Plain, OrientationSegment(6)), 6},
      {"big-endian", WithApp1(Plain, OrientationSegment(8, true)), 8},
      {"after an XMP segment", WithApp1(WithApp1(Plain, OrientationSegment(3)), Xmp), 3},
      {"only XMP", WithApp1(Plain, Xmp), 0},
      {"first of two", WithApp1(WithApp1(Plain, OrientationSegment(2)), OrientationSegment(7)), 7},
      {"broken", WithApp1(Plain, Segment(false, {{OrientationTag, Short, 1, 6}}, 0xFFF0)), 0},
      {"signature alone", WithApp1(Plain, {'E', 'x', 'i', 'f', 0, 0}), 0},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.Name);
    TJpgReader Reader;
    TImageRead Read = ReadImageWith(Reader, C.File);
    ASSERT_NO_THROW(Read.ThrowFailure());
    ASSERT_TRUE(Read.Dib);
    EXPECT_EQ(Read.Orientation, C.Expected);
    EXPECT_EQ(Read.Facts.Orientation, C.Expected);
    EXPECT_EQ(Read.Dib->Width(), 32) << "the reader itself turns nothing";
  }
}

} // namespace
