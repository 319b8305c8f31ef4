// The TWAIN client in the main window: its commands, its errors and the
// acquired image, with the real source manager over SANE's test backend.
#include <QAction>
#include <QComboBox>
#include <QListWidget>
#include <QPushButton>
#include <fstream>

#include "AppTestUtil.h"
#include "Twain.h"

namespace {

void UseSane(const std::vector<std::string>& Lines, bool WithTest = true) {
  const std::filesystem::path Dir = TestFolder / "sane";
  std::filesystem::create_directories(Dir);
  std::ofstream(Dir / "dll.conf") << (WithTest ? "test\n" : "");
  std::ofstream Conf(Dir / "test.conf");
  Conf << "resolution 50\ntest-picture \"Grid\"\n";
  for (const std::string& L : Lines)
    Conf << L << "\n";
  setenv("SANE_CONFIG_DIR", Dir.c_str(), 1);
}

// The source manager as built beside the program.
QString ManagerLibrary() {
  return QCoreApplication::applicationDirPath() + QStringLiteral("/../../app/") + QLatin1String(DsmLibraryName);
}

QDialog* ScanForm() {
  for (QWidget* W : QApplication::topLevelWidgets())
    if (W->objectName() == QLatin1String("ScanForm") && W->isVisible())
      return qobject_cast<QDialog*>(W);
  return nullptr;
}

class TwainCommands : public TMainFixture {
protected:
  void SetUp() override {
    TMainFixture::SetUp();
    Settings.UndoEnabled = true;
    Main->ApplyUndoSetting();
    UseSane({});
    Twain().LibraryPath = ManagerLibrary();
    Main->AdoptImage(Pattern24(20, 10), QStringLiteral("before"));
    Main->TwainStart();
  }
  void TearDown() override {
    Main->close();
    EXPECT_FALSE(Twain().ManagerOpen());
    EXPECT_EQ(ScanForm(), nullptr);
    Twain().LibraryPath.clear();
    Settings.UndoEnabled = false;
    TMainFixture::TearDown();
  }
  bool Run(const char* Item) { return Main->TriggerItem(QString::fromLatin1(Item)); }
  // Acquire, then Scan in the source's window; false when no window came.
  bool AcquireAndScan() {
    Run("TwainAquireItem");
    QDialog* Form = ScanForm();
    if (!Form)
      return false;
    Form->findChild<QPushButton*>(QStringLiteral("ScanButton"))->click();
    return true;
  }
  QString Caption() const { return Main->windowTitle(); }
};

TEST_F(TwainCommands, AcquiredImagesReplaceTheShownOneUntilTheSourceCloses) {
  Main->TriggerItem(QStringLiteral("InvertItem"));
  ASSERT_TRUE(Main->UndoStream.CanUndo());
  ASSERT_TRUE(AcquireAndScan());
  ASSERT_TRUE(WaitFor([&] { return Main->FileName == QLatin1String("Acquired"); }));
  EXPECT_EQ(Caption(), QStringLiteral("Acquired [1:1]"));
  EXPECT_EQ(Main->Image->BitCount(), 8);
  EXPECT_EQ(Main->Image->Resolution(), 50);
  EXPECT_EQ(Main->Image->Width(), 157);
  EXPECT_FALSE(Main->UndoStream.CanUndo());
  // The window stays for a second image, in color.
  QDialog* Form = ScanForm();
  ASSERT_NE(Form, nullptr);
  Form->findChild<QComboBox*>(QStringLiteral("ModeBox"))->setCurrentText(QStringLiteral("Color"));
  Form->findChild<QPushButton*>(QStringLiteral("ScanButton"))->click();
  ASSERT_TRUE(WaitFor([&] { return Main->Image->BitCount() == 24; }));
  EXPECT_TRUE(Twain().SourceEnabled());
  // Acquire again while the window shows sets nothing up twice.
  EXPECT_TRUE(Run("TwainAquireItem"));
  Form->reject();
  ASSERT_TRUE(WaitFor([&] { return !Twain().SourceOpen(); }));
  EXPECT_EQ(ScanForm(), nullptr);
  EXPECT_TRUE(Twain().ManagerOpen());
  EXPECT_TRUE(Messages.empty()) << Messages.front().Text.toStdString();
}

TEST_F(TwainCommands, SelectedSourceIsTheOneAcquiredFrom) {
  WorkModal<QDialog>([&] { Run("TwainSourceItem"); },
                     [](QDialog& D) {
                       D.findChild<QListWidget*>()->setCurrentRow(1);
                       D.accept();
                     });
  EXPECT_STREQ(Twain().SourceIdentity().ProductName, "test:1");
  // Cancelling keeps the choice and says nothing.
  WorkModal<QDialog>([&] { Run("TwainSourceItem"); }, [](QDialog& D) { D.reject(); });
  EXPECT_STREQ(Twain().SourceIdentity().ProductName, "test:1");
  ASSERT_TRUE(AcquireAndScan());
  ASSERT_TRUE(WaitFor([&] { return Main->FileName == QLatin1String("Acquired"); }));
  EXPECT_TRUE(ScanForm()->windowTitle().endsWith(QStringLiteral("test:1")));
  // A choice made while the source is open waits until it closes.
  WorkModal<QDialog>([&] { Run("TwainSourceItem"); },
                     [](QDialog& D) {
                       D.findChild<QListWidget*>()->setCurrentRow(0);
                       D.accept();
                     });
  EXPECT_STREQ(Twain().SourceIdentity().ProductName, "test:1");
  ScanForm()->reject();
  ASSERT_TRUE(WaitFor([&] { return !Twain().SourceOpen(); }));
  EXPECT_STREQ(Twain().SourceIdentity().ProductName, "test:0");
  EXPECT_TRUE(Messages.empty());
}

TEST_F(TwainCommands, FailedScanKeepsTheImageAndTheSource) {
  // The backend cancels its reader thread asynchronously, which can leave
  // the allocator locked when it is caught inside malloc; with a delay
  // between writes it is caught sleeping instead.
  UseSane({"read-status-code \"SANE_STATUS_IO_ERROR\"", "read-delay true"});
  ASSERT_TRUE(AcquireAndScan());
  ASSERT_TRUE(WaitFor([&] { return !Messages.empty(); }));
  EXPECT_EQ(Messages[0].Text, QStringLiteral("TWAIN source manager error at native transfer:\nSource or source "
                                             "manager reported an error to the\nuser and handled it."));
  EXPECT_EQ(Messages[0].Kind, mkError);
  EXPECT_EQ(Main->FileName, QStringLiteral("before"));
  EXPECT_EQ(Main->Image->Width(), 20);
  // The transfer ended: the source scans again.
  ASSERT_NE(ScanForm(), nullptr);
  EXPECT_TRUE(ScanForm()->findChild<QPushButton*>(QStringLiteral("ScanButton"))->isEnabled());
}

TEST_F(TwainCommands, TransferWhileAToolWindowShowsIsDropped) {
  Run("TwainAquireItem");
  ASSERT_NE(ScanForm(), nullptr);
  Main->BeginModal();
  ScanForm()->findChild<QPushButton*>(QStringLiteral("ScanButton"))->click();
  auto* Scan = ScanForm()->findChild<QPushButton*>(QStringLiteral("ScanButton"));
  ASSERT_TRUE(WaitFor([&] { return Scan->isEnabled(); }));
  Main->EndModal();
  EXPECT_EQ(Main->FileName, QStringLiteral("before"));
  EXPECT_TRUE(Messages.empty());
}

TEST_F(TwainCommands, MissingManagerOrDevicesGiveTheLibraryMessage) {
  struct TCase {
    const char* Name;
    QString Library;
    bool Devices;
    const char* Text;
  };
  const TCase Cases[] = {
      {"no library", QStringLiteral("/nonexistent/libpelorin-twain.so"), true, "TWAIN DLL couldn't be loaded"},
      {"no device", ManagerLibrary(), false, "TWAIN DLL couldn't be loaded"},
      {"no entry point", QStringLiteral("libz.so.1"), true, "TWAIN DLL entry not found"},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.Name);
    UseSane({}, C.Devices);
    Twain().LibraryPath = C.Library;
    for (const char* Item : {"TwainAquireItem", "TwainSourceItem"}) {
      Messages.clear();
      EXPECT_TRUE(Run(Item));
      ASSERT_EQ(Messages.size(), 1u) << Item;
      EXPECT_EQ(Messages[0].Text, QString::fromLatin1(C.Text)) << Item;
    }
    EXPECT_FALSE(Twain().ManagerOpen());
    EXPECT_EQ(Main->FileName, QStringLiteral("before"));
  }
}

