#include "ScanForm.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QEventLoop>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <cmath>
#include <thread>

namespace {

const char* const AreaNames[4] = {"tl-x", "tl-y", "br-x", "br-y"};
const char* const AreaLabels[4] = {"Left", "Top", "Right", "Bottom"};
constexpr double CommonDpis[] = {50, 75, 100, 150, 200, 300, 400, 600, 1200, 2400};
constexpr SANE_Int UnitMm = 3;

QString Q(const std::string& S) { return QString::fromStdString(S); }

// The device's resolutions: its list, or the common ones inside its range.
std::vector<double> Resolutions(const TSaneOption& O) {
  std::vector<double> Out = O.Numbers();
  double Min = 0, Max = 0;
  if (Out.empty() && O.Range(Min, Max)) {
    for (double D : CommonDpis)
      if (D >= Min && D <= Max)
        Out.push_back(D);
    if (Out.empty())
      Out.push_back(Min);
  }
  return Out;
}

// A packed bitmap as a QImage, through the BMP file that holds it.
QImage ImageOfDib(const std::vector<uint8_t>& Dib) {
  if (Dib.size() < 40)
    return {};
  QByteArray File(14, 0);
  const uint32_t Size = uint32_t(Dib.size() + 14), Colors = Dib[32] | Dib[33] << 8;
  const uint32_t Offset = 14 + 40 + 4 * Colors;
  File[0] = 'B';
  File[1] = 'M';
  for (int I = 0; I < 4; ++I) {
    File[2 + I] = char(Size >> (8 * I));
    File[10 + I] = char(Offset >> (8 * I));
  }
  File.append(reinterpret_cast<const char*>(Dib.data()), qsizetype(Dib.size()));
  return QImage::fromData(File, "BMP");
}

} // namespace

SANE_Status ScanWithProgress(SANE_Handle H, QWidget* Parent, std::vector<TScanFrame>& Frames) {
  TScanProgress Progress;
  SANE_Status Result = SANE_STATUS_GOOD;
  QProgressDialog Dialog(QStringLiteral("Scanning..."), QStringLiteral("Cancel"), 0, 0, Parent);
  Dialog.setObjectName(QStringLiteral("ScanProgress"));
  Dialog.setWindowTitle(QStringLiteral("Scanning"));
  Dialog.setWindowModality(Qt::ApplicationModal);
  Dialog.setMinimumDuration(0);
  Dialog.setAutoClose(false);
  Dialog.setAutoReset(false);
  QObject::connect(&Dialog, &QProgressDialog::canceled, [&Progress] { Progress.Cancel = true; });
  QEventLoop Loop;
  QTimer Tick;
  QObject::connect(&Tick, &QTimer::timeout, [&] {
    if (Dialog.wasCanceled())
      Progress.Cancel = true;
    const int64_t Expected = Progress.Expected;
    if (Expected > 0) {
      Dialog.setMaximum(1000);
      Dialog.setValue(int(std::min<int64_t>(1000, Progress.Done * 1000 / Expected)));
    } else {
      Dialog.setMaximum(0);
    }
  });
  Tick.start(50);
  Dialog.show();
  std::thread Reader([&] {
    Result = ReadImage(H, Progress, Frames);
    QMetaObject::invokeMethod(&Loop, &QEventLoop::quit, Qt::QueuedConnection);
  });
  Loop.exec();
  Reader.join();
  return Result;
}

int32_t CurrentDpi(SANE_Handle H) {
  TSaneOption O = FindOption(H, "resolution");
  if (!O.Desc)
    O = FindOption(H, "x-resolution");
  return O.Desc ? int32_t(std::lround(O.Number(H))) : 0;
}

