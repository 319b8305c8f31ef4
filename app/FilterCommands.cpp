#include "FilterDialog.h"
#include "Main.h"

void TPelorinMain::FilterItemClick(int Tag) {
  if (ModalLock || !Image)
    return;
  TFilterForm Form(*Image, this);
  Form.SetFilter(Tag);
  if (Form.exec() != QDialog::Accepted)
    return;
  ApplyFilterWithProgress(Form.FilterNo, Form.Param, Form.Strength);
}
