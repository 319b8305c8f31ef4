#pragma once
#include <array>
#include <functional>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "Transparency.h"
#include "XImg.h"

// The table of formats: one row per format number, which the registry, the
// open and save dialogs, the program and the converter all read. A new codec
// is its own file pair plus its row in XFormats.cpp.

// The texts an image file carries.
struct TMetaTexts {
  std::string Title, Author, Rights;
};

// What a reader takes from the settings: NewReader sets up a new reader with
// the first two, the read sequence of XImageRead.h uses the rest.
struct TReadOptions {
  // For files that store no resolution; unset keeps the reader's own.
  std::optional<int32_t> Resolution;
  // Shown behind transparent pixels, by formats that take it.
  std::optional<TColor> Background;
  bool AlphaEnabled = false;
  TProgressEvent OnProgress;
  // Photo CD: 0 for 192 x 128 up to 4 for 3072 x 2048.
  uint8_t PcdResolution = 2;
  // LogLuv TIFF: the file's STONITS value sets the exposure.
  bool LuvStonits = false;
  // LogLuv TIFF: every row as stored, before conversion, for a caller that
  // renders the image again at another exposure.
  std::function<void(std::span<const uint8_t>)> OnLuvRow;
  // The caller turns the image by its stored orientation (TImageRead's
  // Orientation is left at 0 when off).
  bool ApplyOrientation = true;
  // Embedded color profiles convert the pixels to sRGB.
  bool ApplyProfile = true;
};

// What the writers take from the settings or the command line; each writer
// reads only its own fields.
struct TWriteOptions {
  // Bitmaps with the 12-byte header and 3-byte palette entries.
  bool Os2 = false;
  // 0 stores uncompressed codes, otherwise LZW.
  uint8_t GifCompression = 3;
  bool GifInterlaced = false;
  // Filter set bits; None is always added.
  uint8_t PngFilters = 0;
  int32_t PngLevel = 6;
  bool PngInterlaced = false;
  // Taken only for color palette images.
  bool PngOptimizePalette = false;
  // 1 to 100.
  int32_t JpgQuality = 90;
  bool JpgProgressive = false;
  bool TifBigEndian = false;
  // 0 none, 3 LZW, 4 LZW with horizontal prediction, 12 deflate.
  uint8_t TifCompression = 0;
  int32_t TifStripSize = 32768;
  bool TgaRunLength = false;
  // Decimal text instead of raw bytes.
  bool PnmPlain = false;
  TTransparencyInfo Transparency;
  // Stored by the formats that carry texts.
  TMetaTexts Texts;
};

// How the save dialog names a kind of file.
struct TSaveKind {
  std::string Caption, Extension, Text;
};

struct TFormatRow {
  int32_t Format = fmtUnknown;
  // Upper case, tested in this order.
  std::array<const char*, 4> Extensions{};
  const char* Text = "";
  // Names in the open and save dialogs; none leaves the format out.
  const char* OpenCaption = nullptr;
  const char* SaveCaption = nullptr;
  // What a saved file is called; none calls it by Text. It gets the first
  // extension in lower case.
  const char* SaveText = nullptr;
  // An extension of a variant that is read but never written, and its text.
  const char* VariantExtension = nullptr;
  const char* VariantText = nullptr;
  // The info window names the file by the reader's FormatVariant.
  bool ShowsReaderVariant = false;
  bool TakesBackground = false;
  std::unique_ptr<TImgReader> (*NewReader)() = nullptr;
  // Hands a new reader of this row the options only its format takes.
  void (*Configure)(TImgReader&, const TReadOptions&) = nullptr;
  std::unique_ptr<TImgWriter> (*NewWriter)(const TWriteOptions&, const TDib&) = nullptr;
  // Why an image cannot be written in this format; null or empty when it can.
  const char* (*Refusal)(const TDib&) = nullptr;
  // Changes the save kind where it depends on the options or the image.
  void (*AdjustSaveKind)(TSaveKind&, const TWriteOptions&, const TDib&) = nullptr;
  // The version of the library that does the work, for the converter's info.
  std::string (*LibraryVersion)() = nullptr;
};

// Rows in format number order, fmtBMP to fmtBUM.
std::span<const TFormatRow> FormatRows();
// Null for fmtUnknown and numbers outside the table.
const TFormatRow* FindFormat(int32_t Format);

bool CanRead(int32_t Format);
// A reader for the format with Resolution and Background of O applied; none
// for formats without a reader.
std::unique_ptr<TImgReader> NewReader(int32_t Format, const TReadOptions& O);
// What the info window calls the file after Reader opened it.
std::string DetailedFormatText(int32_t Format, const TImgReader& Reader, std::string_view Path);

// The open dialog's filters: one entry per readable format of the registry,
// then all supported files (OpenFilterAll) and all files.
std::vector<std::string> OpenFilters();
inline constexpr int32_t OpenFilterAll = 16;

// The save dialog's 13 filters; entry 8 is the portable map placeholder
// "MAP (*.pnm)" that SaveFiltersFor replaces by the kind that fits Image.
std::vector<std::string> SaveFilters();
std::vector<std::string> SaveFiltersFor(const TDib& Image);
inline constexpr int32_t SaveFilterCount = 13;
inline constexpr int32_t SaveFilterPnm = 8;
// The row of save filter FilterIndex, counted from 1; null outside.
const TFormatRow* SaveFilterRow(int32_t FilterIndex);
TSaveKind SaveKindOf(const TFormatRow& Row, const TWriteOptions& O, const TDib& Image);

inline constexpr const char* NotSupportedText = "File type not supported";

struct TSaveChoice {
  // None when the format refused the image or no writer exists yet.
  std::unique_ptr<TImgWriter> Writer;
  std::string Extension;
  std::string FormatText;
  // Why nothing is written, for an information box.
  std::string Refusal;
};

TSaveChoice ChooseWriter(int32_t FilterIndex, const TDib& Image, const TWriteOptions& O);