int ChooseDevice(const std::vector<TSaneDevice>& Devices, int Current, QWidget* Parent) {
  QDialog Dialog(Parent);
  Dialog.setObjectName(QStringLiteral("SelectSource"));
  Dialog.setWindowTitle(QStringLiteral("Select Source"));
  auto* List = new QListWidget(&Dialog);
  for (const TSaneDevice& D : Devices)
    List->addItem(Q(D.Name) + QStringLiteral("  (") + Q(D.Vendor) + QLatin1Char(' ') + Q(D.Model) + QLatin1Char(')'));
  List->setCurrentRow(Current >= 0 && Current < int(Devices.size()) ? Current : 0);
  auto* Buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &Dialog);
  QObject::connect(Buttons, &QDialogButtonBox::accepted, &Dialog, &QDialog::accept);
  QObject::connect(Buttons, &QDialogButtonBox::rejected, &Dialog, &QDialog::reject);
  QObject::connect(List, &QListWidget::itemDoubleClicked, &Dialog, &QDialog::accept);
  auto* Layout = new QVBoxLayout(&Dialog);
  Layout->addWidget(new QLabel(QStringLiteral("Sources:"), &Dialog));
  Layout->addWidget(List);
  Layout->addWidget(Buttons);
  Dialog.setWindowModality(Qt::ApplicationModal);
  if (Dialog.exec() != QDialog::Accepted || List->currentRow() < 0)
    return -1;
  return List->currentRow();
}

TScanForm::TScanForm(SANE_Handle AHandle, const TSaneDevice& Device, QWidget* Parent)
    : QDialog(Parent), Handle(AHandle) {
  setObjectName(QStringLiteral("ScanForm"));
  setWindowTitle(QStringLiteral("Scan - ") + Q(Device.Name));
  BuildControls();
  FillChoices();
}

void TScanForm::BuildControls() {
  auto* Form = Rows = new QFormLayout;
  ModeBox = new QComboBox(this);
  ModeBox->setObjectName(QStringLiteral("ModeBox"));
  DepthBox = new QComboBox(this);
  DepthBox->setObjectName(QStringLiteral("DepthBox"));
  ResBox = new QComboBox(this);
  ResBox->setObjectName(QStringLiteral("ResolutionBox"));
  Form->addRow(QStringLiteral("Mode"), ModeBox);
  Form->addRow(QStringLiteral("Bits per sample"), DepthBox);
  Form->addRow(QStringLiteral("Resolution (dpi)"), ResBox);
  for (int I = 0; I < 4; ++I) {
    Area[I] = new QDoubleSpinBox(this);
    Area[I]->setObjectName(QString::fromLatin1(AreaLabels[I]) + QStringLiteral("Box"));
    Area[I]->setDecimals(1);
    Form->addRow(QString::fromLatin1(AreaLabels[I]), Area[I]);
    connect(Area[I], &QDoubleSpinBox::valueChanged, this, [this] { DrawPreview(); });
  }
  connect(ModeBox, &QComboBox::currentIndexChanged, this, [this] { ModeChanged(); });
  PreviewLabel = new QLabel(this);
  PreviewLabel->setObjectName(QStringLiteral("PreviewLabel"));
  PreviewLabel->setFixedSize(180, 220);
  PreviewLabel->setFrameShape(QFrame::Box);
  PreviewLabel->setAlignment(Qt::AlignCenter);
  auto* Top = new QHBoxLayout;
  Top->addLayout(Form);
  Top->addWidget(PreviewLabel);
  PreviewBtn = new QPushButton(QStringLiteral("&Preview"), this);
  PreviewBtn->setObjectName(QStringLiteral("PreviewButton"));
  ScanBtn = new QPushButton(QStringLiteral("&Scan"), this);
  ScanBtn->setObjectName(QStringLiteral("ScanButton"));
  ScanBtn->setDefault(true);
  auto* CloseBtn = new QPushButton(QStringLiteral("&Close"), this);
  CloseBtn->setObjectName(QStringLiteral("CloseButton"));
  CloseBtn->setAutoDefault(false);
  PreviewBtn->setAutoDefault(false);
  connect(PreviewBtn, &QPushButton::clicked, this, [this] { Preview(); });
  connect(ScanBtn, &QPushButton::clicked, this, [this] {
    if (Ready && !Scanning && OnScan)
      OnScan();
  });
  connect(CloseBtn, &QPushButton::clicked, this, [this] { reject(); });
  auto* Buttons = new QHBoxLayout;
  Buttons->addWidget(PreviewBtn);
  Buttons->addStretch();
  Buttons->addWidget(ScanBtn);
  Buttons->addWidget(CloseBtn);
  Status = new QLabel(this);
  Status->setObjectName(QStringLiteral("StatusLabel"));
  auto* Layout = new QVBoxLayout(this);
  Layout->addLayout(Top);
  Layout->addWidget(Status);
  Layout->addLayout(Buttons);
}

