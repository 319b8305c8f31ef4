#include "List.h"

#include <QAction>
#include <QActionGroup>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QStatusBar>
#include <QVBoxLayout>
#include <algorithm>
#include <new>

#include "BarPopupMenu.h"
#include "FileCommands.h"
#include "Messages.h"
#include "PeListView.h"
#include "Settings.h"

TListForm::TListForm(QWidget* Parent) : TQuennaForm(Parent) {
  setWindowTitle(QStringLiteral("Image List"));
  QFont Bold = font();
  Bold.setBold(true);
  setFont(Bold);
  auto* Layout = new QVBoxLayout(this);
  Layout->setContentsMargins(0, 0, 0, 0);
  Layout->setSpacing(0);
  // The window may be made as low as 50 pixels, below what the menu, the
  // list and the status bar would ask for.
  Layout->setSizeConstraint(QLayout::SetNoConstraint);
  setMinimumHeight(50);
  ListMenu = new TBarMainMenu(this);
  // The bold option is the list's; the menu keeps the menus' font.
  QFont MenuFont = ListMenu->font();
  MenuFont.setBold(false);
  ListMenu->setFont(MenuFont);
  Layout->setMenuBar(ListMenu);
  ListView = new TPeListView(Files, this);
  Layout->addWidget(ListView, 1);
  StatusBar = new QStatusBar(this);
  StatusPanel = new QLabel(StatusBar);
  StatusBar->addWidget(StatusPanel, 1);
  Layout->addWidget(StatusBar);
  ListPopup = new TBarPopupMenu(this);
  BuildMenus();

  ListView->OnSortItems = [this](int32_t Column, bool Descending) {
    const QString Current = CurrentItem >= 0 ? Files[CurrentItem].Name : QString();
    Files.Sort(Column, Descending);
    if (CurrentItem >= 0)
      CurrentItem = Files.Find(Current);
  };
  ListView->OnSortFinished = [this](int32_t Column, bool Descending) { ListViewSortFinished(Column, Descending); };
  // The file is loaded once the view has finished with the input that
  // selected it: loading may show a message, and a click's release or the
  // next repeated key is then the last one that counts.
  ListView->OnSelectItem = [this](int32_t Row) {
    PendingName = Row >= 0 && Row < Files.Count() ? Files[Row].Name : QString();
    if (SelectPending)
      return;
    SelectPending = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
          SelectPending = false;
          // By name: the folder may have been listed anew meanwhile.
          const int32_t Row = Files.Find(PendingName);
          if (Row >= 0) {
            StepDirection = Row < CurrentItem ? -1 : 1;
            Guarded([this, Row] { ListViewSelectItem(Row); });
          }
          ShowCurrent();
        },
        Qt::QueuedConnection);
  };
  ListView->OnMouseUp = [this] { ListViewMouseUp(); };
  ListView->OnKeyDown = [this](int Key, Qt::KeyboardModifiers Shift) { return FormKeyDown(Key, Shift); };
  ListView->OnMouseWheel = [this](QWheelEvent* E) {
    if (Host)
      Host->MainWheel(E);
  };
  ListView->OnPopup = [this](const QPoint& ScreenPos) { ListViewPopup(ScreenPos); };

  SetDetails(Settings.ListDetails);
  SetBold(Settings.ListBold);
  CheckAuto->setChecked(Settings.ListAutoCheck);
  for (int I = 0; I < 4; ++I)
    ListView->SetColumnWidth(I, Settings.ListColumnWidths[I]);
  RestoreGeometry();
  UpdateStatus();
}

QAction* TListForm::AddItem(QMenu* Menu, const char* Name, const char* Caption, const std::function<void()>& Handler) {
  QAction* A = Menu->addAction(QString::fromLatin1(Caption));
  A->setObjectName(QString::fromLatin1(Name));
  connect(A, &QAction::triggered, this, [this, Handler] { Guarded(Handler); });
  return A;
}

