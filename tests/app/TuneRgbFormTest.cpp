#include <QApplication>
#include <QTest>
#include <cstring>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

#include "DibImage.h"
#include "DsPaintBox.h"
#include "DsSlider.h"
#include "DsVCL.h"
#include "TuneRgb.h"

namespace {

enum { Bright, Cont, Gamma };

// Palette entry i is (i, 255 - i, i / 2); Gray turns it into a gray ramp.
std::unique_ptr<TDib> Palette8(bool Gray) {
  auto D = std::make_unique<TDib>(20, 10, pf8bit);
  for (int32_t I = 0; I < 256; ++I)
    D->SetPaletteColor(I, RGBColor(uint8_t(I), uint8_t(255 - I), uint8_t(I / 2)));
  for (int32_t Y = 0; Y < 10; ++Y)
    for (int32_t X = 0; X < 20; ++X)
      D->SetPixelValue(X, Y, uint32_t(X * 7 + Y * 13));
  if (Gray)
    D->MakeGrayPalette();
  return D;
}

class TuneRgbForm : public ::testing::Test {
protected:
  void SetUp() override {
    auto D = std::make_unique<TDib>(40, 30, pf24bit);
    for (int32_t Y = 0; Y < 30; ++Y)
      for (int32_t X = 0; X < 40; ++X)
        D->SetPixelColor(X, Y, RGBColor(uint8_t(X * 6), uint8_t(Y * 8), 90));
    Make(std::move(D));
  }
  void Make(std::unique_ptr<TDib> Source) {
    Form.reset();
    Image = std::move(Source);
    Form = std::make_unique<TTuneRgbForm>(*Image);
    Form->OnPreviewChanged = [this, Buttons = Form->OnPreviewChanged] {
      ++Updates;
      Buttons();
    };
  }
  TSlider* Track(int G, int C) const {
    return std::array<std::array<TSlider*, 3>, 3>{{
        {Form->RBrightTrack, Form->GBrightTrack, Form->BBrightTrack},
        {Form->RContTrack, Form->GContTrack, Form->BContTrack},
        {Form->RGammaTrack, Form->GGammaTrack, Form->BGammaTrack},
    }}[size_t(G)][size_t(C)];
  }
  std::array<int, 3> Positions(int G) const {
    return {Track(G, 0)->Position(), Track(G, 1)->Position(), Track(G, 2)->Position()};
  }
  TPeCheckBox* Lock(int G) const { return std::array{Form->BrightLock, Form->ContLock, Form->GammaLock}[size_t(G)]; }
  bool ButtonsEnabled() const {
    EXPECT_EQ(Form->ApplyBtn->isEnabled(), Form->ResetBtn->isEnabled());
    return Form->ApplyBtn->isEnabled();
  }

