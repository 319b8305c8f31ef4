#include <QAction>
#include <QLineEdit>
#include <QTest>
#include <sys/stat.h>

#include <array>
#include <fstream>
#include <iterator>
#include <optional>

#include "AppTestUtil.h"
#include "Cfg.h"
#include "DsSpinEdit.h"
#include "DsVCL.h"
#include "Launch.h"

namespace {

namespace fs = std::filesystem;

std::array<uint8_t, SettingsSize> Bytes(const TSettings& S) { return SettingsToBytes(S); }

// Every check box with the setting it stands for.
struct TCheckCase {
  TPeCheckBox* TCfgForm::*Box;
  bool TSettings::*Field;
  const char* Name;
};
const TCheckCase CheckCases[] = {
    {&TCfgForm::A_Check, &TSettings::ApplyAlpha, "A_Check"},
    {&TCfgForm::ZA_Check, &TSettings::ZoomToFit, "ZA_Check"},
    {&TCfgForm::Ds_Check, &TSettings::ShowProgress, "Ds_Check"},
    {&TCfgForm::SW_Check, &TSettings::ShowWarnings, "SW_Check"},
    {&TCfgForm::AutoOpenBox, &TSettings::AutoOpen, "AutoOpenBox"},
    {&TCfgForm::TwainBox, &TSettings::TwainEnabled, "TwainBox"},
    {&TCfgForm::MFMB_Check, &TSettings::MouseBrowseWindow, "MFMB_Check"},
    {&TCfgForm::SFMB_Check, &TSettings::MouseBrowseFullScreen, "SFMB_Check"},
    {&TCfgForm::CG_Check, &TSettings::Gradients, "CG_Check"},
    {&TCfgForm::LuvCtrlBox, &TSettings::LuvControl, "LuvCtrlBox"},
    {&TCfgForm::LuvStonitsBox, &TSettings::LuvStonits, "LuvStonitsBox"},
};

// The three spins with their settings, ranges and defaults.
struct TSpinCase {
  TPeSpinEdit* TCfgForm::*Spin;
  TInt32 TSettings::*Field;
  int Min, Max, Default;
  void (TCfgForm::*DblClick)();
};
const TSpinCase SpinCases[] = {
    {&TCfgForm::TiledSpin, &TSettings::TileThreshold, 2, 256, 32, &TCfgForm::TiledSpinDblClick},
    {&TCfgForm::DefaultDpiSpin, &TSettings::DefaultDpi, 1, 6000, 300, &TCfgForm::DefaultDpiSpinDblClick},
    {&TCfgForm::PrinterDpiSpin, &TSettings::PrinterDpi, 1, 6000, 600, &TCfgForm::PrinterDpiSpinDblClick},
};

class CfgForm : public ::testing::Test {
protected:
  void SetUp() override {
    SetDefaultSettings(S);
    Make();
  }
  void TearDown() override {
    Form.reset();
    ChooseProgramHook = nullptr;
  }
  void Make() {
    Form.reset();
    Form = std::make_unique<TCfgForm>(S, [this](TColor& C) {
      Offered = C;
      if (!Picked)
        return false;
      C = *Picked;
      return true;
    });
  }
  void Ok() { Form->OkBtn->click(); }

