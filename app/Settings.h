#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <type_traits>

#include "CodePage1252.h"

static_assert(sizeof(bool) == 1);

using TColor = uint32_t;

// A 32-bit integer kept as its four little-endian file bytes. Its alignment
// of 1 lays the record out without gaps and without packing, so any field
// may be bound to a reference; it reads and writes like the integer.
template <class T>
class TLittleEndian {
  static_assert(sizeof(T) == 4);

public:
  operator T() const {
    return T(uint32_t(Bytes[0]) | uint32_t(Bytes[1]) << 8 | uint32_t(Bytes[2]) << 16 | uint32_t(Bytes[3]) << 24);
  }
  TLittleEndian& operator=(T Value) {
    const uint32_t U = uint32_t(Value);
    for (int I = 0; I < 4; ++I)
      Bytes[I] = uint8_t(U >> (8 * I));
    return *this;
  }
  TLittleEndian& operator+=(T Delta) { return *this = T(*this + Delta); }
  TLittleEndian& operator-=(T Delta) { return *this = T(*this - Delta); }

private:
  uint8_t Bytes[4];
};

using TInt32 = TLittleEndian<int32_t>;
using TUInt32 = TLittleEndian<uint32_t>;
using TColorField = TLittleEndian<TColor>;

// A length byte and up to N characters of Windows-1252. Callers see UTF-8.
template <size_t N>
struct TShortString {
  static_assert(N >= 1 && N <= 255);
  uint8_t Len;
  uint8_t Chars[N];

  static constexpr size_t MaxLength = N;

  std::string Text() const { return Cp1252ToUtf8(Chars, Len < N ? Len : N); }

  // Cuts to N characters. The bytes behind the text are cleared so that an
  // earlier, longer text does not linger in the file. Returns false when a
  // character was replaced by "?" or cut off.
  bool SetText(std::string_view Utf8) {
    bool Lossless = true;
    const std::string Bytes = Utf8ToCp1252(Utf8, &Lossless);
    const size_t Count = Bytes.size() < N ? Bytes.size() : N;
    std::memset(Chars, 0, N);
    std::memcpy(Chars, Bytes.data(), Count);
    Len = uint8_t(Count);
    return Lossless && Count == Bytes.size();
  }

  bool Empty() const { return Len == 0; }
};

struct TSettings {
  TUInt32 Version;
  TColorField BackColor;
  bool ZoomToFit;
  TInt32 TileMode;           // 0 never, 1 auto, 2 always
  TInt32 TileThreshold;      // "auto" limit in units of 1 024 000 bytes
  TInt32 FullScreenResample; // 0 linear, 1 filter 1, 2 filter 2
  bool ShowProgress;
  bool ApplyAlpha;
  uint8_t ViewOptionsOff; // voKeepStoredTurn | voIgnoreProfiles; 0 all on
  bool MouseBrowseWindow;
  bool MouseBrowseFullScreen;
  bool TwainEnabled;
  bool ShowWarnings;
  bool Gradients;
  bool ResizeDistortion;
  TInt32 ResizeFilter; // 0 Box .. 6 Lanczos
  TInt32 ResizeUnit;   // 0 inch, 1 cm
  TInt32 DefaultDpi;
  TInt32 PrinterDpi;
  TInt32 ResizeUserDpi;
  TInt32 GrayLevels;
  TInt32 GrayWeighting; // 0 custom, 1 CIE, 2 NTSC, 3 OpenGL
  TInt32 GrayRed;
  TInt32 GrayGreen;
  TInt32 GrayBlue;
  TInt32 GrayDiffusion; // 0 none .. 4 Jarvis, Judice & Ninke
  TInt32 PalColors;     // color choice 0..6
  TInt32 PalCustomCount;
  TInt32 PalQuantizer; // 0..3
  TInt32 PalDiffusion; // as GrayDiffusion
  TInt32 MainLeft;
  TInt32 MainTop;
  TInt32 InfoLeft;
  TInt32 InfoTop;
  TInt32 ListLeft;
  TInt32 ListTop;
  TInt32 ListWidth;
  TInt32 ListHeight;
  bool ListDetails;
  bool ListBold;
  TInt32 ListSortColumn; // 0 name, 1 type, 2 size, 3 date
  uint8_t ListSortDescending[4];
  TInt32 ListColumnWidths[4];
  bool ListAutoCheck;
  TShortString<240> SignAuthor;
  TShortString<240> SignCopyright;
  bool SignPng;
  bool SignTif;
  bool SignPnm;
  uint8_t BmpOs2;         // 0 Windows, 1 OS/2
  uint8_t GifCompression; // 0 none, 3 LZW
  bool GifInterlaced;
  bool TgaRle;
  TInt32 JpgQuality;
  bool JpgProgressive;
  uint8_t TifBigEndian;   // 0 PC, 1 Mac
  uint8_t TifCompression; // 0 none, 3 LZW, 4 LZW with prediction, 12 LZ77
  TInt32 TifStripSize;
  TInt32 PngCompressionLevel;
  uint8_t PngFilters; // bit 0 None, 1 Sub, 2 Up, 3 Average, 4 Paeth
  bool PngOptimizePalette;
  bool PngInterlaced;
  uint8_t PnmCompression;  // 14 ASCII, 0 binary
  uint8_t OpenFilterIndex; // 1-based
  uint8_t SaveFilterIndex; // 1-based
  TShortString<255> OpenFolder;
  TShortString<255> SaveFolder;
  TShortString<255> LaunchPrograms[3]; // F6, F7, F8
  bool AutoOpen;
  TShortString<64> PrintFontName;
  TInt32 PrintFontSize;   // points
  uint8_t PrintFontStyle; // bit 0 bold, 1 italic, 2 underline, 3 strike-out
  TColorField PrintFontColor;
  bool PrintCenterTitle;
  bool PrintTitle;
  bool PrintKeepMargins;
  bool UndoEnabled;
  uint8_t PcdResolution; // 0 192 x 128 .. 4 3072 x 2048
  bool LuvControl;
  bool LuvStonits;
};

