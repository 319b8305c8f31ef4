#include "SaveOptions.h"

#include <QKeyEvent>
#include <QLabel>
#include <QSlider>
#include <algorithm>

#include "DibImage.h"
#include "DsVCL.h"
#include "ImgFormats.h"
#include "XFormats.h"
#include "XPmg.h"

namespace {
constexpr int JpgWidth = 187, JpgHeight = 158;
constexpr int GifLzw = 3;
constexpr int JpgMinQuality = 10, JpgMaxQuality = 100;
} // namespace

TSaveOptionsForm::TSaveOptionsForm(TSettings& ASettings, const QString& Caption, const QString& Group, QWidget* Parent)
    : TStdDialogForm(Parent), S(ASettings) {
  setWindowTitle(Caption);
  GroupBox1->SetCaption(Group);
}

void TSaveOptionsForm::done(int Result) {
  if (Result == Accepted)
    FormClose();
  TStdDialogForm::done(Result);
}

void TSaveOptionsForm::keyPressEvent(QKeyEvent* E) {
  if (E->key() == Qt::Key_Return || E->key() == Qt::Key_Enter)
    OkBtn->click();
  else
    TStdDialogForm::keyPressEvent(E);
}

void TSaveOptionsForm::resizeEvent(QResizeEvent* E) {
  TStdDialogForm::resizeEvent(E);
  if (Group1Place.isValid())
    GroupBox1->setGeometry(Group1Place);
}

void TSaveOptionsForm::PlaceGroup1(const QRect& Place) {
  Group1Place = Place;
  GroupBox1->setGeometry(Place);
}

TPeRadioBox* TSaveOptionsForm::AddRadio(QWidget* Parent, const char* Name, const QString& Caption, const QRect& Place) {
  auto* Radio = new TPeRadioBox(Caption, Parent);
  Radio->setObjectName(QLatin1String(Name));
  Radio->setGeometry(Place);
  return Radio;
}

TPeCheckBox* TSaveOptionsForm::AddCheck(QWidget* Parent, const char* Name, const QString& Caption, const QRect& Place) {
  auto* Box = new TPeCheckBox(Caption, Parent);
  Box->setObjectName(QLatin1String(Name));
  Box->setGeometry(Place);
  return Box;
}

QLabel* TSaveOptionsForm::AddLabel(QWidget* Parent, const QString& Caption, const QRect& Place) {
  auto* Label = new QLabel(Caption, Parent);
  Label->setGeometry(Place);
  return Label;
}

TSaveBmpForm::TSaveBmpForm(TSettings& ASettings, QWidget* Parent)
    : TSaveOptionsForm(ASettings, QStringLiteral("Save BMP options"), QStringLiteral("File type"), Parent) {
  WinRadio = AddRadio(GroupBox1, "WinRadio", QStringLiteral("&Windows bitmap"), {10, 22, 145, 17});
  Os2Radio = AddRadio(GroupBox1, "Os2Radio", QStringLiteral("&OS/2  bitmap"), {10, 44, 145, 17});
  (S.BmpOs2 != 0 ? Os2Radio : WinRadio)->SetChecked(true);
}

void TSaveBmpForm::FormClose() { S.BmpOs2 = WinRadio->Checked() ? 0 : 1; }

TSaveGifForm::TSaveGifForm(TSettings& ASettings, QWidget* Parent)
    : TSaveOptionsForm(ASettings, QStringLiteral("Save GIF options"), QStringLiteral("Compression"), Parent) {
  NoCmpRadio = AddRadio(GroupBox1, "NoCmpRadio", QStringLiteral("&none (expand)"), {10, 22, 145, 17});
  LzwCmpRadio = AddRadio(GroupBox1, "LzwCmpRadio", QStringLiteral("&LZW"), {10, 44, 60, 17});
  IBox = AddCheck(GroupBox1, "IBox", QStringLiteral("&Interlaced"), {74, 44, 84, 17});
  (S.GifCompression != 0 ? LzwCmpRadio : NoCmpRadio)->SetChecked(true);
  IBox->SetChecked(S.GifInterlaced);
}

void TSaveGifForm::FormClose() {
  S.GifCompression = NoCmpRadio->Checked() ? 0 : GifLzw;
  S.GifInterlaced = IBox->Checked();
}

