#include "ConvGray.h"

#include <QLabel>
#include <algorithm>

#include "DsSpinEdit.h"
#include "DsVCL.h"
#include "PeQuant.h"

namespace {
enum TWeighting { wtCustom, wtCie, wtNtsc, wtOpenGl };
constexpr int32_t TagAll = 0, TagCustom = 5;
// Levels by Tag; the custom count comes from the spin.
constexpr std::array<int32_t, 5> LevelCounts{256, 64, 16, 8, 2};

struct TWeights {
  int32_t R, G, B;
};
constexpr std::array<TWeights, 4> Presets{{{0, 0, 0}, {21, 72, 7}, {30, 59, 11}, {33, 33, 33}}};

void SetTextColor(QWidget* W, const QColor& C) {
  QPalette P = W->palette();
  P.setColor(QPalette::Text, C);
  W->setPalette(P);
}
} // namespace

TConvGrayForm::TConvGrayForm(TConvertHost AHost, TDib& Shown, TSettings& ASettings, QWidget* Parent)
    : TStdConvertForm(std::move(AHost), Shown, Parent), S(ASettings) {
  setWindowTitle(QStringLiteral("Convert to gray scales"));
  CreateScaleGroup();
  CreateMethodGroup();
  LastDiffusion = std::clamp<int32_t>(S.GrayDiffusion, 0, DiffuseBox->count() - 1);
  DiffuseBox->SetItemIndex(LastDiffusion);
  TPeRadioBox* Checked = RadioFor(S.GrayLevels);
  if (Checked == RadioCust)
    CustSpin->SetValue(S.GrayLevels);
  Checked->SetChecked(true);
  SclRadioClick(Checked);
  CustRed = S.GrayRed;
  CustGreen = S.GrayGreen;
  CustBlue = S.GrayBlue;
  CTypeBox->SetItemIndex(std::clamp<int32_t>(S.GrayWeighting, wtCustom, wtOpenGl));
  CTypeBoxChange();
  SpinChange(BSpin);
  connect(CTypeBox, &TPeCombo::OnChange, this, &TConvGrayForm::CTypeBoxChange);
  connect(DiffuseBox, &TPeCombo::OnChange, this, &TConvGrayForm::DiffuseBoxChange);
  for (TPeSpinEdit* Spin : {RSpin, GSpin, BSpin})
    connect(Spin, &TPeSpinEdit::OnChange, this, &TConvGrayForm::SpinChange);
  connect(CustSpin, &TPeSpinEdit::OnChange, this, &TConvGrayForm::EnablePreview);
}

void TConvGrayForm::CreateScaleGroup() {
  GroupBox1->SetCaption(QStringLiteral("Scales"));
  const std::array<const char*, 6> Captions{"256", "64", "16", "8", "monochrome", "custom"};
  const std::array<TPeRadioBox**, 6> Fields{&Radio256, &Radio64, &Radio16, &Radio8, &RadioMono, &RadioCust};
  const std::array<const char*, 6> Names{"Radio256", "Radio64", "Radio16", "Radio8", "RadioMono", "RadioCust"};
  for (size_t I = 0; I < Radios.size(); ++I) {
    auto* Radio = new TPeRadioBox(QLatin1String(Captions[I]), GroupBox1);
    Radio->setObjectName(QLatin1String(Names[I]));
    SetTag(Radio, int(I));
    Radio->setGeometry(10, 24 + 24 * int(I), 100, 18);
    connect(Radio, &QAbstractButton::clicked, this, [this, Radio] { SclRadioClick(Radio); });
    *Fields[I] = Radio;
    Radios[I] = Radio;
  }
  CustSpin = NewSpinEdit(GroupBox1, "CustSpin", 3, 256, QRect(90, 24 + 24 * TagCustom - 2, 60, 21));
  CustSpin->SetValue(4);
}

