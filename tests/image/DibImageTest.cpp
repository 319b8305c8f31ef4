#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "DibImage.h"

namespace {

const TPixelFormat AllFormats[] = {pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit};

uint32_t ValueMask(TPixelFormat Pf) {
  switch (Pf) {
  case pf1bit: return 1;
  case pf4bit: return 15;
  case pf8bit: return 255;
  case pf15bit:
  case pf16bit: return 0x7FFF;
  case pf24bit: return 0xFFFFFF;
  case pf32bit: return 0xFFFFFFFF;
  }
  return 0;
}

uint32_t Pattern(int32_t X, int32_t Y) {
  uint32_t H = uint32_t(X) * 73856093u ^ uint32_t(Y) * 19349663u;
  H ^= H >> 13;
  return H * 0x9E3779B1u;
}

std::unique_ptr<TDib> MakePatterned(int32_t W, int32_t H, TPixelFormat Pf) {
  auto D = std::make_unique<TDib>(W, H, Pf);
  for (int32_t I = 0; I < D->PaletteSize(); ++I)
    D->SetPaletteColor(I, RGBColor(uint8_t(I * 7), uint8_t(255 - I), uint8_t(I * 3 + 1)));
  for (int32_t Y = 0; Y < H; ++Y)
    for (int32_t X = 0; X < W; ++X)
      D->SetPixelValue(X, Y, Pattern(X, Y) & ValueMask(Pf));
  return D;
}

std::string FormatName(TPixelFormat Pf) { return "pf" + std::to_string(int(Pf)); }

template <class F>
std::string Thrown(F&& Fn) {
  try {
    Fn();
  } catch (const std::exception& E) {
    return E.what();
  }
  return "";
}

} // namespace

TEST(DibCreate, RowBytesAndHeader) {
  TDib A(3, 1, pf24bit);
  EXPECT_EQ(A.RowBytes(), 12);
  EXPECT_EQ(A.ImageSize(), 12);
  TDib B(1, 1, pf1bit);
  EXPECT_EQ(B.RowBytes(), 4);
  TDib C(9, 2, pf4bit);
  EXPECT_EQ(C.RowBytes(), 8);
  EXPECT_EQ(C.PaletteSize(), 16);

  TDib D(5, 3, pf8bit);
  const uint8_t* H = D.BitmapInfo();
  int32_t V;
  std::memcpy(&V, H, 4);
  EXPECT_EQ(V, 40);
  std::memcpy(&V, H + 8, 4);
  EXPECT_EQ(V, -3) << "rows are top-down";
  EXPECT_EQ(H[14], 8);
  std::memcpy(&V, H + 24, 4);
  EXPECT_EQ(V, 2835) << "72 dpi in pels per metre";
  std::memcpy(&V, H + 32, 4);
  EXPECT_EQ(V, 256);
  EXPECT_EQ(D.BitmapInfoSize(), 40 + 4 * 256);
  for (int32_t I = 0; I < D.ImageSize(); ++I)
    ASSERT_EQ(D.Bits()[I], 0);
}

TEST(DibCreate, RejectsBadFormatsAndSizes) {
  EXPECT_EQ(Thrown([] { TDib(1, 1, TPixelFormat(0)); }), "invalid Pixel Format");
  EXPECT_EQ(Thrown([] { TDib(1, 1, TPixelFormat(8)); }), "invalid Pixel Format");
  // Sizes past 2 GiB would wrap the 32-bit ImageSize.
  EXPECT_EQ(Thrown([] { TDib(70000, 70000, pf32bit); }), "out of memory!");
  EXPECT_EQ(Thrown([] { TDib(0x7FFFFFFF, 1, pf32bit); }), "out of memory!");
  EXPECT_EQ(Thrown([] { TDib(-5, 10, pf8bit); }), "out of memory!");
  EXPECT_THROW(TDib(1, 1, TPixelFormat(0)), EInvalidGraphicOperation);
}