void TListForm::BuildMenus() {
  QMenu* File = ListMenu->addMenu(QStringLiteral("File"));
  OpenItem = AddItem(File, "OpenItem", "&open...", [this] { OpenItemClick(); });
  File->addSeparator();
  rename1 = AddItem(File, "rename1", "&rename...", [this] { RenameItemClick(); });
  File->addSeparator();
  CopyAct = AddItem(File, "CopyAct", "copy active file...", [this] { CopyItemClick(); });
  MoveAct = AddItem(File, "MoveAct", "move active file...", [this] { MoveItemClick(); });
  DeleteAct = AddItem(File, "DeleteAct", "delete active file", [this] { DeleteItemClick(); });
  File->addSeparator();
  CopyAll = AddItem(File, "CopyAll", "copy checked...", [this] { CopyAllClick(); });
  MoveAll = AddItem(File, "MoveAll", "move checked...", [this] { MoveAllClick(); });
  DeleteAll = AddItem(File, "DeleteAll", "delete checked", [this] { DeleteAllClick(); });

  QMenu* Options = ListMenu->addMenu(QStringLiteral("Options"));
  DetailsOption = AddItem(Options, "DetailsOption", "&details", [this] { DetailsClick(); });
  BoldOption = AddItem(Options, "BoldOption", "&bold font", [this] { BoldClick(); });
  DetailsOption->setCheckable(true);
  BoldOption->setCheckable(true);

  QMenu* Sort = ListMenu->addMenu(QStringLiteral("Sort"));
  auto* SortGroup = new QActionGroup(Sort);
  const char* const SortNames[] = {"SortName", "SortType", "SortSize", "SortDate"};
  const char* const SortCaptions[] = {"&name", "&type", "&size", "&date"};
  for (int Tag = 0; Tag < 4; ++Tag) {
    QAction* A = AddItem(Sort, SortNames[Tag], SortCaptions[Tag], [this, Tag] { SortClick(Tag); });
    A->setCheckable(true);
    SortGroup->addAction(A);
    SortItems[size_t(Tag)] = A;
  }
  SortItems[lcName]->setChecked(true);

  QMenu* Check = ListMenu->addMenu(QStringLiteral("Check"));
  CheckAuto = AddItem(Check, "CheckAuto", "on &click", [this] { CheckAutoClick(); });
  CheckAuto->setCheckable(true);
  Check->addSeparator();
  CheckAllItem = AddItem(Check, "CheckAllItem", "&all", [this] { SwitchCheck(1); });
  CheckNoneItem = AddItem(Check, "CheckNoneItem", "&none", [this] { SwitchCheck(0); });
  CheckInverseItem = AddItem(Check, "CheckInverseItem", "&inverse", [this] { CheckInvertItemClick(); });
  Check->addSeparator();
  CheckTypesItem = Check->addMenu(QStringLiteral("&type"));
  CheckTypesItem->menuAction()->setObjectName(QStringLiteral("CheckTypesItem"));
  for (int32_t F = 0; F < FormatCount; ++F) {
    const std::string Text = FormatText(F);
    QAction* A = AddItem(CheckTypesItem, "", Text.c_str(), [this, F] { TypeItemsClick(F); });
    A->setProperty("Tag", F);
  }

  AddItem(ListPopup, "PopupRename", "&rename...", [this] { RenameItemClick(); });
  AddItem(ListPopup, "PopupCopy", "&copy...", [this] { CopyItemClick(); });
  AddItem(ListPopup, "PopupMove", "&move....", [this] { MoveItemClick(); });
  AddItem(ListPopup, "PopupDelete", "&delete", [this] { DeleteItemClick(); });
}

void TListForm::Guarded(const std::function<void()>& Command) {
  try {
    Command();
  } catch (const std::bad_alloc&) {
    ShowMessageKind(QStringLiteral("Out of memory"), mkError);
  } catch (const std::exception& E) {
    ShowMessageKind(QString::fromUtf8(E.what()), mkError);
  }
}

void TListForm::UpdateStatus() {
  StatusText = CurrentItem >= 0 ? QStringLiteral("Image %1 of total %2 images").arg(CurrentItem + 1).arg(ItemCount)
                                : QStringLiteral("0 images");
  StatusPanel->setText(StatusText);
}

void TListForm::ShowCurrent() { ListView->SelectRow(CurrentItem); }

void TListForm::EntryChanged(int32_t I) { ListView->Model->RowChanged(I); }

