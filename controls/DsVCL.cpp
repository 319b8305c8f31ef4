#include "DsVCL.h"

#include <QApplication>
#include <QColorDialog>
#include <QDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QVariant>

#include <algorithm>

bool DrawColorGradients = true;

namespace {

std::function<void()>& BeepHandler() {
  static std::function<void()> Handler;
  return Handler;
}

int Clamp255(int v) { return std::clamp(v, 0, 255); }

QColor Interpolate(const QColor& c1, const QColor& c2, int i, int n) {
  // C++ division truncates toward zero, as the stepping wants.
  return QColor(c1.red() + i * (c2.red() - c1.red()) / (n - 1), c1.green() + i * (c2.green() - c1.green()) / (n - 1),
                c1.blue() + i * (c2.blue() - c1.blue()) / (n - 1));
}

QFont BoldPixelFont(const QFont& Base, int Pixels) {
  QFont f = Base;
  f.setPixelSize(Pixels);
  f.setBold(true);
  return f;
}

void DrawFocusFrame(QPainter& Canvas, const QRect& r) {
  Canvas.save();
  Canvas.setBrush(Qt::NoBrush);
  Canvas.setPen(QPen(Qt::black, 1, Qt::DotLine));
  Canvas.drawRect(r.adjusted(0, 0, -1, -1));
  Canvas.restore();
}

const int TextFlags = Qt::TextShowMnemonic | Qt::TextSingleLine;

} // namespace

QColor BtnFaceColor() { return QApplication::palette().color(QPalette::Active, QPalette::Button); }

QColor BtnShadowColor() { return QApplication::palette().color(QPalette::Active, QPalette::Dark); }

QColor BtnHighlightColor() { return QApplication::palette().color(QPalette::Active, QPalette::Light); }

void GradientRect(QPainter& Canvas, const QRect& r, const QColor& c1, const QColor& c2) {
  if (r.isEmpty())
    return;
  const int w = r.width();
  if (c1.rgb() == c2.rgb()) {
    Canvas.fillRect(r, c1);
    return;
  }
  if (!DrawColorGradients || w == 1) {
    Canvas.fillRect(r, Mix(c1, c2));
    return;
  }
  for (int i = 0; i < w; ++i)
    Canvas.fillRect(r.left() + i, r.top(), 1, r.height(), Interpolate(c1, c2, i, w));
}

void GradientRectV(QPainter& Canvas, const QRect& r, const QColor& c1, const QColor& c2) {
  if (r.isEmpty())
    return;
  const int h = r.height();
  if (c1.rgb() == c2.rgb()) {
    Canvas.fillRect(r, c1);
    return;
  }
  if (!DrawColorGradients || h == 1) {
    Canvas.fillRect(r, Mix(c1, c2));
    return;
  }
  for (int i = 0; i < h; ++i)
    Canvas.fillRect(r.left(), r.bottom() - i, r.width(), 1, Interpolate(c1, c2, i, h));
}

QColor Lighter(const QColor& c) {
  return QColor(Clamp255(c.red() + 72), Clamp255(c.green() + 72), Clamp255(c.blue() + 72));
}

QColor Darker(const QColor& c) {
  return QColor(Clamp255(c.red() - 72), Clamp255(c.green() - 72), Clamp255(c.blue() - 72));
}

QColor Mix(const QColor& c1, const QColor& c2) {
  return QColor((c1.red() + c2.red()) / 2, (c1.green() + c2.green()) / 2, (c1.blue() + c2.blue()) / 2);
}

void Beep() {
  if (BeepHandler())
    BeepHandler()();
  else
    QApplication::beep();
}

void SetBeepHandler(std::function<void()> Handler) { BeepHandler() = std::move(Handler); }

int Tag(const QObject* o) { return o ? o->property("Tag").toInt() : 0; }

void SetTag(QObject* o, int Value) {
  if (o)
    o->setProperty("Tag", Value);
}

TDsCustomGroup::TDsCustomGroup(QWidget* parent) : QWidget(parent) { resize(120, 80); }

