#pragma once
#include <QApplication>

// The hourglass for the life of a scope, or until Release.
class TWaitCursor {
public:
  TWaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~TWaitCursor() { Release(); }
  TWaitCursor(const TWaitCursor&) = delete;
  TWaitCursor& operator=(const TWaitCursor&) = delete;
  void Release() {
    if (Active)
      QApplication::restoreOverrideCursor();
    Active = false;
  }

private:
  bool Active = true;
};
