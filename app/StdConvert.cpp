#include "StdConvert.h"

#include <QKeyEvent>
#include <QLabel>
#include <exception>
#include <new>

#include "DibImage.h"
#include "DsVCL.h"
#include "Messages.h"
#include "WaitCursor.h"

namespace {
constexpr int FormWidth = 400, FormHeight = 290;
constexpr int Margin = 8, ButtonWidth = 73, ButtonHeight = 25, ButtonGap = 6;
constexpr int LeftWidth = 190, RightLeft = 206, RightWidth = 186;

TPeButton* NewButton(QWidget* Parent, const char* Name, const QString& Caption) {
  auto* Button = new TPeButton(Caption, Parent);
  Button->setObjectName(QLatin1String(Name));
  return Button;
}
} // namespace

QString ThousandsText(int64_t Value) {
  QString Digits = QString::number(Value < 0 ? -Value : Value);
  for (qsizetype I = Digits.size() - 3; I > 0; I -= 3)
    Digits.insert(I, QLatin1Char(','));
  return Value < 0 ? QLatin1Char('-') + Digits : Digits;
}

TStdConvertForm::TStdConvertForm(TConvertHost AHost, TDib& Shown, QWidget* Parent)
    : TQuennaForm(Parent), Host(std::move(AHost)), Orig(&Shown), Shown(&Shown) {
  setAttribute(Qt::WA_DeleteOnClose);
  setFixedSize(FormWidth, FormHeight);
  const int ButtonTop = FormHeight - Margin - ButtonHeight;
  GroupBox1 = new TPeGroupBox(this);
  GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
  GroupBox1->setGeometry(Margin, Margin, LeftWidth, 214);
  GroupBox2 = new TPeGroupBox(this);
  GroupBox2->setObjectName(QStringLiteral("GroupBox2"));
  GroupBox2->setGeometry(RightLeft, Margin, RightWidth, 150);
  PeGroupSpace1 = new TPeGroupSpace(QStringLiteral("Error Diffusion"), this);
  PeGroupSpace1->setObjectName(QStringLiteral("PeGroupSpace1"));
  PeGroupSpace1->setGeometry(RightLeft, 166, RightWidth, 56);
  DiffuseBox = new TPeCombo(PeGroupSpace1);
  DiffuseBox->setObjectName(QStringLiteral("DiffuseBox"));
  DiffuseBox->SetReadOnly(true);
  DiffuseBox->SetItems({QStringLiteral("None"), QStringLiteral("Floyd Steinberg"), QStringLiteral("Stucki"),
                        QStringLiteral("Sierra"), QStringLiteral("Jarvis, Judice & Ninke ")});
  DiffuseBox->SetItemIndex(0);
  DiffuseBox->setGeometry(10, 24, RightWidth - 20, 21);
  auto* ColGroup = new TPeGroupSpace(this);
  ColGroup->setGeometry(Margin, 226, FormWidth - 2 * Margin, 22);
  ColLbl =
      new QLabel(QStringLiteral("Unique colors in original image: ") + ThousandsText(Shown.CountColors()), ColGroup);
  ColLbl->setObjectName(QStringLiteral("ColLbl"));
  ColLbl->setGeometry(4, 2, ColGroup->width() - 8, 18);
  PreviewBtn = NewButton(this, "PreviewBtn", QStringLiteral("Preview"));
  PreviewBtn->setGeometry(Margin, ButtonTop, ButtonWidth, ButtonHeight);
  CancelBtn = NewButton(this, "CancelBtn", QStringLiteral("Cancel"));
  CancelBtn->setGeometry(FormWidth - Margin - ButtonWidth, ButtonTop, ButtonWidth, ButtonHeight);
  OkBtn = NewButton(this, "OkBtn", QStringLiteral("Apply"));
  OkBtn->setGeometry(CancelBtn->x() - ButtonGap - ButtonWidth, ButtonTop, ButtonWidth, ButtonHeight);
  connect(PreviewBtn, &QAbstractButton::clicked, this, &TStdConvertForm::PreviewBtnClick);
  connect(OkBtn, &QAbstractButton::clicked, this, &TStdConvertForm::OkBtnClick);
  connect(CancelBtn, &QAbstractButton::clicked, this, &TStdConvertForm::CancelBtnClick);
}

