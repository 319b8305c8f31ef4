#pragma once
#include "Quenna.h"

// The file list window: the image files of the shown file's folder.
class TListForm : public TQuennaForm {
  Q_OBJECT
public:
  explicit TListForm(QWidget* Parent = nullptr);
};
