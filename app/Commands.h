#pragma once
#include <span>

class TPelorinMain;

// When a command can be chosen; TPelorinMain::Allows decides each one.
enum TCommandRule : int {
  crNone,      // whenever it is built
  crImage,     // an image from a file or the clipboard is shown
  crWindowed,  // such an image, and not in full screen
  crTune,      // windowed, more than two colors
  crTuneHsl,   // an image in color
  crFilter,    // windowed, an image the filters work on
  crColorTbl,  // windowed, an image with a palette
  crOpenAgain, // the shown file can be read again
  crClipboard, // the clipboard holds an image
  crUndo,
  crRedo,
  crToGray,
  crToPal,
  crToRgb,
};

enum TCommandKind : int {
  ckItem,
  ckCheck, // an item with a check mark
  ckZoom,  // one of the zoom steps, which check one another
  ckMenu,  // a submenu, up to its ckEnd
  ckWork,  // the workbench: a submenu here and, under the twin names, a popup
  ckEnd,
  ckLine,
};

// What a command runs; Tag is the row's.
using TCommandHandler = void (*)(TPelorinMain& Main, int Tag);

// One row of the main popup, in order. Rows of the workbench build a twin
// item in the workbench popup; both follow the same rule and handler.
struct TCommandRow {
  TCommandKind Kind;
  const char* Name = "";
  const char* Twin = "";
  const char* Caption = "";
  const char* Shortcut = "";
  // Commands without one are not built yet and stay disabled.
  TCommandHandler Handler = nullptr;
  TCommandRule Rule = crNone;
  int Tag = 0;
  // The twin's caption where it differs.
  const char* TwinCaption = nullptr;
};

// Every command of the popups.
std::span<const TCommandRow> CommandRows();
