#include "Crop.h"
#include "DsPaintBox.h"
#include "Main.h"
#include "WaitCursor.h"

void TPelorinMain::CropItemClick() {
  if (ModalLock || !Image || SourceKind < 0 || FullScreenShowing())
    return;
  TCropHost Host;
  Host.View = ImgBox;
  Host.Zoom = [this] { return Image ? Image->Zoom() : 0; };
  Host.ClientRect = [this] { return QRect(0, 0, ClientWidth(), ClientHeight()); };
  Host.KeyDown = [this](int Key, Qt::KeyboardModifiers Shift) { Guarded([&] { FormKeyDown(Key, Shift); }); };
  Host.Crop = [this](const TCropRect& R) {
    bool Done = false;
    Guarded([&] {
      TWaitCursor Wait;
      TakeSnapshot();
      ReshapeImage([&] { Image->Crop(R.Left, R.Top, R.Width, R.Height); });
      Redraw();
      Done = true;
    });
    return Done;
  };
  Host.EndModal = [this] { EndModal(); };
  BeginModal();
  auto* Form = new TCropForm(std::move(Host), QSize(Image->Width(), Image->Height()), this);
  CropForm = Form;
  RelayPointer(Form->RectBox());
  Form->ShowBeside(*this);
}

bool TPelorinMain::CropKeyDown(int Key, Qt::KeyboardModifiers Shift) {
  return !CropForm.isNull() && CropForm->isVisible() && CropForm->FrameKeyDown(Key, Shift);
}
