#pragma once
#include <array>
#include <cstdint>

#include "Tune.h"

class TPeCheckBox;
class TPeGroupBox;
class TSlider;

// Brightness, contrast and gamma of each channel through the base's three
// lookup tables. A group's lock box moves its three sliders together.
class TTuneRgbForm : public TTuneForm {
  Q_OBJECT
public:
  explicit TTuneRgbForm(const TDib& Source, QWidget* Parent = nullptr);

  void RBrightChange() { TrackChange(Bright, 0); }
  void GBrightChange() { TrackChange(Bright, 1); }
  void BBrightChange() { TrackChange(Bright, 2); }
  void RContChange() { TrackChange(Cont, 0); }
  void GContChange() { TrackChange(Cont, 1); }
  void BContChange() { TrackChange(Cont, 2); }
  void RGammaChange() { TrackChange(Gamma, 0); }
  void GGammaChange() { TrackChange(Gamma, 1); }
  void BGammaChange() { TrackChange(Gamma, 2); }
  void BrightSliderSwitch(TSlider* Sender, bool Right) { SliderSwitch(Bright, Sender, Right); }
  void ContSliderSwitch(TSlider* Sender, bool Right) { SliderSwitch(Cont, Sender, Right); }
  void GammaSliderSwitch(TSlider* Sender, bool Right) { SliderSwitch(Gamma, Sender, Right); }
  void ResetBtnClick();
  // Channel 0 red, 1 green, 2 blue.
  void BuildChannelTable(int32_t Channel);
  void UpdateButtons();

  TPeGroupBox* PeGroupBox1 = nullptr;
  TPeGroupBox* PeGroupBox2 = nullptr;
  TPeGroupBox* PeGroupBox3 = nullptr;
  TSlider* RBrightTrack = nullptr;
  TSlider* GBrightTrack = nullptr;
  TSlider* BBrightTrack = nullptr;
  TSlider* RContTrack = nullptr;
  TSlider* GContTrack = nullptr;
  TSlider* BContTrack = nullptr;
  TSlider* RGammaTrack = nullptr;
  TSlider* GGammaTrack = nullptr;
  TSlider* BGammaTrack = nullptr;
  TPeCheckBox* BrightLock = nullptr;
  TPeCheckBox* ContLock = nullptr;
  TPeCheckBox* GammaLock = nullptr;

  TLut GammaR = IdentityLut(), GammaG = IdentityLut(), GammaB = IdentityLut();
  // Group by group (brightness, contrast, gamma), red, green, blue in each.
  std::array<int32_t, 9> LastPos{0, 0, 0, 100, 100, 100, 100, 100, 100};
  bool Linking = false;

private:
  enum TGroup { Bright, Cont, Gamma };

  TSlider* Track(int Group, int Channel) const;
  TPeCheckBox* Lock(int Group) const;
  TLut& ChannelLut(int Channel);
  TLut& GammaLut(int Channel);
  void CreateGroup(int Group, int Left);
  void AdaptToGray();
  void ConnectHandlers();
  void TrackChange(int Group, int Channel);
  void SliderSwitch(int Group, TSlider* Sender, bool Right);
};
