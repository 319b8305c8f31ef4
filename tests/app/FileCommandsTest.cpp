#include <QApplication>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "FileCommands.h"
#include "Messages.h"
#include "Rename.h"

extern std::filesystem::path TestFolder;

namespace fs = std::filesystem;

namespace {
void WriteText(const fs::path& P, const std::string& Text) { std::ofstream(P, std::ios::binary) << Text; }

std::string ReadText(const fs::path& P) {
  std::ifstream In(P, std::ios::binary);
  return {std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>()};
}

QString Q(const fs::path& P) { return QString::fromStdString(P.string()); }

std::vector<std::string> NamesIn(const fs::path& Folder) {
  std::vector<std::string> Names;
  for (const auto& E : fs::directory_iterator(Folder))
    Names.push_back(E.path().filename().string());
  std::sort(Names.begin(), Names.end());
  return Names;
}

struct TShown {
  QString Text;
  int Kind;
};

// A folder of its own per test, and every message answered and recorded.
class FileCommandsTest : public ::testing::Test {
protected:
  void SetUp() override {
    Folder = TestFolder / "files" / ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(Folder);
    fs::create_directories(Folder / "src");
    fs::create_directories(Folder / "dst");
    MessageKindHook = [this](const QString& Text, int Kind) {
      Shown.push_back({Text, Kind});
      return Kind == mkConfirm ? Answer : int(QMessageBox::Ok);
    };
  }
  void TearDown() override { MessageKindHook = nullptr; }

  fs::path Folder;
  std::vector<TShown> Shown;
  int Answer = QMessageBox::Yes;
};
} // namespace

TEST(FileCommandsNames, RenamePartsTable) {
  struct {
    const char *Caption, *Base, *Extension;
  } const Rows[] = {
      {"photo.jpeg", "photo", ".jpeg"},
      {"a.b.png", "a", ".b.png"},
      {"photo.large.jpeg", "photo", ".large.jpeg"},
      {"noextension", "noextension", ""},
      {".hidden.png", "", ".hidden.png"},
      {"x.", "x", "."},
  };
  for (const auto& R : Rows) {
    const TRenameParts P = RenamePartsOf(QString::fromUtf8(R.Caption));
    EXPECT_EQ(P.Base, QString::fromUtf8(R.Base)) << R.Caption;
    EXPECT_EQ(P.Extension, QString::fromUtf8(R.Extension)) << R.Caption;
  }
}

TEST(FileCommandsNames, RenamedFileNameTable) {
  struct {
    const char *Typed, *Extension, *Name;
  } const Rows[] = {
      {"holiday.png", ".jpeg", "holiday.jpeg"},
      {"holiday", ".jpeg", "holiday.jpeg"},
      {" spaced ", ".b.png", "spaced.b.png"},
      {"plain", "", "plain"},
      {"", ".jpeg", ""},
      {".png", ".jpeg", ""},
      {"../up", ".jpeg", ""},
      {"a/b", ".jpeg", ""},
      {"   ", ".jpeg", ""},
  };
  for (const auto& R : Rows)
    EXPECT_EQ(RenamedFileName(QString::fromUtf8(R.Typed), QString::fromUtf8(R.Extension)), QString::fromUtf8(R.Name))
        << R.Typed;
  EXPECT_EQ(RenamedFileName(QStringLiteral("a") + QChar(0) + QStringLiteral("b"), QStringLiteral(".png")), QString());
}

TEST(FileCommandsNames, StripFailedMark) {
  EXPECT_EQ(StripFailedMark(QStringLiteral("photo.jpeg [!]")), QStringLiteral("photo.jpeg"));
  EXPECT_EQ(StripFailedMark(QStringLiteral("photo.jpeg")), QStringLiteral("photo.jpeg"));
  EXPECT_EQ(StripFailedMark(QStringLiteral("a [!] b.png")), QStringLiteral("a [!] b.png"));
  EXPECT_EQ(StripFailedMark(QStringLiteral("[!]")), QStringLiteral("[!]"));
}

TEST_F(FileCommandsTest, RenameNeverReplacesAnotherFile) {
  const fs::path A = Folder / "src" / "a.jpeg", B = Folder / "src" / "b.jpeg";
  WriteText(A, "first");
  WriteText(B, "second");
  EXPECT_FALSE(RenameImageFile(Q(A), Q(B)));
  EXPECT_EQ(ReadText(A), "first");
  EXPECT_EQ(ReadText(B), "second");
}

