#include <QAction>
#include <QActionGroup>
#include <QMenu>
#include <QPainter>
#include <algorithm>

#include "BarPopupMenu.h"
#include "Main.h"

namespace {

// The four glyphs of the popups: 1:1, enlarge, reduce, about.
QIcon Glyph(int Index) {
  QPixmap Pix(16, 16);
  Pix.fill(Qt::transparent);
  QPainter P(&Pix);
  P.setRenderHint(QPainter::Antialiasing);
  P.setPen(QPen(QColor(0, 0, 128), 1.6));
  if (Index < 3) {
    P.setBrush(QColor(220, 235, 255));
    P.drawEllipse(QRectF(1.5, 1.5, 10, 10));
    P.drawLine(QPointF(10.5, 10.5), QPointF(15, 15));
    if (Index == 0) {
      P.drawLine(QPointF(4.5, 5.5), QPointF(8.5, 5.5));
      P.drawLine(QPointF(4.5, 7.5), QPointF(8.5, 7.5));
    } else {
      P.drawLine(QPointF(4, 6.5), QPointF(9, 6.5));
      if (Index == 1)
        P.drawLine(QPointF(6.5, 4), QPointF(6.5, 9));
    }
  } else {
    P.setBrush(QColor(255, 255, 200));
    P.drawEllipse(QRectF(1.5, 1.5, 13, 13));
    P.setFont(QFont(QStringLiteral("Arial"), 8, QFont::Bold));
    P.drawText(QRect(0, 0, 16, 16), Qt::AlignCenter, QStringLiteral("?"));
  }
  return QIcon(Pix);
}

void StylePopup(TBarPopupMenu* M, const QString& SideText, int BarWidth) {
  M->SetVerticalText(SideText);
  M->SetBarWidth(BarWidth);
  M->SetGradientStart(QColor(0x3F, 0x00, 0x7F));
  M->SetGradientEnd(QColor(0xFF, 0x00, 0x3F));
  QFont F(QStringLiteral("Arial"));
  F.setPixelSize(19);
  F.setBold(true);
  M->SetVerticalFont(F);
  M->SetVerticalFontColor(QColor(0xC0, 0xC0, 0xC0));
}

// The rows inside the workbench submenu.
std::span<const TCommandRow> WorkbenchRows(std::span<const TCommandRow> Rows) {
  const auto Work = std::find_if(Rows.begin(), Rows.end(), [](const TCommandRow& R) { return R.Kind == ckWork; });
  if (Work == Rows.end())
    return {};
  int Depth = 0;
  auto End = Work + 1;
  for (; End != Rows.end(); ++End) {
    if (End->Kind == ckMenu)
      ++Depth;
    else if (End->Kind == ckEnd && Depth-- == 0)
      break;
  }
  return {Work + 1, End};
}

// What the shown image and the view decide, checked as a popup opens.
constexpr std::initializer_list<TCommandRule> ViewRules = {crImage,  crWindowed, crTune,     crTuneHsl,
                                                           crFilter, crColorTbl, crOpenAgain};

} // namespace

void TPelorinMain::BuildMenus() {
  MainPopup = new TBarPopupMenu(this);
  WorkPopup = new TBarPopupMenu(this);
  StylePopup(MainPopup, QStringLiteral("Main Menu"), 28);
  StylePopup(WorkPopup, QStringLiteral("Workbench"), 29);
  connect(MainPopup, &QMenu::aboutToShow, this, [this] { MainPopupPopup(); });
  connect(WorkPopup, &QMenu::aboutToShow, this, [this] { WorkPopupPopup(); });
  AddRows(MainPopup, CommandRows(), false);
  WorkPopup->addSeparator();
  AddRows(WorkPopup, WorkbenchRows(CommandRows()), true);
  WorkPopup->addSeparator();
  Item("z11")->setChecked(true);
  Item("ZoomItem")->menu()->setDefaultAction(Item("z11"));
  Item("About1")->setIcon(Glyph(3));
  for (auto It = Items.cbegin(); It != Items.cend(); ++It)
    Rules.insert(It.key(), It.value()->isEnabled());
  // Nothing to open again before a file is shown.
  UpdateItems({crOpenAgain});
  UpdateUndoItems();
  CaptionLaunchItems();
}