  std::unique_ptr<TDib> Image;
  std::unique_ptr<TTuneRgbForm> Form;
  int Updates = 0;
};

TEST_F(TuneRgbForm, SlidersRebuildTheChannelTables) {
  Track(Bright, 0)->SetPosition(40);
  Track(Cont, 0)->SetPosition(150);
  Track(Gamma, 0)->SetPosition(50);
  const TLut Expected = ChannelTable(40, 150, GammaTable(50));
  EXPECT_EQ(Form->LutR, Expected);
  EXPECT_TRUE(Form->LutG == Expected && Form->LutB == Expected) << "locked siblings follow";
  EXPECT_EQ(
      (std::array{Form->RBrightTrack->ValueText(), Form->GContTrack->ValueText(), Form->BGammaTrack->ValueText()}),
      (std::array<QString, 3>{"+40", "150", "0.50"}));
}

TEST_F(TuneRgbForm, LockMovesTheGroupByTheDeltaEachStoppingAtItsLimit) {
  Form->BrightLock->SetChecked(false);
  Form->RBrightTrack->SetPosition(100);
  Form->BBrightTrack->SetPosition(-50);
  EXPECT_EQ(Positions(Bright), (std::array{100, 0, -50})) << "unlocked: only the moved one";
  EXPECT_EQ(Form->LutG, IdentityLut());

  Form->BrightLock->SetChecked(true);
  Updates = 0;
  Form->GBrightTrack->SetPosition(127);
  EXPECT_EQ(Positions(Bright), (std::array{127, 127, 77}));
  EXPECT_EQ(Updates, 1) << "one preview for the whole group";
  EXPECT_EQ((std::array{Form->LutR[0], Form->LutG[0], Form->LutB[0]}), (std::array<uint8_t, 3>{127, 127, 77}));
  Form->GBrightTrack->SetPosition(-127);
  EXPECT_EQ(Positions(Bright), (std::array{-127, -127, -127}));
  EXPECT_EQ(Positions(Cont), (std::array{100, 100, 100})) << "other groups stay";

  Form->GammaLock->SetChecked(false);
  Form->BGammaTrack->SetPosition(200);
  EXPECT_EQ(Form->GammaB, GammaTable(200));
  EXPECT_EQ(Form->GammaR, IdentityLut());
}

TEST_F(TuneRgbForm, ButtonsAreOnExactlyWhileASliderIsOffItsDefault) {
  EXPECT_FALSE(ButtonsEnabled()) << "after opening";
  for (int G : {Bright, Cont, Gamma})
    for (int C = 0; C < 3; ++C) {
      Lock(G)->SetChecked(false);
      Track(G, C)->SetPosition(Track(G, C)->Position() + 1);
      EXPECT_TRUE(ButtonsEnabled()) << G << " " << C;
      Track(G, C)->SetPosition(Track(G, C)->Position() - 1);
      EXPECT_FALSE(ButtonsEnabled());
      Lock(G)->SetChecked(true);
    }
  Form->RBrightTrack->SetPosition(20);
  Form->GContTrack->SetPosition(150);
  Updates = 0;
  Form->ResetBtn->click();
  EXPECT_EQ(Updates, 1);
  EXPECT_FALSE(ButtonsEnabled());
  EXPECT_EQ(Positions(Cont), (std::array{100, 100, 100}));
  EXPECT_EQ(Form->LutR, IdentityLut());
  Form->RBrightTrack->SetPosition(3);
  EXPECT_EQ(Positions(Bright), (std::array{3, 3, 3})) << "the last positions were reset too";
}

TEST_F(TuneRgbForm, GrayImageShowsOneSliderPerGroupAndKeepsTheTablesEqual) {
  Make(Palette8(true));
  for (int G : {Bright, Cont, Gamma}) {
    EXPECT_TRUE(Track(G, 0)->isHidden() && Track(G, 2)->isHidden() && Lock(G)->isHidden());
    EXPECT_TRUE(Lock(G)->Checked());
    EXPECT_EQ(Tag(Track(G, 1)), 0);
    EXPECT_EQ(Track(G, 1)->width(), 35);
  }
  Form->GBrightTrack->SetPosition(30);
  Form->GContTrack->SetPosition(250);
  Form->GGammaTrack->SetPosition(70);
  EXPECT_NE(Form->LutG, IdentityLut());
  EXPECT_TRUE(Form->LutR == Form->LutG && Form->LutB == Form->LutG);
}

TEST_F(TuneRgbForm, PreviewMapsPaletteEntriesNotPixelsAndClickShowsTheOriginal) {
  Make(Palette8(false));
  const TDib& Orig = *Form->OrigPreview;
  const TDib& Work = *Form->WorkPreview;
  Form->BrightLock->SetChecked(false);
  Form->RBrightTrack->SetPosition(50);
  for (int32_t I : {0, 10, 255})
    EXPECT_EQ(Work.GetPaletteColor(I), (Orig.GetPaletteColor(I) & 0xFFFF00) | Form->LutR[size_t(I)]) << I;
  EXPECT_EQ(std::memcmp(Orig.Bits(), Work.Bits(), size_t(Orig.ImageSize())), 0);

  Form->PaintBoxClick();
  EXPECT_FALSE(Form->ShowPreview);
  EXPECT_EQ(Form->PaintBox->toolTip(), "Original (click for preview)");
  QTest::mouseClick(Form->PaintBox, Qt::LeftButton);
  EXPECT_TRUE(Form->ShowPreview);
  EXPECT_EQ(Form->PaintBox->toolTip(), "Preview (click for original)");
}

TEST_F(TuneRgbForm, LeftAndRightMoveTheFocusWithinTheGroup) {
  Form->show();
  Form->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(Form.get()));
  const std::tuple<int, int, Qt::Key, int> Cases[] = {
      {Bright, 0, Qt::Key_Right, 1}, {Bright, 0, Qt::Key_Left, 0}, {Cont, 1, Qt::Key_Left, 0},
      {Cont, 1, Qt::Key_Right, 2},   {Gamma, 2, Qt::Key_Left, 1},  {Gamma, 2, Qt::Key_Right, 2},
  };
  for (const auto& [G, From, Key, To] : Cases) {
    Track(G, From)->setFocus();
    QTest::keyClick(Track(G, From), Key);
    EXPECT_EQ(QApplication::focusWidget(), Track(G, To)) << G << " " << From;
  }
}

} // namespace
