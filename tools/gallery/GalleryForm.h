#pragma once

#include "Quenna.h"

#include <QList>

class TBarPopupMenu;
class TBarMainMenu;
class TPeTextBox;

// Every control of the library in each of its states, for work on the look.
class TGalleryForm : public TQuennaForm {
  Q_OBJECT
public:
  explicit TGalleryForm(QWidget* parent = nullptr);

  // The controls shown, for checks that each one paints.
  QList<QWidget*> Controls() const { return FControls; }
  TBarPopupMenu* PopupMenu() const { return FPopup; }
  // Puts the hover, pressed and focus states on their sample controls
  // (a mouse moving over the window clears the hover ones).
  void ShowStates();

protected:
  void contextMenuEvent(QContextMenuEvent* e) override;

private:
  template <class T>
  T* Add(T* Control) {
    FControls << Control;
    return Control;
  }
  QWidget* BuildGroups();
  QWidget* BuildButtons();
  QWidget* BuildChecks();
  QWidget* BuildEdits();
  QWidget* BuildSliders();
  QWidget* BuildMenus();
  void FillMenu(QMenu* Menu);

  QList<QWidget*> FControls;
  QList<QWidget*> FHotSamples;
  QList<QWidget*> FPressedSamples;
  QWidget* FFocusSample = nullptr;
  TBarPopupMenu* FPopup = nullptr;
  TBarMainMenu* FMainMenu = nullptr;
  TPeTextBox* FCheckedTagBox = nullptr;
};
