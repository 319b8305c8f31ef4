#include "ColorTbl.h"

#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <exception>

#include "DibImage.h"
#include "DsPaintBox.h"
#include "DsSpinEdit.h"
#include "DsVCL.h"
#include "Messages.h"
#include "Settings.h"
#include "WaitCursor.h"

namespace {
constexpr int FormWidth = 514, FormHeight = 343;
constexpr int Margin = 8, RightLeft = 310, RightWidth = 196;
constexpr int ButtonWidth = 73, ButtonHeight = 25, ButtonGap = 6;
constexpr int SmallWidth = 38, SmallHeight = 21;
const QColor GridBack(0xC0, 0xC0, 0xC0);

QColor ToQColor(TColor C) { return QColor(C & 0xFF, (C >> 8) & 0xFF, (C >> 16) & 0xFF); }

int Channel(TColor C, int Tag) { return int((C >> (8 * Tag)) & 0xFF); }

TColor WithChannel(TColor C, int Tag, int Value) {
  const int Shift = 8 * Tag;
  return (C & ~(TColor(0xFF) << Shift)) | (TColor(Value & 0xFF) << Shift);
}

TPeButton* NewButton(QWidget* Parent, const char* Name, const char* Caption, const QRect& Place) {
  auto* Button = new TPeButton(QLatin1String(Caption), Parent);
  Button->setObjectName(QLatin1String(Name));
  Button->setGeometry(Place);
  return Button;
}

QLabel* NewLabel(QWidget* Parent, const char* Name, const char* Caption, const QRect& Place) {
  auto* Label = new QLabel(QLatin1String(Caption), Parent);
  Label->setObjectName(QLatin1String(Name));
  Label->setGeometry(Place);
  return Label;
}

TPeGroupBox* NewGroup(QWidget* Parent, const char* Name, const char* Caption, const QRect& Place) {
  auto* Group = new TPeGroupBox(QLatin1String(Caption), Parent);
  Group->setObjectName(QLatin1String(Name));
  Group->setGeometry(Place);
  return Group;
}

TPeTextBox* NewBox(QWidget* Parent, const char* Name, const QRect& Place) {
  auto* Box = new TPeTextBox(Parent);
  Box->setObjectName(QLatin1String(Name));
  Box->SetCaption(QStringLiteral("-"));
  Box->setGeometry(Place);
  return Box;
}

TPeSpinEdit* NewSpin(QWidget* Parent, const char* Name, int Channel, const QRect& Place) {
  auto* Spin = new TPeSpinEdit(Parent);
  Spin->setObjectName(QLatin1String(Name));
  Spin->SetMinValue(0);
  Spin->SetMaxValue(255);
  SetTag(Spin, Channel);
  Spin->setGeometry(Place);
  return Spin;
}

// The sunken frame around a cell: two lines on each side.
void DrawSunkenFrame(QPainter& P, const QRect& Cell) {
  const int L = Cell.left(), T = Cell.top(), R = Cell.right(), B = Cell.bottom();
  auto Line = [&P](int X1, int Y1, int X2, int Y2, const QColor& C) {
    P.setPen(C);
    P.drawLine(X1, Y1, X2, Y2);
  };
  Line(L - 2, T - 2, R + 2, T - 2, QColor(0x80, 0x80, 0x80));
  Line(L - 2, T - 2, L - 2, B + 2, QColor(0x80, 0x80, 0x80));
  Line(L - 1, T - 1, R + 1, T - 1, Qt::black);
  Line(L - 1, T - 1, L - 1, B + 1, Qt::black);
  Line(L - 2, B + 2, R + 2, B + 2, Qt::white);
  Line(R + 2, T - 2, R + 2, B + 2, Qt::white);
  Line(L - 1, B + 1, R + 1, B + 1, QColor(0xE0, 0xE0, 0xE0));
  Line(R + 1, T - 1, R + 1, B + 1, QColor(0xE0, 0xE0, 0xE0));
}
} // namespace

TColorTblForm::TColorTblForm(TColorTblHost AHost, TDib& AImage, TTransparencyInfo& AInfo, QWidget* Parent)
    : TQuennaForm(Parent), Host(std::move(AHost)), Image(AImage), Info(AInfo) {
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(QStringLiteral("Color table"));
  setFixedSize(FormWidth, FormHeight);
  CreateHoverGroup();
  CreateSelectionGroup();
  CreateIndexGroups();
  CreateNoteAndButtons();
  Start();
  ConnectControls();
}

