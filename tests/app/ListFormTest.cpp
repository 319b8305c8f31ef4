#include <QAction>
#include <QDateTime>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <fstream>
#include <stdexcept>

#include "AppTestUtil.h"
#include "FileCommands.h"
#include "Host.h"
#include "PeListView.h"

namespace {

void WriteBytes(const std::filesystem::path& Name, size_t Size) { std::ofstream(Name) << std::string(Size, 'x'); }

QStringList Captions(const TListForm& L) {
  QStringList N;
  for (int32_t I = 0; I < L.Files.Count(); ++I)
    N << L.Files[I].Caption();
  return N;
}

// One character per entry: 'x' checked, '.' not.
QString Checks(const TListForm& L) {
  QString S;
  for (int32_t I = 0; I < L.Files.Count(); ++I)
    S += L.Files[I].Checked ? QLatin1Char('x') : QLatin1Char('.');
  return S;
}

void Settle() {
  for (int I = 0; I < 3; ++I)
    QCoreApplication::processEvents();
}

// The middle of the check box of a row, found by the control's own test.
QPoint CheckBoxOf(TPeListView& V, int32_t Row) {
  const QRect R = V.Report->visualRect(V.Model->index(Row, 0));
  for (int X = R.left(); X < R.right(); ++X)
    if (V.OnCheckBox(*V.Report, QPoint(X, R.center().y()))) {
      int End = X;
      while (V.OnCheckBox(*V.Report, QPoint(End + 1, R.center().y())))
        ++End;
      return QPoint((X + End) / 2, R.center().y());
    }
  return {};
}

QPoint TextOf(TPeListView& V, int32_t Row, int32_t Column) {
  const QRect R = V.Report->visualRect(V.Model->index(Row, Column));
  return QPoint(R.right() - 4, R.center().y());
}

// Each test starts on an empty folder of its own, also when repeated.
std::filesystem::path FreshFolder() {
  const auto F = TestFolder / ::testing::UnitTest::GetInstance()->current_test_info()->name();
  std::filesystem::remove_all(F);
  return F;
}

class ListForm : public TFolderFixture {
protected:
  void SetUp() override {
    FreshFolder();
    TMainFixture::SetUp();
  }
  // The sort and check options changed here are no other test's start.
  void TearDown() override {
    TMainFixture::TearDown();
    SetDefaultSettings(Settings);
  }
  TPeListView& View() const { return *List().ListView; }
  // Bitmaps of the names, the first the widest (and so the largest file).
  void Make(std::initializer_list<const char*> Names) {
    int W = 10 + 10 * int(Names.size());
    for (const char* Name : Names) {
      WriteBmp(Folder / Name, *Pattern24(W, 4));
      W -= 10;
    }
  }
  void Load(const char* Name) { Main->LoadImage(QFile(Name), false); }
  QString CurrentName() const { return List().CurrentItem >= 0 ? List().Files[List().CurrentItem].Name : QString(); }
};

// --- Sorting -------------------------------------------------------------

TEST_F(ListForm, SortMenuTogglesTheStoredDirectionAndStoresTheColumn) {
  Make({"a.bmp", "b.bmp", "c.bmp"});
  Load("a.bmp");
  struct TStep {
    int Tag;
    QStringList Order;
    int32_t Column;
    bool Descending;
  };
  const TStep Steps[] = {
      {lcName, {"c.bmp", "b.bmp", "a.bmp"}, lcName, true},
      {lcName, {"a.bmp", "b.bmp", "c.bmp"}, lcName, false},
      {lcSize, {"c.bmp", "b.bmp", "a.bmp"}, lcSize, false},
      {lcSize, {"a.bmp", "b.bmp", "c.bmp"}, lcSize, true},
      // Another column sorts ascending, whatever it stored before.
      {lcName, {"a.bmp", "b.bmp", "c.bmp"}, lcName, false},
      {lcSize, {"c.bmp", "b.bmp", "a.bmp"}, lcSize, false},
  };
  for (const TStep& S : Steps) {
    List().SortItems[size_t(S.Tag)]->trigger();
    EXPECT_EQ(Captions(List()), S.Order) << S.Tag;
    EXPECT_EQ(Settings.ListSortColumn, S.Column);
    EXPECT_EQ(Settings.ListSortDescending[S.Column], S.Descending ? 1 : 0);
    EXPECT_TRUE(List().SortItems[size_t(S.Tag)]->isChecked());
    const QHeaderView* H = View().Report->header();
    EXPECT_EQ(H->sortIndicatorSection(), S.Column);
    EXPECT_EQ(H->sortIndicatorOrder(), S.Descending ? Qt::DescendingOrder : Qt::AscendingOrder);
    // The shown file stays the current entry, wherever it went.
    EXPECT_EQ(CurrentName(), "a.bmp");
    EXPECT_EQ(View().SelectedRow(), List().CurrentItem);
    EXPECT_EQ(List().StatusText, QStringLiteral("Image %1 of total 3 images").arg(List().CurrentItem + 1));
  }
}

TEST_F(ListForm, HeaderClicksToggleTheSortedColumnAndAnotherSortsAscending) {
  Make({"a.bmp", "b.bmp", "c.bmp"});
  // The stored sort shows at the first listing, and the header takes it.
  Settings.ListSortColumn = lcSize;
  Settings.ListSortDescending[lcSize] = 1;
  Load("b.bmp");
  EXPECT_EQ(Captions(List()), QStringList({"a.bmp", "b.bmp", "c.bmp"}));
  EXPECT_TRUE(List().SortItems[lcSize]->isChecked());
  List().show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&List()));
  QHeaderView* H = View().Report->header();
  auto Click = [&](int Column) {
    QTest::mouseClick(H->viewport(), Qt::LeftButton, {},
                      QPoint(H->sectionViewportPosition(Column) + 8, H->height() / 2));
  };
  Click(lcSize);
  EXPECT_EQ(Captions(List()), QStringList({"c.bmp", "b.bmp", "a.bmp"}));
  EXPECT_EQ(Settings.ListSortDescending[lcSize], 0);
  Click(lcSize);
  EXPECT_EQ(Captions(List()), QStringList({"a.bmp", "b.bmp", "c.bmp"}));
  EXPECT_EQ(Settings.ListSortDescending[lcSize], 1);
  Click(lcName);
  EXPECT_EQ(Captions(List()), QStringList({"a.bmp", "b.bmp", "c.bmp"}));
  EXPECT_EQ(Settings.ListSortColumn, lcName);
  Click(lcName);
  EXPECT_EQ(Captions(List()), QStringList({"c.bmp", "b.bmp", "a.bmp"}));
  EXPECT_EQ(H->sortIndicatorOrder(), Qt::DescendingOrder);
  EXPECT_EQ(CurrentName(), "b.bmp");
  // Another folder keeps the column and its direction.
  const auto Other = Folder / "other";
  std::filesystem::create_directory(Other);
  for (const char* Name : {"x.bmp", "y.bmp"})
    WriteBmp(Other / Name, *Pattern24(3, 3));
  Main->LoadImage(QString::fromStdString((Other / "x.bmp").string()), false);
  EXPECT_EQ(Captions(List()), QStringList({"y.bmp", "x.bmp"}));
  EXPECT_EQ(H->sortIndicatorSection(), lcName);
}

