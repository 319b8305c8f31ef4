#pragma once
#include <functional>
#include <memory>

#include "Host.h"
#include "Quenna.h"
#include "XImageRead.h"
#include "XLuv.h"

class TPeButton;
class TSlider;

// The LogLuv brightness window: renders the shown image again from its
// stored LogLuv rows at the exposure the slider sets (position / 100). The
// host stays locked while it shows; closing it frees the rows, ends the
// lock and deletes the window.
class TLuvCtrlForm : public TQuennaForm {
  Q_OBJECT
public:
  // Image answers the shown image when asked; Orientation is the turn the
  // host applied to it after reading.
  TLuvCtrlForm(TPelorinHost& AHost, std::unique_ptr<TLuvBuf> ABuf, std::function<TDib*()> AImage,
               TOrientationStep AOrientation, QWidget* Parent = nullptr);

  // At the left edge of Main, 18 pixels below its top.
  void ShowBeside(const QWidget& Main);
  // The slider was released: the image at the new exposure.
  void SliderSwitch();
  const TLuvBuf* Buffer() const { return Buf.get(); }

  TSlider* Slider = nullptr;
  TPeButton* OkBtn = nullptr;

protected:
  void keyPressEvent(QKeyEvent* E) override;
  void done(int Result) override;

private:
  void RenderInto(TDib& Image);

  TPelorinHost& Host;
  std::unique_ptr<TLuvBuf> Buf;
  std::function<TDib*()> ImageOf;
  TOrientationStep Orientation;
  bool Finished = false;
};
