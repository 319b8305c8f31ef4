#pragma once
#include "Quenna.h"

class TPeButton;
class TPeGroupBox;

// Base of the option dialogs: one group box over the OK and Cancel buttons.
// The group fills the form above the buttons, which keep to the bottom
// right corner, so a derived dialog only sets its size and fills the group.
class TStdDialogForm : public TQuennaForm {
  Q_OBJECT
public:
  explicit TStdDialogForm(QWidget* Parent = nullptr);

  // Fixes the form's size and lays the group and buttons out for it.
  void SetClientSize(int Width, int Height);

  TPeGroupBox* GroupBox1 = nullptr;
  TPeButton* OkBtn = nullptr;
  TPeButton* CancelBtn = nullptr;

protected:
  void resizeEvent(QResizeEvent* E) override;

private:
  void PlaceControls();
};