void TColorTblForm::CreateHoverGroup() {
  auto* G1 = new TPeGroupBox(this);
  G1->setObjectName(QStringLiteral("G1"));
  G1->setGeometry(RightLeft, Margin, RightWidth, 40);
  HovIdxLbl = NewLabel(G1, "HovIdxLbl", "none", QRect(8, 11, 70, 18));
  RBox = NewBox(G1, "RBox", QRect(80, 9, 34, 21));
  GBox = NewBox(G1, "GBox", QRect(117, 9, 34, 21));
  BBox = NewBox(G1, "BBox", QRect(154, 9, 34, 21));
}

void TColorTblForm::CreateSelectionGroup() {
  auto* G2 = NewGroup(this, "G2", "Selection", QRect(RightLeft, 52, RightWidth, 82));
  SelIdxLbl = NewLabel(G2, "SelIdxLbl", "", QRect(8, 24, 50, 18));
  SelResetBtn = NewButton(G2, "SelResetBtn", "reset", QRect(66, 22, SmallWidth, SmallHeight));
  SelTransBtn = NewButton(G2, "SelTransBtn", "trans", QRect(108, 22, SmallWidth, SmallHeight));
  SelBackBtn = NewButton(G2, "SelBackBtn", "back", QRect(150, 22, SmallWidth, SmallHeight));
  RSpin = NewSpin(G2, "RSpin", 0, QRect(8, 52, 56, 21));
  GSpin = NewSpin(G2, "GSpin", 1, QRect(70, 52, 56, 21));
  BSpin = NewSpin(G2, "BSpin", 2, QRect(132, 52, 56, 21));
  SelResetBtn->setEnabled(false);
}

void TColorTblForm::CreateIndexGroups() {
  auto* G3 = NewGroup(this, "G3", "Transparency", QRect(RightLeft, 138, RightWidth, 52));
  TrnsIdxLbl = NewLabel(G3, "TrnsIdxLbl", "none", QRect(8, 25, 100, 18));
  TrnsResetBtn = NewButton(G3, "TrnsResetBtn", "reset", QRect(108, 23, SmallWidth, SmallHeight));
  TrnsNoneBtn = NewButton(G3, "TrnsNoneBtn", "none", QRect(150, 23, SmallWidth, SmallHeight));
  auto* G4 = NewGroup(this, "G4", "Background", QRect(RightLeft, 194, RightWidth, 52));
  BackIdxLbl = NewLabel(G4, "BackIdxLbl", "none", QRect(8, 25, 100, 18));
  BackResetBtn = NewButton(G4, "BackResetBtn", "reset", QRect(108, 23, SmallWidth, SmallHeight));
  BackNoneBtn = NewButton(G4, "BackNoneBtn", "none", QRect(150, 23, SmallWidth, SmallHeight));
  for (TPeButton* B : {TrnsResetBtn, TrnsNoneBtn, BackResetBtn, BackNoneBtn})
    B->setEnabled(false);
}

void TColorTblForm::CreateNoteAndButtons() {
  auto* G5 = new TPeGroupBox(this);
  G5->setObjectName(QStringLiteral("G5"));
  G5->setGeometry(RightLeft, 250, RightWidth, 52);
  auto* Note = NewLabel(G5, "NoteLbl", "Note:", QRect(8, 6, 180, 16));
  QFont Bold = Note->font();
  Bold.setBold(true);
  Note->setFont(Bold);
  auto* Text =
      NewLabel(G5, "NoteText", "Background settings are NOT used by most applications.", QRect(8, 20, 180, 30));
  Text->setWordWrap(true);
  QFrame* Panel1 = NewPreviewPanel(this, QRect(Margin, Margin, 294, 294), QStringLiteral("Panel1"));
  IdxBox = new TDsPaintBox(Panel1);
  IdxBox->setObjectName(QStringLiteral("IdxBox"));
  IdxBox->setGeometry(2, 2, 290, 290);
  IdxBox->setMouseTracking(true);
  const int Top = FormHeight - Margin - ButtonHeight;
  CancelBtn =
      NewButton(this, "CancelBtn", "Cancel", QRect(FormWidth - Margin - ButtonWidth, Top, ButtonWidth, ButtonHeight));
  ResetAllBtn = NewButton(this, "ResetAllBtn", "Reset all",
                          QRect(CancelBtn->x() - ButtonGap - ButtonWidth, Top, ButtonWidth, ButtonHeight));
  ApplyBtn = NewButton(this, "ApplyBtn", "Apply",
                       QRect(ResetAllBtn->x() - ButtonGap - ButtonWidth, Top, ButtonWidth, ButtonHeight));
  ApplyBtn->setEnabled(false);
  ResetAllBtn->setEnabled(false);
}