TEST_F(ListForm, SizesSortAsNumbersAndShowTheLocaleSeparators) {
  WriteBytes(Folder / "nine.bmp", 9);
  WriteBytes(Folder / "big.bmp", 1024);
  WriteBytes(Folder / "mid.bmp", 200);
  List().RefreshList(QFile("nine.bmp"), false);
  List().SortBy(lcSize, true);
  EXPECT_EQ(Captions(List()), QStringList({"nine.bmp", "mid.bmp", "big.bmp"}));
  struct TLocaleCase {
    QLocale Locale;
    const char* Size;
    const char* Time;
  };
  const TLocaleCase Cases[] = {
      {QLocale(QLocale::English, QLocale::UnitedStates), "1,024", "3/5/2024 2:07 PM"},
      {QLocale(QLocale::German, QLocale::Germany), "1.024", "05.03.2024 14:07"},
      // The C locale leaves separators out unless asked.
      {QLocale::c(), "1,024", "5 Mar 2024 14:07:09"},
  };
  const int64_t Time = QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9)).toMSecsSinceEpoch();
  const QLocale Before;
  for (const TLocaleCase& C : Cases) {
    QLocale::setDefault(C.Locale);
    TFileListModel Model(List().Files);
    EXPECT_EQ(Model.Text(2, lcSize), C.Size) << C.Locale.name().toStdString();
    EXPECT_EQ(Model.TimeText(Time), C.Time) << C.Locale.name().toStdString();
  }
  QLocale::setDefault(Before);
  TFileListModel& M = *View().Model;
  EXPECT_EQ(M.data(M.index(0, lcType), Qt::DisplayRole).toString(), "Windows Bitmap");
}

