#include "FilterDialog.h"

#include <QApplication>
#include <QFrame>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>
#include <cstring>

#include "DibFilter.h"
#include "DibRows.h"
#include "DsPaintBox.h"
#include "DsSlider.h"
#include "DsSpinEdit.h"
#include "DsVCL.h"

namespace {

constexpr int Margin = 8, PanelSide = TFilterForm::ViewSide + 2, BarWidth = 16;
constexpr int BoxWidth = 80, Box2Width = 90, Box2Height = 104, GroupGap = 6;
constexpr int ButtonWidth = 73, ButtonHeight = 25;
constexpr int DirSide = 15, DirStep = 24;

// Where each direction box sits around the compass center, from the top
// clockwise.
constexpr int DirOffsets[8][2] = {{0, -1}, {1, -1}, {1, 0}, {1, 1}, {0, 1}, {-1, 1}, {-1, 0}, {-1, -1}};

TPeButton* MakeButton(const char* Name, const char* Caption, QRgb Hot, TModalResult Result, QWidget* Parent) {
  auto* B = new TPeButton(QString::fromLatin1(Caption), Parent);
  B->setObjectName(QLatin1String(Name));
  B->SetGradient(true);
  B->SetColor(QColor::fromRgb(0xB8BFD0));
  B->SetColorHot(QColor::fromRgb(Hot));
  B->SetModalResult(Result);
  B->resize(ButtonWidth, ButtonHeight);
  return B;
}

void ShowEnabled(QWidget* W) {
  W->setEnabled(true);
  W->show();
}

} // namespace

TFilterForm::TFilterForm(const TDib& AImage, QWidget* Parent) : TQuennaForm(Parent), Image(AImage) {
  setWindowTitle(QStringLiteral("Filter"));
  CreatePreview();
  CreateGroups();
  CreateButtons();
  FormCreate();
  ConnectHandlers();
  // The keys move the strength from the start.
  TrackBar->setFocus();
}

TFilterForm::~TFilterForm() { EndDrag(); }

void TFilterForm::CreatePreview() {
  Panel1 = NewPreviewPanel(this, {Margin, Margin, PanelSide, PanelSide}, QStringLiteral("Panel1"));

  PaintBox = new TDsPaintBox(Panel1);
  PaintBox->setObjectName(QStringLiteral("PaintBox"));
  PaintBox->OnPaint = [this](QPainter& P, const QRect& R) { PaintBoxPaint(P, R); };
  PaintBox->OnMouseDown = [this](QMouseEvent* E) { PaintBoxMouseDown(E); };
  PaintBox->OnMouseMove = [this](QMouseEvent* E) { PaintBoxMouseMove(E); };
  PaintBox->OnMouseUp = [this](QMouseEvent* E) { PaintBoxMouseUp(E); };

  HScroll = new QScrollBar(Qt::Horizontal, this);
  HScroll->setObjectName(QStringLiteral("HScroll"));
  VScroll = new QScrollBar(Qt::Vertical, this);
  VScroll->setObjectName(QStringLiteral("VScroll"));
  for (QScrollBar* Bar : {HScroll, VScroll}) {
    Bar->setFocusPolicy(Qt::NoFocus);
    Bar->setPageStep(ViewSide);
    Bar->installEventFilter(this);
  }
}

void TFilterForm::CreateGroups() {
  Box = new TPeGroupBox(QStringLiteral("Indensity"), this);
  Box->setObjectName(QStringLiteral("Box"));
  TrackBar = new TSlider(Box);
  TrackBar->setObjectName(QStringLiteral("TrackBar"));
  TrackBar->SetMax(100);
  TrackBar->SetMin(0);
  TrackBar->SetPosDefault(0);
  TrackBar->SetPosition(0);
  TrackBar->SetTicks(true);

  Box2 = new TPeGroupBox(QStringLiteral("Radius"), this);
  Box2->setObjectName(QStringLiteral("Box2"));
  Box2->resize(Box2Width, Box2Height);
  RadSpin = new TPeSpinEdit(Box2);
  RadSpin->setObjectName(QStringLiteral("RadSpin"));
  RadSpin->SetMinValue(1);
  RadSpin->SetMaxValue(3);
  RadSpin->SetValue(1);
  RadSpin->setGeometry(15, 40, Box2Width - 30, 21);
  RadSpin->hide();
  RadSpin->setEnabled(false);

  const int CenterX = Box2Width / 2, CenterY = 19 + (Box2Height - 19 - 6) / 2;
  for (int I = 0; I < 8; ++I) {
    auto* B = new TPeRadioBox(Box2);
    B->setObjectName(QStringLiteral("DBtn%1").arg(I));
    SetTag(B, I);
    B->setGeometry(CenterX - DirSide / 2 + DirOffsets[I][0] * DirStep,
                   CenterY - DirSide / 2 + DirOffsets[I][1] * DirStep, DirSide, DirSide);
    B->hide();
    B->setEnabled(false);
    DBtn[size_t(I)] = B;
  }
  DBtn[0]->SetChecked(true);
}