// Bits of ViewOptionsOff. Records of earlier versions hold 0 there, which
// keeps both on; earlier versions never read the byte.
inline constexpr uint8_t voKeepStoredTurn = 1; // images stay as stored
inline constexpr uint8_t voIgnoreProfiles = 2; // embedded profiles unused
inline constexpr uint8_t voKnownBits = voKeepStoredTurn | voIgnoreProfiles;

inline constexpr size_t SettingsSize = 2021;
inline constexpr uint32_t SettingsVersion = 1541;
inline constexpr char SettingsFileTitle[] = "Pelorin.up";

static_assert(sizeof(TSettings) == SettingsSize);
static_assert(alignof(TSettings) == 1);
static_assert(std::is_standard_layout_v<TSettings> && std::is_trivially_copyable_v<TSettings>);
#define PELORIN_AT(Field, Offset) static_assert(offsetof(TSettings, Field) == Offset, #Field)
PELORIN_AT(Version, 0);
PELORIN_AT(BackColor, 4);
PELORIN_AT(ZoomToFit, 8);
PELORIN_AT(TileMode, 9);
PELORIN_AT(TileThreshold, 13);
PELORIN_AT(FullScreenResample, 17);
PELORIN_AT(ShowProgress, 21);
PELORIN_AT(ApplyAlpha, 22);
PELORIN_AT(ViewOptionsOff, 23);
PELORIN_AT(MouseBrowseWindow, 24);
PELORIN_AT(MouseBrowseFullScreen, 25);
PELORIN_AT(TwainEnabled, 26);
PELORIN_AT(ShowWarnings, 27);
PELORIN_AT(Gradients, 28);
PELORIN_AT(ResizeDistortion, 29);
PELORIN_AT(ResizeFilter, 30);
PELORIN_AT(ResizeUnit, 34);
PELORIN_AT(DefaultDpi, 38);
PELORIN_AT(PrinterDpi, 42);
PELORIN_AT(ResizeUserDpi, 46);
PELORIN_AT(GrayLevels, 50);
PELORIN_AT(GrayWeighting, 54);
PELORIN_AT(GrayRed, 58);
PELORIN_AT(GrayGreen, 62);
PELORIN_AT(GrayBlue, 66);
PELORIN_AT(GrayDiffusion, 70);
PELORIN_AT(PalColors, 74);
PELORIN_AT(PalCustomCount, 78);
PELORIN_AT(PalQuantizer, 82);
PELORIN_AT(PalDiffusion, 86);
PELORIN_AT(MainLeft, 90);
PELORIN_AT(MainTop, 94);
PELORIN_AT(InfoLeft, 98);
PELORIN_AT(InfoTop, 102);
PELORIN_AT(ListLeft, 106);
PELORIN_AT(ListTop, 110);
PELORIN_AT(ListWidth, 114);
PELORIN_AT(ListHeight, 118);
PELORIN_AT(ListDetails, 122);
PELORIN_AT(ListBold, 123);
PELORIN_AT(ListSortColumn, 124);
PELORIN_AT(ListSortDescending, 128);
PELORIN_AT(ListColumnWidths, 132);
PELORIN_AT(ListAutoCheck, 148);
PELORIN_AT(SignAuthor, 149);
PELORIN_AT(SignCopyright, 390);
PELORIN_AT(SignPng, 631);
PELORIN_AT(SignTif, 632);
PELORIN_AT(SignPnm, 633);
PELORIN_AT(BmpOs2, 634);
PELORIN_AT(GifCompression, 635);
PELORIN_AT(GifInterlaced, 636);
PELORIN_AT(TgaRle, 637);
PELORIN_AT(JpgQuality, 638);
PELORIN_AT(JpgProgressive, 642);
PELORIN_AT(TifBigEndian, 643);
PELORIN_AT(TifCompression, 644);
PELORIN_AT(TifStripSize, 645);
PELORIN_AT(PngCompressionLevel, 649);
PELORIN_AT(PngFilters, 653);
PELORIN_AT(PngOptimizePalette, 654);
PELORIN_AT(PngInterlaced, 655);
PELORIN_AT(PnmCompression, 656);
PELORIN_AT(OpenFilterIndex, 657);
PELORIN_AT(SaveFilterIndex, 658);
PELORIN_AT(OpenFolder, 659);
PELORIN_AT(SaveFolder, 915);
PELORIN_AT(LaunchPrograms, 1171);
PELORIN_AT(AutoOpen, 1939);
PELORIN_AT(PrintFontName, 1940);
PELORIN_AT(PrintFontSize, 2005);
PELORIN_AT(PrintFontStyle, 2009);
PELORIN_AT(PrintFontColor, 2010);
PELORIN_AT(PrintCenterTitle, 2014);
PELORIN_AT(PrintTitle, 2015);
PELORIN_AT(PrintKeepMargins, 2016);
PELORIN_AT(UndoEnabled, 2017);
PELORIN_AT(PcdResolution, 2018);
PELORIN_AT(LuvControl, 2019);
PELORIN_AT(LuvStonits, 2020);
#undef PELORIN_AT
static_assert(sizeof(TSettings::LaunchPrograms[0]) == 256);

