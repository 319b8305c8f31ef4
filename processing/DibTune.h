#pragma once
#include <array>
#include <cstdint>
#include <memory>

#include "DibImage.h"

// Tuning by lookup tables (brightness, contrast, gamma, levels), by hue,
// lightness and saturation, and the channel histogram.

using TLut = std::array<uint8_t, 256>;

TLut IdentityLut();
// 255 x (v / 255)^(100 / Position) rounded, entry 0 kept at 0; Position is
// the gamma slider's 1..400 (100 is gamma 1.00).
TLut GammaTable(int32_t Position);
// v + Brightness + Round((v - 127) x (Contrast - 100) / 100), clamped, then
// through the channel's gamma table.
TLut ChannelTable(int32_t Brightness, int32_t Contrast, const TLut& Gamma);
// The linear stretch of Lo..Hi to 0..255 (Lo < Hi).
TLut LevelsTable(int32_t Lo, int32_t Hi);

// The tuning dialogs' preview of Source: a Lanczos copy shrunk to fit
// PreviewSide x PreviewSide when larger, else an exact copy; 15-, 16- and
// 32-bit pixels become 24-bit.
inline constexpr int32_t PreviewSide = 320;
std::unique_ptr<TDib> MakeTunePreview(const TDib& Source);

// Work = Orig through the tables: palette entries for palette buffers,
// pixels of a 24-bit one. Both buffers have the same size and format.
void MapPreview(const TDib& Orig, TDib& Work, const TLut& R, const TLut& G, const TLut& B);
// Applies the tables to an image of any format: the palette of a color
// palette image, the levels of a gray one, the pixels of the others.
void ApplyTables(TDib& Dib, const TLut& R, const TLut& G, const TLut& B);
// Dst = Src with the tables applied as ApplyTables does; both of one size
// and format, and they may be the same buffer.
void MapTables(const TDib& Src, TDib& Dst, const TLut& R, const TLut& G, const TLut& B);

// Hue in degrees 0..359, saturation and value 0..255.
struct THsv {
  int32_t H, S, V;
};
THsv RgbToHsv(int32_t R, int32_t G, int32_t B);
// R, G and B are left as they were for a hue outside 0..360.
void HsvToRgb(const THsv& C, uint8_t& R, uint8_t& G, uint8_t& B);

// The three sliders of the hue dialog.
struct THlsShift {
  int32_t Hue = 0;          // -180..180 degrees
  int32_t Lightness = 100;  // 0..200 percent
  int32_t Saturation = 100; // 0..200 percent
  bool Changed() const { return Hue != 0 || Lightness != 100 || Saturation != 100; }
};
THsv AdjustHsv(THsv C, const THlsShift& Shift);
TColor AdjustColor(TColor C, const THlsShift& Shift);
// Work = Orig with every color shifted (palette entries or pixels); an
// unchanged shift copies.
void MapHlsPreview(const TDib& Orig, TDib& Work, const THlsShift& Shift);
// Shifts the palette of a palette image, else every pixel.
void ApplyHls(TDib& Dib, const THlsShift& Shift);

// Counts of each red, green and blue level over every pixel.
struct THistogram {
  std::array<uint32_t, 256> R{}, G{}, B{};
};
THistogram ChannelHistogram(const TDib& Dib);
// Bar heights 0..MaxBarHeight of the three channels on one shared scale.
inline constexpr int32_t MaxBarHeight = 63;
struct TBarHeights {
  std::array<int32_t, 256> R{}, G{}, B{};
};
TBarHeights HistogramHeights(const THistogram& H);
