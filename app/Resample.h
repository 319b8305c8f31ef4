#pragma once
#include <array>
#include <cstdint>
#include <functional>

#include "Settings.h"
#include "StdDialog.h"

class QLabel;
class TDib;
class TPeCheckBox;
class TPeCombo;
class TPeRadioBox;
class TPeSpinEdit;

// The "Resize Image" dialog: the new size in pixels or percent, the filter,
// and the resolution with the printed size it gives.
class TResampleForm : public TStdDialogForm {
  Q_OBJECT
public:
  // ScreenDpi: the screen's pixels per inch for the "monitor" choice.
  TResampleForm(TDib& AImage, TSettings& ASettings, int32_t AScreenDpi, QWidget* Parent = nullptr);

  // Set on OK: the size to resample to and the filter; when the pixel size
  // equals the image's own size the dialog ends Rejected instead (no
  // resampling).
  int32_t NewWidth = 0, NewHeight = 0, FilterIndex = 0;
  // Called when OK changed the image's resolution (the info refresh).
  std::function<void()> OnResolutionChanged;

  void SizeChange(TPeSpinEdit* Sender);
  void DistortionBoxClick();
  void CalcRes();
  void DpiDeviceBoxChange();
  void PercEditDblClick(TPeSpinEdit* Sender);
  void PixWidthSpinDblClick();
  void PixHeightSpinDblClick();
  void SpinKey(TPeSpinEdit* Sender, int& Key);

  TPeSpinEdit* PixWidthSpin = nullptr;
  TPeSpinEdit* PixHeightSpin = nullptr;
  TPeSpinEdit* PercWidthSpin = nullptr;
  TPeSpinEdit* PercHeightSpin = nullptr;
  TPeCheckBox* DistortionBox = nullptr;
  TPeGroupBox* FilterGroup = nullptr;
  TPeRadioBox* BoxBtn = nullptr;
  TPeRadioBox* TriaBtn = nullptr;
  TPeRadioBox* HermiteBtn = nullptr;
  TPeRadioBox* BellBtn = nullptr;
  TPeRadioBox* SplineBtn = nullptr;
  TPeRadioBox* MitchBtn = nullptr;
  TPeRadioBox* LanBtn = nullptr;
  TPeSpinEdit* DpiSpin = nullptr;
  TPeCombo* DpiDeviceBox = nullptr;
  TPeCombo* UnitBox = nullptr;
  QLabel* ResTxt = nullptr;

protected:
  void done(int Result) override;

private:
  void CreateSizeControls();
  void CreateFilterGroup();
  void CreateResolutionControls();
  void ConnectHandlers();
  void SetStartSize();
  void SetAllSizes(double Factor);
  double FactorOf(TPeSpinEdit* Sender) const;
  int FormClose();

  TDib& Image;
  TSettings& S;
  int32_t ScreenDpi;
  int32_t ImgWidth, ImgHeight;
  int32_t ImageRes; // as the DPI spin can show it
  int32_t UserRes;
  bool Updating = false;
};
