#include "TuneHisto.h"

#include "DsHistoBox.h"
#include "DsVCL.h"

namespace {

constexpr int Gap = 8;
constexpr int PanelSide = PreviewSide + 2;
constexpr int BoxWidth = 292, BoxHeight = 82, BoxLeft = 6;
constexpr int BoxTops[] = {24, 110, 196};
constexpr int GrayBoxTop = 32;
constexpr int GroupLeft = Gap + PanelSide + Gap, GroupWidth = BoxLeft + BoxWidth + BoxLeft;
constexpr int GroupHeight = PanelSide;
constexpr int ButtonHeight = 25;

} // namespace

TTuneHistoForm::TTuneHistoForm(const TDib& Source, QWidget* Parent) : TTuneForm(Source, Parent) {
  Gray = Source.IsGray;
  CreateBoxes();
  ApplyBtn->setEnabled(false);
  ResetBtn->setEnabled(false);
  OnPreviewChanged = [this] { UpdateButtons(); };
  connect(ResetBtn, &TPeButton::clicked, this, &TTuneHistoForm::ResetBtnClick);
  ShowHistogram(Source);
  SetClientSize(GroupLeft + GroupWidth + Gap, Gap + PanelSide + Gap + ButtonHeight + Gap);
  // The keys move the red levels from the start.
  RBox->setFocus();
}

void TTuneHistoForm::CreateBoxes() {
  PeGroupBox1 = new TPeGroupBox(QStringLiteral("Histogram"), this);
  PeGroupBox1->setObjectName(QStringLiteral("PeGroupBox1"));
  PeGroupBox1->setGeometry(GroupLeft, Gap, GroupWidth, GroupHeight);
  const std::pair<const char*, QColor> Boxes[] = {{"RBox", Qt::red}, {"GBox", Qt::green}, {"BBox", Qt::blue}};
  THistoBox** Fields[] = {&RBox, &GBox, &BBox};
  for (size_t I = 0; I < 3; ++I) {
    auto* Box = new THistoBox(PeGroupBox1);
    Box->setObjectName(QString::fromLatin1(Boxes[I].first));
    Box->SetColor(Boxes[I].second);
    Box->setGeometry(BoxLeft, BoxTops[I], BoxWidth, BoxHeight);
    *Fields[I] = Box;
  }
  connect(RBox, &THistoBox::OnSwitch, this, &TTuneHistoForm::RBoxSwitch);
  connect(GBox, &THistoBox::OnSwitch, this, &TTuneHistoForm::GBoxSwitch);
  connect(BBox, &THistoBox::OnSwitch, this, &TTuneHistoForm::BBoxSwitch);
}

// The histogram is of the whole image, not of the shrunk preview.
void TTuneHistoForm::ShowHistogram(const TDib& Source) {
  const TBarHeights Heights = HistogramHeights(ChannelHistogram(Source));
  RBox->SetHeights(Heights.R);
  GBox->SetHeights(Heights.G);
  BBox->SetHeights(Heights.B);
  if (!Gray)
    return;
  GBox->hide();
  BBox->hide();
  RBox->move(BoxLeft, GrayBoxTop);
  RBox->SetColor(Qt::black);
}

void TTuneHistoForm::RBoxSwitch(THistoBox*, int Lo, int Hi) {
  LutR = LevelsTable(Lo, Hi);
  if (Gray)
    LutG = LutB = LutR;
  UpdatePreview();
}

void TTuneHistoForm::GBoxSwitch(THistoBox*, int Lo, int Hi) {
  LutG = LevelsTable(Lo, Hi);
  UpdatePreview();
}

void TTuneHistoForm::BBoxSwitch(THistoBox*, int Lo, int Hi) {
  LutB = LevelsTable(Lo, Hi);
  UpdatePreview();
}

void TTuneHistoForm::ResetBtnClick() {
  for (THistoBox* Box : {RBox, GBox, BBox})
    Box->ResetLevels();
  LutR = LutG = LutB = IdentityLut();
  UpdatePreview();
}

void TTuneHistoForm::UpdateButtons() {
  const bool Any = RBox->Switched() || GBox->Switched() || BBox->Switched();
  ApplyBtn->setEnabled(Any);
  ResetBtn->setEnabled(Any);
}