TEST_F(FileCommandsTest, RenameChangesNameCaseAndKeepsSameName) {
  const fs::path Upper = Folder / "src" / "Photo.jpeg", Lower = Folder / "src" / "photo.jpeg";
  WriteText(Upper, "pixels");
  EXPECT_TRUE(RenameImageFile(Q(Upper), Q(Lower)));
  EXPECT_EQ(NamesIn(Folder / "src"), std::vector<std::string>{"photo.jpeg"});
  EXPECT_TRUE(RenameImageFile(Q(Lower), Q(Lower)));
  EXPECT_EQ(ReadText(Lower), "pixels");
  EXPECT_TRUE(RenameImageFile(Q(Lower), Q(Folder / "src" / "holiday.jpeg")));
  EXPECT_EQ(NamesIn(Folder / "src"), std::vector<std::string>{"holiday.jpeg"});
}

TEST_F(FileCommandsTest, RenameRefusesInvalidNamesAndMissingFiles) {
  const fs::path A = Folder / "src" / "a.jpeg";
  WriteText(A, "data");
  const QString Dir = Q(Folder / "src") + QLatin1Char('/');
  const QString Bad[] = {Dir,
                         Dir + QStringLiteral("."),
                         Dir + QStringLiteral(".."),
                         Dir + QStringLiteral("sub/b.jpeg"),
                         Dir + QStringLiteral("b") + QChar(0) + QStringLiteral(".jpeg"),
                         Q(Folder / "dst" / "a.jpeg")};
  for (const QString& New : Bad)
    EXPECT_FALSE(RenameImageFile(Q(A), New)) << New.toStdString();
  EXPECT_EQ(NamesIn(Folder / "src"), std::vector<std::string>{"a.jpeg"});
  EXPECT_TRUE(fs::is_empty(Folder / "dst"));
  EXPECT_FALSE(RenameImageFile(Q(Folder / "src" / "gone.jpeg"), Dir + QStringLiteral("b.jpeg")));
}

TEST_F(FileCommandsTest, CopyKeepsSourceContentsModeAndTime) {
  const fs::path A = Folder / "src" / "a.png";
  const std::string Data(3 << 20, 'x'); // more than one chunk
  WriteText(A, Data + "end");
  chmod(A.c_str(), 0640);
  const auto Time = fs::last_write_time(A) - std::chrono::hours(5);
  fs::last_write_time(A, Time);
  EXPECT_EQ(CopyOrMoveFiles(nullptr, {Q(A)}, Q(Folder / "dst"), false), 1);
  EXPECT_TRUE(Shown.empty());
  EXPECT_EQ(ReadText(A), Data + "end");
  EXPECT_EQ(ReadText(Folder / "dst" / "a.png"), Data + "end");
  EXPECT_EQ(NamesIn(Folder / "dst"), std::vector<std::string>{"a.png"}); // no temporary left
  EXPECT_EQ(fs::status(Folder / "dst" / "a.png").permissions(), fs::perms(0640));
  EXPECT_EQ(fs::last_write_time(Folder / "dst" / "a.png"), Time);
}

TEST_F(FileCommandsTest, MoveRemovesSourceOnSameAndOtherFileSystem) {
  std::vector<fs::path> Targets = {Folder / "dst"};
  // /dev/shm is a file system of its own here, where a rename cannot go.
  const fs::path Shm = fs::path("/dev/shm") / ("pelorin-move-" + std::to_string(getpid()));
  std::error_code Ec;
  if (fs::create_directory(Shm, Ec))
    Targets.push_back(Shm);
  for (const fs::path& Target : Targets) {
    const fs::path A = Folder / "src" / "a.png", B = Folder / "src" / "b.png";
    WriteText(A, "alpha");
    WriteText(B, "beta");
    EXPECT_EQ(CopyOrMoveFiles(nullptr, {Q(A), Q(B)}, Q(Target), true), 2) << Target;
    EXPECT_TRUE(fs::is_empty(Folder / "src")) << Target;
    EXPECT_EQ(ReadText(Target / "a.png"), "alpha");
    EXPECT_EQ(ReadText(Target / "b.png"), "beta");
    EXPECT_EQ(NamesIn(Target), (std::vector<std::string>{"a.png", "b.png"}));
  }
  EXPECT_TRUE(Shown.empty());
  fs::remove_all(Shm, Ec);
}

