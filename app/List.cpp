#include "List.h"

#include <QFileInfo>
#include <algorithm>

#include "Messages.h"
#include "Settings.h"

TListForm::TListForm(QWidget* Parent) : TQuennaForm(Parent) {
  setWindowTitle(QStringLiteral("List"));
  resize(378, 240);
}

void TListForm::UpdateStatus() {
  StatusText = CurrentItem >= 0 ? QStringLiteral("Image %1 of total %2 images").arg(CurrentItem + 1).arg(ItemCount)
                                : QStringLiteral("0 images");
}

void TListForm::RefreshList(const QString& FileName, bool Force) {
  if (FileName.isEmpty()) {
    Files.Clear();
    setWindowTitle(QStringLiteral("No Directory"));
    ItemCount = 0;
    ListFolder.clear();
    CurrentItem = -1;
    UpdateStatus();
    ListReady = false;
    return;
  }
  ListReady = false;
  const QFileInfo Info(FileName);
  const QString Folder = Info.absolutePath() + QLatin1Char('/');
  auto Build = [&] {
    setWindowTitle(Folder);
    ListFolder = Folder;
    const int32_t Column = std::clamp<int32_t>(Settings.ListSortColumn, lcName, lcDate);
    Files.Build(Folder, Column, Settings.ListSortDescending[Column] != 0);
    ItemCount = Files.Count();
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
  if (Host) {
    if (CurrentItem >= 0) {
      if (Settings.ListAutoCheck)
        Files[CurrentItem].Checked = true;
      Host->SetOpenAgain(true);
    } else if (Host->OpenAgainEnabled()) {
      ShowMessageKind(
          QStringLiteral("The image file has been renamed, removed or deleted!\nReload function is now disabled."),
          mkWarning);
      Host->SetOpenAgain(false);
    }
  }
  UpdateStatus();
  ListReady = true;
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
  UpdateStatus();
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
    }
    throw;
  }
}

void TListForm::NextFile() { SelectIndex(Files.NextIndex(CurrentItem)); }
void TListForm::PreviousFile() { SelectIndex(Files.PreviousIndex(CurrentItem)); }
void TListForm::FirstFile() { SelectIndex(Files.FirstIndex(CurrentItem)); }
void TListForm::LastFile() { SelectIndex(Files.LastIndex(CurrentItem)); }
