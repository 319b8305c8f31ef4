#include "ColorTbl.h"
#include "DsPaintBox.h"
#include "Main.h"
#include "Settings.h"

void TPelorinMain::ColorTblItemClick() {
  if (ModalLock || !Image || Image->PaletteSize() == 0 || FullScreenShowing())
    return;
  BeginModal();
  // A record with several transparent entries still has transparency once
  // the dialog leaves it as it was.
  const bool HadTransparency = HasTransparency;
  TColorTblHost Host;
  Host.Redraw = [this, HadTransparency] {
    // The caption says "alpha edit" as soon as an entry is transparent.
    const int32_t T = Transparency.TransparentIndex;
    HasTransparency = (T >= 0 && T < Image->PaletteSize()) || (T == -2 && HadTransparency);
    UpdateCaption();
    Redraw();
  };
  Host.ApplyTransparency = [this] { ApplyTransparency(); };
  Host.TakeSnapshot = [this] { TakeSnapshot(); };
  Host.ChooseBackground = [this] { ChooseBackground(); };
  Host.ApplyBrushes = [this] {
    ApplyBrushes();
    update();
  };
  Host.Closed = [this, HadTransparency] {
    ColorTblShowing = false;
    ImgBox->unsetCursor();
    AlphaShown = Settings.ApplyAlpha;
    const int32_t T = Transparency.TransparentIndex;
    HasTransparency = (T >= 0 && T < Image->PaletteSize()) || (T == -2 && HadTransparency);
    UpdateCaption();
    EndModal();
  };
  ColorTblShowing = true;
  try {
    ColorTblForm = new TColorTblForm(std::move(Host), *Image, Transparency, this);
  } catch (...) {
    ColorTblShowing = false;
    EndModal();
    throw;
  }
  ImgBox->setCursor(Qt::PointingHandCursor);
  AlphaShown = true;
  UpdateCaption();
  Redraw();
  ColorTblForm->ShowBeside(*this);
}

int32_t TPelorinMain::PaletteIndexAt(const QPointF& Pos) const {
  if (!Image || Image->PaletteSize() == 0)
    return -1;
  const std::optional<QPoint> P = ImagePixelAt(Pos);
  return P ? int32_t(Image->GetPixelValue(P->x(), P->y())) : -1;
}

void TPelorinMain::PickColorEntry(const QPointF& Pos) {
  const int32_t I = PaletteIndexAt(Pos);
  if (ColorTblForm && I >= 0)
    ColorTblForm->SelectEntry(I);
}

void TPelorinMain::MarkColorEntry(const QPointF* Pos) {
  if (ColorTblForm)
    ColorTblForm->HoverEntry(Pos ? PaletteIndexAt(*Pos) : -1);
}
