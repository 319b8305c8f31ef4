#pragma once
#include <QString>
#include <QStringList>
#include <array>
#include <functional>

#include "FileList.h"
#include "Host.h"
#include "Quenna.h"

class QAction;
class QLabel;
class QMenu;
class QStatusBar;
class TBarMainMenu;
class TBarPopupMenu;
class TPeListView;

// The file list window: the image files of the shown file's folder, which
// entry is the shown file, stepping through them, and the file commands on
// the shown entry or on the checked ones.
class TListForm : public TQuennaForm {
  Q_OBJECT
public:
  explicit TListForm(QWidget* Parent = nullptr);

  // The window whose files the list steps through.
  void SetHost(TPelorinHost* AHost) { Host = AHost; }

  // Lists the folder of FileName unless it is the listed one (or Force), and
  // makes the entry of its file current. An empty name empties the list.
  void RefreshList(const QString& FileName, bool Force);
  void SelectIndex(int32_t I);
  void NextFile();
  void PreviousFile();
  void FirstFile();
  void LastFile();
  // The list's selection event: entry I became selected.
  void ListViewSelectItem(int32_t I);
  // The files next to the current entry worth reading ahead: first the one
  // in the direction of the last step (forward after Next and First,
  // backward after Previous and Last), then the other; failed entries are
  // passed over.
  QStringList NeighbourPaths() const;
  int32_t StepDirection = 1;

  // With Toggle (the Sort menu): the stored column in the reverse of its
  // stored direction, another column ascending. Without: the column in its
  // stored direction.
  void SortBy(int32_t Column, bool Toggle);
  void ListViewSortFinished(int32_t Column, bool Descending);
  // Position, size, view options and column widths into the settings, and
  // back from them.
  void StoreGeometry();
  void RestoreGeometry();

  // The menu commands.
  void OpenItemClick();
  void RenameItemClick();
  void CopyItemClick();
  void MoveItemClick();
  void DeleteItemClick();
  void CopyAllClick();
  void MoveAllClick();
  void DeleteAllClick();
  void DetailsClick();
  void BoldClick();
  void SortClick(int Tag);
  void CheckAutoClick();
  // Sets every check mark to Tag (1 all, 0 none).
  void SwitchCheck(int Tag);
  void CheckInvertItemClick();
  // Checks every entry of format Tag; unchecks none.
  void TypeItemsClick(int Tag);

  // The window's and the list control's keys; true when the key was taken.
  bool FormKeyDown(int Key, Qt::KeyboardModifiers Shift);
  // A click in the list leaves the highlight on the shown file.
  void ListViewMouseUp();
  void ListViewPopup(const QPoint& ScreenPos);

  TPeListView* ListView = nullptr;
  QStatusBar* StatusBar = nullptr;
  QLabel* StatusPanel = nullptr;
  TBarMainMenu* ListMenu = nullptr;
  TBarPopupMenu* ListPopup = nullptr;
  QAction* OpenItem = nullptr;
  QAction* rename1 = nullptr;
  QAction* CopyAct = nullptr;
  QAction* MoveAct = nullptr;
  QAction* DeleteAct = nullptr;
  QAction* CopyAll = nullptr;
  QAction* MoveAll = nullptr;
  QAction* DeleteAll = nullptr;
  QAction* DetailsOption = nullptr;
  QAction* BoldOption = nullptr;
  // SortName, SortType, SortSize, SortDate by their tags.
  std::array<QAction*, 4> SortItems{};
  QAction* CheckAuto = nullptr;
  QAction* CheckAllItem = nullptr;
  QAction* CheckNoneItem = nullptr;
  QAction* CheckInverseItem = nullptr;
  QMenu* CheckTypesItem = nullptr;

  TFileList Files;
  // The listed folder with its trailing separator; empty when there is none.
  QString ListFolder;
  int32_t CurrentItem = -1;
  int32_t ItemCount = 0;
  bool ListReady = false;
  QString StatusText;

protected:
  void keyPressEvent(QKeyEvent* E) override;
  void wheelEvent(QWheelEvent* E) override;
  void showEvent(QShowEvent* E) override;
  void hideEvent(QHideEvent* E) override;

private:
  void BuildMenus();
  QAction* AddItem(QMenu* Menu, const char* Name, const char* Caption, const std::function<void()>& Handler);
  void UpdateStatus();
  // The view's selection back on the current entry.
  void ShowCurrent();
  void EntryChanged(int32_t I);
  // Lists the folder again after a command changed it.
  void Relist();
  QString CurrentPath() const;
  QStringList CheckedPaths() const;
  void CopyOrMove(const QStringList& Paths, const char* Title, bool Move);
  void Trash(const QStringList& Paths);
  void SetBold(bool Bold);
  void SetDetails(bool Details);
  // Runs Command; what it raises is shown as the main window shows errors.
  void Guarded(const std::function<void()>& Command);

  TPelorinHost* Host = nullptr;
  // The entry the user selected last, loaded once the input is done.
  QString PendingName;
  bool SelectPending = false;
};