void TScanForm::FillChoices() {
  // A row shows only for an option the device lets us set.
  auto ShowRow = [this](QWidget* Field, bool Visible) { Rows->setRowVisible(Field, Visible); };
  const TSaneOption Mode = FindOption(Handle, "mode");
  {
    const QSignalBlocker Block(ModeBox);
    ModeBox->clear();
    for (const std::string& M : Mode.Texts())
      ModeBox->addItem(Q(M));
    ModeBox->setCurrentText(Q(Mode.Text(Handle)));
  }
  ShowRow(ModeBox, Mode.Usable() && ModeBox->count() > 0);
  const TSaneOption Depth = FindOption(Handle, "depth");
  const QString OldDepth = DepthBox->currentText();
  DepthBox->clear();
  for (double D : Depth.Numbers())
    DepthBox->addItem(QString::number(D));
  DepthBox->setCurrentText(OldDepth.isEmpty() ? QString::number(Depth.Number(Handle)) : OldDepth);
  ShowRow(DepthBox, Depth.Usable() && DepthBox->count() > 0);
  const TSaneOption Res = FindOption(Handle, "resolution");
  const QString OldRes = ResBox->currentText();
  ResBox->clear();
  for (double D : Resolutions(Res))
    ResBox->addItem(QString::number(D));
  const QString Now = QString::number(std::lround(Res.Number(Handle)));
  if (!OldRes.isEmpty())
    ResBox->setCurrentText(OldRes);
  else if (ResBox->findText(Now) >= 0)
    ResBox->setCurrentText(Now);
  else if (ResBox->findText(QStringLiteral("100")) >= 0)
    ResBox->setCurrentText(QStringLiteral("100"));
  ShowRow(ResBox, Res.Usable() && ResBox->count() > 0);
  for (int I = 0; I < 4; ++I) {
    const TSaneOption A = FindOption(Handle, AreaNames[I]);
    double Min = 0, Max = 0;
    const bool Has = A.Usable() && A.Range(Min, Max);
    const QSignalBlocker Block(Area[I]);
    if (Has) {
      Area[I]->setRange(Min, Max);
      Area[I]->setSuffix(A.Desc->unit == UnitMm ? QStringLiteral(" mm") : QStringLiteral(" px"));
      Area[I]->setValue(A.Number(Handle));
      PreviewArea[I] = I < 2 ? Min : Max;
    }
    ShowRow(Area[I], Has);
  }
  const TSaneOption PreviewOpt = FindOption(Handle, "preview");
  PreviewBtn->setVisible(PreviewOpt.Usable());
  PreviewLabel->setVisible(PreviewOpt.Usable());
}

void TScanForm::ModeChanged() {
  const TSaneOption Mode = FindOption(Handle, "mode");
  if (Mode.Usable())
    Mode.SetText(Handle, ModeBox->currentText().toStdString());
  // A new mode may offer other depths and resolutions.
  DepthBox->clear();
  FillChoices();
}

bool TScanForm::ApplyOptions() {
  auto Set = [this](const char* Name, const std::function<SANE_Status(const TSaneOption&)>& F, bool Shown) {
    const TSaneOption O = FindOption(Handle, Name);
    if (!Shown || !O.Usable())
      return true;
    const SANE_Status St = F(O);
    if (St == SANE_STATUS_GOOD)
      return true;
    Status->setText(
        QStringLiteral("The device refuses %1: %2").arg(QString::fromLatin1(Name), Q(Sane().StatusText(St))));
    return false;
  };
  const std::string Mode = ModeBox->currentText().toStdString();
  const double Depth = DepthBox->currentText().toDouble(), Res = ResBox->currentText().toDouble();
  if (!Set(
          "mode", [&](const TSaneOption& O) { return O.SetText(Handle, Mode); }, ModeBox->count() > 0) ||
      !Set(
          "depth", [&](const TSaneOption& O) { return O.SetNumber(Handle, Depth); }, DepthBox->count() > 0) ||
      !Set(
          "resolution", [&](const TSaneOption& O) { return O.SetNumber(Handle, Res); }, ResBox->count() > 0))
    return false;
  for (int I = 0; I < 4; ++I) {
    const double V = Area[I]->value();
    if (!Set(
            AreaNames[I], [&](const TSaneOption& O) { return O.SetNumber(Handle, V); }, true))
      return false;
  }
  return true;
}