void TFilterForm::CreateButtons() {
  // Hot colors as the tuning dialogs have them.
  ApplyBtn = MakeButton("ApplyBtn", "Apply", 0x20A040, mrOk, this);
  CancelBtn = MakeButton("CancelBtn", "Cancel", 0xF04020, mrCancel, this);
}

void TFilterForm::FormCreate() {
  const bool HShown = SetUpScroll(HScroll, Image.Width(), MaxScrollX);
  const bool VShown = SetUpScroll(VScroll, Image.Height(), MaxScrollY);
  const int32_t W = std::min(Image.Width(), ViewSide), H = std::min(Image.Height(), ViewSide);
  // Centered inside the panel's one-pixel frame.
  PaintBox->setGeometry((ViewSide - W) / 2 + 1, (ViewSide - H) / 2 + 1, W, H);
  LayOut(HShown, VShown);

  Strength = 0;
  ApplyBtn->setEnabled(false);
  SrcView = std::make_unique<TDib>(std::max<int32_t>(W, 1), std::max<int32_t>(H, 1), pf24bit);
  DstView = std::make_unique<TDib>(SrcView->Width(), SrcView->Height(), pf24bit);
  DstView->Canvas = &Surface;
  RowBgr.resize(size_t(std::max<int32_t>(Image.Width(), 1)) * 3);
}

bool TFilterForm::SetUpScroll(QScrollBar* Bar, int32_t Side, int32_t& MaxScroll) {
  if (Side <= ViewSide) {
    Bar->setRange(0, 0);
    Bar->hide();
    MaxScroll = 0;
    return false;
  }
  MaxScroll = Side - ViewSide;
  Bar->setRange(0, MaxScroll);
  Bar->show();
  return true;
}

// A hidden bar takes its 16 pixels off the form.
void TFilterForm::LayOut(bool HShown, bool VShown) {
  HScroll->setGeometry(Margin, Margin + PanelSide, PanelSide, BarWidth);
  VScroll->setGeometry(Margin + PanelSide, Margin, BarWidth, PanelSide);
  const int Left = Margin + PanelSide + (VShown ? BarWidth : 0) + Margin;
  const int Height = Margin + PanelSide + (HShown ? BarWidth : 0) + Margin;
  Box->setGeometry(Left, Margin, BoxWidth, Height - 2 * Margin);
  TrackBar->setGeometry((BoxWidth - 36) / 2, 22, 36, Box->height() - 30);
  const int Left2 = Left + BoxWidth + GroupGap;
  Box2->move(Left2, Margin);
  const int ButtonLeft = Left2 + (Box2Width - ButtonWidth) / 2;
  CancelBtn->move(ButtonLeft, Height - Margin - ButtonHeight);
  ApplyBtn->move(ButtonLeft, CancelBtn->y() - GroupGap - ButtonHeight);
  setFixedSize(Left2 + Box2Width + Margin, Height);
}

void TFilterForm::ConnectHandlers() {
  connect(TrackBar, &TSlider::OnSwitch, this, &TFilterForm::TrackBar1Change);
  connect(RadSpin, &TPeSpinEdit::OnChange, this, &TFilterForm::RadSpinChange);
  for (TPeRadioBox* B : DBtn)
    connect(B, &QAbstractButton::clicked, this, [this, B] { DirBtnClick(B); });
  connect(HScroll, &QScrollBar::valueChanged, this, &TFilterForm::ScrollChange);
  connect(VScroll, &QScrollBar::valueChanged, this, &TFilterForm::ScrollChange);
}

