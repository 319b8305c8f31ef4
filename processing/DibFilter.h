#pragma once
#include <cstdint>
#include <functional>
#include <span>

#include "DibImage.h"

// The eleven filters: 7 x 7 (at most) convolutions with a strength, and the
// two point operations. They work on 24-bit buffers and on 8-bit gray ones;
// other buffers are left as they are.

enum TFilterNo : int32_t {
  fnNone = 0,
  fnAverage = 1,
  fnBlur = 2,
  fnGaussBlur = 3,
  fnBartlettBlur = 4,
  fnSharpen = 10,
  fnEdge = 11,
  fnContour = 20,
  fnEmboss = 21,
  fnGlow = 22,
  fnSolarize = 50,
  fnPosterize = 51,
};

struct TFilterInfo {
  TFilterNo No;
  const char* MenuItem;      // "FilterAverageItem"; the workbench twin has a W in front
  const char* MenuCaption;   // "Average..."
  const char* DialogCaption; // "Average Filter"
  const char* Name;          // as the converter spells it: "average"
};

// The filters in menu order.
std::span<const TFilterInfo> FilterTable();
const TFilterInfo* FindFilter(int32_t No);
const TFilterInfo* FindFilterByName(const char* Name);

// Whether ApplyFilter changes buffers of this kind.
bool FilterHandles(const TDib& Dib);

// Told the rows finished so far out of all, from any thread, in order.
using TFilterProgress = std::function<void(int32_t Done, int32_t Rows)>;

// Dst = Src filtered; both of one size and format, and they may be the same
// buffer. Param is the radius (1..3) of Average and Blur or the direction
// (0..7) of Emboss; Strength 0..100 (Posterize 0..128). Strength 0 or filter
// 0 copies; unknown filter numbers and formats leave Dst as it was.
void ApplyFilter(const TDib& Src, TDib& Dst, int32_t FilterNo, int32_t Param, int32_t Strength,
                 const TFilterProgress& Progress = {});