TEST(DibPixels, ValuesAndColors) {
  TDib D15(2, 1, pf15bit);
  D15.SetPixelValue(0, 0, 0x7FFF);
  EXPECT_EQ(D15.GetPixelColor(0, 0), RGBColor(251, 251, 251));
  D15.SetPixelColor(1, 0, RGBColor(255, 0, 8));
  EXPECT_EQ(D15.GetPixelValue(1, 0), (31u << 10) | 1u);

  TDib D24(1, 1, pf24bit);
  D24.SetPixelColor(0, 0, RGBColor(1, 2, 3));
  EXPECT_EQ(D24.ScanLine(0)[0], 3);
  EXPECT_EQ(D24.ScanLine(0)[2], 1);
  EXPECT_EQ(D24.GetPixelColor(0, 0), RGBColor(1, 2, 3));
  EXPECT_EQ(D24.GetPixelValue(0, 0), RGBColor(1, 2, 3));

  TDib D32(1, 1, pf32bit);
  D32.SetPixelColor(0, 0, RGBColor(1, 2, 3));
  EXPECT_EQ(D32.ScanLine(0)[0], 1) << "the color value is stored unchanged";
  EXPECT_EQ(D32.GetPixelColor(0, 0), RGBColor(1, 2, 3));

  TDib D1(9, 1, pf1bit);
  D1.SetPixelValue(0, 0, 1);
  D1.SetPixelValue(8, 0, 1);
  D1.SetPixelValue(1, 0, 2);
  EXPECT_EQ(D1.ScanLine(0)[0], 0x80);
  EXPECT_EQ(D1.ScanLine(0)[1], 0x80);

  TDib D4(3, 1, pf4bit);
  D4.SetPixelValue(0, 0, 0xA);
  D4.SetPixelValue(1, 0, 0x5);
  D4.SetPixelValue(2, 0, 0xF);
  EXPECT_EQ(D4.ScanLine(0)[0], 0xA5);
  EXPECT_EQ(D4.ScanLine(0)[1], 0xF0);
}

TEST(DibPixels, RowColorsMatchPixelColors) {
  for (TPixelFormat Pf : AllFormats) {
    auto D = MakePatterned(37, 3, Pf);
    std::vector<TColor> Row(37);
    for (int32_t Y = 0; Y < 3; ++Y) {
      D->GetRowColors(Y, Row);
      for (int32_t X = 0; X < 37; ++X)
        ASSERT_EQ(Row[size_t(X)], D->GetPixelColor(X, Y)) << FormatName(Pf) << " " << X << "," << Y;
    }
  }
}

TEST(DibPalette, NearestAndGray) {
  TDib D(1, 1, pf4bit);
  D.SetPaletteColor(3, RGBColor(10, 10, 10));
  D.SetPaletteColor(5, RGBColor(30, 10, 10));
  for (int32_t I = 0; I < 16; ++I)
    if (I != 3 && I != 5)
      D.SetPaletteColor(I, RGBColor(200, 200, 200));
  EXPECT_EQ(D.NearestPaletteIndex(RGBColor(20, 10, 10)), 3) << "equal distance picks the lower index";
  EXPECT_EQ(D.GetPaletteColor(16), 0u);
  D.SetPaletteColor(-1, 0xFFFFFF);
  EXPECT_EQ(D.GetPaletteRGB(5).R, 30);

  TDib G(1, 1, pf4bit);
  G.MakeGrayPalette();
  EXPECT_EQ(G.GetPaletteColor(1), RGBColor(17, 17, 17));
  EXPECT_EQ(G.GetPaletteColor(15), RGBColor(255, 255, 255));
  EXPECT_TRUE(G.IsGray);
}

