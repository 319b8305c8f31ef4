#include <QSignalSpy>
#include <QTest>
#include <array>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

#include "DibImage.h"
#include "DsHistoBox.h"
#include "DsVCL.h"
#include "TuneHisto.h"

namespace {

uint8_t RedOf(TColor C) { return uint8_t(C); }
uint8_t GreenOf(TColor C) { return uint8_t(C >> 8); }
uint8_t BlueOf(TColor C) { return uint8_t(C >> 16); }
TColor Rgb(int R, int G, int B) { return TColor(R | G << 8 | B << 16); }

std::unique_ptr<TDib> Colors24(const std::vector<TColor>& Row, int32_t Rows = 1) {
  auto D = std::make_unique<TDib>(int32_t(Row.size()), Rows, pf24bit);
  for (int32_t Y = 0; Y < Rows; ++Y)
    for (size_t X = 0; X < Row.size(); ++X)
      D->SetPixelColor(int32_t(X), Y, Row[X]);
  return D;
}

// Gray levels running along the rows.
std::unique_ptr<TDib> Gray8(int32_t W, int32_t H) {
  auto D = std::make_unique<TDib>(W, H, pf8bit);
  D->MakeGrayPalette();
  for (int32_t Y = 0; Y < H; ++Y)
    for (int32_t X = 0; X < W; ++X)
      D->SetPixelValue(X, Y, uint32_t((X + Y) & 0xFF));
  return D;
}

bool AllGray(const TDib& D) {
  for (int32_t Y = 0; Y < D.Height(); ++Y)
    for (int32_t X = 0; X < D.Width(); ++X) {
      const TColor C = D.GetPixelColor(X, Y);
      if (RedOf(C) != GreenOf(C) || GreenOf(C) != BlueOf(C))
        return false;
    }
  return true;
}

std::array<int32_t, 256> Bars(std::initializer_list<std::pair<int, int32_t>> NonZero) {
  std::array<int32_t, 256> H{};
  for (const auto& [Level, Height] : NonZero)
    H[size_t(Level)] = Height;
  return H;
}

void SetLevels(THistoBox* Box, int Lo, int Hi) {
  Box->ResetLevels();
  Box->SetMax(Hi);
  Box->SetMin(Lo);
}

class TuneHistoForm : public ::testing::Test {
protected:
  void SetUp() override { Make(Colors24({Rgb(10, 20, 30)}, 4)); }
  void Make(std::unique_ptr<TDib> Source) {
    Form.reset();
    Image = std::move(Source);
    Form = std::make_unique<TTuneHistoForm>(*Image);
  }
  std::array<THistoBox*, 3> Boxes() const { return {Form->RBox, Form->GBox, Form->BBox}; }
  std::array<const TLut*, 3> Luts() const { return {&Form->LutR, &Form->LutG, &Form->LutB}; }
  bool ButtonsEnabled() const {
    EXPECT_EQ(Form->ApplyBtn->isEnabled(), Form->ResetBtn->isEnabled());
    return Form->ApplyBtn->isEnabled();
  }

  std::unique_ptr<TDib> Image;
  std::unique_ptr<TTuneHistoForm> Form;
};

} // namespace

TEST_F(TuneHistoForm, HistogramsShareOneScale) {
  EXPECT_EQ(Form->RBox->Heights(), Bars({{10, 63}}));
  EXPECT_EQ(Form->GBox->Heights(), Bars({{20, 63}}));
  EXPECT_EQ(Form->BBox->Heights(), Bars({{30, 63}}));

  // The largest count (red 0, four pixels) is 63; 2 x 63 / 4 = 31.5 rounds to even.
  Make(Colors24({Rgb(0, 0, 0), Rgb(0, 0, 0), Rgb(0, 100, 0), Rgb(0, 100, 200)}));
  EXPECT_EQ(Form->RBox->Heights(), Bars({{0, 63}}));
  EXPECT_EQ(Form->GBox->Heights(), Bars({{0, 32}, {100, 32}}));
  EXPECT_EQ(Form->BBox->Heights(), Bars({{0, 47}, {200, 16}}));
}

TEST_F(TuneHistoForm, HistogramCountsTheWholeImageNotThePreview) {
  std::vector<TColor> Row(640, Rgb(0, 0, 0));
  std::fill(Row.begin() + 320, Row.end(), Rgb(255, 255, 255));
  Make(Colors24(Row, 4));
  ASSERT_EQ(Form->OrigPreview->Width(), 320) << "the preview is shrunk and so blends the edge";
  for (THistoBox* Box : Boxes())
    EXPECT_EQ(Box->Heights(), Bars({{0, 63}, {255, 63}}));
}

