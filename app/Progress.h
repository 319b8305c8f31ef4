#pragma once
#include <cstdint>

#include "Quenna.h"

class QProgressBar;
class TPeGroupBox;

// "Saving...": the plain indicator of a file being written, with no
// buttons. The writer runs on the interface thread, so the window paints
// itself at once whenever it shows or its bar moves.
class TProgressForm : public TQuennaForm {
  Q_OBJECT
public:
  explicit TProgressForm(QWidget* Parent = nullptr);

  void SetPercent(int32_t Percent);
  // Shows the form centered on the screen with the bar at 0.
  void FormActivate();

  TPeGroupBox* PeGroupBox1 = nullptr;
  QProgressBar* Bar = nullptr;
};
