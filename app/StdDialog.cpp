#include "StdDialog.h"

#include "DsVCL.h"

namespace {
constexpr int DefaultWidth = 178, DefaultHeight = 117;
constexpr int Margin = 8, ButtonGap = 6;
constexpr int ButtonWidth = 73, ButtonHeight = 25;
} // namespace

TStdDialogForm::TStdDialogForm(QWidget* Parent) : TQuennaForm(Parent) {
  GroupBox1 = new TPeGroupBox(this);
  GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
  OkBtn = new TPeButton(QStringLiteral("OK"), this);
  OkBtn->setObjectName(QStringLiteral("OkBtn"));
  OkBtn->SetModalResult(mrOk);
  CancelBtn = new TPeButton(QStringLiteral("Cancel"), this);
  CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
  CancelBtn->SetModalResult(mrCancel);
  SetClientSize(DefaultWidth, DefaultHeight);
}

void TStdDialogForm::SetClientSize(int Width, int Height) {
  setFixedSize(Width, Height);
  PlaceControls();
}

void TStdDialogForm::resizeEvent(QResizeEvent* E) {
  TQuennaForm::resizeEvent(E);
  PlaceControls();
}

void TStdDialogForm::PlaceControls() {
  const int ButtonTop = height() - Margin - ButtonHeight;
  GroupBox1->setGeometry(Margin, Margin, width() - 2 * Margin, ButtonTop - 2 * Margin);
  CancelBtn->setGeometry(width() - Margin - ButtonWidth, ButtonTop, ButtonWidth, ButtonHeight);
  OkBtn->setGeometry(CancelBtn->x() - ButtonGap - ButtonWidth, ButtonTop, ButtonWidth, ButtonHeight);
}
