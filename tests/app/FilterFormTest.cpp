#include <QAction>
#include <QApplication>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTest>
#include <cstring>
#include <gtest/gtest.h>
#include <memory>

#include "AppTestUtil.h"
#include "DibFilter.h"
#include "DsPaintBox.h"
#include "DsSlider.h"
#include "DsSpinEdit.h"
#include "DsVCL.h"
#include "FilterDialog.h"

namespace {

// Every pixel a different, unsmooth color, so that any filter and any
// misplaced window shows.
std::unique_ptr<TDib> Noise24(int32_t W, int32_t H) {
  auto D = std::make_unique<TDib>(W, H, pf24bit);
  uint32_t Seed = 12345;
  for (int32_t Y = 0; Y < H; ++Y)
    for (int32_t X = 0; X < W; ++X) {
      Seed = Seed * 1103515245u + 12345u;
      D->SetPixelColor(X, Y, TColor(Seed >> 8 & 0xFFFFFF));
    }
  return D;
}

// The W x H window of Src at (Left, Top), pixel by pixel, as 24-bit colors.
std::unique_ptr<TDib> Window(const TDib& Src, int32_t Left, int32_t Top, int32_t W, int32_t H) {
  auto D = std::make_unique<TDib>(W, H, pf24bit);
  for (int32_t Y = 0; Y < H; ++Y)
    for (int32_t X = 0; X < W; ++X)
      D->SetPixelColor(X, Y, Src.GetPixelColor(Left + X, Top + Y));
  return D;
}

std::unique_ptr<TDib> Filtered(const TDib& Src, int32_t No, int32_t Param, int32_t Strength) {
  auto D = std::make_unique<TDib>(Src.Width(), Src.Height(), pf24bit);
  ApplyFilter(Src, *D, No, Param, Strength);
  return D;
}

class FilterForm : public ::testing::Test {
protected:
  void Make(std::unique_ptr<TDib> Source, int32_t FilterNo = fnBlur) {
    Form.reset();
    Image = std::move(Source);
    Form = std::make_unique<TFilterForm>(*Image);
    Form->SetFilter(FilterNo);
  }
  // The preview is the filtered window of the image at the bars' position.
  void ExpectPreviewAt(int32_t Left, int32_t Top) {
    ASSERT_EQ(Form->HScroll->value(), Left);
    ASSERT_EQ(Form->VScroll->value(), Top);
    const auto Win = Window(*Image, Left, Top, Form->SrcView->Width(), Form->SrcView->Height());
    EXPECT_TRUE(SamePixels(*Form->SrcView, *Win));
    EXPECT_TRUE(SamePixels(*Form->DstView, *Filtered(*Win, Form->FilterNo, Form->Param, Form->Strength)));
  }
  void SendMouse(QEvent::Type Type, QPoint At, Qt::MouseButtons Buttons) {
    QMouseEvent E(Type, At, Form->PaintBox->mapToGlobal(At), Qt::LeftButton, Buttons, Qt::NoModifier);
    QApplication::sendEvent(Form->PaintBox, &E);
  }

