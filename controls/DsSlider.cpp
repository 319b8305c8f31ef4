#include "DsSlider.h"

#include "DsVCL.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

// Round to nearest, ties to even, in the default floating-point mode.
int RoundEven(double v) { return static_cast<int>(std::nearbyint(v)); }

} // namespace

TSlider::TSlider(QWidget* parent) : QWidget(parent) {
  resize(26, 128);
  setFocusPolicy(Qt::StrongFocus);
  setMouseTracking(true);
  BuildRowColors();
}

TSlider::~TSlider() {
  if (FDragging)
    QApplication::restoreOverrideCursor();
}

void TSlider::SetPosition(int Value) { ChangePosition(Value, true); }

void TSlider::ChangePosition(int Value, bool Notify) {
  Value = std::clamp(Value, FMin, FMax);
  if (Value == FPosition)
    return;
  FPosition = Value;
  update();
  if (Notify)
    emit OnSwitch(this);
}

void TSlider::SetMin(int Value) {
  FMin = std::min(Value, FMax);
  ChangePosition(FPosition, true);
  update();
}

void TSlider::SetMax(int Value) {
  FMax = std::max(Value, FMin);
  ChangePosition(FPosition, true);
  update();
}

void TSlider::SetMinColor(const QColor& Value) {
  FMinColor = Value;
  BuildRowColors();
  update();
}

void TSlider::SetMaxColor(const QColor& Value) {
  FMaxColor = Value;
  BuildRowColors();
  update();
}

void TSlider::SetColor(const QColor& Value) {
  FColor = Value;
  update();
}

void TSlider::SetSlideSize(int Value) {
  FSlideSize = std::max(0, Value);
  update();
}

void TSlider::SetStyle(TSlideStyle Value) {
  FStyle = Value;
  update();
}

void TSlider::SetExtension(const QString& Value) {
  FExtension = Value;
  update();
}

void TSlider::SetTextAlign(TTextAlign Value) {
  FTextAlign = Value;
  update();
}

void TSlider::SetTextSign(bool Value) {
  FTextSign = Value;
  update();
}

void TSlider::SetDigit(int Value) {
  FDigit = std::max(0, Value);
  update();
}

void TSlider::SetTicks(bool Value) {
  FTicks = Value;
  update();
}

void TSlider::SetTickStep(int Value) {
  FTickStep = Value;
  update();
}

double TSlider::Scale() const {
  if (FMax == FMin)
    return 1.0;
  return double(TrackHeight() - 2 * FSlideSize - 1) / double(FMax - FMin);
}

int TSlider::ThumbPos() const { return (TrackHeight() - FSlideSize - 1) - RoundEven((FPosition - FMin) * Scale()); }

int TSlider::PositionAt(int y) const {
  const double s = Scale();
  if (s <= 0.0)
    return FPosition;
  return std::clamp(RoundEven((TrackHeight() - FSlideSize - 1 - y) / s) + FMin, FMin, FMax);
}

QString TSlider::ValueText() const {
  QString Text = FDigit == 0 ? QString::number(FPosition) : QString::number(FPosition / 100.0, 'f', FDigit);
  Text += FExtension;
  if (FTextSign && FPosition >= 1)
    Text.prepend(QLatin1Char('+'));
  return Text;
}

void TSlider::BuildRowColors() {
  const int h = TrackHeight();
  FRowColors.resize(h);
  for (int i = 0; i < h; ++i) {
    if (h == 1) {
      FRowColors[i] = Mix(FMinColor, FMaxColor);
      continue;
    }
    FRowColors[i] = QColor(FMinColor.red() + i * (FMaxColor.red() - FMinColor.red()) / (h - 1),
                           FMinColor.green() + i * (FMaxColor.green() - FMinColor.green()) / (h - 1),
                           FMinColor.blue() + i * (FMaxColor.blue() - FMinColor.blue()) / (h - 1));
  }
}

void TSlider::resizeEvent(QResizeEvent* e) {
  QWidget::resizeEvent(e);
  BuildRowColors();
}