TEST(TwainTexts, ConditionCodes) {
  const std::pair<TW_UINT16, const char*> Cases[] = {
      {0, "Operation worked."},
      {3, "Source manager unable to find the specified source."},
      {5, "Source or source manager reported an error to the\nuser and handled it."},
      {7, "Unknown Condition 0007"},
      {8, "Unknown Condition 0008"},
      {11, "Illegal operation for current source manager\nsource state."},
      {19, "Operation failed because directory is not empty."},
      {20, "Transfer failed because of a feeder error"},
      {21, "Transfer failed because of a feeder error"},
      {22, "Unknown Condition 0016"},
      {0x1234, "Unknown Condition 1234"},
  };
  for (const auto& [Code, Text] : Cases)
    EXPECT_EQ(TwainConditionText(Code), Text) << Code;
}

class TwainMenu : public TMainFixture {};

TEST_F(TwainMenu, FollowsTheSettingReadAtStart) {
  const bool Was = Settings.TwainEnabled;
  for (bool On : {false, true}) {
    // The window reads the settings file as it is made.
    Main = std::make_unique<TPelorinMain>();
    Settings.TwainEnabled = On;
    Main->Start({QFile("missing.bmp")});
    EXPECT_EQ(Main->Item(QStringLiteral("TwainItem"))->isVisible(), On);
    // Switched later, the menu stays as it started.
    Settings.TwainEnabled = !On;
    EXPECT_EQ(Main->Item(QStringLiteral("TwainItem"))->isVisible(), On);
    Main->close();
  }
  Settings.TwainEnabled = Was;
}

} // namespace
