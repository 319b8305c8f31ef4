#include "Resample.h"

#include <QLabel>
#include <algorithm>
#include <cmath>

#include "DibImage.h"
#include "DibResample.h"
#include "DsSpinEdit.h"
#include "DsVCL.h"

namespace {
constexpr int FormWidth = 372, FormHeight = 246;
constexpr int MinDpi = 1, MaxDpi = 1000, MaxPercent = 9999;
constexpr int SpinWidth = 76, RowHeight = 21;
constexpr int LabelLeft = 8, PixLeft = 64, PercLeft = 148;

enum TDpiDevice { ddUser, ddDefault, ddImage, ddPrinter, ddMonitor };
enum TUnit { unInch, unCm };

// Halves go to the even neighbour; huge values are cut before the cast.
int64_t RoundToInt(double Value) { return int64_t(std::nearbyint(std::clamp(Value, -1e15, 1e15))); }

// Writes only a new value, so that a field the user is typing in keeps its
// text while it already says the same (or is empty for the moment).
void SetSpin(TPeSpinEdit* Spin, int64_t Value) {
  const int Shown = int(std::clamp<int64_t>(Value, Spin->MinValue(), Spin->MaxValue()));
  if (Spin->Value() != Shown)
    Spin->SetValue(Shown);
}

// Fields, their labels and the combo boxes are all one size.
QRect Cell(int Left, int Top) { return {Left, Top, SpinWidth, RowHeight}; }

QLabel* NewLabel(QWidget* Parent, const QString& Caption, int Left, int Top, QWidget* Buddy = nullptr) {
  auto* Label = new QLabel(Caption, Parent);
  Label->setGeometry(Cell(Left, Top));
  if (Buddy)
    Label->setBuddy(Buddy);
  return Label;
}

TPeCombo* NewCombo(QWidget* Parent, const char* Name, const QStringList& Items, int Left, int Top) {
  auto* Box = new TPeCombo(Parent);
  Box->setObjectName(QLatin1String(Name));
  Box->SetReadOnly(true);
  Box->SetItems(Items);
  Box->setGeometry(Cell(Left, Top));
  return Box;
}

QString TwoDecimals(double Value) { return QString::number(Value, 'f', 2); }
} // namespace

TResampleForm::TResampleForm(TDib& AImage, TSettings& ASettings, int32_t AScreenDpi, QWidget* Parent)
    : TStdDialogForm(Parent), Image(AImage), S(ASettings), ScreenDpi(AScreenDpi),
      ImgWidth(std::max<int32_t>(1, AImage.Width())), ImgHeight(std::max<int32_t>(1, AImage.Height())),
      ImageRes(std::clamp<int32_t>(AImage.Resolution(), MinDpi, MaxDpi)), UserRes(ASettings.ResizeUserDpi) {
  setWindowTitle(QStringLiteral("Resize Image"));
  SetClientSize(FormWidth, FormHeight);
  CreateSizeControls();
  CreateFilterGroup();
  CreateResolutionControls();
  SetStartSize();
  ConnectHandlers();
  CalcRes();
}

void TResampleForm::CreateSizeControls() {
  NewLabel(GroupBox1, QStringLiteral("in pixel"), PixLeft, 6);
  NewLabel(GroupBox1, QStringLiteral("in percent"), PercLeft, 6);
  PixWidthSpin = NewSpinEdit(GroupBox1, "PixWidthSpin", 1, MaxResizeSide, Cell(PixLeft, 26));
  PercWidthSpin = NewSpinEdit(GroupBox1, "PercWidthSpin", 0, MaxPercent, Cell(PercLeft, 26));
  PixHeightSpin = NewSpinEdit(GroupBox1, "PixHeightSpin", 1, MaxResizeSide, Cell(PixLeft, 52));
  PercHeightSpin = NewSpinEdit(GroupBox1, "PercHeightSpin", 0, MaxPercent, Cell(PercLeft, 52));
  NewLabel(GroupBox1, QStringLiteral("&width:"), LabelLeft, 26, PixWidthSpin);
  NewLabel(GroupBox1, QStringLiteral("&height:"), LabelLeft, 52, PixHeightSpin);
  DistortionBox = new TPeCheckBox(QStringLiteral("allow &size distortion "), GroupBox1);
  DistortionBox->setObjectName(QStringLiteral("DistortionBox"));
  DistortionBox->setGeometry(LabelLeft, 82, PercLeft + SpinWidth - LabelLeft, 18);
  DistortionBox->SetChecked(S.ResizeDistortion);
}

