// The PNG and TIFF save option dialogs, each with several groups.
#include <QLabel>
#include <QSlider>
#include <algorithm>

#include "DsVCL.h"
#include "SaveOptions.h"
#include "XPng.h"

namespace {
constexpr int PngWidth = 182, PngHeight = 269;
constexpr int TifWidth = 186, TifHeight = 290;
constexpr int MaxPngLevel = 9;
constexpr int32_t Strip8k = 8192, Strip16k = 16384, Strip32k = 32768;
constexpr uint8_t TifNone = 0, TifLzw = 3, TifLzwPredict = 4, TifLz77 = 12;

TPeGroupBox* AddGroup(QWidget* Parent, const char* Name, const QString& Caption, const QRect& Place) {
  auto* Group = new TPeGroupBox(Caption, Parent);
  Group->setObjectName(QLatin1String(Name));
  Group->setGeometry(Place);
  return Group;
}

QString LevelText(int Level) {
  switch (Level) {
  case 0: return QStringLiteral("0 (uncompressed)");
  case 1: return QStringLiteral("1 (minimum)");
  case 6: return QStringLiteral("6 (default)");
  case MaxPngLevel: return QStringLiteral("9 (maximum)");
  default: return QString::number(Level);
  }
}
} // namespace

TSavePngForm::TSavePngForm(TSettings& ASettings, QWidget* Parent)
    : TSaveOptionsForm(ASettings, QStringLiteral("Save PNG options"), QStringLiteral("Compression"), Parent) {
  SetClientSize(PngWidth, PngHeight);
  PlaceGroup1({8, 8, 166, 64});
  AddLabel(GroupBox1, QStringLiteral("ratio:"), {10, 20, 40, 17});
  Label2 = AddLabel(GroupBox1, QString(), {50, 20, 110, 17});
  Label2->setObjectName(QStringLiteral("Label2"));
  Track = new QSlider(Qt::Horizontal, GroupBox1);
  Track->setObjectName(QStringLiteral("Track"));
  Track->setRange(0, MaxPngLevel);
  Track->setPageStep(1);
  Track->setTickPosition(QSlider::TicksBelow);
  Track->setTickInterval(1);
  Track->setGeometry(6, 36, 154, 26);

  PeGroupBox2 = AddGroup(this, "PeGroupBox2", QStringLiteral("Filter"), {8, 78, 166, 92});
  SubBox = AddCheck(PeGroupBox2, "SubBox", QStringLiteral("&Sub"), {10, 20, 80, 17});
  UpBox = AddCheck(PeGroupBox2, "UpBox", QStringLiteral("&Up"), {10, 37, 80, 17});
  AverageBox = AddCheck(PeGroupBox2, "AverageBox", QStringLiteral("&Average"), {10, 54, 80, 17});
  PaethBox = AddCheck(PeGroupBox2, "PaethBox", QStringLiteral("&Paeth"), {10, 71, 80, 17});
  PeGroupBox3 = AddGroup(this, "PeGroupBox3", QStringLiteral("Interlaced"), {8, 176, 166, 50});
  IntBox = AddCheck(PeGroupBox3, "IntBox", QStringLiteral("Adam&7"), {10, 24, 80, 17});

  Track->setValue(std::clamp<int32_t>(S.PngCompressionLevel, 0, MaxPngLevel));
  IntBox->SetChecked(S.PngInterlaced);
  SubBox->SetChecked(S.PngFilters & pngFilterSub);
  UpBox->SetChecked(S.PngFilters & pngFilterUp);
  AverageBox->SetChecked(S.PngFilters & pngFilterAverage);
  PaethBox->SetChecked(S.PngFilters & pngFilterPaeth);
  connect(Track, &QSlider::valueChanged, this, &TSavePngForm::TrackChange);
  TrackChange();
  Track->setFocus();
}

void TSavePngForm::EnableFilters(bool Enabled) {
  for (TPeCheckBox* Box : {SubBox, UpBox, AverageBox, PaethBox})
    Box->setEnabled(Enabled);
}

void TSavePngForm::TrackChange() {
  Label2->setText(LevelText(Track->value()));
  if (Mode == 1)
    EnableFilters(Track->value() > 0);
}

void TSavePngForm::SetMode(int32_t AMode) {
  Mode = std::clamp<int32_t>(AMode, 0, 2);
  switch (Mode) {
  case 0: EnableFilters(false); break;
  case 1: EnableFilters(Track->value() > 0); break;
  default:
    for (TPeCheckBox* Box : {SubBox, AverageBox, PaethBox})
      Box->hide();
    UpBox->SetCaption(QStringLiteral("&Optimize palette"));
    UpBox->resize(112, UpBox->height());
    UpBox->setEnabled(true);
    UpBox->SetChecked(S.PngOptimizePalette);
    PeGroupBox2->SetCaption(QStringLiteral("Color table"));
    break;
  }
}