  std::unique_ptr<TDib> Image;
  std::unique_ptr<TFilterForm> Form;
};

struct TSetUp {
  int32_t No;
  const char* Caption;
  const char* BoxCaption;
  const char* Box2Caption; // nullptr: Box2 hidden
  bool Spin, Compass;
  int32_t Position, Min, Max, Param;
};

TEST_F(FilterForm, SetFilterGivesEachFilterItsCaptionsControlsAndRange) {
  const TSetUp Cases[] = {
      {fnAverage, "Average Filter", "Indensity", "Radius", true, false, 0, 0, 100, 1},
      {fnBlur, "Blur Filter", "Indensity", "Radius", true, false, 0, 0, 100, 1},
      {fnGaussBlur, "Gaussian Blur Filter", "Indensity", nullptr, false, false, 0, 0, 100, 0},
      {fnBartlettBlur, "Bartlett Blur Filter", "Indensity", nullptr, false, false, 0, 0, 100, 0},
      {fnSharpen, "Sharpen Filter", "Indensity", nullptr, false, false, 0, 0, 100, 1},
      {fnEdge, "Edge Enhancement Filter", "Indensity", nullptr, false, false, 0, 0, 100, 1},
      {fnContour, "Trace Contour Filter", "Brightness", "Radius", true, false, 50, 1, 100, 0},
      {fnEmboss, "Emboss Filter", "Brightness", "Direction", false, true, 50, 10, 100, 0},
      {fnGlow, "Glow Filter", "Indensity", nullptr, false, false, 0, 0, 100, 0},
      {fnSolarize, "Solarize Filter", "Indensity", nullptr, false, false, 0, 0, 100, 0},
      {fnPosterize, "Posterize Filter", "Level", nullptr, false, false, 0, 0, 128, 0},
  };
  for (const TSetUp& C : Cases) {
    SCOPED_TRACE(C.Caption);
    Make(Noise24(40, 30), C.No);
    EXPECT_EQ(Form->windowTitle(), C.Caption);
    EXPECT_EQ(Form->Box->Caption(), C.BoxCaption);
    EXPECT_EQ(Form->Box2->isVisibleTo(Form.get()), C.Box2Caption != nullptr);
    if (C.Box2Caption) {
      EXPECT_EQ(Form->Box2->Caption(), C.Box2Caption);
    }
    EXPECT_EQ(!Form->RadSpin->isHidden() && Form->RadSpin->isEnabled(), C.Spin);
    for (TPeRadioBox* B : Form->DBtn)
      EXPECT_EQ(!B->isHidden() && B->isEnabled(), C.Compass);
    EXPECT_TRUE(Form->DBtn[0]->Checked());
    EXPECT_EQ(Form->TrackBar->Position(), C.Position);
    EXPECT_EQ(Form->TrackBar->Min(), C.Min);
    EXPECT_EQ(Form->TrackBar->Max(), C.Max);
    EXPECT_EQ(Form->Strength, C.Position);
    EXPECT_EQ(Form->Param, C.Param);
    EXPECT_EQ(Form->ApplyBtn->isEnabled(), C.Position >= 1);
    EXPECT_EQ(Form->FilterNo, C.No);
  }
  EXPECT_EQ(Form->TrackBar->TickStep(), 8);
  EXPECT_EQ(Form->TrackBar->ValueText(), "0 ") << "the level is no percentage";
  Make(Noise24(40, 30), fnBlur);
  EXPECT_EQ(Form->TrackBar->ValueText(), "0%");
}

TEST_F(FilterForm, ScrollBarsShowOnlyForSidesLargerThanThePreview) {
  struct TCase {
    int32_t W, H;
    bool HShown, VShown;
    int32_t MaxX, MaxY;
    QRect Box;
  };
  const TCase Cases[] = {
      {304, 304, false, false, 0, 0, {1, 1, 304, 304}},    {305, 305, true, true, 1, 1, {1, 1, 304, 304}},
      {500, 100, true, false, 196, 0, {1, 103, 304, 100}}, {51, 400, false, true, 0, 96, {127, 1, 51, 304}},
      {1, 1, false, false, 0, 0, {152, 152, 1, 1}},
  };
  Make(Noise24(400, 400));
  const QSize Full = Form->size();
  for (const TCase& C : Cases) {
    SCOPED_TRACE(testing::Message() << C.W << "x" << C.H);
    Make(Noise24(C.W, C.H));
    EXPECT_EQ(Form->HScroll->isHidden(), !C.HShown);
    EXPECT_EQ(Form->VScroll->isHidden(), !C.VShown);
    EXPECT_EQ(Form->MaxScrollX, C.MaxX);
    EXPECT_EQ(Form->MaxScrollY, C.MaxY);
    EXPECT_EQ(Form->HScroll->maximum(), C.MaxX);
    EXPECT_EQ(Form->VScroll->maximum(), C.MaxY);
    EXPECT_EQ(Form->HScroll->pageStep(), 304);
    EXPECT_EQ(Form->PaintBox->geometry(), C.Box);
    EXPECT_EQ(Form->SrcView->Width(), C.Box.width());
    EXPECT_EQ(Form->SrcView->Height(), C.Box.height());
    EXPECT_EQ(Form->size(), Full - QSize(C.VShown ? 0 : 16, C.HShown ? 0 : 16));
    // Nothing of the form may be cut off by the shrinking.
    for (QWidget* W : {static_cast<QWidget*>(Form->ApplyBtn), static_cast<QWidget*>(Form->CancelBtn),
                       static_cast<QWidget*>(Form->Box), static_cast<QWidget*>(Form->Box2)})
      EXPECT_TRUE(Form->rect().contains(W->geometry())) << W->objectName().toStdString();
  }
  Make(Noise24(305, 305));
  Form->HScroll->setValue(5);
  Form->VScroll->setValue(-3);
  ExpectPreviewAt(1, 0);
}

TEST_F(FilterForm, PreviewShowsTheFilteredWindowAtTheScrollPosition) {
  Make(Noise24(500, 420), fnBlur);
  ExpectPreviewAt(0, 0);
  EXPECT_TRUE(SamePixels(*Form->DstView, *Window(*Image, 0, 0, 304, 304))) << "strength 0 changes nothing";

  Form->TrackBar->SetPosition(80);
  EXPECT_EQ(Form->Strength, 80);
  ExpectPreviewAt(0, 0);
  EXPECT_FALSE(SamePixels(*Form->DstView, *Form->SrcView));
  Form->HScroll->setValue(37);
  Form->VScroll->setValue(21);
  ExpectPreviewAt(37, 21);
  Form->RadSpin->SetValue(3);
  EXPECT_EQ(Form->Param, 3);
  ExpectPreviewAt(37, 21);
  Form->HScroll->setValue(100000);
  Form->VScroll->setValue(100000);
  ExpectPreviewAt(196, 116);
  Form->TrackBar->SetPosition(0);
  EXPECT_TRUE(SamePixels(*Form->DstView, *Window(*Image, 196, 116, 304, 304)));

  Make(Noise24(320, 310), fnEmboss);
  Form->DBtn[5]->click();
  EXPECT_EQ(Form->Param, 5);
  EXPECT_TRUE(Form->DBtn[5]->Checked() && !Form->DBtn[0]->Checked());
  ExpectPreviewAt(0, 0);
}

TEST_F(FilterForm, PreviewOfAPaletteImageIsItsColors) {
  auto Gray = std::make_unique<TDib>(320, 200, pf8bit);
  for (int32_t I = 0; I < 256; ++I)
    Gray->SetPaletteColor(I, RGBColor(uint8_t(I), uint8_t(255 - I), uint8_t(I / 3)));
  for (int32_t Y = 0; Y < 200; ++Y)
    for (int32_t X = 0; X < 320; ++X)
      Gray->SetPixelValue(X, Y, uint32_t(X * 7 + Y * 31) & 0xFF);
  Make(std::move(Gray), fnSharpen);
  Form->TrackBar->SetPosition(60);
  Form->HScroll->setValue(9);
  ExpectPreviewAt(9, 0);
}

TEST_F(FilterForm, DraggingThePreviewScrollsWithTheFourWayCursor) {
  Make(Noise24(600, 500), fnSolarize);
  Form->TrackBar->SetPosition(50);
  SendMouse(QEvent::MouseMove, {100, 100}, Qt::NoButton);
  EXPECT_EQ(Form->HScroll->value(), 0) << "moves without the button do nothing";

  SendMouse(QEvent::MouseButtonPress, {200, 200}, Qt::LeftButton);
  ASSERT_TRUE(Form->DragScroll);
  ASSERT_NE(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::SizeAllCursor);
  SendMouse(QEvent::MouseMove, {150, 170}, Qt::LeftButton);
  ExpectPreviewAt(50, 30);
  SendMouse(QEvent::MouseMove, {160, 250}, Qt::LeftButton);
  ExpectPreviewAt(40, 0);
  SendMouse(QEvent::MouseMove, {-400, 250}, Qt::LeftButton);
  ExpectPreviewAt(296, 0);
  SendMouse(QEvent::MouseButtonRelease, {-400, 250}, Qt::NoButton);
  EXPECT_FALSE(Form->DragScroll);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  SendMouse(QEvent::MouseMove, {0, 0}, Qt::NoButton);
  EXPECT_EQ(Form->HScroll->value(), 296);

  SendMouse(QEvent::MouseButtonPress, {10, 10}, Qt::LeftButton);
  Form->reject();
  EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "closing ends the drag";
}

TEST_F(FilterForm, KeysMoveTheStrengthEnterAppliesOnlyWhenEnabled) {
  Make(Noise24(400, 400), fnGaussBlur);
  Form->show();
  Form->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(Form.get()));
  EXPECT_EQ(QApplication::focusWidget(), Form->TrackBar);
  EXPECT_FALSE(Form->ApplyBtn->isEnabled());
  QTest::keyClick(Form->TrackBar, Qt::Key_Return);
  EXPECT_TRUE(Form->isVisible()) << "nothing to apply at strength 0";

