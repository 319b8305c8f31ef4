#include "Progress.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QProgressBar>
#include <QScreen>
#include <QWindow>
#include <algorithm>

#include "DsVCL.h"

namespace {
constexpr int FormWidth = 360, FormHeight = 58;
} // namespace

TProgressForm::TProgressForm(QWidget* Parent) : TQuennaForm(Parent) {
  setWindowTitle(QStringLiteral("Saving..."));
  // Nothing may stop a write halfway.
  setWindowFlag(Qt::WindowCloseButtonHint, false);
  setFixedSize(FormWidth, FormHeight);
  PeGroupBox1 = new TPeGroupBox(this);
  PeGroupBox1->setObjectName(QStringLiteral("PeGroupBox1"));
  PeGroupBox1->setGeometry(7, 8, 345, 41);
  Bar = new QProgressBar(PeGroupBox1);
  Bar->setObjectName(QStringLiteral("Bar"));
  Bar->setRange(0, 100);
  Bar->setTextVisible(false);
  Bar->setGeometry(12, 12, 321, 17);
}

void TProgressForm::SetPercent(int32_t Percent) {
  const int Value = std::clamp<int32_t>(Percent, 0, 100);
  if (Bar->value() == Value)
    return;
  Bar->setValue(Value);
  if (isVisible())
    Bar->repaint();
}

void TProgressForm::FormActivate() {
  if (const QScreen* Screen = QGuiApplication::primaryScreen())
    move(Screen->geometry().center() - QPoint(width() / 2, height() / 2));
  Bar->setValue(0);
  show();
  // The window is to be on the screen, painted, before the writer goes on;
  // the window system maps it only after a round trip. Input waits, as
  // nothing may act on the image while it is written.
  QElapsedTimer T;
  T.start();
  while (windowHandle() && !windowHandle()->isExposed() && T.elapsed() < 500)
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 20);
  repaint();
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}
