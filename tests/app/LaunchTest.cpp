#include <QAction>
#include <QFile>
#include <QRegularExpression>
#include <QTest>
#include <QUrl>
#include <cstring>
#include <fstream>
#include <map>

#include "AppTestUtil.h"
#include "KeyMap.h"
#include "Launch.h"
#include "XFormats.h"

namespace {

constexpr auto Ctrl = Qt::ControlModifier;

void WriteFile(const std::filesystem::path& Name, bool Executable) {
  std::ofstream(Name) << "#!/bin/sh\n";
  if (Executable)
    std::filesystem::permissions(Name, std::filesystem::perms::owner_all);
}

class Launching : public TMainFixture {
protected:
  void SetUp() override {
    TMainFixture::SetUp();
    SavedOpenUrl = OpenUrl;
    OpenUrl = [this](const QUrl& Url) {
      Opened.push_back(Url);
      return UrlAnswer;
    };
    std::filesystem::create_directories(Folder / "pics");
    WriteBmp(Folder / "pics" / "a.bmp", *Pattern24(8, 8));
    Shown = QFile("pics/a.bmp");
    Main->LoadImage(Shown, false);
    ASSERT_EQ(Main->SourceKind, 1);
  }
  void TearDown() override {
    OpenUrl = SavedOpenUrl;
    for (auto& P : Settings.LaunchPrograms)
      P.SetText("");
    TMainFixture::TearDown();
  }
  void Key(int K, Qt::KeyboardModifiers M = Qt::NoModifier) { QTest::keyClick(Main.get(), Qt::Key(K), M); }
  // Puts Path into launch slot Slot (0..2) as the configuration would.
  void SetProgram(int Slot, const std::string& Path) {
    Settings.LaunchPrograms[Slot].SetText(Path);
    Main->CaptionLaunchItems();
  }
  void ExpectOneMessage(const QString& Text) {
    ASSERT_EQ(Messages.size(), 1u) << Text.toStdString();
    EXPECT_EQ(Messages[0].Text, Text);
    EXPECT_EQ(Messages[0].Kind, mkError);
    Messages.clear();
  }

