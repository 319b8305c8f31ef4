#pragma once
#include "Tune.h"

class THistoBox;
class TPeGroupBox;

// The "Histogram" tuning dialog: each channel's histogram of the whole
// image, and a linear stretch of each channel between its chosen minimum
// and maximum level.
class TTuneHistoForm : public TTuneForm {
  Q_OBJECT
public:
  explicit TTuneHistoForm(const TDib& Source, QWidget* Parent = nullptr);

  void RBoxSwitch(THistoBox* Sender, int Lo, int Hi);
  void GBoxSwitch(THistoBox* Sender, int Lo, int Hi);
  void BBoxSwitch(THistoBox* Sender, int Lo, int Hi);
  void ResetBtnClick();

  TPeGroupBox* PeGroupBox1 = nullptr;
  THistoBox* RBox = nullptr;
  THistoBox* GBox = nullptr;
  THistoBox* BBox = nullptr;

private:
  void CreateBoxes();
  void ShowHistogram(const TDib& Source);
  void UpdateButtons();

  // A gray image has one histogram, and its red levels drive all three
  // tables so that the preview stays gray.
  bool Gray = false;
};
