#include <QAction>
#include <QKeyEvent>
#include <QLabel>
#include <chrono>
#include <cstring>
#include <stdexcept>
#include <thread>

#include "AppTestUtil.h"
#include "ConvGray.h"
#include "ConvPal.h"
#include "DsSpinEdit.h"
#include "DsVCL.h"
#include "StdConvert.h"
#include "WorkerProgress.h"

namespace {

// The user's choice of an item, which is what the dialogs listen to.
void Choose(TPeCombo* Box, int Index) {
  Box->setCurrentIndex(Index);
  emit Box->activated(Index);
}

bool SameBytes(const TDib& A, const TDib& B) {
  return A.PixelFormat() == B.PixelFormat() && A.Width() == B.Width() && A.Height() == B.Height() &&
         A.PaletteSize() == B.PaletteSize() && A.ImageSize() == B.ImageSize() &&
         std::memcmp(A.Bits(), B.Bits(), size_t(A.ImageSize())) == 0;
}

// The dialogs alone, over a host that only keeps the shown buffer.
class ConvertDialog : public ::testing::Test {
protected:
  void SetUp() override {
    SetDefaultSettings(S);
    Shown = Pattern24(40, 30);
    Host.Exchange = [this](std::unique_ptr<TDib> B) {
      std::swap(Shown, B);
      return B;
    };
    Host.Redraw = [] {};
    Host.TakeSnapshot = [this] { ++Snapshots; };
    Host.Converted = [] {};
    Host.EndModal = [this] { ++Ended; };
  }
  TSettings S{};
  std::unique_ptr<TDib> Shown;
  TConvertHost Host;
  int Snapshots = 0, Ended = 0;
};

TEST(ConvertText, ThousandsAreSeparatedByCommas) {
  const std::pair<int64_t, const char*> Cases[] = {{0, "0"},         {7, "7"},          {999, "999"},
                                                   {1000, "1,000"},  {65536, "65,536"}, {16777216, "16,777,216"},
                                                   {-1234, "-1,234"}};
  for (const auto& [Value, Text] : Cases)
    EXPECT_EQ(ThousandsText(Value), QLatin1String(Text)) << Value;
}

TEST_F(ConvertDialog, FixedPalettesShowNoneAndAdaptiveRestoresTheQuantizer) {
  S.PalQuantizer = 2;
  auto* F = new TConvPalForm(Host, *Shown, S);
  EXPECT_EQ(F->ColLbl->text(), QStringLiteral("Unique colors in original image: 1,200"));
  EXPECT_EQ(F->OkBtn->Caption(), QStringLiteral("Apply"));
  EXPECT_TRUE(F->QuantBox->isEnabled());
  EXPECT_EQ(F->QuantBox->ItemIndex(), 2);
  Choose(F->QuantBox, 3);
  F->ColRadios[5]->click();
  EXPECT_FALSE(F->QuantBox->isEnabled());
  EXPECT_EQ(F->QuantBox->currentText(), QStringLiteral("None"));
  EXPECT_EQ(F->QuantBox->count(), 5);
  // From one fixed palette to another the remembered choice stays.
  F->ColRadios[4]->click();
  EXPECT_EQ(F->QuantBox->count(), 5);
  F->ColRadios[1]->click();
  EXPECT_TRUE(F->QuantBox->isEnabled());
  EXPECT_EQ(F->QuantBox->ItemIndex(), 3);
  EXPECT_EQ(F->QuantBox->count(), 4);
  EXPECT_FALSE(F->PalSpin->isEnabled());
  F->ColRadios[2]->click();
  EXPECT_TRUE(F->PalSpin->isEnabled());
  F->CancelBtn->click();
  EXPECT_EQ(Ended, 1);
  EXPECT_EQ(S.PalQuantizer, 2);
}

TEST_F(ConvertDialog, AFixedPaletteStoredStartsWithTheBoxDisabled) {
  S.PalColors = 6;
  S.PalQuantizer = 0;
  auto* F = new TConvPalForm(Host, *Shown, S);
  EXPECT_TRUE(F->ColRadios[6]->Checked());
  EXPECT_FALSE(F->QuantBox->isEnabled());
  EXPECT_EQ(F->QuantBox->currentText(), QStringLiteral("None"));
  F->ColRadios[0]->click();
  EXPECT_EQ(F->QuantBox->ItemIndex(), 0);
  F->reject();
}

TEST_F(ConvertDialog, PaletteSettingsAreStoredOnApplyOnly) {
  auto* F = new TConvPalForm(Host, *Shown, S);
  F->ColRadios[2]->click();
  F->PalSpin->SetValue(12);
  Choose(F->DiffuseBox, 3);
  F->CancelBtn->click();
  EXPECT_EQ(S.PalColors, 0);
  EXPECT_EQ(S.PalCustomCount, 240);
  EXPECT_EQ(S.PalDiffusion, 1);
  EXPECT_EQ(Snapshots, 0);

  F = new TConvPalForm(Host, *Shown, S);
  F->ColRadios[2]->click();
  F->PalSpin->SetValue(12);
  Choose(F->DiffuseBox, 3);
  F->OkBtn->click();
  EXPECT_EQ(S.PalColors, 2);
  EXPECT_EQ(S.PalCustomCount, 12);
  EXPECT_EQ(S.PalDiffusion, 3);
  EXPECT_EQ(Snapshots, 1);
  EXPECT_EQ(Shown->PixelFormat(), pf4bit);
}

TEST_F(ConvertDialog, PresetsFillTheWeightsAndTheTotal) {
  S.GrayWeighting = 0;
  S.GrayRed = 50;
  S.GrayGreen = 40;
  S.GrayBlue = 30;
  auto* F = new TConvGrayForm(Host, *Shown, S);
  EXPECT_EQ(F->CSumLbl->text(), QStringLiteral("total: 120 %"));
  struct TCase {
    int Box, R, G, B;
    const char* Total;
  };
  const TCase Cases[] = {{1, 21, 72, 7, "total: 100 %"},
                         {2, 30, 59, 11, "total: 100 %"},
                         {3, 33, 33, 33, "total: 100 %"},
                         {0, 50, 40, 30, "total: 120 %"}};
  for (const TCase& C : Cases) {
    Choose(F->CTypeBox, C.Box);
    EXPECT_EQ(F->RSpin->Value(), C.R) << C.Box;
    EXPECT_EQ(F->GSpin->Value(), C.G) << C.Box;
    EXPECT_EQ(F->BSpin->Value(), C.B) << C.Box;
    EXPECT_EQ(F->CTypeBox->ItemIndex(), C.Box);
    EXPECT_EQ(F->CSumLbl->text(), QLatin1String(C.Total)) << C.Box;
  }
  // Typing the weights of a preset selects it; others are custom.
  F->RSpin->SetValue(30);
  F->GSpin->SetValue(59);
  F->BSpin->SetValue(11);
  EXPECT_EQ(F->CTypeBox->ItemIndex(), 2);
  F->BSpin->SetValue(12);
  EXPECT_EQ(F->CTypeBox->ItemIndex(), 0);
  EXPECT_EQ(F->CSumLbl->text(), QStringLiteral("total: 101 %"));
  EXPECT_EQ(F->CustBlue, 12);
  // A preset whose blue equals the custom blue still updates the total.
  F->GSpin->SetValue(40);
  Choose(F->CTypeBox, 1);
  F->BSpin->SetValue(7);
  Choose(F->CTypeBox, 0);
  EXPECT_EQ(F->CSumLbl->text(), QStringLiteral("total: 82 %"));
  F->OkBtn->click();
  EXPECT_EQ(S.GrayWeighting, 0);
  EXPECT_EQ(S.GrayRed, 30);
  EXPECT_EQ(S.GrayGreen, 40);
  EXPECT_EQ(S.GrayBlue, 12);
}

TEST_F(ConvertDialog, AllLevelsDisableTheDiffusionAndOthersRestoreIt) {
  S.GrayLevels = 16;
  S.GrayDiffusion = 2;
  auto* F = new TConvGrayForm(Host, *Shown, S);
  EXPECT_TRUE(F->Radio16->Checked());
  EXPECT_TRUE(F->DiffuseBox->isEnabled());
  EXPECT_EQ(F->DiffuseBox->ItemIndex(), 2);
  EXPECT_FALSE(F->CustSpin->isEnabled());
  Choose(F->DiffuseBox, 4);
  F->Radio256->click();
  EXPECT_FALSE(F->DiffuseBox->isEnabled());
  EXPECT_EQ(F->DiffuseBox->ItemIndex(), 0);
  F->Radio256->click();
  F->RadioCust->click();
  EXPECT_TRUE(F->DiffuseBox->isEnabled());
  EXPECT_EQ(F->DiffuseBox->ItemIndex(), 4);
  EXPECT_TRUE(F->CustSpin->isEnabled());
  F->CustSpin->SetValue(5);
  F->OkBtn->click();
  EXPECT_EQ(S.GrayLevels, 5);
  EXPECT_EQ(S.GrayDiffusion, 4);
  EXPECT_EQ(Shown->PixelFormat(), pf4bit);
}

TEST_F(ConvertDialog, StoredLevelsCheckTheirRadio) {
  const std::pair<int32_t, const char*> Cases[] = {{256, "Radio256"}, {64, "Radio64"},  {8, "Radio8"},
                                                   {2, "RadioMono"},  {5, "RadioCust"}, {200, "RadioCust"}};
  for (const auto& [Levels, Name] : Cases) {
    S.GrayLevels = Levels;
    auto* F = new TConvGrayForm(Host, *Shown, S);
    auto* Radio = F->findChild<TPeRadioBox*>(QLatin1String(Name));
    ASSERT_TRUE(Radio);
    EXPECT_TRUE(Radio->Checked()) << Levels;
    EXPECT_EQ(F->Levels(), Levels);
    EXPECT_EQ(F->DiffuseBox->isEnabled(), Levels != 256);
    F->reject();
  }
  EXPECT_EQ(Ended, 6);
}

TEST_F(ConvertDialog, PreviewThenResetShowsEachBufferAndCancelPutsTheOriginalBack) {
  const std::unique_ptr<TDib> Before = Shown->Clone();
  const TDib* Original = Shown.get();
  auto* F = new TConvGrayForm(Host, *Shown, S);
  F->show();
  F->RadioMono->click();
  F->PreviewBtn->click();
  EXPECT_EQ(Shown->PixelFormat(), pf1bit);
  EXPECT_EQ(F->PreviewBtn->Caption(), QStringLiteral("Reset"));
  EXPECT_FALSE(F->PreviewPending());
  F->PreviewBtn->click();
  EXPECT_EQ(Shown.get(), Original);
  EXPECT_EQ(F->PreviewBtn->Caption(), QStringLiteral("Preview"));
  F->PreviewBtn->click();
  EXPECT_EQ(Shown->PixelFormat(), pf1bit);
  F->Radio8->click();
  F->PreviewBtn->click();
  EXPECT_EQ(Shown->PixelFormat(), pf4bit);
  F->close();
  EXPECT_EQ(Shown.get(), Original);
  EXPECT_TRUE(SameBytes(*Shown, *Before));
  EXPECT_EQ(Snapshots, 0);
  EXPECT_EQ(Ended, 1);
}

TEST_F(ConvertDialog, EnterAppliesAndEscapeCancels) {
  auto* F = new TConvPalForm(Host, *Shown, S);
  QKeyEvent Esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QCoreApplication::sendEvent(F, &Esc);
  EXPECT_EQ(Ended, 1);
  EXPECT_EQ(Shown->PixelFormat(), pf24bit);
  F = new TConvPalForm(Host, *Shown, S);
  F->ColRadios[5]->click();
  QKeyEvent Enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
  QCoreApplication::sendEvent(F, &Enter);
  EXPECT_EQ(Ended, 2);
  EXPECT_EQ(Snapshots, 1);
  EXPECT_EQ(Shown->PixelFormat(), pf8bit);
}

// The dialogs opened from the main window's commands.
class ConvertCommands : public TMainFixture {
protected:
  void SetUp() override {
    TMainFixture::SetUp();
    Saved = Settings;
    SetDefaultSettings(Settings);
    Settings.UndoEnabled = true;
    Main->ApplyUndoSetting();
    WriteBmp(File("a.bmp"), *Pattern24(30, 20));
    Main->LoadImage(QFile("a.bmp"), false);
    Before = Main->Image->Clone();
  }
  void TearDown() override {
    TMainFixture::TearDown();
    Settings = Saved;
  }
  template <class T>
  T* Open(void (TPelorinMain::*Command)()) {
    (Main.get()->*Command)();
    return qobject_cast<T*>(Main->ConvertForm.data());
  }
  bool Enabled(const char* Name) const { return Main->Item(QLatin1String(Name))->isEnabled(); }
  bool FormGone() {
    return WaitFor([this] { return Main->ConvertForm.isNull(); });
  }
  TSettings Saved{};
  std::unique_ptr<TDib> Before;
};

TEST_F(ConvertCommands, CancelAfterPreviewRestoresTheBufferAndRecordsNothing) {
  auto* F = Open<TConvGrayForm>(&TPelorinMain::ConvGrayItemClick);
  ASSERT_TRUE(F);
  EXPECT_TRUE(F->isVisible());
  EXPECT_TRUE(Main->ModalLock);
  F->RadioMono->click();
  F->PreviewBtn->click();
  EXPECT_EQ(Main->Image->PixelFormat(), pf1bit);
  F->CancelBtn->click();
  EXPECT_TRUE(SameBytes(*Main->Image, *Before));
  EXPECT_FALSE(Enabled("UndoItem"));
  EXPECT_FALSE(Main->ModalLock);
  EXPECT_TRUE(FormGone());
  EXPECT_EQ(Settings.GrayLevels, 256);
}

TEST_F(ConvertCommands, ApplyRecordsOneUndoStepThatRestoresTheImage) {
  auto* F = Open<TConvPalForm>(&TPelorinMain::ConvPalItemClick);
  ASSERT_TRUE(F);
  F->ColRadios[5]->click();
  F->PreviewBtn->click();
  F->OkBtn->click();
  EXPECT_EQ(Main->Image->PixelFormat(), pf8bit);
  EXPECT_EQ(Main->Image->GetPixelColor(0, 0) & 0xFFFFFF, 0x000000u);
  EXPECT_FALSE(Enabled("ConvPalItem"));
  EXPECT_FALSE(Main->ModalLock);
  EXPECT_EQ(Settings.PalColors, 5);
  ASSERT_TRUE(Enabled("UndoItem"));
  Main->UndoItemClick();
  EXPECT_TRUE(SamePixels(*Main->Image, *Before));
  EXPECT_FALSE(Enabled("UndoItem"));
  EXPECT_TRUE(FormGone());
}

TEST_F(ConvertCommands, ApplyWithoutPreviewConvertsTheOriginal) {
  auto* F = Open<TConvGrayForm>(&TPelorinMain::ConvGrayItemClick);
  ASSERT_TRUE(F);
  F->RadioMono->click();
  F->OkBtn->click();
  EXPECT_EQ(Main->Image->PixelFormat(), pf1bit);
  EXPECT_TRUE(Main->Image->IsGray);
  EXPECT_FALSE(Enabled("ConvGrayItem"));
  Main->UndoItemClick();
  EXPECT_TRUE(SamePixels(*Main->Image, *Before));
}

// The kept conversion is an edit of its own: the transparent entry of the
// old palette no longer applies, and reading the file again for the alpha
// setting would lose it. Undo brings both back.
TEST_F(ConvertCommands, ApplyDropsTheOldTransparencyAndCountsAsAnEdit) {
  auto Pal = std::make_unique<TDib>(16, 4, pf8bit);
  for (int32_t I = 0; I < 16; ++I)
    Pal->SetPaletteColor(I, TColor(I * 16 | (255 - I * 16) << 8 | 40 << 16));
  for (int32_t X = 0; X < 16; ++X)
    for (int32_t Y = 0; Y < 4; ++Y)
      Pal->SetPixelValue(X, Y, uint32_t(X));
  WriteBmp(File("p.bmp"), *Pal);
  Main->LoadImage(QFile("p.bmp"), false);
  ASSERT_EQ(Main->Image->PixelFormat(), pf8bit);
  Main->Transparency.TransparentIndex = 3;
  Main->HasTransparency = true;
  auto* F = Open<TConvGrayForm>(&TPelorinMain::ConvGrayItemClick);
  ASSERT_TRUE(F);
  F->Radio16->click();
  F->OkBtn->click();
  EXPECT_EQ(Main->Image->PixelFormat(), pf4bit);
  EXPECT_EQ(Main->Transparency.TransparentIndex, -1);
  EXPECT_FALSE(Main->RefreshAlpha(true));
  EXPECT_EQ(Main->Image->PixelFormat(), pf4bit);
  Main->UndoItemClick();
  EXPECT_EQ(Main->Image->PixelFormat(), pf8bit);
  EXPECT_EQ(Main->Transparency.TransparentIndex, 3);
}

TEST_F(ConvertCommands, WhileOpenOtherCommandsAndDropsAreRefused) {
  Main->ListForm->show();
  auto* F = Open<TConvGrayForm>(&TPelorinMain::ConvGrayItemClick);
  ASSERT_TRUE(F);
  EXPECT_FALSE(Main->acceptDrops());
  EXPECT_FALSE(Main->ListForm->isVisible());
  F->RadioMono->click();
  F->PreviewBtn->click();
  Main->InvertItemClick();
  Main->ConvPalItemClick();
  Main->ConvGrayItemClick();
  Main->UndoItemClick();
  EXPECT_EQ(Main->ConvertForm.data(), F);
  EXPECT_EQ(Main->Image->PixelFormat(), pf1bit);
  // Closed from the desktop: as Cancel.
  F->close();
  EXPECT_FALSE(Main->ModalLock);
  EXPECT_TRUE(Main->acceptDrops());
  EXPECT_TRUE(Main->ListForm->isVisible());
  EXPECT_TRUE(SameBytes(*Main->Image, *Before));
  EXPECT_TRUE(FormGone());
  Main->InvertItemClick();
  EXPECT_FALSE(SamePixels(*Main->Image, *Before));
}

TEST_F(ConvertCommands, ClosingTheMainWindowClosesTheDialogFirst) {
  auto* F = Open<TConvPalForm>(&TPelorinMain::ConvPalItemClick);
  ASSERT_TRUE(F);
  F->PreviewBtn->click();
  Main->close();
  EXPECT_FALSE(Main->ModalLock);
  EXPECT_TRUE(FormGone());
}

TEST_F(ConvertCommands, TheKeysOpenTheDialogs) {
  Main->FormKeyDown(Qt::Key_X, Qt::NoModifier);
  ASSERT_TRUE(qobject_cast<TConvPalForm*>(Main->ConvertForm.data()));
  Main->ConvertForm->reject();
  ASSERT_TRUE(FormGone());
  Main->FormKeyDown(Qt::Key_G, Qt::NoModifier);
  ASSERT_TRUE(qobject_cast<TConvGrayForm*>(Main->ConvertForm.data()));
  Main->ConvertForm->reject();
  EXPECT_TRUE(FormGone());
}

} // namespace

