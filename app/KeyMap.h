#pragma once
#include <Qt>
#include <cstdint>

// What a key does in the main window.
enum TKeyAction : int32_t {
  kaNone,
  kaItem,  // the command of the menu item Item, if it is enabled
  kaAlpha, // toggles applying alpha and transparency
  kaCycleFocus,
  kaEscape,
  kaFitZoom, // zoom that fits the screen
  kaZoomOne, // 1:1
  kaZoomBy,  // zoom + Dx
  kaWindowFit,
  kaFirstFile,
  kaLastFile,
  kaPreviousFile,
  kaNextFile,
  kaPopup,
  kaBackground,
  kaScrollPage, // Dx, Dy client sizes
  kaScrollLine, // Dx, Dy scroll bar increments
  kaScrollStep, // Dx, Dy zoom steps
  kaLaunch,     // starts Dx (0 the browser, 1..3 a launch program, 4 the file manager) without the shown file
};

struct TKeyBinding {
  TKeyAction Action = kaNone;
  const char* Item = nullptr;
  int32_t Dx = 0, Dy = 0;
  // The window is fitted to the image afterwards.
  bool Fit = false;
};

// The main window's keyboard map. Keypad keys carry Qt::KeypadModifier;
// with Num Lock off they arrive as Home, End, Insert, ... and count as those.
TKeyBinding KeyBinding(int Key, Qt::KeyboardModifiers Modifiers);
