#pragma once
#include <cstdint>
#include <span>
#include <string>

#include "XMetaDC.h"

// The record players of the two metafile formats. Both take the whole file,
// check every record's size against the file and against its own fields,
// skip records they do not know or cannot place, and stop at the end record,
// at the end of the data or when the DC's work budget is spent.
struct TMetaPlayResult {
  int32_t Played = 0;
  int32_t Skipped = 0;
  // The data ended before the end record, or a record ran past it.
  bool Truncated = false;
};

// Most records a player looks at in one file.
inline constexpr int32_t MaxMetaRecords = 4'000'000;

// Records start at Offset (after the placeable header, if any).
TMetaPlayResult PlayWmf(std::span<const uint8_t> File, size_t Offset, TMetaDC& DC);
TMetaPlayResult PlayEmf(std::span<const uint8_t> File, TMetaDC& DC);

// Text of the older format's 8-bit records in a Windows code page (1252 unless
// the font's character set names another the player knows) as UTF-8.
std::string AnsiToUtf8(std::span<const uint8_t> Text, uint8_t Charset);
// Little-endian UTF-16 code units as UTF-8; broken pairs become U+FFFD.
std::string Utf16ToUtf8(std::span<const uint8_t> Text);

// The window a plain metafile sets first (origin and extent records before
// any drawing), in logical units; false when it sets none.
bool FindWmfWindow(std::span<const uint8_t> File, size_t Offset, TMetaRect& Window);
