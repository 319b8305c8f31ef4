#pragma once

#include "DsVCL.h"
#include "SimpleTimer.h"

#include <QLineEdit>
#include <QPointer>

#include <memory>

// A press clicks at once; held down it clicks again after InitRepeatPause
// and then every RepeatPause milliseconds until released.
class TTimerSpeedButton : public TPeButton {
  Q_OBJECT
public:
  static constexpr int InitRepeatPause = 250;
  static constexpr int RepeatPause = 21;

  explicit TTimerSpeedButton(QWidget* parent = nullptr);
  ~TTimerSpeedButton() override;

  const TSimpleTimer& RepeatTimer() const { return *FRepeatTimer; }
  // What a tick of the repeat timer does; public so that a test can stand
  // in for the clock.
  void TimerExpired();

protected:
  void mousePressEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void hideEvent(QHideEvent* e) override;
  void changeEvent(QEvent* e) override;

private:
  void StopRepeat();

  std::unique_ptr<TSimpleTimer> FRepeatTimer;
  bool FHeld = false;
};

class TPeSpinButton : public QWidget {
  Q_OBJECT
public:
  explicit TPeSpinButton(QWidget* parent = nullptr);

  QWidget* FocusControl() const { return FFocusControl; }
  void SetFocusControl(QWidget* Value) { FFocusControl = Value; }
  TTimerSpeedButton* UpButton() const { return FUpButton; }
  TTimerSpeedButton* DownButton() const { return FDownButton; }

  QSize sizeHint() const override { return {15, 21}; }

signals:
  void OnUpClick(TPeSpinButton* Sender);
  void OnDownClick(TPeSpinButton* Sender);

protected:
  void resizeEvent(QResizeEvent* e) override;

private:
  void TakeFocus();

  TTimerSpeedButton* FUpButton;
  TTimerSpeedButton* FDownButton;
  QPointer<QWidget> FFocusControl;
};

// An integer field with up and down buttons. MinValue = MaxValue means no
// range. OnKeyDown runs before the field's own key handling; setting Key to
// 0 there swallows the key.
class TPeSpinEdit : public QLineEdit {
  Q_OBJECT
public:
  explicit TPeSpinEdit(QWidget* parent = nullptr);

  int Value() const;
  void SetValue(int NewValue);
  int MinValue() const { return FMinValue; }
  void SetMinValue(int NewValue);
  int MaxValue() const { return FMaxValue; }
  void SetMaxValue(int NewValue);
  int Increment() const { return FIncrement; }
  void SetIncrement(int NewValue) { FIncrement = NewValue; }
  bool EditorEnabled() const { return FEditorEnabled; }
  void SetEditorEnabled(bool NewValue);
  bool ReadOnly() const { return isReadOnly(); }
  void SetReadOnly(bool NewValue) { setReadOnly(NewValue); }
  bool AutoSelect() const { return FAutoSelect; }
  void SetAutoSelect(bool NewValue) { FAutoSelect = NewValue; }
  TPeSpinButton* Button() const { return FButton; }

  void UpClick();
  void DownClick();

  QSize sizeHint() const override;

signals:
  void OnChange(TPeSpinEdit* Sender);
  void OnKeyDown(TPeSpinEdit* Sender, int& Key);
  void OnDblClick(TPeSpinEdit* Sender);

protected:
  void keyPressEvent(QKeyEvent* e) override;
  void focusInEvent(QFocusEvent* e) override;
  void focusOutEvent(QFocusEvent* e) override;
  void mouseDoubleClickEvent(QMouseEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void paintEvent(QPaintEvent* e) override;

private:
  int CheckValue(long long NewValue) const;
  bool IsValidText(const QString& Text) const;

  TPeSpinButton* FButton;
  int FMinValue = 0;
  int FMaxValue = 0;
  int FIncrement = 1;
  bool FEditorEnabled = true;
  bool FAutoSelect = true;
};

// A named spin edit from Min to Max at Place in its parent, which owns it.
TPeSpinEdit* NewSpinEdit(QWidget* Parent, const char* Name, int Min, int Max, const QRect& Place);
