// The image view on a scaled screen: run with QT_SCALE_FACTOR set, where
// the view must count the screen's device pixels, not the logical ones.
#include <QImage>
#include <QMouseEvent>
#include <QPixmap>
#include <QScreen>
#include <QScrollBar>
#include <QTest>
#include <cmath>

#include "AppTestUtil.h"
#include "Crop.h"
#include "PeFrame.h"

namespace {

constexpr double Ratios[] = {1.0, 1.25, 1.5, 2.0};

TEST(ViewScale, PointsFindTheirDevicePixelAndSidesHoldThemAll) {
  for (double R : Ratios)
    for (int D = 0; D < 200; ++D) {
      // The pointer as the desktop reports a device pixel, and inside it.
      const QPointF P(D / R, (D + 1) / R);
      ASSERT_EQ(DevicePoint(P, R), QPoint(D, D + 1)) << D << " at " << R;
      ASSERT_EQ(DevicePoint(P + QPointF(0.3 / R, 0.6 / R), R), QPoint(D, D + 1)) << D << " at " << R;
      const QRect Dev(D % 9, D % 5, D / 5 + 1, D / 9 + 1);
      const QRect L = LogicalRect(Dev, R);
      ASSERT_TRUE(DeviceRect(L, R).contains(Dev)) << D << " at " << R;
      // No more than the one logical pixel each side needs.
      ASSERT_LE((L.width() - 2) * R, Dev.width()) << D << " at " << R;
      ASSERT_LT((LogicalLength(D, R) - 1) * R, D) << D << " at " << R;
      ASSERT_GE(LogicalLength(D, R) * R, D - 1e-9) << D << " at " << R;
    }
  EXPECT_EQ(LogicalLength(101, 2.0), 51);
  EXPECT_EQ(DeviceRect(QRect(1, 1, 3, 2), 1.5), QRect(1, 1, 5, 4));
}

TEST(ViewScale, PixelUnderAPointIsTheOneOfItsDevicePixelAtEveryZoom) {
  // The view at 1 is the reference: a scaled screen only divides the
  // pointer's positions.
  for (bool Tiled : {false, true})
    for (int32_t Z : {-3, -1, 0, 1, 3}) {
      TDib Dib(70, 45, pf8bit);
      Dib.Tiled = Tiled;
      Dib.SetZoom(Z);
      const TViewScale One = ViewScaleOf(Dib, 1.0);
      for (double R : Ratios) {
        const TViewScale S = ViewScaleOf(Dib, R);
        for (int D = -2; D < Dib.ZoomedWidth() + 3; ++D)
          ASSERT_EQ(S.PixelAt(QPointF(D / R, (D / 2) / R)), One.PixelAt(QPointF(D, D / 2)))
              << D << " zoom " << Z << " at " << R;
      }
    }
  TDib Dib(70, 45, pf8bit);
  EXPECT_EQ(ViewScaleOf(Dib, 2.0).PixelAt(QPointF(10.5, 3)), QPoint(21, 6));
  EXPECT_EQ(ViewScaleOf(Dib, 2.0).BoxSize(), QSize(35, 23));
}

TEST(ViewScale, CropOutlineLiesOnTheRectanglesDevicePixels) {
  for (double R : Ratios)
    for (int32_t Z : {-1, 0, 1, 2})
      for (const TCropRect& C : {TCropRect{0, 0, 10, 10}, TCropRect{5, 7, 21, 13}, TCropRect{3, 1, 1, 1}}) {
        const QPoint View(4, 9);
        const TFramePlace P = PlaceFrame(C, Z, View, R);
        const QPoint Corner(int(std::lround((P.Geometry.x() - View.x()) * R)),
                            int(std::lround((P.Geometry.y() - View.y()) * R)));
        SCOPED_TRACE(testing::Message() << C.Left << "," << C.Top << " zoom " << Z << " at " << R);
        EXPECT_EQ(P.Outline.translated(Corner), QRect(ImageToScreen(C.Left, Z), ImageToScreen(C.Top, Z),
                                                      ImageToScreen(C.Width, Z), ImageToScreen(C.Height, Z)));
        // The handles' room around it, in logical pixels.
        EXPECT_GE(P.Outline.left(), 3 * R - 1);
        EXPECT_GE(P.Geometry.width() * R - P.Outline.right() - 1, 3 * R - 1);
        if (R == 1.0) {
          EXPECT_EQ(P.Geometry, FrameGeometry(C, Z, View - QPoint(3, 3)));
        }
      }
}

// Black and white cells of Cell pixels.
std::unique_ptr<TDib> Checkers(int32_t W, int32_t H, int32_t Cell) {
  auto D = std::make_unique<TDib>(W, H, pf24bit);
  for (int32_t Y = 0; Y < H; ++Y)
    for (int32_t X = 0; X < W; ++X)
      D->SetPixelColor(X, Y, (X / Cell + Y / Cell) % 2 ? TColor(0xFFFFFF) : TColor(0x0000C0));
  return D;
}

QRgb Rgb(TColor C) { return qRgb(C & 0xFF, (C >> 8) & 0xFF, (C >> 16) & 0xFF); }

class HiDpi : public TMainFixture {
protected:
  void SetUp() override {
    TMainFixture::SetUp();
    Ratio = Main->ImgBox->devicePixelRatioF();
    if (!qEnvironmentVariableIsSet("QT_SCALE_FACTOR"))
      GTEST_SKIP() << "needs QT_SCALE_FACTOR";
    ASSERT_EQ(Ratio, qEnvironmentVariable("QT_SCALE_FACTOR").toDouble());
  }
  void Show(std::unique_ptr<TDib> D, int32_t Zoom) {
    Main->AdoptImage(std::move(D), QStringLiteral("t"));
    Main->SetZoom(Zoom);
    Main->WindowFit();
  }
  // Where the image's pixels are in a grab, device pixel by device pixel;
  // every other pixel is the background.
  ::testing::AssertionResult ShowsPixelForPixel(const QImage& Grab, QPoint At, int32_t Zoom, QRgb Back) const {
    const TDib& D = *Main->Image;
    const int F = Zoom + 1;
    for (int Y = 0; Y < Grab.height(); ++Y)
      for (int X = 0; X < Grab.width(); ++X) {
        const int Ix = X - At.x(), Iy = Y - At.y();
        const bool In = Ix >= 0 && Iy >= 0 && Ix < D.ZoomedWidth() && Iy < D.ZoomedHeight();
        const QRgb Want = In ? Rgb(D.GetPixelColor(Ix / F, Iy / F)) : Back;
        if (Grab.pixel(X, Y) != Want)
          return ::testing::AssertionFailure()
                 << "device pixel " << X << "," << Y << " is " << std::hex << Grab.pixel(X, Y) << ", not " << Want;
      }
    return ::testing::AssertionSuccess();
  }
  // The first pixel of the image in a grab of the window.
  static QPoint FirstNonBackground(const QImage& Grab, QRgb Back) {
    for (int Y = 0; Y < Grab.height(); ++Y)
      for (int X = 0; X < Grab.width(); ++X)
        if (Grab.pixel(X, Y) != Back)
          return {X, Y};
    return {-1, -1};
  }
  QRgb Back() const { return Main->palette().color(QPalette::Window).rgb(); }
  double Ratio = 1.0;
};

TEST_F(HiDpi, ViewDrawsEveryImagePixelOnItsOwnDevicePixels) {
  // Cells of 1 and 2 pixels: a second scaling would blur them or make
  // runs of other lengths.
  for (int32_t Cell : {1, 2})
    for (int32_t Z : {0, 1, 2}) {
      SCOPED_TRACE(testing::Message() << "cell " << Cell << " zoom " << Z << " at " << Ratio);
      Show(Checkers(41, 27, Cell), Z);
      const QPixmap Box = Main->ImgBox->grab();
      EXPECT_EQ(Box.devicePixelRatio(), Ratio);
      EXPECT_GE(Box.width(), Main->Image->ZoomedWidth());
      EXPECT_LE(Box.width(), Main->Image->ZoomedWidth() + std::ceil(Ratio));
      EXPECT_TRUE(ShowsPixelForPixel(Box.toImage(), {0, 0}, Z, Back()));
      // The window around it, with the box where the desktop puts it.
      const QImage Window = Main->grab().toImage();
      const QPoint At = FirstNonBackground(Window, Back());
      EXPECT_LE(std::abs(At.x() - Main->ImgBox->x() * Ratio), 1.0);
      EXPECT_TRUE(ShowsPixelForPixel(Window, At, Z, Back()));
      // Centered at odd logical offsets, which fall between device pixels
      // at fractional ratios.
      Main->resize(Main->ImgBox->size() + QSize(6, 2));
      ASSERT_EQ(Main->ImgBox->pos(), QPoint(3, 1));
      const QImage Moved = Main->grab().toImage();
      EXPECT_TRUE(ShowsPixelForPixel(Moved, FirstNonBackground(Moved, Back()), Z, Back()));
    }
}

TEST_F(HiDpi, FitAndWindowSizeCountTheScreensDevicePixels) {
  const QSize Screen = ScreenDeviceSize(Main.get());
  EXPECT_EQ(Screen, QGuiApplication::primaryScreen()->size() * Ratio);
  Show(Checkers(Screen.width() * 3 / 2, Screen.height() / 3, 4), 0);
  QTest::keyClick(Main.get(), Qt::Key_Return);
  Main->WindowFit();
  // Halved, to the screen's pixels; its logical pixels would have reduced
  // it further.
  EXPECT_EQ(Main->Image->Zoom(), -1);
  EXPECT_LE(Main->Image->ZoomedWidth(), Screen.width());
  EXPECT_FALSE(Main->HorzScrollBar->isVisible());
  EXPECT_GE(Main->ClientWidth() * Ratio, Main->Image->ZoomedWidth());
  EXPECT_LE(Main->ClientWidth() * Ratio, Main->Image->ZoomedWidth() + Ratio);
  EXPECT_EQ(Main->ImgBox->size(), ViewScaleOf(*Main->Image, Ratio).BoxSize());
}

TEST_F(HiDpi, ReadoutAndColorPickNameThePixelUnderThePointer) {
  auto D = std::make_unique<TDib>(64, 40, pf8bit);
  for (int32_t I = 0; I < 256; ++I)
    D->SetPaletteColor(I, TColor(I | (255 - I) << 8));
  for (int32_t Y = 0; Y < 40; ++Y)
    for (int32_t X = 0; X < 64; ++X)
      D->SetPixelValue(X, Y, uint32_t(X * 4 + Y) & 0xFF);
  Show(std::move(D), 0);
  Main->InfoItemClick();
  for (int32_t Z : {0, 1})
    for (QPoint Dev : {QPoint(21, 7), QPoint(0, 0), QPoint(63, 39), QPoint(33, 1)}) {
      Main->SetZoom(Z);
      const QPointF At(Dev.x() / Ratio, Dev.y() / Ratio);
      QMouseEvent E(QEvent::MouseMove, At, Main->ImgBox->mapToGlobal(At), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
      QCoreApplication::sendEvent(Main->ImgBox, &E);
      const QPoint Px(Dev.x() / (Z + 1), Dev.y() / (Z + 1));
      const int32_t Index = (Px.x() * 4 + Px.y()) & 0xFF;
      EXPECT_EQ(Main->InfoForm->PixelIndex, Index) << Dev.x() << "," << Dev.y() << " zoom " << Z;
      EXPECT_EQ(Main->PaletteIndexAt(At), Index);
    }
}

TEST_F(HiDpi, CropFrameTakesWholeDevicePixelsOfTheDrag) {
  for (int32_t Z : {0, 1}) {
    SCOPED_TRACE(testing::Message() << "zoom " << Z << " at " << Ratio);
    Show(Checkers(90, 60, 3), Z);
    Main->CropItemClick();
    auto* F = qobject_cast<TCropForm*>(Main->CropForm.data());
    ASSERT_TRUE(F);
    TRectBox* B = F->RectBox();
    B->SetRect({10, 8, 30, 20});
    // From the middle of the frame, 21 and 9 device pixels on.
    const QPointF Start = B->mapFromParent(QPointF(Main->ImgBox->pos()) + QPointF(25 * (Z + 1), 18 * (Z + 1)) / Ratio);
    B->MouseMove(Start, false);
    ASSERT_EQ(B->Mode, fmMove);
    B->MouseDown(Start);
    for (int Step = 1; Step <= 21; ++Step) {
      const QPointF Parent =
          QPointF(Main->ImgBox->pos()) + QPointF(25 * (Z + 1) + Step, 18 * (Z + 1) + Step * 9 / 21) / Ratio;
      B->MouseMove(B->mapFromParent(Parent), true);
    }
    B->MouseUp();
    EXPECT_EQ(B->Rect(), (TCropRect{10 + 21 / (Z + 1), 8 + 9 / (Z + 1), 30, 20}));
    EXPECT_EQ(F->SpinRect(), B->Rect());
    F->reject();
    ASSERT_TRUE(WaitFor([this] { return Main->CropForm.isNull(); }));
  }
}

TEST_F(HiDpi, FullScreenShowsAndShrinksToTheScreensDevicePixels) {
  const QSize Screen = ScreenDeviceSize(Main.get());
  Settings.FullScreenResample = 1;
  Show(Checkers(Screen.width() * 3 / 4, Screen.height() / 2, 1), 0);
  Main->FullScreen();
  ASSERT_TRUE(Main->FullScreenShowing());
  EXPECT_FALSE(Main->ScreenForm->Scaled) << "fits the device pixels, shown unscaled";
  const QImage Grab = Main->ScreenForm->grab().toImage();
  EXPECT_EQ(Grab.size(), Screen);
  const QRgb Black = Main->ScreenForm->palette().color(QPalette::Window).rgb();
  const QPoint At = FirstNonBackground(Grab, Black);
  EXPECT_EQ(At, QPoint((Screen.width() - Main->Image->Width()) / 2, (Screen.height() - Main->Image->Height()) / 2));
  EXPECT_TRUE(ShowsPixelForPixel(Grab, At, 0, Black));
  Main->FullScreen();
  // Larger than the screen: the copy is made at its device size.
  Show(Checkers(Screen.width() * 2, Screen.height(), 2), 0);
  Main->FullScreen();
  ASSERT_TRUE(Main->ScreenForm->ScaledImage);
  EXPECT_EQ(QSize(Main->ScreenForm->ScaledImage->Width(), Main->ScreenForm->ScaledImage->Height()),
            QSize(Screen.width(), Screen.height() / 2));
  Main->FullScreen();
}

} // namespace