void TColorTblForm::ConnectControls() {
  IdxBox->OnPaint = [this](QPainter& P, const QRect&) { PaintGrid(P); };
  IdxBox->OnMouseMove = [this](QMouseEvent* E) { HoverEntry(CellAt(E->position().toPoint())); };
  IdxBox->OnMouseLeave = [this] { HoverEntry(-1); };
  IdxBox->OnMouseDown = [this](QMouseEvent* E) {
    if (E->button() == Qt::LeftButton)
      SelectEntry(CellAt(E->position().toPoint()));
  };
  for (TPeSpinEdit* Spin : {RSpin, GSpin, BSpin}) {
    connect(Spin, &TPeSpinEdit::OnChange, this, &TColorTblForm::ColChange);
    connect(Spin, &TPeSpinEdit::OnDblClick, this, &TColorTblForm::SpinDblClick);
    connect(Spin, &TPeSpinEdit::OnKeyDown, this, [this](TPeSpinEdit*, int& Key) { SpinKeyDown(Key); });
  }
  auto Clicked = [this](TPeButton* B, auto Action) {
    connect(B, &QAbstractButton::clicked, this, [this, Action] {
      Action();
      Host.Redraw();
    });
  };
  Clicked(TrnsNoneBtn, [this] { SetTransparent(-1); });
  Clicked(TrnsResetBtn, [this] { SetTransparent(SavedInfo.TransparentIndex); });
  Clicked(BackNoneBtn, [this] { SetBackground(-1); });
  Clicked(BackResetBtn, [this] { SetBackground(SavedInfo.BackIndex); });
  Clicked(SelTransBtn, [this] { SetTransparent(FSelected); });
  Clicked(SelBackBtn, [this] { SetBackground(FSelected); });
  connect(SelResetBtn, &QAbstractButton::clicked, this, &TColorTblForm::SelResetBtnClick);
  connect(ResetAllBtn, &QAbstractButton::clicked, this, &TColorTblForm::ResetAllBtnClick);
  connect(ApplyBtn, &QAbstractButton::clicked, this, [this] { done(Accepted); });
  connect(CancelBtn, &QAbstractButton::clicked, this, [this] { done(Rejected); });
}

// The image's palette holds the display color at the transparent entry;
// the dialog works on the entry's own color from the record.
void TColorTblForm::Start() {
  SavedInfo = Info;
  const int32_t N = Image.PaletteSize();
  for (int32_t I = 0; I < N; ++I)
    WorkPal[size_t(I)] = StartPal[size_t(I)] = Image.GetPaletteColor(I);
  if (N > 16) {
    FPitch = 18;
    FCellSize = 16;
    FColumns = 16;
  } else {
    FPitch = 72;
    FCellSize = 70;
    FColumns = 4;
  }
  const int32_t T = Info.TransparentIndex;
  if (InPalette(T))
    WorkPal[size_t(T)] = StartPal[size_t(T)] = TColor(Info.TransparentColor) & 0xFFFFFF;
  TrnsIdxLbl->setText(IndexText(T));
  TrnsNoneBtn->setEnabled(InPalette(T));
  BackIdxLbl->setText(IndexText(Info.BackIndex));
  BackNoneBtn->setEnabled(InPalette(Info.BackIndex));
  // Shown while editing whatever the apply-alpha setting says.
  ShowEntry(T);
  SyncRecordColors();
  SelectEntry(0);
}

QString TColorTblForm::IndexText(int32_t I) const {
  if (InPalette(I))
    return QString::number(I);
  return I == -2 ? QStringLiteral("several") : QStringLiteral("none");
}

bool TColorTblForm::InPalette(int32_t I) const { return I >= 0 && I < Image.PaletteSize(); }

TColor TColorTblForm::DisplayColor() const {
  return InPalette(Info.BackIndex) ? WorkPal[size_t(Info.BackIndex)] : TColor(Settings.BackColor);
}

void TColorTblForm::ShowEntry(int32_t I) {
  if (InPalette(I))
    Image.SetPaletteColor(I, I == Info.TransparentIndex ? DisplayColor() : WorkPal[size_t(I)]);
}