TEST(DibPalette, DetectGrayRemapsDescendingRamp) {
  TDib D(4, 1, pf8bit);
  for (int32_t I = 0; I < 256; ++I)
    D.SetPaletteColor(I, RGBColor(uint8_t(255 - I), uint8_t(255 - I), uint8_t(255 - I)));
  D.SetPixelValue(0, 0, 0);   // white
  D.SetPixelValue(1, 0, 255); // black
  D.SetPixelValue(2, 0, 55);  // gray 200
  D.DetectGray();
  EXPECT_TRUE(D.IsGray);
  EXPECT_EQ(D.GetPaletteColor(0), 0u);
  EXPECT_EQ(D.GetPixelValue(0, 0), 255u);
  EXPECT_EQ(D.GetPixelValue(1, 0), 0u);
  EXPECT_EQ(D.GetPixelValue(2, 0), 200u);

  TDib F(2, 1, pf4bit);
  for (int32_t I = 0; I < 16; ++I)
    F.SetPaletteColor(I, RGBColor(uint8_t(255 - 17 * I), uint8_t(255 - 17 * I), uint8_t(255 - 17 * I)));
  F.SetPixelValue(1, 0, 15);
  F.DetectGray();
  EXPECT_TRUE(F.IsGray);
  EXPECT_EQ(F.GetPixelValue(0, 0), 15u);
  EXPECT_EQ(F.GetPixelValue(1, 0), 0u);

  TDib B(2, 1, pf1bit);
  B.SetPaletteColor(0, 0xFFFFFF);
  B.DetectGray();
  EXPECT_FALSE(B.IsGray) << "a reversed two-entry gray palette stays as it is";
  EXPECT_EQ(B.GetPaletteColor(0), 0xFFFFFFu);

  TDib C(1, 1, pf8bit);
  C.SetPaletteColor(7, RGBColor(1, 2, 3));
  C.DetectGray();
  EXPECT_FALSE(C.IsGray);
}

TEST(DibTransforms, InvertByKind) {
  TDib G(2, 1, pf8bit);
  G.MakeGrayPalette();
  G.SetPixelValue(0, 0, 10);
  G.Invert();
  EXPECT_EQ(G.GetPixelValue(0, 0), 245u);
  EXPECT_EQ(G.GetPixelValue(1, 0), 255u);

  TDib P(1, 1, pf8bit);
  P.SetPaletteColor(0, RGBColor(10, 20, 30));
  P.Invert();
  EXPECT_EQ(P.GetPixelValue(0, 0), 0u);
  EXPECT_EQ(P.GetPaletteColor(0), RGBColor(245, 235, 225));

  TDib T(3, 2, pf24bit);
  T.SetPixelColor(2, 1, RGBColor(1, 2, 3));
  T.Invert();
  EXPECT_EQ(T.GetPixelColor(2, 1), RGBColor(254, 253, 252));
  EXPECT_EQ(T.GetPixelColor(0, 0), RGBColor(255, 255, 255));
}

TEST(DibTransforms, MirrorsEveryFormat) {
  for (TPixelFormat Pf : AllFormats) {
    for (auto [W, H] : {std::pair{13, 7}, std::pair{1, 4}, std::pair{8, 1}}) {
      auto Src = MakePatterned(W, H, Pf);
      auto Lr = Src->Clone();
      Lr->MirrorLeftRight();
      auto Ud = Src->Clone();
      Ud->MirrorUpDown();
      for (int32_t Y = 0; Y < H; ++Y)
        for (int32_t X = 0; X < W; ++X) {
          ASSERT_EQ(Lr->GetPixelValue(X, Y), Src->GetPixelValue(W - 1 - X, Y)) << FormatName(Pf);
          ASSERT_EQ(Ud->GetPixelValue(X, Y), Src->GetPixelValue(X, H - 1 - Y)) << FormatName(Pf);
        }
    }
  }
}