void TListForm::RefreshList(const QString& FileName, bool Force) {
  const bool HasCurrent = [&] {
    if (FileName.isEmpty()) {
      ListView->Model->BeginReset();
      Files.Clear();
      ListView->Model->EndReset();
      setWindowTitle(QStringLiteral("No Directory"));
      ItemCount = 0;
      ListFolder.clear();
      CurrentItem = -1;
      return false;
    }
    ListReady = false;
    const QFileInfo Info(FileName);
    const QString Folder = Info.absolutePath() + QLatin1Char('/');
    auto Build = [&] {
      setWindowTitle(Folder);
      ListFolder = Folder;
      const int32_t Column = std::clamp<int32_t>(Settings.ListSortColumn, lcName, lcDate);
      const bool Descending = Settings.ListSortDescending[Column] != 0;
      ListView->Model->BeginReset();
      Files.Build(Folder, Column, Descending);
      ItemCount = Files.Count();
      ListView->Model->EndReset();
      ListView->ShowSorted(Column, Descending);
    };
    const bool Built = Force || Folder != ListFolder;
    if (Built)
      Build();
    CurrentItem = Files.Find(Info.fileName());
    // A file added to the folder since it was listed is no reason to warn.
    if (CurrentItem < 0 && !Built) {
      Build();
      CurrentItem = Files.Find(Info.fileName());
    }
    if (CurrentItem >= 0 && Settings.ListAutoCheck) {
      Files[CurrentItem].Checked = true;
      EntryChanged(CurrentItem);
    }
    if (Host) {
      if (CurrentItem >= 0) {
        Host->SetOpenAgain(true);
      } else if (Host->OpenAgainEnabled()) {
        ShowMessageKind(
            QStringLiteral("The image file has been renamed, removed or deleted!\nReload function is now disabled."),
            mkWarning);
        Host->SetOpenAgain(false);
      }
    }
    return CurrentItem >= 0;
  }();
  for (QAction* A : {rename1, CopyAct, MoveAct, DeleteAct})
    A->setEnabled(HasCurrent);
  UpdateStatus();
  ShowCurrent();
  ListReady = !FileName.isEmpty();
}

void TListForm::SelectIndex(int32_t I) {
  if (I < 0 || I >= ItemCount || I == CurrentItem || (Host && Host->ToolWindowShowing()))
    return;
  ListViewSelectItem(I);
}

void TListForm::ListViewSelectItem(int32_t I) {
  if (!ListReady || I == CurrentItem || I < 0 || I >= ItemCount)
    return;
  TFileEntry& Entry = Files[I];
  if (Entry.Failed)
    return;
  CurrentItem = I;
  if (Settings.ListAutoCheck)
    Entry.Checked = true;
  EntryChanged(I);
  UpdateStatus();
  ShowCurrent();
  if (!Host)
    return;
  Host->SetOpenAgain(true);
  const QString Name = Entry.Name;
  try {
    Host->OpenFile(ListFolder + Name, true);
  } catch (...) {
    // Found again by name: what ran meanwhile may have listed the folder anew.
    const int32_t Failed = Files.Find(Name);
    if (Failed >= 0) {
      Files[Failed].Failed = true;
      if (Settings.ListAutoCheck)
        Files[Failed].Checked = false;
      EntryChanged(Failed);
    }
    throw;
  }
}

void TListForm::NextFile() {
  StepDirection = 1;
  SelectIndex(Files.NextIndex(CurrentItem));
}
void TListForm::PreviousFile() {
  StepDirection = -1;
  SelectIndex(Files.PreviousIndex(CurrentItem));
}
void TListForm::FirstFile() {
  StepDirection = 1;
  SelectIndex(Files.FirstIndex(CurrentItem));
}
void TListForm::LastFile() {
  StepDirection = -1;
  SelectIndex(Files.LastIndex(CurrentItem));
}

QStringList TListForm::NeighbourPaths() const {
  if (CurrentItem < 0 || ListFolder.isEmpty())
    return {};
  const int32_t Next = Files.NextIndex(CurrentItem), Previous = Files.PreviousIndex(CurrentItem);
  QStringList Paths;
  for (const int32_t I : StepDirection < 0 ? std::array{Previous, Next} : std::array{Next, Previous})
    if (I >= 0)
      Paths << ListFolder + Files[I].Name;
  return Paths;
}