int32_t TSavePngForm::FiltersInUse() const {
  if (Mode != 1)
    return Mode;
  return Track->value() > 0 ? 1 : 0;
}

void TSavePngForm::FormClose() {
  S.PngCompressionLevel = Track->value();
  S.PngInterlaced = IntBox->Checked();
  uint8_t Filters = pngFilterNone;
  if (Mode == 1) {
    const std::pair<TPeCheckBox*, uint8_t> Bits[] = {
        {SubBox, pngFilterSub}, {UpBox, pngFilterUp}, {AverageBox, pngFilterAverage}, {PaethBox, pngFilterPaeth}};
    for (const auto& [Box, Bit] : Bits)
      if (Box->Checked())
        Filters |= Bit;
  }
  S.PngFilters = Filters;
  if (Mode == 2)
    S.PngOptimizePalette = UpBox->Checked();
}

TSaveTifForm::TSaveTifForm(TSettings& ASettings, QWidget* Parent)
    : TSaveOptionsForm(ASettings, QStringLiteral("Save TIFF options"), QStringLiteral("File type"), Parent) {
  SetClientSize(TifWidth, TifHeight);
  PlaceGroup1({8, 8, 170, 48});
  RBPc = AddRadio(GroupBox1, "RBPc", QStringLiteral("&PC"), {10, 22, 70, 17});
  RBMac = AddRadio(GroupBox1, "RBMac", QStringLiteral("&Mac"), {90, 22, 70, 17});
  PeGroupBox1 = AddGroup(this, "PeGroupBox1", QStringLiteral("Strip size"), {8, 62, 170, 84});
  Rb8k = AddRadio(PeGroupBox1, "Rb8k", QStringLiteral("8 KByte"), {10, 20, 100, 17});
  Rb16k = AddRadio(PeGroupBox1, "Rb16k", QStringLiteral("16 KByte"), {10, 40, 100, 17});
  Rb32k = AddRadio(PeGroupBox1, "Rb32k", QStringLiteral("32 KByte"), {10, 60, 100, 17});
  PeGroupBox2 = AddGroup(this, "PeGroupBox2", QStringLiteral("Compression"), {8, 152, 170, 97});
  RbNoCmp = AddRadio(PeGroupBox2, "RbNoCmp", QStringLiteral("&None"), {10, 22, 70, 17});
  RbLzwCmp = AddRadio(PeGroupBox2, "RbLzwCmp", QStringLiteral("&LZW"), {10, 46, 60, 17});
  PredictBox = AddCheck(PeGroupBox2, "PredictBox", QStringLiteral("Pre&diction"), {74, 46, 90, 17});
  RbZZCmp = AddRadio(PeGroupBox2, "RbZZCmp", QStringLiteral("&LZ77"), {10, 70, 70, 17});

  (S.TifBigEndian ? RBMac : RBPc)->SetChecked(true);
  (S.TifStripSize == Strip8k ? Rb8k : S.TifStripSize == Strip16k ? Rb16k : Rb32k)->SetChecked(true);
  switch (S.TifCompression) {
  case TifNone: RbNoCmp->SetChecked(true); break;
  case TifLzw:
  case TifLzwPredict: RbLzwCmp->SetChecked(true); break;
  case TifLz77: RbZZCmp->SetChecked(true); break;
  default: break;
  }
  PredictBox->SetChecked(true);
  PredictBox->setEnabled(RbLzwCmp->Checked());
  connect(RbLzwCmp, &QAbstractButton::clicked, this, &TSaveTifForm::RbLzwCmpClick);
  connect(RbNoCmp, &QAbstractButton::clicked, this, &TSaveTifForm::RbNoCmpClick);
  connect(RbZZCmp, &QAbstractButton::clicked, this, &TSaveTifForm::RbNoCmpClick);
}

void TSaveTifForm::SetPrediction(bool Allowed) {
  PredictionAllowed = Allowed;
  PredictBox->setEnabled(RbLzwCmp->Checked() && Allowed);
}

void TSaveTifForm::RbLzwCmpClick() { PredictBox->setEnabled(PredictionAllowed); }

void TSaveTifForm::RbNoCmpClick() { PredictBox->setEnabled(false); }

void TSaveTifForm::FormClose() {
  S.TifBigEndian = RBPc->Checked() ? 0 : 1;
  S.TifStripSize = Rb8k->Checked() ? Strip8k : Rb16k->Checked() ? Strip16k : Strip32k;
  if (RbNoCmp->Checked())
    S.TifCompression = TifNone;
  else if (RbLzwCmp->Checked())
    S.TifCompression = PredictBox->Checked() && PredictBox->isEnabled() ? TifLzwPredict : TifLzw;
  else if (RbZZCmp->Checked())
    S.TifCompression = TifLz77;
}