void TDsCustomGroup::SetCaption(const QString& Value) {
  FCaption = Value;
  UpdateMargins();
  update();
}

void TDsCustomGroup::SetGradient(bool Value) {
  FGradient = Value;
  update();
}

QFont TDsCustomGroup::CaptionFont() const { return BoldPixelFont(font(), 11); }

void TDsCustomGroup::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), BtnFaceColor());
  PaintFrame(p);
  emit OnPaint(this, &p);
}

TPeGroupBox::TPeGroupBox(QWidget* parent) : TDsCustomGroup(parent) { UpdateMargins(); }

TPeGroupBox::TPeGroupBox(const QString& Caption, QWidget* parent) : TDsCustomGroup(parent) { SetCaption(Caption); }

void TPeGroupBox::UpdateMargins() { setContentsMargins(6, Caption().isEmpty() ? 6 : 19, 6, 6); }

void TPeGroupBox::PaintFrame(QPainter& Canvas) {
  Canvas.setPen(DsColors::Navy);
  Canvas.setBrush(Qt::NoBrush);
  Canvas.drawRect(rect().adjusted(0, 0, -1, -1));
  if (Caption().isEmpty())
    return;
  const QRect Bar(1, 1, width() - 2, 13);
  if (Gradient())
    GradientRect(Canvas, Bar, DsColors::Navy, BtnFaceColor());
  else
    Canvas.fillRect(Bar, DsColors::Navy);
  Canvas.setFont(CaptionFont());
  Canvas.setPen(DsColors::Light);
  Canvas.drawText(QRect(4, 0, width() - 5, 15), Qt::AlignLeft | Qt::AlignVCenter | TextFlags, Caption());
}

TPeGroupSpace::TPeGroupSpace(QWidget* parent) : TDsCustomGroup(parent) { UpdateMargins(); }

TPeGroupSpace::TPeGroupSpace(const QString& Caption, QWidget* parent) : TDsCustomGroup(parent) { SetCaption(Caption); }

void TPeGroupSpace::UpdateMargins() { setContentsMargins(4, Caption().isEmpty() ? 4 : 19, 4, 4); }

void TPeGroupSpace::PaintFrame(QPainter& Canvas) {
  const QRect Bar(0, 0, width(), Caption().isEmpty() ? 1 : 15);
  if (Gradient())
    GradientRect(Canvas, Bar, DsColors::Navy, BtnFaceColor());
  else
    Canvas.fillRect(Bar, DsColors::Navy);
  if (Caption().isEmpty())
    return;
  Canvas.setFont(CaptionFont());
  Canvas.setPen(DsColors::Light);
  Canvas.drawText(QRect(3, 0, width() - 4, 15), Qt::AlignLeft | Qt::AlignVCenter | TextFlags, Caption());
}

TPeTextBox::TPeTextBox(QWidget* parent) : QWidget(parent) { resize(sizeHint()); }

void TPeTextBox::SetCaption(const QString& Value) {
  FCaption = Value;
  update();
}

void TPeTextBox::SetColor(const QColor& Value) {
  FColor = Value;
  update();
}

QSize TPeTextBox::sizeHint() const {
  return {qMax(60, fontMetrics().horizontalAdvance(FCaption) + 10), fontMetrics().height() + 6};
}

void TPeTextBox::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), Qt::black);
  p.fillRect(rect().adjusted(1, 1, -1, -1), FColor);
  p.setPen(isEnabled() ? palette().color(QPalette::WindowText) : BtnShadowColor());
  p.drawText(rect().adjusted(4, 1, -2, -1), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, FCaption);
}

TPeButton::TPeButton(QWidget* parent) : QAbstractButton(parent), FColor(BtnFaceColor()) {
  resize(73, 25);
  setCursor(Qt::PointingHandCursor);
  setFocusPolicy(Qt::StrongFocus);
  connect(this, &QAbstractButton::clicked, this, &TPeButton::CloseDialog);
}

TPeButton::TPeButton(const QString& Caption, QWidget* parent) : TPeButton(parent) { setText(Caption); }

