#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QColorDialog>
#include <QComboBox>
#include <QPixmap>
#include <QPointer>
#include <QStringList>
#include <QWidget>

#include <functional>

class QPainter;

// The main window copies the "draw color gradients" setting here; off means
// every gradient is drawn as the plain mix of its two ends.
extern bool DrawColorGradients;

namespace DsColors {
inline const QColor Navy{0x00, 0x00, 0x80};
inline const QColor Light{0xDC, 0xE6, 0xF0};    // left end of faces and form backgrounds
inline const QColor HotLight{0xC8, 0xD0, 0xD6}; // left end of hot faces and selected items
inline const QColor HotDefault{0x60, 0x60, 0xA0};
inline const QColor HotCaption{0xFF, 0xFF, 0x3F};
inline const QColor DisabledText{0x7F, 0x8F, 0x8F};
inline const QColor Separator{0x3F, 0x5F, 0x8F};
} // namespace DsColors

QColor BtnFaceColor();
QColor BtnShadowColor();
QColor BtnHighlightColor();

// Fills r column by column from c1 at the left to c2 at the right.
void GradientRect(QPainter& Canvas, const QRect& r, const QColor& c1, const QColor& c2);
// The same from c1 at the bottom to c2 at the top (side bars).
void GradientRectV(QPainter& Canvas, const QRect& r, const QColor& c1, const QColor& c2);
QColor Lighter(const QColor& c);
QColor Darker(const QColor& c);
QColor Mix(const QColor& c1, const QColor& c2);

// All beeps of the controls go through here so that tests can count them.
void Beep();
void SetBeepHandler(std::function<void()> Handler);

// The integer a window's code attaches to a control (menu items use
// QAction::data instead).
int Tag(const QObject* o);
void SetTag(QObject* o, int Value);

enum TModalResult { mrNone, mrOk, mrCancel };
enum TPeBtnKind { bkCustom, bkOK, bkCancel, bkApply, bkReset };

class TDsCustomGroup : public QWidget {
  Q_OBJECT
public:
  explicit TDsCustomGroup(QWidget* parent = nullptr);

  QString Caption() const { return FCaption; }
  void SetCaption(const QString& Value);
  bool Gradient() const { return FGradient; }
  void SetGradient(bool Value);

  QSize sizeHint() const override { return {120, 80}; }

  // Tag of the checked TPeRadioBox among the children.
  int CheckedTag = 0;

signals:
  void OnPaint(TDsCustomGroup* Sender, QPainter* Canvas);

protected:
  void paintEvent(QPaintEvent*) override;
  virtual void PaintFrame(QPainter&) {}
  virtual void UpdateMargins() {}
  QFont CaptionFont() const;

private:
  QString FCaption;
  bool FGradient = true;
};

class TPeGroupBox : public TDsCustomGroup {
  Q_OBJECT
public:
  explicit TPeGroupBox(QWidget* parent = nullptr);
  explicit TPeGroupBox(const QString& Caption, QWidget* parent = nullptr);

protected:
  void PaintFrame(QPainter& Canvas) override;
  void UpdateMargins() override;
};

class TPeGroupSpace : public TDsCustomGroup {
  Q_OBJECT
public:
  explicit TPeGroupSpace(QWidget* parent = nullptr);
  explicit TPeGroupSpace(const QString& Caption, QWidget* parent = nullptr);

protected:
  void PaintFrame(QPainter& Canvas) override;
  void UpdateMargins() override;
};

class TPeTextBox : public QWidget {
  Q_OBJECT
public:
  explicit TPeTextBox(QWidget* parent = nullptr);

  QString Caption() const { return FCaption; }
  void SetCaption(const QString& Value);
  QColor Color() const { return FColor; }
  void SetColor(const QColor& Value);

  QSize sizeHint() const override;

protected:
  void paintEvent(QPaintEvent*) override;

private:
  QString FCaption;
  QColor FColor{Qt::white};
};

// A click on a button with a ModalResult ends the QDialog it sits in
// (mrOk: Accepted, mrCancel: Rejected) before other click handlers run.
class TPeButton : public QAbstractButton {
  Q_OBJECT
public:
  explicit TPeButton(QWidget* parent = nullptr);
  explicit TPeButton(const QString& Caption, QWidget* parent = nullptr);

  QString Caption() const { return text(); }
  void SetCaption(const QString& Value) { setText(Value); }
  QPixmap Glyph() const { return FGlyph; }
  void SetGlyph(const QPixmap& Value);
  QColor Color() const { return FColor; }
  void SetColor(const QColor& Value);
  QColor ColorHot() const { return FColorHot; }
  void SetColorHot(const QColor& Value);
  QColor ColorHotCaption() const { return FColorHotCaption; }
  void SetColorHotCaption(const QColor& Value);
  bool Gradient() const { return FGradient; }
  void SetGradient(bool Value);
  TPeBtnKind Kind() const { return FKind; }
  void SetKind(TPeBtnKind Value);
  TModalResult ModalResult() const { return FModalResult; }
  void SetModalResult(TModalResult Value) { FModalResult = Value; }

