#include "ConvPal.h"

#include <QLabel>
#include <algorithm>

#include "DsSpinEdit.h"
#include "DsVCL.h"
#include "PeQuant.h"

namespace {
constexpr int QuantCount = 4, NoneIndex = 4;
constexpr int32_t TagCustom = 2, FirstFixedTag = 4;

struct TColorChoice {
  const char* Caption;
  int32_t Colors; // 0: the spin's count
  int32_t Kind;
};
constexpr std::array<TColorChoice, 7> Choices{{
    {"adaptive 256", 256, pkAdaptive},
    {"adaptive 16", 16, pkAdaptive},
    {"adaptive", 0, pkAdaptive},
    {"system 20 + adaptive 236", 256, pkSystem20Adaptive},
    {"system 16", 16, pkSystem16},
    {"web 216", 216, pkWeb216},
    {"quantized 256", 256, pkQuantized256},
}};
// Box index to quantizer: the quick network samples every fourth pixel.
constexpr std::array<int32_t, QuantCount> Quantizers{qkMedianCut5, qkMedianCut6, qkNeuQuantQuick, qkNeuQuantSlow};
} // namespace

TConvPalForm::TConvPalForm(TConvertHost AHost, TDib& Shown, TSettings& ASettings, QWidget* Parent)
    : TStdConvertForm(std::move(AHost), Shown, Parent), S(ASettings) {
  setWindowTitle(QStringLiteral("Convert to indexed colors"));
  CreateColorGroup();
  CreateQuantizerGroup();
  DiffuseBox->SetItemIndex(std::clamp<int32_t>(S.PalDiffusion, 0, DiffuseBox->count() - 1));
  const int32_t Stored = std::clamp<int32_t>(S.PalQuantizer, 0, QuantCount - 1);
  QuantBox->SetItemIndex(Stored);
  LastQuantizer = Stored == 0 ? 1 : Stored;
  TPeRadioBox* Checked = ColRadios[size_t(std::clamp<int32_t>(S.PalColors, 0, int32_t(Choices.size()) - 1))];
  Checked->SetChecked(true);
  ColRadioClick(Checked);
  connect(DiffuseBox, &TPeCombo::OnChange, this, &TConvPalForm::EnablePreview);
  connect(QuantBox, &TPeCombo::OnChange, this, &TConvPalForm::QuantBoxChange);
  connect(PalSpin, &TPeSpinEdit::OnChange, this, &TConvPalForm::EnablePreview);
}

void TConvPalForm::CreateColorGroup() {
  GroupBox1->SetCaption(QStringLiteral("Colors"));
  for (size_t I = 0; I < Choices.size(); ++I) {
    auto* Radio = new TPeRadioBox(QLatin1String(Choices[I].Caption), GroupBox1);
    Radio->setObjectName(QStringLiteral("cb%1").arg(I));
    SetTag(Radio, int(I));
    Radio->setGeometry(10, 24 + 22 * int(I), 170, 18);
    connect(Radio, &QAbstractButton::clicked, this, [this, Radio] { ColRadioClick(Radio); });
    ColRadios[I] = Radio;
  }
  PalSpin = new TPeSpinEdit(GroupBox1);
  PalSpin->setObjectName(QStringLiteral("PalSpin"));
  PalSpin->SetMinValue(2);
  PalSpin->SetMaxValue(256);
  PalSpin->SetValue(std::clamp<int32_t>(S.PalCustomCount, 2, 256));
  PalSpin->setGeometry(100, 24 + 22 * TagCustom - 2, 60, 21);
}

void TConvPalForm::CreateQuantizerGroup() {
  GroupBox2->SetCaption(QStringLiteral("Adaptive Color Quantizer"));
  QuantBox = new TPeCombo(GroupBox2);
  QuantBox->setObjectName(QStringLiteral("QuantBox"));
  QuantBox->SetReadOnly(true);
  QuantBox->SetItems({QStringLiteral("Median Cut (5 bit)"), QStringLiteral("Median Cut (6 bit)"),
                      QStringLiteral("NeuQuant (quick learning)"), QStringLiteral("NeuQuant (slow learning)")});
  QuantBox->setGeometry(10, 24, GroupBox2->width() - 20, 21);
  QuantText = new QLabel(QStringLiteral("The NeuQuant produces in most cases better results than the Median Cut, but "
                                        "only if used for at least 64 colors. "),
                         GroupBox2);
  QuantText->setWordWrap(true);
  QuantText->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  QuantText->setGeometry(10, 54, GroupBox2->width() - 20, GroupBox2->height() - 62);
}

int32_t TConvPalForm::ColorChoice() const {
  for (size_t I = 0; I < ColRadios.size(); ++I)
    if (ColRadios[I]->Checked())
      return int32_t(I);
  return 0;
}

void TConvPalForm::ColRadioClick(TPeRadioBox* Sender) {
  EnablePreview();
  const int32_t T = Tag(Sender);
  PalSpin->setEnabled(T == TagCustom);
  if (T >= FirstFixedTag) {
    if (QuantBox->isEnabled()) {
      LastQuantizer = QuantBox->ItemIndex();
      QuantBox->addItem(QStringLiteral("None"));
      QuantBox->SetItemIndex(NoneIndex);
      QuantBox->setEnabled(false);
    }
  } else if (!QuantBox->isEnabled()) {
    QuantBox->setEnabled(true);
    QuantBox->SetItemIndex(LastQuantizer);
    QuantBox->removeItem(NoneIndex);
  }
}

void TConvPalForm::QuantBoxChange() {
  if (const int I = QuantBox->ItemIndex(); I >= 0 && I < NoneIndex)
    LastQuantizer = I;
  EnablePreview();
}

TStdConvertForm::TConversion TConvPalForm::Conversion() const {
  const TColorChoice& C = Choices[size_t(ColorChoice())];
  const int32_t Colors = C.Colors ? C.Colors : PalSpin->Value();
  const int I = QuantBox->ItemIndex();
  const int32_t Quantizer = QuantBox->isEnabled() && I >= 0 && I < QuantCount ? Quantizers[size_t(I)] : 0;
  const int32_t Diffusion = DiffuseBox->ItemIndex();
  const int32_t Kind = C.Kind;
  return [=](const TDib& Src, std::unique_ptr<TDib>& Dst, const TProgressFn& Progress) {
    ConvertToIndexed(Src, Dst, Colors, Diffusion, Kind, Quantizer, Progress);
  };
}

void TConvPalForm::StoreSettings() {
  S.PalColors = ColorChoice();
  S.PalCustomCount = PalSpin->Value();
  S.PalQuantizer = LastQuantizer;
  S.PalDiffusion = DiffuseBox->ItemIndex();
}
