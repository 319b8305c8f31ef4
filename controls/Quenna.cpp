#include "Quenna.h"

#include "DsVCL.h"

#include <QPainter>

TQuennaForm::TQuennaForm(QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
  QFont f(QStringLiteral("Arial"));
  f.setPixelSize(12);
  setFont(f);
  QPalette Pal = palette();
  Pal.setColor(QPalette::Window, BtnFaceColor());
  setPalette(Pal);
}

void TQuennaForm::paintEvent(QPaintEvent*) {
  QPainter p(this);
  GradientRect(p, rect(), DsColors::Light, BtnFaceColor());
}
