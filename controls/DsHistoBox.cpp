#include "DsHistoBox.h"

#include "DsVCL.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

#include <algorithm>

namespace {

// The bars fill rows BarTop..BarBottom; the frame sits one row and column
// outside them, with one row of face between its top and the bars.
constexpr int BarTop = 4, BarBottom = 66;
constexpr int FrameLeft = 15, FrameTop = 2, FrameRight = 273, FrameBottom = 67;
const QRect FocusRect(12, 0, 264, 69);
constexpr int TextRise = 13;
constexpr int TextWidth = 40;

bool IsLevel(int x) { return x >= 0 && x < 256; }

} // namespace

THistoBox::THistoBox(QWidget* parent) : QWidget(parent) {
  resize(288, 66);
  setFocusPolicy(Qt::StrongFocus);
  setMouseTracking(true);
  setToolTip(HintText());
}

QString THistoBox::HintText() {
  return QStringLiteral("Switch minimum with left and\nmaximum with right mouse button.");
}

void THistoBox::SetMin(int Value) {
  FMin = std::clamp(Value, 0, FMax - 1);
  update();
  Notify();
}

void THistoBox::SetMax(int Value) {
  FMax = std::clamp(Value, FMin + 1, 255);
  update();
  Notify();
}

void THistoBox::ResetLevels() {
  if (FMin == 0 && FMax == 255)
    return;
  FMin = 0;
  FMax = 255;
  update();
  Notify();
}

void THistoBox::Notify() {
  FSwitched = FMin > 0 || FMax < 255;
  emit OnSwitch(this, FMin, FMax);
}

void THistoBox::SetHeights(const std::array<int32_t, 256>& Value) {
  for (size_t i = 0; i < Value.size(); ++i)
    FHeights[i] = std::clamp<int32_t>(Value[i], 0, MaxHeight);
  update();
}

void THistoBox::SetColor(const QColor& Value) {
  FColor = Value;
  update();
}

void THistoBox::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), BtnFaceColor());
  PaintFrame(p);
  const int Rows = BarBottom - BarTop + 1;
  for (int i = 0; i < 256; ++i) {
    const int x = i + LevelX;
    const int h = FHeights[size_t(i)];
    p.fillRect(x, BarBottom + 1 - h, 1, h, FColor);
    p.fillRect(x, BarTop, 1, Rows - h, Qt::white);
  }
  for (int Level : {FMin, FMax})
    p.fillRect(Level + LevelX, BarTop, 1, Rows, Qt::black);
  if (hasFocus()) {
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(Qt::black, 1, Qt::DotLine));
    p.drawRect(FocusRect.adjusted(0, 0, -1, -1));
  }
  PaintLevelTexts(p);
}

void THistoBox::PaintFrame(QPainter& p) const {
  p.setPen(BtnShadowColor());
  p.drawLine(FrameLeft, FrameBottom, FrameLeft, FrameTop + 1);
  p.drawLine(FrameLeft, FrameTop, FrameRight - 1, FrameTop);
  p.setPen(BtnHighlightColor());
  p.drawLine(FrameRight, FrameTop, FrameRight, FrameBottom - 1);
  p.drawLine(FrameRight, FrameBottom, FrameLeft + 1, FrameBottom);
}

void THistoBox::PaintLevelTexts(QPainter& p) const {
  const int Top = height() - TextRise;
  const int Height = p.fontMetrics().height();
  p.setPen(Qt::black);
  const int Flags = Qt::AlignTop | Qt::TextSingleLine;
  p.drawText(QRect(FMin + LevelX - TextWidth, Top, TextWidth, Height), Flags | Qt::AlignRight, QString::number(FMin));
  p.drawText(QRect(FMax + LevelX, Top, TextWidth, Height), Flags | Qt::AlignLeft, QString::number(FMax));
}

// The dialog keeps Enter and Escape; everything else stays here.
void THistoBox::keyPressEvent(QKeyEvent* e) {
  switch (e->key()) {
  case Qt::Key_Home: SetMin(FMin - 1); break;
  case Qt::Key_End:
    if (FMax - 1 > FMin)
      SetMin(FMin + 1);
    break;
  case Qt::Key_PageUp: SetMax(FMax + 1); break;
  case Qt::Key_PageDown:
    if (FMin + 1 < FMax)
      SetMax(FMax - 1);
    break;
  case Qt::Key_Backspace: ResetLevels(); break;
  case Qt::Key_Return:
  case Qt::Key_Enter:
  case Qt::Key_Escape: QWidget::keyPressEvent(e); return;
  default: break;
  }
  e->accept();
}

void THistoBox::StartDrag(TDragMode Mode) {
  setFocus(Qt::MouseFocusReason);
  setToolTip(QString());
  QToolTip::hideText();
  setCursor(Qt::SizeHorCursor);
  FDragMode = Mode;
}

void THistoBox::ShowHover(bool Inside) {
  setCursor(Inside ? Qt::PointingHandCursor : Qt::ArrowCursor);
  setToolTip(Inside ? HintText() : QString());
}

void THistoBox::mousePressEvent(QMouseEvent* e) {
  const int x = e->position().toPoint().x() - LevelX;
  if (e->button() == Qt::LeftButton && x >= 0 && x < FMax) {
    StartDrag(dmMin);
    SetMin(x);
  } else if (e->button() == Qt::RightButton && x > FMin && x < 256) {
    StartDrag(dmMax);
    SetMax(x);
  }
}

void THistoBox::mouseMoveEvent(QMouseEvent* e) {
  const int x = e->position().toPoint().x() - LevelX;
  switch (FDragMode) {
  case dmMin: SetMin(x >= FMax ? FMax - 1 : x); break;
  case dmMax: SetMax(std::max(x, FMin + 1)); break;
  case dmNone: ShowHover(IsLevel(x)); break;
  }
}

void THistoBox::mouseReleaseEvent(QMouseEvent* e) {
  FDragMode = dmNone;
  ShowHover(IsLevel(e->position().toPoint().x() - LevelX));
}

void THistoBox::focusInEvent(QFocusEvent* e) {
  QWidget::focusInEvent(e);
  update();
}

void THistoBox::focusOutEvent(QFocusEvent* e) {
  QWidget::focusOutEvent(e);
  update();
}
