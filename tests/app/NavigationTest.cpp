#include <QAction>
#include <QFile>
#include <QTest>
#include <fstream>

#include "AppTestUtil.h"

namespace {

void WriteText(const std::filesystem::path& Name, const std::string& Text) { std::ofstream(Name) << Text; }

QStringList Names(const TFileList& L) {
  QStringList N;
  for (int32_t I = 0; I < L.Count(); ++I)
    N << L[I].Caption();
  return N;
}

class Navigation : public TFolderFixture {};

TEST_F(Navigation, ListsTheFolderImagesInTheStoredOrder) {
  WriteBmp(File("a.bmp"), *Pattern24(4, 4));
  WriteText(File("b.txt"), "text");
  WriteText(File("c.jp2"), "not really");
  WriteBmp(File("d.png.bmp"), *Pattern24(9, 9));
  WriteText(File(".hidden.gif"), "x");
  std::filesystem::create_directory(Folder / "folder.bmp");
  TFileList L;
  L.Build(QString::fromStdString(Folder.string()));
  EXPECT_EQ(Names(L), QStringList({".hidden.gif", "a.bmp", "c.jp2", "d.png.bmp"}));
  L.Sort(lcName, true);
  EXPECT_EQ(Names(L), QStringList({"d.png.bmp", "c.jp2", "a.bmp", ".hidden.gif"}));
  // By size; equal sizes stay in name order in both directions.
  L.Sort(lcSize, false);
  EXPECT_EQ(Names(L), QStringList({".hidden.gif", "c.jp2", "a.bmp", "d.png.bmp"}));
  L.Sort(lcSize, true);
  EXPECT_EQ(Names(L), QStringList({"d.png.bmp", "a.bmp", "c.jp2", ".hidden.gif"}));
  // By type text: "Graphic ...", "JPEG 2000 ...", "Windows Bitmap".
  L.Sort(lcType, false);
  EXPECT_EQ(Names(L), QStringList({".hidden.gif", "c.jp2", "a.bmp", "d.png.bmp"}));
  EXPECT_EQ(L.Find("a.bmp"), 2);
  EXPECT_EQ(L.Find("d.png"), -1) << "a name is found whole, not as the start of another";
  EXPECT_EQ(L.Find("A.BMP"), -1);
}

TEST_F(Navigation, SortsByDateWithTheStoredDirection) {
  MakeFolder();
  const auto Now = std::filesystem::file_time_type::clock::now();
  // c is the oldest, a the newest.
  for (auto [Name, Age] : {std::pair{"a.bmp", 1}, {"b.bmp", 3}, {"c.bmp", 9}, {"d.bmp", 5}, {"e.bmp", 4}})
    std::filesystem::last_write_time(Folder / Name, Now - std::chrono::hours(Age));
  Settings.ListSortColumn = lcDate;
  Settings.ListSortDescending[lcDate] = 1;
  Main->LoadImage(QFile("c.bmp"), false);
  EXPECT_EQ(Names(List().Files), QStringList({"a.bmp", "b.bmp", "e.bmp", "d.bmp", "c.bmp"}));
  EXPECT_EQ(List().CurrentItem, 4);
  EXPECT_EQ(List().StatusText, "Image 5 of total 5 images");
}

TEST_F(Navigation, StepsWithoutWrapping) {
  MakeFolder();
  Main->LoadImage(QFile("d.bmp"), false);
  EXPECT_EQ(List().CurrentItem, 3);
  List().NextFile();
  EXPECT_EQ(Main->Image->Width(), 14);
  List().NextFile();
  EXPECT_EQ(Shown(), "e.bmp") << "no wrap past the last file";
  List().FirstFile();
  List().PreviousFile();
  EXPECT_EQ(Shown(), "a.bmp") << "no wrap before the first file";
  EXPECT_TRUE(Messages.empty());
}

TEST_F(Navigation, FailedFilesAreMarkedAndPassedOver) {
  MakeFolder();
  WriteText(File("b.bmp"), "BM but no bitmap");
  Main->LoadImage(QFile("a.bmp"), false);
  EXPECT_THROW(List().NextFile(), std::exception);
  EXPECT_EQ(Shown(), "a.bmp") << "the shown image stays";
  EXPECT_TRUE(List().Files[1].Failed);
  EXPECT_EQ(List().Files[1].Caption(), "b.bmp [!]");
  List().FirstFile();
  EXPECT_EQ(Shown(), "a.bmp");
  List().NextFile();
  EXPECT_EQ(Shown(), "c.bmp") << "the failed entry is skipped";
  List().PreviousFile();
  EXPECT_EQ(Shown(), "a.bmp");
  // Selecting the failed entry leaves the current one.
  List().ListViewSelectItem(1);
  EXPECT_EQ(List().CurrentItem, 0);
  // A failed last entry is not stepped onto.
  WriteText(File("e.bmp"), "broken");
  EXPECT_THROW(List().LastFile(), std::exception);
  List().SelectIndex(3);
  EXPECT_EQ(Shown(), "d.bmp");
  List().NextFile();
  List().LastFile();
  EXPECT_EQ(Shown(), "d.bmp");
  EXPECT_EQ(List().CurrentItem, 3);
}

TEST_F(Navigation, UnsupportedEntryBecomesCurrentWhileTheImageStays) {
  WriteBmp(File("a.bmp"), *Pattern24(4, 4));
  WriteText(File("c.jp2"), "jp2");
  WriteBmp(File("d.bmp"), *Pattern24(5, 5));
  Main->LoadImage(QFile("d.bmp"), false);
  List().PreviousFile();
  ASSERT_EQ(Messages.size(), 1u);
  EXPECT_EQ(Messages[0].Text, "File type not supported:\n" + QFile("c.jp2"));
  EXPECT_EQ(Shown(), "d.bmp");
  EXPECT_EQ(List().CurrentItem, 1);
  EXPECT_FALSE(List().Files[1].Failed);
}

TEST_F(Navigation, RebuildsOnlyForAnotherFolderAndReportsAMissingFile) {
  MakeFolder();
  Main->LoadImage(QFile("a.bmp"), false);
  WriteBmp(File("f.bmp"), *Pattern24(3, 3));
  Main->LoadImage(QFile("b.bmp"), false);
  EXPECT_EQ(List().ItemCount, 5) << "same folder: not listed again";
  EXPECT_EQ(List().CurrentItem, 1);
  // A file added since the listing is found by listing again, with no warning.
  Main->LoadImage(QFile("f.bmp"), false);
  EXPECT_EQ(List().ItemCount, 6);
  EXPECT_EQ(Shown(), "f.bmp");
  EXPECT_EQ(List().Files[List().CurrentItem].Name, "f.bmp");
  EXPECT_TRUE(Messages.empty());
  const auto Other = Folder / "other";
  std::filesystem::create_directory(Other);
  WriteBmp(Other / "x.bmp", *Pattern24(3, 3));
  Main->LoadImage(QString::fromStdString((Other / "x.bmp").string()), false);
  EXPECT_EQ(List().ItemCount, 1);
  Main->LoadImage(QFile("a.bmp"), false);
  EXPECT_EQ(List().ItemCount, 6);

  // The shown file vanishes: one warning, and Open again goes off.
  std::filesystem::remove(File("a.bmp"));
  List().RefreshList(QFile("a.bmp"), true);
  List().RefreshList(QFile("a.bmp"), true);
  ASSERT_EQ(Messages.size(), 1u);
  EXPECT_EQ(Messages[0].Text, "The image file has been renamed, removed or deleted!\nReload function is now disabled.");
  EXPECT_EQ(Messages[0].Kind, mkWarning);
  EXPECT_FALSE(Main->Item("OpenAgainItem")->isEnabled());
  EXPECT_EQ(List().StatusText, "0 images");
  List().NextFile();
  EXPECT_EQ(Shown(), "a.bmp") << "no current entry, no stepping";
}

TEST_F(Navigation, ModalLockAndTheClipboardImageStopBrowsing) {
  MakeFolder();
  Main->LoadImage(QFile("a.bmp"), false);
  Main->ModalLock = true;
  List().NextFile();
  EXPECT_EQ(Shown(), "a.bmp");
  Main->ModalLock = false;
  Main->AdoptImage(Pattern24(3, 3), QStringLiteral("Clipboard"));
  EXPECT_EQ(List().ItemCount, 0);
  EXPECT_TRUE(List().ListFolder.isEmpty());
  EXPECT_EQ(List().windowTitle(), "No Directory");
  List().NextFile();
  EXPECT_EQ(Main->FileName, "Clipboard");
}

TEST_F(Navigation, WheelAndMouseButtonsBrowse) {
  MakeFolder();
  Main->LoadImage(QFile("c.bmp"), false);
  auto Wheel = [&](int Delta) {
    QWheelEvent E(QPointF(2, 2), Main->ImgBox->mapToGlobal(QPointF(2, 2)), QPoint(), QPoint(0, Delta), Qt::NoButton,
                  Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(Main->ImgBox, &E);
  };
  Wheel(-120);
  EXPECT_EQ(Shown(), "d.bmp") << "backward: next file";
  Wheel(120);
  EXPECT_EQ(Shown(), "c.bmp") << "forward: previous file";
  Wheel(60);
  EXPECT_EQ(Shown(), "c.bmp") << "half a notch waits for the other half";
  Wheel(60);
  EXPECT_EQ(Shown(), "b.bmp");

  Settings.MouseBrowseWindow = true;
  Main->InstallMouseHandlers();
  QTest::mouseClick(Main->ImgBox, Qt::RightButton, {}, QPoint(1, 1));
  EXPECT_EQ(Shown(), "c.bmp");
  QTest::mouseClick(Main->ImgBox, Qt::LeftButton, {}, QPoint(1, 1));
  EXPECT_EQ(Shown(), "b.bmp");
  EXPECT_FALSE(Main->Dragging);
  EXPECT_FALSE(Main->MainPopup->isVisible());
}

} // namespace
