#include "Quenna.h"

#include "DsVCL.h"

#include <QPainter>
#include <QScreen>

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

void TQuennaForm::ShowBeside(const QWidget& Main) {
  const QRect Frame = Main.frameGeometry();
  if (const QScreen* Screen = Main.screen()) {
    const QRect Room = Screen->availableGeometry();
    if (Frame.right() + 1 + width() <= Room.right() + 1)
      move(Frame.right() + 1, Frame.top());
    else if (Frame.left() - width() >= Room.left())
      move(Frame.left() - width(), Frame.top());
  }
  show();
}