void TPeButton::SetGlyph(const QPixmap& Value) {
  FGlyph = Value;
  update();
}

void TPeButton::SetColor(const QColor& Value) {
  FColor = Value;
  update();
}

void TPeButton::SetColorHot(const QColor& Value) {
  FColorHot = Value;
  update();
}

void TPeButton::SetColorHotCaption(const QColor& Value) {
  FColorHotCaption = Value;
  update();
}

void TPeButton::SetGradient(bool Value) {
  FGradient = Value;
  update();
}

void TPeButton::SetKind(TPeBtnKind Value) {
  FKind = Value;
  switch (Value) {
  case bkCustom: return;
  case bkOK:
    setText(QStringLiteral("OK"));
    FColorHot = QColor(0x20, 0xA0, 0x40);
    FModalResult = mrOk;
    break;
  case bkApply:
    setText(QStringLiteral("Apply"));
    FColorHot = QColor(0x20, 0xA0, 0x40);
    FModalResult = mrOk;
    break;
  case bkCancel:
    setText(QStringLiteral("Cancel"));
    FColorHot = QColor(0xF0, 0x40, 0x20);
    FModalResult = mrCancel;
    break;
  case bkReset:
    setText(QStringLiteral("Reset"));
    FColorHot = QColor(0xF0, 0xC0, 0x10);
    FModalResult = mrNone;
    break;
  }
  FColor = BtnFaceColor();
  update();
}

void TPeButton::CloseDialog() {
  if (FModalResult == mrNone)
    return;
  if (auto* Dialog = qobject_cast<QDialog*>(window()))
    Dialog->done(FModalResult == mrOk ? QDialog::Accepted : QDialog::Rejected);
}

void TPeButton::keyPressEvent(QKeyEvent* e) {
  if ((e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) && e->modifiers() == Qt::NoModifier) {
    click();
    return;
  }
  QAbstractButton::keyPressEvent(e);
}

void TPeButton::enterEvent(QEnterEvent* e) {
  QAbstractButton::enterEvent(e);
  update();
}

void TPeButton::leaveEvent(QEvent* e) {
  QAbstractButton::leaveEvent(e);
  update();
}

void TPeButton::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QRect Face = rect().adjusted(1, 1, -1, -1);
  const bool Pressed = ShowsPressed();
  const bool Hot = !Pressed && underMouse() && isEnabled();

  p.setPen(DsColors::Navy);
  p.setBrush(Qt::NoBrush);
  p.drawRect(rect().adjusted(0, 0, -1, -1));

  QColor CaptionColor = palette().color(QPalette::ButtonText);
  if (Pressed) {
    const QColor c = Lighter(FColorHot);
    p.fillRect(Face, c);
    p.setPen(Darker(c));
    p.drawLine(Face.topLeft(), Face.topRight());
    p.drawLine(Face.topLeft(), Face.bottomLeft());
    p.setPen(Lighter(c));
    p.drawLine(Face.bottomLeft(), Face.bottomRight());
    p.drawLine(Face.topRight(), Face.bottomRight());
  } else if (Hot) {
    GradientRect(p, Face, DsColors::HotLight, FColorHot);
    p.setPen(Lighter(FColorHot));
    p.drawRect(Face.adjusted(0, 0, -1, -1));
    CaptionColor = FColorHotCaption;
  } else {
    if (FGradient)
      GradientRect(p, Face, DsColors::Light, FColor);
    else
      p.fillRect(Face, FColor);
    p.setPen(Lighter(FColor));
    p.drawRect(Face.adjusted(0, 0, -1, -1));
  }
  if (!isEnabled())
    CaptionColor = DsColors::DisabledText;

  QRect Content = rect().adjusted(3, 3, -3, -3);
  if (Pressed)
    Content.translate(1, 1);
  const QString Text = text();
  const int TextWidth = Text.isEmpty() ? 0 : p.fontMetrics().boundingRect(QRect(), TextFlags, Text).width();
  const QSize GlyphSize = FGlyph.isNull() ? QSize() : FGlyph.deviceIndependentSize().toSize();
  const int Gap = (TextWidth > 0 && !FGlyph.isNull()) ? 4 : 0;
  int x = Content.left() + (Content.width() - GlyphSize.width() - Gap - TextWidth) / 2;
  if (!FGlyph.isNull()) {
    p.save();
    if (!isEnabled())
      p.setOpacity(0.4);
    p.drawPixmap(x, Content.top() + (Content.height() - GlyphSize.height()) / 2, FGlyph);
    p.restore();
    x += GlyphSize.width() + Gap;
  }
  if (TextWidth > 0) {
    p.setPen(CaptionColor);
    p.drawText(QRect(x, Content.top(), TextWidth + 1, Content.height()), Qt::AlignLeft | Qt::AlignVCenter | TextFlags,
               Text);
  }
  if (hasFocus())
    DrawFocusFrame(p, rect().adjusted(3, 3, -3, -3));
}

