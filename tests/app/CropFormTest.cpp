#include <QAction>
#include <QImage>
#include <QScrollBar>
#include <QTest>

#include "AppTestUtil.h"
#include "Crop.h"
#include "DsSpinEdit.h"
#include "DsVCL.h"

namespace {

TEST(CropFrame, HoverModesFollowTheHandlesWithStrictBorders) {
  // A 40 x 30 frame: the middle bands are 17..22 across and 12..17 down.
  struct {
    int X, Y;
    TFrameMode Mode;
  } const Cases[] = {
      {0, 0, fmNone},     {1, 1, fmTopLeft},       {6, 6, fmTopLeft}, {7, 2, fmNone},        {7, 6, fmMove},
      {5, 15, fmLeft},    {5, 20, fmMove},         {3, 20, fmNone},   {2, 25, fmBottomLeft}, {39, 1, fmTopRight},
      {35, 15, fmRight},  {34, 28, fmBottomRight}, {40, 15, fmNone},  {0, 15, fmNone},       {20, 1, fmTop},
      {20, 29, fmBottom}, {16, 1, fmNone},         {23, 29, fmNone},  {20, 15, fmMove},      {32, 22, fmMove},
  };
  for (const auto& C : Cases)
    EXPECT_EQ(HoverMode(C.X, C.Y, 40, 30), C.Mode) << C.X << "," << C.Y;
  // A one-pixel rectangle is all corner handle.
  EXPECT_EQ(HoverMode(3, 3, 7, 7), fmTopLeft);
  EXPECT_EQ(ModeCursor(fmTopLeft), Qt::SizeFDiagCursor);
  EXPECT_EQ(ModeCursor(fmBottomLeft), Qt::SizeBDiagCursor);
  EXPECT_EQ(ModeCursor(fmNone), Qt::ArrowCursor);
}

TEST(CropFrame, ScreenAndImagePixelsAtEnlargingAndReducingZooms) {
  struct {
    int32_t Value, Zoom, Screen, Image;
  } const Cases[] = {{3, 1, 6, 1}, {-3, 1, -6, -1}, {3, 0, 3, 3}, {7, 6, 49, 1}, {1, -1, 0, 2}, {5, -3, 1, 20}};
  for (const auto& C : Cases) {
    EXPECT_EQ(ImageToScreen(C.Value, C.Zoom), C.Screen) << C.Value << " at " << C.Zoom;
    EXPECT_EQ(ScreenToImage(C.Value, C.Zoom), C.Image) << C.Value << " at " << C.Zoom;
  }
  const TCropRect R{3, 4, 10, 7};
  EXPECT_EQ(FrameGeometry(R, 1, {-3, -3}), QRect(3, 5, 26, 20));
  EXPECT_EQ(FrameGeometry(R, 0, {-3, -3}), QRect(0, 1, 16, 13));
  EXPECT_EQ(FrameGeometry(R, -1, {-3, -3}), QRect(-2, -1, 11, 9));
}

TEST(CropFrame, DragInEveryModeStaysInsideTheImage) {
  const QSize Image(100, 80), Start(50, 40);
  const TCropRect R{10, 10, 50, 40};
  struct {
    TFrameMode Mode;
    int32_t Dx, Dy;
    TCropRect Want;
  } const Cases[] = {
      {fmNone, 5, 5, R},
      {fmMove, 5, -3, {15, 7, 50, 40}},
      {fmMove, 100, 100, {50, 40, 50, 40}},
      {fmMove, -100, -100, {0, 0, 50, 40}},
      // The left handle past the right edge stops at a width of 1.
      {fmLeft, 60, 0, {59, 10, 1, 40}},
      {fmLeft, -30, 0, {0, 10, 60, 40}},
      {fmRight, 100, 0, {10, 10, 90, 40}},
      {fmRight, -100, 0, {10, 10, 1, 40}},
      {fmTop, 0, -5, {10, 5, 50, 45}},
      {fmTop, 0, 60, {10, 49, 50, 1}},
      {fmBottom, 0, 100, {10, 10, 50, 70}},
      {fmTopLeft, 3, 4, {13, 14, 47, 36}},
      {fmTopRight, 3, 4, {10, 14, 53, 36}},
      {fmBottomLeft, 3, 4, {13, 10, 47, 44}},
      {fmBottomRight, -3, -4, {10, 10, 47, 36}},
  };
  for (const auto& C : Cases)
    EXPECT_EQ(DragRect(R, C.Mode, C.Dx, C.Dy, Start, Image), C.Want) << int(C.Mode) << " " << C.Dx << "," << C.Dy;
  // The far edge counts from the size at the press, the near one from now.
  EXPECT_EQ(DragRect({10, 10, 55, 40}, fmRight, 3, 0, Start, Image), (TCropRect{10, 10, 53, 40}));
  // A typed width of 0 does not push the left edge out of the image.
  EXPECT_EQ(DragRect({0, 0, 0, 5}, fmLeft, 3, 0, {0, 5}, Image), (TCropRect{0, 0, 0, 5}));
}

class CropCommand : public TMainFixture {
protected:
  void SetUp() override {
    TMainFixture::SetUp();
    Settings.UndoEnabled = true;
    Main->ApplyUndoSetting();
    WriteBmp(File("a.bmp"), *Pattern24(40, 30));
    Main->LoadImage(QFile("a.bmp"), false);
    Before = Main->Image->Clone();
  }
  void TearDown() override {
    Settings.UndoEnabled = false;
    TMainFixture::TearDown();
  }

