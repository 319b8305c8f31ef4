#include "PeFrame.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScopedValueRollback>
#include <algorithm>
#include <cmath>

#include "DsPaintBox.h"

namespace {

constexpr int Border = 3, HandleSize = 7;

bool Between(int V, int A, int B) { return A < V && V < B; }

// One edge of the rectangle along an axis: a position delta moves the near
// edge and keeps the far one; else a size delta moves the far edge.
void DragAxis(int32_t& Pos, int32_t& Len, int32_t DPos, int32_t DLen, int32_t StartLen, int32_t Size) {
  if (DPos != 0) {
    if (Pos + DPos < 0)
      DPos = -Pos;
    if (Len - DPos < 1)
      DPos = Len - 1;
    // A typed size of 0 must not push the edge out of the image.
    DPos = std::max(DPos, -Pos);
    if (DPos != 0) {
      Len -= DPos;
      Pos += DPos;
    }
  } else if (DLen != 0) {
    Len = std::clamp(StartLen + DLen, 1, std::max(1, Size - Pos));
  }
}

// The outline of a W x H rectangle at (X, Y), Line pixels wide.
void AddOutline(QRegion& Region, int X, int Y, int W, int H, int Line = 1) {
  Region += QRect(X, Y, W, Line);
  Region += QRect(X, Y + H - Line, W, Line);
  Region += QRect(X, Y, Line, H);
  Region += QRect(X + W - Line, Y, Line, H);
}

} // namespace

int32_t ImageToScreen(int32_t Value, int32_t Zoom) {
  return Zoom >= 0 ? int32_t(int64_t(Value) * (Zoom + 1)) : Value / (1 - Zoom);
}

int32_t ScreenToImage(int32_t Distance, int32_t Zoom) {
  return Zoom >= 0 ? Distance / (Zoom + 1) : int32_t(int64_t(Distance) * (1 - Zoom));
}

QRect FrameGeometry(const TCropRect& Rect, int32_t Zoom, const QPoint& Origin) {
  return {ImageToScreen(Rect.Left, Zoom) + Origin.x(), ImageToScreen(Rect.Top, Zoom) + Origin.y(),
          ImageToScreen(Rect.Width, Zoom) + 2 * Border, ImageToScreen(Rect.Height, Zoom) + 2 * Border};
}

TFramePlace PlaceFrame(const TCropRect& Rect, int32_t Zoom, const QPoint& ViewOrigin, double Ratio) {
  const QRect Device(ImageToScreen(Rect.Left, Zoom), ImageToScreen(Rect.Top, Zoom), ImageToScreen(Rect.Width, Zoom),
                     ImageToScreen(Rect.Height, Zoom));
  const QRect Logical = LogicalRect(Device, Ratio).adjusted(-Border, -Border, Border, Border);
  // The frame's corner in device pixels: where the desktop puts it.
  const QPoint Corner(int(std::lround(Logical.x() * Ratio)), int(std::lround(Logical.y() * Ratio)));
  return {Logical.translated(ViewOrigin), Device.translated(-Corner)};
}

TFrameMode HoverMode(int X, int Y, int W, int H) {
  const int Mx = (W - HandleSize) / 2, My = (H - HandleSize) / 2;
  const bool LeftCol = Between(X, 0, HandleSize), RightCol = Between(X, W - HandleSize, W);
  const bool MidCol = Between(X, Mx, Mx + HandleSize);
  const bool TopRow = Between(Y, 0, HandleSize), BottomRow = Between(Y, H - HandleSize, H);
  const bool MidRow = Between(Y, My, My + HandleSize);
  if (LeftCol && TopRow)
    return fmTopLeft;
  if (LeftCol && MidRow)
    return fmLeft;
  if (LeftCol && BottomRow)
    return fmBottomLeft;
  if (RightCol && TopRow)
    return fmTopRight;
  if (RightCol && MidRow)
    return fmRight;
  if (RightCol && BottomRow)
    return fmBottomRight;
  if (MidCol && TopRow)
    return fmTop;
  if (MidCol && BottomRow)
    return fmBottom;
  if (Between(X, 4, W - 4) && Between(Y, 4, H - 4))
    return fmMove;
  return fmNone;
}

