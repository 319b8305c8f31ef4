#pragma once

#include <QDialog>

// Base of the program's dialogs and side windows: a stay-on-top tool window
// with a close box only, Arial 12 px text and a gradient background.
class TQuennaForm : public QDialog {
  Q_OBJECT
public:
  explicit TQuennaForm(QWidget* parent = nullptr);

protected:
  void paintEvent(QPaintEvent*) override;
};