void TResampleForm::CreateFilterGroup() {
  FilterGroup = new TPeGroupBox(QStringLiteral("Filter Method"), GroupBox1);
  FilterGroup->setObjectName(QStringLiteral("FilterGroup"));
  FilterGroup->setGeometry(PercLeft + SpinWidth + 10, 4, 112, 174);
  struct TFilterBox {
    TPeRadioBox** Box;
    const char* Caption;
  };
  const std::array<TFilterBox, ResampleFilterCount> Boxes{{
      {&BoxBtn, "Box"},
      {&TriaBtn, "Triangle"},
      {&HermiteBtn, "Hermite"},
      {&BellBtn, "Bell"},
      {&SplineBtn, "Spline"},
      {&MitchBtn, "Mitchell"},
      {&LanBtn, "Lanczos"},
  }};
  for (int I = 0; I < ResampleFilterCount; ++I) {
    auto* Box = new TPeRadioBox(QLatin1String(Boxes[I].Caption), FilterGroup);
    SetTag(Box, I);
    Box->setGeometry(10, 24 + 21 * I, 94, 18);
    *Boxes[I].Box = Box;
  }
  const int32_t Stored = S.ResizeFilter;
  (Stored >= 0 && Stored < ResampleFilterCount ? *Boxes[Stored].Box : SplineBtn)->SetChecked(true);
}

void TResampleForm::CreateResolutionControls() {
  DpiSpin = NewSpinEdit(GroupBox1, "DpiSpin", MinDpi, MaxDpi, Cell(PixLeft, 112));
  DpiSpin->SetValue(ImageRes);
  NewLabel(GroupBox1, QStringLiteral("&DPI"), LabelLeft, 112, DpiSpin);
  DpiDeviceBox = NewCombo(GroupBox1, "DpiDeviceBox",
                          {QStringLiteral("user"), QStringLiteral("default"), QStringLiteral("image"),
                           QStringLiteral("printer"), QStringLiteral("monitor")},
                          PercLeft, 112);
  DpiDeviceBox->SetItemIndex(ddImage);
  auto* SizeGroup = new TPeGroupBox(QStringLiteral("printed size"), GroupBox1);
  SizeGroup->setGeometry(LabelLeft, 140, PixLeft + SpinWidth - LabelLeft, 38);
  ResTxt = new QLabel(SizeGroup);
  ResTxt->setObjectName(QStringLiteral("ResTxt"));
  ResTxt->setAlignment(Qt::AlignCenter);
  ResTxt->setGeometry(4, 18, SizeGroup->width() - 8, 16);
  UnitBox = NewCombo(GroupBox1, "UnitBox", {QStringLiteral("inch"), QStringLiteral("cm")}, PercLeft, 152);
  UnitBox->SetItemIndex(S.ResizeUnit == unInch ? unInch : unCm);
}

void TResampleForm::ConnectHandlers() {
  for (TPeSpinEdit* Spin : {PixWidthSpin, PixHeightSpin, PercWidthSpin, PercHeightSpin}) {
    connect(Spin, &TPeSpinEdit::OnChange, this, &TResampleForm::SizeChange);
    connect(Spin, &TPeSpinEdit::OnKeyDown, this, &TResampleForm::SpinKey);
  }
  connect(DpiSpin, &TPeSpinEdit::OnKeyDown, this, &TResampleForm::SpinKey);
  connect(DpiSpin, &TPeSpinEdit::OnChange, this, &TResampleForm::CalcRes);
  connect(PercWidthSpin, &TPeSpinEdit::OnDblClick, this, &TResampleForm::PercEditDblClick);
  connect(PercHeightSpin, &TPeSpinEdit::OnDblClick, this, &TResampleForm::PercEditDblClick);
  connect(PixWidthSpin, &TPeSpinEdit::OnDblClick, this, &TResampleForm::PixWidthSpinDblClick);
  connect(PixHeightSpin, &TPeSpinEdit::OnDblClick, this, &TResampleForm::PixHeightSpinDblClick);
  connect(DistortionBox, &QAbstractButton::toggled, this, &TResampleForm::DistortionBoxClick);
  connect(DpiDeviceBox, &TPeCombo::OnChange, this, &TResampleForm::DpiDeviceBoxChange);
  connect(UnitBox, &QComboBox::currentIndexChanged, this, &TResampleForm::CalcRes);
}

// An image larger than the spins allow starts at the largest size of the
// same shape, never at a clamped and so distorted one.
void TResampleForm::SetStartSize() { SetAllSizes(1.0); }

void TResampleForm::SetAllSizes(double Factor) {
  Factor = std::min({Factor, double(MaxResizeSide) / ImgWidth, double(MaxResizeSide) / ImgHeight});
  SetSpin(PixWidthSpin, RoundToInt(ImgWidth * Factor));
  SetSpin(PixHeightSpin, RoundToInt(ImgHeight * Factor));
  SetSpin(PercWidthSpin, RoundToInt(Factor * 100));
  SetSpin(PercHeightSpin, RoundToInt(Factor * 100));
}