namespace {

// Every control lies inside the group or form that holds it; with
// PELORIN_GRAB_DIR set the dialogs are also saved as pictures to look at.
TEST_F(ConvertDialog, ControlsLieInsideTheirParents) {
  std::vector<TStdConvertForm*> Forms{new TConvPalForm(Host, *Shown, S), new TConvGrayForm(Host, *Shown, S)};
  const char* Names[] = {"convpal.png", "convgray.png"};
  for (size_t I = 0; I < Forms.size(); ++I) {
    TStdConvertForm* F = Forms[I];
    F->show();
    for (QWidget* W : F->findChildren<QWidget*>()) {
      if (!W->isVisible() || !W->parentWidget() || W->isWindow())
        continue;
      EXPECT_TRUE(W->parentWidget()->rect().contains(W->geometry()))
          << W->metaObject()->className() << " " << W->objectName().toStdString();
    }
    if (const QString Dir = qEnvironmentVariable("PELORIN_GRAB_DIR"); !Dir.isEmpty())
      F->grab().save(Dir + QLatin1Char('/') + QLatin1String(Names[I]));
    F->reject();
  }
}

} // namespace

namespace {

class ConvertWorker : public TMainFixture {};

// The worker reads the shown image, so a close request that arrives while
// it runs is refused; its exception reaches the caller.
TEST_F(ConvertWorker, TheMainWindowStaysWhileAWorkerRunsAndErrorsComeBack) {
  WriteBmp(File("a.bmp"), *Pattern24(8, 8));
  Main->LoadImage(QFile("a.bmp"), false);
  ASSERT_TRUE(Main->isVisible());
  std::vector<int32_t> Seen;
  RunWithProgress(Main.get(), QStringLiteral("Work"), [&](const TProgressFn& Progress) {
    EXPECT_TRUE(WorkerRunning());
    QMetaObject::invokeMethod(Main.get(), &QWidget::close, Qt::QueuedConnection);
    for (int32_t Row = 1; Row <= 4; ++Row) {
      Progress(Row, 4);
      Seen.push_back(Row);
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  });
  EXPECT_FALSE(WorkerRunning());
  EXPECT_TRUE(Main->isVisible());
  EXPECT_TRUE(Main->Image);
  EXPECT_EQ(Seen.size(), 4u);
  EXPECT_THROW(
      RunWithProgress(Main.get(), QStringLiteral("Work"), [](const TProgressFn&) { throw std::runtime_error("no"); }),
      std::runtime_error);
  EXPECT_FALSE(WorkerRunning());
}

} // namespace