void TListForm::SortBy(int32_t Column, bool Toggle) {
  if (Column < lcName || Column > lcDate)
    return;
  const bool Stored = Settings.ListSortDescending[Column] != 0;
  bool Descending = Stored;
  if (Toggle)
    Descending = Column == Settings.ListSortColumn ? !Stored : false;
  ListView->SortBy(Column, Descending);
}

void TListForm::ListViewSortFinished(int32_t Column, bool Descending) {
  SortItems[size_t(Column)]->setChecked(true);
  // The sort of a listing is the stored one already.
  if (!ListReady)
    return;
  UpdateStatus();
  ShowCurrent();
  Settings.ListSortColumn = Column;
  Settings.ListSortDescending[Column] = Descending ? 1 : 0;
}

void TListForm::SortClick(int Tag) {
  SortItems[size_t(Tag)]->setChecked(true);
  SortBy(Tag, true);
}

void TListForm::StoreGeometry() {
  // The frame's corner, as the window is placed by it; the inner size, as
  // it is sized by that.
  Settings.ListLeft = frameGeometry().left();
  Settings.ListTop = frameGeometry().top();
  Settings.ListWidth = width();
  Settings.ListHeight = height();
  Settings.ListDetails = DetailsOption->isChecked();
  Settings.ListBold = BoldOption->isChecked();
  for (int I = 0; I < 4; ++I)
    Settings.ListColumnWidths[I] = ListView->ColumnWidth(I);
}

void TListForm::RestoreGeometry() {
  move(Settings.ListLeft, Settings.ListTop);
  resize(Settings.ListWidth > 0 ? Settings.ListWidth : 378, std::max<int>(Settings.ListHeight, minimumHeight()));
}

void TListForm::SetDetails(bool Details) {
  DetailsOption->setChecked(Details);
  ListView->SetDetails(Details);
}

void TListForm::SetBold(bool Bold) {
  BoldOption->setChecked(Bold);
  QFont F = font();
  F.setBold(Bold);
  setFont(F);
}

void TListForm::DetailsClick() { SetDetails(!ListView->Details()); }

void TListForm::BoldClick() { SetBold(!font().bold()); }

void TListForm::CheckAutoClick() {
  Settings.ListAutoCheck = !Settings.ListAutoCheck;
  CheckAuto->setChecked(Settings.ListAutoCheck);
}

void TListForm::SwitchCheck(int Tag) {
  for (int32_t I = 0; I < Files.Count(); ++I)
    Files[I].Checked = Tag != 0;
  ListView->Model->ChecksChanged();
}

void TListForm::CheckInvertItemClick() {
  for (int32_t I = 0; I < Files.Count(); ++I)
    Files[I].Checked = !Files[I].Checked;
  ListView->Model->ChecksChanged();
}

void TListForm::TypeItemsClick(int Tag) {
  for (int32_t I = 0; I < Files.Count(); ++I)
    if (Files[I].Format == Tag)
      Files[I].Checked = true;
  ListView->Model->ChecksChanged();
}

QString TListForm::CurrentPath() const {
  return CurrentItem >= 0 ? ListFolder + StripFailedMark(Files[CurrentItem].Caption()) : QString();
}

QStringList TListForm::CheckedPaths() const {
  QStringList Paths;
  for (int32_t I = 0; I < Files.Count(); ++I)
    if (Files[I].Checked)
      Paths << ListFolder + StripFailedMark(Files[I].Caption());
  return Paths;
}

void TListForm::Relist() {
  if (!ListFolder.isEmpty())
    RefreshList(ListFolder + (CurrentItem >= 0 ? Files[CurrentItem].Name : QString()), true);
}

void TListForm::OpenItemClick() {
  if (Host)
    Host->OpenCommand();
}

