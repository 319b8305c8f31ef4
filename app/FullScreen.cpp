#include "FullScreen.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <QWheelEvent>
#include <cmath>
#include <exception>

#include "DibResample.h"
#include "DsPaintBox.h"
#include "Settings.h"
#include "WaitCursor.h"

namespace {

// Keys that mean moving around or zooming in the window, which full screen
// does not do. With Num Lock off the keypad keys arrive as the arrows and
// page keys, and are ignored or passed on as those.
bool IgnoredKey(int Key, Qt::KeyboardModifiers Shift) {
  switch (Key) {
  case Qt::Key_PageUp:
  case Qt::Key_PageDown:
  case Qt::Key_Left:
  case Qt::Key_Right:
  case Qt::Key_Insert:
  case Qt::Key_Delete: return true;
  default: break;
  }
  if (!(Shift & Qt::KeypadModifier))
    return false;
  return (Key >= Qt::Key_0 && Key <= Qt::Key_9) || Key == Qt::Key_Plus || Key == Qt::Key_Minus;
}

// Rounds to the nearest integer, but never to an empty side: a sliver of an
// image must still give a picture to draw.
int32_t Side(int32_t Length, float Ratio) { return std::max<int32_t>(1, int32_t(std::lround(Length * double(Ratio)))); }

} // namespace

TScreenFit FitToArea(int32_t Width, int32_t Height, int32_t AreaWidth, int32_t AreaHeight) {
  TScreenFit Fit{true, Width, Height};
  if (Width <= 0 || Height <= 0 || AreaWidth <= 0 || AreaHeight <= 0)
    return Fit;
  const float Fx = float(AreaWidth) / float(Width), Fy = float(AreaHeight) / float(Height);
  if (Fx >= 1.0f && Fy >= 1.0f)
    return Fit;
  Fit.Fits = false;
  if (Fx >= Fy) {
    Fit.Height = AreaHeight;
    Fit.Width = Side(Width, Fy);
  } else {
    Fit.Width = AreaWidth;
    Fit.Height = Side(Height, Fx);
  }
  return Fit;
}

QPoint CenteredIn(int32_t Width, int32_t Height, int32_t AreaWidth, int32_t AreaHeight) {
  return {(AreaWidth - Width) / 2, (AreaHeight - Height) / 2};
}

int32_t FullScreenFilter(int32_t Setting) { return Setting == 2 ? rfMitchell : rfBox; }

TScreenForm::TScreenForm(QWidget* Parent) : QWidget(Parent, Qt::Window | Qt::FramelessWindowHint) {
  // The paint fills every pixel itself.
  setAttribute(Qt::WA_OpaquePaintEvent);
  setFont(QFont(QStringLiteral("MS Sans Serif")));
  setFocusPolicy(Qt::StrongFocus);
  setMouseTracking(true);
  SetBackground(Qt::black);
}

TScreenForm::~TScreenForm() = default;

void TScreenForm::SetBackground(const QColor& Color) {
  QPalette Pal = palette();
  Pal.setColor(QPalette::Window, Color);
  setPalette(Pal);
}

void TScreenForm::Cover(const QRect& AArea) {
  Area = AArea;
  bool WholeScreen = false;
  for (const QScreen* S : QGuiApplication::screens())
    WholeScreen = WholeScreen || S->geometry() == Area;
  // The geometry picks the screen; the full-screen state keeps the desktop's
  // panels from covering the picture where a window manager runs.
  setWindowState(Qt::WindowNoState);
  setGeometry(Area);
  if (WholeScreen)
    showFullScreen();
  else
    show();
}

void TScreenForm::ReleaseScaled() {
  ScaledImage.reset();
  Scaled = false;
}

void TScreenForm::PrepareScaled() {
  Stale = false;
  const TDib* Img = Image();
  const int32_t Setting = Settings.FullScreenResample;
  const QSize S = DeviceAreaSize();
  PreparedFor = S;
  const TScreenFit Fit = Img ? FitToArea(Img->Width(), Img->Height(), S.width(), S.height()) : TScreenFit{};
  // Freed before the new one is made: the old copy is of no use any more,
  // and the two need not fit in memory together.
  ReleaseScaled();
  if (!Img || Setting <= 0 || Fit.Fits)
    return;
  TWaitCursor Wait;
  const int32_t Filter = FullScreenFilter(Setting);
  ScaledPreview(*Img, ScaledImage, Fit.Width, FilterDef(Filter).Support, Filter, Fit.Height);
  ScaledImage->Canvas = &Surface;
  Scaled = true;
}

void TScreenForm::ImageChanged() { Stale = true; }

double TScreenForm::AreaRatio() const {
  if (const QScreen* S = QGuiApplication::screenAt(Area.center()))
    return S->devicePixelRatio();
  return devicePixelRatioF();
}

QSize TScreenForm::DeviceAreaSize() const {
  const double R = AreaRatio();
  return {int(std::lround(Area.width() * R)), int(std::lround(Area.height() * R))};
}