// --- Check marks ---------------------------------------------------------

TEST_F(ListForm, CheckCommandsSetClearInvertAndAddByType) {
  for (const char* Name : {"a.bmp", "b.jpg", "c.png", "d.JPEG", "e.bmp"})
    WriteBytes(Folder / Name, 10);
  List().RefreshList(QFile("a.bmp"), false);
  ASSERT_EQ(Checks(List()), "x....") << "the current entry is checked when it is found";
  ASSERT_EQ(List().CheckTypesItem->actions().size(), FormatCount);
  QAction* Jpeg = nullptr;
  for (QAction* A : List().CheckTypesItem->actions()) {
    const int Tag = A->property("Tag").toInt();
    EXPECT_EQ(A->text().toStdString(), FormatText(Tag));
    if (Tag == fmtJPEG)
      Jpeg = A;
  }
  ASSERT_NE(Jpeg, nullptr);
  const std::pair<QAction*, const char*> Steps[] = {
      {Jpeg, "xx.x."},
      {List().CheckNoneItem, "....."},
      {List().CheckAllItem, "xxxxx"},
      {List().CheckInverseItem, "....."},
      {List().CheckInverseItem, "xxxxx"},
      {List().CheckNoneItem, "....."},
      // Descending by name: e, d, c, b, a.
      {List().SortItems[lcName], "....."},
      {Jpeg, ".x.x."},
      // Checking by type never unchecks.
      {Jpeg, ".x.x."},
      {List().CheckInverseItem, "x.x.x"},
      {Jpeg, "xxxxx"},
  };
  for (const auto& [Item, Expected] : Steps) {
    Item->trigger();
    EXPECT_EQ(Checks(List()), Expected) << Item->text().toStdString();
  }
  // The model shows the marks in the first column only.
  TFileListModel& M = *View().Model;
  EXPECT_EQ(M.data(M.index(1, lcName), Qt::CheckStateRole).toInt(), Qt::Checked);
  List().CheckNoneItem->trigger();
  EXPECT_EQ(M.data(M.index(1, lcName), Qt::CheckStateRole).toInt(), Qt::Unchecked);
  EXPECT_FALSE(M.data(M.index(0, lcSize), Qt::CheckStateRole).isValid());

  // Auto-check off: a newly current entry is not checked.
  List().CheckAuto->trigger();
  EXPECT_FALSE(Settings.ListAutoCheck);
  List().CheckNoneItem->trigger();
  List().RefreshList(QFile("c.png"), false);
  EXPECT_EQ(Checks(List()), ".....");
}

TEST_F(ListForm, ClickingACheckBoxTogglesItWithoutLoadingTheEntry) {
  Make({"a.bmp", "b.bmp", "c.bmp"});
  Load("a.bmp");
  List().show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&List()));
  const QPoint Box = CheckBoxOf(View(), 2);
  ASSERT_FALSE(Box.isNull());
  QTest::mouseClick(View().Report->viewport(), Qt::LeftButton, {}, Box);
  Settle();
  EXPECT_EQ(Checks(List()), "x.x");
  EXPECT_EQ(Shown(), "a.bmp");
  EXPECT_EQ(View().SelectedRow(), 0);
  QTest::mouseClick(View().Report->viewport(), Qt::LeftButton, {}, Box);
  Settle();
  EXPECT_EQ(Checks(List()), "x..");
  // A click on the row itself loads it, and auto-check marks it.
  QTest::mouseClick(View().Report->viewport(), Qt::LeftButton, {}, TextOf(View(), 1, lcSize));
  Settle();
  EXPECT_EQ(Shown(), "b.bmp");
  EXPECT_EQ(Checks(List()), "xx.");
  EXPECT_EQ(View().SelectedRow(), 1);
  EXPECT_EQ(List().StatusPanel->text(), "Image 2 of total 3 images");
}

