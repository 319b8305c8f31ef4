#pragma once
#include <QAbstractTableModel>
#include <QListView>
#include <QLocale>
#include <QTreeView>
#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>

#include "FileList.h"
#include "XImg.h"

class QItemSelectionModel;
class QStackedLayout;

// The entries of a TFileList as rows of four columns, read straight from the
// list: no object per entry, and only the rows on the screen are ever
// formatted, so that a folder of thousands of files shows at once. The list
// changes only between BeginReset and EndReset, or in one row before
// RowChanged.
class TFileListModel : public QAbstractTableModel {
  Q_OBJECT
public:
  explicit TFileListModel(TFileList& AFiles, QObject* Parent = nullptr);

  int rowCount(const QModelIndex& Parent = {}) const override;
  int columnCount(const QModelIndex& Parent = {}) const override;
  QVariant data(const QModelIndex& Index, int Role) const override;
  bool setData(const QModelIndex& Index, const QVariant& Value, int Role) override;
  Qt::ItemFlags flags(const QModelIndex& Index) const override;
  QVariant headerData(int Section, Qt::Orientation Orientation, int Role) const override;

  void BeginReset() { beginResetModel(); }
  void EndReset() { endResetModel(); }
  void RowChanged(int32_t Row);
  // Every row's check mark may have changed.
  void ChecksChanged();

  // What a column shows for an entry.
  QString Text(int32_t Row, int32_t Column) const;
  // The size with the locale's thousands separators; the date in its short
  // format with all four digits of the year, then the time.
  QString SizeText(int64_t Size) const;
  QString TimeText(int64_t Time) const;

private:
  TFileList& Files;
  std::array<QString, FormatCount + 1> TypeTexts;
  QLocale Locale;
  QString TimeFormat;
};

// The list control of the file list window: the report view (a tree view
// with columns) or the plain list view, on one model and one selection, so
// that switching keeps the selection. Sorting by header clicks toggles the
// direction of the column already sorted; the sorting itself is the
// owner's (OnSortItems), which the control reports with OnSortFinished.
class TPeListView : public QWidget {
  Q_OBJECT
public:
  TPeListView(TFileList& Files, QWidget* Parent = nullptr);

  TFileListModel* Model = nullptr;
  QTreeView* Report = nullptr;
  QListView* Plain = nullptr;

  bool Details() const;
  void SetDetails(bool On);
  int ColumnWidth(int Column) const;
  void SetColumnWidth(int Column, int Width);

  // The control's own sort state, name ascending at first.
  int32_t SortColumn = lcName;
  bool SortDescending = false;
  // Has OnSortItems put the list into that order, then shows it.
  void SortBy(int32_t Column, bool Descending);
  // The list is in that order already: takes it as the sort state.
  void ShowSorted(int32_t Column, bool Descending);
  void HeaderClicked(int Column);

  // Selects and focuses Row (none for -1) and scrolls it into view, without
  // OnSelectItem.
  void SelectRow(int32_t Row);
  // The selected row, or -1.
  int32_t SelectedRow() const;
  // Whether Pos (in the viewport of View) is on the check box of a row.
  bool OnCheckBox(const QAbstractItemView& View, const QPoint& Pos) const;

  std::function<void(int32_t Column, bool Descending)> OnSortItems;
  std::function<void(int32_t Column, bool Descending)> OnSortFinished;
  // The user selected Row.
  std::function<void(int32_t Row)> OnSelectItem;
  std::function<void()> OnMouseUp;
  // True when the key was taken; otherwise the view handles it.
  std::function<bool(int Key, Qt::KeyboardModifiers Shift)> OnKeyDown;
  std::function<void(QWheelEvent* E)> OnMouseWheel;
  std::function<void(const QPoint& ScreenPos)> OnPopup;

  // The parts' input comes here.
  bool KeyDown(QKeyEvent* E);
  void Wheel(QWheelEvent* E);
  // A press on a check box toggles it and is no click on the row.
  bool CheckPress(QAbstractItemView& View, QMouseEvent* E);
  bool TakeCheckRelease();
  void MouseUp();

private:
  QAbstractItemView* Active() const;
  void SelectionChanged();

  QStackedLayout* Stack = nullptr;
  QItemSelectionModel* Selection = nullptr;
  bool Syncing = false;
  bool CheckPressed = false;
};
