#pragma once
#include <array>
#include <cstdint>

#include "Settings.h"
#include "StdConvert.h"

class QLabel;
class TPeRadioBox;
class TPeSpinEdit;

// "Convert to gray scales": the number of levels, the weights of red,
// green and blue (a preset or custom) and the error diffusion.
class TConvGrayForm : public TStdConvertForm {
  Q_OBJECT
public:
  TConvGrayForm(TConvertHost AHost, TDib& Shown, TSettings& ASettings, QWidget* Parent = nullptr);

  void SpinChange(TPeSpinEdit* Sender);
  void CTypeBoxChange();
  void SclRadioClick(TPeRadioBox* Sender);
  void DiffuseBoxChange();

  // The level count the checked radio box stands for.
  int32_t Levels() const;

  TPeRadioBox* Radio256 = nullptr;
  TPeRadioBox* Radio64 = nullptr;
  TPeRadioBox* Radio16 = nullptr;
  TPeRadioBox* Radio8 = nullptr;
  TPeRadioBox* RadioMono = nullptr;
  TPeRadioBox* RadioCust = nullptr;
  TPeSpinEdit* CustSpin = nullptr;
  TPeCombo* CTypeBox = nullptr;
  TPeSpinEdit* RSpin = nullptr;
  TPeSpinEdit* GSpin = nullptr;
  TPeSpinEdit* BSpin = nullptr;
  QLabel* CSumLbl = nullptr;
  int32_t CustRed = 0, CustGreen = 0, CustBlue = 0;
  int32_t LastDiffusion = 0;

protected:
  TConversion Conversion() const override;
  void StoreSettings() override;

private:
  void CreateScaleGroup();
  void CreateMethodGroup();
  TPeRadioBox* RadioFor(int32_t Count) const;

  TSettings& S;
  std::array<TPeRadioBox*, 6> Radios{};
  // Set while a preset fills the spins.
  bool Filling = false;
};