TEST_F(FileCommandsTest, ReplacingAsksFirst) {
  const fs::path A = Folder / "src" / "a.png", Old = Folder / "dst" / "a.png";
  for (const bool Move : {false, true}) {
    WriteText(A, "new");
    WriteText(Old, "old");
    Shown.clear();
    Answer = QMessageBox::No;
    EXPECT_EQ(CopyOrMoveFiles(nullptr, {Q(A)}, Q(Folder / "dst"), Move), 0);
    ASSERT_EQ(Shown.size(), 1u);
    EXPECT_EQ(Shown[0].Kind, mkConfirm);
    EXPECT_EQ(Shown[0].Text, QStringLiteral("\"a.png\" already exists in %1.\nReplace it?").arg(Q(Folder / "dst")));
    EXPECT_EQ(ReadText(A), "new");
    EXPECT_EQ(ReadText(Old), "old");

    Answer = QMessageBox::Yes;
    EXPECT_EQ(CopyOrMoveFiles(nullptr, {Q(A)}, Q(Folder / "dst"), Move), 1);
    EXPECT_EQ(ReadText(Old), "new");
    EXPECT_EQ(fs::exists(A), !Move);
    EXPECT_EQ(NamesIn(Folder / "dst"), std::vector<std::string>{"a.png"});
  }
}

TEST_F(FileCommandsTest, CopyOntoItselfIsRefusedUntouched) {
  const fs::path A = Folder / "src" / "a.png";
  for (const bool Move : {false, true}) {
    WriteText(A, "keep me");
    Shown.clear();
    EXPECT_EQ(CopyOrMoveFiles(nullptr, {Q(A)}, Q(Folder / "src"), Move), 0);
    EXPECT_EQ(ReadText(A), "keep me");
    EXPECT_EQ(NamesIn(Folder / "src"), std::vector<std::string>{"a.png"});
    ASSERT_EQ(Shown.size(), 1u);
    EXPECT_EQ(Shown[0].Kind, mkError);
    EXPECT_TRUE(Shown[0].Text.contains(QStringLiteral("a.png: Source and target are the same file")))
        << Shown[0].Text.toStdString();
  }
}

TEST_F(FileCommandsTest, FailuresAreReportedOnceAndKeepSources) {
  const fs::path A = Folder / "src" / "a.png", B = Folder / "src" / "b.png";
  for (const bool Move : {false, true}) {
    WriteText(A, "alpha");
    WriteText(B, "beta");
    Shown.clear();
    // Not even root creates files in /sys.
    EXPECT_EQ(CopyOrMoveFiles(nullptr, {Q(A), Q(B)}, QStringLiteral("/sys"), Move), 0);
    EXPECT_EQ(ReadText(A), "alpha");
    EXPECT_EQ(ReadText(B), "beta");
    ASSERT_EQ(Shown.size(), 1u);
    EXPECT_EQ(Shown[0].Kind, mkError);
    EXPECT_EQ(Shown[0].Text, QStringLiteral("Unable to %1 to /sys:\na.png: Permission denied\nb.png: Permission denied")
                                 .arg(Move ? QStringLiteral("move") : QStringLiteral("copy")));
  }
}

TEST_F(FileCommandsTest, VanishedSourceDoesNotStopTheOthers) {
  const fs::path A = Folder / "src" / "a.png";
  WriteText(A, "alpha");
  EXPECT_EQ(CopyOrMoveFiles(nullptr, {Q(Folder / "src" / "gone.png"), Q(A)}, Q(Folder / "dst"), false), 1);
  EXPECT_EQ(ReadText(Folder / "dst" / "a.png"), "alpha");
  ASSERT_EQ(Shown.size(), 1u);
  EXPECT_EQ(Shown[0].Kind, mkError);
  EXPECT_TRUE(Shown[0].Text.endsWith(QStringLiteral(":\ngone.png: No such file or directory")))
      << Shown[0].Text.toStdString();
}

TEST_F(FileCommandsTest, TrashAsksAndMovesIntoPrivateTrash) {
  const QByteArray OldData = qgetenv("XDG_DATA_HOME");
  qputenv("XDG_DATA_HOME", QFile::encodeName(Q(Folder / "data")));
  const fs::path A = Folder / "src" / "a.png", B = Folder / "src" / "b.png";
  WriteText(A, "alpha");
  WriteText(B, "beta");

  Answer = QMessageBox::No;
  EXPECT_EQ(TrashFiles(nullptr, {Q(A)}), 0);
  EXPECT_EQ(TrashFiles(nullptr, {Q(A), Q(B)}), 0);
  ASSERT_EQ(Shown.size(), 2u);
  EXPECT_EQ(Shown[0].Text, QStringLiteral("Move \"a.png\" to the trash?"));
  EXPECT_EQ(Shown[1].Text, QStringLiteral("Move these 2 files to the trash?"));
  EXPECT_EQ(Shown[1].Kind, mkConfirm);
  EXPECT_EQ(NamesIn(Folder / "src"), (std::vector<std::string>{"a.png", "b.png"}));

  Answer = QMessageBox::Yes;
  Shown.clear();
  EXPECT_EQ(TrashFiles(nullptr, {Q(A), Q(B), Q(Folder / "src" / "gone.png")}), 2);
  EXPECT_TRUE(fs::is_empty(Folder / "src"));
  const fs::path Trash = Folder / "data" / "Trash";
  EXPECT_EQ(ReadText(Trash / "files" / "a.png"), "alpha");
  EXPECT_EQ(ReadText(Trash / "files" / "b.png"), "beta");
  EXPECT_TRUE(fs::exists(Trash / "info" / "a.png.trashinfo"));
  EXPECT_TRUE(fs::exists(Trash / "info" / "b.png.trashinfo"));
  ASSERT_EQ(Shown.size(), 2u);
  EXPECT_EQ(Shown[1].Kind, mkError);
  EXPECT_TRUE(Shown[1].Text.startsWith(QStringLiteral("Unable to move to the trash:\ngone.png: ")))
      << Shown[1].Text.toStdString();
  qputenv("XDG_DATA_HOME", OldData);
}