void TColorTblForm::ShowWorkPal() {
  for (int32_t I = 0; I < Image.PaletteSize(); ++I)
    ShowEntry(I);
}

// Kept current so that the host, redisplaying the record, shows the edits.
void TColorTblForm::SyncRecordColors() {
  if (InPalette(Info.TransparentIndex))
    Info.TransparentColor = int32_t(WorkPal[size_t(Info.TransparentIndex)]);
  if (InPalette(Info.BackIndex))
    Info.BackColor = int32_t(WorkPal[size_t(Info.BackIndex)]);
}

int32_t TColorTblForm::CellAt(const QPoint& P) const {
  if (P.x() < 0 || P.y() < 0)
    return -1;
  const int32_t Col = P.x() / FPitch, Row = P.y() / FPitch;
  if (Col >= FColumns || Row >= FColumns)
    return -1;
  return Row * FColumns + Col;
}

void TColorTblForm::PaintGrid(QPainter& P) {
  P.fillRect(IdxBox->rect(), GridBack);
  const int32_t N = Image.PaletteSize();
  QRect Frame;
  for (int32_t I = 0; I < FColumns * FColumns; ++I) {
    const QRect Cell((I % FColumns) * FPitch + 2, (I / FColumns) * FPitch + 2, FCellSize, FCellSize);
    P.fillRect(Cell, I < N ? ToQColor(WorkPal[size_t(I)]) : QColor(Qt::black));
    if (I == FSelected)
      Frame = Cell;
  }
  if (!Frame.isNull())
    DrawSunkenFrame(P, Frame);
}

void TColorTblForm::HoverEntry(int32_t I) {
  if (I == FHovered)
    return;
  FHovered = I;
  if (!InPalette(I)) {
    HovIdxLbl->setText(QStringLiteral("none"));
    for (TPeTextBox* Box : {RBox, GBox, BBox})
      Box->SetCaption(QStringLiteral("-"));
    return;
  }
  QString Text = QString::number(I);
  if (I == Info.TransparentIndex)
    Text += QStringLiteral(" transparent");
  HovIdxLbl->setText(Text);
  const TColor C = WorkPal[size_t(I)];
  RBox->SetCaption(QString::number(Channel(C, 0)));
  GBox->SetCaption(QString::number(Channel(C, 1)));
  BBox->SetCaption(QString::number(Channel(C, 2)));
}

void TColorTblForm::RefreshHover() {
  const int32_t I = FHovered;
  FHovered = -2;
  HoverEntry(I);
}

void TColorTblForm::SelectEntry(int32_t I) {
  if (!InPalette(I) || I == FSelected)
    return;
  FSelected = I;
  IdxBox->update();
  LoadSelection();
}

void TColorTblForm::LoadSelection() {
  const int32_t I = FSelected;
  SelIdxLbl->setText(QString::number(I));
  Loading = true;
  for (TPeSpinEdit* Spin : {RSpin, GSpin, BSpin}) {
    Spin->setEnabled(false);
    Spin->SetValue(Channel(WorkPal[size_t(I)], Tag(Spin)));
    Spin->setEnabled(true);
  }
  Loading = false;
  SelResetBtn->setEnabled(WorkPal[size_t(I)] != StartPal[size_t(I)]);
}

// Entry I changed: it and, as the background entry, the transparent
// entry's display color show it.
void TColorTblForm::EntryChanged(int32_t I) {
  ShowEntry(I);
  if (I == Info.BackIndex)
    ShowEntry(Info.TransparentIndex);
  SyncRecordColors();
  IdxBox->update();
  RefreshHover();
}

void TColorTblForm::ColChange(TPeSpinEdit* Sender) {
  if (Loading || !InPalette(FSelected))
    return;
  TColor& C = WorkPal[size_t(FSelected)];
  C = WithChannel(C, Tag(Sender), Sender->Value());
  EntryChanged(FSelected);
  Host.Redraw();
  SelResetBtn->setEnabled(C != StartPal[size_t(FSelected)]);
  UpdateButtons();
}

void TColorTblForm::SpinDblClick(TPeSpinEdit* Sender) {
  if (InPalette(FSelected))
    Sender->SetValue(Channel(StartPal[size_t(FSelected)], Tag(Sender)));
}

