#include "Crop.h"

#include <QKeyEvent>
#include <QLabel>
#include <QTimer>
#include <algorithm>

#include "DsSpinEdit.h"
#include "DsVCL.h"

namespace {
constexpr int FormWidth = 178, FormHeight = 169;
constexpr int LabelLeft = 10, SpinLeft = 70, SpinWidth = 76, RowHeight = 21, FirstRow = 14, RowStep = 26;

TPeSpinEdit* NewSpin(QWidget* Parent, const char* Name, int Max, int Row) {
  auto* Spin = new TPeSpinEdit(Parent);
  Spin->setObjectName(QLatin1String(Name));
  Spin->SetMinValue(0);
  Spin->SetMaxValue(Max);
  Spin->setGeometry(SpinLeft, FirstRow + Row * RowStep, SpinWidth, RowHeight);
  return Spin;
}

void NewLabel(QWidget* Parent, const QString& Caption, int Row, QWidget* Buddy) {
  auto* Label = new QLabel(Caption, Parent);
  Label->setGeometry(LabelLeft, FirstRow + Row * RowStep, SpinLeft - LabelLeft, RowHeight);
  Label->setBuddy(Buddy);
}

// Writes only a new value, so that a field being typed in keeps its text
// while it already says the same (or is empty or a lone sign for the
// moment); a typed number out of range is replaced by the bound.
void SetSpin(TPeSpinEdit* Spin, int32_t Value) {
  bool Number = false;
  const int Typed = Spin->text().trimmed().toInt(&Number);
  if (Spin->Value() != Value || (Number && Typed != Value))
    Spin->SetValue(Value);
}

bool IsEnter(int Key) { return Key == Qt::Key_Return || Key == Qt::Key_Enter; }
} // namespace

TCropForm::TCropForm(TCropHost AHost, QSize ImageSize, QWidget* Parent)
    : TStdDialogForm(Parent), Host(std::move(AHost)), W(std::max(1, ImageSize.width())),
      H(std::max(1, ImageSize.height())) {
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(QStringLiteral("Crop"));
  SetClientSize(FormWidth, FormHeight);
  CreateControls();
  Frame = new TRectBox(Host.View, QSize(W, H), Host.Zoom);
  Frame->ClientRect = Host.ClientRect;
  Frame->OnScrollKey = Host.KeyDown;
  Frame->OnChange = [this](const TCropRect& R) { FrameChanged(R); };
  // Later, as a key press would come: the crop closes the dialog and so
  // frees the frame whose event this is.
  Frame->OnDblClick = [this] {
    QTimer::singleShot(0, this, [this] {
      if (Host.KeyDown)
        Host.KeyDown(Qt::Key_Return, Qt::NoModifier);
    });
  };
  ConnectHandlers();
  Frame->show();
}

TCropForm::~TCropForm() { RemoveFrame(); }

// Hidden at once; deleted once the event that closes the dialog is done,
// which may be one of the frame's own.
void TCropForm::RemoveFrame() {
  if (!Frame)
    return;
  Frame->hide();
  Frame->deleteLater();
  Frame = nullptr;
}

void TCropForm::CreateControls() {
  OkBtn->SetCaption(QStringLiteral("Crop"));
  // The buttons do their work themselves, the crop only when it succeeded.
  OkBtn->SetModalResult(mrNone);
  CancelBtn->SetModalResult(mrNone);
  OkBtn->setEnabled(false);
  LeftSpin = NewSpin(GroupBox1, "LeftSpin", W - 1, 0);
  TopSpin = NewSpin(GroupBox1, "TopSpin", H - 1, 1);
  WidthSpin = NewSpin(GroupBox1, "WidthSpin", W, 2);
  HeightSpin = NewSpin(GroupBox1, "HeightSpin", H, 3);
  NewLabel(GroupBox1, QStringLiteral("left:"), 0, LeftSpin);
  NewLabel(GroupBox1, QStringLiteral("top:"), 1, TopSpin);
  NewLabel(GroupBox1, QStringLiteral("width:"), 2, WidthSpin);
  NewLabel(GroupBox1, QStringLiteral("height:"), 3, HeightSpin);
  WidthSpin->SetValue(W);
  HeightSpin->SetValue(H);
}

void TCropForm::ConnectHandlers() {
  connect(LeftSpin, &TPeSpinEdit::OnChange, this, &TCropForm::LeftWidthSpinChange);
  connect(WidthSpin, &TPeSpinEdit::OnChange, this, &TCropForm::LeftWidthSpinChange);
  connect(TopSpin, &TPeSpinEdit::OnChange, this, &TCropForm::TopHeightSpinChange);
  connect(HeightSpin, &TPeSpinEdit::OnChange, this, &TCropForm::TopHeightSpinChange);
  connect(LeftSpin, &TPeSpinEdit::OnDblClick, this, &TCropForm::LeftSpinDblClick);
  connect(TopSpin, &TPeSpinEdit::OnDblClick, this, &TCropForm::TopSpinDblClick);
  connect(WidthSpin, &TPeSpinEdit::OnDblClick, this, &TCropForm::WidthSpinDblClick);
  connect(HeightSpin, &TPeSpinEdit::OnDblClick, this, &TCropForm::HeightSpinDblClick);
  for (TPeSpinEdit* Spin : {LeftSpin, TopSpin, WidthSpin, HeightSpin})
    connect(Spin, &TPeSpinEdit::OnKeyDown, this, &TCropForm::SpinKeyDown);
  OkBtn->installEventFilter(this);
  CancelBtn->installEventFilter(this);
  connect(OkBtn, &QAbstractButton::clicked, this, &TCropForm::CropBtnClick);
  connect(CancelBtn, &QAbstractButton::clicked, this, &TCropForm::CancelBtnClick);
}