TEST(DibTransforms, RotateTwoPixels) {
  TDib A(2, 1, pf24bit);
  A.SetPixelColor(0, 0, 0x0000FF);
  A.SetPixelColor(1, 0, 0x00FF00);
  auto B = A.Clone();
  A.Rotate(90);
  ASSERT_EQ(A.Width(), 1);
  ASSERT_EQ(A.Height(), 2);
  EXPECT_EQ(A.GetPixelColor(0, 0), 0x0000FFu);
  B->Rotate(-90);
  EXPECT_EQ(B->GetPixelColor(0, 0), 0x00FF00u);
}

TEST(DibTransforms, RotateEveryFormatAndShape) {
  for (TPixelFormat Pf : AllFormats) {
    for (auto [W, H] : {std::pair{13, 7}, std::pair{6, 6}, std::pair{33, 2}, std::pair{1, 1}, std::pair{200, 130}}) {
      auto Src = MakePatterned(W, H, Pf);
      Src->SetResolution(150);
      auto Cw = Src->Clone();
      Cw->Rotate(90);
      auto Ccw = Src->Clone();
      Ccw->Rotate(270);
      ASSERT_EQ(Cw->Width(), H);
      ASSERT_EQ(Cw->Height(), W);
      ASSERT_EQ(Cw->PixelFormat(), Pf);
      EXPECT_EQ(Cw->Resolution(), 150);
      EXPECT_EQ(Cw->GetPaletteColor(1), Src->GetPaletteColor(1));
      for (int32_t Y = 0; Y < W; ++Y)
        for (int32_t X = 0; X < H; ++X) {
          ASSERT_EQ(Cw->GetPixelValue(X, Y), Src->GetPixelValue(Y, H - 1 - X))
              << FormatName(Pf) << " " << W << "x" << H;
          ASSERT_EQ(Ccw->GetPixelValue(X, Y), Src->GetPixelValue(W - 1 - Y, X))
              << FormatName(Pf) << " " << W << "x" << H;
        }
      auto Half = Src->Clone();
      Half->Rotate(180);
      auto Both = Src->Clone();
      Both->MirrorUpDown();
      Both->MirrorLeftRight();
      ASSERT_EQ(0, std::memcmp(Half->Bits(), Both->Bits(), size_t(Half->ImageSize()))) << FormatName(Pf);
      for (int I = 0; I < 3; ++I)
        Cw->Rotate(90);
      for (int32_t Y = 0; Y < H; ++Y)
        for (int32_t X = 0; X < W; ++X)
          ASSERT_EQ(Cw->GetPixelValue(X, Y), Src->GetPixelValue(X, Y)) << FormatName(Pf);
    }
  }
}

TEST(DibTransforms, RotateAngleRanges) {
  auto Src = MakePatterned(5, 3, pf8bit);
  for (int32_t A : {0, 44, 315, 359, 360, -30}) {
    auto D = Src->Clone();
    D->Rotate(A);
    EXPECT_EQ(0, std::memcmp(D->Bits(), Src->Bits(), size_t(Src->ImageSize()))) << A;
  }
  auto R45 = Src->Clone();
  R45->Rotate(45);
  auto R450 = Src->Clone();
  R450->Rotate(450);
  auto Rm270 = Src->Clone();
  Rm270->Rotate(-270);
  EXPECT_EQ(R45->Width(), 3);
  EXPECT_EQ(0, std::memcmp(R45->Bits(), R450->Bits(), size_t(R45->ImageSize())));
  EXPECT_EQ(0, std::memcmp(R45->Bits(), Rm270->Bits(), size_t(R45->ImageSize())));
}