void TColorTblForm::SetTransparent(int32_t I) {
  const int32_t Old = Info.TransparentIndex;
  Info.TransparentIndex = I;
  // The former transparent entry shows its own color again.
  ShowEntry(Old);
  TrnsResetBtn->setEnabled(I != SavedInfo.TransparentIndex);
  TrnsIdxLbl->setText(IndexText(I));
  TrnsNoneBtn->setEnabled(InPalette(I));
  ShowEntry(I);
  SyncRecordColors();
  RefreshHover();
  UpdateButtons();
}

void TColorTblForm::SetBackground(int32_t I) {
  BackResetBtn->setEnabled(I != SavedInfo.BackIndex);
  Info.BackIndex = I;
  BackIdxLbl->setText(IndexText(I));
  BackNoneBtn->setEnabled(InPalette(I));
  ShowEntry(Info.TransparentIndex);
  SyncRecordColors();
  UpdateButtons();
}

void TColorTblForm::SelResetBtnClick() {
  if (!InPalette(FSelected))
    return;
  WorkPal[size_t(FSelected)] = StartPal[size_t(FSelected)];
  LoadSelection();
  EntryChanged(FSelected);
  UpdateButtons();
  Host.Redraw();
}

void TColorTblForm::ResetAllBtnClick() {
  ApplyBtn->setEnabled(false);
  ResetAllBtn->setEnabled(false);
  WorkPal = StartPal;
  ShowWorkPal();
  if (InPalette(FSelected))
    LoadSelection();
  SetTransparent(SavedInfo.TransparentIndex);
  SetBackground(SavedInfo.BackIndex);
  IdxBox->update();
  Host.Redraw();
}

void TColorTblForm::UpdateButtons() {
  bool Changed = SelResetBtn->isEnabled() || TrnsResetBtn->isEnabled() || BackResetBtn->isEnabled();
  for (int32_t I = 0; I < Image.PaletteSize() && !Changed; ++I)
    Changed = WorkPal[size_t(I)] != StartPal[size_t(I)];
  ResetAllBtn->setEnabled(Changed);
  ApplyBtn->setEnabled(Changed);
}

void TColorTblForm::RefreshBackground() {
  if (InPalette(Info.TransparentIndex) && !InPalette(Info.BackIndex))
    ShowEntry(Info.TransparentIndex);
  Host.ApplyBrushes();
  Host.Redraw();
}

void TColorTblForm::SpinKeyDown(int& Key) {
  switch (Key) {
  case Qt::Key_Return:
  case Qt::Key_Enter: ApplyBtn->click(); break;
  case Qt::Key_Escape: CancelBtn->click(); break;
  case Qt::Key_B: Host.ChooseBackground(); break;
  default: return;
  }
  Key = 0;
}

void TColorTblForm::keyPressEvent(QKeyEvent* E) {
  switch (E->key()) {
  case Qt::Key_Escape: CancelBtn->click(); return;
  case Qt::Key_B: Host.ChooseBackground(); return;
  default: TQuennaForm::keyPressEvent(E);
  }
}

// The start palette and record, shown as the apply-alpha setting has them.
void TColorTblForm::RestoreStart() {
  Info = SavedInfo;
  for (int32_t I = 0; I < Image.PaletteSize(); ++I)
    Image.SetPaletteColor(I, StartPal[size_t(I)]);
  Host.ApplyTransparency();
}

// The undo step holds the start state, shown while it is taken; false when
// it could not be taken, with the edits shown again.
bool TColorTblForm::Apply() {
  TWaitCursor Wait;
  SyncRecordColors();
  const TTransparencyInfo Edited = Info;
  try {
    if (Settings.UndoEnabled)
      RestoreStart();
    Host.TakeSnapshot();
  } catch (const std::exception& E) {
    Info = Edited;
    ShowWorkPal();
    Host.Redraw();
    Wait.Release();
    ShowMessageKind(QString::fromUtf8(E.what()), mkError);
    return false;
  }
  Info = Edited;
  for (int32_t I = 0; I < Image.PaletteSize(); ++I)
    Image.SetPaletteColor(I, WorkPal[size_t(I)]);
  Host.ApplyTransparency();
  return true;
}

// Every way of closing ends here: the buttons, the keys, the close box and
// the host closing.
void TColorTblForm::done(int R) {
  if (Finished)
    return;
  if (R == Accepted && ApplyBtn->isEnabled()) {
    if (!Apply())
      return;
  } else {
    RestoreStart();
  }
  Finished = true;
  Host.Redraw();
  Host.Closed();
  TQuennaForm::done(R);
}