TPeSwitch::TPeSwitch(QWidget* parent) : TPeButton(parent) { setCheckable(true); }

TPeSwitch::TPeSwitch(const QString& Caption, QWidget* parent) : TPeSwitch(parent) { setText(Caption); }

TPeCustomControl::TPeCustomControl(QWidget* parent) : QAbstractButton(parent) { setFocusPolicy(Qt::StrongFocus); }

void TPeCustomControl::SetColor(const QColor& Value) {
  FColor = Value;
  update();
}

QSize TPeCustomControl::sizeHint() const {
  const int TextWidth = fontMetrics().boundingRect(QRect(), TextFlags, text()).width();
  return {MarkWidth() + 5 + TextWidth + 4, qMax(17, fontMetrics().height() + 4)};
}

void TPeCustomControl::enterEvent(QEnterEvent* e) {
  QAbstractButton::enterEvent(e);
  update();
}

void TPeCustomControl::leaveEvent(QEvent* e) {
  QAbstractButton::leaveEvent(e);
  update();
}

QColor TPeCustomControl::TextColor() const {
  return isEnabled() ? palette().color(QPalette::WindowText) : DsColors::DisabledText;
}

void TPeCustomControl::paintEvent(QPaintEvent*) {
  QPainter p(this);
  if (const QColor Back = BackgroundColor(); Back.isValid())
    p.fillRect(rect(), Back);
  const int Side = 13;
  const QRect Box(0, (height() - Side) / 2, MarkWidth(), Side);
  PaintMark(p, Box);

  const QString Text = text();
  if (Text.isEmpty())
    return;
  const int x = MarkWidth() + 5;
  QRect TextRect = p.fontMetrics().boundingRect(QRect(), TextFlags, Text);
  TextRect.moveTo(x, (height() - TextRect.height()) / 2);
  p.setPen(TextColor());
  p.drawText(TextRect.adjusted(0, 0, 1, 0), Qt::AlignLeft | Qt::AlignVCenter | TextFlags, Text);
  if (hasFocus())
    DrawFocusFrame(p, TextRect.adjusted(-2, 0, 3, 1).intersected(rect()));
}

namespace {

void PaintBoxFace(QPainter& Canvas, const QRect& Inner, bool Hot, bool Enabled) {
  if (!Enabled)
    Canvas.fillRect(Inner, BtnFaceColor());
  else if (Hot)
    GradientRect(Canvas, Inner, DsColors::HotLight, Lighter(DsColors::HotDefault));
  else
    GradientRect(Canvas, Inner, Qt::white, DsColors::Light);
}

} // namespace

TPeCheckBox::TPeCheckBox(QWidget* parent) : TPeCustomControl(parent) { setCheckable(true); }

TPeCheckBox::TPeCheckBox(const QString& Caption, QWidget* parent) : TPeCheckBox(parent) { setText(Caption); }

