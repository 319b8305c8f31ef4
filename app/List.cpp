#include "List.h"

TListForm::TListForm(QWidget* Parent) : TQuennaForm(Parent) {
  setWindowTitle(QStringLiteral("List"));
  resize(378, 240);
}
