#include <QAction>
#include <QColorDialog>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QScreen>
#include <QScrollBar>
#include <QWheelEvent>
#include <cstdlib>
#include <exception>

#include "ColorTbl.h"
#include "DsPaintBox.h"
#include "FullScreen.h"
#include "Info.h"
#include "KeyMap.h"
#include "List.h"
#include "Main.h"
#include "Settings.h"
#include "StdConvert.h"

namespace {

bool RatioChange(QEvent::Type T) {
#if QT_VERSION >= QT_VERSION_CHECK(6, 6, 0)
  return T == QEvent::DevicePixelRatioChange;
#else
  (void)T;
  return false;
#endif
}

} // namespace

void TPelorinMain::SetZoom(int32_t Z) {
  // Beyond 8:1 or 1/8 nothing changes, not even the caption.
  if (SourceKind < 0 || !Image || Z < -7 || Z > 7)
    return;
  Image->SetZoom(Z);
  CheckZoomItem(Z);
  UpdateCaption();
  PaintEnabled = false;
  const int OldW = HorzRange, OldH = VertRange;
  const bool ScrolledX = HorzScrollBar->isVisible(), ScrolledY = VertScrollBar->isVisible();
  const int OldMidX = HorzScrollBar->value() + ClientWidth() / 2;
  const int OldMidY = VertScrollBar->value() + ClientHeight() / 2;
  ResetScrollRanges();
  // The point in the middle of the view stays there, so that what was in
  // view stays in view whichever way the zoom goes.
  const QSize Box = ImgBox->ScaleFor(*Image).BoxSize();
  if (ScrolledX && OldW > 0)
    HorzScrollBar->setValue(int(int64_t(Box.width()) * OldMidX / OldW) - ClientWidth() / 2);
  if (ScrolledY && OldH > 0)
    VertScrollBar->setValue(int(int64_t(Box.height()) * OldMidY / OldH) - ClientHeight() / 2);
  FormResize();
  PaintEnabled = true;
  ImgBox->update();
}

void TPelorinMain::ScrollBy(int Dx, int Dy) {
  if (Dx)
    HorzScrollBar->setValue(HorzScrollBar->value() + Dx);
  if (Dy)
    VertScrollBar->setValue(VertScrollBar->value() + Dy);
}

bool TPelorinMain::event(QEvent* E) {
  if (E->type() == QEvent::ShortcutOverride) {
    // The key map comes before the menus' shortcuts: a key it binds is its.
    auto* K = static_cast<QKeyEvent*>(E);
    if (KeyBinding(K->key(), K->modifiers()).Action != kaNone) {
      E->accept();
      return true;
    }
  } else if (E->type() == QEvent::ScreenChangeInternal || RatioChange(E->type())) {
    // On a screen of another scale the image keeps its device pixels: the
    // view's logical size changes with the ratio.
    QMetaObject::invokeMethod(
        this,
        [this] {
          if (Image) {
            ResetScrollRanges();
            ImgBox->update();
          }
        },
        Qt::QueuedConnection);
  } else if (E->type() == QEvent::KeyPress) {
    // Tab cycles the windows instead of the focus inside this one.
    auto* K = static_cast<QKeyEvent*>(E);
    if (K->key() == Qt::Key_Tab || K->key() == Qt::Key_Backtab) {
      keyPressEvent(K);
      return true;
    }
  }
  return QWidget::event(E);
}

bool TPelorinMain::TriggerItem(const QString& Name) {
  QAction* A = Item(Name);
  if (!A)
    return false;
  // The rules as the popup would show them now (the clipboard may have changed).
  MainPopupPopup();
  WorkPopupPopup();
  for (QMenu* M = qobject_cast<QMenu*>(A->parent()); M; M = qobject_cast<QMenu*>(M->parent()))
    if (!M->menuAction()->isEnabled() || !M->menuAction()->isVisible())
      return false;
  if (!A->isEnabled() || !A->isVisible())
    return false;
  A->trigger();
  return true;
}