TEST(DibTransforms, CropFillConvert) {
  for (TPixelFormat Pf : AllFormats) {
    auto Src = MakePatterned(19, 11, Pf);
    auto C = Src->Clone();
    C->Crop(3, 2, 9, 5);
    ASSERT_EQ(C->Width(), 9);
    ASSERT_EQ(C->Height(), 5);
    for (int32_t Y = 0; Y < 5; ++Y)
      for (int32_t X = 0; X < 9; ++X)
        ASSERT_EQ(C->GetPixelValue(X, Y), Src->GetPixelValue(X + 3, Y + 2)) << FormatName(Pf);

    auto Conv = Src->Clone();
    Conv->ConvertTo24();
    ASSERT_EQ(Conv->PixelFormat(), pf24bit);
    for (int32_t Y = 0; Y < 11; ++Y)
      for (int32_t X = 0; X < 19; ++X)
        ASSERT_EQ(Conv->GetPixelColor(X, Y), Src->GetPixelColor(X, Y) & 0xFFFFFF) << FormatName(Pf);

    auto F = Src->Clone();
    F->Fill(F->GetPixelColor(4, 4));
    const TColor Want = Src->GetPixelColor(4, 4);
    for (int32_t Y = 0; Y < 11; ++Y)
      for (int32_t X = 0; X < 19; ++X)
        ASSERT_EQ(F->GetPixelColor(X, Y), Want) << FormatName(Pf);
  }

  // The row path from 32 bits writes whole words but the last pixel.
  for (int32_t W : {1, 2, 3, 5}) {
    auto Src = MakePatterned(W, 2, pf32bit);
    auto Conv = Src->Clone();
    Conv->ConvertTo24();
    for (int32_t X = 0; X < W; ++X)
      ASSERT_EQ(Conv->GetPixelColor(X, 1), Src->GetPixelColor(X, 1) & 0xFFFFFF) << "width " << W;
    for (int32_t I = 3 * W; I < Conv->RowBytes(); ++I)
      EXPECT_EQ(Conv->ScanLine(1)[I], 0) << "padding of width " << W;
  }

  auto D = MakePatterned(10, 10, pf8bit);
  auto Before = D->Clone();
  D->Crop(2, 2, 0, 5);
  EXPECT_EQ(D->Width(), 10) << "an empty rectangle changes nothing";
  D->Crop(8, 7, 10, 10);
  EXPECT_EQ(D->Width(), 2) << "a rectangle reaching outside is clipped to the image";
  EXPECT_EQ(D->Height(), 3);
  EXPECT_EQ(D->GetPixelValue(1, 2), Before->GetPixelValue(9, 9));
}

TEST(DibTransforms, CountColorsAndScaledCopy) {
  TDib D(4, 4, pf24bit);
  EXPECT_EQ(D.CountColors(), 1);
  D.SetPixelColor(0, 0, 0xFFFFFF);
  D.SetPixelColor(1, 0, 0x010203);
  D.SetPixelColor(2, 3, 0x010203);
  EXPECT_EQ(D.CountColors(), 3);

  auto S = D.ScaledCopy(2, 2);
  EXPECT_EQ(S->PixelFormat(), pf24bit);
  EXPECT_EQ(S->GetPixelColor(0, 0), 0xFFFFFFu);
  EXPECT_EQ(S->GetPixelColor(1, 1), 0u);
  auto Up = D.ScaledCopy(8, 8);
  EXPECT_EQ(Up->GetPixelColor(3, 0), 0x010203u);
  EXPECT_EQ(Up->GetPixelColor(7, 7), D.GetPixelColor(3, 3));

  TDib G(3, 3, pf8bit);
  G.MakeGrayPalette();
  G.SetPixelValue(2, 2, 77);
  auto Gs = G.ScaledCopy(6, 6);
  EXPECT_EQ(Gs->PixelFormat(), pf8bit);
  EXPECT_TRUE(Gs->IsGray);
  EXPECT_EQ(Gs->GetPixelValue(5, 5), 77u);
}

