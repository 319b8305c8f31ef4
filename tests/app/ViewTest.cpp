#include <QAction>
#include <QImage>
#include <QScrollBar>
#include <QTest>
#include <cmath>

#include "AppTestUtil.h"
#include "PainterSurface.h"

namespace {

// Records where each stretch lands on the screen, as the painter surface
// would draw it.
class TTargetRecorder : public TDrawSurface {
public:
  TRect Clip;
  std::vector<QRectF> Targets;
  const TDib* Dib = nullptr;
  TRect ClipRect() const override { return Clip; }
  void StretchDib(const TDib& D, int32_t Dx, int32_t Dy, int32_t Dw, int32_t Dh, int32_t Sx, int32_t Sy, int32_t Sw,
                  int32_t Sh) override {
    TStretchPart P;
    if (StretchPart(D, Dx, Dy, Dw, Dh, Sx, Sy, Sw, Sh, P))
      Targets.push_back(P.Target);
  }
};

// How often each pixel of Area is drawn (by its center), row by row.
std::vector<int> Coverage(const std::vector<QRectF>& Targets, const QRect& Area) {
  std::vector<int> Hits(size_t(Area.width()) * size_t(Area.height()), 0);
  for (const QRectF& T : Targets) {
    // Pixels whose centers lie in [left, right) x [top, bottom).
    const int X0 = std::max(Area.left(), int(std::ceil(T.left() - 0.5)));
    const int X1 = std::min(Area.right() + 1, int(std::ceil(T.right() - 0.5)));
    const int Y0 = std::max(Area.top(), int(std::ceil(T.top() - 0.5)));
    const int Y1 = std::min(Area.bottom() + 1, int(std::ceil(T.bottom() - 0.5)));
    for (int Y = Y0; Y < Y1; ++Y)
      for (int X = X0; X < X1; ++X)
        ++Hits[size_t(Y - Area.top()) * size_t(Area.width()) + size_t(X - Area.left())];
  }
  return Hits;
}

TEST(ViewDrawing, EveryScreenPixelOfTheBoxIsDrawnOnceAtEveryZoom) {
  for (bool Tiled : {false, true})
    for (auto [W, H] : {std::pair{130, 77}, {64, 64}, {203, 90}})
      for (int32_t Z = -7; Z <= 7; ++Z) {
        TDib Dib(W, H, pf8bit);
        Dib.Tiled = Tiled;
        Dib.SetZoom(Z);
        const int32_t Zw = Dib.ZoomedWidth(), Zh = Dib.ZoomedHeight();
        if (Zw == 0 || Zh == 0)
          continue;
        TTargetRecorder S;
        Dib.Canvas = &S;
        S.Clip = {0, 0, Zw, Zh};
        Dib.DrawZoomed();
        SCOPED_TRACE(testing::Message() << W << "x" << H << " zoom " << Z << (Tiled ? " tiled" : ""));
        const std::vector<int> Hits = Coverage(S.Targets, QRect(-2, -2, Zw + 4, Zh + 4));
        for (int Y = -2; Y < Zh + 2; ++Y)
          for (int X = -2; X < Zw + 2; ++X) {
            const bool Inside = X >= 0 && Y >= 0 && X < Zw && Y < Zh;
            const int Got = Hits[size_t(Y + 2) * size_t(Zw + 4) + size_t(X + 2)];
            // Reductions round the zoomed size down: the source pixels left
            // over may reach past the box's edge, by less than a screen pixel.
            if (Inside) {
              ASSERT_EQ(Got, 1) << "at " << X << "," << Y;
            } else {
              ASSERT_LE(Got, Z < 0 ? 1 : 0) << "at " << X << "," << Y;
            }
          }
        for (const QRectF& T : S.Targets) {
          ASSERT_GT(T.left(), -1.0);
          ASSERT_GT(T.top(), -1.0);
          ASSERT_LT(T.right(), Zw + 1.0);
          ASSERT_LT(T.bottom(), Zh + 1.0);
        }
      }
}

class View : public TMainFixture {
protected:
  void Open(int32_t W, int32_t H, const char* Name = "v.bmp") {
    WriteBmp(File(Name), *Pattern24(W, H));
    Main->LoadImage(QFile(Name), false);
  }
};

TEST_F(View, FitZoomAndTilingFollowTheSettings) {
  EXPECT_EQ(FitZoom(3000, 500, 1024, 768), -2);
  EXPECT_EQ(FitZoom(800, 600, 1024, 768), 0);
  EXPECT_EQ(FitZoom(1024 * 20, 10, 1024, 768), -7);
  EXPECT_EQ(FitZoom(100, 100, 0, 0), 0);

  // 1000 x 1024 at 24 bits is 3 072 000 bytes: exactly three units.
  Main->Image = std::make_unique<TDib>(1000, 1024, pf24bit);
  Settings.TileThreshold = 3;
  Settings.TileMode = 1;
  Main->ChooseTiling();
  EXPECT_FALSE(Main->Image->Tiled) << "the limit itself is not above the limit";
  Main->Image = std::make_unique<TDib>(1000, 1025, pf24bit);
  Main->ChooseTiling();
  EXPECT_TRUE(Main->Image->Tiled);
  Settings.TileMode = 0;
  Main->ChooseTiling();
  EXPECT_FALSE(Main->Image->Tiled);
  Main->Image = std::make_unique<TDib>(2, 2, pf1bit);
  Settings.TileMode = 2;
  Main->ChooseTiling();
  EXPECT_TRUE(Main->Image->Tiled);
}

TEST_F(View, ZoomStepsSetCaptionItemAndStopAtTheEnds) {
  Open(60, 40);
  for (int32_t Z = -7; Z <= 7; ++Z) {
    Main->SetZoom(Z);
    EXPECT_EQ(Main->Image->Zoom(), Z);
    const QString Name = Z >= 0 ? QStringLiteral("z%1").arg((Z + 1) * 10 + 1) : QStringLiteral("z1%1").arg(1 - Z);
    ASSERT_NE(Main->Item(Name), nullptr) << Name.toStdString();
    EXPECT_TRUE(Main->Item(Name)->isChecked()) << Z;
  }
  const QString Caption = Main->windowTitle();
  EXPECT_TRUE(Caption.endsWith("[8:1]")) << Caption.toStdString();
  Main->SetZoom(8);
  EXPECT_EQ(Main->Image->Zoom(), 7);
  EXPECT_EQ(Main->windowTitle(), Caption);
  Main->SetZoom(-7);
  Main->SetZoom(-8);
  EXPECT_EQ(Main->Image->Zoom(), -7);
  EXPECT_TRUE(Main->windowTitle().endsWith("[1/8]"));
  // The zoom items run the same step.
  Main->Item("z41")->trigger();
  EXPECT_EQ(Main->Image->Zoom(), 3);
  EXPECT_EQ(Main->ImgBox->size(), QSize(240, 160));
  Main->ShowSplash();
  Main->SetZoom(3);
  EXPECT_EQ(Main->Image->Zoom(), 0) << "nothing open, nothing zooms";
}

TEST_F(View, BoxSitsAtTheCenteringOffsetMinusTheScrollPosition) {
  Open(100, 80);
  Main->resize(300, 200);
  Main->FormResize();
  EXPECT_EQ(Main->ImgBox->geometry(), QRect(100, 60, 100, 80));
  Main->SetZoom(3); // 400 x 320 in a 300 x 200 window
  ASSERT_TRUE(Main->HorzScrollBar->isVisible());
  ASSERT_TRUE(Main->VertScrollBar->isVisible());
  Main->HorzScrollBar->setValue(30);
  Main->VertScrollBar->setValue(50);
  EXPECT_EQ(Main->ImgBox->geometry(), QRect(-30, -50, 400, 320));
  EXPECT_EQ(Main->HorzScrollBar->maximum(), 400 - Main->ClientWidth());
  // Wider than the window but lower: centered vertically only.
  Main->SetZoom(0);
  Main->resize(90, 200);
  Main->SetZoom(0);
  EXPECT_EQ(Main->ImgBox->y(), (Main->ClientHeight() - 80) / 2);
  EXPECT_EQ(Main->ImgBox->x(), -Main->HorzScrollBar->value());
}

TEST_F(View, QuarterTurnAndUndoCentreTheBoxBesideTheBars) {
  Settings.UndoEnabled = true;
  Main->ApplyUndoSetting();
  Open(150, 90);
  Main->resize(200, 100);
  Main->FormResize();
  ASSERT_FALSE(Main->VertScrollBar->isVisible());
  const auto Centred = [&] {
    return QRect((Main->ClientWidth() - Main->Image->ZoomedWidth()) / 2, 0, Main->Image->ZoomedWidth(),
                 Main->Image->ZoomedHeight());
  };
  Main->RotateClick(1); // 90 x 150: taller than the window, narrower
  ASSERT_TRUE(Main->VertScrollBar->isVisible());
  EXPECT_EQ(Main->ImgBox->geometry(), Centred());
  Main->RotateClick(1);
  Main->UndoItemClick(); // back to 90 x 150 through the history
  ASSERT_EQ(Main->Image->Width(), 90);
  ASSERT_TRUE(Main->VertScrollBar->isVisible());
  EXPECT_EQ(Main->ImgBox->geometry(), Centred());
  Settings.UndoEnabled = false;
}

TEST_F(View, ZoomingKeepsTheMiddleInView) {
  Open(1000, 800);
  Main->resize(400, 300);
  Main->SetZoom(0);
  Main->HorzScrollBar->setValue(500 - Main->ClientWidth() / 2);
  Main->VertScrollBar->setValue(400 - Main->ClientHeight() / 2);
  for (int32_t Z : {1, 3, -1, 0}) {
    Main->SetZoom(Z);
    // The image point at the middle of the client area.
    const QPoint Mid(Main->ClientWidth() / 2 - Main->ImgBox->x(), Main->ClientHeight() / 2 - Main->ImgBox->y());
    const double F = Z >= 0 ? 1.0 / (Z + 1) : 1 - Z;
    EXPECT_NEAR(Mid.x() * F, 500, 2) << "zoom " << Z;
    EXPECT_NEAR(Mid.y() * F, 400, 2) << "zoom " << Z;
  }
}

TEST_F(View, WindowFitGivesTheClientAreaTheZoomedSize) {
  Open(60, 40);
  for (int32_t Z = -3; Z <= 7; ++Z) {
    Main->SetZoom(Z);
    Main->WindowFit();
    EXPECT_EQ(Main->size(), QSize(Main->Image->ZoomedWidth(), Main->Image->ZoomedHeight())) << "zoom " << Z;
    EXPECT_FALSE(Main->HorzScrollBar->isVisible());
    EXPECT_EQ(Main->ImgBox->geometry(), Main->rect());
  }
}

TEST_F(View, PartialRepaintsMatchTheWholePicture) {
  Open(100, 100);
  Main->SetZoom(2);
  Main->WindowFit();
  const QImage Whole = Main->ImgBox->grab().toImage();
  for (QRect Part : {QRect(31, 0, 30, 30), QRect(100, 95, 7, 50), QRect(1, 1, 1, 1)}) {
    const QImage Piece = Main->ImgBox->grab(Part).toImage();
    ASSERT_EQ(Piece, Whole.copy(Part)) << Part.x() << "," << Part.y();
  }
}

} // namespace
