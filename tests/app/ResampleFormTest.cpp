#include <QLabel>
#include <QTest>
#include <array>
#include <cstring>
#include <gtest/gtest.h>
#include <memory>

#include "DibImage.h"
#include "DsSpinEdit.h"
#include "DsVCL.h"
#include "Resample.h"
#include "Settings.h"

namespace {

constexpr int32_t ScreenDpi = 96;

class ResampleForm : public ::testing::Test {
protected:
  void SetUp() override {
    SetDefaultSettings(S);
    Make(200, 100);
  }
  void Make(int32_t W, int32_t H, int32_t Dpi = 72) {
    Form.reset();
    Image = std::make_unique<TDib>(W, H, pf8bit);
    Image->SetResolution(Dpi);
    Form = std::make_unique<TResampleForm>(*Image, S, ScreenDpi);
    Form->OnResolutionChanged = [this] { ++InfoUpdates; };
  }
  std::array<int, 4> Sizes() const {
    return {Form->PixWidthSpin->Value(), Form->PixHeightSpin->Value(), Form->PercWidthSpin->Value(),
            Form->PercHeightSpin->Value()};
  }
  TPeSpinEdit* Spin(int Index) const {
    return std::array{Form->PixWidthSpin, Form->PixHeightSpin, Form->PercWidthSpin, Form->PercHeightSpin}[Index];
  }