// --- Failed entries, status, selection -----------------------------------

TEST_F(ListForm, AFailedEntryShowsItsMarkDimmedAndIsPassedOver) {
  Make({"a.bmp", "b.bmp", "c.bmp"});
  std::ofstream(Folder / "b.bmp") << "BM but no bitmap";
  Load("a.bmp");
  List().show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&List()));
  QTest::keyClick(View().Report, Qt::Key_Down);
  ASSERT_EQ(Messages.size(), 1u) << "the error is shown, not raised out of the key handler";
  EXPECT_EQ(Messages[0].Kind, mkError);
  EXPECT_EQ(Shown(), "a.bmp");
  TFileListModel& M = *View().Model;
  EXPECT_EQ(M.data(M.index(1, lcName), Qt::DisplayRole).toString(), "b.bmp [!]");
  EXPECT_EQ(M.data(M.index(1, lcName), Qt::ForegroundRole).value<QColor>(),
            QApplication::palette().color(QPalette::Disabled, QPalette::Text));
  EXPECT_FALSE(M.data(M.index(0, lcName), Qt::ForegroundRole).isValid());
  EXPECT_EQ(Checks(List()), "x..") << "a failed entry loses its mark";
  QTest::keyClick(View().Report, Qt::Key_Down);
  EXPECT_EQ(Shown(), "c.bmp") << "the failed entry is skipped";
  // Clicking the failed entry leaves the current one selected.
  QTest::mouseClick(View().Report->viewport(), Qt::LeftButton, {}, TextOf(View(), 1, lcType));
  Settle();
  EXPECT_EQ(Shown(), "c.bmp");
  EXPECT_EQ(List().CurrentItem, 2);
  EXPECT_EQ(View().SelectedRow(), 2);
  QTest::keyClick(View().Report, Qt::Key_Up);
  EXPECT_EQ(Shown(), "a.bmp");
  EXPECT_EQ(Messages.size(), 1u);
}

TEST_F(ListForm, StatusAndCaptionFollowTheListing) {
  EXPECT_EQ(List().StatusPanel->text(), "0 images");
  Make({"a.bmp", "b.bmp"});
  Load("b.bmp");
  EXPECT_EQ(List().windowTitle(), QFile(""));
  EXPECT_EQ(List().StatusPanel->text(), "Image 2 of total 2 images");
  EXPECT_TRUE(List().rename1->isEnabled());
  Main->AdoptImage(Pattern24(3, 3), QStringLiteral("Clipboard"));
  EXPECT_EQ(List().windowTitle(), "No Directory");
  EXPECT_EQ(List().StatusPanel->text(), "0 images");
  EXPECT_EQ(View().Model->rowCount(), 0);
  EXPECT_FALSE(List().rename1->isEnabled());
  EXPECT_FALSE(List().DeleteAct->isEnabled());
}

TEST_F(ListForm, ThePopupNeedsACurrentEntry) {
  Make({"a.bmp"});
  List().show();
  List().ListViewPopup(QPoint(10, 10));
  EXPECT_FALSE(List().ListPopup->isVisible());
  Load("a.bmp");
  List().ListViewPopup(QPoint(10, 10));
  EXPECT_TRUE(List().ListPopup->isVisible());
  List().ListPopup->hide();
}

// --- Keys and the wheel ----------------------------------------------------

// A host that records what the list passes on.
class TKeyHost : public TPelorinHost {
public:
  void OpenFile(const QString& Name, bool) override { Opened << QFileInfo(Name).fileName(); }
  bool ToolWindowShowing() const override { return false; }
  void BeginModal() override {}
  void EndModal() override {}
  void Redraw() override {}
  bool OpenAgainEnabled() const override { return true; }
  void SetOpenAgain(bool) override {}
  void MainKeyDown(int Key, Qt::KeyboardModifiers Shift) override { Keys.push_back({Key, Shift}); }
  void MainWheel(QWheelEvent*) override { ++Wheels; }
  bool FullScreenShown() const override { return FullScreen; }
  void ListShown(bool Shown) override { Visible = Shown; }