TEST(DibExchange, GlobalDibRoundTripEveryFormat) {
  for (TPixelFormat Pf : AllFormats) {
    auto Src = MakePatterned(21, 5, Pf);
    Src->SetResolution(300);
    auto Packed = Src->ToGlobalDib();
    ASSERT_EQ(Packed.size(), size_t(Src->BitmapInfoSize() + Src->ImageSize()));
    int32_t H;
    std::memcpy(&H, Packed.data() + 8, 4);
    EXPECT_EQ(H, 5) << "packed rows are bottom-up";
    auto Back = TDib::FromGlobalDib(Packed);
    EXPECT_EQ(Back->PixelFormat(), Pf == pf32bit ? pf24bit : Pf == pf15bit ? pf16bit : Pf);
    EXPECT_EQ(Back->Resolution(), 300);
    for (int32_t Y = 0; Y < 5; ++Y)
      for (int32_t X = 0; X < 21; ++X)
        ASSERT_EQ(Back->GetPixelColor(X, Y), Src->GetPixelColor(X, Y) & 0xFFFFFF) << FormatName(Pf);
  }
}

namespace {
std::vector<uint8_t> PackedHeader(int32_t W, int32_t H, uint16_t Bits, uint32_t Compression, uint32_t ColorsUsed) {
  std::vector<uint8_t> B(40, 0);
  auto Put = [&](size_t At, uint32_t V, int N) {
    for (int I = 0; I < N; ++I)
      B[At + size_t(I)] = uint8_t(V >> (8 * I));
  };
  Put(0, 40, 4);
  Put(4, uint32_t(W), 4);
  Put(8, uint32_t(H), 4);
  Put(12, 1, 2);
  Put(14, Bits, 2);
  Put(16, Compression, 4);
  Put(32, ColorsUsed, 4);
  return B;
}
} // namespace

TEST(DibExchange, ForeignPackedDibs) {
  // 32-bit bottom-up, as other programs put it on the clipboard.
  auto B = PackedHeader(2, 2, 32, 0, 0);
  const uint8_t Rows[] = {1, 2, 3, 99, 4, 5, 6, 99, 7, 8, 9, 99, 10, 11, 12, 99};
  B.insert(B.end(), std::begin(Rows), std::end(Rows));
  auto D = TDib::FromGlobalDib(B);
  EXPECT_EQ(D->PixelFormat(), pf24bit);
  EXPECT_EQ(D->GetPixelColor(0, 1), RGBColor(3, 2, 1)) << "first stored row is the bottom row";
  EXPECT_EQ(D->GetPixelColor(1, 0), RGBColor(12, 11, 10));

  // An 8-bit image with a two-entry palette: the rows follow those two entries.
  auto P = PackedHeader(3, 1, 8, 0, 2);
  const uint8_t Pal[] = {0, 0, 255, 0, 0, 255, 0, 0};
  P.insert(P.end(), std::begin(Pal), std::end(Pal));
  const uint8_t Row[] = {1, 0, 1, 0};
  P.insert(P.end(), std::begin(Row), std::end(Row));
  auto Q = TDib::FromGlobalDib(P);
  EXPECT_EQ(Q->GetPixelColor(0, 0), RGBColor(0, 255, 0));
  EXPECT_EQ(Q->GetPixelColor(1, 0), RGBColor(255, 0, 0));

  // 16-bit with bit-field masks after a 40-byte header; top-down.
  auto M = PackedHeader(1, -1, 16, 3, 0);
  const uint8_t Masks[] = {0, 0x7C, 0, 0, 0xE0, 0x03, 0, 0, 0x1F, 0, 0, 0, 0xFF, 0x7F, 0, 0};
  M.insert(M.end(), std::begin(Masks), std::end(Masks));
  EXPECT_EQ(TDib::FromGlobalDib(M)->GetPixelColor(0, 0), RGBColor(251, 251, 251));
}