void TStdConvertForm::EnablePreview() {
  PreviewBtn->SetCaption(QStringLiteral("Preview"));
  Pending = true;
}

void TStdConvertForm::PreviewBtnClick() {
  TWaitCursor Wait;
  try {
    if (Pending) {
      Convert();
      PreviewBtn->SetCaption(QStringLiteral("Reset"));
      Pending = false;
    } else {
      ShowBuffer(Orig);
      EnablePreview();
    }
  } catch (const std::exception& E) {
    Wait.Release();
    Recover(E);
  }
}

void TStdConvertForm::Convert() {
  MakeResult();
  ShowBuffer(Result ? Result : Orig);
}

// The host shows one of the two buffers; the dialog holds the other.
void TStdConvertForm::ShowBuffer(TDib* Which) {
  if (Which == Shown) {
    Host.Redraw();
    return;
  }
  Held = Host.Exchange(std::move(Held));
  Shown = Which;
}

void TStdConvertForm::FreeResult() {
  if (!Result)
    return;
  ShowBuffer(Orig);
  Held.reset();
  Result = nullptr;
}

// The original stays shown while the worker reads it.
void TStdConvertForm::MakeResult() {
  if (!Pending && Result)
    return;
  FreeResult();
  std::unique_ptr<TDib> Made;
  const TConversion Run = Conversion();
  RunWithProgress(this, windowTitle(), [&](const TProgressFn& Progress) { Run(*Orig, Made, Progress); });
  if (!Made)
    return;
  Held = std::move(Made);
  Result = Held.get();
}

void TStdConvertForm::OkBtnClick() {
  TWaitCursor Wait;
  try {
    Apply();
  } catch (const std::exception& E) {
    Wait.Release();
    Recover(E);
    // Once the host shows the conversion it is kept whatever failed after.
    if (Orig)
      return;
  }
  done(Accepted);
}

// Converted before the undo step, so that a failed conversion records
// nothing; the step holds the original, shown while it is taken.
void TStdConvertForm::Apply() {
  MakeResult();
  ShowBuffer(Orig);
  if (Result) {
    Host.TakeSnapshot();
    ShowBuffer(Result);
    Held.reset();
    Orig = nullptr;
    Host.Converted();
  }
  StoreSettings();
}

void TStdConvertForm::Recover(const std::exception& E) {
  if (Orig) {
    ShowBuffer(Orig);
    EnablePreview();
  }
  const bool OutOfMemory = dynamic_cast<const std::bad_alloc*>(&E) != nullptr;
  ShowMessageKind(OutOfMemory ? QStringLiteral("out of memory!") : QString::fromUtf8(E.what()), mkError);
}

void TStdConvertForm::CancelBtnClick() { done(Rejected); }

void TStdConvertForm::keyPressEvent(QKeyEvent* E) {
  switch (E->key()) {
  case Qt::Key_Return:
  case Qt::Key_Enter: OkBtn->click(); return;
  case Qt::Key_Escape: CancelBtn->click(); return;
  default: TQuennaForm::keyPressEvent(E);
  }
}

// Every way of closing ends here: the buttons, Escape, the close box and
// the host closing. A conversion still running keeps the dialog open.
void TStdConvertForm::done(int R) {
  if (Finished || WorkerRunning())
    return;
  Finished = true;
  FormClose(R == Accepted);
  TQuennaForm::done(R);
}

void TStdConvertForm::FormClose(bool Accepted) {
  if (!Accepted && Orig) {
    if (Result)
      FreeResult();
    else
      Host.Redraw();
  }
  Held.reset();
  Result = nullptr;
  Host.EndModal();
}