  TCropForm* Open() {
    Main->CropItemClick();
    return qobject_cast<TCropForm*>(Main->CropForm.data());
  }
  // In the order in which none of the values is cut.
  static void Spins(TCropForm* F, const TCropRect& R) {
    F->LeftSpin->SetValue(0);
    F->TopSpin->SetValue(0);
    F->WidthSpin->SetValue(R.Width);
    F->HeightSpin->SetValue(R.Height);
    F->LeftSpin->SetValue(R.Left);
    F->TopSpin->SetValue(R.Top);
  }
  // Where the frame must be for the spins at the present zoom and scroll.
  QRect Expected(TCropForm* F) const {
    return FrameGeometry(F->SpinRect(), Main->Image->Zoom(), Main->ImgBox->pos() - QPoint(3, 3));
  }
  // The pointer as it stays put on the screen while the frame moves under it.
  static void Press(TRectBox* B, const QPoint& InMain) {
    B->MouseMove(B->mapFromParent(InMain), false);
    B->MouseDown(B->mapFromParent(InMain));
  }
  static void MoveTo(TRectBox* B, const QPoint& InMain) { B->MouseMove(B->mapFromParent(InMain), true); }
  bool FormGone() {
    return WaitFor([this] { return Main->CropForm.isNull(); });
  }
  bool Enabled(const char* Name) const { return Main->Item(QLatin1String(Name))->isEnabled(); }

