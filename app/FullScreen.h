#pragma once
#include <QWidget>

// The full-screen window: the current image scaled to the screen.
class TScreenForm : public QWidget {
  Q_OBJECT
public:
  explicit TScreenForm(QWidget* Parent = nullptr);
  void SetBackground(const QColor& Color);
};