void TPelorinMain::FormKeyDown(int Key, Qt::KeyboardModifiers Shift) {
  if (CropKeyDown(Key, Shift))
    return;
  const TKeyBinding B = KeyBinding(Key, Shift);
  switch (B.Action) {
  case kaNone: return;
  case kaItem: TriggerItem(QString::fromLatin1(B.Item)); return;
  case kaAlpha:
    Settings.ApplyAlpha = !Settings.ApplyAlpha;
    RefreshAlpha(false);
    return;
  case kaCycleFocus: CycleFocus(); return;
  case kaEscape:
    if (ColorTblForm) {
      ColorTblForm->reject();
      return;
    }
    if (ConvertForm) {
      ConvertForm->reject();
      return;
    }
    if (InfoForm)
      InfoForm->hide();
    if (ListForm)
      ListForm->hide();
    return;
  case kaFitZoom:
    if (Image) {
      const QSize S = ScreenDeviceSize(this);
      SetZoom(FitZoom(Image->Width(), Image->Height(), S.width(), S.height()));
    }
    break;
  case kaZoomOne:
    if (Image && Image->Zoom() != 0)
      SetZoom(0);
    break;
  case kaZoomBy:
    if (Image)
      SetZoom(Image->Zoom() + B.Dx);
    break;
  case kaWindowFit: WindowFit(); return;
  case kaFirstFile:
    if (ListForm)
      ListForm->FirstFile();
    return;
  case kaLastFile:
    if (ListForm)
      ListForm->LastFile();
    return;
  case kaPreviousFile:
    if (ListForm)
      ListForm->PreviousFile();
    return;
  case kaNextFile:
    if (ListForm)
      ListForm->NextFile();
    return;
  case kaPopup:
    if (!ModalLock)
      ShowPopup(Shift, (FullScreenShowing() ? static_cast<QWidget*>(ScreenForm) : this)->mapToGlobal(QPoint(0, 0)));
    return;
  case kaBackground: ChooseBackground(); return;
  case kaLaunch: LaunchWithoutFile(B.Dx); return;
  case kaScrollPage: ScrollBy(B.Dx * ClientWidth(), B.Dy * ClientHeight()); return;
  case kaScrollLine: ScrollBy(B.Dx * HorzScrollBar->singleStep(), B.Dy * VertScrollBar->singleStep()); return;
  case kaScrollStep: {
    // An image pixel, in the logical pixels the bars count.
    const int Step = Image && Image->Zoom() > 0 ? ImgBox->ScaleFor(*Image).Logical(Image->Zoom() + 1) : 1;
    ScrollBy(B.Dx * Step, B.Dy * Step);
    return;
  }
  }
  if (B.Fit)
    WindowFit();
}

void TPelorinMain::CycleFocus() {
  QWidget* const Cycle[3] = {FullScreenShowing() ? static_cast<QWidget*>(ScreenForm) : this, ListForm, InfoForm};
  const int Start = ListForm && ListForm->isActiveWindow() ? 1 : InfoForm && InfoForm->isActiveWindow() ? 2 : 0;
  for (int I = 1; I <= 3; ++I) {
    QWidget* W = Cycle[(Start + I) % 3];
    if (W && W->isVisible()) {
      W->raise();
      W->activateWindow();
      return;
    }
  }
}

bool ChooseColor(QWidget* Parent, TColor& C) {
  if (ChooseColorHook)
    return ChooseColorHook(C);
  const QColor Chosen = QColorDialog::getColor(QColor(C & 0xFF, (C >> 8) & 0xFF, (C >> 16) & 0xFF), Parent);
  if (!Chosen.isValid())
    return false;
  C = TColor(Chosen.red() | Chosen.green() << 8 | Chosen.blue() << 16);
  return true;
}

void TPelorinMain::ChooseBackground() {
  if (ModalLock && !ColorTblShowing)
    return;
  TColor C = Settings.BackColor;
  if (!ChooseColor(this, C))
    return;
  Settings.BackColor = C;
  if (ColorTblShowing && ColorTblForm)
    ColorTblForm->RefreshBackground();
  else
    ApplyBackground();
}

void TPelorinMain::InstallMouseHandlers() {
  BrowseByMouse = Settings.MouseBrowseWindow;
  if (!ScreenForm)
    return;
  if (Settings.MouseBrowseFullScreen)
    ScreenForm->OnMouseDown = [this](QMouseEvent* E) { Guarded([&] { MouseBrowse(E); }); };
  else
    ScreenForm->OnMouseDown = nullptr;
}

void TPelorinMain::BindScreenForm() {
  if (!ScreenForm)
    return;
  ScreenForm->OnImage = [this] { return Image.get(); };
  ScreenForm->OnLeave = [this] { Guarded([this] { FullScreen(); }); };
  ScreenForm->OnKeyDown = [this](int Key, Qt::KeyboardModifiers Shift) { Guarded([&] { FormKeyDown(Key, Shift); }); };
  ScreenForm->OnPopup = [this](Qt::KeyboardModifiers Shift, const QPoint& At) { ShowPopup(Shift, At); };
  ScreenForm->OnMouseWheel = [this](QWheelEvent* E) { FormMouseWheel(E); };
  // Closing full screen by the desktop closes the program, once this
  // window's closing comes to close it.
  ScreenForm->OnClose = [this] {
    if (!Closed)
      QMetaObject::invokeMethod(
          this, [this] { close(); }, Qt::QueuedConnection);
    return Closed;
  };
}

