#include "LuvCtrl.h"

#include <QKeyEvent>
#include <cmath>
#include <cstring>

#include "DsSlider.h"
#include "DsVCL.h"
#include "WaitCursor.h"
#include "XColor.h"

namespace {
constexpr int FormWidth = 84, FormHeight = 236, BelowTop = 18;
constexpr int MinPercent = 1, MaxPercent = 200;
} // namespace

TLuvCtrlForm::TLuvCtrlForm(TPelorinHost& AHost, std::unique_ptr<TLuvBuf> ABuf, std::function<TDib*()> AImage,
                           TOrientationStep AOrientation, QWidget* Parent)
    : TQuennaForm(Parent), Host(AHost), Buf(std::move(ABuf)), ImageOf(std::move(AImage)), Orientation(AOrientation) {
  setWindowTitle(QStringLiteral("LogLUV"));
  setFixedSize(FormWidth, FormHeight);
  Slider = new TSlider(this);
  Slider->setObjectName(QStringLiteral("Slider"));
  Slider->setGeometry(29, 8, 26, 180);
  Slider->SetMin(MinPercent);
  Slider->SetMax(MaxPercent);
  Slider->SetPosDefault(100);
  Slider->SetPosition(int(std::lround(LuvExposure * 100)));
  OkBtn = new TPeButton(QStringLiteral("OK"), this);
  OkBtn->setObjectName(QStringLiteral("OkBtn"));
  OkBtn->setGeometry(6, 200, 72, 25);
  OkBtn->SetModalResult(mrOk);
  // Connected after the set-up so that only the user's moves render.
  connect(Slider, &TSlider::OnSwitch, this, [this](TSlider*) { SliderSwitch(); });
}

void TLuvCtrlForm::ShowBeside(const QWidget& Main) {
  const QRect Frame = Main.frameGeometry();
  move(Frame.left(), Frame.top() + BelowTop);
  show();
}

void TLuvCtrlForm::SliderSwitch() {
  TDib* Image = Buf ? ImageOf() : nullptr;
  if (!Image)
    return;
  TWaitCursor Wait;
  RenderInto(*Image);
  Host.Redraw();
}

// The stored rows are as read, so a turned image is rendered at the stored
// size, turned the same way and copied over.
void TLuvCtrlForm::RenderInto(TDib& Image) {
  const double Exposure = Slider->Position() / 100.0;
  if (Orientation == TOrientationStep{}) {
    Buf->Render(Image, Exposure);
    return;
  }
  TDib Stored(Buf->Width(), Buf->Height(), Image.PixelFormat());
  Buf->Render(Stored, Exposure);
  ApplyOrientation(Stored, Orientation);
  if (Stored.Width() != Image.Width() || Stored.Height() != Image.Height())
    return;
  for (int32_t Y = 0; Y < Image.Height(); ++Y)
    std::memcpy(Image.Row(Y).data(), Stored.Row(Y).data(), std::min(Image.Row(Y).size(), Stored.Row(Y).size()));
}

void TLuvCtrlForm::keyPressEvent(QKeyEvent* E) {
  if (E->key() == Qt::Key_Return || E->key() == Qt::Key_Enter) {
    accept();
    return;
  }
  TQuennaForm::keyPressEvent(E);
}

void TLuvCtrlForm::done(int Result) {
  TQuennaForm::done(Result);
  if (Finished)
    return;
  Finished = true;
  Buf.reset();
  Host.EndModal();
  deleteLater();
}