double TResampleForm::FactorOf(TPeSpinEdit* Sender) const {
  if (Sender == PixWidthSpin)
    return double(PixWidthSpin->Value()) / ImgWidth;
  if (Sender == PixHeightSpin)
    return double(PixHeightSpin->Value()) / ImgHeight;
  if (Sender == PercWidthSpin)
    return PercWidthSpin->Value() / 100.0;
  if (Sender == PercHeightSpin)
    return PercHeightSpin->Value() / 100.0;
  return 0.0;
}

void TResampleForm::SizeChange(TPeSpinEdit* Sender) {
  if (Updating)
    return;
  Updating = true;
  if (DistortionBox->Checked()) {
    if (Sender == PixWidthSpin)
      SetSpin(PercWidthSpin, RoundToInt(double(PixWidthSpin->Value()) / ImgWidth * 100));
    else if (Sender == PixHeightSpin)
      SetSpin(PercHeightSpin, RoundToInt(double(PixHeightSpin->Value()) / ImgHeight * 100));
    else if (Sender == PercWidthSpin)
      SetSpin(PixWidthSpin, RoundToInt(PercWidthSpin->Value() / 100.0 * ImgWidth));
    else if (Sender == PercHeightSpin)
      SetSpin(PixHeightSpin, RoundToInt(PercHeightSpin->Value() / 100.0 * ImgHeight));
  } else if (const double Factor = FactorOf(Sender); Factor != 0.0) {
    SetAllSizes(Factor);
  }
  Updating = false;
  CalcRes();
}

void TResampleForm::DistortionBoxClick() {
  if (!DistortionBox->Checked())
    SizeChange(PixWidthSpin);
}

void TResampleForm::CalcRes() {
  const int32_t Res = std::max(1, DpiSpin->Value());
  TDpiDevice Device = ddUser;
  if (Res == S.DefaultDpi)
    Device = ddDefault;
  else if (Res == ImageRes)
    Device = ddImage;
  else if (Res == S.PrinterDpi)
    Device = ddPrinter;
  else if (Res == ScreenDpi)
    Device = ddMonitor;
  else
    UserRes = Res;
  DpiDeviceBox->SetItemIndex(Device);
  const double UnitsPerInch = UnitBox->ItemIndex() == unCm ? 2.54 : 1.0;
  const double DotsPerUnit = Res / UnitsPerInch;
  ResTxt->setText(TwoDecimals(PixWidthSpin->Value() / DotsPerUnit) + QStringLiteral(" x ") +
                  TwoDecimals(PixHeightSpin->Value() / DotsPerUnit));
}

void TResampleForm::DpiDeviceBoxChange() {
  switch (DpiDeviceBox->ItemIndex()) {
  case ddUser: DpiSpin->SetValue(UserRes); break;
  case ddDefault: DpiSpin->SetValue(S.DefaultDpi); break;
  case ddImage: DpiSpin->SetValue(ImageRes); break;
  case ddPrinter: DpiSpin->SetValue(S.PrinterDpi); break;
  case ddMonitor: DpiSpin->SetValue(ScreenDpi); break;
  default: return;
  }
  // The spin may already have shown that value; the box must still follow it.
  CalcRes();
}

void TResampleForm::PercEditDblClick(TPeSpinEdit* Sender) { Sender->SetValue(100); }

void TResampleForm::PixWidthSpinDblClick() { PixWidthSpin->SetValue(ImgWidth); }

void TResampleForm::PixHeightSpinDblClick() { PixHeightSpin->SetValue(ImgHeight); }

void TResampleForm::SpinKey(TPeSpinEdit*, int& Key) {
  if (Key == Qt::Key_Return || Key == Qt::Key_Enter) {
    Key = 0;
    OkBtn->click();
  } else if (Key == Qt::Key_Escape) {
    Key = 0;
    CancelBtn->click();
  }
}

void TResampleForm::done(int Result) { TStdDialogForm::done(Result == Accepted ? FormClose() : Result); }

// The resolution is only written when the user changed it: an image whose
// own resolution lies outside the spin's range keeps it.
int TResampleForm::FormClose() {
  S.ResizeUnit = UnitBox->ItemIndex() == unInch ? unInch : unCm;
  if (const int32_t Dpi = DpiSpin->Value(); Dpi != ImageRes) {
    Image.SetResolution(Dpi);
    if (OnResolutionChanged)
      OnResolutionChanged();
  }
  S.ResizeUserDpi = UserRes;
  const int32_t W = PixWidthSpin->Value(), H = PixHeightSpin->Value();
  if (W == ImgWidth && H == ImgHeight)
    return Rejected;
  NewWidth = std::clamp<int32_t>(W, 1, MaxResizeSide);
  NewHeight = std::clamp<int32_t>(H, 1, MaxResizeSide);
  FilterIndex = FilterGroup->CheckedTag;
  S.ResizeDistortion = DistortionBox->Checked();
  S.ResizeFilter = FilterIndex;
  return Accepted;
}
