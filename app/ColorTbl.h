#pragma once
#include <QString>
#include <array>
#include <cstdint>
#include <functional>

#include "Quenna.h"
#include "RgbTypes.h"
#include "Transparency.h"

class QLabel;
class TDib;
class TDsPaintBox;
class TPeButton;
class TPeGroupBox;
class TPeSpinEdit;
class TPeTextBox;

// What the color table needs of the window that shows the image.
struct TColorTblHost {
  std::function<void()> Redraw;
  // Shows the transparent entry as the apply-alpha setting has it.
  std::function<void()> ApplyTransparency;
  // Records the shown image and its transparency as an undo step; may throw.
  std::function<void()> TakeSnapshot;
  // Asks for a new background color (which comes back as RefreshBackground).
  std::function<void()> ChooseBackground;
  // The windows' backgrounds take the background color setting.
  std::function<void()> ApplyBrushes;
  // The dialog has closed, the image and its record are final.
  std::function<void()> Closed;
};

// "Color table": edits the palette of the shown image entry by entry and
// chooses its transparent and background entries. Every change shows in the
// host's view at once; Apply keeps them as one undo step, anything else puts
// the palette and the transparency record back. Shows without blocking and
// deletes itself once closed.
class TColorTblForm : public TQuennaForm {
  Q_OBJECT
public:
  // Image and Info are the host's, edited in place while the dialog shows.
  TColorTblForm(TColorTblHost AHost, TDib& AImage, TTransparencyInfo& AInfo, QWidget* Parent = nullptr);

  // Entry I becomes the selection (entries outside the palette are ignored).
  void SelectEntry(int32_t I);
  // The entry under the pointer, -1 for none.
  void HoverEntry(int32_t I);
  // The background color setting changed.
  void RefreshBackground();

  void SetTransparent(int32_t I);
  void SetBackground(int32_t I);
  void ColChange(TPeSpinEdit* Sender);
  void SpinDblClick(TPeSpinEdit* Sender);
  void SelResetBtnClick();
  void ResetAllBtnClick();
  void UpdateButtons();

  int32_t Selected() const { return FSelected; }
  int32_t Hovered() const { return FHovered; }
  int32_t Columns() const { return FColumns; }
  // The grid cell under a point of IdxBox, -1 between or beyond the cells.
  int32_t CellAt(const QPoint& P) const;

  QLabel* HovIdxLbl = nullptr;
  TPeTextBox* RBox = nullptr;
  TPeTextBox* GBox = nullptr;
  TPeTextBox* BBox = nullptr;
  QLabel* SelIdxLbl = nullptr;
  TPeButton* SelResetBtn = nullptr;
  TPeButton* SelTransBtn = nullptr;
  TPeButton* SelBackBtn = nullptr;
  TPeSpinEdit* RSpin = nullptr;
  TPeSpinEdit* GSpin = nullptr;
  TPeSpinEdit* BSpin = nullptr;
  QLabel* TrnsIdxLbl = nullptr;
  TPeButton* TrnsResetBtn = nullptr;
  TPeButton* TrnsNoneBtn = nullptr;
  QLabel* BackIdxLbl = nullptr;
  TPeButton* BackResetBtn = nullptr;
  TPeButton* BackNoneBtn = nullptr;
  TDsPaintBox* IdxBox = nullptr;
  TPeButton* ApplyBtn = nullptr;
  TPeButton* ResetAllBtn = nullptr;
  TPeButton* CancelBtn = nullptr;

protected:
  void keyPressEvent(QKeyEvent* E) override;
  void done(int Result) override;

private:
  void CreateHoverGroup();
  void CreateSelectionGroup();
  void CreateIndexGroups();
  void CreateNoteAndButtons();
  void ConnectControls();
  void Start();
  void SpinKeyDown(int& Key);
  void PaintGrid(QPainter& P);
  void LoadSelection();
  void RefreshHover();
  bool InPalette(int32_t I) const;
  // "none", or "several" for a record with more than one transparent entry.
  QString IndexText(int32_t I) const;
  // The color the transparent entry shows: the background entry's, else
  // the background color setting.
  TColor DisplayColor() const;
  // Writes entry I into the image's palette as the view should show it.
  void ShowEntry(int32_t I);
  // The entries and the record's colors follow WorkPal.
  void ShowWorkPal();
  void EntryChanged(int32_t I);
  void SyncRecordColors();
  void RestoreStart();
  bool Apply();

  TColorTblHost Host;
  TDib& Image;
  TTransparencyInfo& Info;
  TTransparencyInfo SavedInfo;
  std::array<TColor, 256> WorkPal{};
  std::array<TColor, 256> StartPal{};
  int32_t FSelected = -1;
  int32_t FHovered = -1;
  int32_t FPitch = 18, FCellSize = 16, FColumns = 16;
  bool Loading = false;
  bool Finished = false;
};
