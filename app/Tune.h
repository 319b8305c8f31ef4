#pragma once
#include <QFrame>
#include <functional>
#include <memory>

#include "DibTune.h"
#include "PainterSurface.h"
#include "Quenna.h"

class TDsPaintBox;
class TPeButton;

// The base of the three tuning dialogs: a preview of the image before and
// after, the Apply, Reset and Cancel buttons and three lookup tables. The
// dialog only ever changes its preview; the main window applies ApplyTo to
// the image once the dialog was accepted.
class TTuneForm : public TQuennaForm {
  Q_OBJECT
public:
  // Source is the image being tuned; the preview is made from it at once.
  explicit TTuneForm(const TDib& Source, QWidget* Parent = nullptr);
  ~TTuneForm() override;

  // Applies what the dialog shows to the image (the tables by default).
  virtual void ApplyTo(TDib& Image) const;

  // Toggles between the tuned and the unchanged preview.
  void PaintBoxClick();
  // WorkPreview from OrigPreview through the tables, drawn, then
  // OnPreviewChanged.
  void UpdatePreview();
  // Draws WorkPreview, or OrigPreview while the original is shown.
  void RepaintPreview();

  QFrame* Panel = nullptr;
  TDsPaintBox* PaintBox = nullptr;
  TPeButton* ApplyBtn = nullptr;
  TPeButton* ResetBtn = nullptr;
  TPeButton* CancelBtn = nullptr;

  std::unique_ptr<TDib> OrigPreview, WorkPreview;
  bool ShowPreview = true;
  TLut LutR = IdentityLut(), LutG = IdentityLut(), LutB = IdentityLut();
  std::function<void()> OnPreviewChanged;

protected:
  // Places the buttons below Panel and sizes the form for a client area of
  // Width x Height (the derived dialogs put their controls beside Panel).
  void SetClientSize(int Width, int Height);
  void keyPressEvent(QKeyEvent* E) override;

private:
  void PaintPreview(QPainter& P, const QRect& Rect);

  TPainterSurface Surface;
};