TCropRect TCropForm::SpinRect() const {
  return {LeftSpin->Value(), TopSpin->Value(), WidthSpin->Value(), HeightSpin->Value()};
}

void TCropForm::LeftWidthSpinChange(TPeSpinEdit* Sender) { AxisChange(Sender, LeftSpin, WidthSpin, W); }

void TCropForm::TopHeightSpinChange(TPeSpinEdit* Sender) { AxisChange(Sender, TopSpin, HeightSpin, H); }

// The spin just changed gives way to the other: a left that would push the
// rectangle out of the image is cut, as is a width.
void TCropForm::AxisChange(TPeSpinEdit* Sender, TPeSpinEdit* PosSpin, TPeSpinEdit* SizeSpin, int32_t Size) {
  if (!Frame || Frame->Updating)
    return;
  // Bounds of our own: a spin whose minimum equals its maximum has none.
  int32_t Pos = std::clamp(PosSpin->Value(), 0, Size - 1);
  int32_t Len = std::clamp(SizeSpin->Value(), 0, Size);
  if (Pos + Len > Size) {
    if (Sender == PosSpin)
      Pos = Size - Len;
    else
      Len = Size - Pos;
  }
  SetSpin(PosSpin, Pos);
  SetSpin(SizeSpin, Len);
  Frame->SetRect(SpinRect());
  UpdateOkBtn();
}

void TCropForm::FrameChanged(const TCropRect& Rect) {
  SetSpin(WidthSpin, Rect.Width);
  SetSpin(LeftSpin, Rect.Left);
  SetSpin(HeightSpin, Rect.Height);
  SetSpin(TopSpin, Rect.Top);
  UpdateOkBtn();
}

// The whole image is no crop, and an empty rectangle none the image can take.
void TCropForm::UpdateOkBtn() {
  const TCropRect R = SpinRect();
  const bool Whole = R.Left == 0 && R.Top == 0 && R.Width == W && R.Height == H;
  OkBtn->setEnabled(!Whole && R.Width >= 1 && R.Height >= 1);
}

void TCropForm::LeftSpinDblClick() { LeftSpin->SetValue(0); }
void TCropForm::TopSpinDblClick() { TopSpin->SetValue(0); }
void TCropForm::WidthSpinDblClick() { WidthSpin->SetValue(W - LeftSpin->Value()); }
void TCropForm::HeightSpinDblClick() { HeightSpin->SetValue(H - TopSpin->Value()); }

bool TCropForm::DialogKey(int Key) {
  if (IsEnter(Key)) {
    if (OkBtn->isEnabled())
      OkBtn->click();
    return true;
  }
  if (Key == Qt::Key_Escape) {
    CancelBtn->click();
    return true;
  }
  return false;
}

void TCropForm::SpinKeyDown(TPeSpinEdit*, int& Key) {
  if (DialogKey(Key))
    Key = 0;
}

bool TCropForm::eventFilter(QObject* Watched, QEvent* E) {
  if ((Watched == OkBtn || Watched == CancelBtn) && E->type() == QEvent::KeyPress &&
      DialogKey(static_cast<QKeyEvent*>(E)->key()))
    return true;
  return TStdDialogForm::eventFilter(Watched, E);
}

void TCropForm::keyPressEvent(QKeyEvent* E) {
  if (!DialogKey(E->key()))
    TStdDialogForm::keyPressEvent(E);
}

bool TCropForm::FrameKeyDown(int Key, Qt::KeyboardModifiers Modifiers) {
  const Qt::KeyboardModifiers Plain = Modifiers & ~Qt::KeypadModifier;
  if ((IsEnter(Key) || Key == Qt::Key_Escape) && Plain == Qt::NoModifier)
    return DialogKey(Key);
  // Keypad keys scroll, also the arrows of a keypad without NumLock.
  if (Modifiers != Qt::NoModifier && Modifiers != Qt::ShiftModifier)
    return false;
  const bool Sized = Modifiers == Qt::ShiftModifier;
  TPeSpinEdit* Spin = nullptr;
  int Step = 0;
  switch (Key) {
  case Qt::Key_Up: Spin = Sized ? HeightSpin : TopSpin, Step = -1; break;
  case Qt::Key_Down: Spin = Sized ? HeightSpin : TopSpin, Step = 1; break;
  case Qt::Key_Left: Spin = Sized ? WidthSpin : LeftSpin, Step = -1; break;
  case Qt::Key_Right: Spin = Sized ? WidthSpin : LeftSpin, Step = 1; break;
  default: return false;
  }
  Spin->SetValue(Spin->Value() + Step);
  return true;
}

void TCropForm::CropBtnClick() {
  const TCropRect R = SpinRect();
  if (!OkBtn->isEnabled() || R.Width < 1 || R.Height < 1)
    return;
  if (Host.Crop && !Host.Crop(R))
    return;
  done(Accepted);
}

void TCropForm::CancelBtnClick() { done(Rejected); }

// Every way of closing ends here: the buttons, the keys, the close box and
// the host closing.
void TCropForm::done(int R) {
  if (Finished)
    return;
  Finished = true;
  RemoveFrame();
  if (Host.EndModal)
    Host.EndModal();
  TStdDialogForm::done(R);
}