SANE_Status TScanForm::Transfer(std::vector<TScanFrame>& Frames) {
  Scanning = true;
  SANE_Status St = SANE_STATUS_INVAL;
  if (ApplyOptions()) {
    St = ScanWithProgress(Handle, this, Frames);
    ShowOutcome(St, Frames);
  }
  Scanning = false;
  return St;
}

void TScanForm::ShowOutcome(SANE_Status St, const std::vector<TScanFrame>& Frames) {
  if (St == SANE_STATUS_GOOD && !Frames.empty()) {
    const SANE_Parameters& P = Frames[0].Params;
    const int64_t Lines = P.bytes_per_line > 0 ? int64_t(Frames[0].Data.size()) / P.bytes_per_line : 0;
    Status->setText(
        QStringLiteral("Scanned %1 x %2 at %3 dpi").arg(P.pixels_per_line).arg(Lines).arg(CurrentDpi(Handle)));
  } else if (St == SANE_STATUS_CANCELLED) {
    Status->setText(QStringLiteral("Scan cancelled."));
  } else {
    Status->setText(QStringLiteral("Scan failed: ") + Q(Sane().StatusText(St)));
  }
}

void TScanForm::SetReady(bool AReady) {
  Ready = AReady;
  ScanBtn->setEnabled(AReady);
  PreviewBtn->setEnabled(AReady);
}

void TScanForm::reject() {
  // The application closes the source; the window goes with it.
  if (!Scanning && OnClose)
    OnClose();
}

void TScanForm::Preview() {
  if (Scanning || !Ready)
    return;
  Scanning = true;
  const TSaneOption Flag = FindOption(Handle, "preview");
  Flag.SetNumber(Handle, 1);
  // The whole area at the lowest resolution offered.
  bool Applied = ApplyOptions();
  const TSaneOption Res = FindOption(Handle, "resolution");
  const std::vector<double> Dpis = Resolutions(Res);
  if (Applied && Res.Usable() && !Dpis.empty())
    Res.SetNumber(Handle, Dpis.front());
  for (int I = 0; I < 4 && Applied; ++I) {
    const TSaneOption A = FindOption(Handle, AreaNames[I]);
    if (A.Usable())
      A.SetNumber(Handle, PreviewArea[I]);
  }
  std::vector<TScanFrame> Frames;
  SANE_Status St = Applied ? ScanWithProgress(Handle, this, Frames) : SANE_STATUS_INVAL;
  Flag.SetNumber(Handle, 0);
  if (Applied) {
    ShowOutcome(St, Frames);
    if (St == SANE_STATUS_GOOD)
      PreviewImage = ImageOfDib(PackFrames(Frames, 0));
  }
  Scanning = false;
  DrawPreview();
}

void TScanForm::DrawPreview() {
  if (PreviewImage.isNull())
    return;
  const QSize Box = PreviewLabel->size() - QSize(4, 4);
  QImage Shown = PreviewImage.convertToFormat(QImage::Format_RGB32).scaled(Box, Qt::KeepAspectRatio);
  // The chosen area over the preview, which shows the device's whole area.
  const double W = PreviewArea[2] - PreviewArea[0], H = PreviewArea[3] - PreviewArea[1];
  if (W > 0 && H > 0) {
    QPainter P(&Shown);
    P.setPen(QPen(Qt::red, 1));
    const double Sx = Shown.width() / W, Sy = Shown.height() / H;
    P.drawRect(QRectF((Area[0]->value() - PreviewArea[0]) * Sx, (Area[1]->value() - PreviewArea[1]) * Sy,
                      (Area[2]->value() - Area[0]->value()) * Sx, (Area[3]->value() - Area[1]->value()) * Sy));
  }
  PreviewLabel->setPixmap(QPixmap::fromImage(Shown));
}
