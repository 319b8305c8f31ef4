#include "KeyMap.h"

namespace {

TKeyBinding Item(const char* Name) { return {kaItem, Name}; }
TKeyBinding Act(TKeyAction A, int32_t Dx = 0, int32_t Dy = 0) { return {A, nullptr, Dx, Dy}; }
TKeyBinding Fitted(TKeyBinding B) {
  B.Fit = true;
  return B;
}

bool IsEnter(int Key) { return Key == Qt::Key_Return || Key == Qt::Key_Enter; }

TKeyBinding CtrlBinding(int Key, bool Keypad) {
  if (Keypad) {
    switch (Key) {
    case Qt::Key_0: return Fitted(Act(kaZoomOne));
    case Qt::Key_2: return Act(kaScrollStep, 0, 1);
    case Qt::Key_8: return Act(kaScrollStep, 0, -1);
    case Qt::Key_4: return Act(kaScrollStep, -1, 0);
    case Qt::Key_6: return Act(kaScrollStep, 1, 0);
    case Qt::Key_Plus: return Fitted(Act(kaZoomBy, 1));
    case Qt::Key_Minus: return Fitted(Act(kaZoomBy, -1));
    default: break;
    }
  }
  if (IsEnter(Key))
    return Fitted(Act(kaFitZoom));
  switch (Key) {
  case Qt::Key_Tab:
  case Qt::Key_Backtab: return Act(kaCycleFocus);
  case Qt::Key_Insert: return Fitted(Act(kaZoomOne));
  case Qt::Key_B: return Act(kaBackground);
  case Qt::Key_C: return Item("ClpbrdCopyToItem");
  case Qt::Key_D: return Item("DocItem");
  case Qt::Key_M: return Item("ClpbrdMoveFromItem");
  case Qt::Key_O: return Item("OpenItem");
  case Qt::Key_P: return Item("PrintItem");
  case Qt::Key_Q: return Item("QuitItem");
  case Qt::Key_S: return Item("SaveItem");
  case Qt::Key_V: return Item("ClpbrdCopyFromItem");
  case Qt::Key_Z: return Item("UndoItem");
  case Qt::Key_F1: return Item("HelpShortcutsItem");
  case Qt::Key_F5: return Act(kaLaunch, 0);
  case Qt::Key_F6: return Act(kaLaunch, 1);
  case Qt::Key_F7: return Act(kaLaunch, 2);
  case Qt::Key_F8: return Act(kaLaunch, 3);
  case Qt::Key_F9: return Act(kaLaunch, 4);
  default: return {};
  }
}

TKeyBinding PlainBinding(int Key, bool Keypad, bool Shift, bool Alt) {
  const bool None = !Shift && !Alt;
  if (Keypad) {
    switch (Key) {
    case Qt::Key_0: return Act(kaZoomOne);
    case Qt::Key_1: return Act(kaScrollPage, 1, 0);
    case Qt::Key_7: return Act(kaScrollPage, -1, 0);
    case Qt::Key_3: return Act(kaScrollPage, 0, 1);
    case Qt::Key_9: return Act(kaScrollPage, 0, -1);
    case Qt::Key_2: return Act(kaScrollLine, 0, 1);
    case Qt::Key_8: return Act(kaScrollLine, 0, -1);
    case Qt::Key_4: return Act(kaScrollLine, -1, 0);
    case Qt::Key_6: return Act(kaScrollLine, 1, 0);
    case Qt::Key_Plus: return Act(kaZoomBy, 1);
    case Qt::Key_Minus: return Act(kaZoomBy, -1);
    default: break;
    }
  }
  if (IsEnter(Key))
    return Act(kaFitZoom);
  switch (Key) {
  case Qt::Key_Backspace: return Act(kaAlpha);
  case Qt::Key_Tab:
  case Qt::Key_Backtab: return Act(kaCycleFocus);
  case Qt::Key_Escape: return Act(kaEscape);
  case Qt::Key_Space: return Item("FullScreenItem");
  case Qt::Key_Home: return Act(kaFirstFile);
  case Qt::Key_End: return Act(kaLastFile);
  case Qt::Key_Up: return Act(kaPreviousFile);
  case Qt::Key_Down: return Act(kaNextFile);
  case Qt::Key_Insert: return Act(kaZoomOne);
  case Qt::Key_A: return Item("TwainAquireItem");
  case Qt::Key_B: return Act(kaBackground);
  case Qt::Key_C: return Item("ConfigItem");
  case Qt::Key_F: return Act(kaWindowFit);
  case Qt::Key_G: return Item("ConvGrayItem");
  case Qt::Key_I: return Item("InfoItem");
  case Qt::Key_L: return Item("ListItem");
  case Qt::Key_M: return Item(Shift ? "updown1" : "leftright1");
  case Qt::Key_N: return Item("ColorTblItem");
  case Qt::Key_O:
    if (None)
      return Item("Rot90item");
    if (!Alt)
      return Item("Ror270Item");
    return Shift ? TKeyBinding{} : Item("Rot180item");
  case Qt::Key_P: return Item("CropItem");
  case Qt::Key_R: return Item("ResizeItem");
  case Qt::Key_S: return Item("SignItem");
  case Qt::Key_T:
    if (None)
      return Item("TuneRgbItem");
    if (!Alt)
      return Item("TuneHistoItem");
    return Shift ? TKeyBinding{} : Item("TuneHslItem");
  case Qt::Key_V: return Item("InvertItem");
  case Qt::Key_X: return Item("ConvPalItem");
  case Qt::Key_Z: return Alt && !Shift ? Item("RedoItem") : TKeyBinding{};
  case Qt::Key_Menu:
  case Qt::Key_F10: return Act(kaPopup);
  case Qt::Key_F1: return Item(Alt ? "About1" : "HelpGeneralItem");
  case Qt::Key_F2: return Item("OpenItem");
  case Qt::Key_F3: return Item("OpenAgainItem");
  // Alt+F4 belongs to the window manager.
  case Qt::Key_F4: return Alt ? TKeyBinding{} : Item("SaveItem");
  case Qt::Key_F5: return Item("FennickItem");
  case Qt::Key_F6: return Item("LaunchItem1");
  case Qt::Key_F7: return Item("LaunchItem2");
  case Qt::Key_F8: return Item("LaunchItem3");
  case Qt::Key_F9: return Item("ExploreItem");
  default: return {};
  }
}

} // namespace

TKeyBinding KeyBinding(int Key, Qt::KeyboardModifiers Modifiers) {
  const bool Keypad = Modifiers & Qt::KeypadModifier;
  const bool Shift = Modifiers & Qt::ShiftModifier, Alt = Modifiers & Qt::AltModifier;
  // Combinations with the logo key are the desktop's.
  if (Modifiers & Qt::MetaModifier)
    return {};
  if (Modifiers & Qt::ControlModifier)
    return Shift || Alt ? TKeyBinding{} : CtrlBinding(Key, Keypad);
  return PlainBinding(Key, Keypad, Shift, Alt);
}
