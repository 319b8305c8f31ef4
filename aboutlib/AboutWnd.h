#pragma once
#include <cstdint>

// The about window's library: one export, called by the viewer and by its
// sibling thumbnail program. Both are built with the library, so the plain
// C calling convention is all they have to agree on.

#define QUENNA_EXPORT __attribute__((visibility("default")))

// Shows the about window modally against Owner (the caller's QWidget, or
// null) and returns once it has closed. Kind 1 names the thumbnail program,
// anything else the viewer; Beta is a boolean.
extern "C" QUENNA_EXPORT void AboutWnd(void* Owner, uint8_t Kind, uint8_t Major, uint8_t Minor, uint8_t Release,
                                       uint8_t Beta);

using TAboutWndProc = void (*)(void* Owner, uint8_t Kind, uint8_t Major, uint8_t Minor, uint8_t Release, uint8_t Beta);
