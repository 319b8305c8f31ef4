#pragma once
#include <QPointer>
#include <QRect>
#include <QSize>
#include <cstdint>
#include <functional>

#include "PeFrame.h"
#include "StdDialog.h"

class TPeSpinEdit;

// What the crop dialog needs of the window that shows the image.
struct TCropHost {
  // The image view; the frame becomes its sibling and follows it.
  QWidget* View = nullptr;
  std::function<int32_t()> Zoom;
  // The part of the view's parent the image shows in (without scroll bars).
  std::function<QRect()> ClientRect;
  // A key for the window's own handler (scrolling, the crop button).
  std::function<void(int Key, Qt::KeyboardModifiers Modifiers)> KeyDown;
  // Replaces the image by the rectangle as one undo step; false when it
  // failed (and said so), so that the dialog stays.
  std::function<bool(const TCropRect& Rect)> Crop;
  // The dialog has closed: the host takes commands again.
  std::function<void()> EndModal;
};

// The crop dialog: four spins in step with a frame over the image. It shows
// without blocking and deletes itself once closed.
class TCropForm : public TStdDialogForm {
  Q_OBJECT
public:
  TCropForm(TCropHost AHost, QSize ImageSize, QWidget* Parent = nullptr);
  ~TCropForm() override;

  // The keys the main window passes on while the dialog shows; true when
  // the key was taken.
  bool FrameKeyDown(int Key, Qt::KeyboardModifiers Modifiers);

  TRectBox* RectBox() const { return Frame.data(); }
  TCropRect SpinRect() const;

  void CropBtnClick();
  void CancelBtnClick();
  void LeftWidthSpinChange(TPeSpinEdit* Sender);
  void TopHeightSpinChange(TPeSpinEdit* Sender);
  void SpinKeyDown(TPeSpinEdit* Sender, int& Key);
  void LeftSpinDblClick();
  void TopSpinDblClick();
  void WidthSpinDblClick();
  void HeightSpinDblClick();

  TPeSpinEdit* LeftSpin = nullptr;
  TPeSpinEdit* TopSpin = nullptr;
  TPeSpinEdit* WidthSpin = nullptr;
  TPeSpinEdit* HeightSpin = nullptr;

protected:
  void keyPressEvent(QKeyEvent* E) override;
  bool eventFilter(QObject* Watched, QEvent* E) override;
  void done(int Result) override;

private:
  void CreateControls();
  void ConnectHandlers();
  void AxisChange(TPeSpinEdit* Sender, TPeSpinEdit* PosSpin, TPeSpinEdit* SizeSpin, int32_t Size);
  void FrameChanged(const TCropRect& Rect);
  void UpdateOkBtn();
  void RemoveFrame();
  // Enter and Escape wherever the focus is; true when taken.
  bool DialogKey(int Key);

  TCropHost Host;
  int32_t W, H;
  // A child of the view's parent, which outlives the dialog; the dialog
  // removes it when it closes.
  QPointer<TRectBox> Frame;
  bool Finished = false;
};