TEST_F(FileCommandsTest, TrashWithoutTrashFolderKeepsTheFile) {
  const QByteArray OldData = qgetenv("XDG_DATA_HOME");
  qputenv("XDG_DATA_HOME", "/sys/no-data");
  // Where a trash that cannot be made would otherwise put the file.
  const fs::path OldCwd = fs::current_path();
  fs::create_directories(Folder / "cwd");
  fs::current_path(Folder / "cwd");
  const fs::path A = Folder / "src" / "a.png";
  WriteText(A, "alpha");
  EXPECT_EQ(TrashFiles(nullptr, {Q(A)}), 0);
  fs::current_path(OldCwd);
  qputenv("XDG_DATA_HOME", OldData);
  EXPECT_EQ(ReadText(A), "alpha");
  ASSERT_EQ(Shown.size(), 2u);
  EXPECT_EQ(Shown[1].Kind, mkError);
  EXPECT_TRUE(Shown[1].Text.startsWith(QStringLiteral("Unable to move to the trash:\na.png: ")))
      << Shown[1].Text.toStdString();
  for (const auto& E : fs::recursive_directory_iterator(Folder / "cwd"))
    EXPECT_TRUE(E.is_directory()) << E.path();
}

TEST(RenameForm, EnterNeedsTextAndEscapeCancels) {
  TRenameForm Form(QStringLiteral("photo"));
  EXPECT_EQ(Form.windowTitle(), QStringLiteral("Rename"));
  EXPECT_EQ(Form.Editor->text(), QStringLiteral("photo"));
  const QPoint Center = QGuiApplication::primaryScreen()->availableGeometry().center();
  EXPECT_LE((Form.geometry().center() - Center).manhattanLength(), 2);
  Form.show();
  Form.Editor->setText(QStringLiteral("   "));
  QTest::keyClick(Form.Editor, Qt::Key_Return);
  EXPECT_TRUE(Form.isVisible());
  Form.Editor->setText(QStringLiteral(" holiday "));
  QTest::keyClick(Form.Editor, Qt::Key_Enter);
  EXPECT_FALSE(Form.isVisible());
  EXPECT_EQ(Form.result(), QDialog::Accepted);
  EXPECT_EQ(Form.Text(), QStringLiteral("holiday"));

  Form.show();
  QTest::keyClick(Form.Editor, Qt::Key_Escape);
  EXPECT_FALSE(Form.isVisible());
  EXPECT_EQ(Form.result(), QDialog::Rejected);
}

TEST(RenameForm, AskRenameAnswersTypedTextOrNothing) {
  struct {
    Qt::Key Key;
    const char* Answer;
  } const Rows[] = {{Qt::Key_Return, "holiday"}, {Qt::Key_Escape, ""}};
  for (const auto& R : Rows) {
    QTimer::singleShot(0, [&R] {
      auto* Form = qobject_cast<TRenameForm*>(QApplication::activeModalWidget());
      ASSERT_NE(Form, nullptr);
      EXPECT_EQ(Form->Editor->text(), QStringLiteral("photo"));
      Form->Editor->setText(QStringLiteral("holiday"));
      QTest::keyClick(Form->Editor, R.Key);
      if (Form->isVisible())
        Form->reject();
    });
    EXPECT_EQ(AskRename(nullptr, QStringLiteral("photo")), QString::fromUtf8(R.Answer));
  }
  AskRenameHook = [](QWidget*, const QString& Base) { return Base + QStringLiteral("2"); };
  EXPECT_EQ(AskRename(nullptr, QStringLiteral("photo")), QStringLiteral("photo2"));
  AskRenameHook = nullptr;
}