  TSettings S{};
  std::unique_ptr<TDib> Image;
  std::unique_ptr<TResampleForm> Form;
  int InfoUpdates = 0;
};

enum { PixW, PixH, PercW, PercH };

struct TSizeCase {
  bool Distortion;
  int Changed, Value;
  std::array<int, 4> Expected;
};

TEST_F(ResampleForm, StartsFromImageAndSettings) {
  S.ResizeFilter = 6;
  Make(200, 100);
  EXPECT_EQ(Sizes(), (std::array{200, 100, 100, 100}));
  EXPECT_TRUE(Form->LanBtn->Checked() && !Form->SplineBtn->Checked());
  EXPECT_EQ(Form->DpiDeviceBox->currentText(), "image");
  EXPECT_EQ(Form->UnitBox->currentText(), "cm");
}

TEST_F(ResampleForm, SizeSpinsKeepInStep) {
  const TSizeCase Cases[] = {
      {false, PercW, 50, {100, 50, 50, 50}},  {false, PixW, 300, {300, 150, 150, 150}},
      {false, PixH, 25, {50, 25, 25, 25}},    {false, PercH, 0, {200, 100, 100, 0}},
      {true, PercW, 50, {100, 100, 50, 100}}, {true, PixH, 150, {200, 150, 100, 150}},
      {true, PixW, 101, {101, 100, 50, 100}}, {true, PercH, 0, {200, 1, 100, 0}},
  };
  for (const TSizeCase& C : Cases) {
    S.ResizeDistortion = C.Distortion;
    Make(200, 100);
    Spin(C.Changed)->SetValue(C.Value);
    EXPECT_EQ(Sizes(), C.Expected) << "distortion " << C.Distortion << ", spin " << C.Changed << " = " << C.Value;
  }
  Form->PixWidthSpin->SetValue(300);
  Form->DistortionBox->SetChecked(false);
  EXPECT_EQ(Sizes(), (std::array{300, 150, 150, 150})) << "unchecking restores the shape from the width";
}

TEST_F(ResampleForm, SizesStayWithinTheResamplersRange) {
  Make(300, 100);
  Form->PercWidthSpin->SetValue(9999);
  EXPECT_EQ(Sizes(), (std::array{9999, 3333, 3333, 3333})) << "the shape is kept at the limit";

  Form->DistortionBox->SetChecked(true);
  Form->PercHeightSpin->SetValue(9999);
  EXPECT_EQ(Form->PixHeightSpin->Value(), 9999);
  Form->PercWidthSpin->SetValue(0);
  EXPECT_EQ(Form->PixWidthSpin->Value(), 1);
  Form->OkBtn->click();
  EXPECT_EQ(Form->result(), QDialog::Accepted);
  EXPECT_EQ(Form->NewWidth, 1);
  EXPECT_EQ(Form->NewHeight, 9999);

  Make(20000, 10);
  EXPECT_EQ(Sizes(), (std::array{9999, 5, 50, 50})) << "an oversized image starts at the same shape";
}

TEST_F(ResampleForm, ResolutionDeviceAndPrintedSize) {
  const std::pair<int, const char*> Names[] = {
      {300, "default"}, {72, "image"}, {600, "printer"}, {96, "monitor"}, {123, "user"}};
  for (const auto& [Dpi, Text] : Names) {
    Form->DpiSpin->SetValue(Dpi);
    EXPECT_EQ(Form->DpiDeviceBox->currentText(), Text) << Dpi;
  }
  const std::pair<int, int> Choices[] = {{1, 300}, {3, 600}, {4, ScreenDpi}, {2, 72}, {0, 123}};
  for (const auto& [Item, Dpi] : Choices) {
    Form->DpiDeviceBox->SetItemIndex(Item);
    emit Form->DpiDeviceBox->OnChange(Form->DpiDeviceBox);
    EXPECT_EQ(Form->DpiSpin->Value(), Dpi) << Item;
  }
  Form->DpiSpin->SetValue(100);
  EXPECT_EQ(Form->ResTxt->text(), "5.08 x 2.54");
  Form->UnitBox->SetItemIndex(0);
  Form->PercWidthSpin->SetValue(150);
  EXPECT_EQ(Form->ResTxt->text(), "3.00 x 1.50");

  S.DefaultDpi = 72;
  Make(200, 100);
  EXPECT_EQ(Form->DpiDeviceBox->currentText(), "default") << "default comes before image";
}

TEST_F(ResampleForm, DoubleClicksEnterAndEscape) {
  Form->DistortionBox->SetChecked(true);
  for (int I : {PixW, PixH, PercW, PercH}) {
    Spin(I)->SetValue(40);
    QTest::mouseDClick(Spin(I), Qt::LeftButton);
  }
  EXPECT_EQ(Sizes(), (std::array{200, 100, 100, 100}));

  Form->PercWidthSpin->SetValue(50);
  QTest::keyClick(Form->PercWidthSpin, Qt::Key_Return);
  EXPECT_EQ(Form->result(), QDialog::Accepted);
  EXPECT_EQ(Form->NewWidth, 100);
  Make(200, 100);
  Form->PercWidthSpin->SetValue(50);
  QTest::keyClick(Form->DpiSpin, Qt::Key_Escape);
  EXPECT_EQ(Form->result(), QDialog::Rejected);
  EXPECT_EQ(Form->NewWidth, 0);
}

TEST_F(ResampleForm, OkStoresSizeFilterAndSettings) {
  Form->PercWidthSpin->SetValue(50);
  Form->LanBtn->click();
  Form->DistortionBox->SetChecked(true);
  Form->UnitBox->SetItemIndex(0);
  Form->OkBtn->click();
  EXPECT_EQ(Form->result(), QDialog::Accepted);
  EXPECT_EQ((std::array{Form->NewWidth, Form->NewHeight, Form->FilterIndex}), (std::array{100, 50, 6}));
  EXPECT_EQ(S.ResizeFilter, 6);
  EXPECT_TRUE(S.ResizeDistortion);
  EXPECT_EQ(S.ResizeUnit, 0);
  EXPECT_EQ(InfoUpdates, 0);

  // Back at the own size: no resampling and no size settings, but the
  // resolution and unit still count.
  Make(200, 100);
  Form->BoxBtn->click();
  Form->PercWidthSpin->SetValue(50);
  Form->PercWidthSpin->SetValue(100);
  Form->DpiSpin->SetValue(123);
  Form->UnitBox->SetItemIndex(1);
  Form->OkBtn->click();
  EXPECT_EQ(Form->result(), QDialog::Rejected);
  EXPECT_EQ(Form->NewWidth, 0);
  EXPECT_EQ(S.ResizeFilter, 6);
  EXPECT_EQ(S.ResizeUnit, 1);
  EXPECT_EQ(Image->Resolution(), 123);
  EXPECT_EQ(InfoUpdates, 1);
  EXPECT_EQ(S.ResizeUserDpi, 123);

  Make(200, 100, 0);
  Form->OkBtn->click();
  EXPECT_EQ(Image->Resolution(), 0) << "an unknown resolution is not replaced unasked";
  EXPECT_EQ(InfoUpdates, 1);
}

TEST_F(ResampleForm, CancelChangesNothing) {
  const TSettings Before = S;
  Form->PercWidthSpin->SetValue(50);
  Form->DpiSpin->SetValue(123);
  Form->MitchBtn->click();
  Form->DistortionBox->SetChecked(true);
  Form->UnitBox->SetItemIndex(0);
  Form->CancelBtn->click();
  EXPECT_EQ(Form->result(), QDialog::Rejected);
  EXPECT_EQ(std::memcmp(&Before, &S, sizeof S), 0);
  EXPECT_EQ(Image->Resolution(), 72);
  EXPECT_EQ(InfoUpdates, 0);
}

} // namespace