// Builds Rows into Menu, under the twin names when Twins.
void TPelorinMain::AddRows(QMenu* Menu, std::span<const TCommandRow> Rows, bool Twins) {
  std::vector<QMenu*> Menus{Menu};
  QActionGroup* ZoomGroup = nullptr;
  for (const TCommandRow& Row : Rows) {
    QMenu* M = Menus.back();
    switch (Row.Kind) {
    case ckLine: M->addSeparator(); break;
    case ckEnd: Menus.pop_back(); break;
    case ckMenu:
    case ckWork: Menus.push_back(AddSubmenu(M, Row, Twins)); break;
    case ckZoom: {
      if (!ZoomGroup)
        ZoomGroup = new QActionGroup(M);
      QAction* A = AddItem(M, Row, Twins);
      A->setIcon(Glyph(Row.Tag == 0 ? 0 : Row.Tag > 0 ? 1 : 2));
      ZoomGroup->addAction(A);
      break;
    }
    case ckItem:
    case ckCheck: AddItem(M, Row, Twins); break;
    }
  }
}

QAction* TPelorinMain::AddItem(QMenu* Menu, const TCommandRow& Row, bool Twin) {
  const bool Built = Row.Handler != nullptr;
  auto* A = new QAction(QString::fromUtf8(Twin && Row.TwinCaption ? Row.TwinCaption : Row.Caption), Menu);
  A->setProperty("Tag", Row.Tag);
  A->setProperty("Built", Built);
  A->setCheckable(Row.Kind == ckCheck || Row.Kind == ckZoom);
  if (*Row.Shortcut) {
    A->setShortcut(QKeySequence(QString::fromLatin1(Row.Shortcut)));
    A->setShortcutVisibleInContextMenu(true);
    // The main popup's shortcuts work while the window has the focus; the
    // workbench popup repeats them and so adds none of its own.
    if (!Twin)
      addAction(A);
  }
  A->setEnabled(Built);
  if (Built)
    connect(A, &QAction::triggered, this, [this, H = Row.Handler, Tag = Row.Tag] { Guarded([&] { H(*this, Tag); }); });
  Menu->addAction(A);
  Register(Row, Twin, A);
  return A;
}

QMenu* TPelorinMain::AddSubmenu(QMenu* Menu, const TCommandRow& Row, bool Twin) {
  QMenu* Sub = Menu->addMenu(QString::fromUtf8(Row.Caption));
  Sub->menuAction()->setProperty("Built", true);
  Sub->setSeparatorsCollapsible(false);
  Register(Row, Twin, Sub->menuAction());
  return Sub;
}

void TPelorinMain::Register(const TCommandRow& Row, bool Twin, QAction* A) {
  const QString Name = QString::fromLatin1(Twin ? Row.Twin : Row.Name);
  A->setObjectName(Name);
  Items.insert(Name, A);
  if (Twin)
    Twins.insert(QString::fromLatin1(Row.Name), Name);
  if (Row.Rule != crNone)
    Ruled.emplace_back(Name, Row.Rule);
}

QAction* TPelorinMain::Item(const QString& Name) const { return Items.value(Name); }

bool TPelorinMain::RuleEnabled(const QString& Name) const { return Rules.value(Name, false); }

void TPelorinMain::SetRule(const QString& Name, bool Enabled) {
  QAction* A = Item(Name);
  if (!A)
    return;
  Rules.insert(Name, Enabled);
  A->setEnabled(Enabled && A->property("Built").toBool());
}

void TPelorinMain::UpdateItems(std::initializer_list<TCommandRule> Which) {
  for (const auto& [Name, Rule] : Ruled)
    if (std::find(Which.begin(), Which.end(), Rule) != Which.end())
      SetRule(Name, Allows(Rule, RuleEnabled(Name)));
}

void TPelorinMain::SetChecked(const QString& Name, bool Checked) {
  Item(Name)->setChecked(Checked);
  if (QAction* Twin = Item(Twins.value(Name)))
    Twin->setChecked(Checked);
}

void TPelorinMain::UpdateConvertItems() {
  UpdateItems({crToGray, crToPal, crToRgb});
  Edited = false;
}

void TPelorinMain::MainPopupPopup() {
  Item("FullScreenItem")->setChecked(FullScreenShowing());
  UpdateClipboardItems();
  UpdateItems(ViewRules);
}

void TPelorinMain::WorkPopupPopup() { UpdateItems(ViewRules); }

void TPelorinMain::ShowPopup(Qt::KeyboardModifiers Shift, const QPoint& ScreenPos) {
  if (ModalLock)
    return;
  if ((Shift & Qt::ShiftModifier) && Image && SourceKind >= 0)
    WorkPopup->popup(ScreenPos);
  else
    MainPopup->popup(ScreenPos);
}

void TPelorinMain::CheckZoomItem(int32_t Z) {
  for (QAction* A : std::as_const(Items))
    if (A->isCheckable() && A->objectName().size() == 3 && A->objectName().startsWith(QLatin1Char('z')) &&
        A->property("Tag").toInt() == Z)
      A->setChecked(true);
}

void TPelorinMain::QuitItemClick() { close(); }
