#include "PeListView.h"

#include <QApplication>
#include <QDateTime>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPalette>
#include <QRegularExpression>
#include <QStackedLayout>
#include <QStyle>

namespace {

const char* const ColumnTitles[] = {"Name", "Type", "Size (byte)", "Date/Time"};
constexpr int ColumnCount = 4;

// The two parts of the control are the same view classes with their input
// sent to the control first.
template <class TView>
class TListPart : public TView {
public:
  explicit TListPart(TPeListView& AOwner) : TView(&AOwner), Owner(AOwner) {}

  // The check box of the row at Pos, in viewport coordinates; empty when
  // there is none.
  QRect CheckBoxAt(const QPoint& Pos) {
    const QModelIndex Index = this->indexAt(Pos);
    if (!Index.isValid() || Index.column() != 0)
      return {};
    QStyleOptionViewItem Option;
    this->initViewItemOption(&Option);
    Option.rect = this->visualRect(Index);
    Option.features |= QStyleOptionViewItem::HasCheckIndicator;
    Option.checkState = Qt::CheckState(Index.data(Qt::CheckStateRole).toInt());
    Option.text = Index.data(Qt::DisplayRole).toString();
    Option.features |= QStyleOptionViewItem::HasDisplay;
    return this->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &Option, this);
  }

protected:
  void keyPressEvent(QKeyEvent* E) override {
    if (!Owner.KeyDown(E))
      TView::keyPressEvent(E);
  }
  void wheelEvent(QWheelEvent* E) override { Owner.Wheel(E); }
  void mousePressEvent(QMouseEvent* E) override {
    if (!Owner.CheckPress(*this, E))
      TView::mousePressEvent(E);
  }
  void mouseDoubleClickEvent(QMouseEvent* E) override {
    if (!Owner.CheckPress(*this, E))
      TView::mouseDoubleClickEvent(E);
  }
  void mouseReleaseEvent(QMouseEvent* E) override {
    if (Owner.TakeCheckRelease())
      return;
    TView::mouseReleaseEvent(E);
    Owner.MouseUp();
  }

private:
  TPeListView& Owner;
};

using TReportPart = TListPart<QTreeView>;
using TPlainPart = TListPart<QListView>;

} // namespace

TFileListModel::TFileListModel(TFileList& AFiles, QObject* Parent) : QAbstractTableModel(Parent), Files(AFiles) {
  for (int32_t F = 0; F <= FormatCount; ++F)
    TypeTexts[size_t(F)] = QString::fromStdString(FormatText(F));
  // The C locale leaves the separators out by default; the list wants them.
  Locale.setNumberOptions(Locale.numberOptions() & ~QLocale::OmitGroupSeparator);
  QString DateFormat = Locale.dateFormat(QLocale::ShortFormat);
  // Two digits of the year would sort 1999 after 2024 in the reader's eye.
  DateFormat.replace(QRegularExpression(QStringLiteral("(?<!y)yy(?!y)")), QStringLiteral("yyyy"));
  TimeFormat = DateFormat + QLatin1Char(' ') + Locale.timeFormat(QLocale::ShortFormat);
}

int TFileListModel::rowCount(const QModelIndex& Parent) const { return Parent.isValid() ? 0 : Files.Count(); }

int TFileListModel::columnCount(const QModelIndex& Parent) const { return Parent.isValid() ? 0 : ColumnCount; }

QString TFileListModel::SizeText(int64_t Size) const { return Locale.toString(qlonglong(Size)); }

QString TFileListModel::TimeText(int64_t Time) const {
  return Locale.toString(QDateTime::fromMSecsSinceEpoch(Time), TimeFormat);
}

QString TFileListModel::Text(int32_t Row, int32_t Column) const {
  const TFileEntry& E = Files[Row];
  switch (Column) {
  case lcName: return E.Caption();
  case lcType: return TypeTexts[size_t(E.Format >= 0 && E.Format < FormatCount ? E.Format : FormatCount)];
  case lcSize: return SizeText(E.Size);
  case lcDate: return TimeText(E.Time);
  default: return {};
  }
}

