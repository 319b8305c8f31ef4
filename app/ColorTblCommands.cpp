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
    ImgBox->setMouseTracking(false);
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
  // Moves without a button mark the entry under the pointer.
  ImgBox->setMouseTracking(true);
  AlphaShown = true;
  UpdateCaption();
  Redraw();
  ColorTblForm->ShowBeside(*this);
}

// The box shows the zoomed image from its own origin. Tiled and reduced,
// the tiles start from the bottom row, so the rows left over by the
// reduction are at the top.
int32_t TPelorinMain::PaletteIndexAt(const QPoint& Pos) const {
  if (!Image || Image->PaletteSize() == 0 || Pos.x() < 0 || Pos.y() < 0)
    return -1;
  const int32_t Z = Image->Zoom();
  int64_t X = Pos.x(), Y = Pos.y();
  if (Z >= 0) {
    X /= Z + 1;
    Y /= Z + 1;
  } else {
    X *= 1 - Z;
    Y *= 1 - Z;
    if (Image->Tiled)
      Y += Image->Height() - int64_t(Image->ZoomedHeight()) * (1 - Z);
  }
  if (X >= Image->Width() || Y >= Image->Height())
    return -1;
  return int32_t(Image->GetPixelValue(int32_t(X), int32_t(Y)));
}

void TPelorinMain::PickColorEntry(const QPoint& Pos) {
  const int32_t I = PaletteIndexAt(Pos);
  if (ColorTblForm && I >= 0)
    ColorTblForm->SelectEntry(I);
}

void TPelorinMain::MarkColorEntry(const QPoint* Pos) {
  if (ColorTblForm)
    ColorTblForm->HoverEntry(Pos ? PaletteIndexAt(*Pos) : -1);
}
