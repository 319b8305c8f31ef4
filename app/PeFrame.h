#pragma once
#include <QPointer>
#include <QRect>
#include <QRegion>
#include <QSize>
#include <QWidget>
#include <cstdint>
#include <functional>

// A rectangle in image pixels.
struct TCropRect {
  int32_t Left = 0, Top = 0, Width = 0, Height = 0;
  bool operator==(const TCropRect&) const = default;
};

// What a press on the frame drags: the whole frame or one of its handles.
enum TFrameMode : int32_t {
  fmNone,
  fmMove,
  fmTopLeft,
  fmTop,
  fmTopRight,
  fmLeft,
  fmRight,
  fmBottomLeft,
  fmBottom,
  fmBottomRight,
};

// Image pixels to screen pixels at the zoom step (-7..7), and screen
// distances back to image pixels; both truncate as the view does.
int32_t ImageToScreen(int32_t Value, int32_t Zoom);
int32_t ScreenToImage(int32_t Distance, int32_t Zoom);

// The frame's geometry in its parent: the rectangle at the zoom, widened by
// 3 pixels on every side for the handles. Origin is the image's top left
// corner minus (3, 3).
QRect FrameGeometry(const TCropRect& Rect, int32_t Zoom, const QPoint& Origin);

// The frame at Ratio device pixels per logical one. The view counts device
// pixels, so the rectangle at the zoom is in device pixels; the frame is the
// smallest logical rectangle that holds them, widened by 3 on every side,
// and the outline lies on those device pixels exactly.
struct TFramePlace {
  QRect Geometry; // in the parent; ViewOrigin is the view's top left corner
  QRect Outline;  // in device pixels from the frame's top left corner
};
TFramePlace PlaceFrame(const TCropRect& Rect, int32_t Zoom, const QPoint& ViewOrigin, double Ratio);

// What a press at (X, Y) of a frame W x H wide would drag.
TFrameMode HoverMode(int X, int Y, int W, int H);
Qt::CursorShape ModeCursor(TFrameMode Mode);

// The rectangle after a drag step of (Dx, Dy) image pixels. The position
// deltas count from the frame's present place (which follows the pointer),
// the size deltas from the press, whose size was Start. Image bounds it;
// the width and height stay at least 1.
TCropRect DragRect(TCropRect Rect, TFrameMode Mode, int32_t Dx, int32_t Dy, QSize Start, QSize Image);

// The pixels the frame inverts: the outline and the eight 7 x 7 handles.
QRegion FrameOutline(int W, int H);
// The same around an outline, in device pixels: handles Handle pixels on a
// side drawn Line pixels thick, centered on its corners and the middles of
// its sides.
QRegion FrameRegion(const QRect& Outline, int Handle, int Line);

// The crop frame over the image view: a sibling of the view placed above
// it, which draws only its outline and handles and is dragged by them.
class TRectBox : public QWidget {
  Q_OBJECT
public:
  // ImageSize: the image's size in pixels; Zoom answers the view's zoom step.
  TRectBox(QWidget* View, QSize ImageSize, std::function<int32_t()> Zoom);

  // The rectangle in image pixels; places the frame over it.
  void SetRect(const TCropRect& Rect);
  const TCropRect& Rect() const { return Crop; }
  // Follows the view after it moved or changed size.
  void Place();

  // The pointer, in the frame's coordinates.
  void MouseDown(const QPointF& P);
  void MouseMove(const QPointF& P, bool LeftHeld);
  void MouseUp();

  TFrameMode Mode = fmNone;
  int DragX = -1, DragY = -1;
  QSize StartSize;
  // True while OnChange runs: the spins it writes must not write back.
  bool Updating = false;

  // A drag changed the rectangle to this; the frame moves there after.
  std::function<void(const TCropRect&)> OnChange;
  std::function<void()> OnDblClick;
  // Where the pointer may go before the view scrolls, in the parent's
  // coordinates, and the key that scrolls it.
  std::function<QRect()> ClientRect;
  std::function<void(int Key, Qt::KeyboardModifiers Modifiers)> OnScrollKey;

protected:
  void paintEvent(QPaintEvent* E) override;
  void mousePressEvent(QMouseEvent* E) override;
  void mouseMoveEvent(QMouseEvent* E) override;
  void mouseReleaseEvent(QMouseEvent* E) override;
  void mouseDoubleClickEvent(QMouseEvent* E) override;
  bool eventFilter(QObject* Watched, QEvent* E) override;

private:
  void Drag(const QPointF& P);
  void AutoScroll(const QPointF& P);
  double Ratio() const { return View ? View->devicePixelRatioF() : 1.0; }
  // The pointer in the view's coordinates.
  QPointF InView(const QPointF& P) const;

  QPointer<QWidget> View;
  QSize ImageSize;
  std::function<int32_t()> Zoom;
  TCropRect Crop;
  QRect Outline;
  // Where the drag started, so that the frame follows the pointer to the
  // device pixel whatever the logical pixels round to.
  QPointF PressAt;
  TCropRect PressCrop;
};
