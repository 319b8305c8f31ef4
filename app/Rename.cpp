#include "Rename.h"

#include <QEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScreen>

#include "DsVCL.h"

namespace {
constexpr int FormWidth = 260, FormHeight = 72;
constexpr int Margin = 8;
} // namespace

TRenameForm::TRenameForm(const QString& Base, QWidget* Parent) : TQuennaForm(Parent) {
  setObjectName(QStringLiteral("RenameForm"));
  setWindowTitle(QStringLiteral("Rename"));
  setFixedSize(FormWidth, FormHeight);
  GroupBox1 = new TPeGroupBox(this);
  GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
  GroupBox1->setGeometry(Margin, Margin / 2, FormWidth - 2 * Margin, FormHeight - Margin - Margin / 2);
  Editor = new QLineEdit(GroupBox1);
  Editor->setObjectName(QStringLiteral("Editor"));
  Editor->setGeometry(Margin, 20, GroupBox1->width() - 2 * Margin, 21);
  Editor->setText(Base);
  Editor->selectAll();
  Editor->installEventFilter(this);
  setFocusProxy(Editor);
  // Centered on the desktop, not on the list window that asks.
  if (const QScreen* Screen = QGuiApplication::primaryScreen())
    move(Screen->availableGeometry().center() - rect().center());
}

QString TRenameForm::Text() const { return Editor->text().trimmed(); }

void TRenameForm::EditorKeyDown(QKeyEvent* E) {
  switch (E->key()) {
  case Qt::Key_Return:
  case Qt::Key_Enter:
    // A blank name is no name: the dialog stays until one is typed.
    if (!Text().isEmpty())
      accept();
    E->accept();
    break;
  case Qt::Key_Escape:
    reject();
    E->accept();
    break;
  default: E->ignore();
  }
}

bool TRenameForm::eventFilter(QObject* Watched, QEvent* E) {
  if (Watched == Editor && E->type() == QEvent::KeyPress) {
    auto* Key = static_cast<QKeyEvent*>(E);
    EditorKeyDown(Key);
    return Key->isAccepted();
  }
  return TQuennaForm::eventFilter(Watched, E);
}

void TRenameForm::keyPressEvent(QKeyEvent* E) {
  EditorKeyDown(E);
  if (!E->isAccepted())
    TQuennaForm::keyPressEvent(E);
}
