#include "Info.h"

TInfoForm::TInfoForm(QWidget* Parent) : TQuennaForm(Parent) {
  setWindowTitle(QStringLiteral("Info"));
  resize(220, 300);
}