  std::unique_ptr<TDib> Before;
};

TEST_F(CropCommand, FrameAndSpinsAgreeAtEveryZoomAndScroll) {
  TCropForm* F = Open();
  ASSERT_TRUE(F);
  EXPECT_EQ(F->windowTitle(), QStringLiteral("Crop"));
  EXPECT_EQ(F->OkBtn->Caption(), QStringLiteral("Crop"));
  EXPECT_FALSE(F->OkBtn->isEnabled());
  TRectBox* B = F->RectBox();
  ASSERT_TRUE(B);
  EXPECT_EQ(B->objectName(), QStringLiteral("RectBox"));
  EXPECT_EQ(B->geometry(), Main->ImgBox->geometry().adjusted(-3, -3, 3, 3));
  Spins(F, {5, 4, 21, 11});
  EXPECT_EQ(B->Rect(), (TCropRect{5, 4, 21, 11}));
  for (int32_t Z : {1, -1, 3, -2, 0}) {
    Main->SetZoom(Z);
    EXPECT_EQ(B->geometry(), Expected(F)) << Z;
  }
  Main->SetZoom(4);
  Main->resize(90, 70);
  ASSERT_TRUE(Main->HorzScrollBar->isVisible());
  Main->ScrollBy(37, 23);
  EXPECT_LT(Main->ImgBox->x(), -30);
  EXPECT_EQ(B->geometry(), Expected(F));
  // Above the image, below the scroll bars.
  const QObjectList& Kids = Main->children();
  EXPECT_LT(Kids.indexOf(Main->ImgBox), Kids.indexOf(B));
  EXPECT_LT(Kids.indexOf(B), Kids.indexOf(Main->HorzScrollBar));
}

TEST_F(CropCommand, TypedValuesAreClampedAndDoubleClicksReset) {
  TCropForm* F = Open();
  ASSERT_TRUE(F);
  // With the width at W any left falls back to 0.
  F->LeftSpin->setText(QStringLiteral("5"));
  EXPECT_EQ(F->SpinRect(), (TCropRect{0, 0, 40, 30}));
  EXPECT_FALSE(F->OkBtn->isEnabled());
  F->WidthSpin->setText(QStringLiteral("25"));
  F->LeftSpin->setText(QStringLiteral("30"));
  EXPECT_EQ(F->LeftSpin->Value(), 15);
  F->WidthSpin->setText(QStringLiteral("35"));
  EXPECT_EQ(F->WidthSpin->Value(), 25);
  F->HeightSpin->setText(QStringLiteral("99"));
  EXPECT_EQ(F->HeightSpin->Value(), 30);
  F->TopSpin->setText(QStringLiteral("12"));
  EXPECT_EQ(F->TopSpin->Value(), 0);
  EXPECT_TRUE(F->OkBtn->isEnabled());
  EXPECT_EQ(F->RectBox()->Rect(), F->SpinRect());
  // An empty rectangle is no crop.
  F->HeightSpin->setText(QStringLiteral("0"));
  EXPECT_FALSE(F->OkBtn->isEnabled());
  F->CropBtnClick();
  EXPECT_EQ(Main->Image->Height(), 30);
  F->HeightSpinDblClick();
  EXPECT_EQ(F->HeightSpin->Value(), 30);
  F->LeftSpinDblClick();
  EXPECT_EQ(F->LeftSpin->Value(), 0);
  F->WidthSpinDblClick();
  EXPECT_EQ(F->SpinRect(), (TCropRect{0, 0, 40, 30}));
  EXPECT_FALSE(F->OkBtn->isEnabled());
}

TEST_F(CropCommand, DraggingTheHandlesWritesTheSpins) {
  TCropForm* F = Open();
  ASSERT_TRUE(F);
  TRectBox* B = F->RectBox();
  const QPoint Box = Main->ImgBox->pos();
  // The left handle far past the right edge.
  Press(B, Box + QPoint(0, 15));
  EXPECT_EQ(B->Mode, fmLeft);
  MoveTo(B, Box + QPoint(80, 15));
  B->MouseUp();
  EXPECT_EQ(F->SpinRect(), (TCropRect{39, 0, 1, 30}));
  EXPECT_EQ(B->geometry(), Expected(F));
  EXPECT_TRUE(F->OkBtn->isEnabled());
  // The whole frame beyond the image stops at its border.
  Spins(F, {5, 5, 10, 10});
  Press(B, Box + QPoint(10, 10));
  EXPECT_EQ(B->Mode, fmMove);
  MoveTo(B, Box + QPoint(-50, -50));
  EXPECT_EQ(F->SpinRect(), (TCropRect{0, 0, 10, 10}));
  MoveTo(B, Box + QPoint(200, 200));
  B->MouseUp();
  EXPECT_EQ(F->SpinRect(), (TCropRect{30, 20, 10, 10}));
  EXPECT_EQ(B->DragX, -1);
  EXPECT_EQ(B->Mode, fmNone);
}

TEST_F(CropCommand, DragStepsFollowTheZoom) {
  TCropForm* F = Open();
  ASSERT_TRUE(F);
  TRectBox* B = F->RectBox();
  Spins(F, {10, 10, 10, 10});
  Main->SetZoom(1);
  // Two screen pixels per image pixel: 3 pixels move an edge by 1.
  QPoint At = B->mapToParent(QPoint(B->width() - 3, B->height() / 2));
  Press(B, At);
  ASSERT_EQ(B->Mode, fmRight);
  MoveTo(B, At + QPoint(3, 0));
  EXPECT_EQ(F->WidthSpin->Value(), 11);
  MoveTo(B, At + QPoint(4, 0));
  EXPECT_EQ(F->WidthSpin->Value(), 12);
  B->MouseUp();
  At = B->mapToParent(QPoint(B->width() / 2, B->height() / 2));
  Press(B, At);
  ASSERT_EQ(B->Mode, fmMove);
  MoveTo(B, At + QPoint(3, -3));
  B->MouseUp();
  EXPECT_EQ(F->SpinRect(), (TCropRect{11, 9, 12, 10}));
  EXPECT_EQ(B->geometry(), Expected(F));
  // Two image pixels per screen pixel.
  Main->SetZoom(-1);
  At = B->mapToParent(QPoint(3, B->height() - 1));
  Press(B, At);
  ASSERT_EQ(B->Mode, fmBottomLeft);
  MoveTo(B, At + QPoint(-1, 2));
  B->MouseUp();
  EXPECT_EQ(F->SpinRect(), (TCropRect{9, 9, 14, 14}));
  EXPECT_EQ(B->geometry(), Expected(F));
}

TEST_F(CropCommand, CropOfEveryPixelFormatKeepsTheRectangleAndUndoes) {
  for (TPixelFormat Pf : {pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit}) {
    auto Src = std::make_unique<TDib>(13, 9, Pf);
    const uint32_t Mod = Pf == pf1bit ? 2 : Pf == pf4bit ? 16 : Pf == pf8bit ? 256 : 0x7FFF;
    for (int32_t I = 0; I < Src->PaletteSize(); ++I)
      Src->SetPaletteColor(I, TColor(I * 37 % 256 | (255 - I) << 8));
    for (int32_t Y = 0; Y < 9; ++Y)
      for (int32_t X = 0; X < 13; ++X)
        Src->SetPixelValue(X, Y, uint32_t(X * 7 + Y * 131 + X * Y) % Mod);
    const std::unique_ptr<TDib> Orig = Src->Clone();
    Main->AdoptImage(std::move(Src), QStringLiteral("x"));
    TCropForm* F = Open();
    ASSERT_TRUE(F) << int(Pf);
    Spins(F, {3, 2, 7, 5});
    F->OkBtn->click();
    ASSERT_EQ(Main->Image->Width(), 7) << int(Pf);
    ASSERT_EQ(Main->Image->Height(), 5);
    EXPECT_EQ(Main->Image->PixelFormat(), Pf);
    for (int32_t Y = 0; Y < 5; ++Y)
      for (int32_t X = 0; X < 7; ++X)
        ASSERT_EQ(Main->Image->GetPixelValue(X, Y), Orig->GetPixelValue(X + 3, Y + 2)) << int(Pf) << " " << X;
    EXPECT_EQ(Main->ImgBox->size(), QSize(Main->Image->ZoomedWidth(), Main->Image->ZoomedHeight()));
    EXPECT_FALSE(Main->ModalLock);
    ASSERT_TRUE(FormGone());
    ASSERT_TRUE(Enabled("UndoItem"));
    Main->UndoItemClick();
    EXPECT_TRUE(SamePixels(*Main->Image, *Orig)) << int(Pf);
    EXPECT_FALSE(Enabled("UndoItem"));
  }
}

TEST_F(CropCommand, KeysMoveTheEdgesAndLeaveTheKeypadToScrolling) {
  TCropForm* F = Open();
  ASSERT_TRUE(F);
  // The full rectangle leaves no room to move an edge first.
  Main->FormKeyDown(Qt::Key_Down, Qt::NoModifier);
  EXPECT_EQ(F->SpinRect(), (TCropRect{0, 0, 40, 30}));
  struct {
    int Key;
    Qt::KeyboardModifiers Mods;
    TCropRect Want;
  } const Steps[] = {
      {Qt::Key_Up, Qt::ShiftModifier, {0, 0, 40, 29}},    {Qt::Key_Down, Qt::NoModifier, {0, 1, 40, 29}},
      {Qt::Key_Left, Qt::ShiftModifier, {0, 1, 39, 29}},  {Qt::Key_Right, Qt::NoModifier, {1, 1, 39, 29}},
      {Qt::Key_Right, Qt::ShiftModifier, {1, 1, 39, 29}}, {Qt::Key_Down, Qt::ShiftModifier, {1, 1, 39, 29}},
      {Qt::Key_Left, Qt::NoModifier, {0, 1, 39, 29}},     {Qt::Key_Left, Qt::NoModifier, {0, 1, 39, 29}},
      {Qt::Key_Up, Qt::KeypadModifier, {0, 1, 39, 29}},   {Qt::Key_2, Qt::KeypadModifier, {0, 1, 39, 29}},
      {Qt::Key_Up, Qt::ControlModifier, {0, 1, 39, 29}},  {Qt::Key_Left, Qt::ShiftModifier, {0, 1, 38, 29}},
  };
  for (const auto& S : Steps) {
    Main->FormKeyDown(S.Key, S.Mods);
    EXPECT_EQ(F->SpinRect(), S.Want) << S.Key << " " << int(S.Mods);
  }
  EXPECT_EQ(F->RectBox()->Rect(), F->SpinRect());
  // Through the window's own key handling too.
  QTest::keyClick(Main.get(), Qt::Key_Right);
  EXPECT_EQ(F->LeftSpin->Value(), 1);
  const int32_t Zoom = Main->Image->Zoom();
  Main->FormKeyDown(Qt::Key_Return, Qt::NoModifier);
  EXPECT_EQ(Main->Image->Zoom(), Zoom);
  EXPECT_EQ(Main->Image->Width(), 38);
  EXPECT_EQ(Main->Image->Height(), 29);
  EXPECT_TRUE(FormGone());
  // Enter with nothing to crop keeps the dialog and the zoom; Esc closes.
  F = Open();
  ASSERT_TRUE(F);
  Main->FormKeyDown(Qt::Key_Enter, Qt::KeypadModifier);
  EXPECT_EQ(Main->CropForm.data(), F);
  EXPECT_EQ(Main->Image->Zoom(), Zoom);
  Main->FormKeyDown(Qt::Key_Escape, Qt::NoModifier);
  EXPECT_FALSE(Main->ModalLock);
  EXPECT_TRUE(FormGone());
  EXPECT_EQ(Main->Image->Width(), 38);
}

TEST_F(CropCommand, DialogKeysAndADoubleClickOnTheFrame) {
  TCropForm* F = Open();
  ASSERT_TRUE(F);
  QTest::keyClick(F->LeftSpin, Qt::Key_Return);
  EXPECT_EQ(Main->CropForm.data(), F);
  F->WidthSpin->SetValue(20);
  QTest::keyClick(F->WidthSpin, Qt::Key_Up);
  EXPECT_EQ(F->WidthSpin->Value(), 21);
  TRectBox* B = F->RectBox();
  QTest::mouseDClick(B, Qt::LeftButton, {}, QPoint(B->width() / 2, B->height() / 2));
  EXPECT_TRUE(FormGone());
  EXPECT_EQ(Main->Image->Width(), 21);
  F = Open();
  ASSERT_TRUE(F);
  QTest::keyClick(F->CancelBtn, Qt::Key_Escape);
  EXPECT_TRUE(FormGone());
  EXPECT_FALSE(Main->ModalLock);
}

TEST_F(CropCommand, WhileOpenOtherCommandsAreRefusedAndEveryCloseEndsTheLock) {
  Main->ListForm->show();
  TCropForm* F = Open();
  ASSERT_TRUE(F);
  EXPECT_TRUE(F->isVisible());
  EXPECT_TRUE(Main->ModalLock);
  EXPECT_FALSE(Main->acceptDrops());
  EXPECT_FALSE(Main->ListForm->isVisible());
  Spins(F, {1, 1, 5, 5});
  Main->InvertItemClick();
  Main->CropItemClick();
  Main->ConvGrayItemClick();
  EXPECT_EQ(Main->CropForm.data(), F);
  EXPECT_TRUE(Main->ConvertForm.isNull());
  EXPECT_TRUE(SamePixels(*Main->Image, *Before));
  // Beside the frame the image neither pans nor takes the press.
  QTest::mousePress(Main->ImgBox, Qt::LeftButton, {}, QPoint(30, 25));
  EXPECT_FALSE(Main->Dragging);
  QTest::mouseRelease(Main->ImgBox, Qt::LeftButton, {}, QPoint(30, 25));
  // The close box: as Cancel.
  F->close();
  EXPECT_FALSE(Main->ModalLock);
  EXPECT_TRUE(Main->acceptDrops());
  EXPECT_TRUE(Main->ListForm->isVisible());
  EXPECT_TRUE(FormGone());
  EXPECT_TRUE(WaitFor([this] { return Main->findChild<TRectBox*>() == nullptr; }));
  EXPECT_TRUE(SamePixels(*Main->Image, *Before));
  F = Open();
  ASSERT_TRUE(F);
  F->CancelBtn->click();
  EXPECT_FALSE(Main->ModalLock);
  EXPECT_TRUE(FormGone());
  ASSERT_TRUE(Open());
  Main->close();
  EXPECT_FALSE(Main->ModalLock);
  EXPECT_TRUE(FormGone());
}

TEST_F(CropCommand, TheFrameInvertsTheImageItLiesOn) {
  TCropForm* F = Open();
  ASSERT_TRUE(F);
  Spins(F, {5, 5, 20, 10});
  const QImage Shot = Main->grab().toImage();
  const QPoint Box = Main->ImgBox->pos();
  // On the top edge between two handles: image pixel (10, 5) is (10, 5, 7).
  EXPECT_EQ(Shot.pixel(Box + QPoint(10, 5)), qRgb(245, 250, 248));
  EXPECT_EQ(Shot.pixel(Box + QPoint(10, 10)), qRgb(10, 10, 7));
}

} // namespace
