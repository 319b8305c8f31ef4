#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

#include "Errors.h"
#include "XWmf.h"

namespace {

// Builds a metafile of the older format: an optional placeable header, the
// standard header and records of 16-bit parameters as the file stores them.
struct TWmfBuilder {
  std::vector<uint8_t> Bytes;
  size_t HeaderAt = 0;

  void Word(uint32_t W) {
    Bytes.push_back(uint8_t(W));
    Bytes.push_back(uint8_t(W >> 8));
  }
  void Long(uint32_t L) {
    Word(L & 0xFFFF);
    Word(L >> 16);
  }
  TWmfBuilder(int Left, int Top, int Right, int Bottom, int Inch) {
    Long(0x9AC6CDD7);
    Word(0);
    for (int V : {Left, Top, Right, Bottom, Inch})
      Word(uint16_t(int16_t(V)));
    Long(0);
    Word(0);
    Start();
  }
  TWmfBuilder() { Start(); }
  void Start() {
    HeaderAt = Bytes.size();
    for (uint32_t W : {1u, 9u, 0x300u, 0u, 0u, 8u, 0u, 0u, 0u})
      Word(W);
  }
  void Rec(uint16_t Function, std::initializer_list<int> Params) {
    Long(uint32_t(3 + Params.size()));
    Word(Function);
    for (int P : Params)
      Word(uint16_t(int16_t(P)));
  }
  // Color words as the records store them: low word first.
  static int Low(uint32_t C) { return int(int16_t(C & 0xFFFF)); }
  static int High(uint32_t C) { return int(int16_t(C >> 16)); }
  std::vector<uint8_t> Finish() {
    Rec(0, {});
    return Bytes;
  }
};

constexpr uint16_t SetWindowOrg = 0x020B, SetWindowExt = 0x020C, SetMapMode = 0x0103, Rectangle = 0x041B,
                   CreateBrush = 0x02FC, CreatePen = 0x02FA, SelectObject = 0x012D, DeleteObject = 0x01F0,
                   IntersectClip = 0x0416, ExcludeClip = 0x0415, SaveDC = 0x001E, RestoreDC = 0x0127;

constexpr TColor Red = 0x0000FF, Blue = 0xFF0000, White = 0xFFFFFF;

void AddBrush(TWmfBuilder& B, TColor C) { B.Rec(CreateBrush, {0, TWmfBuilder::Low(C), TWmfBuilder::High(C), 0}); }
void AddNullPen(TWmfBuilder& B) { B.Rec(CreatePen, {5, 0, 0, 0, 0}); }
// Rectangle records store bottom, right, top, left.
void AddRect(TWmfBuilder& B, int L, int T, int R, int Bo) { B.Rec(Rectangle, {Bo, R, T, L}); }

struct TRead {
  std::unique_ptr<TDib> Dib;
  std::unique_ptr<TWmfReader> Reader;
};

TRead ReadBytes(const std::vector<uint8_t>& Bytes, int64_t MaxPixels = 100'000'000) {
  TRead R;
  R.Reader = std::make_unique<TWmfReader>();
  R.Reader->MaxPixels = MaxPixels;
  R.Reader->OpenMemory(Bytes);
  R.Reader->Read();
  R.Dib = R.Reader->TakeDib();
  return R;
}

// A picture of 100 x 100 pixels (1500 units at 1440 per inch) whose window is
// 0..100 each way, with a null pen and a red brush selected.
TWmfBuilder RedPicture() {
  TWmfBuilder B(0, 0, 1500, 1500, 1440);
  B.Rec(SetWindowOrg, {0, 0});
  B.Rec(SetWindowExt, {100, 100});
  AddNullPen(B);
  AddBrush(B, Red);
  B.Rec(SelectObject, {0});
  B.Rec(SelectObject, {1});
  return B;
}

} // namespace