// The one record of the program; all zero until LoadSettings.
extern TSettings Settings;

void SetDefaultSettings(TSettings& S);

// Reads the settings file into Settings (defaults when it is missing or not a
// settings file), then writes it back at once with the main window moved
// 16 pixels right and down, so that a second copy started meanwhile cascades.
void LoadSettings();

// Writes Settings to the settings file. Failures are silent.
void SaveSettings();

// Writes Settings while the program runs, as the start does (the main
// window 16 pixels right and down, so that a copy started later still
// cascades), for choices that must outlive a crash. False when the file
// could not be written.
bool SaveSettingsNow();

// Takes a record from untrusted bytes: false (S untouched) unless Size is
// exactly SettingsSize and the version mark matches; fields beyond their
// ranges are clamped.
bool SettingsFromBytes(const uint8_t* Data, size_t Size, TSettings& S);
std::array<uint8_t, SettingsSize> SettingsToBytes(const TSettings& S);

// Brings every field into its range: clamped where there is one, else back
// to its default.
void ClampSettings(TSettings& S);

// The folder of the running executable.
std::filesystem::path ExecutableFolder();

// Where files that belong beside the program go: the program folder when a
// file can be created there, else the user's config folder
// ($XDG_CONFIG_HOME/Pelorin, default ~/.config/Pelorin), created on demand.
// Empty only when no home folder can be found.
std::filesystem::path ProgramDataFolder();
// The same choice for a given program folder.
std::filesystem::path DataFolderFor(const std::filesystem::path& Program);

std::filesystem::path SettingsFileName();

// Points the program folder (and, when not empty, the config folder)
// elsewhere; an empty ProgramFolder goes back to the executable's folder.
void SetSettingsFolders(const std::filesystem::path& ProgramFolder, const std::filesystem::path& ConfigFolder = {});
