#include "ConvGray.h"
#include "ConvPal.h"
#include "Main.h"
#include "Settings.h"
#include "WaitCursor.h"

bool TPelorinMain::ConvertAllowed() const { return !ModalLock && Image && !FullScreenShowing(); }

void TPelorinMain::ConvGrayItemClick() {
  if (!ConvertAllowed())
    return;
  TWaitCursor Wait;
  BeginModal();
  ShowConvertForm(new TConvGrayForm(ConvertHost(), *Image, Settings, this));
}

void TPelorinMain::ConvPalItemClick() {
  if (!ConvertAllowed())
    return;
  TWaitCursor Wait;
  BeginModal();
  ShowConvertForm(new TConvPalForm(ConvertHost(), *Image, Settings, this));
}

void TPelorinMain::ShowConvertForm(TStdConvertForm* Form) {
  ConvertForm = Form;
  Form->ShowBeside(*this);
}

TConvertHost TPelorinMain::ConvertHost() {
  TConvertHost Host;
  Host.Exchange = [this](std::unique_ptr<TDib> Buffer) { return ExchangeImage(std::move(Buffer)); };
  Host.Redraw = [this] { Redraw(); };
  Host.TakeSnapshot = [this] { TakeSnapshot(); };
  Host.Converted = [this] {
    // The transparent index named an entry of the old palette.
    Transparency.Reset();
    HasTransparency = false;
    UpdateConvertItems();
    // Still an edit: reading the file again for the alpha setting would
    // throw the conversion away.
    Edited = true;
    NewImageShown();
  };
  Host.EndModal = [this] { EndModal(); };
  return Host;
}

std::unique_ptr<TDib> TPelorinMain::ExchangeImage(std::unique_ptr<TDib> Buffer) {
  PaintEnabled = false;
  Buffer->SetZoom(Image->Zoom());
  Buffer->Canvas = Image->Canvas;
  std::swap(Image, Buffer);
  ChooseTiling();
  PaintEnabled = true;
  Redraw();
  return Buffer;
}
