#pragma once
#include <QString>

#include "Quenna.h"

class QLineEdit;
class TPeGroupBox;

// Asks a file's new name without its extension. Enter takes the text when
// it is not blank, Escape cancels.
class TRenameForm : public TQuennaForm {
  Q_OBJECT
public:
  explicit TRenameForm(const QString& Base, QWidget* Parent = nullptr);

  // The typed text, trimmed.
  QString Text() const;

  TPeGroupBox* GroupBox1 = nullptr;
  QLineEdit* Editor = nullptr;

  void EditorKeyDown(QKeyEvent* E);

protected:
  bool eventFilter(QObject* Watched, QEvent* E) override;
  void keyPressEvent(QKeyEvent* E) override;
};