void TSlider::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QRect Track = TrackRect();
  const int w = width();
  const int h = Track.height();

  switch (FStyle) {
  case TSlideStyle::Gradient:
    if (!DrawColorGradients) {
      p.fillRect(Track, Mix(FMinColor, FMaxColor));
      break;
    }
    for (int i = 0; i < h && i < FRowColors.size(); ++i)
      p.fillRect(0, h - 1 - i, w, 1, FRowColors[i]);
    break;
  case TSlideStyle::Increament: {
    p.fillRect(Track, FColor.isValid() ? FColor : BtnFaceColor());
    const QPoint Wedge[] = {QPoint(w, h), QPoint(w, 0), QPoint(0, 0)};
    p.setPen(Qt::NoPen);
    p.setBrush(FMaxColor);
    p.drawPolygon(Wedge, 3);
    break;
  }
  case TSlideStyle::UserDraw:
    p.save();
    p.setClipRect(Track);
    emit OnPaint(this, &p, Track);
    p.restore();
    break;
  }

  if (FTicks && FTickStep > 0) {
    p.setPen(Qt::black);
    const double s = Scale();
    int First = FMin - (FMin % FTickStep);
    if (First < FMin)
      First += FTickStep;
    for (int v = First; v <= FMax; v += FTickStep) {
      const int y = (h - FSlideSize - 1) - RoundEven((v - FMin) * s);
      p.drawLine(0, y, 2, y);
      p.drawLine(w - 3, y, w - 1, y);
    }
  }

  const int Center = ThumbPos();
  const QRect Thumb(0, Center - FSlideSize, w, 2 * FSlideSize + 1);
  p.fillRect(Thumb, BtnFaceColor());
  p.setPen(BtnHighlightColor());
  p.drawLine(Thumb.topLeft(), Thumb.topRight() - QPoint(1, 0));
  p.drawLine(Thumb.topLeft(), Thumb.bottomLeft() - QPoint(0, 1));
  p.setPen(Qt::black);
  p.drawLine(Thumb.bottomLeft(), Thumb.bottomRight());
  p.drawLine(Thumb.topRight(), Thumb.bottomRight());
  p.setPen(BtnShadowColor());
  p.drawLine(Thumb.bottomLeft() + QPoint(1, -1), Thumb.bottomRight() - QPoint(1, 1));
  p.drawLine(Thumb.topRight() + QPoint(-1, 1), Thumb.bottomRight() - QPoint(1, 1));
  p.setPen(DsColors::Navy);
  p.drawLine(2, Center, w - 3, Center);

  const QRect TextRect(0, h, w, TextHeight);
  const bool Focused = hasFocus();
  p.fillRect(TextRect, Focused ? DsColors::Navy : BtnFaceColor());
  QFont f = font();
  f.setPixelSize(10);
  p.setFont(f);
  p.setPen(!isEnabled() ? DsColors::DisabledText : Focused ? QColor(Qt::white) : QColor(Qt::black));
  const int Align = FTextAlign == TTextAlign::AlignLeft    ? Qt::AlignLeft
                    : FTextAlign == TTextAlign::AlignRight ? Qt::AlignRight
                                                           : Qt::AlignHCenter;
  p.drawText(TextRect.adjusted(1, 0, -1, 0), Align | Qt::AlignVCenter | Qt::TextSingleLine, ValueText());
}

void TSlider::keyPressEvent(QKeyEvent* e) {
  switch (e->key()) {
  case Qt::Key_Up: SetPosition(FPosition + 1); break;
  case Qt::Key_Down: SetPosition(FPosition - 1); break;
  case Qt::Key_PageUp: SetPosition(FPosition + 10); break;
  case Qt::Key_PageDown: SetPosition(FPosition - 10); break;
  case Qt::Key_Home: SetPosition(FMax); break;
  case Qt::Key_End: SetPosition(FMin); break;
  case Qt::Key_Backspace: SetPosition(FPosDefault); break;
  case Qt::Key_Left: emit OnSwitchFocus(this, false); break;
  case Qt::Key_Right: emit OnSwitchFocus(this, true); break;
  default: QWidget::keyPressEvent(e); return;
  }
  e->accept();
}

void TSlider::mousePressEvent(QMouseEvent* e) {
  if (e->button() == Qt::RightButton) {
    SetPosition(FPosDefault);
    return;
  }
  if (e->button() != Qt::LeftButton || FDragging)
    return;
  const QPoint At = e->position().toPoint();
  if (!TrackRect().adjusted(-2, -2, 2, 2).contains(At))
    return;
  setFocus(Qt::MouseFocusReason);
  QApplication::setOverrideCursor(Qt::SizeVerCursor);
  FDragging = true;
  FDragStartPos = FPosition;
  ChangePosition(PositionAt(At.y()), FSwitchOnMove);
}

void TSlider::mouseMoveEvent(QMouseEvent* e) {
  const QPoint At = e->position().toPoint();
  if (FDragging) {
    ChangePosition(PositionAt(At.y()), FSwitchOnMove);
    return;
  }
  setCursor(TrackRect().contains(At) ? Qt::PointingHandCursor : Qt::ArrowCursor);
}

void TSlider::mouseReleaseEvent(QMouseEvent* e) {
  if (e->button() == Qt::LeftButton)
    EndDrag();
}

void TSlider::EndDrag() {
  if (!FDragging)
    return;
  FDragging = false;
  QApplication::restoreOverrideCursor();
  if (!FSwitchOnMove && FPosition != FDragStartPos)
    emit OnSwitch(this);
}

void TSlider::focusInEvent(QFocusEvent* e) {
  QWidget::focusInEvent(e);
  update();
}

void TSlider::focusOutEvent(QFocusEvent* e) {
  QWidget::focusOutEvent(e);
  EndDrag();
  update();
}
