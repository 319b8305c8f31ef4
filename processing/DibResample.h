#pragma once
#include <cstdint>
#include <memory>

#include "DibImage.h"

// Separable resampling with integer weights: seven filters, mirrored edges,
// the result rounded the same way whatever the pixel format.

// Filter numbers as the settings and the resize dialog store them.
enum TResampleFilter : int32_t {
  rfBox = 0,
  rfTriangle = 1,
  rfHermite = 2,
  rfBell = 3,
  rfSpline = 4,
  rfMitchell = 5,
  rfLanczos = 6,
};
inline constexpr int32_t ResampleFilterCount = 7;

// The largest side the resize dialog and the converter accept.
inline constexpr int32_t MaxResizeSide = 9999;

using TFilterFunc = float (*)(float);

struct TFilterDef {
  TFilterFunc Func;
  float Support;
  const char* Name; // lower case, as the converter spells it
};

// Filter numbers outside 0..6 answer the Spline filter, the default.
const TFilterDef& FilterDef(int32_t Filter);
// -1 for a name that is none of the seven.
int32_t FilterByName(const char* Name);

// Resamples Source into Dest, whose size is the target size; Dest's pixel
// format decides how the colors are stored (palette formats take the nearest
// entry). Nothing happens when either buffer is empty.
void Stretch(TFilterFunc Filter, float Support, const TDib& Source, TDib& Dest);

// True when a buffer of this size can be made for the format: both sides
// 1..MaxResizeSide and the rows within the buffer's 32-bit size.
bool ResizeSizeAllowed(int32_t Width, int32_t Height, TPixelFormat Format);

// Replaces Buffer by a resampled buffer like it (format, attributes,
// palette) of the new size. A support of 0 takes the filter's own. Buffer is
// untouched when the new one cannot be made (the exception passes on).
void ResizeBuffer(int32_t NewWidth, int32_t NewHeight, int32_t Filter, std::unique_ptr<TDib>& Buffer,
                  float Support = 0.0f);

// A 24-bit resampled copy of Source in Dest (which is replaced), bound to
// Source's canvas.
void ScaledPreview(const TDib& Source, std::unique_ptr<TDib>& Dest, int32_t NewWidth, float Support, int32_t Filter,
                   int32_t NewHeight);