bool TScreenForm::event(QEvent* E) {
  // On a screen of another scale the copy, or its absence, no longer fits.
  if (E->type() == QEvent::ScreenChangeInternal && DeviceAreaSize() != PreparedFor) {
    ImageChanged();
    update();
  }
  // Tab cycles the windows, through the main window's keys, instead of the focus.
  if (E->type() == QEvent::KeyPress) {
    auto* K = static_cast<QKeyEvent*>(E);
    if (K->key() == Qt::Key_Tab || K->key() == Qt::Key_Backtab) {
      keyPressEvent(K);
      return true;
    }
  }
  return QWidget::event(E);
}

void TScreenForm::paintEvent(QPaintEvent* E) {
  QPainter P(this);
  // In device pixels: an image that fits shows pixel for pixel, and one
  // that does not is shrunk to the screen's own pixels, not stretched again.
  const double R = devicePixelRatioF();
  P.scale(1 / R, 1 / R);
  const QRect Dev = DeviceRect(rect(), R);
  P.fillRect(Dev, palette().color(QPalette::Window));
  TDib* Img = Image();
  if (!Img)
    return;
  if (Stale) {
    // Painting cannot report a failure: without a copy the image is stretched.
    try {
      PrepareScaled();
    } catch (const std::exception&) {
      ReleaseScaled();
    }
  }
  // The linear setting stretches at every paint, with the system's smoothing.
  P.setRenderHint(QPainter::SmoothPixmapTransform);
  const QRect Clip = DeviceRect(E->rect(), R);
  Surface.Begin(&P, {Clip.left(), Clip.top(), Clip.right() + 1, Clip.bottom() + 1});
  DrawImage(*Img, Dev.size());
  Surface.End();
}

void TScreenForm::DrawImage(TDib& Img, QSize Device) {
  const int32_t Cw = Device.width(), Ch = Device.height();
  const TScreenFit Fit = FitToArea(Img.Width(), Img.Height(), Cw, Ch);
  Img.Canvas = &Surface;
  if (Fit.Fits) {
    const QPoint At = CenteredIn(Img.Width(), Img.Height(), Cw, Ch);
    Img.DrawAt(At.x(), At.y());
  } else if (Scaled && ScaledImage) {
    ScaledImage->Canvas = &Surface;
    const QPoint At = CenteredIn(ScaledImage->Width(), ScaledImage->Height(), Cw, Ch);
    ScaledImage->DrawAt(At.x(), At.y());
  } else {
    const QPoint At = CenteredIn(Fit.Width, Fit.Height, Cw, Ch);
    Img.DrawRect({At.x(), At.y(), At.x() + Fit.Width, At.y() + Fit.Height}, {0, 0, Img.Width(), Img.Height()});
  }
}

void TScreenForm::keyPressEvent(QKeyEvent* E) {
  const int Key = E->key();
  const Qt::KeyboardModifiers Shift = E->modifiers();
  if (Key == Qt::Key_Escape || Key == Qt::Key_Space) {
    if (OnLeave)
      OnLeave();
  } else if (IgnoredKey(Key, Shift)) {
    return;
  } else if (Key == Qt::Key_Menu) {
    if (OnPopup)
      OnPopup(Qt::NoModifier, mapToGlobal(QPoint(0, 0)));
  } else if (OnKeyDown) {
    OnKeyDown(Key, Shift);
  }
}

void TScreenForm::mousePressEvent(QMouseEvent* E) {
  if (OnMouseDown)
    OnMouseDown(E);
  else
    FormMouseDown(E);
}

void TScreenForm::FormMouseDown(QMouseEvent* E) {
  if (E->button() == Qt::RightButton && OnPopup)
    OnPopup(E->modifiers(), E->globalPosition().toPoint());
}

void TScreenForm::mouseMoveEvent(QMouseEvent* E) {
  // Opens once on reaching the corner, not again while the pointer rests
  // there after the menu closed.
  const bool Corner = E->position().x() < 1.0 && E->position().y() < 1.0;
  if (Corner && !InCorner && OnPopup)
    OnPopup(E->modifiers(), mapToGlobal(QPoint(0, 0)));
  InCorner = Corner;
}

void TScreenForm::wheelEvent(QWheelEvent* E) {
  if (OnMouseWheel)
    OnMouseWheel(E);
  else
    E->ignore();
}

void TScreenForm::closeEvent(QCloseEvent* E) {
  if (OnClose && !OnClose())
    E->ignore();
  else
    QWidget::closeEvent(E);
}

void TScreenForm::hideEvent(QHideEvent* E) {
  // The copy is for showing only and goes when full screen is left; a
  // window the desktop minimized comes back with it.
  if (!E->spontaneous()) {
    ReleaseScaled();
    Stale = false;
  }
  InCorner = false;
  QWidget::hideEvent(E);
}