TEST_F(TuneHistoForm, EachBoxBuildsOnlyItsChannelsTable) {
  for (int Channel = 0; Channel < 3; ++Channel) {
    Form->ResetBtn->click();
    SetLevels(Boxes()[Channel], 50, 150);
    for (int Other = 0; Other < 3; ++Other)
      EXPECT_EQ(*Luts()[Other], Other == Channel ? LevelsTable(50, 150) : IdentityLut()) << Channel << " " << Other;
  }
}

TEST_F(TuneHistoForm, PreviewFollowsTheLevels) {
  SetLevels(Form->RBox, 0, 128);
  SetLevels(Form->BBox, 20, 40); // 10 x 255 / 20 = 127.5, to even
  EXPECT_EQ(Form->WorkPreview->GetPixelColor(0, 0), Rgb(20, 20, 128));
  EXPECT_EQ(Form->OrigPreview->GetPixelColor(0, 0), Rgb(10, 20, 30));

  Form->ApplyBtn->click();
  EXPECT_EQ(Form->result(), QDialog::Accepted);
  TDib Target(1, 1, pf24bit);
  Target.SetPixelColor(0, 0, Rgb(64, 200, 30));
  Form->ApplyTo(Target);
  EXPECT_EQ(Target.GetPixelColor(0, 0), Rgb(128, 200, 128));
}

TEST_F(TuneHistoForm, GrayImageShowsOneBlackHistogramAndStaysGray) {
  for (auto [W, H] : {std::pair{160, 16}, std::pair{400, 300}}) {
    Make(Gray8(W, H));
    EXPECT_FALSE(Form->RBox->isHidden());
    EXPECT_TRUE(Form->GBox->isHidden());
    EXPECT_TRUE(Form->BBox->isHidden());
    EXPECT_EQ(Form->RBox->pos(), QPoint(6, 32));
    EXPECT_EQ(Form->RBox->Color(), QColor(Qt::black));
    EXPECT_EQ(Form->RBox->Heights(), Form->GBox->Heights());

    SetLevels(Form->RBox, 50, 150);
    EXPECT_EQ(Form->LutR, LevelsTable(50, 150));
    EXPECT_EQ(Form->LutG, Form->LutR);
    EXPECT_EQ(Form->LutB, Form->LutR);
    EXPECT_TRUE(AllGray(*Form->WorkPreview)) << W << " x " << H;
    for (int32_t X = 0; X < Form->WorkPreview->Width(); X += 7) {
      const uint8_t Orig = RedOf(Form->OrigPreview->GetPixelColor(X, 3));
      EXPECT_EQ(RedOf(Form->WorkPreview->GetPixelColor(X, 3)), Form->LutR[Orig]) << W << " x " << H << " at " << X;
    }
    EXPECT_TRUE(ButtonsEnabled());

    Form->ResetBtn->click();
    EXPECT_EQ(Form->LutG, IdentityLut());
    EXPECT_FALSE(ButtonsEnabled());
  }
}

TEST_F(TuneHistoForm, ButtonsFollowAnySwitchedBoxAndResetClearsAll) {
  QSignalSpy Finished(Form.get(), &QDialog::finished);
  EXPECT_FALSE(ButtonsEnabled()) << "nothing to apply at the start";
  Form->GBox->SetMin(5);
  EXPECT_TRUE(ButtonsEnabled());
  Form->BBox->SetMax(200);
  Form->GBox->ResetLevels();
  EXPECT_TRUE(ButtonsEnabled()) << "the blue box is still switched";
  QTest::keyClick(Form->BBox, Qt::Key_Backspace);
  EXPECT_FALSE(ButtonsEnabled());
  EXPECT_EQ(Form->LutB, IdentityLut());

  SetLevels(Form->RBox, 30, 60);
  SetLevels(Form->GBox, 1, 2);
  Form->ResetBtn->click();
  EXPECT_FALSE(ButtonsEnabled());
  for (int I = 0; I < 3; ++I) {
    EXPECT_EQ((std::pair{Boxes()[I]->Min(), Boxes()[I]->Max()}), (std::pair{0, 255})) << I;
    EXPECT_EQ(*Luts()[I], IdentityLut()) << I;
  }
  EXPECT_EQ(Form->WorkPreview->GetPixelColor(0, 0), Rgb(10, 20, 30));
  EXPECT_EQ(Finished.count(), 0) << "Reset leaves the dialog open";
}