Qt::CursorShape ModeCursor(TFrameMode Mode) {
  switch (Mode) {
  case fmMove: return Qt::SizeAllCursor;
  case fmTopLeft:
  case fmBottomRight: return Qt::SizeFDiagCursor;
  case fmTopRight:
  case fmBottomLeft: return Qt::SizeBDiagCursor;
  case fmLeft:
  case fmRight: return Qt::SizeHorCursor;
  case fmTop:
  case fmBottom: return Qt::SizeVerCursor;
  case fmNone: break;
  }
  return Qt::ArrowCursor;
}

TCropRect DragRect(TCropRect Rect, TFrameMode Mode, int32_t Dx, int32_t Dy, QSize Start, QSize Image) {
  if (Mode == fmMove) {
    Rect.Left = std::clamp(Rect.Left + Dx, 0, std::max(0, Image.width() - Rect.Width));
    Rect.Top = std::clamp(Rect.Top + Dy, 0, std::max(0, Image.height() - Rect.Height));
    return Rect;
  }
  const bool LeftSide = Mode == fmTopLeft || Mode == fmLeft || Mode == fmBottomLeft;
  const bool RightSide = Mode == fmTopRight || Mode == fmRight || Mode == fmBottomRight;
  const bool TopSide = Mode == fmTopLeft || Mode == fmTop || Mode == fmTopRight;
  const bool BottomSide = Mode == fmBottomLeft || Mode == fmBottom || Mode == fmBottomRight;
  DragAxis(Rect.Left, Rect.Width, LeftSide ? Dx : 0, RightSide ? Dx : 0, Start.width(), Image.width());
  DragAxis(Rect.Top, Rect.Height, TopSide ? Dy : 0, BottomSide ? Dy : 0, Start.height(), Image.height());
  return Rect;
}

QRegion FrameOutline(int W, int H) {
  return FrameRegion(QRect(Border, Border, W - 2 * Border, H - 2 * Border), HandleSize, 1);
}

QRegion FrameRegion(const QRect& Outline, int Handle, int Line) {
  QRegion Region;
  AddOutline(Region, Outline.x(), Outline.y(), Outline.width(), Outline.height());
  const int Half = Handle / 2, L = Outline.x(), T = Outline.y();
  const int Xs[3] = {L - Half, L + Outline.width() / 2 - Half, L + Outline.width() - 1 - Half};
  const int Ys[3] = {T - Half, T + Outline.height() / 2 - Half, T + Outline.height() - 1 - Half};
  for (int I = 0; I < 3; ++I)
    for (int J = 0; J < 3; ++J)
      if (I != 1 || J != 1)
        AddOutline(Region, Xs[I], Ys[J], Handle, Handle, Line);
  return Region;
}

TRectBox::TRectBox(QWidget* AView, QSize AImageSize, std::function<int32_t()> AZoom)
    : QWidget(AView->parentWidget()), View(AView), ImageSize(AImageSize),
      Zoom(std::move(AZoom)), Crop{0, 0, AImageSize.width(), AImageSize.height()} {
  setObjectName(QStringLiteral("RectBox"));
  setMouseTracking(true);
  setFocusPolicy(Qt::NoFocus);
  // Directly above the view, still below the scroll bars.
  stackUnder(View);
  View->stackUnder(this);
  View->installEventFilter(this);
  Place();
}

void TRectBox::SetRect(const TCropRect& Rect) {
  Crop = Rect;
  Place();
}

void TRectBox::Place() {
  if (!View)
    return;
  const TFramePlace P = PlaceFrame(Crop, Zoom(), View->geometry().topLeft(), Ratio());
  Outline = P.Outline;
  setGeometry(P.Geometry);
  update();
}

QPointF TRectBox::InView(const QPointF& P) const { return mapToParent(P) - QPointF(View ? View->pos() : QPoint()); }