QVariant TFileListModel::data(const QModelIndex& Index, int Role) const {
  if (!Index.isValid() || Index.row() >= Files.Count())
    return {};
  const TFileEntry& E = Files[Index.row()];
  switch (Role) {
  case Qt::DisplayRole: return Text(Index.row(), Index.column());
  case Qt::CheckStateRole:
    if (Index.column() == lcName)
      return E.Checked ? Qt::Checked : Qt::Unchecked;
    return {};
  case Qt::TextAlignmentRole:
    return Index.column() >= lcSize ? int(Qt::AlignRight | Qt::AlignVCenter) : int(Qt::AlignLeft | Qt::AlignVCenter);
  case Qt::ForegroundRole:
    if (E.Failed)
      return QApplication::palette().color(QPalette::Disabled, QPalette::Text);
    return {};
  default: return {};
  }
}

bool TFileListModel::setData(const QModelIndex& Index, const QVariant& Value, int Role) {
  if (Role != Qt::CheckStateRole || !Index.isValid() || Index.column() != lcName || Index.row() >= Files.Count())
    return false;
  Files[Index.row()].Checked = Value.toInt() == Qt::Checked;
  RowChanged(Index.row());
  return true;
}

Qt::ItemFlags TFileListModel::flags(const QModelIndex& Index) const {
  if (!Index.isValid())
    return Qt::NoItemFlags;
  Qt::ItemFlags F = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
  if (Index.column() == lcName)
    F |= Qt::ItemIsUserCheckable;
  return F;
}

QVariant TFileListModel::headerData(int Section, Qt::Orientation Orientation, int Role) const {
  if (Orientation != Qt::Horizontal || Section < 0 || Section >= ColumnCount)
    return {};
  if (Role == Qt::DisplayRole)
    return QString::fromLatin1(ColumnTitles[Section]);
  if (Role == Qt::TextAlignmentRole)
    return Section >= lcSize ? int(Qt::AlignRight | Qt::AlignVCenter) : int(Qt::AlignLeft | Qt::AlignVCenter);
  return {};
}

void TFileListModel::RowChanged(int32_t Row) {
  if (Row >= 0 && Row < Files.Count())
    emit dataChanged(index(Row, 0), index(Row, ColumnCount - 1));
}

void TFileListModel::ChecksChanged() {
  if (Files.Count() > 0)
    emit dataChanged(index(0, 0), index(Files.Count() - 1, 0), {Qt::CheckStateRole});
}

TPeListView::TPeListView(TFileList& Files, QWidget* Parent) : QWidget(Parent) {
  Model = new TFileListModel(Files, this);
  auto* R = new TReportPart(*this);
  auto* P = new TPlainPart(*this);
  Report = R;
  Plain = P;
  Selection = new QItemSelectionModel(Model, this);
  for (QAbstractItemView* V : {static_cast<QAbstractItemView*>(Report), static_cast<QAbstractItemView*>(Plain)}) {
    V->setModel(Model);
    QItemSelectionModel* Own = V->selectionModel();
    V->setSelectionModel(Selection);
    delete Own;
    V->setSelectionMode(QAbstractItemView::SingleSelection);
    V->setSelectionBehavior(QAbstractItemView::SelectRows);
    V->setEditTriggers(QAbstractItemView::NoEditTriggers);
    V->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(V, &QWidget::customContextMenuRequested, this, [this, V](const QPoint& Pos) {
      if (OnPopup)
        OnPopup(V->viewport()->mapToGlobal(Pos));
    });
  }
  // Every row has the height of the first: the view need not measure
  // thousands of them.
  Report->setUniformRowHeights(true);
  Report->setRootIsDecorated(false);
  Report->setItemsExpandable(false);
  Report->setAllColumnsShowFocus(true);
  QHeaderView* Header = Report->header();
  Header->setStretchLastSection(false);
  Header->setSectionsMovable(false);
  Header->setSectionsClickable(true);
  Header->setSortIndicatorShown(true);
  Header->setSortIndicator(SortColumn, Qt::AscendingOrder);
  connect(Header, &QHeaderView::sectionClicked, this, &TPeListView::HeaderClicked);
  Plain->setViewMode(QListView::ListMode);
  Plain->setFlow(QListView::TopToBottom);
  Plain->setWrapping(true);
  Plain->setResizeMode(QListView::Adjust);
  Plain->setUniformItemSizes(true);
  Plain->setModelColumn(lcName);
  connect(Selection, &QItemSelectionModel::selectionChanged, this, &TPeListView::SelectionChanged);

  Stack = new QStackedLayout(this);
  Stack->setContentsMargins(0, 0, 0, 0);
  Stack->addWidget(Report);
  Stack->addWidget(Plain);
  setFocusProxy(Report);
}