  TSettings S{};
  std::unique_ptr<TCfgForm> Form;
  std::optional<TColor> Picked;
  TColor Offered = 0;
};

TEST_F(CfgForm, ShowsItsPagesAndDefaults) {
  EXPECT_EQ(Form->windowTitle(), "Configuration");
  EXPECT_EQ(Form->size(), QSize(363, 306));
  const char* const Pages[] = {"Image    ", "Display  ", "Startup ", "Misc.    ", "Photo-CD", "LogLUV", "Launch"};
  ASSERT_EQ(Form->PageControl->Count(), int(std::size(Pages)));
  for (int I = 0; I < Form->PageControl->Count(); ++I)
    EXPECT_EQ(Form->PageControl->TabText(I), QLatin1String(Pages[I]));
  EXPECT_EQ(Form->OkBtn->text(), "OK");
  EXPECT_EQ(Form->CancelBtn->text(), "Cancel");

  for (const TCheckCase& C : CheckCases)
    EXPECT_EQ((Form.get()->*C.Box)->Checked(), S.*C.Field) << C.Name;
  EXPECT_EQ(Form->BackColBtn->Color(), QColor(0x80, 0x80, 0x80));
  EXPECT_TRUE(Form->TileAutoRadio->Checked());
  EXPECT_FALSE(Form->TileNeverRadio->Checked() || Form->TileAlwaysRadio->Checked());
  EXPECT_TRUE(Form->ResFilt1Radio->Checked());
  EXPECT_FALSE(Form->ResLinearRadio->Checked() || Form->ResFilt2Radio->Checked());
  for (const TSpinCase& C : SpinCases) {
    TPeSpinEdit* Spin = Form.get()->*C.Spin;
    EXPECT_EQ(Spin->Value(), C.Default) << Spin->objectName().toStdString();
    EXPECT_EQ(Spin->MinValue(), C.Min);
    EXPECT_EQ(Spin->MaxValue(), C.Max);
  }
  EXPECT_TRUE(Form->TiledSpin->isEnabled());
  EXPECT_TRUE(Form->PcdIdx[2]->Checked());
  EXPECT_EQ(Form->PcdIdx[2]->text(), "  768 x 512 (default)");
  EXPECT_EQ(Form->PcdIndex, 2);
  for (QLineEdit* Edit : Form->RunProgEdit)
    EXPECT_TRUE(Edit->text().isEmpty());
  EXPECT_EQ(Form->BackColBtn->text(), "background color (also for alpha && transp.)");
}

TEST_F(CfgForm, TheTabsLieInFullRowsWithTheShownPagesRowNextToIt) {
  TPageControl& Pages = *Form->PageControl;
  ASSERT_EQ(Pages.RowCount(), 2) << "seven captions need two rows in the width";
  auto RowOf = [&](int I) { return Pages.TabRect(I).top(); };
  // Four tabs, then three, each row from the left edge to the right one.
  for (auto [First, Last] : {std::pair{0, 3}, {4, 6}}) {
    EXPECT_EQ(Pages.TabRect(First).left(), 0);
    EXPECT_EQ(Pages.TabRect(Last).right(), Pages.width() - 1);
    for (int I = First; I < Last; ++I) {
      EXPECT_EQ(RowOf(I), RowOf(Last));
      EXPECT_EQ(Pages.TabRect(I).right() + 1, Pages.TabRect(I + 1).left());
    }
  }
  EXPECT_GT(RowOf(0), RowOf(4)) << "the first page's row lies next to it";
  Form->show();
  QTest::mouseClick(&Pages, Qt::LeftButton, {}, Pages.TabRect(5).center());
  EXPECT_EQ(Pages.CurrentIndex(), 5);
  EXPECT_TRUE(Pages.Page(5)->isVisible());
  EXPECT_FALSE(Pages.Page(0)->isVisible());
  EXPECT_GT(RowOf(4), RowOf(0)) << "the rows change places";
  QTest::keyClick(&Pages, Qt::Key_Tab, Qt::ControlModifier);
  EXPECT_EQ(Pages.CurrentIndex(), 6);
  QTest::keyClick(&Pages, Qt::Key_Tab, Qt::ControlModifier);
  EXPECT_EQ(Pages.CurrentIndex(), 0) << "Ctrl+Tab wraps around";
}

TEST_F(CfgForm, EveryCheckBoxShowsItsSettingAndOkWritesItBack) {
  for (const TCheckCase& C : CheckCases) {
    SCOPED_TRACE(C.Name);
    SetDefaultSettings(S);
    const bool Stored = S.*C.Field;
    S.*C.Field = !Stored;
    Make();
    EXPECT_EQ((Form.get()->*C.Box)->Checked(), !Stored) << "read from the settings";
    (Form.get()->*C.Box)->click();
    Ok();
    EXPECT_EQ(S.*C.Field, Stored) << "written back on OK";
    EXPECT_EQ(Form->result(), QDialog::Accepted);
  }
}

// The load switches share one byte whose set bits turn things off; bits
// of later versions ride along untouched.
TEST_F(CfgForm, TheLoadSwitchesReadAndWriteTheirBitsOnly) {
  struct TBitCase {
    TPeCheckBox* TCfgForm::*Box;
    uint8_t Bit;
    const char* Caption;
  };
  const TBitCase Cases[] = {{&TCfgForm::OrientBox, voKeepStoredTurn, OrientCaption},
                            {&TCfgForm::ProfileBox, voIgnoreProfiles, ProfileCaption}};
  for (const TBitCase& C : Cases) {
    SCOPED_TRACE(C.Caption);
    for (const uint8_t Start :
         {uint8_t(0), C.Bit, uint8_t(voKnownBits), uint8_t(voKnownBits & ~C.Bit), uint8_t(0x80)}) {
      SetDefaultSettings(S);
      S.ViewOptionsOff = Start;
      Make();
      TPeCheckBox* Box = Form.get()->*C.Box;
      EXPECT_EQ(Box->text(), QLatin1String(C.Caption));
      EXPECT_EQ(Box->Checked(), !(Start & C.Bit)) << int(Start);
      Box->click();
      Ok();
      EXPECT_EQ(S.ViewOptionsOff, uint8_t(Start ^ C.Bit)) << int(Start);
    }
  }
  // Untouched, OK keeps the byte as it was.
  SetDefaultSettings(S);
  S.ViewOptionsOff = voKeepStoredTurn;
  Make();
  Ok();
  EXPECT_EQ(S.ViewOptionsOff, voKeepStoredTurn);
}

TEST(CfgHelp, TheHelpTextsNameTheLoadSwitches) {
  for (const char* Name : {HelpGeneralFile, DocFile}) {
    QFile F(QCoreApplication::applicationDirPath() + QStringLiteral("/../../app/") + QLatin1String(Name));
    ASSERT_TRUE(F.open(QIODevice::ReadOnly)) << Name;
    // Captions may break across lines.
    const QString Text = QString::fromUtf8(F.readAll()).simplified();
    for (const char* Caption : {OrientCaption, ProfileCaption})
      EXPECT_TRUE(Text.contains(QLatin1String(Caption), Qt::CaseInsensitive)) << Name << ": " << Caption;
  }
}

TEST_F(CfgForm, RadioGroupsReadAndWriteTheirChoice) {
  struct TRadioCase {
    int32_t Tile;
    TPeRadioBox* TCfgForm::*TileRadio;
    bool SpinEnabled;
    int32_t Resample;
    TPeRadioBox* TCfgForm::*ResampleRadio;
    uint8_t Pcd;
  };
  const TRadioCase Cases[] = {
      {0, &TCfgForm::TileNeverRadio, false, 0, &TCfgForm::ResLinearRadio, 0},
      {1, &TCfgForm::TileAutoRadio, true, 1, &TCfgForm::ResFilt1Radio, 3},
      {2, &TCfgForm::TileAlwaysRadio, false, 2, &TCfgForm::ResFilt2Radio, 4},
  };
  for (const TRadioCase& C : Cases) {
    SCOPED_TRACE(testing::Message() << "tile " << C.Tile);
    S.TileMode = C.Tile;
    S.FullScreenResample = C.Resample;
    S.PcdResolution = C.Pcd;
    Make();
    EXPECT_TRUE((Form.get()->*C.TileRadio)->Checked());
    EXPECT_EQ(Form->TiledSpin->isEnabled(), C.SpinEnabled);
    EXPECT_TRUE((Form.get()->*C.ResampleRadio)->Checked());
    EXPECT_TRUE(Form->PcdIdx[C.Pcd]->Checked());
    EXPECT_EQ(Form->PcdIndex, C.Pcd);
  }
  // Clicked the other way round, each choice is stored as its number.
  for (const TRadioCase& C : Cases) {
    SCOPED_TRACE(testing::Message() << "tile " << C.Tile);
    SetDefaultSettings(S);
    Make();
    (Form.get()->*C.TileRadio)->click();
    EXPECT_EQ(Form->TiledSpin->isEnabled(), C.SpinEnabled) << "the spin follows the auto choice";
    (Form.get()->*C.ResampleRadio)->click();
    Form->PcdIdx[C.Pcd]->click();
    EXPECT_EQ(Form->PcdIndex, C.Pcd);
    Ok();
    EXPECT_EQ(S.TileMode, C.Tile);
    EXPECT_EQ(S.FullScreenResample, C.Resample);
    EXPECT_EQ(S.PcdResolution, C.Pcd);
  }
}

TEST_F(CfgForm, SpinsAreClampedToTheirRangesAndDoubleClickRestoresTheStoredValue) {
  for (const TSpinCase& C : SpinCases) {
    TPeSpinEdit* Spin = Form.get()->*C.Spin;
    SCOPED_TRACE(Spin->objectName().toStdString());
    for (auto [Typed, Stored] : {std::pair{C.Min - 1, C.Min}, {C.Max + 1, C.Max}, {C.Min, C.Min}, {C.Max, C.Max}}) {
      SetDefaultSettings(S);
      Make();
      Spin = Form.get()->*C.Spin;
      Spin->setText(QString::number(Typed));
      Ok();
      EXPECT_EQ(S.*C.Field, Stored) << "typed " << Typed;
    }
    SetDefaultSettings(S);
    Make();
    Spin = Form.get()->*C.Spin;
    Form->show();
    Spin->setText(QStringLiteral("72"));
    QTest::mouseDClick(Spin, Qt::LeftButton);
    EXPECT_EQ(Spin->Value(), C.Default) << "the double click puts back the stored value";
    Spin->setText(QStringLiteral("73"));
    (Form.get()->*C.DblClick)();
    EXPECT_EQ(Spin->Value(), C.Default);
  }
}

TEST_F(CfgForm, EnterIsOkAndEscapeIsCancelInSpinsAndEdits) {
  std::vector<QWidget*> Fields{Form->TiledSpin, Form->DefaultDpiSpin, Form->PrinterDpiSpin};
  Fields.insert(Fields.end(), Form->RunProgEdit.begin(), Form->RunProgEdit.end());
  for (size_t I = 0; I < Fields.size(); ++I) {
    for (auto [Key, Result] : {std::pair{Qt::Key_Return, QDialog::Accepted},
                               {Qt::Key_Enter, QDialog::Accepted},
                               {Qt::Key_Escape, QDialog::Rejected}}) {
      SetDefaultSettings(S);
      Make();
      std::vector<QWidget*> Now{Form->TiledSpin, Form->DefaultDpiSpin, Form->PrinterDpiSpin};
      Now.insert(Now.end(), Form->RunProgEdit.begin(), Form->RunProgEdit.end());
      Form->ZA_Check->click();
      Form->setResult(-1);
      QTest::keyClick(Now[I], Key);
      EXPECT_EQ(Form->result(), Result) << Now[I]->objectName().toStdString() << " key " << Key;
      EXPECT_EQ(S.ZoomToFit, Result == QDialog::Rejected) << "written only by OK";
    }
  }
}

TEST_F(CfgForm, CancelAndTheCloseBoxChangeNothing) {
  const auto Original = Bytes(S);
  auto ChangeEverything = [this] {
    for (const TCheckCase& C : CheckCases)
      (Form.get()->*C.Box)->click();
    Form->OrientBox->click();
    Form->ProfileBox->click();
    Form->TileNeverRadio->click();
    Form->ResFilt2Radio->click();
    Form->PcdIdx[4]->click();
    Form->DefaultDpiSpin->setText(QStringLiteral("72"));
    Form->RunProgEdit[1]->setText(QStringLiteral("/bin/true"));
    Picked = 0x123456;
    Form->BackColBtn->click();
  };
  ChangeEverything();
  Form->CancelBtn->click();
  EXPECT_EQ(Form->result(), QDialog::Rejected);
  EXPECT_EQ(Bytes(S), Original);

  Make();
  Form->show();
  ChangeEverything();
  Form->close();
  EXPECT_FALSE(Form->isVisible());
  EXPECT_EQ(Form->result(), QDialog::Rejected);
  EXPECT_EQ(Bytes(S), Original);
}

TEST_F(CfgForm, TheColorButtonOffersTheStoredColorAndKeepsAPickedOne) {
  S.BackColor = 0x00332211;
  Make();
  Form->BackColBtn->click();
  EXPECT_EQ(Offered, 0x00332211u);
  EXPECT_EQ(Form->BackColBtn->Color(), QColor(0x11, 0x22, 0x33)) << "a cancelled color dialog keeps the color";
  Picked = 0x00665544;
  Form->BackColBtn->click();
  EXPECT_EQ(Form->BackColBtn->Color(), QColor(0x44, 0x55, 0x66));
  EXPECT_EQ(TColor(S.BackColor), 0x00332211u) << "not before OK";
  Ok();
  EXPECT_EQ(TColor(S.BackColor), 0x00665544u);
}

TEST_F(CfgForm, ProgramPathsAreKeptToTheirFirst255Characters) {
  const QString Long = QStringLiteral("/opt/") + QString(300, QLatin1Char('x'));
  Form->RunProgEdit[0]->setText(Long);
  Form->RunProgEdit[2]->setText(Long.left(255));
  EXPECT_EQ(Form->RunProgEdit[0]->text(), Long) << "the edit takes any length";
  Ok();
  EXPECT_EQ(QString::fromStdString(S.LaunchPrograms[0].Text()), Long.left(255));
  EXPECT_TRUE(S.LaunchPrograms[1].Empty());
  EXPECT_EQ(QString::fromStdString(S.LaunchPrograms[2].Text()), Long.left(255));
}

TEST_F(CfgForm, BrowsingStartsAtTheStoredProgramAndFillsTheEdit) {
  S.LaunchPrograms[1].SetText("/usr/bin/stored");
  Make();
  Form->RunProgEdit[1]->setText(QStringLiteral("/typed/meanwhile"));
  QString Start;
  QString Answer = QStringLiteral("/bin/sh");
  ChooseProgramHook = [&](QWidget* Parent, const QString& From) {
    EXPECT_EQ(Parent, Form.get());
    Start = From;
    return Answer;
  };
  Form->DirBtn[1]->click();
  EXPECT_EQ(Start, "/usr/bin/stored") << "the stored path, not the edit's text";
  EXPECT_EQ(Form->RunProgEdit[1]->text(), "/bin/sh");
  Answer.clear();
  Form->DirBtn[1]->click();
  EXPECT_EQ(Form->RunProgEdit[1]->text(), "/bin/sh") << "Cancel leaves the edit";
  Form->DirBtn[0]->click();
  EXPECT_TRUE(Start.isEmpty());
  EXPECT_TRUE(Form->RunProgEdit[0]->text().isEmpty());

  // A click in an edit selects its whole text.
  Form->show();
  QTest::mouseClick(Form->RunProgEdit[1], Qt::LeftButton, {}, QPoint(3, 3));
  EXPECT_EQ(Form->RunProgEdit[1]->selectedText(), "/bin/sh");
}

TEST_F(CfgForm, TheProgramDialogListsFoldersAndRunnableFilesOnly) {
  const fs::path Dir = TestFolder / "CfgPrograms";
  fs::create_directories(Dir);
  auto Make = [&](const char* Name, fs::perms Perms) {
    const fs::path P = Dir / Name;
    std::ofstream(P) << "#!/bin/sh\n";
    fs::permissions(P, Perms);
    return QFileInfo(QString::fromStdString(P.string()));
  };
  const QFileInfo Runnable = Make("tool", fs::perms::owner_all);
  const QFileInfo Plain = Make("notes.txt", fs::perms::owner_read | fs::perms::owner_write);
  const QFileInfo Folder(QString::fromStdString(Dir.string()));
  const QFileInfo Missing(QString::fromStdString((Dir / "none").string()));
  struct TCase {
    const QFileInfo& Info;
    bool Program, Listed;
  } const Cases[] = {{Runnable, true, true}, {Plain, false, false}, {Folder, false, true}, {Missing, false, false}};
  for (const TCase& C : Cases) {
    EXPECT_EQ(IsProgramFile(C.Info), C.Program) << C.Info.filePath().toStdString();
    EXPECT_EQ(ListedInProgramDialog(C.Info), C.Listed) << C.Info.filePath().toStdString();
  }
}

// The dialog run by the main window's command.
class CfgCommand : public TMainFixture {
protected:
  void SetUp() override {
    TMainFixture::SetUp();
    for (const char* Name : {"a.bmp", "b.bmp", "c.bmp"})
      WriteBmp(Folder / Name, *Pattern24(40, 30));
    Main->LoadImage(QFile("b.bmp"), false);
    ASSERT_TRUE(Main->Image);
  }
  void TearDown() override {
    ChooseColorHook = nullptr;
    DrawColorGradients = true;
    TMainFixture::TearDown();
  }
  // Runs the command with Fill working the dialog; OK unless Fill closed it.
  bool Configure(const std::function<void(TCfgForm&)>& Fill, bool Accept = true) {
    return WorkModal<TCfgForm>([this] { Main->Item(QStringLiteral("ConfigItem"))->trigger(); },
                               [&](TCfgForm& Form) {
                                 Fill(Form);
                                 if (Form.isVisible())
                                   (Accept ? Form.OkBtn : Form.CancelBtn)->click();
                               });
  }
  static std::optional<TSettings> FileRecord() {
    std::ifstream In(SettingsFileName(), std::ios::binary);
    const std::vector<char> Data{std::istreambuf_iterator<char>(In), {}};
    TSettings S{};
    if (!SettingsFromBytes(reinterpret_cast<const uint8_t*>(Data.data()), Data.size(), S))
      return std::nullopt;
    return S;
  }
  QString Shown() const { return QFileInfo(Main->FileName).fileName(); }
};

TEST_F(CfgCommand, OkAppliesEverythingAtOnceAndWritesTheSettingsFile) {
  fs::remove(SettingsFileName());
  ChooseColorHook = [](TColor& C) {
    C = 0x00102030;
    return true;
  };
  ASSERT_TRUE(Configure([](TCfgForm& F) {
    F.BackColBtn->click();
    F.MFMB_Check->SetChecked(true);
    F.CG_Check->SetChecked(false);
    F.RunProgEdit[0]->setText(QStringLiteral("/opt/tools/my.editor"));
  }));
  EXPECT_EQ(TColor(Settings.BackColor), 0x00102030u);
  EXPECT_EQ(Main->palette().color(QPalette::Window), QColor(0x30, 0x20, 0x10)) << "the background at once";
  EXPECT_EQ(Main->ScreenForm->palette().color(QPalette::Window), QColor(0x30, 0x20, 0x10));
  EXPECT_FALSE(DrawColorGradients);
  QAction* Launch1 = Main->Item(QStringLiteral("LaunchItem1"));
  EXPECT_EQ(Launch1->text(), "my      ");
  EXPECT_TRUE(Launch1->isEnabled());
  EXPECT_EQ(Main->Item(QStringLiteral("LaunchItem2"))->text(), "none");
  // Browsing by the mouse buttons in the window.
  QTest::mouseClick(Main->ImgBox, Qt::LeftButton, {}, QPoint(1, 1));
  EXPECT_EQ(Shown(), "a.bmp");
  QTest::mouseClick(Main->ImgBox, Qt::RightButton, {}, QPoint(1, 1));
  EXPECT_EQ(Shown(), "b.bmp");
  EXPECT_FALSE(Main->MainPopup->isVisible());

  const std::optional<TSettings> Kept = FileRecord();
  ASSERT_TRUE(Kept) << "the settings file is written on OK";
  EXPECT_EQ(TColor(Kept->BackColor), 0x00102030u);
  EXPECT_TRUE(Kept->MouseBrowseWindow);
  EXPECT_FALSE(Kept->Gradients);
  EXPECT_EQ(Kept->LaunchPrograms[0].Text(), "/opt/tools/my.editor");
  EXPECT_EQ(Kept->MainLeft, Settings.MainLeft + 16) << "a copy started later still cascades";
  EXPECT_TRUE(Messages.empty());
}

TEST_F(CfgCommand, CancelChangesAndWritesNothing) {
  fs::remove(SettingsFileName());
  const auto Before = Bytes(Settings);
  const QColor Back = Main->palette().color(QPalette::Window);
  ChooseColorHook = [](TColor& C) {
    C = 0x00102030;
    return true;
  };
  ASSERT_TRUE(Configure(
      [](TCfgForm& F) {
        F.BackColBtn->click();
        F.TileAlwaysRadio->click();
      },
      false));
  EXPECT_EQ(Bytes(Settings), Before);
  EXPECT_EQ(Main->palette().color(QPalette::Window), Back);
  EXPECT_FALSE(fs::exists(SettingsFileName()));
}

TEST_F(CfgCommand, AFailedWriteIsReported) {
  // A folder in the settings file's place cannot be replaced by a file.
  const fs::path Name = SettingsFileName();
  fs::remove(Name);
  fs::create_directory(Name);
  ASSERT_TRUE(Configure([](TCfgForm& F) { F.ZA_Check->click(); }));
  fs::remove(Name);
  ASSERT_EQ(Messages.size(), 1u);
  EXPECT_EQ(Messages[0].Kind, mkWarning);
  EXPECT_TRUE(Messages[0].Text.startsWith("The settings could not be written to\n"));
  EXPECT_TRUE(Messages[0].Text.contains(QString::fromStdString(Name.string())));
  EXPECT_FALSE(Settings.ZoomToFit) << "the choice still holds for this run";
}

TEST_F(CfgCommand, TilingFollowsTheModeAndTheThresholdAtOnce) {
  // 1000 bytes a row: 2048 rows are exactly twice 1 024 000 bytes.
  struct TCase {
    TPeRadioBox* TCfgForm::*Mode;
    int Threshold;
    int32_t Rows;
    bool Tiled;
  };
  const TCase Cases[] = {
      {&TCfgForm::TileAutoRadio, 2, 2048, false}, {&TCfgForm::TileAutoRadio, 2, 2049, true},
      {&TCfgForm::TileAutoRadio, 3, 2049, false}, {&TCfgForm::TileNeverRadio, 2, 4000, false},
      {&TCfgForm::TileAlwaysRadio, 256, 1, true},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(testing::Message() << C.Threshold << " MB, " << C.Rows << " rows");
    Main->Image = std::make_unique<TDib>(1000, C.Rows, pf8bit);
    Main->Image->Tiled = !C.Tiled;
    ASSERT_TRUE(Configure([&](TCfgForm& F) {
      (F.*C.Mode)->click();
      F.TiledSpin->SetValue(C.Threshold);
    }));
    EXPECT_EQ(Main->Image->Tiled, C.Tiled);
  }
}

TEST_F(CfgCommand, ANewResamplingRebuildsTheFullScreenCopyAtOnce) {
  const QRect Screen = QGuiApplication::primaryScreen()->geometry();
  auto Big = std::make_unique<TDib>(Screen.width() + 200, Screen.height() / 2, pf24bit);
  Big->Fill(0x0000FF);
  WriteBmp(Folder / "big.bmp", *Big);
  Settings.FullScreenResample = 0;
  Main->LoadImage(QFile("big.bmp"), false);
  Main->FullScreen();
  ASSERT_TRUE(Main->FullScreenShowing());
  EXPECT_FALSE(Main->ScreenForm->Scaled);
  ASSERT_TRUE(Configure([this](TCfgForm& F) {
    EXPECT_EQ(F.parentWidget(), Main->ScreenForm) << "in front of full screen";
    F.ResFilt2Radio->click();
  }));
  EXPECT_TRUE(Main->ScreenForm->Scaled);
  ASSERT_TRUE(Main->ScreenForm->ScaledImage);
  EXPECT_EQ(Main->ScreenForm->ScaledImage->Width(), Screen.width());
  ASSERT_TRUE(Configure([](TCfgForm& F) { F.ResLinearRadio->click(); }));
  EXPECT_FALSE(Main->ScreenForm->Scaled) << "linear stretches at each paint";
  EXPECT_FALSE(Main->ScreenForm->ScaledImage);
  Main->FullScreen();
}

TEST_F(CfgCommand, RefusedWhileAToolWindowOwnsTheImage) {
  Main->ModalLock = true;
  bool Opened = false;
  // Closes a dialog that should not have come, so that the test cannot hang.
  QTimer Closer;
  QObject::connect(&Closer, &QTimer::timeout, [&] {
    if (QWidget* W = QApplication::activeModalWidget()) {
      Opened = true;
      W->close();
    }
  });
  Closer.start(50);
  Main->ConfigItemClick();
  EXPECT_FALSE(Opened);
  Main->ModalLock = false;
}

} // namespace
