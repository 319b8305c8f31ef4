#pragma once

#include <QColor>
#include <QVector>
#include <QWidget>

enum class TSlideStyle { Gradient, Increament, UserDraw };
enum class TTextAlign { AlignLeft, Center, AlignRight };

// A vertical slider with the maximum at the top and the value text in the
// bottom TextHeight pixels.
class TSlider : public QWidget {
  Q_OBJECT
public:
  static constexpr int TextHeight = 12;

  explicit TSlider(QWidget* parent = nullptr);
  ~TSlider() override;

  int Position() const { return FPosition; }
  void SetPosition(int Value);
  int PosDefault() const { return FPosDefault; }
  void SetPosDefault(int Value) { FPosDefault = Value; }
  int Min() const { return FMin; }
  void SetMin(int Value);
  int Max() const { return FMax; }
  void SetMax(int Value);
  QColor MinColor() const { return FMinColor; }
  void SetMinColor(const QColor& Value);
  QColor MaxColor() const { return FMaxColor; }
  void SetMaxColor(const QColor& Value);
  QColor Color() const { return FColor; }
  void SetColor(const QColor& Value);
  int SlideSize() const { return FSlideSize; }
  void SetSlideSize(int Value);
  TSlideStyle Style() const { return FStyle; }
  void SetStyle(TSlideStyle Value);
  QString Extension() const { return FExtension; }
  void SetExtension(const QString& Value);
  TTextAlign TextAlign() const { return FTextAlign; }
  void SetTextAlign(TTextAlign Value);
  bool TextSign() const { return FTextSign; }
  void SetTextSign(bool Value);
  int Digit() const { return FDigit; }
  void SetDigit(int Value);
  bool Ticks() const { return FTicks; }
  void SetTicks(bool Value);
  int TickStep() const { return FTickStep; }
  void SetTickStep(int Value);
  bool SwitchOnMove() const { return FSwitchOnMove; }
  void SetSwitchOnMove(bool Value) { FSwitchOnMove = Value; }

  QRect TrackRect() const { return {0, 0, width(), TrackHeight()}; }
  int TrackHeight() const { return qMax(0, height() - TextHeight); }
  double Scale() const;
  // Center row of the thumb for the current position.
  int ThumbPos() const;
  QString ValueText() const;

  QSize sizeHint() const override { return {26, 128}; }

signals:
  void OnSwitch(TSlider* Sender);
  void OnSwitchFocus(TSlider* Sender, bool right);
  void OnPaint(TSlider* Sender, QPainter* ACanvas, const QRect& ARect);

protected:
  void paintEvent(QPaintEvent*) override;
  void keyPressEvent(QKeyEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void focusInEvent(QFocusEvent* e) override;
  void focusOutEvent(QFocusEvent* e) override;

private:
  void ChangePosition(int Value, bool Notify);
  int PositionAt(int y) const;
  void BuildRowColors();
  void EndDrag();

  int FPosition = 0;
  int FPosDefault = 0;
  int FMin = 0;
  int FMax = 100;
  QColor FMinColor{0x80, 0x80, 0x80};
  QColor FMaxColor{0xC0, 0xC0, 0xC0};
  QColor FColor;
  int FSlideSize = 5;
  TSlideStyle FStyle = TSlideStyle::Gradient;
  QString FExtension = QStringLiteral("%");
  TTextAlign FTextAlign = TTextAlign::Center;
  bool FTextSign = false;
  int FDigit = 0;
  bool FTicks = false;
  int FTickStep = 10;
  bool FSwitchOnMove = false;

  bool FDragging = false;
  int FDragStartPos = 0;
  QVector<QColor> FRowColors;
};
