#include "DsSpinEdit.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <climits>

namespace {

QPixmap ArrowGlyph(bool Up) {
  QPixmap Glyph(7, 4);
  Glyph.fill(Qt::transparent);
  QPainter p(&Glyph);
  p.setPen(DsColors::Navy);
  for (int Row = 0; Row < 4; ++Row) {
    const int y = Up ? Row : 3 - Row;
    p.drawLine(3 - Row, y, 3 + Row, y);
  }
  return Glyph;
}

} // namespace

TTimerSpeedButton::TTimerSpeedButton(QWidget* parent)
    : TPeButton(parent), FRepeatTimer(std::make_unique<TSimpleTimer>(this, [this](QObject*) { TimerExpired(); })) {
  setFocusPolicy(Qt::NoFocus);
  setCursor(Qt::ArrowCursor);
  resize(15, 11);
}

TTimerSpeedButton::~TTimerSpeedButton() = default;

void TTimerSpeedButton::TimerExpired() {
  if (!FHeld) {
    StopRepeat();
    return;
  }
  if (FRepeatTimer->Interval() != RepeatPause)
    FRepeatTimer->Start(RepeatPause);
  if (isDown() && isEnabled())
    emit clicked();
}

void TTimerSpeedButton::StopRepeat() {
  FHeld = false;
  FRepeatTimer->Stop();
  setDown(false);
}

void TTimerSpeedButton::mousePressEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton || !isEnabled()) {
    e->ignore();
    return;
  }
  FHeld = true;
  setDown(true);
  emit pressed();
  FRepeatTimer->Start(InitRepeatPause);
  emit clicked();
}

void TTimerSpeedButton::mouseMoveEvent(QMouseEvent* e) {
  if (FHeld)
    setDown(rect().contains(e->position().toPoint()));
}

void TTimerSpeedButton::mouseReleaseEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton || !FHeld)
    return;
  StopRepeat();
  emit released();
}

void TTimerSpeedButton::hideEvent(QHideEvent* e) {
  StopRepeat();
  TPeButton::hideEvent(e);
}

void TTimerSpeedButton::changeEvent(QEvent* e) {
  if (e->type() == QEvent::EnabledChange && !isEnabled())
    StopRepeat();
  TPeButton::changeEvent(e);
}

TPeSpinButton::TPeSpinButton(QWidget* parent)
    : QWidget(parent), FUpButton(new TTimerSpeedButton(this)), FDownButton(new TTimerSpeedButton(this)) {
  FUpButton->SetGlyph(ArrowGlyph(true));
  FDownButton->SetGlyph(ArrowGlyph(false));
  connect(FUpButton, &QAbstractButton::pressed, this, &TPeSpinButton::TakeFocus);
  connect(FDownButton, &QAbstractButton::pressed, this, &TPeSpinButton::TakeFocus);
  connect(FUpButton, &QAbstractButton::clicked, this, [this] { emit OnUpClick(this); });
  connect(FDownButton, &QAbstractButton::clicked, this, [this] { emit OnDownClick(this); });
  resize(sizeHint());
}

void TPeSpinButton::TakeFocus() {
  if (FFocusControl && FFocusControl->isEnabled())
    FFocusControl->setFocus(Qt::MouseFocusReason);
}

void TPeSpinButton::resizeEvent(QResizeEvent* e) {
  QWidget::resizeEvent(e);
  const int Half = height() / 2;
  FUpButton->setGeometry(0, 0, width(), Half);
  FDownButton->setGeometry(0, Half, width(), height() - Half);
}

TPeSpinEdit::TPeSpinEdit(QWidget* parent) : QLineEdit(parent), FButton(new TPeSpinButton(this)) {
  FButton->SetFocusControl(this);
  FButton->setCursor(Qt::ArrowCursor);
  connect(FButton, &TPeSpinButton::OnUpClick, this, &TPeSpinEdit::UpClick);
  connect(FButton, &TPeSpinButton::OnDownClick, this, &TPeSpinEdit::DownClick);
  connect(this, &QLineEdit::textChanged, this, [this] { emit OnChange(this); });
  setText(QStringLiteral("0"));
  resize(sizeHint());
}

QSize TPeSpinEdit::sizeHint() const {
  return {fontMetrics().horizontalAdvance(QStringLiteral("0000000")) + 24, std::max(21, fontMetrics().height() + 6)};
}