TEST(WmfHeader, PlaceableFileGivesSizeAndUnitsPerInch) {
  TWmfBuilder B(0, 0, 2880, 1440, 1440);
  const TRead R = ReadBytes(B.Finish());
  EXPECT_FALSE(R.Reader->IsEnhanced());
  EXPECT_EQ(R.Reader->Resolution, 1440);
  EXPECT_EQ(R.Dib->Width(), 192);
  EXPECT_EQ(R.Dib->Height(), 96);
  EXPECT_EQ(R.Dib->PixelFormat(), pf24bit);
  EXPECT_EQ(R.Reader->Compression, cmpVector);
  EXPECT_EQ(R.Dib->GetPixelColor(5, 5), White);
  EXPECT_EQ(R.Reader->FormatVariant(), "Windows Metafile");
}

TEST(WmfHeader, WhatIsNoMetafileFailsWithTheFormatsMessage) {
  const std::vector<std::vector<uint8_t>> Bad = {
      {},
      std::vector<uint8_t>(17, 0),
      {0xD7, 0xCD, 0xC6, 0x9A, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
      // A standard header with a wrong header size.
      {1, 0, 8, 0, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
      // An enhanced header whose record claims more than the file.
      [] {
        std::vector<uint8_t> E(88, 0);
        E[0] = 1;
        E[4] = 200;
        E[40] = ' ', E[41] = 'E', E[42] = 'M', E[43] = 'F';
        return E;
      }(),
  };
  for (const auto& Bytes : Bad) {
    TWmfReader Reader;
    try {
      Reader.OpenMemory(Bytes);
      Reader.Read();
      ADD_FAILURE() << "read " << Bytes.size() << " bytes";
    } catch (const EInvalidGraphicOperation& E) {
      EXPECT_STREQ(E.what(), "Metafile is not valid");
    }
  }
}

TEST(WmfHeader, MissingOrAbsurdSizesAreBoundedWithAWarning) {
  // A plain file that sets no window has no size at all.
  TWmfBuilder Plain;
  const TRead NoSize = ReadBytes(Plain.Finish());
  EXPECT_EQ(NoSize.Dib->Width(), 1024);
  EXPECT_EQ(NoSize.Dib->Height(), 768);
  EXPECT_NE(NoSize.Reader->Warning, "");

  // 32767 x 16000 units at one unit per inch would be 3 gigapixels.
  TWmfBuilder Huge(0, 0, 32767, 16000, 96);
  const TRead Big = ReadBytes(Huge.Finish(), 1'000'000);
  EXPECT_LE(int64_t(Big.Dib->Width()) * Big.Dib->Height(), 1'000'000);
  EXPECT_NEAR(double(Big.Dib->Width()) / Big.Dib->Height(), 32767.0 / 16000, 0.01);
  EXPECT_NE(Big.Reader->Warning, "");

  // A plain file's window gives its size.
  TWmfBuilder Windowed;
  Windowed.Rec(SetWindowOrg, {0, 0});
  Windowed.Rec(SetWindowExt, {50, 200});
  const TRead W = ReadBytes(Windowed.Finish());
  EXPECT_EQ(W.Dib->Width(), 200);
  EXPECT_EQ(W.Dib->Height(), 50);
}

TEST(WmfRender, WindowMapsOntoThePicture) {
  // A window of 0..100 on a 100-pixel picture, then the origin moved and the
  // extent halved: the same rectangle lands elsewhere and twice as large.
  TWmfBuilder B = RedPicture();
  AddRect(B, 10, 10, 30, 30);
  B.Rec(SetWindowOrg, {0, 0});
  B.Rec(SetWindowExt, {50, 50});
  AddRect(B, 30, 30, 40, 40);
  const TRead R = ReadBytes(B.Finish());
  EXPECT_EQ(R.Dib->GetPixelColor(20, 20), Red);
  EXPECT_EQ(R.Dib->GetPixelColor(35, 35), White);
  EXPECT_EQ(R.Dib->GetPixelColor(70, 70), Red);
  EXPECT_EQ(R.Dib->GetPixelColor(90, 90), White);
}

TEST(WmfRender, IsotropicModeKeepsTheAspect) {
  // A 100 x 50 window on a square picture: isotropic scales both axes by the
  // smaller factor, anisotropic stretches y.
  for (const int Mode : {7, 8}) {
    TWmfBuilder B = RedPicture();
    B.Rec(SetMapMode, {Mode});
    B.Rec(SetWindowExt, {50, 100});
    AddRect(B, 0, 0, 100, 50);
    const TRead R = ReadBytes(B.Finish());
    EXPECT_EQ(R.Dib->GetPixelColor(50, 40), Red) << Mode;
    EXPECT_EQ(R.Dib->GetPixelColor(50, 75), Mode == 7 ? White : Red) << Mode;
  }
}

TEST(WmfRender, ClipsAndSavedStatesComeBack) {
  TWmfBuilder B = RedPicture();
  B.Rec(SaveDC, {});
  B.Rec(IntersectClip, {60, 60, 0, 0});
  B.Rec(ExcludeClip, {40, 40, 20, 20});
  AddRect(B, 0, 0, 100, 100);
  B.Rec(RestoreDC, {-1});
  AddBrush(B, Blue);
  B.Rec(SelectObject, {2});
  AddRect(B, 80, 80, 100, 100);
  const TRead R = ReadBytes(B.Finish());
  EXPECT_EQ(R.Dib->GetPixelColor(10, 10), Red);
  EXPECT_EQ(R.Dib->GetPixelColor(30, 30), White) << "excluded";
  EXPECT_EQ(R.Dib->GetPixelColor(70, 70), White) << "outside the clip";
  EXPECT_EQ(R.Dib->GetPixelColor(90, 90), Blue) << "clip restored";
}

TEST(WmfRender, ObjectTableSlotsAreCheckedAndReused) {
  TWmfBuilder B = RedPicture();
  // Slot 1 (red) freed and taken by blue; slot 7 was never made and slot
  // 40000 is outside the table: both selections are skipped.
  B.Rec(DeleteObject, {1});
  AddBrush(B, Blue);
  B.Rec(SelectObject, {7});
  B.Rec(SelectObject, {40000});
  AddRect(B, 0, 0, 50, 50);
  B.Rec(SelectObject, {1});
  AddRect(B, 50, 50, 100, 100);
  const TRead R = ReadBytes(B.Finish());
  EXPECT_EQ(R.Dib->GetPixelColor(25, 25), Red) << "the selected brush stays after its slot is freed";
  EXPECT_EQ(R.Dib->GetPixelColor(75, 75), Blue);
  EXPECT_EQ(R.Reader->SkippedRecords, 2);
}

TEST(WmfRender, BrokenRecordsEndOrSkipWithoutHarm) {
  // A rectangle record one word short is skipped; a record claiming more
  // words than the file has ends the picture with a warning.
  TWmfBuilder B = RedPicture();
  B.Rec(Rectangle, {60, 60, 0});
  AddRect(B, 0, 0, 20, 20);
  B.Long(1000);
  B.Word(Rectangle);
  const TRead R = ReadBytes(B.Bytes);
  EXPECT_EQ(R.Dib->GetPixelColor(10, 10), Red);
  EXPECT_EQ(R.Dib->GetPixelColor(40, 40), White);
  EXPECT_EQ(R.Reader->SkippedRecords, 1);
  EXPECT_NE(R.Reader->Warning, "");
}

TEST(WmfRender, DrawingOutsideTheWindowIsScaledIntoView) {
  // Shapes from -100 to 100 on a window of 0..100: the picture shows them
  // all at half size, centred, instead of cutting the left one off.
  TWmfBuilder B = RedPicture();
  AddRect(B, -100, 0, -50, 100);
  AddRect(B, 50, 0, 100, 100);
  const TRead R = ReadBytes(B.Finish());
  EXPECT_EQ(R.Dib->GetPixelColor(10, 50), Red);
  EXPECT_EQ(R.Dib->GetPixelColor(50, 50), White);
  EXPECT_EQ(R.Dib->GetPixelColor(90, 50), Red);
  EXPECT_EQ(R.Dib->GetPixelColor(10, 10), White);
}
