#include <QFileInfo>

#include "List.h"
#include "Main.h"

void TPelorinMain::ListItemClick() {
  if (!ListForm)
    return;
  if (ListForm->isVisible())
    ListForm->hide();
  else
    ListForm->show();
}

void TPelorinMain::ListShown(bool Shown) { SetChecked(QStringLiteral("ListItem"), Shown); }

void TPelorinMain::FileRenamed(const QString& NewPath) {
  // The list renames its current entry, which is not the shown file when
  // that entry failed to load: the shown file keeps its name while it is
  // still there.
  if (QFileInfo::exists(FileName))
    return;
  SetFileName(NewPath);
}
