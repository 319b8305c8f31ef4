#include <stdexcept>

#include "AppTestUtil.h"
#include "Host.h"

namespace {

// A host that records what the list asks of it.
class TRecordingHost : public TPelorinHost {
public:
  void OpenFile(const QString& Name, bool Reload) override {
    Opened << Name;
    Reloads += Reload;
    if (Fail)
      throw std::runtime_error("unreadable");
  }
  bool ToolWindowShowing() const override { return ToolWindow; }
  void BeginModal() override { ToolWindow = true; }
  void EndModal() override { ToolWindow = false; }
  void Redraw() override {}
  bool OpenAgainEnabled() const override { return OpenAgain; }
  void SetOpenAgain(bool Enabled) override { OpenAgain = Enabled; }

  QStringList Opened;
  int Reloads = 0;
  bool Fail = false;
  bool ToolWindow = false;
  bool OpenAgain = false;
};

class ListHost : public ::testing::Test {
protected:
  void SetUp() override {
    SetDefaultSettings(Settings);
    MessageKindHook = [this](const QString& Text, int) {
      Messages << Text;
      return 0;
    };
    Folder = TestFolder / ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::filesystem::create_directories(Folder);
    for (const char* Name : {"a.bmp", "b.bmp", "c.bmp"})
      WriteBmp(Folder / Name, *Pattern24(2, 2));
    List.SetHost(&Host);
  }
  void TearDown() override { MessageKindHook = nullptr; }
  QString Path(const char* Name) const { return QString::fromStdString((Folder / Name).string()); }

  std::filesystem::path Folder;
  TRecordingHost Host;
  TListForm List;
  QStringList Messages;
};

TEST_F(ListHost, StepsThroughTheFolderWithoutAMainWindow) {
  List.RefreshList(Path("a.bmp"), false);
  EXPECT_TRUE(Host.OpenAgain);
  List.NextFile();
  EXPECT_EQ(Host.Opened, QStringList{Path("b.bmp")});
  EXPECT_EQ(Host.Reloads, 1) << "the list stays as it is";
  Host.BeginModal();
  List.NextFile();
  EXPECT_EQ(Host.Opened.size(), 1) << "no stepping while a tool window is up";
  Host.EndModal();
  Host.Fail = true;
  EXPECT_THROW(List.NextFile(), std::runtime_error);
  EXPECT_TRUE(List.Files[List.Files.Find(QStringLiteral("c.bmp"))].Failed);
}

TEST_F(ListHost, AVanishedFileWarnsOnceAndTurnsOpenAgainOff) {
  List.RefreshList(Path("a.bmp"), false);
  List.RefreshList(Path("gone.bmp"), false);
  EXPECT_FALSE(Host.OpenAgain);
  ASSERT_EQ(Messages.size(), 1);
  List.RefreshList(Path("gone.bmp"), false);
  EXPECT_EQ(Messages.size(), 1) << "open again was off already";
}

} // namespace