TSavePnmForm::TSavePnmForm(TSettings& ASettings, QWidget* Parent)
    : TSaveOptionsForm(ASettings, QStringLiteral("Save PNM options"), QStringLiteral("Format"), Parent) {
  RadioBtn1 = AddRadio(GroupBox1, "RadioBtn1", QStringLiteral("Ascii"), {10, 22, 145, 17});
  RadioBtn2 = AddRadio(GroupBox1, "RadioBtn2", QStringLiteral("Binary"), {10, 44, 145, 17});
  (S.PnmCompression == cmpAscii ? RadioBtn1 : RadioBtn2)->SetChecked(true);
}

void TSavePnmForm::FormClose() { S.PnmCompression = RadioBtn1->Checked() ? cmpAscii : cmpNone; }

TSaveTgaForm::TSaveTgaForm(TSettings& ASettings, QWidget* Parent)
    : TSaveOptionsForm(ASettings, QStringLiteral("Save TGA options"), QStringLiteral("Compression"), Parent) {
  Radio1 = AddRadio(GroupBox1, "Radio1", QStringLiteral("&none"), {10, 22, 145, 17});
  Radio2 = AddRadio(GroupBox1, "Radio2", QStringLiteral("&run length coding"), {10, 44, 145, 17});
  (S.TgaRle ? Radio2 : Radio1)->SetChecked(true);
}

void TSaveTgaForm::FormClose() { S.TgaRle = !Radio1->Checked(); }

TSaveJpgForm::TSaveJpgForm(TSettings& ASettings, QWidget* Parent)
    : TSaveOptionsForm(ASettings, QStringLiteral("Save JPEG options"), QStringLiteral("Compression"), Parent) {
  SetClientSize(JpgWidth, JpgHeight);
  AddLabel(GroupBox1, QStringLiteral("quality:"), {10, 22, 50, 17});
  Label2 = AddLabel(GroupBox1, QString(), {62, 22, 60, 17});
  Label2->setObjectName(QStringLiteral("Label2"));
  TrackBar1 = new QSlider(Qt::Horizontal, GroupBox1);
  TrackBar1->setObjectName(QStringLiteral("TrackBar1"));
  TrackBar1->setRange(JpgMinQuality, JpgMaxQuality);
  TrackBar1->setSingleStep(1);
  TrackBar1->setPageStep(1);
  TrackBar1->setTickPosition(QSlider::TicksBelow);
  TrackBar1->setTickInterval(5);
  TrackBar1->setGeometry(6, 42, 159, 28);
  CheckBox1 = AddCheck(GroupBox1, "CheckBox1", QStringLiteral("progressive encoding"), {10, 80, 155, 17});
  TrackBar1->setValue(std::clamp<int32_t>(S.JpgQuality, JpgMinQuality, JpgMaxQuality));
  CheckBox1->SetChecked(S.JpgProgressive);
  connect(TrackBar1, &QSlider::valueChanged, this, &TSaveJpgForm::TrackBar1Change);
  TrackBar1Change();
  TrackBar1->setFocus();
}

void TSaveJpgForm::TrackBar1Change() { Label2->setText(QString::number(TrackBar1->value()) + QLatin1Char('%')); }

void TSaveJpgForm::FormClose() {
  S.JpgQuality = TrackBar1->value();
  S.JpgProgressive = CheckBox1->Checked();
}

std::unique_ptr<TSaveOptionsForm> SaveOptionsFormFor(int32_t FilterIndex, const TDib& Image, TSettings& S,
                                                     QWidget* Owner) {
  const TFormatRow* Row = SaveFilterRow(FilterIndex);
  switch (Row ? Row->Format : fmtUnknown) {
  case fmtBMP: return std::make_unique<TSaveBmpForm>(S, Owner);
  case fmtGIF: return std::make_unique<TSaveGifForm>(S, Owner);
  case fmtJPEG: return std::make_unique<TSaveJpgForm>(S, Owner);
  case fmtTGA: return std::make_unique<TSaveTgaForm>(S, Owner);
  case fmtPNG: {
    auto Form = std::make_unique<TSavePngForm>(S, Owner);
    Form->SetMode(PngSaveMode(Image));
    return Form;
  }
  case fmtTIFF: {
    auto Form = std::make_unique<TSaveTifForm>(S, Owner);
    Form->SetPrediction(TifPredictionAllowed(Image));
    return Form;
  }
  case fmtPNM: {
    auto Form = std::make_unique<TSavePnmForm>(S, Owner);
    const char* Kind = Image.PixelFormat() == pf1bit ? "PBM" : Image.IsGray ? "PGM" : "PPM";
    Form->setWindowTitle(QStringLiteral("Save %1 options").arg(QLatin1String(Kind)));
    return Form;
  }
  default: return nullptr;
  }
}
