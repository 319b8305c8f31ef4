#include "Tune.h"

#include <QKeyEvent>
#include <QPainter>

#include "DsPaintBox.h"
#include "DsVCL.h"

namespace {

constexpr int PanelLeft = 8, PanelTop = 8, PanelSide = PreviewSide + 2;
constexpr int ButtonWidth = 73, ButtonHeight = 25, ButtonGap = 8;
const char* const PreviewHint = "Preview (click for original)";
const char* const OriginalHint = "Original (click for preview)";

TPeButton* MakeButton(const char* Caption, QRgb Hot, TModalResult Result, QWidget* Parent) {
  auto* B = new TPeButton(QString::fromLatin1(Caption), Parent);
  B->SetGradient(true);
  B->SetColor(QColor::fromRgb(0xB8BFD0));
  B->SetColorHot(QColor::fromRgb(Hot));
  B->SetModalResult(Result);
  B->resize(ButtonWidth, ButtonHeight);
  return B;
}

} // namespace

TTuneForm::TTuneForm(const TDib& Source, QWidget* Parent) : TQuennaForm(Parent) {
  setWindowTitle(QStringLiteral("Tune"));
  Panel = NewPreviewPanel(this, {PanelLeft, PanelTop, PanelSide, PanelSide}, QStringLiteral("Panel"));

  OrigPreview = MakeTunePreview(Source);
  WorkPreview = OrigPreview->Clone();
  WorkPreview->IsGray = OrigPreview->IsGray;
  OrigPreview->Canvas = WorkPreview->Canvas = &Surface;

  PaintBox = new TDsPaintBox(Panel);
  PaintBox->setObjectName(QStringLiteral("PaintBox"));
  const int W = OrigPreview->Width(), H = OrigPreview->Height();
  PaintBox->setGeometry((PreviewSide - W) / 2 + 1, (PreviewSide - H) / 2 + 1, W, H);
  PaintBox->setCursor(Qt::PointingHandCursor);
  PaintBox->setToolTip(QString::fromLatin1(PreviewHint));
  PaintBox->OnPaint = [this](QPainter& P, const QRect& R) { PaintPreview(P, R); };
  PaintBox->OnMouseDown = [this](QMouseEvent* E) {
    if (E->button() == Qt::LeftButton)
      PaintBoxClick();
  };

  // Hot colors as the design gives them (0xBBGGRR there).
  ApplyBtn = MakeButton("Apply", 0x20A040, mrOk, this);
  ApplyBtn->setObjectName(QStringLiteral("ApplyBtn"));
  ResetBtn = MakeButton("Reset", 0xF0C010, mrNone, this);
  ResetBtn->setObjectName(QStringLiteral("ResetBtn"));
  CancelBtn = MakeButton("Cancel", 0xF04020, mrCancel, this);
  CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
  SetClientSize(PanelLeft + PanelSide + 8, PanelTop + PanelSide + ButtonHeight + 2 * ButtonGap);
}

TTuneForm::~TTuneForm() = default;

void TTuneForm::SetClientSize(int Width, int Height) {
  setFixedSize(Width, Height);
  const int Top = Height - ButtonGap - ButtonHeight;
  int Left = Width - ButtonGap - ButtonWidth;
  for (TPeButton* B : {CancelBtn, ResetBtn, ApplyBtn}) {
    B->move(Left, Top);
    Left -= ButtonWidth + ButtonGap;
  }
}

void TTuneForm::ApplyTo(TDib& Image) const { ApplyTables(Image, LutR, LutG, LutB); }

void TTuneForm::PaintBoxClick() {
  ShowPreview = !ShowPreview;
  PaintBox->setToolTip(QString::fromLatin1(ShowPreview ? PreviewHint : OriginalHint));
  RepaintPreview();
}

void TTuneForm::UpdatePreview() {
  MapPreview(*OrigPreview, *WorkPreview, LutR, LutG, LutB);
  if (ShowPreview)
    RepaintPreview();
  if (OnPreviewChanged)
    OnPreviewChanged();
}

void TTuneForm::RepaintPreview() { PaintBox->update(); }

void TTuneForm::PaintPreview(QPainter& P, const QRect& Rect) {
  TDib& Shown = ShowPreview ? *WorkPreview : *OrigPreview;
  Surface.Begin(&P, {Rect.left(), Rect.top(), Rect.right() + 1, Rect.bottom() + 1});
  Shown.DrawAt(0, 0);
  Surface.End();
}

void TTuneForm::keyPressEvent(QKeyEvent* E) {
  // Enter applies, when there is something to apply.
  if (E->key() == Qt::Key_Return || E->key() == Qt::Key_Enter) {
    E->accept();
    if (ApplyBtn->isEnabled())
      accept();
    return;
  }
  TQuennaForm::keyPressEvent(E);
}
