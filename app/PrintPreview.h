#pragma once
#include <QColor>
#include <QFont>
#include <QImage>
#include <QWidget>
#include <functional>

#include "PrintLayout.h"

// The previewed sheet: white, the printable area's edges when shown, and
// the image in its preview rectangle cut at the printable area, as the
// printer will cut it.
class TPaperBox : public QWidget {
  Q_OBJECT
public:
  explicit TPaperBox(QWidget* Parent);

  QImage Picture;          // the image or a smaller copy of it
  TIntRect ImageRect;      // in sheet pixels
  TPreviewEdges Printable; // in sheet pixels
  bool MarginsShown = true;

protected:
  void paintEvent(QPaintEvent*) override;
};

// The title as it will print, in a transparent box the user drags; only the
// part inside Clip (parent coordinates) shows.
class TTitleLabel : public QWidget {
  Q_OBJECT
public:
  explicit TTitleLabel(QWidget* Parent);

  QString Text() const { return FText; }
  // Text and font fix the label's size.
  void SetText(const QString& Value);
  void SetTitleFont(const QFont& Value);
  void SetColor(const QColor& Value);
  void SetClip(const QRect& Value);

  std::function<void(const QPoint&GlobalPos)> OnMouseDown, OnMouseMove, OnMouseUp;

protected:
  void paintEvent(QPaintEvent*) override;
  void mousePressEvent(QMouseEvent* E) override;
  void mouseMoveEvent(QMouseEvent* E) override;
  void mouseReleaseEvent(QMouseEvent* E) override;

private:
  void Fit();

  QString FText;
  QFont FFont;
  QColor FColor{Qt::black};
  QRect FClip;
};
