#include "TuneRgb.h"

#include "DsSlider.h"
#include "DsVCL.h"

namespace {

constexpr int GroupTop = 8, GroupHeight = PreviewSide + 2, GroupGap = 6, FirstGroupLeft = PreviewSide + 18;
constexpr int TrackWidth = 26, GrayTrackWidth = 35, TrackGap = 5, TrackMargin = 8, TrackTop = 22;
constexpr int LockWidth = 44, LockHeight = 18, LockBottom = 6;
constexpr int GroupWidth = 2 * TrackMargin + 3 * TrackWidth + 2 * TrackGap;
constexpr int FormWidth = FirstGroupLeft + 3 * GroupWidth + 2 * GroupGap + 8;
constexpr int FormHeight = GroupTop + GroupHeight + 8 + 25 + 8;

struct TGroupLook {
  const char* Caption;
  int32_t Min, Max, Default;
  bool Sign;
  int32_t Digit;
  // The channel's level at the bottom and the top; the other channels reach
  // Tint at the top, so the light end is a pale shade rather than pure.
  int Dark, Light, Tint;
  QRgb GrayDark, GrayLight;
};

const TGroupLook Looks[3] = {
    {"Brightness", -127, 127, 0, true, 0, 0x3F, 0xFF, 0x60, 0x3F3F3F, 0xA0A0A0},
    {"Contrast", 0, 400, 100, false, 0, 0x3F, 0xFF, 0x90, 0x3F3F3F, 0xC0C0C0},
    {"Gamma", 1, 400, 100, false, 2, 0x1F, 0xFF, 0x50, 0x1F1F1F, 0xB0B0B0},
};
const char* const TrackNames[3][3] = {
    {"RBrightTrack", "GBrightTrack", "BBrightTrack"},
    {"RContTrack", "GContTrack", "BContTrack"},
    {"RGammaTrack", "GGammaTrack", "BGammaTrack"},
};

constexpr TSlider* TTuneRgbForm::*TrackMembers[3][3] = {
    {&TTuneRgbForm::RBrightTrack, &TTuneRgbForm::GBrightTrack, &TTuneRgbForm::BBrightTrack},
    {&TTuneRgbForm::RContTrack, &TTuneRgbForm::GContTrack, &TTuneRgbForm::BContTrack},
    {&TTuneRgbForm::RGammaTrack, &TTuneRgbForm::GGammaTrack, &TTuneRgbForm::BGammaTrack},
};
constexpr TPeGroupBox* TTuneRgbForm::*GroupMembers[3] = {&TTuneRgbForm::PeGroupBox1, &TTuneRgbForm::PeGroupBox2,
                                                         &TTuneRgbForm::PeGroupBox3};
constexpr TPeCheckBox* TTuneRgbForm::*LockMembers[3] = {&TTuneRgbForm::BrightLock, &TTuneRgbForm::ContLock,
                                                        &TTuneRgbForm::GammaLock};
const char* const LockNames[3] = {"BrightLock", "ContLock", "GammaLock"};

QColor ChannelShade(int Channel, int Level, int Others) {
  int Rgb[3] = {Others, Others, Others};
  Rgb[Channel] = Level;
  return {Rgb[0], Rgb[1], Rgb[2]};
}

} // namespace

TTuneRgbForm::TTuneRgbForm(const TDib& Source, QWidget* Parent) : TTuneForm(Source, Parent) {
  for (int G = 0; G < 3; ++G)
    CreateGroup(G, FirstGroupLeft + G * (GroupWidth + GroupGap));
  if (Source.IsGray)
    AdaptToGray();
  SetClientSize(FormWidth, FormHeight);
  OnPreviewChanged = [this] { UpdateButtons(); };
  // Connected once every slider sits at its default, so that the set-up
  // itself links nothing.
  ConnectHandlers();
  ResetBtnClick();
  // The keys move a slider from the start, as the first control in the tab order.
  (Source.IsGray ? GBrightTrack : RBrightTrack)->setFocus();
}

TSlider* TTuneRgbForm::Track(int Group, int Channel) const { return this->*TrackMembers[Group][Channel]; }

TPeCheckBox* TTuneRgbForm::Lock(int Group) const { return this->*LockMembers[Group]; }

TLut& TTuneRgbForm::ChannelLut(int Channel) { return Channel == 0 ? LutR : Channel == 1 ? LutG : LutB; }

TLut& TTuneRgbForm::GammaLut(int Channel) { return Channel == 0 ? GammaR : Channel == 1 ? GammaG : GammaB; }