  QTest::keyClick(Form->HScroll, Qt::Key_Right);
  QTest::keyClick(Form->VScroll, Qt::Key_PageDown);
  EXPECT_EQ(Form->HScroll->value() + Form->VScroll->value(), 0) << "the bars take no keys";
  EXPECT_EQ(Form->HScroll->focusPolicy(), Qt::NoFocus);

  QTest::keyClick(Form->TrackBar, Qt::Key_Home);
  EXPECT_EQ(Form->Strength, 100);
  EXPECT_TRUE(Form->ApplyBtn->isEnabled());
  QTest::keyClick(Form->TrackBar, Qt::Key_End);
  EXPECT_FALSE(Form->ApplyBtn->isEnabled());
  QTest::keyClick(Form->TrackBar, Qt::Key_Up);
  EXPECT_EQ(Form->Strength, 1);
  QTest::keyClick(Form->TrackBar, Qt::Key_Return);
  EXPECT_FALSE(Form->isVisible());
  EXPECT_EQ(Form->result(), QDialog::Accepted);

  Make(Noise24(50, 50), fnGlow);
  Form->show();
  Form->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(Form.get()));
  QTest::keyClick(Form->TrackBar, Qt::Key_PageUp);
  QTest::keyClick(Form->TrackBar, Qt::Key_Escape);
  EXPECT_EQ(Form->result(), QDialog::Rejected);
}

