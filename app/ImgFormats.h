#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Settings.h"
#include "Transparency.h"
#include "XImg.h"

// The program's tables of readers and writers: which codec serves a format,
// how the settings prepare it and how the info window names the file.

// A reader for the registry's format number, prepared from the settings;
// none for formats without a reader.
std::unique_ptr<TImgReader> CreateReader(int32_t Format, const TSettings& S);
// Valid after Open.
std::string ReaderFormatText(int32_t Format, const TImgReader& Reader, const std::string& Path);
// The palette transparency a GIF or PNG reader found; false for other formats.
bool ReaderTransparency(int32_t Format, const TImgReader& Reader, TTransparencyInfo& Info);

// The open dialog's filters: one entry per readable format of the registry, then
// all supported files (OpenFilterAll) and all files.
std::vector<std::string> OpenFilters();
inline constexpr int32_t OpenFilterAll = 16;

// The save dialog's 13 filters; entry 8 is the portable map placeholder
// "MAP (*.pnm)" that SaveFiltersFor replaces by the kind that fits Image.
std::vector<std::string> SaveFilters();
std::vector<std::string> SaveFiltersFor(const TDib& Image);
inline constexpr int32_t SaveFilterCount = 13;
inline constexpr int32_t SaveFilterPnm = 8;

struct TSaveChoice {
  // None when the precondition refused the image or no writer exists yet.
  std::unique_ptr<TImgWriter> Writer;
  std::string Extension;
  std::string FormatText;
  // Why nothing is written, for an information box.
  std::string Refusal;
};

struct TMetaTexts {
  std::string Title, Author, Rights;
};

TSaveChoice CreateWriter(int32_t FilterIndex, const TDib& Image, const TSettings& S,
                         const TTransparencyInfo& Transparency, const TMetaTexts& Meta);

// Name with Extension appended unless the lower-cased name holds it anywhere.
std::string NameWithExtension(const std::string& Name, const std::string& Extension);

inline constexpr const char* NotSupportedText = "File type not supported";
