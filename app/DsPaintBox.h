#pragma once
#include <QFrame>
#include <QWidget>
#include <functional>

// The image's paint box: hands its paint and mouse events to the form.
class TDsPaintBox : public QWidget {
  Q_OBJECT
public:
  explicit TDsPaintBox(QWidget* Parent = nullptr);

  std::function<void(QPainter&, const QRect&)> OnPaint;
  std::function<void(QMouseEvent*)> OnMouseDown;
  std::function<void(QMouseEvent*)> OnMouseMove;
  std::function<void(QMouseEvent*)> OnMouseUp;
  std::function<void()> OnMouseEnter;
  std::function<void()> OnMouseLeave;
  // Without it, turns go to the parent.
  std::function<void(QWheelEvent*)> OnMouseWheel;

protected:
  void paintEvent(QPaintEvent* E) override;
  void mousePressEvent(QMouseEvent* E) override;
  void mouseMoveEvent(QMouseEvent* E) override;
  void mouseReleaseEvent(QMouseEvent* E) override;
  void enterEvent(QEnterEvent* E) override;
  void leaveEvent(QEvent* E) override;
  void wheelEvent(QWheelEvent* E) override;
};

// The lowered silver frame that holds a dialog's preview paint box.
QFrame* NewPreviewPanel(QWidget* Parent, const QRect& Geometry, const QString& Name);