class FilterCommands : public TMainFixture {
protected:
  void SetUp() override {
    TMainFixture::SetUp();
    WriteBmp(File("a.bmp"), *Noise24(40, 30));
    Main->LoadImage(QFile("a.bmp"), false);
    Before = Main->Image->Clone();
  }
  std::unique_ptr<TDib> Before;
};

TEST_F(FilterCommands, MenuItemOpensItsFilterAndApplyFiltersTheImage) {
  int32_t Seen = 0;
  ASSERT_TRUE(WorkModal<TFilterForm>([this] { Main->Item(QStringLiteral("FilterEmbossItem"))->trigger(); },
                                     [&](TFilterForm& F) {
                                       Seen = F.FilterNo;
                                       EXPECT_EQ(F.windowTitle(), "Emboss Filter");
                                       F.CancelBtn->click();
                                     }));
  EXPECT_EQ(Seen, fnEmboss);
  EXPECT_TRUE(SamePixels(*Main->Image, *Before));

  ASSERT_TRUE(WorkModal<TFilterForm>([this] { Main->Item(QStringLiteral("FilterAverageItem"))->trigger(); },
                                     [](TFilterForm& F) {
                                       F.RadSpin->SetValue(2);
                                       F.TrackBar->SetPosition(70);
                                       F.ApplyBtn->click();
                                     }));
  std::unique_ptr<TDib> Expected = Before->Clone();
  ApplyFilter(*Before, *Expected, fnAverage, 2, 70);
  EXPECT_TRUE(WaitFor([&] { return SamePixels(*Main->Image, *Expected); }));
  EXPECT_TRUE(Messages.empty());
}

} // namespace
