#include "DsPaintBox.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QWheelEvent>

TDsPaintBox::TDsPaintBox(QWidget* Parent) : QWidget(Parent) {
  // The image covers the whole box; nothing behind it needs painting first.
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAttribute(Qt::WA_NoSystemBackground);
}

void TDsPaintBox::paintEvent(QPaintEvent* E) {
  if (!OnPaint)
    return;
  QPainter Painter(this);
  OnPaint(Painter, E->rect());
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