int TPelorinMain::ActiveSideWindow() const {
  if (ListForm && ListForm->isActiveWindow())
    return 1;
  if (InfoForm && InfoForm->isActiveWindow())
    return 2;
  return 0;
}

void TPelorinMain::FullScreen() {
  if (!ScreenForm)
    return;
  const int Side = ActiveSideWindow();
  std::exception_ptr Failed;
  if (FullScreenShowing()) {
    if (Image)
      Image->Canvas = &Surface;
    ScreenForm->hide();
    ScreenForm->ReleaseScaled();
    show();
  } else {
    // The screen the window is on, asked before it is hidden.
    const QRect Area = screen() ? screen()->geometry() : QRect(0, 0, 1024, 768);
    hide();
    if (Image)
      Image->Canvas = ScreenForm->Canvas();
    ScreenForm->SetArea(Area);
    // Without its copy the image is still shown, stretched; the failure is
    // reported once full screen stands.
    try {
      ScreenForm->PrepareScaled();
    } catch (...) {
      Failed = std::current_exception();
    }
    ScreenForm->Cover(Area);
  }
  MainPopupPopup();
  WorkPopupPopup();
  QWidget* const Sides[] = {ListForm, InfoForm};
  QWidget* Focus = Side > 0 ? Sides[Side - 1] : FullScreenShowing() ? static_cast<QWidget*>(ScreenForm) : this;
  Focus->raise();
  Focus->activateWindow();
  if (Failed)
    std::rethrow_exception(Failed);
}

void TPelorinMain::MouseBrowse(QMouseEvent* E) {
  if (!ListForm)
    return;
  if (E->button() == Qt::LeftButton)
    ListForm->PreviousFile();
  else if (E->button() == Qt::RightButton)
    ListForm->NextFile();
}

void TPelorinMain::ImgBoxMouseDown(QMouseEvent* E) {
  // The crop frame takes the image's mouse: beside it a press does nothing.
  if (!CropForm.isNull())
    return;
  if (BrowseByMouse) {
    Guarded([&] { MouseBrowse(E); });
    return;
  }
  if (E->button() != Qt::LeftButton) {
    ShowPopup(E->modifiers(), E->globalPosition().toPoint());
    return;
  }
  if (ColorTblShowing) {
    ImgBox->setCursor(Qt::PointingHandCursor);
    PickColorEntry(E->position());
    return;
  }
  ImgBox->setCursor(Qt::SizeAllCursor);
  DragStart = E->position().toPoint();
  Dragging = true;
}

void TPelorinMain::ImgBoxMouseMove(QMouseEvent* E) {
  if (ColorTblShowing) {
    const QPointF P = E->position();
    MarkColorEntry(&P);
  }
  if (!Dragging || !CropForm.isNull())
    return;
  // The box moves under the pointer as it scrolls, so the start stays put.
  const QPoint P = E->position().toPoint();
  ScrollBy(DragStart.x() - P.x(), DragStart.y() - P.y());
}

void TPelorinMain::ImgBoxMouseUp(QMouseEvent*) {
  if (ColorTblShowing)
    ImgBox->setCursor(Qt::PointingHandCursor);
  else
    ImgBox->unsetCursor();
  Dragging = false;
}

void TPelorinMain::FormMouseDown(QMouseEvent* E) {
  if (BrowseByMouse) {
    Guarded([&] { MouseBrowse(E); });
    return;
  }
  if (E->button() == Qt::RightButton && SourceKind >= 0)
    ShowPopup(E->modifiers(), E->globalPosition().toPoint());
}

void TPelorinMain::mousePressEvent(QMouseEvent* E) { FormMouseDown(E); }

void TPelorinMain::wheelEvent(QWheelEvent* E) { FormMouseWheel(E); }

void TPelorinMain::FormMouseWheel(QWheelEvent* E) {
  E->accept();
  const int Delta = E->angleDelta().y();
  // Sideways turns are no browsing.
  if (ModalLock || Delta == 0 || !ListForm)
    return;
  // Fine-grained wheels and touch pads send parts of a notch: a step per
  // notch's worth, as a notched wheel gives.
  if ((WheelRest > 0) != (Delta > 0))
    WheelRest = 0;
  WheelRest += Delta;
  if (std::abs(WheelRest) < 120)
    return;
  const bool Forward = WheelRest > 0;
  WheelRest = 0;
  Guarded([&] {
    if (Forward)
      ListForm->PreviousFile();
    else
      ListForm->NextFile();
  });
}
