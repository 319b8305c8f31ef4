#pragma once
#include <cstdint>

// Palette transparency and background of an indexed image, as the GIF and PNG
// readers find them and their writers store them again.
struct TTransparencyInfo {
  int32_t TransparentIndex = -1; // -1 none; -2 more than one entry is transparent
  int32_t TransparentColor = 0;  // that entry's own color
  int32_t BackIndex = -1;        // the file's background palette index, -1 none
  int32_t BackColor = 0;         // that entry's color

  void Reset() { *this = TTransparencyInfo{}; }
};