void TPeCheckBox::PaintMark(QPainter& Canvas, const QRect& Box) {
  const QColor Ink = isEnabled() ? DsColors::Navy : DsColors::DisabledText;
  PaintBoxFace(Canvas, Box.adjusted(1, 1, -1, -1), Hot(), isEnabled());
  Canvas.setPen(Ink);
  Canvas.setBrush(Qt::NoBrush);
  Canvas.drawRect(Box.adjusted(0, 0, -1, -1));
  if (!isChecked())
    return;
  Canvas.save();
  Canvas.setRenderHint(QPainter::Antialiasing, false);
  Canvas.setPen(QPen(Ink, 2, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
  const QPoint o = Box.topLeft();
  const QPoint Tick[] = {o + QPoint(3, 6), o + QPoint(5, 9), o + QPoint(10, 3)};
  Canvas.drawPolyline(Tick, 3);
  Canvas.restore();
}

TPeRadioBox::TPeRadioBox(QWidget* parent) : TPeCustomControl(parent) {
  setCheckable(true);
  setAutoExclusive(false);
  connect(this, &QAbstractButton::toggled, this, &TPeRadioBox::CheckedChanged);
}

TPeRadioBox::TPeRadioBox(const QString& Caption, QWidget* parent) : TPeRadioBox(parent) { setText(Caption); }

void TPeRadioBox::nextCheckState() { setChecked(true); }

void TPeRadioBox::CheckedChanged(bool Value) {
  if (!Value)
    return;
  QWidget* Parent = parentWidget();
  if (!Parent)
    return;
  for (TPeRadioBox* Other : Parent->findChildren<TPeRadioBox*>(Qt::FindDirectChildrenOnly))
    if (Other != this)
      Other->setChecked(false);
  if (auto* Group = qobject_cast<TDsCustomGroup*>(Parent))
    Group->CheckedTag = Tag(this);
}

void TPeRadioBox::PaintMark(QPainter& Canvas, const QRect& Box) {
  const QColor Ink = isEnabled() ? DsColors::Navy : DsColors::DisabledText;
  Canvas.save();
  Canvas.setRenderHint(QPainter::Antialiasing, true);
  QPainterPath Circle;
  Circle.addEllipse(QRectF(Box).adjusted(0.5, 0.5, -0.5, -0.5));
  Canvas.setClipPath(Circle);
  PaintBoxFace(Canvas, Box, Hot(), isEnabled());
  Canvas.setClipping(false);
  Canvas.setPen(Ink);
  Canvas.setBrush(Qt::NoBrush);
  Canvas.drawPath(Circle);
  if (isChecked()) {
    Canvas.setPen(Qt::NoPen);
    Canvas.setBrush(Ink);
    Canvas.drawEllipse(QRectF(Box).center(), 2.5, 2.5);
  }
  Canvas.restore();
}

TPeColorButton::TPeColorButton(QWidget* parent) : TPeCustomControl(parent) {
  FColor = Qt::white;
  setCursor(Qt::PointingHandCursor);
  connect(this, &QAbstractButton::clicked, this, &TPeColorButton::RunDialog);
}

TPeColorButton::TPeColorButton(const QString& Caption, QWidget* parent) : TPeColorButton(parent) { setText(Caption); }

void TPeColorButton::RunDialog() {
  if (!FDialog)
    return;
  FDialog->setCurrentColor(FColor);
  if (FDialog->exec() != QDialog::Accepted)
    return;
  const QColor Picked = FDialog->selectedColor();
  if (Picked.isValid() && Picked != FColor) {
    SetColor(Picked);
    emit ColorChanged(Picked);
  }
}

void TPeColorButton::PaintMark(QPainter& Canvas, const QRect& Box) {
  const QRect Frame = Box.adjusted(0, -1, 0, 1);
  Canvas.setPen(Hot() ? DsColors::HotDefault : (isEnabled() ? DsColors::Navy : DsColors::DisabledText));
  Canvas.setBrush(Qt::NoBrush);
  Canvas.drawRect(Frame.adjusted(0, 0, -1, -1));
  Canvas.setPen(Hot() ? Lighter(DsColors::HotDefault) : BtnHighlightColor());
  Canvas.drawRect(Frame.adjusted(1, 1, -2, -2));
  Canvas.fillRect(Frame.adjusted(2, 2, -2, -2), isEnabled() ? FColor : Mix(FColor, BtnFaceColor()));
}

TPeCombo::TPeCombo(QWidget* parent) : QComboBox(parent) {
  setEditable(true);
  ApplyEditColors();
  connect(this, &QComboBox::activated, this, [this] {
    emit OnClick(this);
    emit OnChange(this);
  });
}

void TPeCombo::EditChanged() { emit OnChange(this); }

QStringList TPeCombo::Items() const {
  QStringList List;
  for (int i = 0; i < count(); ++i)
    List << itemText(i);
  return List;
}

void TPeCombo::SetItems(const QStringList& Value) {
  const QSignalBlocker Block(this);
  clear();
  addItems(Value);
  setCurrentIndex(-1);
}

void TPeCombo::SetReadOnly(bool Value) {
  setEditable(!Value);
  ApplyEditColors();
  update();
}

void TPeCombo::SetColor(const QColor& Value) {
  FColor = Value;
  ApplyEditColors();
  update();
}

void TPeCombo::ApplyEditColors() {
  if (QLineEdit* Edit = lineEdit()) {
    connect(Edit, &QLineEdit::textEdited, this, &TPeCombo::EditChanged, Qt::UniqueConnection);
    Edit->setFrame(false);
    QPalette Pal = Edit->palette();
    Pal.setColor(QPalette::Base, FColor);
    Pal.setColor(QPalette::Highlight, DsColors::Navy);
    Pal.setColor(QPalette::HighlightedText, Qt::white);
    Edit->setPalette(Pal);
  }
  QPalette ViewPal = palette();
  ViewPal.setColor(QPalette::Highlight, DsColors::HotDefault);
  ViewPal.setColor(QPalette::HighlightedText, DsColors::HotCaption);
  setPalette(ViewPal);
}

void TPeCombo::enterEvent(QEnterEvent* e) {
  QComboBox::enterEvent(e);
  update();
}

void TPeCombo::leaveEvent(QEvent* e) {
  QComboBox::leaveEvent(e);
  update();
}

void TPeCombo::paintEvent(QPaintEvent*) {
  QPainter p(this);
  QStyleOptionComboBox Opt;
  initStyleOption(&Opt);
  const QRect Arrow = style()->subControlRect(QStyle::CC_ComboBox, &Opt, QStyle::SC_ComboBoxArrow, this);
  const bool Hot = underMouse() && isEnabled();

  p.setPen(DsColors::Navy);
  p.drawRect(rect().adjusted(0, 0, -1, -1));
  const QRect Inner = rect().adjusted(1, 1, -1, -1);
  p.fillRect(Inner, isEnabled() ? FColor : BtnFaceColor());

  const QRect Button(Arrow.left(), Inner.top(), Inner.right() - Arrow.left() + 1, Inner.height());
  if (Hot)
    GradientRect(p, Button, DsColors::HotLight, DsColors::HotDefault);
  else
    GradientRect(p, Button, DsColors::Light, BtnFaceColor());
  p.setPen(DsColors::Navy);
  p.drawLine(Button.topLeft() - QPoint(1, 0), Button.bottomLeft() - QPoint(1, 0));

  const QPoint c = Button.center();
  const QColor ArrowColor = !isEnabled() ? DsColors::DisabledText : Hot ? DsColors::HotCaption : DsColors::Navy;
  p.setPen(Qt::NoPen);
  p.setBrush(ArrowColor);
  const QPoint Tri[] = {c + QPoint(-4, -2), c + QPoint(4, -2), c + QPoint(0, 2)};
  p.drawPolygon(Tri, 3);

  if (isEditable())
    return;
  QRect TextRect(Inner.left() + 3, Inner.top() + 2, Button.left() - Inner.left() - 6, Inner.height() - 4);
  QColor TextColor = isEnabled() ? palette().color(QPalette::Text) : DsColors::DisabledText;
  if (hasFocus()) {
    p.fillRect(TextRect, DsColors::Navy);
    TextColor = Qt::white;
  }
  p.setPen(TextColor);
  p.drawText(TextRect.adjusted(2, 0, -1, 0), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, currentText());
}
