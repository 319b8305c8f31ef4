#pragma once
#include <QString>
#include <cstdint>

class QWidget;

// The library that shows the about window, beside the program.
inline constexpr char AboutLibraryName[] = "libquenna.so";

// The version the about window names.
inline constexpr uint8_t AboutMajor = 0, AboutMinor = 6, AboutRelease = 5;

enum TAboutOutcome : int { aoShown, aoNotFound, aoInvalid };

// Loads the library File, shows its about window against Owner and unloads
// the library once the window has closed (in every case it was loaded).
TAboutOutcome ShowAboutLibrary(const QString& File, QWidget* Owner);