QAbstractItemView* TPeListView::Active() const { return Details() ? static_cast<QAbstractItemView*>(Report) : Plain; }

bool TPeListView::Details() const { return Stack->currentWidget() == Report; }

void TPeListView::SetDetails(bool On) {
  const bool Focused = Active()->hasFocus();
  Stack->setCurrentWidget(On ? static_cast<QWidget*>(Report) : Plain);
  setFocusProxy(Active());
  if (Focused)
    Active()->setFocus();
  const QModelIndex Current = Selection->currentIndex();
  if (Current.isValid())
    Active()->scrollTo(Current);
}

int TPeListView::ColumnWidth(int Column) const { return Report->columnWidth(Column); }

void TPeListView::SetColumnWidth(int Column, int Width) { Report->setColumnWidth(Column, Width); }

void TPeListView::SortBy(int32_t Column, bool Descending) {
  Model->BeginReset();
  if (OnSortItems)
    OnSortItems(Column, Descending);
  Model->EndReset();
  ShowSorted(Column, Descending);
}

void TPeListView::ShowSorted(int32_t Column, bool Descending) {
  SortColumn = Column;
  SortDescending = Descending;
  Report->header()->setSortIndicator(Column, Descending ? Qt::DescendingOrder : Qt::AscendingOrder);
  if (OnSortFinished)
    OnSortFinished(Column, Descending);
}

void TPeListView::HeaderClicked(int Column) {
  if (Column < lcName || Column > lcDate)
    return;
  SortBy(Column, Column == SortColumn ? !SortDescending : false);
}

void TPeListView::SelectRow(int32_t Row) {
  Syncing = true;
  if (Row >= 0 && Row < Model->rowCount()) {
    const QModelIndex Index = Model->index(Row, 0);
    Selection->setCurrentIndex(Index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    Active()->scrollTo(Index);
  } else {
    Selection->clear();
  }
  Syncing = false;
}

int32_t TPeListView::SelectedRow() const {
  const QModelIndexList Rows = Selection->selectedRows();
  return Rows.isEmpty() ? -1 : Rows.first().row();
}

void TPeListView::SelectionChanged() {
  if (Syncing || !OnSelectItem)
    return;
  const int32_t Row = SelectedRow();
  if (Row >= 0)
    OnSelectItem(Row);
}

bool TPeListView::OnCheckBox(const QAbstractItemView& View, const QPoint& Pos) const {
  QAbstractItemView& V = const_cast<QAbstractItemView&>(View);
  if (&V == Report)
    return static_cast<TReportPart&>(V).CheckBoxAt(Pos).contains(Pos);
  if (&V == Plain)
    return static_cast<TPlainPart&>(V).CheckBoxAt(Pos).contains(Pos);
  return false;
}

bool TPeListView::KeyDown(QKeyEvent* E) { return OnKeyDown && OnKeyDown(E->key(), E->modifiers()); }

void TPeListView::Wheel(QWheelEvent* E) {
  if (OnMouseWheel)
    OnMouseWheel(E);
  E->accept();
}

bool TPeListView::CheckPress(QAbstractItemView& View, QMouseEvent* E) {
  if (E->button() != Qt::LeftButton || !OnCheckBox(View, E->position().toPoint()))
    return false;
  // The double click's second press toggles again, as a second click would.
  const QModelIndex Index = View.indexAt(E->position().toPoint());
  const bool Checked = Index.data(Qt::CheckStateRole).toInt() == Qt::Checked;
  Model->setData(Index, Checked ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
  CheckPressed = true;
  E->accept();
  return true;
}

bool TPeListView::TakeCheckRelease() {
  const bool Was = CheckPressed;
  CheckPressed = false;
  return Was;
}

void TPeListView::MouseUp() {
  if (OnMouseUp)
    OnMouseUp();
}
