#include "FullScreen.h"

TScreenForm::TScreenForm(QWidget* Parent) : QWidget(Parent, Qt::Window | Qt::FramelessWindowHint) {
  setAutoFillBackground(true);
  SetBackground(Qt::black);
}

void TScreenForm::SetBackground(const QColor& Color) {
  QPalette Pal = palette();
  Pal.setColor(QPalette::Window, Color);
  setPalette(Pal);
}