TEST(DibExchange, HostilePackedDibsFail) {
  EXPECT_THROW(TDib::FromGlobalDib(std::vector<uint8_t>(8, 0)), EInvalidGraphicOperation);
  auto Short = PackedHeader(100, 100, 24, 0, 0);
  Short.resize(Short.size() + 100);
  EXPECT_THROW(TDib::FromGlobalDib(Short), EInvalidGraphicOperation);
  auto Huge = PackedHeader(0x7FFFFFFF, 0x7FFFFFFF, 32, 0, 0);
  EXPECT_THROW(TDib::FromGlobalDib(Huge), EInvalidGraphicOperation);
  auto MinHeight = PackedHeader(1, INT32_MIN, 8, 0, 0);
  EXPECT_THROW(TDib::FromGlobalDib(MinHeight), EInvalidGraphicOperation);
  auto Rle = PackedHeader(2, 2, 8, 1, 0);
  Rle.resize(Rle.size() + 1024 + 8);
  EXPECT_THROW(TDib::FromGlobalDib(Rle), EInvalidGraphicOperation);
  auto Odd = PackedHeader(2, 2, 7, 0, 0);
  Odd.resize(Odd.size() + 64);
  EXPECT_EQ(Thrown([&] { TDib::FromGlobalDib(Odd); }), "invalid Pixel Format");
  auto ManyColors = PackedHeader(1, 1, 24, 0, 0xFFFFFFFF);
  ManyColors.resize(ManyColors.size() + 4);
  EXPECT_THROW(TDib::FromGlobalDib(ManyColors), EInvalidGraphicOperation);
}

namespace {
struct TRecordingSurface : TDrawSurface {
  struct TCall {
    int32_t Dx, Dy, Dw, Dh, Sx, Sy, Sw, Sh;
  };
  TRect Clip;
  std::vector<TCall> Calls;
  TRect ClipRect() const override { return Clip; }
  void StretchDib(const TDib&, int32_t Dx, int32_t Dy, int32_t Dw, int32_t Dh, int32_t Sx, int32_t Sy, int32_t Sw,
                  int32_t Sh) override {
    Calls.push_back({Dx, Dy, Dw, Dh, Sx, Sy, Sw, Sh});
  }
};
} // namespace

TEST(DibZoom, ZoomedSizesAndTiles) {
  TDib D(1000, 700, pf8bit);
  D.SetZoom(-2);
  EXPECT_EQ(D.ZoomedWidth(), 333);
  EXPECT_EQ(D.ZoomedHeight(), 233);
  D.SetZoom(9);
  EXPECT_EQ(D.Zoom(), 7);
  EXPECT_EQ(D.ZoomedWidth(), 8000);
  EXPECT_EQ(D.TileSrc(), 8);
  D.SetZoom(2);
  EXPECT_EQ(D.TileDst(), 60);
  D.SetZoom(6);
  EXPECT_EQ(D.TileDst(), 63);
  D.SetZoom(-7);
  EXPECT_EQ(D.TileSrc(), 512);
  EXPECT_EQ(D.TileDst(), 64);
}

TEST(DibZoom, DrawZoomedUntiled) {
  TDib D(100, 100, pf24bit);
  TRecordingSurface S;
  D.Canvas = &S;
  D.SetZoom(2);
  S.Clip = {31, 0, 61, 30};
  D.DrawZoomed();
  ASSERT_EQ(S.Calls.size(), 1u);
  EXPECT_EQ(S.Calls[0].Sx, 10);
  EXPECT_EQ(S.Calls[0].Sw, 10);
  EXPECT_EQ(S.Calls[0].Dx, 31);
  EXPECT_EQ(S.Calls[0].Dw, 30);
  EXPECT_EQ(S.Calls[0].Sy, 90) << "source rows count from the bottom";

  S.Calls.clear();
  D.SetZoom(-1);
  S.Clip = {0, 0, 50, 50};
  D.DrawZoomed();
  EXPECT_EQ(S.Calls[0].Sw, 100);
  EXPECT_EQ(S.Calls[0].Sy, 0);
}