void TListForm::RenameItemClick() {
  if (CurrentItem < 0)
    return;
  const QString Caption = StripFailedMark(Files[CurrentItem].Caption());
  const TRenameParts Parts = RenamePartsOf(Caption);
  const QString Typed = AskRename(this, Parts.Base);
  if (Typed.isEmpty())
    return;
  const QString NewName = RenamedFileName(Typed, Parts.Extension);
  if (NewName.isEmpty())
    return;
  const QString OldPath = ListFolder + Caption;
  const QString NewPath = ListFolder + NewName;
  if (Host)
    Host->SetFileCheck(true);
  if (!RenameImageFile(OldPath, NewPath)) {
    if (Host)
      Host->SetFileCheck(false);
    ShowMessageKind(QStringLiteral("Unable to rename file!\r") + OldPath, mkInformation);
    return;
  }
  if (Host)
    Host->FileRenamed(NewPath);
  RefreshList(NewPath, true);
}

void TListForm::CopyOrMove(const QStringList& Paths, const char* Title, bool Move) {
  if (Paths.isEmpty())
    return;
  const QString Target = ChooseFolder(this, QString::fromLatin1(Title), ListFolder);
  if (Target.isEmpty())
    return;
  const bool Here = QFileInfo(Target).absoluteFilePath() + QLatin1Char('/') == ListFolder;
  if (CopyOrMoveFiles(this, Paths, Target, Move) > 0 && (Move || Here))
    Relist();
}

void TListForm::Trash(const QStringList& Paths) {
  if (!Paths.isEmpty() && TrashFiles(this, Paths) > 0)
    Relist();
}

void TListForm::CopyItemClick() {
  if (CurrentItem >= 0)
    CopyOrMove({CurrentPath()}, "Copy selected file to...", false);
}

void TListForm::MoveItemClick() {
  if (CurrentItem >= 0)
    CopyOrMove({CurrentPath()}, "Move selected file to...", true);
}

void TListForm::DeleteItemClick() {
  if (CurrentItem >= 0)
    Trash({CurrentPath()});
}

void TListForm::CopyAllClick() { CopyOrMove(CheckedPaths(), "Copy all checked files to...", false); }

void TListForm::MoveAllClick() { CopyOrMove(CheckedPaths(), "Move all checked files to...", true); }

void TListForm::DeleteAllClick() { Trash(CheckedPaths()); }

bool TListForm::FormKeyDown(int Key, Qt::KeyboardModifiers Shift) {
  const bool Ctrl = Shift & Qt::ControlModifier;
  const bool Keypad = Shift & Qt::KeypadModifier;
  const bool PadPlusMinus = Keypad && (Key == Qt::Key_Plus || Key == Qt::Key_Minus);
  auto PassOn = [&] {
    if (Host)
      Guarded([&] { Host->MainKeyDown(Key, Shift); });
    return true;
  };
  if (Key == Qt::Key_Escape) {
    hide();
    return true;
  }
  if (Ctrl && PadPlusMinus)
    return true;
  if ((Keypad && Key >= Qt::Key_0 && Key <= Qt::Key_9) || PadPlusMinus || Key == Qt::Key_Insert) {
    if (Host && Host->FullScreenShown())
      return true;
    return PassOn();
  }
  if ((Key >= Qt::Key_F1 && Key <= Qt::Key_F10) || Key == Qt::Key_Backspace)
    return PassOn();
  if (Key == Qt::Key_Up || Key == Qt::Key_Down) {
    Guarded([&] { Key == Qt::Key_Up ? PreviousFile() : NextFile(); });
    return true;
  }
  if (Ctrl && Key != Qt::Key_Control)
    return PassOn();
  return false;
}

void TListForm::ListViewMouseUp() {
  // A pending selection ends with the highlight on the current entry.
  if (!SelectPending)
    ShowCurrent();
}

void TListForm::ListViewPopup(const QPoint& ScreenPos) {
  if (CurrentItem >= 0)
    ListPopup->popup(ScreenPos);
}

void TListForm::keyPressEvent(QKeyEvent* E) {
  if (!FormKeyDown(E->key(), E->modifiers()))
    TQuennaForm::keyPressEvent(E);
}

void TListForm::wheelEvent(QWheelEvent* E) {
  if (Host)
    Host->MainWheel(E);
}

void TListForm::showEvent(QShowEvent* E) {
  TQuennaForm::showEvent(E);
  if (Host)
    Host->ListShown(true);
}

void TListForm::hideEvent(QHideEvent* E) {
  TQuennaForm::hideEvent(E);
  if (Host)
    Host->ListShown(false);
}
