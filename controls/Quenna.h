#pragma once

#include <QDialog>

// Base of the program's dialogs and side windows: a stay-on-top tool window
// with a close box only, Arial 12 px text and a gradient background.
class TQuennaForm : public QDialog {
  Q_OBJECT
public:
  explicit TQuennaForm(QWidget* parent = nullptr);

  // Shows the form right of Main if the screen has room there, else left
  // of it, else where the window system puts it: a tool window beside the
  // image it works on.
  void ShowBeside(const QWidget& Main);

protected:
  void paintEvent(QPaintEvent*) override;
};
