#include <QElapsedTimer>
#include <QProcess>
#include <QThread>
#include <fstream>

#include "AppTestUtil.h"
#include "DirWatch.h"

namespace {

QString Q(const std::filesystem::path& P) { return QString::fromStdString(P.string()); }

template <class F>
bool WaitUntil(F Done, int Ms = 5000) {
  QElapsedTimer T;
  T.start();
  while (!Done() && T.elapsed() < Ms)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  return Done();
}

void Idle(int Ms) {
  WaitUntil([] { return false; }, Ms);
}

// The changes come from another process, as they do from other programs.
void Shell(const std::filesystem::path& Dir, const QString& Command) {
  QProcess P;
  P.setWorkingDirectory(Q(Dir));
  P.start(QStringLiteral("sh"), {QStringLiteral("-c"), Command});
  ASSERT_TRUE(P.waitForFinished(10000)) << Command.toStdString();
  ASSERT_EQ(P.exitCode(), 0) << Command.toStdString() << P.readAllStandardError().toStdString();
}

class DirWatch : public ::testing::Test {
protected:
  void SetUp() override {
    Folder = TestFolder / (std::string("watch-") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(Folder / "other");
    NewWatch();
  }
  void TearDown() override {
    Watch.reset();
    if (Writer.state() != QProcess::NotRunning) {
      Writer.kill();
      Writer.waitForFinished();
    }
  }
  void NewWatch() {
    Watch.reset();
    Watch = std::make_unique<TDirWatch>(&Context, [this] {
      ++Calls;
      if (OnCall)
        OnCall();
    });
  }
  // Points the watcher at Dir and waits until the thread has taken it.
  void WatchFolder(const QString& Dir) {
    const int Before = Watch->Restarts();
    Watch->SetFolder(Dir);
    ASSERT_TRUE(WaitUntil([&] { return Watch->Restarts() > Before; }));
  }
  // The notices that came within Ms.
  int CallsWithin(int Ms) {
    const int Before = Calls;
    Idle(Ms);
    return Calls - Before;
  }
  void StartWriter(const QString& Command) {
    Writer.setWorkingDirectory(Q(Folder));
    Writer.start(QStringLiteral("sh"), {QStringLiteral("-c"), Command});
    ASSERT_TRUE(Writer.waitForStarted());
  }

  std::filesystem::path Folder;
  QObject Context;
  QProcess Writer;
  std::unique_ptr<TDirWatch> Watch;
  int Calls = 0;
  std::function<void()> OnCall;
};

TEST_F(DirWatch, EveryKindOfChangeGivesOneNoticeWithinASecond) {
  WatchFolder(Q(Folder));
  ASSERT_TRUE(Watch->Watching());
  const char* Steps[][2] = {
      {"created", "printf a > a.txt"},
      {"written over", "printf bb > a.txt"},
      {"touched", "touch -d '2001-02-03 04:05' a.txt"},
      {"renamed", "mv a.txt b.txt"},
      {"saved through a temporary file", "printf c > .t && mv .t b.txt"},
      {"deleted", "rm b.txt"},
  };
  for (const auto& [What, Command] : Steps) {
    const int Before = Calls;
    Shell(Folder, QString::fromLatin1(Command));
    QElapsedTimer T;
    T.start();
    EXPECT_TRUE(WaitUntil([&] { return Calls > Before; }, 3000)) << What;
    EXPECT_LT(T.elapsed(), 1000) << What;
    Idle(300);
    EXPECT_EQ(Calls - Before, 1) << What;
  }
}

TEST_F(DirWatch, SubfoldersAndTheirContentsAreIgnored) {
  WatchFolder(Q(Folder));
  Shell(Folder, "mkdir sub && printf x > sub/x && mv sub/x sub/y && rm sub/y && mv sub sub2 && rmdir sub2");
  EXPECT_EQ(CallsWithin(700), 0);
  Shell(Folder, "printf x > top.txt");
  EXPECT_TRUE(WaitUntil([&] { return Calls == 1; }));
}

TEST_F(DirWatch, RestartsOnlyForAnotherFolder) {
  WatchFolder(Q(Folder));
  Watch->SetFolder(Q(Folder) + "/");
  Watch->SetFolder(Q(Folder));
  Idle(200);
  EXPECT_EQ(Watch->Restarts(), 1) << "the same folder, with or without the trailing /";
  Shell(Folder, "printf x > a.txt");
  EXPECT_TRUE(WaitUntil([&] { return Calls == 1; }));

  WatchFolder(Q(Folder / "other") + "/");
  EXPECT_EQ(Watch->Folder(), Q(Folder / "other"));
  Shell(Folder, "printf y > a.txt");
  EXPECT_EQ(CallsWithin(600), 0) << "the old folder is no longer watched";
  Shell(Folder / "other", "printf y > b.txt");
  EXPECT_TRUE(WaitUntil([&] { return Calls == 2; }));
}

TEST_F(DirWatch, NoFolderOrOneThatCannotBeWatchedWaitsForTheNext) {
  std::ofstream(Folder / "plain.txt") << "x";
  for (const QString& Dir : {QString(), Q(Folder / "missing"), Q(Folder / "plain.txt")}) {
    WatchFolder(Q(Folder));
    WatchFolder(Dir);
    EXPECT_FALSE(Watch->Watching()) << Dir.toStdString();
    Shell(Folder, "printf x >> a.txt");
    EXPECT_EQ(CallsWithin(600), 0) << Dir.toStdString();
  }
  // The watched folder itself goes away: one last notice, then none.
  WatchFolder(Q(Folder / "other"));
  Shell(Folder, "printf x > other/a.txt && rm -r other");
  EXPECT_TRUE(WaitUntil([&] { return Calls == 1 && !Watch->Watching(); }));
  WatchFolder(Q(Folder));
  Shell(Folder, "printf x >> a.txt");
  EXPECT_TRUE(WaitUntil([&] { return Calls == 2; }));
}

TEST_F(DirWatch, ABurstOfAThousandFilesGivesAFewNotices) {
  WatchFolder(Q(Folder));
  QElapsedTimer T;
  T.start();
  StartWriter("i=0; while [ $i -lt 1000 ]; do printf x > f$i.txt; i=$((i+1)); done");
  ASSERT_TRUE(WaitUntil([&] { return Writer.state() == QProcess::NotRunning; }, 30000));
  const qint64 WriterMs = T.elapsed();
  Idle(800);
  EXPECT_GE(Calls, 1);
  // One notice at most every half second while the writer goes on.
  EXPECT_LE(Calls, 2 + WriterMs / 400) << WriterMs << " ms of writing";
  EXPECT_LE(Calls, 20);
}

TEST_F(DirWatch, StopsPromptlyWhileChangesPourInAndCallsNothingAfterwards) {
  // Once with a notice queued for the owner, whose thread is busy, and once
  // with notices delivered as they come.
  for (const bool Deliver : {false, true}) {
    NewWatch();
    Calls = 0;
    WatchFolder(Q(Folder));
    StartWriter("while :; do printf x > flood.txt; done");
    if (Deliver)
      ASSERT_TRUE(WaitUntil([&] { return Calls > 0; }));
    else
      QThread::msleep(700);
    QElapsedTimer T;
    T.start();
    Watch.reset();
    EXPECT_LT(T.elapsed(), 100) << Deliver;
    const int Seen = Calls;
    Idle(300);
    EXPECT_EQ(Calls, Seen) << Deliver;
    Writer.kill();
    Writer.waitForFinished();
  }
}

TEST_F(DirWatch, StopInsideTheNoticeEndsTheWatch) {
  WatchFolder(Q(Folder));
  OnCall = [this] { Watch->Stop(); };
  Shell(Folder, "printf x > a.txt");
  ASSERT_TRUE(WaitUntil([&] { return Calls == 1; }));
  Shell(Folder, "printf y > a.txt");
  EXPECT_EQ(CallsWithin(600), 0);
}

TEST_F(DirWatch, NoticesWhileBusyOrCausedByTheNoticeAreDropped) {
  WatchFolder(Q(Folder));
  Watch->SetBusy(true);
  Shell(Folder, "printf x > a.txt");
  EXPECT_EQ(CallsWithin(700), 0);
  Watch->SetBusy(false);
  // A notice that writes into the folder itself does not notify itself again.
  OnCall = [this] { std::ofstream(Folder / "own.txt") << Calls; };
  Shell(Folder, "printf y > a.txt");
  EXPECT_TRUE(WaitUntil([&] { return Calls == 1; }));
  EXPECT_EQ(CallsWithin(700), 0);
}

// The main window's notice: the list follows and a changed shown file is
// offered for reloading once per time stamp.
class FolderChangedMain : public TMainFixture {
protected:
  void SetUp() override {
    TMainFixture::SetUp();
    WriteBmp(File("a.bmp"), *Pattern24(10, 6));
    WriteBmp(File("b.bmp"), *Pattern24(12, 6));
    Main->LoadImage(QFile("a.bmp"), false);
    ASSERT_TRUE(WaitFor([&] { return Main->DirWatch->Watching(); }));
  }
  // Another program saves over the shown file with a time stamp of its own.
  void ChangeShownFile(const char* Stamp) {
    Shell(Folder, QStringLiteral("cp b.bmp a.bmp && touch -d '%1' a.bmp").arg(QLatin1String(Stamp)));
  }
  // A notice about another file has been handled.
  void AddImage(const char* Name) {
    const int32_t Before = Main->ListForm->ItemCount;
    Shell(Folder, QStringLiteral("cp b.bmp %1").arg(QLatin1String(Name)));
    ASSERT_TRUE(WaitFor([&] { return Main->ListForm->ItemCount > Before; }));
    Idle(200);
  }
  bool Asked(size_t Times) const {
    return Messages.size() == Times && Messages.back().Text == "The image file has been changed!\nReload now?" &&
           Messages.back().Kind == mkConfirm;
  }
};

TEST_F(FolderChangedMain, AsksOnceAndReloadsOnYes) {
  Answer = QMessageBox::Yes;
  ChangeShownFile("2030-01-01 00:00");
  ASSERT_TRUE(WaitFor([&] { return !Messages.empty(); }));
  EXPECT_TRUE(Asked(1));
  EXPECT_EQ(Main->Image->Width(), 12);
  AddImage("c.bmp");
  EXPECT_EQ(Messages.size(), 1u) << "the reloaded file is unchanged";
}

TEST_F(FolderChangedMain, SavingOverTheShownFileAsksNothing) {
  Main->SaveImageAs(QFile("a.bmp"), 1);
  AddImage("c.bmp");
  EXPECT_TRUE(Messages.empty());
}

TEST_F(FolderChangedMain, AfterNoAsksOnlyForAnotherStamp) {
  Answer = QMessageBox::No;
  AddImage("c.bmp");
  EXPECT_TRUE(Messages.empty()) << "the shown file did not change";
  ChangeShownFile("2030-01-01 00:00");
  ASSERT_TRUE(WaitFor([&] { return !Messages.empty(); }));
  EXPECT_TRUE(Asked(1));
  EXPECT_EQ(Main->Image->Width(), 10);
  AddImage("d.bmp");
  EXPECT_EQ(Messages.size(), 1u) << "the declined stamp is not asked about again";
  ChangeShownFile("2031-01-01 00:00");
  EXPECT_TRUE(WaitFor([&] { return Asked(2); }));
}

TEST_F(FolderChangedMain, WaitsForTheToolWindowAndSkipsTheNoticeOfAFailedRename) {
  Main->ModalLock = true;
  ChangeShownFile("2030-01-01 00:00");
  Idle(1200);
  EXPECT_TRUE(Messages.empty()) << "no question while a tool window is up";
  Main->ModalLock = false;
  EXPECT_TRUE(WaitFor([&] { return Asked(1); }, 3000));

  Main->FileCheck = false;
  ChangeShownFile("2031-01-01 00:00");
  ASSERT_TRUE(WaitFor([&] { return Main->FileCheck; }));
  Idle(300);
  EXPECT_EQ(Messages.size(), 1u);
}

TEST_F(FolderChangedMain, AnImageWithoutAFileWatchesNothing) {
  Main->AdoptImage(Pattern24(5, 5), "Clipboard");
  EXPECT_TRUE(WaitFor([&] { return !Main->DirWatch->Watching(); }));
}

} // namespace