TEST(DibZoom, TilesCoverTheImageOnce) {
  TDib D(100, 100, pf8bit);
  TRecordingSurface S;
  D.Canvas = &S;
  D.Tiled = true;
  D.SetZoom(7);
  S.Clip = {0, 0, 800, 800};
  D.DrawZoomed();
  EXPECT_EQ(S.Calls.size(), 13u * 13u);

  for (int32_t Z = -7; Z <= 7; ++Z) {
    TDib E(301, 157, pf8bit);
    E.Canvas = &S;
    E.Tiled = true;
    E.SetZoom(Z);
    S.Calls.clear();
    S.Clip = {0, 0, E.ZoomedWidth(), E.ZoomedHeight()};
    E.DrawZoomed();
    std::vector<int> Hits(size_t(301 * 157), 0);
    for (const auto& C : S.Calls) {
      EXPECT_EQ(C.Sw, E.TileSrc());
      EXPECT_EQ(C.Dw, E.TileDst());
      for (int32_t Y = C.Sy; Y < C.Sy + C.Sh && Y < 157; ++Y)
        for (int32_t X = C.Sx; X < C.Sx + C.Sw && X < 301; ++X)
          ++Hits[size_t(Y * 301 + X)];
    }
    // Zoomed sizes round down for reductions, so the last partial source
    // pixels may fall outside the zoomed area; everything inside is drawn once.
    const int32_t F = Z < 0 ? 1 - Z : 1;
    for (int32_t Y = 0; Y < (E.ZoomedHeight() * F) && Y < 157; ++Y)
      for (int32_t X = 0; X < E.ZoomedWidth() * F && X < 301; ++X)
        ASSERT_EQ(Hits[size_t(Y * 301 + X)], 1) << "zoom " << Z << " at " << X << "," << Y;
  }

  S.Calls.clear();
  D.SetZoom(0);
  S.Clip = {60, 30, 70, 40}; // tile rows start at y 36 and -28, columns at 0 and 64
  D.DrawZoomed();
  EXPECT_EQ(S.Calls.size(), 4u) << "only tiles meeting the clip rectangle are drawn";
}

TEST(DibExchange, RowsStartAfterMasksAndUsedColors) {
  TPackedDibInfo Info;
  ASSERT_TRUE(ReadPackedDibInfo(PackedHeader(3, 1, 8, 0, 2), Info));
  EXPECT_EQ(Info.RowsStart(), 40u + 2 * 4);
  ASSERT_TRUE(ReadPackedDibInfo(PackedHeader(3, 1, 4, 0, 0), Info));
  EXPECT_EQ(Info.RowsStart(), 40u + 16 * 4) << "no colors-used count: the full palette";
  ASSERT_TRUE(ReadPackedDibInfo(PackedHeader(3, -1, 16, 3, 0), Info));
  EXPECT_EQ(Info.RowsStart(), 40u + 3 * 4);
  EXPECT_EQ(Info.Height, -1);
  ASSERT_TRUE(ReadPackedDibInfo(PackedHeader(3, 1, 24, 0, 5), Info));
  EXPECT_EQ(Info.RowsStart(), 40u + 5 * 4) << "a color table beside true-color rows";

  std::vector<uint8_t> Core(12, 0);
  Core[0] = 12;
  Core[10] = 1;
  ASSERT_TRUE(ReadPackedDibInfo(Core, Info));
  EXPECT_TRUE(Info.Core);
  EXPECT_EQ(Info.RowsStart(), 12u + 2 * 3);

  EXPECT_FALSE(ReadPackedDibInfo(std::vector<uint8_t>(11, 0), Info));
  auto Odd = PackedHeader(1, 1, 8, 0, 0);
  Odd[0] = 20;
  EXPECT_FALSE(ReadPackedDibInfo(Odd, Info)) << "an unknown header size";
  auto Long = PackedHeader(1, 1, 8, 0, 0);
  Long[0] = 41;
  EXPECT_FALSE(ReadPackedDibInfo(Long, Info)) << "a header longer than the block";
}
