#include <QAction>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScreen>
#include <QTest>
#include <QWindow>
#include <cmath>
#include <cstdio>

#include "AppTestUtil.h"
#include "DibResample.h"

namespace {

constexpr TColor Red = 0x0000FF, Blue = 0xFF0000;

std::unique_ptr<TDib> Solid(int32_t W, int32_t H, TColor C) {
  auto D = std::make_unique<TDib>(W, H, pf24bit);
  D->Fill(C);
  return D;
}

// Fine detail, where the filters differ.
std::unique_ptr<TDib> Checkers(int32_t W, int32_t H) {
  auto D = std::make_unique<TDib>(W, H, pf24bit);
  for (int32_t Y = 0; Y < H; ++Y)
    for (int32_t X = 0; X < W; ++X)
      D->SetPixelColor(X, Y, (X / 3 + Y) % 2 ? TColor(0xFFFFFF) : TColor(0x203040));
  return D;
}

QRgb Rgb(TColor C) { return qRgb(C & 0xFF, (C >> 8) & 0xFF, (C >> 16) & 0xFF); }

TEST(FullScreenFit, ShrinksByTheSmallerRatioAndNeverEnlarges) {
  struct TCase {
    int32_t W, H, Aw, Ah;
    bool Fits;
    int32_t Fw, Fh;
  };
  const TCase Cases[] = {
      {800, 600, 800, 600, true, 800, 600},       // exactly the screen
      {100, 50, 800, 600, true, 100, 50},         // smaller: as it is
      {801, 600, 800, 600, false, 800, 599},      // one wider: round(600 * 800 / 801)
      {800, 601, 800, 600, false, 799, 600},      // one taller
      {6000, 4000, 1280, 1024, false, 1280, 853}, // wide
      {2000, 4000, 1280, 1024, false, 512, 1024}, // tall
      {3000, 2000, 1280, 1024, false, 1280, 853}, {20000, 1, 800, 600, false, 800, 1}, // a sliver keeps a row
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(testing::Message() << C.W << "x" << C.H << " on " << C.Aw << "x" << C.Ah);
    const TScreenFit F = FitToArea(C.W, C.H, C.Aw, C.Ah);
    EXPECT_EQ(F.Fits, C.Fits);
    EXPECT_EQ(F.Width, C.Fw);
    EXPECT_EQ(F.Height, C.Fh);
    EXPECT_EQ(F.Width, C.Fits ? C.W : std::lround(C.W * std::min(float(C.Aw) / C.W, float(C.Ah) / C.H)));
  }
  // Centering truncates: an odd margin leaves its extra pixel on the right.
  EXPECT_EQ(CenteredIn(101, 50, 800, 600), QPoint(349, 275));
  EXPECT_EQ(CenteredIn(800, 600, 800, 600), QPoint(0, 0));
  EXPECT_EQ(FullScreenFilter(1), rfBox);
  EXPECT_EQ(FullScreenFilter(2), rfMitchell);
}

// A full-screen window on an area of its own, showing Image.
class FullScreenForm : public TMainFixture {
protected:
  void SetUp() override {
    TMainFixture::SetUp();
    Form = std::make_unique<TScreenForm>();
    Form->OnImage = [this] { return Image.get(); };
    Form->SetBackground(QColor(Rgb(Blue)));
  }
  void TearDown() override {
    Form.reset();
    TMainFixture::TearDown();
  }
  // The form as painted on an area of W x H.
  QImage Painted(int W, int H) {
    Form->SetArea(QRect(0, 0, W, H));
    Form->resize(W, H);
    Form->PrepareScaled();
    return Form->grab().toImage();
  }
  std::unique_ptr<TScreenForm> Form;
  std::unique_ptr<TDib> Image;
};

TEST_F(FullScreenForm, MakesACopyOnlyWhenTheSettingAsksAndTheImageIsLarger) {
  struct TCase {
    int32_t W, H, Setting;
    bool Scaled;
    int32_t Sw, Sh;
  };
  const TCase Cases[] = {
      {800, 600, 2, false, 0, 0}, {801, 600, 1, true, 800, 599}, {801, 600, 2, true, 800, 599},
      {801, 600, 0, false, 0, 0}, {100, 60, 2, false, 0, 0},     {500, 1200, 2, true, 250, 600},
  };
  Form->SetArea(QRect(0, 0, 800, 600));
  for (const TCase& C : Cases) {
    SCOPED_TRACE(testing::Message() << C.W << "x" << C.H << " setting " << C.Setting);
    Settings.FullScreenResample = C.Setting;
    Image = Checkers(C.W, C.H);
    Form->PrepareScaled();
    EXPECT_EQ(Form->Scaled, C.Scaled);
    ASSERT_EQ(Form->ScaledImage != nullptr, C.Scaled);
    if (!C.Scaled)
      continue;
    EXPECT_EQ(Form->ScaledImage->Width(), C.Sw);
    EXPECT_EQ(Form->ScaledImage->Height(), C.Sh);
    EXPECT_EQ(Form->ScaledImage->PixelFormat(), pf24bit);
    EXPECT_EQ(Form->ScaledImage->Canvas, Form->Canvas());
  }
  Form->ReleaseScaled();
  EXPECT_FALSE(Form->Scaled);
  EXPECT_FALSE(Form->ScaledImage);
}

TEST_F(FullScreenForm, TheSettingChoosesBoxOrMitchell) {
  Image = Checkers(801, 600);
  Form->SetArea(QRect(0, 0, 800, 600));
  std::unique_ptr<TDib> Box, Mitchell;
  ScaledPreview(*Image, Box, 800, FilterDef(rfBox).Support, rfBox, 599);
  ScaledPreview(*Image, Mitchell, 800, FilterDef(rfMitchell).Support, rfMitchell, 599);
  ASSERT_FALSE(SamePixels(*Box, *Mitchell)) << "the pattern tells the filters apart";
  Settings.FullScreenResample = 1;
  Form->PrepareScaled();
  ASSERT_TRUE(Form->ScaledImage);
  EXPECT_TRUE(SamePixels(*Form->ScaledImage, *Box));
  Settings.FullScreenResample = 2;
  Form->PrepareScaled();
  ASSERT_TRUE(Form->ScaledImage);
  EXPECT_TRUE(SamePixels(*Form->ScaledImage, *Mitchell));
}

TEST_F(FullScreenForm, PaintsCenteredOnTheBackground) {
  const QRgb Back = Rgb(Blue), Fore = Rgb(Red);
  // Rows across the picture's top and bottom edges at x, and one pixel past them.
  auto ExpectBand = [&](const QImage& Shot, int X, int Top, int Bottom) {
    EXPECT_EQ(Shot.pixel(X, Top - 1), Back) << "above " << Top;
    EXPECT_EQ(Shot.pixel(X, Top), Fore) << "top " << Top;
    EXPECT_EQ(Shot.pixel(X, Bottom - 1), Fore) << "bottom " << Bottom;
    EXPECT_EQ(Shot.pixel(X, Bottom), Back) << "below " << Bottom;
  };
  for (int32_t Setting : {0, 1, 2}) {
    SCOPED_TRACE(testing::Message() << "setting " << Setting);
    Settings.FullScreenResample = Setting;
    // Smaller: at 1:1 whatever the setting, at ((200 - 51) div 2, (100 - 31) div 2).
    Image = Solid(51, 31, Red);
    QImage Shot = Painted(200, 100);
    EXPECT_EQ(Shot.pixel(74, 34), Fore);
    EXPECT_EQ(Shot.pixel(73, 34), Back);
    EXPECT_EQ(Shot.pixel(124, 64), Fore);
    EXPECT_EQ(Shot.pixel(125, 64), Back);
    ExpectBand(Shot, 100, 34, 65);
    EXPECT_FALSE(Form->Scaled);
    // Larger: 400 x 100 shrinks to 200 x 50 at (0, 25), copied or stretched.
    Image = Solid(400, 100, Red);
    Shot = Painted(200, 100);
    EXPECT_EQ(Form->Scaled, Setting > 0);
    ExpectBand(Shot, 0, 25, 75);
    ExpectBand(Shot, 199, 25, 75);
    // Exactly the area: at 0, 0, unscaled.
    Image = Checkers(200, 100);
    Shot = Painted(200, 100);
    EXPECT_FALSE(Form->Scaled);
    EXPECT_EQ(Shot.pixel(0, 0), Rgb(Image->GetPixelColor(0, 0)));
    EXPECT_EQ(Shot.pixel(5, 7), Rgb(Image->GetPixelColor(5, 7)));
    EXPECT_EQ(Shot.pixel(199, 99), Rgb(Image->GetPixelColor(199, 99)));
  }
  Image.reset();
  EXPECT_EQ(Painted(20, 10).pixel(10, 5), Back) << "no image: the background alone";
}

TEST_F(FullScreenForm, AChangedImageIsResampledBeforeItIsDrawn) {
  Settings.FullScreenResample = 2;
  Image = Solid(400, 100, Red);
  QImage Shot = Painted(200, 100);
  EXPECT_EQ(Shot.pixel(100, 50), Rgb(Red));
  // Changed in place: the copy of the red image must not be drawn any more.
  Image->Fill(0x00FF00);
  Form->ImageChanged();
  Shot = Form->grab().toImage();
  EXPECT_EQ(Shot.pixel(100, 50), qRgb(0, 255, 0));
  ASSERT_TRUE(Form->ScaledImage);
  EXPECT_EQ(Form->ScaledImage->GetPixelColor(10, 10), TColor(0x00FF00));
  // Replaced by one that fits: no copy is kept.
  Image = Solid(20, 10, Red);
  Form->ImageChanged();
  Shot = Form->grab().toImage();
  EXPECT_FALSE(Form->ScaledImage);
  EXPECT_EQ(Shot.pixel(100, 50), Rgb(Red));
}

// The main window with a folder of images, a.bmp and b.bmp larger than the
// screen and c.bmp smaller.
class FullScreen : public TMainFixture {
protected:
  void SetUp() override {
    TMainFixture::SetUp();
    Screen = QGuiApplication::primaryScreen()->geometry();
    ASSERT_GT(Screen.width(), 100);
    WriteBmp(Folder / "a.bmp", *Solid(Screen.width() + 200, Screen.height() / 2, Red));
    WriteBmp(Folder / "b.bmp", *Solid(Screen.width() / 2, Screen.height() * 2, Blue));
    WriteBmp(Folder / "c.bmp", *Solid(40, 30, 0x00FF00));
    Settings.FullScreenResample = 2;
    Main->LoadImage(QFile("a.bmp"), false);
    ASSERT_TRUE(Main->Image);
  }
  TScreenForm& Form() const { return *Main->ScreenForm; }
  QString Shown() const { return QFileInfo(Main->FileName).fileName(); }
  void FormKey(int Key, Qt::KeyboardModifiers M = Qt::NoModifier) { QTest::keyClick(&Form(), Qt::Key(Key), M); }
  void MoveTo(QPoint P) {
    QMouseEvent E(QEvent::MouseMove, P, Form().mapToGlobal(P), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&Form(), &E);
  }
  QSize CopySize() const {
    return Form().ScaledImage ? QSize(Form().ScaledImage->Width(), Form().ScaledImage->Height()) : QSize();
  }
  static void ClosePopups() {
    while (QWidget* P = QApplication::activePopupWidget())
      P->close();
  }
  QRect Screen;
};

TEST_F(FullScreen, TogglesWindowsCanvasCopyAndCheckMark) {
  const QPoint Where = Main->pos();
  TDrawSurface* const WindowCanvas = Main->Image->Canvas;
  ASSERT_NE(WindowCanvas, nullptr);
  QTest::keyClick(Main.get(), Qt::Key_Space);
  ASSERT_TRUE(Main->FullScreenShowing());
  EXPECT_FALSE(Main->isVisible());
  EXPECT_EQ(Form().geometry(), Screen) << "the whole screen of the main window";
  EXPECT_EQ(Main->Image->Canvas, Form().Canvas());
  EXPECT_TRUE(Main->Item("FullScreenItem")->isChecked());
  EXPECT_FALSE(Main->Item("ZoomItem")->isEnabled()) << "the items follow at once";
  EXPECT_EQ(CopySize(), QSize(Screen.width(),
                              std::lround((Screen.height() / 2) * (float(Screen.width()) / (Screen.width() + 200)))));
  FormKey(Qt::Key_Escape);
  EXPECT_FALSE(Main->FullScreenShowing());
  EXPECT_TRUE(Main->isVisible());
  EXPECT_EQ(Main->pos(), Where);
  EXPECT_EQ(Main->Image->Canvas, WindowCanvas);
  EXPECT_FALSE(Form().ScaledImage) << "the copy goes with full screen";
  EXPECT_FALSE(Main->Item("FullScreenItem")->isChecked());
  EXPECT_TRUE(Main->Item("ZoomItem")->isEnabled());
  // Space leaves too, and the menu item toggles as the key does.
  Main->Item("FullScreenItem")->trigger();
  EXPECT_TRUE(Main->FullScreenShowing());
  FormKey(Qt::Key_Space);
  EXPECT_FALSE(Main->FullScreenShowing());
  EXPECT_TRUE(Main->isVisible());
}

TEST_F(FullScreen, AnActiveSideWindowKeepsTheFocus) {
  Main->FullScreen();
  EXPECT_TRUE(WaitFor([&] { return Form().isActiveWindow(); }, 2000)) << "full screen takes the focus";
  Main->ListForm->show();
  Main->ListForm->activateWindow();
  ASSERT_TRUE(WaitFor([&] { return Main->ListForm->isActiveWindow(); }, 2000));
  EXPECT_EQ(Main->ActiveSideWindow(), 1);
  Main->FullScreen();
  EXPECT_TRUE(Main->isVisible());
  EXPECT_TRUE(WaitFor([&] { return Main->ListForm->isActiveWindow(); }, 500));
  Main->FullScreen();
  EXPECT_TRUE(WaitFor([&] { return Main->ListForm->isActiveWindow(); }, 500));
  Main->ListForm->hide();
  Main->FullScreen();
  EXPECT_TRUE(WaitFor([&] { return Main->isActiveWindow(); }, 2000)) << "none active: the main window";
}

TEST_F(FullScreen, KeysAreIgnoredLeaveOrReachTheMainWindow) {
  Main->FullScreen();
  std::vector<std::pair<int, Qt::KeyboardModifiers>> Passed;
  // The modifier keys themselves pass as well, and do nothing there.
  Form().OnKeyDown = [&](int Key, Qt::KeyboardModifiers M) {
    if (Key != Qt::Key_Shift && Key != Qt::Key_Control && Key != Qt::Key_Alt)
      Passed.emplace_back(Key, M);
  };
  using TPass = std::pair<int, Qt::KeyboardModifiers>;
  const TPass Ignored[] = {
      {Qt::Key_PageUp, Qt::NoModifier},   {Qt::Key_PageDown, Qt::NoModifier},
      {Qt::Key_Left, Qt::NoModifier},     {Qt::Key_Right, Qt::ShiftModifier},
      {Qt::Key_Insert, Qt::NoModifier},   {Qt::Key_Delete, Qt::NoModifier},
      {Qt::Key_0, Qt::KeypadModifier},    {Qt::Key_9, Qt::KeypadModifier},
      {Qt::Key_Plus, Qt::KeypadModifier}, {Qt::Key_Minus, Qt::KeypadModifier | Qt::ControlModifier}};
  for (auto [Key, M] : Ignored) {
    FormKey(Key, M);
    EXPECT_TRUE(Passed.empty()) << Key;
  }
  EXPECT_TRUE(Main->FullScreenShowing());
  FormKey(Qt::Key_Down);
  FormKey(Qt::Key_T, Qt::AltModifier);
  FormKey(Qt::Key_Tab);
  FormKey(Qt::Key_0);
  FormKey(Qt::Key_Plus);
  EXPECT_EQ(Passed, (std::vector<TPass>{{Qt::Key_Down, Qt::NoModifier},
                                        {Qt::Key_T, Qt::AltModifier},
                                        {Qt::Key_Tab, Qt::NoModifier},
                                        {Qt::Key_0, Qt::NoModifier},
                                        {Qt::Key_Plus, Qt::NoModifier}}))
      << "the digit and plus keys of the main block pass";
  FormKey(Qt::Key_Menu, Qt::ShiftModifier);
  EXPECT_TRUE(Main->MainPopup->isVisible()) << "the main popup, whatever Shift says";
  EXPECT_LE((Main->MainPopup->pos() - Form().mapToGlobal(QPoint(0, 0))).manhattanLength(), 4);
  ClosePopups();
  EXPECT_TRUE(Main->FullScreenShowing());
}

TEST_F(FullScreen, BrowsingRebuildsTheCopyForEachImage) {
  Main->FullScreen();
  ASSERT_TRUE(Form().Scaled);
  FormKey(Qt::Key_Down);
  EXPECT_EQ(Shown(), "b.bmp");
  EXPECT_TRUE(Main->FullScreenShowing());
  EXPECT_FALSE(Main->isVisible()) << "loading does not bring the main window back";
  EXPECT_EQ(Main->Image->Canvas, Form().Canvas());
  EXPECT_EQ(CopySize(), QSize(Screen.width() / 4, Screen.height()));
  ASSERT_TRUE(Form().ScaledImage);
  EXPECT_EQ(Form().ScaledImage->GetPixelColor(5, 5), Blue);
  FormKey(Qt::Key_Down);
  EXPECT_EQ(Shown(), "c.bmp");
  EXPECT_FALSE(Form().Scaled) << "a small image is drawn as it is";
  EXPECT_FALSE(Form().ScaledImage);
  FormKey(Qt::Key_Home);
  EXPECT_EQ(Shown(), "a.bmp");
  EXPECT_TRUE(Form().Scaled);
  EXPECT_EQ(Form().ScaledImage->GetPixelColor(5, 5), Red);
}

TEST_F(FullScreen, EditsAndUndoRebuildTheCopy) {
  Settings.UndoEnabled = true;
  Main->ApplyUndoSetting();
  Main->FullScreen();
  const QSize Before = CopySize();
  // Invert, then a quarter turn, by their keys through the full-screen window.
  FormKey(Qt::Key_V);
  const QImage Shot = Form().grab().toImage();
  EXPECT_EQ(Shot.pixel(Screen.center()), qRgb(0, 255, 255));
  ASSERT_TRUE(Form().ScaledImage);
  EXPECT_EQ(Form().ScaledImage->GetPixelColor(5, 5), TColor(0xFFFF00));
  FormKey(Qt::Key_O);
  Form().grab();
  const int32_t W = Main->Image->Width(), H = Main->Image->Height();
  const TScreenFit Turned = FitToArea(W, H, Screen.width(), Screen.height());
  EXPECT_EQ(CopySize(), QSize(Turned.Width, Turned.Height));
  FormKey(Qt::Key_Z, Qt::ControlModifier);
  FormKey(Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(CopySize(), Before);
  EXPECT_EQ(Form().ScaledImage->GetPixelColor(5, 5), Red);
  Settings.UndoEnabled = false;
}

TEST_F(FullScreen, TheDesktopClosingFullScreenClosesTheProgram) {
  Main->FullScreen();
  // Alt+F4 as a window manager delivers it.
  ASSERT_TRUE(Form().windowHandle());
  Form().windowHandle()->close();
  EXPECT_TRUE(Main->FullScreenShowing()) << "not before the main window closes";
  ASSERT_TRUE(WaitFor([&] { return !Main->FullScreenShowing(); }, 2000));
  EXPECT_FALSE(Main->Image) << "the main window closed";
}

TEST_F(FullScreen, TheQuitKeyInFullScreenClosesTheProgram) {
  Main->FullScreen();
  FormKey(Qt::Key_Q, Qt::ControlModifier);
  EXPECT_FALSE(Main->FullScreenShowing());
  EXPECT_FALSE(Main->Image);
}

TEST_F(FullScreen, MouseCornerButtonsAndWheel) {
  Settings.MouseBrowseFullScreen = false;
  Main->InstallMouseHandlers();
  Main->FullScreen();
  MoveTo(QPoint(5, 5));
  EXPECT_FALSE(QApplication::activePopupWidget());
  MoveTo(QPoint(0, 0));
  EXPECT_TRUE(Main->MainPopup->isVisible()) << "the corner opens the main popup";
  EXPECT_LE((Main->MainPopup->pos() - Form().mapToGlobal(QPoint(0, 0))).manhattanLength(), 4);
  ClosePopups();
  MoveTo(QPoint(0, 0));
  EXPECT_FALSE(QApplication::activePopupWidget()) << "resting in the corner opens it once";
  MoveTo(QPoint(2, 1));
  MoveTo(QPoint(0, 0));
  EXPECT_TRUE(Main->MainPopup->isVisible());
  ClosePopups();

  QTest::mouseClick(&Form(), Qt::RightButton, Qt::ShiftModifier, QPoint(40, 30));
  EXPECT_TRUE(Main->WorkPopup->isVisible()) << "Shift and the right button: the workbench";
  ClosePopups();
  QTest::mouseClick(&Form(), Qt::LeftButton, {}, QPoint(40, 30));
  EXPECT_FALSE(QApplication::activePopupWidget());
  EXPECT_EQ(Shown(), "a.bmp");

  auto Wheel = [&](int Delta) {
    QWheelEvent E(QPointF(2, 2), Form().mapToGlobal(QPointF(2, 2)), QPoint(), QPoint(0, Delta), Qt::NoButton,
                  Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(&Form(), &E);
  };
  Wheel(-120);
  EXPECT_EQ(Shown(), "b.bmp");
  Wheel(120);
  EXPECT_EQ(Shown(), "a.bmp");

  // Browsing by the buttons, as the setting has it by default.
  Settings.MouseBrowseFullScreen = true;
  Main->InstallMouseHandlers();
  QTest::mouseClick(&Form(), Qt::RightButton, {}, QPoint(40, 30));
  EXPECT_EQ(Shown(), "b.bmp");
  EXPECT_FALSE(QApplication::activePopupWidget());
  QTest::mouseClick(&Form(), Qt::LeftButton, {}, QPoint(40, 30));
  EXPECT_EQ(Shown(), "a.bmp");
  EXPECT_TRUE(Main->FullScreenShowing());
}

// Not run by default: the time from Space to the full-screen picture of a
// 6000 x 4000 photo with the Mitchell setting, on screens of common sizes.
TEST_F(FullScreenForm, DISABLED_TimeToThePictureOfALargeImage) {
  Settings.FullScreenResample = 2;
  Image = Checkers(6000, 4000);
  for (QSize S : {QSize(1280, 1024), QSize(1920, 1080)}) {
    QElapsedTimer T;
    T.start();
    Painted(S.width(), S.height());
    std::printf("%dx%d: %lld ms\n", S.width(), S.height(), static_cast<long long>(T.elapsed()));
    EXPECT_TRUE(Form->Scaled);
  }
}

} // namespace
