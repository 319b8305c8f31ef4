#include "DsPaintBox.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QRegion>
#include <QScreen>
#include <QWheelEvent>
#include <cmath>

#include "DibImage.h"

namespace {

// Products and quotients of whole device pixels come out a hair off.
constexpr double Slack = 1e-6;

int Down(double V) { return int(std::floor(V + Slack)); }
int Up(double V) { return int(std::ceil(V - Slack)); }

} // namespace

int LogicalLength(int32_t Device, double Ratio) { return Up(Device / Ratio); }

QRect DeviceRect(const QRect& Logical, double Ratio) {
  const int L = Down(Logical.x() * Ratio), T = Down(Logical.y() * Ratio);
  return {L, T, Up((Logical.x() + Logical.width()) * Ratio) - L, Up((Logical.y() + Logical.height()) * Ratio) - T};
}

QRect LogicalRect(const QRect& Device, double Ratio) {
  const int L = Down(Device.x() / Ratio), T = Down(Device.y() / Ratio);
  return {L, T, Up((Device.x() + Device.width()) / Ratio) - L, Up((Device.y() + Device.height()) / Ratio) - T};
}

QPoint DevicePoint(const QPointF& Logical, double Ratio) {
  return {Down(Logical.x() * Ratio), Down(Logical.y() * Ratio)};
}

// Tiled and reduced, the tiles start from the bottom row, so the rows left
// over by the reduction are at the top.
std::optional<QPoint> TViewScale::PixelAt(const QPointF& Logical) const {
  const QPoint D = DevicePoint(Logical, Ratio);
  if (D.x() < 0 || D.y() < 0)
    return std::nullopt;
  int64_t X = D.x(), Y = D.y();
  if (Zoom >= 0) {
    X /= Zoom + 1;
    Y /= Zoom + 1;
  } else {
    X *= 1 - Zoom;
    Y *= 1 - Zoom;
    if (Tiled)
      Y += Height - int64_t(ZoomedHeight) * (1 - Zoom);
  }
  if (X >= Width || Y < 0 || Y >= Height)
    return std::nullopt;
  return QPoint(int(X), int(Y));
}

TViewScale ViewScaleOf(const TDib& Image, double Ratio) {
  return {Image.Zoom(),        Image.Tiled,          Image.Width(),          Image.Height(),
          Image.ZoomedWidth(), Image.ZoomedHeight(), Ratio > 0 ? Ratio : 1.0};
}

QSize ScreenDeviceSize(const QWidget* W) {
  const QScreen* S = W ? W->screen() : nullptr;
  if (!S)
    return {1024, 768};
  const double R = S->devicePixelRatio();
  return {int(std::lround(S->size().width() * R)), int(std::lround(S->size().height() * R))};
}

TDsPaintBox::TDsPaintBox(QWidget* Parent) : QWidget(Parent) {
  // The image covers the whole box; nothing behind it needs painting first.
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAttribute(Qt::WA_NoSystemBackground);
}

void TDsPaintBox::paintEvent(QPaintEvent* E) {
  if (!OnPaint)
    return;
  QPainter Painter(this);
  const double R = devicePixelRatioF();
  if (!DevicePixels || R == 1.0) {
    OnPaint(Painter, E->rect());
    return;
  }
  // Undoes the desktop's scaling, which would stretch every pixel again.
  Painter.scale(1 / R, 1 / R);
  const QRect Dev = DeviceRect(E->rect(), R);
  QRegion Beyond(Dev);
  Beyond -= QRect(QPoint(0, 0), DeviceContent);
  for (const QRect& B : Beyond)
    Painter.fillRect(B, palette().window());
  OnPaint(Painter, Dev);
}

void TDsPaintBox::mousePressEvent(QMouseEvent* E) {
  if (OnMouseDown)
    OnMouseDown(E);
}

void TDsPaintBox::mouseMoveEvent(QMouseEvent* E) {
  if (OnMouseMove)
    OnMouseMove(E);
}

void TDsPaintBox::mouseReleaseEvent(QMouseEvent* E) {
  if (OnMouseUp)
    OnMouseUp(E);
}

void TDsPaintBox::enterEvent(QEnterEvent*) {
  if (OnMouseEnter)
    OnMouseEnter();
}

void TDsPaintBox::leaveEvent(QEvent*) {
  if (OnMouseLeave)
    OnMouseLeave();
}

void TDsPaintBox::wheelEvent(QWheelEvent* E) {
  if (OnMouseWheel)
    OnMouseWheel(E);
  else
    E->ignore();
}

QFrame* NewPreviewPanel(QWidget* Parent, const QRect& Geometry, const QString& Name) {
  auto* Panel = new QFrame(Parent);
  Panel->setObjectName(Name);
  Panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  Panel->setLineWidth(1);
  Panel->setAutoFillBackground(true);
  QPalette Pal = Panel->palette();
  Pal.setColor(QPalette::Window, QColor(0xC0, 0xC0, 0xC0));
  Panel->setPalette(Pal);
  Panel->setGeometry(Geometry);
  return Panel;
}