bool TRectBox::eventFilter(QObject* Watched, QEvent* E) {
  if (Watched == View &&
      (E->type() == QEvent::Move || E->type() == QEvent::Resize || E->type() == QEvent::ScreenChangeInternal))
    Place();
  return QWidget::eventFilter(Watched, E);
}

// Inverted, so that the frame shows on any image: the backing store below
// already holds the view's pixels when a child paints.
void TRectBox::paintEvent(QPaintEvent*) {
  QPainter Painter(this);
  Painter.setCompositionMode(QPainter::CompositionMode_Difference);
  // The outline on the image's device pixels, the handles the size of
  // logical ones for the hand.
  const double R = devicePixelRatioF();
  if (R != 1.0)
    Painter.scale(1 / R, 1 / R);
  const int Handle = int(std::lround(HandleSize * R)), Line = std::max(1, int(R));
  for (const QRect& Part : FrameRegion(Outline, Handle, Line))
    Painter.fillRect(Part, Qt::white);
}

void TRectBox::MouseDown(const QPointF& P) {
  DragX = int(std::floor(P.x()));
  DragY = int(std::floor(P.y()));
  PressAt = InView(P);
  PressCrop = Crop;
  StartSize = QSize(Crop.Width, Crop.Height);
  update();
}

void TRectBox::MouseMove(const QPointF& P, bool LeftHeld) {
  if (DragX < 0 || !LeftHeld) {
    Mode = HoverMode(int(std::floor(P.x())), int(std::floor(P.y())), width(), height());
    setCursor(ModeCursor(Mode));
    return;
  }
  Drag(P);
  AutoScroll(P);
}

void TRectBox::Drag(const QPointF& P) {
  if (Mode == fmNone)
    return;
  const int32_t Z = Zoom();
  // The device pixels the pointer moved since the press, less those the
  // frame moved since, which the rectangle already holds.
  const double R = Ratio();
  const QPointF Moved = (InView(P) - PressAt) * R;
  const int32_t Dx = int32_t(std::lround(Moved.x())) - (ImageToScreen(Crop.Left, Z) - ImageToScreen(PressCrop.Left, Z));
  const int32_t Dy = int32_t(std::lround(Moved.y())) - (ImageToScreen(Crop.Top, Z) - ImageToScreen(PressCrop.Top, Z));
  const TCropRect New = DragRect(Crop, Mode, ScreenToImage(Dx, Z), ScreenToImage(Dy, Z), StartSize, ImageSize);
  if (New == Crop)
    return;
  {
    const QScopedValueRollback<bool> Writing(Updating, true);
    if (OnChange)
      OnChange(New);
  }
  SetRect(New);
  update();
}

void TRectBox::AutoScroll(const QPointF& P) {
  if (!ClientRect || !OnScrollKey)
    return;
  const QPoint At = mapToParent(P).toPoint();
  const QRect Client = ClientRect();
  if (At.y() > Client.bottom())
    OnScrollKey(Qt::Key_2, Qt::KeypadModifier);
  else if (At.y() < Client.top())
    OnScrollKey(Qt::Key_8, Qt::KeypadModifier);
  else if (At.x() > Client.right())
    OnScrollKey(Qt::Key_6, Qt::KeypadModifier);
  else if (At.x() < Client.left())
    OnScrollKey(Qt::Key_4, Qt::KeypadModifier);
}

void TRectBox::MouseUp() {
  DragX = -1;
  DragY = -1;
  Mode = fmNone;
  update();
}

void TRectBox::mousePressEvent(QMouseEvent* E) {
  // Taken whatever the button, so that no press reaches the window below.
  E->accept();
  if (E->button() == Qt::LeftButton)
    MouseDown(E->position());
}

void TRectBox::mouseMoveEvent(QMouseEvent* E) { MouseMove(E->position(), E->buttons() & Qt::LeftButton); }

void TRectBox::mouseReleaseEvent(QMouseEvent* E) {
  if (E->button() == Qt::LeftButton)
    MouseUp();
}

void TRectBox::mouseDoubleClickEvent(QMouseEvent* E) {
  E->accept();
  if (E->button() == Qt::LeftButton && OnDblClick)
    OnDblClick();
}
