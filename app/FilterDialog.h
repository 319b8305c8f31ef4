#pragma once
#include <QPoint>
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "DibImage.h"
#include "PainterSurface.h"
#include "Quenna.h"

class QFrame;
class QMouseEvent;
class QScrollBar;
class TDsPaintBox;
class TPeButton;
class TPeGroupBox;
class TPeRadioBox;
class TPeSpinEdit;
class TSlider;

// The dialog of the eleven filters: a live preview of a 304 x 304 window of
// the image, scrolled by the bars or by dragging, the strength and the
// radius or direction. It never changes the image; once it was accepted the
// main window applies FilterNo, Param and Strength to the whole image.
class TFilterForm : public TQuennaForm {
  Q_OBJECT
public:
  static constexpr int32_t ViewSide = 304;

  explicit TFilterForm(const TDib& AImage, QWidget* Parent = nullptr);
  ~TFilterForm() override;

  // Sets the dialog up for filter AFilterNo (a TFilterNo) and shows its
  // preview; called once, after construction.
  void SetFilter(int32_t AFilterNo);
  // SrcView from the image at the scroll position, DstView filtered, drawn.
  void UpdateView();

  void TrackBar1Change();
  void RadSpinChange();
  void DirBtnClick(TPeRadioBox* Sender);
  void ScrollChange();
  void PaintBoxMouseDown(QMouseEvent* E);
  void PaintBoxMouseMove(QMouseEvent* E);
  void PaintBoxMouseUp(QMouseEvent* E);

  QFrame* Panel1 = nullptr;
  TDsPaintBox* PaintBox = nullptr;
  QScrollBar* HScroll = nullptr;
  QScrollBar* VScroll = nullptr;
  TPeGroupBox* Box = nullptr;
  TSlider* TrackBar = nullptr;
  TPeGroupBox* Box2 = nullptr;
  TPeSpinEdit* RadSpin = nullptr;
  // On a compass from the top clockwise; each one's Tag is its index.
  std::array<TPeRadioBox*, 8> DBtn{};
  TPeButton* ApplyBtn = nullptr;
  TPeButton* CancelBtn = nullptr;

  int32_t FilterNo = 0;
  // The radius (1..3) or the direction (0..7).
  int32_t Param = 0;
  int32_t Strength = 0;
  std::unique_ptr<TDib> SrcView, DstView;
  int32_t MaxScrollX = 0, MaxScrollY = 0;
  bool DragScroll = false;
  QPoint LastMouse;

  void done(int Result) override;

protected:
  void keyPressEvent(QKeyEvent* E) override;
  bool eventFilter(QObject* Watched, QEvent* E) override;

private:
  void FormCreate();
  void CreatePreview();
  void CreateGroups();
  void CreateButtons();
  void ConnectHandlers();
  // Sets up one scroll bar for an image side; false when the side fits.
  bool SetUpScroll(QScrollBar* Bar, int32_t Side, int32_t& MaxScroll);
  void LayOut(bool HShown, bool VShown);
  void PaintBoxPaint(QPainter& P, const QRect& Rect);
  void EndDrag();

  const TDib& Image;
  std::vector<uint8_t> RowBgr;
  TPainterSurface Surface;
  // Both bars move in one step while dragging: one preview for the two.
  bool Scrolling = false;
};
