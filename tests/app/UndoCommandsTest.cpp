#include <QAction>
#include <QDir>
#include <QRegularExpression>
#include <fstream>

#include "AppTestUtil.h"

namespace {

class UndoCommands : public TMainFixture {
protected:
  void SetUp() override {
    TMainFixture::SetUp();
    Settings.UndoEnabled = true;
    Main->ApplyUndoSetting();
  }
  void TearDown() override {
    Settings.UndoEnabled = false;
    TMainFixture::TearDown();
  }
  // Loads a 6 x 4 color pattern through the BMP reader.
  void LoadPattern() {
    WriteBmp(File("a.bmp"), *Pattern24(6, 4));
    Main->LoadImage(QFile("a.bmp"), false);
    ASSERT_TRUE(Main->Image);
  }
  bool Enabled(const char* Name) const { return Main->Item(QString::fromLatin1(Name))->isEnabled(); }
  QStringList HistoryFiles() const {
    return QDir(QString::fromStdString(Folder.string())).entryList({QStringLiteral("Pe*.tmp")}, QDir::Files);
  }
  static std::vector<TColor> Pixels(const TDib& D) {
    std::vector<TColor> P;
    for (int32_t Y = 0; Y < D.Height(); ++Y)
      for (int32_t X = 0; X < D.Width(); ++X)
        P.push_back(D.GetPixelColor(X, Y));
    return P;
  }
};

TEST_F(UndoCommands, InvertMirrorUndoTwiceRedoTwice) {
  LoadPattern();
  const auto Loaded = Pixels(*Main->Image);
  EXPECT_FALSE(Enabled("UndoItem"));
  Main->InvertItemClick();
  EXPECT_TRUE(Enabled("UndoItem"));
  EXPECT_TRUE(Enabled("WUndoItem"));
  EXPECT_FALSE(Enabled("RedoItem"));
  Main->MirrorLeftRightItemClick();
  const auto Edited = Pixels(*Main->Image);
  ASSERT_NE(Edited, Loaded);
  Main->UndoItemClick();
  Main->UndoItemClick();
  EXPECT_EQ(Pixels(*Main->Image), Loaded);
  EXPECT_FALSE(Enabled("UndoItem"));
  EXPECT_TRUE(Enabled("RedoItem"));
  EXPECT_TRUE(Enabled("WRedoItem"));
  Main->RedoItemClick();
  Main->RedoItemClick();
  EXPECT_EQ(Pixels(*Main->Image), Edited);
  EXPECT_FALSE(Enabled("RedoItem"));
  Main->RedoItemClick();
  EXPECT_EQ(Pixels(*Main->Image), Edited);
  EXPECT_TRUE(Messages.empty());
}

TEST_F(UndoCommands, UndoingARotationRestoresSizeAndLayout) {
  LoadPattern();
  Main->RotateClick(1);
  ASSERT_EQ(Main->Image->Width(), 4);
  EXPECT_EQ(Main->ImgBox->width(), 4);
  // Undo, then a new edit: the earlier redo state is gone.
  Main->UndoItemClick();
  EXPECT_EQ(Main->Image->Width(), 6);
  EXPECT_EQ(Main->Image->Height(), 4);
  EXPECT_EQ(Main->ImgBox->width(), 6);
  EXPECT_EQ(Main->ImgBox->height(), 4);
  EXPECT_TRUE(Enabled("RedoItem"));
  Main->RotateClick(2);
  EXPECT_FALSE(Enabled("RedoItem"));
  Main->RedoItemClick();
  EXPECT_EQ(Main->Image->Width(), 6);
}

TEST_F(UndoCommands, HistoryFileLivesWithTheImageOnly) {
  LoadPattern();
  EXPECT_TRUE(HistoryFiles().isEmpty());
  Main->InvertItemClick();
  ASSERT_EQ(HistoryFiles().size(), 1);
  EXPECT_TRUE(QRegularExpression(QStringLiteral("^Pe[0-9]{1,6}\\.tmp$")).match(HistoryFiles().first()).hasMatch());
  EXPECT_EQ(Main->UndoStream.FileName().parent_path(), Folder);
  // Loading another image clears the history and disables all four items.
  Main->UndoItemClick();
  ASSERT_TRUE(Enabled("RedoItem"));
  WriteBmp(File("b.bmp"), *Pattern24(2, 2));
  Main->LoadImage(QFile("b.bmp"), false);
  EXPECT_TRUE(HistoryFiles().isEmpty());
  for (const char* Name : {"UndoItem", "WUndoItem", "RedoItem", "WRedoItem"})
    EXPECT_FALSE(Enabled(Name)) << Name;
  // A file that cannot be read keeps the image and its history.
  Main->InvertItemClick();
  std::ofstream(File("bad.bmp")) << "BM not a bitmap";
  Main->Guarded([&] { Main->LoadImage(QFile("bad.bmp"), false); });
  EXPECT_EQ(Messages.size(), 1u);
  EXPECT_EQ(HistoryFiles().size(), 1);
  EXPECT_TRUE(Enabled("UndoItem"));
  Main->close();
  EXPECT_TRUE(HistoryFiles().isEmpty());
}

TEST_F(UndoCommands, SwitchingOffClearsTheHistory) {
  LoadPattern();
  Main->InvertItemClick();
  EXPECT_EQ(HistoryFiles().size(), 1);
  Main->UndoEnabledItemClick();
  EXPECT_FALSE(Settings.UndoEnabled);
  EXPECT_FALSE(Main->Item("WUndoEnabledItem")->isChecked());
  EXPECT_TRUE(HistoryFiles().isEmpty());
  EXPECT_FALSE(Enabled("UndoItem"));
  // Off: edits run without a file.
  Main->InvertItemClick();
  EXPECT_TRUE(HistoryFiles().isEmpty());
}

TEST_F(UndoCommands, HistoryGoesToTheConfigFolderOrUndoIsOffForTheImage) {
  LoadPattern();
  // A program folder that takes no files sends the history to the config
  // folder.
  std::ofstream(File("blocker")) << "x";
  Main->ProgramDir = QFile("blocker") + QStringLiteral("/");
  Main->InvertItemClick();
  EXPECT_EQ(Main->UndoStream.FileName().parent_path(), TestFolder / "config");
  Main->ClearUndo();
  // Nor can the config folder, below a file.
  SetSettingsFolders(TestFolder / "program", Folder / "blocker" / "config");
  const auto Before = Pixels(*Main->Image);
  Main->Guarded([&] { Main->InvertItemClick(); });
  SetSettingsFolders(TestFolder / "program", TestFolder / "config");
  ASSERT_EQ(Messages.size(), 1u);
  EXPECT_TRUE(Messages[0].Text.startsWith("Cannot create the undo history file")) << Messages[0].Text.toStdString();
  EXPECT_TRUE(Messages[0].Text.contains("Undo is off for this image"));
  EXPECT_EQ(Pixels(*Main->Image), Before);
  Main->Guarded([&] { Main->InvertItemClick(); });
  EXPECT_EQ(Messages.size(), 1u);
  EXPECT_NE(Pixels(*Main->Image), Before);
  EXPECT_FALSE(Enabled("UndoItem"));
}

} // namespace