  QStringList Opened;
  std::vector<std::pair<int, Qt::KeyboardModifiers>> Keys;
  int Wheels = 0;
  bool FullScreen = false;
  bool Visible = false;
};

class ListKeys : public ::testing::Test {
protected:
  void SetUp() override {
    SetDefaultSettings(Settings);
    Folder = FreshFolder();
    std::filesystem::create_directories(Folder);
    for (const char* Name : {"a.bmp", "b.bmp", "c.bmp", "d.bmp"})
      WriteBytes(Folder / Name, 10);
    List = std::make_unique<TListForm>();
    List->SetHost(&Host);
    List->RefreshList(QString::fromStdString((Folder / "b.bmp").string()), false);
    List->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(List.get()));
  }
  void TearDown() override {
    List.reset();
    SetDefaultSettings(Settings);
  }

  std::filesystem::path Folder;
  TKeyHost Host;
  std::unique_ptr<TListForm> List;
};

TEST_F(ListKeys, KeysGoToTheMainWindowTheListOrTheControl) {
  constexpr auto Pad = Qt::KeypadModifier;
  constexpr auto Ctrl = Qt::ControlModifier;
  struct TKeyCase {
    int Key;
    Qt::KeyboardModifiers Mods;
    bool FullScreen;
    bool Passed;
  };
  const TKeyCase Cases[] = {
      {Qt::Key_F1, {}, false, true},
      {Qt::Key_F10, {}, false, true},
      {Qt::Key_F11, {}, false, false},
      {Qt::Key_Backspace, {}, false, true},
      {Qt::Key_5, Pad, false, true},
      {Qt::Key_5, Pad, true, false},
      {Qt::Key_5, {}, false, false},
      {Qt::Key_Plus, Pad, false, true},
      {Qt::Key_Minus, Pad, true, false},
      {Qt::Key_Plus, Pad | Ctrl, false, false},
      {Qt::Key_Minus, Pad | Ctrl, false, false},
      {Qt::Key_Insert, {}, false, true},
      {Qt::Key_Insert, {}, true, false},
      {Qt::Key_O, Ctrl, false, true},
      {Qt::Key_F1, {}, true, true},
      {Qt::Key_O, {}, false, false},
  };
  for (const TKeyCase& C : Cases) {
    Host.Keys.clear();
    Host.FullScreen = C.FullScreen;
    for (QWidget* Target : {static_cast<QWidget*>(List->ListView->Report), static_cast<QWidget*>(List.get())}) {
      Host.Keys.clear();
      QTest::keyClick(Target, Qt::Key(C.Key), C.Mods);
      ASSERT_EQ(Host.Keys.size(), C.Passed ? 1u : 0u) << C.Key << " " << C.Mods << " " << C.FullScreen;
      if (C.Passed) {
        EXPECT_EQ(Host.Keys[0], std::make_pair(C.Key, C.Mods));
      }
    }
  }
  EXPECT_TRUE(Host.Opened.isEmpty());
  // Up and Down step through the folder, in the window and in the control.
  QTest::keyClick(List->ListView->Report, Qt::Key_Down);
  QTest::keyClick(List.get(), Qt::Key_Down);
  QTest::keyClick(List->ListView->Report, Qt::Key_Up);
  EXPECT_EQ(Host.Opened, QStringList({"c.bmp", "d.bmp", "c.bmp"}));
  EXPECT_TRUE(Host.Keys.empty());
  // Home and End move the control's selection, which loads the file.
  QTest::keyClick(List->ListView->Report, Qt::Key_Home);
  Settle();
  EXPECT_EQ(Host.Opened.last(), "a.bmp");
  QTest::keyClick(List->ListView->Report, Qt::Key_End);
  Settle();
  EXPECT_EQ(Host.Opened.last(), "d.bmp");
  EXPECT_EQ(List->CurrentItem, 3);
  // Escape hides the window, and the host hears of it.
  EXPECT_TRUE(Host.Visible);
  QTest::keyClick(List->ListView->Report, Qt::Key_Escape);
  EXPECT_FALSE(List->isVisible());
  EXPECT_FALSE(Host.Visible);
}

