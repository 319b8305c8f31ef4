#pragma once

#include <QColor>
#include <QWidget>

#include <array>
#include <cstdint>

// One channel's histogram with two level marks: the left mouse button and
// Home/End move the minimum, the right button and Page Up/Page Down the
// maximum, Backspace puts both back. Level i is drawn at x = i + LevelX.
class THistoBox : public QWidget {
  Q_OBJECT
public:
  static constexpr int LevelX = 16;
  static constexpr int MaxHeight = 63;
  enum TDragMode { dmNone = 0, dmMin = 1, dmMax = 2 };

  explicit THistoBox(QWidget* parent = nullptr);

  static QString HintText();

  int Min() const { return FMin; }
  int Max() const { return FMax; }
  // The minimum stays below the maximum and both within 0..255; every call
  // notifies, even when the level did not move.
  void SetMin(int Value);
  void SetMax(int Value);
  // Back to 0 and 255, notifying once if either moved.
  void ResetLevels();
  bool Switched() const { return FSwitched; }
  int DragMode() const { return FDragMode; }

  // Bar heights 0..MaxHeight, one per level.
  const std::array<int32_t, 256>& Heights() const { return FHeights; }
  void SetHeights(const std::array<int32_t, 256>& Value);
  QColor Color() const { return FColor; }
  void SetColor(const QColor& Value);

  QSize sizeHint() const override { return {288, 66}; }

signals:
  void OnSwitch(THistoBox* Sender, int min, int max);

protected:
  void paintEvent(QPaintEvent*) override;
  void keyPressEvent(QKeyEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void focusInEvent(QFocusEvent* e) override;
  void focusOutEvent(QFocusEvent* e) override;

private:
  void Notify();
  void StartDrag(TDragMode Mode);
  void ShowHover(bool Inside);
  void PaintFrame(QPainter& p) const;
  void PaintLevelTexts(QPainter& p) const;

  int FMin = 0;
  int FMax = 255;
  bool FSwitched = false;
  TDragMode FDragMode = dmNone;
  std::array<int32_t, 256> FHeights{};
  QColor FColor{Qt::black};
};