void TFilterForm::SetFilter(int32_t AFilterNo) {
  FilterNo = AFilterNo;
  Param = 0;
  Box2->hide();
  const TFilterInfo* Info = FindFilter(FilterNo);
  setWindowTitle(QString::fromLatin1(Info ? Info->DialogCaption : "Filter"));
  switch (FilterNo) {
  case fnAverage:
  case fnBlur:
    Box2->show();
    ShowEnabled(RadSpin);
    Param = 1;
    break;
  case fnSharpen:
  case fnEdge: Param = 1; break;
  case fnContour:
    Box->SetCaption(QStringLiteral("Brightness"));
    Box2->show();
    ShowEnabled(RadSpin);
    TrackBar->SetPosition(50);
    TrackBar->SetMin(1);
    break;
  case fnEmboss:
    Box->SetCaption(QStringLiteral("Brightness"));
    Box2->SetCaption(QStringLiteral("Direction"));
    Box2->show();
    for (TPeRadioBox* B : DBtn)
      ShowEnabled(B);
    TrackBar->SetPosition(50);
    TrackBar->SetMin(10);
    break;
  case fnPosterize:
    Box->SetCaption(QStringLiteral("Level"));
    TrackBar->SetMax(128);
    TrackBar->SetMin(0);
    TrackBar->SetTickStep(8);
    TrackBar->SetExtension(QStringLiteral(" "));
    break;
  default: break;
  }
  UpdateView();
}

void TFilterForm::UpdateView() {
  const size_t Skip = size_t(HScroll->value()) * 3, Bytes = size_t(SrcView->Width()) * 3;
  const int32_t Top = VScroll->value();
  for (int32_t Y = 0; Y < SrcView->Height(); ++Y) {
    GetRowBgr(Image, Top + Y, RowBgr);
    std::memcpy(SrcView->ScanLine(Y), RowBgr.data() + Skip, Bytes);
  }
  ApplyFilter(*SrcView, *DstView, FilterNo, Param, Strength);
  PaintBox->update();
}

void TFilterForm::PaintBoxPaint(QPainter& P, const QRect& Rect) {
  Surface.Begin(&P, {Rect.left(), Rect.top(), Rect.right() + 1, Rect.bottom() + 1});
  DstView->DrawAt(0, 0);
  Surface.End();
}

void TFilterForm::TrackBar1Change() {
  Strength = TrackBar->Position();
  UpdateView();
  ApplyBtn->setEnabled(Strength >= 1);
}

void TFilterForm::RadSpinChange() {
  Param = RadSpin->Value();
  UpdateView();
}

void TFilterForm::DirBtnClick(TPeRadioBox* Sender) {
  Param = Tag(Sender);
  UpdateView();
}

// The bars' ranges end at MaxScrollX and MaxScrollY, so Qt clamps them.
void TFilterForm::ScrollChange() {
  if (!Scrolling)
    UpdateView();
}

void TFilterForm::PaintBoxMouseDown(QMouseEvent* E) {
  if (E->button() != Qt::LeftButton || DragScroll)
    return;
  DragScroll = true;
  QApplication::setOverrideCursor(Qt::SizeAllCursor);
  LastMouse = E->position().toPoint();
}

void TFilterForm::PaintBoxMouseMove(QMouseEvent* E) {
  if (!DragScroll)
    return;
  const QPoint At = E->position().toPoint();
  const int OldX = HScroll->value(), OldY = VScroll->value();
  Scrolling = true;
  HScroll->setValue(OldX + LastMouse.x() - At.x());
  VScroll->setValue(OldY + LastMouse.y() - At.y());
  Scrolling = false;
  LastMouse = At;
  if (HScroll->value() != OldX || VScroll->value() != OldY)
    UpdateView();
}

void TFilterForm::PaintBoxMouseUp(QMouseEvent* E) {
  if (E->button() == Qt::LeftButton)
    EndDrag();
}

void TFilterForm::EndDrag() {
  if (!DragScroll)
    return;
  DragScroll = false;
  QApplication::restoreOverrideCursor();
}

void TFilterForm::done(int Result) {
  EndDrag();
  TQuennaForm::done(Result);
}

void TFilterForm::keyPressEvent(QKeyEvent* E) {
  if (E->key() == Qt::Key_Return || E->key() == Qt::Key_Enter) {
    E->accept();
    if (ApplyBtn->isEnabled())
      accept();
    return;
  }
  TQuennaForm::keyPressEvent(E);
}

// The scroll bars take no keys: the arrows belong to the strength slider.
bool TFilterForm::eventFilter(QObject* Watched, QEvent* E) {
  if ((Watched == HScroll || Watched == VScroll) && (E->type() == QEvent::KeyPress || E->type() == QEvent::KeyRelease))
    return true;
  return TQuennaForm::eventFilter(Watched, E);
}