TEST_F(ListKeys, TheWheelBrowsesInsteadOfScrolling) {
  QWidget* Port = List->ListView->Report->viewport();
  QWheelEvent E(QPointF(5, 5), Port->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, -120), Qt::NoButton,
                Qt::NoModifier, Qt::NoScrollPhase, false);
  QCoreApplication::sendEvent(Port, &E);
  EXPECT_EQ(Host.Wheels, 1);
  List->DetailsOption->trigger();
  EXPECT_FALSE(List->ListView->Details());
  QWheelEvent F(QPointF(5, 5), Port->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                Qt::NoScrollPhase, false);
  QCoreApplication::sendEvent(List->ListView->Plain->viewport(), &F);
  EXPECT_EQ(Host.Wheels, 2);
}

TEST_F(ListKeys, SteppingThroughAFolderNeverListsItAgain) {
  for (int I = 0; I < 300; ++I)
    WriteBytes(Folder / ("many" + std::to_string(1000 + I) + ".png"), 10);
  List->RefreshList(QString::fromStdString((Folder / "many1000.png").string()), false);
  ASSERT_EQ(List->ItemCount, 304);
  ASSERT_EQ(List->CurrentItem, 4);
  QSignalSpy Resets(List->ListView->Model, &QAbstractItemModel::modelAboutToBeReset);
  Host.Opened.clear();
  while (List->CurrentItem < List->ItemCount - 1) {
    const int32_t Before = List->CurrentItem;
    List->NextFile();
    ASSERT_EQ(List->CurrentItem, Before + 1);
  }
  List->FirstFile();
  EXPECT_EQ(Host.Opened.size(), 300u);
  EXPECT_EQ(Host.Opened.last(), "a.bmp");
  EXPECT_EQ(Resets.count(), 0);
  EXPECT_EQ(List->ListView->SelectedRow(), 0);
}

// --- Settings --------------------------------------------------------------

TEST_F(ListForm, StoreGeometryWritesWhatTheNextWindowTakes) {
  EXPECT_TRUE(List().DetailsOption->isChecked());
  EXPECT_FALSE(List().font().bold());
  EXPECT_EQ(View().ColumnWidth(lcName), 130);
  List().resize(420, 300);
  List().move(33, 44);
  View().SetColumnWidth(lcName, 150);
  View().SetColumnWidth(lcDate, 90);
  List().DetailsOption->trigger();
  List().BoldOption->trigger();
  EXPECT_TRUE(List().font().bold());
  EXPECT_FALSE(View().Details());
  List().StoreGeometry();
  EXPECT_EQ(Settings.ListLeft, 33);
  EXPECT_EQ(Settings.ListTop, 44);
  EXPECT_EQ(Settings.ListWidth, 420);
  EXPECT_EQ(Settings.ListHeight, 300);
  EXPECT_FALSE(Settings.ListDetails);
  EXPECT_TRUE(Settings.ListBold);
  EXPECT_EQ(Settings.ListColumnWidths[lcName], 150);
  EXPECT_EQ(Settings.ListColumnWidths[lcType], 120);
  EXPECT_EQ(Settings.ListColumnWidths[lcDate], 90);

  TListForm Next;
  EXPECT_EQ(Next.size(), QSize(420, 300));
  EXPECT_EQ(Next.pos(), QPoint(33, 44));
  EXPECT_FALSE(Next.ListView->Details());
  EXPECT_FALSE(Next.DetailsOption->isChecked());
  EXPECT_TRUE(Next.BoldOption->isChecked());
  EXPECT_TRUE(Next.font().bold());
  EXPECT_EQ(Next.ListView->ColumnWidth(lcDate), 90);
  // Closing the main window stores it too.
  List().move(55, 66);
  Main->close();
  EXPECT_EQ(Settings.ListLeft, 55);
}

TEST_F(ListForm, TheListItemShowsTheWindowAndFollowsItsVisibility) {
  QAction* Item = Main->Item("ListItem");
  ASSERT_TRUE(Item->isEnabled());
  EXPECT_FALSE(Item->isChecked());
  Item->trigger();
  EXPECT_TRUE(List().isVisible());
  EXPECT_TRUE(Item->isChecked());
  QTest::keyClick(&List(), Qt::Key_Escape);
  EXPECT_FALSE(List().isVisible());
  EXPECT_FALSE(Item->isChecked());
  Item->trigger();
  Item->trigger();
  EXPECT_FALSE(List().isVisible());
  EXPECT_FALSE(Item->isChecked());
}

