#include "PrintPreview.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>

namespace {
const QColor MarginPen(0x8F, 0x8F, 0xFF);

// The text's box: drawn from its top-left corner, as the printer draws it.
QSize TextSize(const QFont& Font, const QString& Text) {
  const QFontMetrics M(Font);
  return {std::max(1, M.horizontalAdvance(Text)), std::max(1, M.height())};
}
} // namespace

TPaperBox::TPaperBox(QWidget* Parent) : QWidget(Parent) { setAttribute(Qt::WA_OpaquePaintEvent); }

void TPaperBox::paintEvent(QPaintEvent*) {
  QPainter P(this);
  P.fillRect(rect(), Qt::white);
  const QRect Area(Printable.Left, Printable.Top, Printable.Right - Printable.Left + 1,
                   Printable.Bottom - Printable.Top + 1);
  if (!Picture.isNull() && ImageRect.Width > 0 && ImageRect.Height > 0) {
    P.save();
    P.setClipRect(Area);
    P.setRenderHint(QPainter::SmoothPixmapTransform);
    P.drawImage(QRect(ImageRect.Left, ImageRect.Top, ImageRect.Width, ImageRect.Height), Picture);
    P.restore();
  }
  if (MarginsShown) {
    P.setPen(QPen(MarginPen, 1));
    P.drawLine(Printable.Left, 0, Printable.Left, height() - 1);
    P.drawLine(Printable.Right, 0, Printable.Right, height() - 1);
    P.drawLine(0, Printable.Top, width() - 1, Printable.Top);
    P.drawLine(0, Printable.Bottom, width() - 1, Printable.Bottom);
  }
}

TTitleLabel::TTitleLabel(QWidget* Parent) : QWidget(Parent) {
  setAttribute(Qt::WA_TranslucentBackground);
  setCursor(Qt::PointingHandCursor);
}

void TTitleLabel::SetText(const QString& Value) {
  FText = Value;
  Fit();
}

void TTitleLabel::SetTitleFont(const QFont& Value) {
  FFont = Value;
  Fit();
}

void TTitleLabel::SetColor(const QColor& Value) {
  FColor = Value;
  update();
}

void TTitleLabel::SetClip(const QRect& Value) {
  FClip = Value;
  update();
}

void TTitleLabel::Fit() {
  resize(TextSize(FFont, FText));
  update();
}

void TTitleLabel::paintEvent(QPaintEvent*) {
  QPainter P(this);
  if (!FClip.isNull())
    P.setClipRect(FClip.translated(-pos()));
  P.setFont(FFont);
  P.setPen(FColor);
  P.drawText(rect(), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, FText);
}

void TTitleLabel::mousePressEvent(QMouseEvent* E) {
  if (E->button() == Qt::LeftButton && OnMouseDown)
    OnMouseDown(E->globalPosition().toPoint());
}

void TTitleLabel::mouseMoveEvent(QMouseEvent* E) {
  if (OnMouseMove)
    OnMouseMove(E->globalPosition().toPoint());
}

void TTitleLabel::mouseReleaseEvent(QMouseEvent* E) {
  if (E->button() == Qt::LeftButton && OnMouseUp)
    OnMouseUp(E->globalPosition().toPoint());
}
