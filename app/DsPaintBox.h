#pragma once
#include <QFrame>
#include <QPointF>
#include <QRect>
#include <QSize>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <optional>

class QScreen;
class TDib;

// Device pixels and logical ones at Ratio device pixels per logical pixel.
// Lengths and rectangles round outward, so that the logical side always
// holds every device pixel; points round down to the device pixel they lie
// in.
int LogicalLength(int32_t Device, double Ratio);
QRect DeviceRect(const QRect& Logical, double Ratio);
QRect LogicalRect(const QRect& Device, double Ratio);
QPoint DevicePoint(const QPointF& Logical, double Ratio);

// How the image view lays the zoomed image on the screen. The zoomed image
// counts device pixels, so that at 1:1 every image pixel is one pixel of the
// screen whatever the desktop's scaling; the widgets, the scroll bars and
// the pointer count logical pixels.
struct TViewScale {
  int32_t Zoom = 0;
  bool Tiled = false;
  int32_t Width = 0, Height = 0;             // the image
  int32_t ZoomedWidth = 0, ZoomedHeight = 0; // in device pixels
  double Ratio = 1.0;

  int Logical(int32_t Device) const { return LogicalLength(Device, Ratio); }
  // The view's logical size.
  QSize BoxSize() const { return {Logical(ZoomedWidth), Logical(ZoomedHeight)}; }
  QSize DeviceSize() const { return {ZoomedWidth, ZoomedHeight}; }
  // The image pixel under a point of the view, none beside the image.
  std::optional<QPoint> PixelAt(const QPointF& Logical) const;
};
TViewScale ViewScaleOf(const TDib& Image, double Ratio);

// The screen W shows on, in device pixels; 1024 x 768 without one.
QSize ScreenDeviceSize(const QWidget* W);

// The image's paint box: hands its paint and mouse events to the form.
class TDsPaintBox : public QWidget {
  Q_OBJECT
public:
  explicit TDsPaintBox(QWidget* Parent = nullptr);

  // Paints in device pixels: the painter draws one of its pixels to one
  // device pixel and the rectangle handed to OnPaint counts device pixels.
  // Device pixels beyond DeviceContent, which a logical size rounded up
  // leaves over, are filled with the background.
  bool DevicePixels = false;
  QSize DeviceContent;
  TViewScale ScaleFor(const TDib& Image) const { return ViewScaleOf(Image, devicePixelRatioF()); }

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
