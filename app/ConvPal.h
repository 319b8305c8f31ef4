#pragma once
#include <array>
#include <cstdint>

#include "Settings.h"
#include "StdConvert.h"

class QLabel;
class TPeRadioBox;
class TPeSpinEdit;

// "Convert to indexed colors": an adaptive or fixed palette, the adaptive
// quantizer and the error diffusion.
class TConvPalForm : public TStdConvertForm {
  Q_OBJECT
public:
  TConvPalForm(TConvertHost AHost, TDib& Shown, TSettings& ASettings, QWidget* Parent = nullptr);

  void ColRadioClick(TPeRadioBox* Sender);
  void QuantBoxChange();

  // The radio boxes cb0..cb6, by Tag.
  std::array<TPeRadioBox*, 7> ColRadios{};
  TPeSpinEdit* PalSpin = nullptr;
  TPeCombo* QuantBox = nullptr;
  QLabel* QuantText = nullptr;
  int32_t LastQuantizer = 0;

  // The Tag of the checked radio box.
  int32_t ColorChoice() const;

protected:
  TConversion Conversion() const override;
  void StoreSettings() override;

private:
  void CreateColorGroup();
  void CreateQuantizerGroup();

  TSettings& S;
};