// --- File commands -----------------------------------------------------------

class ListCommands : public ListForm {
protected:
  void SetUp() override {
    ListForm::SetUp();
    ChooseFolderHook = [this](QWidget*, const QString& Title, const QString&) {
      Titles << Title;
      return Target;
    };
    AskRenameHook = [this](QWidget*, const QString& Base) {
      Offered << Base;
      return Typed;
    };
  }
  void TearDown() override {
    ChooseFolderHook = nullptr;
    AskRenameHook = nullptr;
    ListForm::TearDown();
  }
  bool Exists(const char* Name) const { return std::filesystem::exists(Folder / Name); }

  QStringList Titles, Offered;
  QString Target, Typed;
};

TEST_F(ListCommands, CopyAndMoveAskForTheirFolderAndNeedAnEntry) {
  Make({"a.bmp", "b.bmp"});
  Settings.ListAutoCheck = false;
  // Nothing current, nothing checked: nothing is asked.
  for (QAction* A :
       {List().CopyAct, List().MoveAct, List().CopyAll, List().MoveAll, List().DeleteAct, List().DeleteAll})
    A->trigger();
  EXPECT_TRUE(Titles.isEmpty());
  EXPECT_TRUE(Messages.empty());
  Load("a.bmp");
  for (QAction* A : {List().CopyAll, List().MoveAll, List().DeleteAll})
    A->trigger();
  EXPECT_TRUE(Titles.isEmpty()) << "no entry is checked";
  EXPECT_TRUE(Messages.empty());
  List().CheckAllItem->trigger();
  for (QAction* A : {List().CopyAct, List().MoveAct, List().CopyAll, List().MoveAll})
    A->trigger();
  EXPECT_EQ(Titles, QStringList({"Copy selected file to...", "Move selected file to...", "Copy all checked files to...",
                                 "Move all checked files to..."}));
  EXPECT_TRUE(Exists("a.bmp") && Exists("b.bmp")) << "a cancelled choice leaves the files";
}

TEST_F(ListCommands, RenameKeepsTheExtensionAndNamesTheShownFileAnew) {
  Make({"a.bmp", "photo.bmp"});
  Load("photo.bmp");
  Typed = "holiday.png";
  List().rename1->trigger();
  EXPECT_EQ(Offered, QStringList{"photo"});
  EXPECT_FALSE(Exists("photo.bmp"));
  ASSERT_TRUE(Exists("holiday.bmp"));
  EXPECT_EQ(Shown(), "holiday.bmp");
  EXPECT_EQ(CurrentName(), "holiday.bmp");
  EXPECT_TRUE(Main->FileCheck);
  EXPECT_TRUE(Messages.empty());
  // Cancelled: nothing.
  Typed.clear();
  List().rename1->trigger();
  EXPECT_TRUE(Exists("holiday.bmp"));
  // Onto another file's name: refused, with the old path.
  Typed = "a";
  List().rename1->trigger();
  ASSERT_EQ(Messages.size(), 1u);
  EXPECT_EQ(Messages[0].Text, "Unable to rename file!\r" + QFile("holiday.bmp"));
  EXPECT_EQ(Messages[0].Kind, mkInformation);
  EXPECT_FALSE(Main->FileCheck);
  EXPECT_TRUE(Exists("holiday.bmp"));
  EXPECT_EQ(Shown(), "holiday.bmp");
}

TEST_F(ListCommands, RenamingAFailedEntryLeavesTheShownFileItsName) {
  Make({"a.bmp", "b.bmp"});
  std::ofstream(Folder / "b.bmp") << "BM but no bitmap";
  Load("a.bmp");
  EXPECT_THROW(List().NextFile(), std::exception);
  ASSERT_EQ(CurrentName(), "b.bmp");
  Typed = "z";
  List().rename1->trigger();
  EXPECT_TRUE(Exists("z.bmp"));
  EXPECT_EQ(Shown(), "a.bmp");
  EXPECT_EQ(CurrentName(), "z.bmp");
}

} // namespace
