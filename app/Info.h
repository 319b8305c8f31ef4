#pragma once
#include "Quenna.h"

// The image info window; it shows the file and image data of the current image.
class TInfoForm : public TQuennaForm {
  Q_OBJECT
public:
  explicit TInfoForm(QWidget* Parent = nullptr);
};