void TConvGrayForm::CreateMethodGroup() {
  GroupBox2->SetCaption(QStringLiteral("Method"));
  CTypeBox = new TPeCombo(GroupBox2);
  CTypeBox->setObjectName(QStringLiteral("CTypeBox"));
  CTypeBox->SetReadOnly(true);
  CTypeBox->SetItems(
      {QStringLiteral("Custom"), QStringLiteral("CIE"), QStringLiteral("NTSC"), QStringLiteral("OpenGL")});
  CTypeBox->setGeometry(10, 24, GroupBox2->width() - 20, 21);
  const int SpinWidth = (GroupBox2->width() - 20 - 2 * 6) / 3;
  const auto Place = [&](int I) { return QRect(10 + I * (SpinWidth + 6), 60, SpinWidth, 21); };
  RSpin = NewSpinEdit(GroupBox2, "RSpin", 0, 100, Place(0));
  GSpin = NewSpinEdit(GroupBox2, "GSpin", 0, 100, Place(1));
  BSpin = NewSpinEdit(GroupBox2, "BSpin", 0, 100, Place(2));
  SetTextColor(RSpin, Qt::red);
  SetTextColor(GSpin, QColor(0, 0x80, 0));
  SetTextColor(BSpin, Qt::blue);
  CSumLbl = new QLabel(GroupBox2);
  CSumLbl->setObjectName(QStringLiteral("CSumLbl"));
  CSumLbl->setAlignment(Qt::AlignCenter);
  CSumLbl->setGeometry(10, 94, GroupBox2->width() - 20, 18);
}

TPeRadioBox* TConvGrayForm::RadioFor(int32_t Count) const {
  const auto* It = std::find(LevelCounts.begin(), LevelCounts.end(), Count);
  return It == LevelCounts.end() ? RadioCust : Radios[size_t(It - LevelCounts.begin())];
}

int32_t TConvGrayForm::Levels() const {
  for (size_t I = 0; I < LevelCounts.size(); ++I)
    if (Radios[I]->Checked())
      return LevelCounts[I];
  return CustSpin->Value();
}

void TConvGrayForm::CTypeBoxChange() {
  const int I = CTypeBox->ItemIndex();
  const TWeights W = I > wtCustom && I <= wtOpenGl ? Presets[size_t(I)] : TWeights{CustRed, CustGreen, CustBlue};
  Filling = true;
  RSpin->SetValue(W.R);
  GSpin->SetValue(W.G);
  BSpin->SetValue(W.B);
  Filling = false;
  // A spin keeping its value says nothing, so the label is brought up to
  // date here once all three are set.
  SpinChange(BSpin);
  EnablePreview();
}

void TConvGrayForm::SpinChange(TPeSpinEdit* Sender) {
  if (Filling && Sender != BSpin)
    return;
  const TWeights W{RSpin->Value(), GSpin->Value(), BSpin->Value()};
  int Choice = wtCustom;
  for (int I = wtCie; I <= wtOpenGl; ++I)
    if (W.R == Presets[size_t(I)].R && W.G == Presets[size_t(I)].G && W.B == Presets[size_t(I)].B)
      Choice = I;
  if (Choice == wtCustom) {
    CustRed = W.R;
    CustGreen = W.G;
    CustBlue = W.B;
  }
  CTypeBox->SetItemIndex(Choice);
  const int32_t Total = Choice == wtOpenGl ? 100 : W.R + W.G + W.B;
  CSumLbl->setText(QStringLiteral("total: %1 %").arg(Total));
  EnablePreview();
}

void TConvGrayForm::SclRadioClick(TPeRadioBox* Sender) {
  const int32_t T = Tag(Sender);
  if (T == TagAll) {
    if (DiffuseBox->isEnabled())
      LastDiffusion = DiffuseBox->ItemIndex();
    DiffuseBox->SetItemIndex(0);
    DiffuseBox->setEnabled(false);
  } else if (!DiffuseBox->isEnabled()) {
    DiffuseBox->SetItemIndex(LastDiffusion);
    DiffuseBox->setEnabled(true);
  }
  CustSpin->setEnabled(T == TagCustom);
  EnablePreview();
}

void TConvGrayForm::DiffuseBoxChange() {
  EnablePreview();
  LastDiffusion = DiffuseBox->ItemIndex();
}

TStdConvertForm::TConversion TConvGrayForm::Conversion() const {
  const int32_t N = Levels(), Diffusion = DiffuseBox->ItemIndex();
  const int32_t R = RSpin->Value(), G = GSpin->Value(), B = BSpin->Value();
  return [=](const TDib& Src, std::unique_ptr<TDib>& Dst, const TProgressFn& Progress) {
    ConvertToGray(Src, Dst, N, Diffusion, B, G, R, Progress);
  };
}

void TConvGrayForm::StoreSettings() {
  S.GrayLevels = Levels();
  S.GrayWeighting = CTypeBox->ItemIndex();
  S.GrayRed = CustRed;
  S.GrayGreen = CustGreen;
  S.GrayBlue = CustBlue;
  S.GrayDiffusion = DiffuseBox->ItemIndex();
}