  std::function<bool(const QUrl&)> SavedOpenUrl;
  std::vector<QUrl> Opened;
  bool UrlAnswer = true;
  QString Shown;
};

TEST_F(Launching, CaptionsAndEnablingFollowTheSettings) {
  struct TCase {
    const char* Path;
    const char* Caption;
    bool Enabled;
  };
  const TCase Cases[] = {
      {"C:\\Apps\\my.editor.exe", "my      ", true},
      {"/usr/bin/gimp-2.10", "gimp-2      ", true},
      {"/opt/tools/.hidden", ".hidden      ", true},
      {"", "none", false},
  };
  for (const TCase& C : Cases) {
    SetProgram(1, C.Path);
    SCOPED_TRACE(C.Path);
    EXPECT_EQ(Main->Item("LaunchItem2")->text(), QString::fromLatin1(C.Caption));
    EXPECT_EQ(Main->Item("LaunchItem2")->isEnabled(), C.Enabled);
    EXPECT_EQ(LaunchCaption(QString::fromLatin1(C.Path)), QString::fromLatin1(C.Caption));
  }
  // At start every empty slot is "none" and off.
  for (const char* Name : {"LaunchItem1", "LaunchItem3"}) {
    EXPECT_EQ(Main->Item(Name)->text(), "none");
    EXPECT_FALSE(Main->Item(Name)->isEnabled());
  }
  EXPECT_TRUE(Main->Item("FennickItem")->isEnabled());
  EXPECT_TRUE(Main->Item("ExploreItem")->isEnabled());
}

TEST_F(Launching, ProgramsGetTheShownFileOnlyWithFileAndFromAFile) {
  const std::string Tool = File("my.tool");
  WriteFile(Tool, true);
  for (int Slot = 0; Slot < 3; ++Slot)
    SetProgram(Slot, Tool);
  const QString Program = QString::fromStdString(Tool);
  Key(Qt::Key_F6);
  Key(Qt::Key_F7, Ctrl);
  EXPECT_TRUE(Main->TriggerItem("LaunchItem3"));
  ASSERT_EQ(Started.size(), 3u);
  EXPECT_EQ(Started[0], std::pair(Program, QStringList{Shown})) << "unquoted: one argument";
  EXPECT_EQ(Started[1], std::pair(Program, QStringList{}));
  EXPECT_EQ(Started[2], std::pair(Program, QStringList{Shown}));
  // An image from the clipboard has no file to pass.
  Started.clear();
  Main->AdoptImage(Pattern24(3, 3), QStringLiteral("Clipboard"));
  Key(Qt::Key_F6);
  ASSERT_EQ(Started.size(), 1u);
  EXPECT_EQ(Started[0], std::pair(Program, QStringList{}));
  EXPECT_TRUE(Messages.empty());
}

TEST_F(Launching, ProgramFailuresAndEmptySlots) {
  const std::string Missing = File("gone.exe");
  SetProgram(0, Missing);
  Key(Qt::Key_F6);
  EXPECT_TRUE(Started.empty());
  ExpectOneMessage(QString::fromStdString(Missing) + "\nApplication not found!");

  const std::string Tool = File("tool");
  WriteFile(Tool, false);
  SetProgram(0, Tool);
  StartDetached = [](const QString&, const QStringList&) { return false; };
  Key(Qt::Key_F6, Ctrl);
  ExpectOneMessage(QString::fromStdString(Tool) + "\nApplication cannot be launched!");

  // An empty slot: neither the item nor the Ctrl key nor a direct call does anything.
  Key(Qt::Key_F8);
  Key(Qt::Key_F8, Ctrl);
  Main->LaunchProgram(2, true);
  Main->LaunchProgram(3, true);
  Main->LaunchProgram(-1, false);
  EXPECT_TRUE(Messages.empty());
}

TEST_F(Launching, NothingStartsWhileAToolWindowOwnsTheImage) {
  const std::string Tool = File("tool");
  WriteFile(Tool, true);
  WriteFile(Folder / FennickName, true);
  SetProgram(0, Tool);
  Main->ModalLock = true;
  Main->LaunchProgram(0, true);
  Main->LaunchFennick(true);
  Main->AboutItemClick();
  Main->ModalLock = false;
  EXPECT_TRUE(Started.empty());
  EXPECT_TRUE(Messages.empty()) << "not even the missing about library";
}

TEST_F(Launching, BrowserBesideTheProgramGetsTheFolder) {
  Key(Qt::Key_F5);
  ExpectOneMessage("fennick not found");
  // A file of that name that cannot run is no browser either.
  const auto Browser = Folder / FennickName;
  WriteFile(Browser, false);
  EXPECT_TRUE(Main->TriggerItem("FennickItem"));
  ExpectOneMessage("fennick not found");

  WriteFile(Browser, true);
  const QString Program = Main->ProgramDir + "fennick";
  Key(Qt::Key_F5);
  Key(Qt::Key_F5, Ctrl);
  ASSERT_EQ(Started.size(), 2u);
  EXPECT_EQ(Started[0], std::pair(Program, QStringList{QFile("pics/")})) << "the folder, with its separator";
  EXPECT_EQ(Started[1], std::pair(Program, QStringList{}));
  StartDetached = [](const QString&, const QStringList&) { return false; };
  Key(Qt::Key_F5);
  ExpectOneMessage("fennick not found");
}

TEST_F(Launching, ExploreOpensTheShownFilesFolder) {
  Key(Qt::Key_F9);
  ASSERT_EQ(Opened.size(), 1u);
  EXPECT_EQ(Opened[0], QUrl::fromLocalFile(QFile("pics/")));
  EXPECT_TRUE(Messages.empty());
  Opened.clear();

  // Without the file there is no folder to open.
  Key(Qt::Key_F9, Ctrl);
  ExpectOneMessage("Folder not found");
  UrlAnswer = false;
  EXPECT_TRUE(Main->TriggerItem("ExploreItem"));
  ExpectOneMessage("Folder not found");
  UrlAnswer = true;
  Opened.clear();
  // A folder gone since the file was read.
  Main->FileName = QFile("gone/a.bmp");
  Key(Qt::Key_F9);
  ExpectOneMessage("Folder not found");
  Main->AdoptImage(Pattern24(3, 3), QStringLiteral("Clipboard"));
  Key(Qt::Key_F9);
  ExpectOneMessage("Folder not found");
  EXPECT_TRUE(Opened.empty());
}

TEST_F(Launching, HelpItemsOpenTheirFilesBesideTheProgram) {
  Key(Qt::Key_F1);
  Key(Qt::Key_F1, Ctrl);
  Key(Qt::Key_D, Ctrl);
  EXPECT_TRUE(Main->TriggerItem("HelpGeneralItem"));
  ASSERT_EQ(Opened.size(), 4u);
  EXPECT_EQ(Opened[0], QUrl::fromLocalFile(Main->ProgramDir + "Help/Pelorin Help.txt"));
  EXPECT_EQ(Opened[1], QUrl::fromLocalFile(Main->ProgramDir + "Help/Pelorin Shortcuts.txt"));
  EXPECT_EQ(Opened[2], QUrl::fromLocalFile(Main->ProgramDir + "Doc/Pelorin Documentation.html"));
  EXPECT_EQ(Opened[3], Opened[0]);
  // Failures are the desktop's to report.
  UrlAnswer = false;
  Key(Qt::Key_F1);
  EXPECT_TRUE(Messages.empty());
}

TEST(LaunchKeys, CtrlFunctionKeysLaunchWithoutTheFile) {
  for (int I = 0; I < 5; ++I) {
    const TKeyBinding B = KeyBinding(Qt::Key_F5 + I, Ctrl);
    EXPECT_EQ(B.Action, kaLaunch) << I;
    EXPECT_EQ(B.Dx, I);
  }
  EXPECT_EQ(KeyBinding(Qt::Key_F10, Ctrl).Action, kaNone);
  EXPECT_EQ(KeyBinding(Qt::Key_F5, Ctrl | Qt::ShiftModifier).Action, kaNone);
  EXPECT_EQ(FolderOf(QStringLiteral("/a/b/c.png")), "/a/b/");
  EXPECT_EQ(FolderOf(QStringLiteral("/c.png")), "/");
  EXPECT_EQ(FolderOf(QString()), "");
}

// The help files as a build leaves them beside the program.
QString BesideProgram(const char* Name) {
  return QCoreApplication::applicationDirPath() + QStringLiteral("/../../app/") + QLatin1String(Name);
}

QString ReadText(const char* Name) {
  QFile F(BesideProgram(Name));
  return F.open(QIODevice::ReadOnly) ? QString::fromUtf8(F.readAll()) : QString();
}

// A key's name as the shortcuts list writes it.
QString KeyName(int Key, Qt::KeyboardModifiers Mods) {
  static const std::map<int, const char*> Names = {{Qt::Key_Backspace, "Backspace"},
                                                   {Qt::Key_Tab, "Tab"},
                                                   {Qt::Key_Return, "Enter"},
                                                   {Qt::Key_Escape, "Esc"},
                                                   {Qt::Key_Space, "Space"},
                                                   {Qt::Key_Home, "Home"},
                                                   {Qt::Key_End, "End"},
                                                   {Qt::Key_Up, "Up"},
                                                   {Qt::Key_Down, "Down"},
                                                   {Qt::Key_Insert, "Ins"},
                                                   {Qt::Key_Menu, "Menu"},
                                                   {Qt::Key_Plus, "+"},
                                                   {Qt::Key_Minus, "-"}};
  QString Name;
  if (Mods & Qt::KeypadModifier)
    Name = QStringLiteral("Num ");
  if (Key >= Qt::Key_F1 && Key <= Qt::Key_F12)
    Name += QStringLiteral("F%1").arg(Key - Qt::Key_F1 + 1);
  else if (Names.count(Key))
    Name += QLatin1String(Names.at(Key));
  else
    Name += QChar(Key);
  if (Mods & Qt::AltModifier)
    Name = "Alt+" + Name;
  if (Mods & Qt::ShiftModifier)
    Name = "Shift+" + Name;
  if (Mods & Qt::ControlModifier)
    Name = "Ctrl+" + Name;
  return Name;
}

bool Mentions(const QString& Text, const QString& Name) {
  const QRegularExpression Word(QStringLiteral("(^|[\\s,(])") + QRegularExpression::escape(Name) +
                                QStringLiteral("($|[\\s,)])"));
  return Text.contains(Word);
}

TEST(HelpFiles, AreBesideTheProgramAfterABuild) {
  for (const char* Name : {HelpGeneralFile, HelpShortcutsFile, DocFile}) {
    const QFileInfo Info(BesideProgram(Name));
    EXPECT_TRUE(Info.isFile()) << Name;
    EXPECT_GT(Info.size(), 1000) << Name;
  }
}

TEST(HelpFiles, HelpTextNamesEveryCommand) {
  const QString Help = ReadText(HelpGeneralFile);
  ASSERT_FALSE(Help.isEmpty());
  for (const TCommandRow& Row : CommandRows()) {
    if (Row.Kind == ckLine || Row.Kind == ckEnd)
      continue;
    // The caption as the menu reads: no accelerator mark, padding, dots or
    // zoom direction marks.
    QString Caption = QString::fromUtf8(Row.Caption).remove(QLatin1Char('&')).simplified();
    Caption.remove(QRegularExpression(QStringLiteral("(\\.\\.\\.|\\s+[+-])$")));
    EXPECT_TRUE(Help.contains(Caption, Qt::CaseInsensitive)) << Row.Name << ": " << Caption.toStdString();
  }
}

TEST(HelpFiles, ShortcutsListNamesEveryKey) {
  const QString Shortcuts = ReadText(HelpShortcutsFile);
  ASSERT_FALSE(Shortcuts.isEmpty());
  std::vector<int> Keys = {Qt::Key_Backspace, Qt::Key_Tab,  Qt::Key_Return, Qt::Key_Escape, Qt::Key_Space,
                           Qt::Key_Home,      Qt::Key_End,  Qt::Key_Up,     Qt::Key_Down,   Qt::Key_Insert,
                           Qt::Key_Menu,      Qt::Key_Plus, Qt::Key_Minus};
  for (int K = Qt::Key_A; K <= Qt::Key_Z; ++K)
    Keys.push_back(K);
  for (int K = Qt::Key_F1; K <= Qt::Key_F12; ++K)
    Keys.push_back(K);
  int Checked = 0;
  for (const Qt::KeyboardModifiers Mods : {Qt::KeyboardModifiers(), Qt::KeyboardModifiers(Qt::ShiftModifier),
                                           Qt::KeyboardModifiers(Qt::AltModifier), Qt::KeyboardModifiers(Ctrl)})
    for (int K : Keys) {
      const TKeyBinding B = KeyBinding(K, Mods);
      const TKeyBinding Plain = KeyBinding(K, {});
      const bool SameAsPlain = (Mods & (Qt::ShiftModifier | Qt::AltModifier)) && B.Action == Plain.Action &&
                               (!B.Item || !Plain.Item || std::strcmp(B.Item, Plain.Item) == 0);
      if (B.Action == kaNone || SameAsPlain)
        continue;
      ++Checked;
      EXPECT_TRUE(Mentions(Shortcuts, KeyName(K, Mods))) << KeyName(K, Mods).toStdString();
    }
  // The keypad, with and without Ctrl.
  for (const Qt::KeyboardModifiers Mods : {Qt::KeyboardModifiers(Qt::KeypadModifier), Qt::KeypadModifier | Ctrl})
    for (int K : {int(Qt::Key_Plus), int(Qt::Key_Minus), 0x30, 0x31, 0x32, 0x33, 0x34, 0x36, 0x37, 0x38, 0x39})
      if (KeyBinding(K, Mods).Action != kaNone) {
        ++Checked;
        EXPECT_TRUE(Mentions(Shortcuts, KeyName(K, Mods))) << KeyName(K, Mods).toStdString();
      }
  EXPECT_GT(Checked, 70);
}

TEST(HelpFiles, DocumentationTableMatchesTheFormats) {
  const QString Doc = ReadText(DocFile);
  ASSERT_FALSE(Doc.isEmpty());
  for (const TFormatRow& Row : FormatRows()) {
    const QRegularExpression Line(QStringLiteral("<tr><td>") +
                                  QRegularExpression::escape(QString::fromLatin1(Row.Text)) +
                                  QStringLiteral("</td><td>([^<]*)</td><td[^>]*>(yes|no)</td><td[^>]*>(yes|no)</td>"));
    const QRegularExpressionMatch M = Line.match(Doc);
    ASSERT_TRUE(M.hasMatch()) << Row.Text;
    const QStringList Extensions = M.captured(1).split(QLatin1Char(' '));
    for (const char* Ext : Row.Extensions)
      if (Ext) {
        EXPECT_TRUE(Extensions.contains(QString::fromLatin1(Ext).toLower())) << Row.Text << " " << Ext;
      }
    EXPECT_EQ(M.captured(2) == "yes", Row.NewReader != nullptr) << Row.Text;
    EXPECT_EQ(M.captured(3) == "yes", Row.NewWriter != nullptr) << Row.Text;
  }
}

} // namespace
