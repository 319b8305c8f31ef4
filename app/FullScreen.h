#pragma once
#include <QRect>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>

#include "DibImage.h"
#include "PainterSurface.h"

// Where a picture of Width x Height lands in an area: its fitted size,
// shrunk to the area with the smaller of the two single-precision ratios
// and never enlarged, and its top-left corner, centered with truncating
// division.
struct TScreenFit {
  bool Fits = true; // shown unscaled
  int32_t Width = 0, Height = 0;
};
TScreenFit FitToArea(int32_t Width, int32_t Height, int32_t AreaWidth, int32_t AreaHeight);
QPoint CenteredIn(int32_t Width, int32_t Height, int32_t AreaWidth, int32_t AreaHeight);
// The filter of a full-screen resampling setting above 0: Box for 1, Mitchell for 2.
int32_t FullScreenFilter(int32_t Setting);

// The full-screen window: the current image alone on the background color,
// shrunk to the screen when larger. The image stays the main window's; this
// window only draws it and passes input on through the callbacks.
class TScreenForm : public QWidget {
  Q_OBJECT
public:
  explicit TScreenForm(QWidget* Parent = nullptr);
  ~TScreenForm() override;

  // Set by the window that owns the image.
  std::function<TDib*()> OnImage;
  std::function<void()> OnLeave;
  std::function<void(int Key, Qt::KeyboardModifiers Shift)> OnKeyDown;
  // Shows the main popup, or the workbench with Shift, at a screen point.
  std::function<void(Qt::KeyboardModifiers Shift, const QPoint& ScreenPos)> OnPopup;
  std::function<void(QWheelEvent* E)> OnMouseWheel;
  // Takes the place of the form's own mouse-down handler while set.
  std::function<void(QMouseEvent* E)> OnMouseDown;
  // Whether the form may close; the desktop's close request (Alt+F4) is
  // not one to leave the main window hidden behind.
  std::function<bool()> OnClose;

  // The shown image resampled to the screen, while Scaled.
  std::unique_ptr<TDib> ScaledImage;
  bool Scaled = false;

  void SetBackground(const QColor& Color);
  // Where images bound to this window draw.
  TDrawSurface* Canvas() { return &Surface; }
  // Shows the form over Area, asking the window manager for full screen
  // when Area is a whole screen.
  void Cover(const QRect& Area);
  // The area last covered, in logical pixels.
  QSize AreaSize() const { return Area.size(); }
  // The same in the screen's device pixels, which PrepareScaled fits to.
  QSize DeviceAreaSize() const;
  void SetArea(const QRect& AArea) { Area = AArea; }

  // Makes the resampled copy when the setting asks for one and the image is
  // larger than the area; else releases it.
  void PrepareScaled();
  void ReleaseScaled();
  // The image was replaced or changed: the copy no longer matches it and is
  // made again before it is drawn next.
  void ImageChanged();

protected:
  bool event(QEvent* E) override;
  void paintEvent(QPaintEvent* E) override;
  void keyPressEvent(QKeyEvent* E) override;
  void mousePressEvent(QMouseEvent* E) override;
  void mouseMoveEvent(QMouseEvent* E) override;
  void wheelEvent(QWheelEvent* E) override;
  void hideEvent(QHideEvent* E) override;
  void closeEvent(QCloseEvent* E) override;

private:
  TDib* Image() const { return OnImage ? OnImage() : nullptr; }
  void FormMouseDown(QMouseEvent* E);
  // Device: the window's size in device pixels, which the painter counts.
  void DrawImage(TDib& Img, QSize Device);
  double AreaRatio() const;

  TPainterSurface Surface;
  QRect Area;
  // The device size the copy was last made, or found needless, for.
  QSize PreparedFor;
  // The copy was made from an image that has changed since.
  bool Stale = false;
  bool InCorner = false;
};