int TPeSpinEdit::CheckValue(long long NewValue) const {
  if (FMinValue != FMaxValue)
    NewValue = std::clamp<long long>(NewValue, std::min(FMinValue, FMaxValue), std::max(FMinValue, FMaxValue));
  return static_cast<int>(std::clamp<long long>(NewValue, INT_MIN, INT_MAX));
}

int TPeSpinEdit::Value() const {
  bool Ok = false;
  const int Read = text().trimmed().toInt(&Ok);
  return CheckValue(Ok ? Read : FMinValue);
}

void TPeSpinEdit::SetValue(int NewValue) { setText(QString::number(CheckValue(NewValue))); }

void TPeSpinEdit::SetMinValue(int NewValue) { FMinValue = NewValue; }

void TPeSpinEdit::SetMaxValue(int NewValue) { FMaxValue = NewValue; }

void TPeSpinEdit::SetEditorEnabled(bool NewValue) {
  FEditorEnabled = NewValue;
  setContextMenuPolicy(NewValue ? Qt::DefaultContextMenu : Qt::NoContextMenu);
}

void TPeSpinEdit::UpClick() {
  if (isReadOnly())
    Beep();
  else
    SetValue(CheckValue(static_cast<long long>(Value()) + FIncrement));
}

void TPeSpinEdit::DownClick() {
  if (isReadOnly())
    Beep();
  else
    SetValue(CheckValue(static_cast<long long>(Value()) - FIncrement));
}

bool TPeSpinEdit::IsValidText(const QString& Text) const {
  for (const QChar c : Text) {
    if (c.unicode() < 32)
      continue;
    if (!FEditorEnabled)
      return false;
    if (!(c >= QLatin1Char('0') && c <= QLatin1Char('9')) && c != QLatin1Char('+') && c != QLatin1Char('-'))
      return false;
  }
  return true;
}

void TPeSpinEdit::keyPressEvent(QKeyEvent* e) {
  int Key = e->key();
  emit OnKeyDown(this, Key);
  if (Key == 0) {
    e->accept();
    return;
  }
  switch (Key) {
  case Qt::Key_Up: UpClick(); return;
  case Qt::Key_Down: DownClick(); return;
  case Qt::Key_PageUp:
  case Qt::Key_PageDown:
    if (isReadOnly())
      Beep();
    else
      SetValue(Key == Qt::Key_PageUp ? FMaxValue : FMinValue);
    return;
  default: break;
  }
  const bool Edits = e->matches(QKeySequence::Paste) || e->matches(QKeySequence::Cut) || Key == Qt::Key_Backspace ||
                     Key == Qt::Key_Delete;
  if (!isReadOnly() && ((!FEditorEnabled && Edits) || !IsValidText(e->text()))) {
    Beep();
    e->accept();
    return;
  }
  QLineEdit::keyPressEvent(e);
}

void TPeSpinEdit::focusInEvent(QFocusEvent* e) {
  QLineEdit::focusInEvent(e);
  if (!FAutoSelect)
    deselect();
}

void TPeSpinEdit::focusOutEvent(QFocusEvent* e) {
  const QString Shown = QString::number(Value());
  if (text() != Shown)
    setText(Shown);
  QLineEdit::focusOutEvent(e);
}

void TPeSpinEdit::mouseDoubleClickEvent(QMouseEvent* e) {
  QLineEdit::mouseDoubleClickEvent(e);
  emit OnDblClick(this);
}

void TPeSpinEdit::resizeEvent(QResizeEvent* e) {
  QLineEdit::resizeEvent(e);
  const int w = 15;
  FButton->setGeometry(width() - w - 1, 1, w, height() - 2);
  setTextMargins(0, 0, w, 0);
}

void TPeSpinEdit::paintEvent(QPaintEvent* e) {
  QLineEdit::paintEvent(e);
  QPainter p(this);
  p.setPen(isEnabled() ? DsColors::Navy : DsColors::DisabledText);
  p.setBrush(Qt::NoBrush);
  p.drawRect(rect().adjusted(0, 0, -1, -1));
}

TPeSpinEdit* NewSpinEdit(QWidget* Parent, const char* Name, int Min, int Max, const QRect& Place) {
  auto* Spin = new TPeSpinEdit(Parent);
  Spin->setObjectName(QLatin1String(Name));
  Spin->SetMinValue(Min);
  Spin->SetMaxValue(Max);
  Spin->setGeometry(Place);
  return Spin;
}