void TTuneRgbForm::CreateGroup(int Group, int Left) {
  const TGroupLook& Look = Looks[Group];
  auto* Box = new TPeGroupBox(QLatin1String(Look.Caption), this);
  Box->setObjectName(QStringLiteral("PeGroupBox%1").arg(Group + 1));
  Box->setGeometry(Left, GroupTop, GroupWidth, GroupHeight);
  this->*GroupMembers[Group] = Box;

  const int LockTop = GroupHeight - LockBottom - LockHeight;
  for (int C = 0; C < 3; ++C) {
    auto* S = new TSlider(Box);
    S->setObjectName(QLatin1String(TrackNames[Group][C]));
    S->setGeometry(TrackMargin + C * (TrackWidth + TrackGap), TrackTop, TrackWidth, LockTop - 4 - TrackTop);
    S->SetMax(Look.Max);
    S->SetMin(Look.Min);
    S->SetPosDefault(Look.Default);
    S->SetPosition(Look.Default);
    S->SetTextSign(Look.Sign);
    S->SetDigit(Look.Digit);
    S->SetExtension(QString());
    S->SetMinColor(ChannelShade(C, Look.Dark, 0));
    S->SetMaxColor(ChannelShade(C, Look.Light, Look.Tint));
    SetTag(S, C + 1);
    this->*TrackMembers[Group][C] = S;
  }

  auto* L = new TPeCheckBox(QStringLiteral("lock"), Box);
  L->setObjectName(QLatin1String(LockNames[Group]));
  L->setGeometry((GroupWidth - LockWidth) / 2, LockTop, LockWidth, LockHeight);
  L->SetChecked(true);
  this->*LockMembers[Group] = L;
}

// One visible slider per group; the hidden red and blue ones follow it
// through their locks, which stay checked, so all three tables stay equal.
void TTuneRgbForm::AdaptToGray() {
  for (int G = 0; G < 3; ++G) {
    Track(G, 0)->hide();
    Track(G, 2)->hide();
    Lock(G)->hide();
    Lock(G)->SetChecked(true);
    TSlider* S = Track(G, 1);
    SetTag(S, 0);
    S->SetMinColor(QColor::fromRgb(Looks[G].GrayDark));
    S->SetMaxColor(QColor::fromRgb(Looks[G].GrayLight));
    S->setGeometry((GroupWidth - GrayTrackWidth) / 2, S->y(), GrayTrackWidth, S->height());
  }
}

void TTuneRgbForm::ConnectHandlers() {
  using THandler = void (TTuneRgbForm::*)();
  const THandler Changes[3][3] = {
      {&TTuneRgbForm::RBrightChange, &TTuneRgbForm::GBrightChange, &TTuneRgbForm::BBrightChange},
      {&TTuneRgbForm::RContChange, &TTuneRgbForm::GContChange, &TTuneRgbForm::BContChange},
      {&TTuneRgbForm::RGammaChange, &TTuneRgbForm::GGammaChange, &TTuneRgbForm::BGammaChange},
  };
  using TSwitch = void (TTuneRgbForm::*)(TSlider*, bool);
  const TSwitch Switches[3] = {&TTuneRgbForm::BrightSliderSwitch, &TTuneRgbForm::ContSliderSwitch,
                               &TTuneRgbForm::GammaSliderSwitch};
  for (int G = 0; G < 3; ++G)
    for (int C = 0; C < 3; ++C) {
      connect(Track(G, C), &TSlider::OnSwitch, this, Changes[G][C]);
      connect(Track(G, C), &TSlider::OnSwitchFocus, this, Switches[G]);
    }
  connect(ResetBtn, &QAbstractButton::clicked, this, &TTuneRgbForm::ResetBtnClick);
}

void TTuneRgbForm::BuildChannelTable(int32_t Channel) {
  ChannelLut(Channel) =
      ChannelTable(Track(Bright, Channel)->Position(), Track(Cont, Channel)->Position(), GammaLut(Channel));
}

void TTuneRgbForm::TrackChange(int Group, int Channel) {
  TSlider* S = Track(Group, Channel);
  if (Group == Gamma)
    GammaLut(Channel) = GammaTable(S->Position());
  BuildChannelTable(Channel);
  int32_t& Last = LastPos[size_t(Group * 3 + Channel)];
  if (!Linking) {
    const int32_t Delta = S->Position() - Last;
    Linking = true;
    if (Lock(Group)->Checked())
      for (int Other = 0; Other < 3; ++Other)
        if (Other != Channel)
          Track(Group, Other)->SetPosition(Track(Group, Other)->Position() + Delta);
    UpdatePreview();
    Linking = false;
  }
  Last = S->Position();
}

void TTuneRgbForm::SliderSwitch(int Group, TSlider* Sender, bool Right) {
  const int From = Tag(Sender);
  int To = 0;
  if (From == 1 && Right)
    To = 2;
  else if (From == 2)
    To = Right ? 3 : 1;
  else if (From == 3 && !Right)
    To = 2;
  if (To != 0)
    Track(Group, To - 1)->setFocus(Qt::TabFocusReason);
}

// A slider already at its default sends no change, so the tables are built
// here for all of them.
void TTuneRgbForm::ResetBtnClick() {
  Linking = true;
  for (int G = 0; G < 3; ++G)
    for (int C = 0; C < 3; ++C) {
      TSlider* S = Track(G, C);
      S->SetPosition(S->PosDefault());
      LastPos[size_t(G * 3 + C)] = S->Position();
    }
  for (int C = 0; C < 3; ++C) {
    GammaLut(C) = GammaTable(Track(Gamma, C)->Position());
    BuildChannelTable(C);
  }
  UpdatePreview();
  Linking = false;
}

void TTuneRgbForm::UpdateButtons() {
  bool Changed = false;
  for (int G = 0; G < 3; ++G)
    for (int C = 0; C < 3; ++C)
      Changed = Changed || Track(G, C)->Position() != Track(G, C)->PosDefault();
  ApplyBtn->setEnabled(Changed);
  ResetBtn->setEnabled(Changed);
}
