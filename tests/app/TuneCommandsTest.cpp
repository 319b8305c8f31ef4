#include <QAction>

#include "AppTestUtil.h"
#include "DibTune.h"
#include "DsHistoBox.h"
#include "DsSlider.h"
#include "DsVCL.h"
#include "TuneHisto.h"
#include "TuneHls.h"
#include "TuneRgb.h"

namespace {

class TuneCommands : public TMainFixture {
protected:
  void SetUp() override {
    TMainFixture::SetUp();
    Settings.UndoEnabled = true;
    Main->ApplyUndoSetting();
    WriteBmp(File("a.bmp"), *Pattern24(30, 20));
    Main->LoadImage(QFile("a.bmp"), false);
    Before = Main->Image->Clone();
  }
  void TearDown() override {
    Settings.UndoEnabled = false;
    TMainFixture::TearDown();
  }
  // Undo brings the loaded pixels back.
  void ExpectUndoRestores() {
    ASSERT_TRUE(Main->Item(QStringLiteral("UndoItem"))->isEnabled());
    Main->UndoItemClick();
    EXPECT_TRUE(SamePixels(*Main->Image, *Before));
  }
  std::unique_ptr<TDib> Before;
};

} // namespace

TEST_F(TuneCommands, BrightnessAppliesTheDialogsTablesWithOneUndoStep) {
  ASSERT_TRUE(WorkModal<TTuneRgbForm>([this] { Main->TuneRgbItemClick(); },
                                      [](TTuneRgbForm& F) {
                                        F.RBrightTrack->SetPosition(60);
                                        F.ApplyBtn->click();
                                      }));
  std::unique_ptr<TDib> Expected = Before->Clone();
  const TLut L = ChannelTable(60, 100, IdentityLut());
  ApplyTables(*Expected, L, L, L);
  EXPECT_TRUE(SamePixels(*Main->Image, *Expected));
  ExpectUndoRestores();
  EXPECT_TRUE(Messages.empty());
}

TEST_F(TuneCommands, HueAndHistogramApplyAndCancelLeavesTheImage) {
  ASSERT_TRUE(WorkModal<TTuneHlsForm>([this] { Main->TuneHslItemClick(); },
                                      [](TTuneHlsForm& F) {
                                        F.HTrack->SetPosition(90);
                                        F.ApplyBtn->click();
                                      }));
  std::unique_ptr<TDib> Expected = Before->Clone();
  ApplyHls(*Expected, THlsShift{90, 100, 100});
  EXPECT_TRUE(SamePixels(*Main->Image, *Expected));
  ExpectUndoRestores();

  ASSERT_TRUE(WorkModal<TTuneHistoForm>([this] { Main->TuneHistoItemClick(); },
                                        [](TTuneHistoForm& F) {
                                          F.RBox->SetMax(20);
                                          F.CancelBtn->click();
                                        }));
  EXPECT_TRUE(SamePixels(*Main->Image, *Before));
  ASSERT_TRUE(WorkModal<TTuneHistoForm>([this] { Main->TuneHistoItemClick(); },
                                        [](TTuneHistoForm& F) {
                                          F.RBox->SetMax(20);
                                          F.ApplyBtn->click();
                                        }));
  Expected = Before->Clone();
  ApplyTables(*Expected, LevelsTable(0, 20), IdentityLut(), IdentityLut());
  EXPECT_TRUE(SamePixels(*Main->Image, *Expected));
  ExpectUndoRestores();
}