  QSize sizeHint() const override { return {73, 25}; }

protected:
  void paintEvent(QPaintEvent*) override;
  void keyPressEvent(QKeyEvent* e) override;
  void enterEvent(QEnterEvent* e) override;
  void leaveEvent(QEvent* e) override;
  virtual bool ShowsPressed() const { return isDown(); }

private:
  void CloseDialog();

  QPixmap FGlyph;
  QColor FColor;
  QColor FColorHot = DsColors::HotDefault;
  QColor FColorHotCaption = DsColors::HotCaption;
  bool FGradient = true;
  TPeBtnKind FKind = bkCustom;
  TModalResult FModalResult = mrNone;
};

// Toggles Down on each click and stays pressed while Down.
class TPeSwitch : public TPeButton {
  Q_OBJECT
public:
  explicit TPeSwitch(QWidget* parent = nullptr);
  explicit TPeSwitch(const QString& Caption, QWidget* parent = nullptr);

  bool Down() const { return isChecked(); }
  void SetDown(bool Value) { setChecked(Value); }

protected:
  bool ShowsPressed() const override { return isDown() || isChecked(); }
};

// Base of the check box, radio box and color button. Color is the
// background; an invalid color (the default) leaves the parent's showing.
// clicked() comes from the user only; toggled() also from setting Checked.
class TPeCustomControl : public QAbstractButton {
  Q_OBJECT
public:
  explicit TPeCustomControl(QWidget* parent = nullptr);

  QString Caption() const { return text(); }
  void SetCaption(const QString& Value) { setText(Value); }
  QColor Color() const { return FColor; }
  void SetColor(const QColor& Value);

  QSize sizeHint() const override;

protected:
  void paintEvent(QPaintEvent*) override;
  void enterEvent(QEnterEvent* e) override;
  void leaveEvent(QEvent* e) override;
  bool Hot() const { return underMouse() && isEnabled(); }
  QColor TextColor() const;
  // The caption follows the mark at MarkWidth() + 5.
  virtual void PaintMark(QPainter& Canvas, const QRect& Box) = 0;
  virtual int MarkWidth() const { return 13; }
  virtual QColor BackgroundColor() const { return FColor; }

  QColor FColor;
};

class TPeCheckBox : public TPeCustomControl {
  Q_OBJECT
public:
  explicit TPeCheckBox(QWidget* parent = nullptr);
  explicit TPeCheckBox(const QString& Caption, QWidget* parent = nullptr);

  bool Checked() const { return isChecked(); }
  void SetChecked(bool Value) { setChecked(Value); }

protected:
  void PaintMark(QPainter& Canvas, const QRect& Box) override;
};

// Checking one unchecks the other radio boxes of the same parent; a
// TDsCustomGroup parent records the checked box's Tag in CheckedTag.
class TPeRadioBox : public TPeCustomControl {
  Q_OBJECT
public:
  explicit TPeRadioBox(QWidget* parent = nullptr);
  explicit TPeRadioBox(const QString& Caption, QWidget* parent = nullptr);

  bool Checked() const { return isChecked(); }
  void SetChecked(bool Value) { setChecked(Value); }

protected:
  void nextCheckState() override;
  void PaintMark(QPainter& Canvas, const QRect& Box) override;

private:
  void CheckedChanged(bool Value);
};

// Color is the shown color; a click runs Dialog (when set) and takes the
// color picked there before the click reaches other handlers.
class TPeColorButton : public TPeCustomControl {
  Q_OBJECT
public:
  explicit TPeColorButton(QWidget* parent = nullptr);
  explicit TPeColorButton(const QString& Caption, QWidget* parent = nullptr);

  QColorDialog* Dialog() const { return FDialog; }
  void SetDialog(QColorDialog* Value) { FDialog = Value; }

signals:
  void ColorChanged(const QColor& Value);

protected:
  void PaintMark(QPainter& Canvas, const QRect& Box) override;
  int MarkWidth() const override { return 28; }
  QColor BackgroundColor() const override { return {}; }

private:
  void RunDialog();

  QPointer<QColorDialog> FDialog;
};

// ReadOnly makes it a pure drop-down list; otherwise the text is editable.
// OnClick and OnChange come from the user's choice or typing only, not from
// setting ItemIndex or Items in code.
class TPeCombo : public QComboBox {
  Q_OBJECT
public:
  explicit TPeCombo(QWidget* parent = nullptr);

  QStringList Items() const;
  void SetItems(const QStringList& Value);
  int ItemIndex() const { return currentIndex(); }
  void SetItemIndex(int Value) { setCurrentIndex(Value); }
  bool ReadOnly() const { return !isEditable(); }
  void SetReadOnly(bool Value);
  QColor Color() const { return FColor; }
  void SetColor(const QColor& Value);

signals:
  void OnChange(TPeCombo* Sender);
  void OnClick(TPeCombo* Sender);

protected:
  void paintEvent(QPaintEvent*) override;
  void enterEvent(QEnterEvent* e) override;
  void leaveEvent(QEvent* e) override;

private:
  void ApplyEditColors();
  void EditChanged();

  QColor FColor{Qt::white};
};
