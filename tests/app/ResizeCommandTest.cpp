#include <QAction>
#include <QApplication>
#include <QTimer>
#include <functional>

#include "AppTestUtil.h"
#include "DibResample.h"
#include "DsSpinEdit.h"
#include "DsVCL.h"
#include "Resample.h"

namespace {

class ResizeCommand : public TMainFixture {
protected:
  void SetUp() override {
    TMainFixture::SetUp();
    Settings.UndoEnabled = true;
    Settings.ResizeDistortion = false;
    Main->ApplyUndoSetting();
    WriteBmp(File("a.bmp"), *Pattern24(6, 4));
    Main->LoadImage(QFile("a.bmp"), false);
  }
  void TearDown() override {
    Settings.UndoEnabled = false;
    TMainFixture::TearDown();
  }

  void RunDialog(const std::function<void(TResampleForm&)>& Fill) {
    EXPECT_TRUE(WorkModal<TResampleForm>([this] { Main->ResizeItemClick(); }, Fill));
  }
  bool UndoEnabled() const { return Main->Item(QStringLiteral("UndoItem"))->isEnabled(); }
};

} // namespace

TEST_F(ResizeCommand, OkResamplesWithTheChosenFilterAndUndoBringsTheImageBack) {
  const std::unique_ptr<TDib> Before = Main->Image->Clone();
  RunDialog([](TResampleForm& F) {
    F.PixWidthSpin->SetValue(15);
    F.MitchBtn->click();
    F.OkBtn->click();
  });
  ASSERT_EQ(Main->Image->Width(), 15);
  EXPECT_EQ(Main->Image->Height(), 10);
  std::unique_ptr<TDib> Expected = Before->Clone();
  ResizeBuffer(15, 10, rfMitchell, Expected);
  EXPECT_TRUE(SamePixels(*Main->Image, *Expected));
  EXPECT_EQ(Main->ImgBox->width(), 15);
  EXPECT_EQ(Settings.ResizeFilter, rfMitchell);
  ASSERT_TRUE(UndoEnabled());
  Main->UndoItemClick();
  EXPECT_TRUE(SamePixels(*Main->Image, *Before));
  EXPECT_TRUE(Messages.empty());
}

TEST_F(ResizeCommand, OwnSizeAndCancelLeaveImageAndHistory) {
  const std::unique_ptr<TDib> Before = Main->Image->Clone();
  RunDialog([](TResampleForm& F) { F.OkBtn->click(); });
  RunDialog([](TResampleForm& F) {
    F.PixWidthSpin->SetValue(3);
    F.CancelBtn->click();
  });
  EXPECT_TRUE(SamePixels(*Main->Image, *Before));
  EXPECT_FALSE(UndoEnabled());
}
