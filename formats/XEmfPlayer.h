#pragma once
#include <bit>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "ByteOrder.h"
#include "XMetaPlay.h"

// The enhanced format's record player, shared by its two sources: the walk
// and the state, shape and path records in XEmfPlay.cpp, objects, regions,
// bitmaps and text in XEmfRecords.cpp.

namespace Emf {
enum : uint32_t {
  Header = 1,
  PolyBezier = 2,
  Polygon = 3,
  Polyline = 4,
  PolyBezierTo = 5,
  PolylineTo = 6,
  PolyPolyline = 7,
  PolyPolygon = 8,
  SetWindowExtEx = 9,
  SetWindowOrgEx = 10,
  SetViewportExtEx = 11,
  SetViewportOrgEx = 12,
  SetBrushOrgEx = 13,
  Eof = 14,
  SetPixelV = 15,
  SetMapperFlags = 16,
  SetMapMode = 17,
  SetBkMode = 18,
  SetPolyFillMode = 19,
  SetRop2 = 20,
  SetStretchBltMode = 21,
  SetTextAlign = 22,
  SetColorAdjustment = 23,
  SetTextColor = 24,
  SetBkColor = 25,
  OffsetClipRgn = 26,
  MoveToEx = 27,
  SetMetaRgn = 28,
  ExcludeClipRect = 29,
  IntersectClipRect = 30,
  ScaleViewportExtEx = 31,
  ScaleWindowExtEx = 32,
  SaveDC = 33,
  RestoreDC = 34,
  SetWorldTransform = 35,
  ModifyWorldTransform = 36,
  SelectObject = 37,
  CreatePen = 38,
  CreateBrushIndirect = 39,
  DeleteObject = 40,
  AngleArc = 41,
  Ellipse = 42,
  Rectangle = 43,
  RoundRect = 44,
  Arc = 45,
  Chord = 46,
  Pie = 47,
  SelectPalette = 48,
  CreatePalette = 49,
  SetPaletteEntries = 50,
  ResizePalette = 51,
  RealizePalette = 52,
  ExtFloodFill = 53,
  LineTo = 54,
  ArcTo = 55,
  PolyDraw = 56,
  SetArcDirection = 57,
  SetMiterLimit = 58,
  BeginPath = 59,
  EndPath = 60,
  CloseFigure = 61,
  FillPath = 62,
  StrokeAndFillPath = 63,
  StrokePath = 64,
  FlattenPath = 65,
  WidenPath = 66,
  SelectClipPath = 67,
  AbortPath = 68,
  GdiComment = 70,
  FillRgn = 71,
  FrameRgn = 72,
  InvertRgn = 73,
  PaintRgn = 74,
  ExtSelectClipRgn = 75,
  BitBlt = 76,
  StretchBlt = 77,
  MaskBlt = 78,
  PlgBlt = 79,
  SetDIBitsToDevice = 80,
  StretchDIBits = 81,
  ExtCreateFontIndirectW = 82,
  ExtTextOutA = 83,
  ExtTextOutW = 84,
  PolyBezier16 = 85,
  Polygon16 = 86,
  Polyline16 = 87,
  PolyBezierTo16 = 88,
  PolylineTo16 = 89,
  PolyPolyline16 = 90,
  PolyPolygon16 = 91,
  PolyDraw16 = 92,
  CreateMonoBrush = 93,
  CreateDibPatternBrushPt = 94,
  ExtCreatePen = 95,
  PolyTextOutA = 96,
  PolyTextOutW = 97,
  SetIcmMode = 98,
  CreateColorSpace = 99,
  SetColorSpace = 100,
  DeleteColorSpace = 101,
  SetIcmProfileA = 112,
  SetIcmProfileW = 113,
  AlphaBlend = 114,
  SetLayout = 115,
  TransparentBlt = 116,
  GradientFill = 118,
  SetLinkedUfis = 119,
  SetTextJustification = 120,
  ColorMatchToTargetW = 121,
  CreateColorSpaceW = 122
};
} // namespace Emf

// One record, type and size included, so that the offsets the records give
// (bitmaps, strings) count from its start. Reads outside give zero; players
// check Has first and skip the record when its fields do not fit.
struct TEmfRecord {
  std::span<const uint8_t> Data;

  size_t Size() const { return Data.size(); }
  bool Has(size_t End) const { return End <= Data.size(); }
  // Count items of Stride bytes at At fit, without overflowing.
  bool HasItems(size_t At, uint64_t Count, size_t Stride) const {
    return At <= Data.size() && Count <= (Data.size() - At) / Stride;
  }
  uint8_t U8(size_t At) const { return At < Data.size() ? Data[At] : 0; }
  uint16_t U16(size_t At) const { return Has(At + 2) ? GetLE16(Data.data() + At) : 0; }
  int16_t S16(size_t At) const { return int16_t(U16(At)); }
  uint32_t U32(size_t At) const { return Has(At + 4) ? GetLE32(Data.data() + At) : 0; }
  int32_t S32(size_t At) const { return Has(At + 4) ? GetLESigned32(Data.data() + At) : 0; }
  double F32(size_t At) const {
    const float F = std::bit_cast<float>(U32(At));
    return F == F ? F : 0.0;
  }
  TMetaPoint Point(size_t At) const { return {double(S32(At)), double(S32(At + 4))}; }
  TMetaPoint Point16(size_t At) const { return {double(S16(At)), double(S16(At + 2))}; }
  TMetaRect Rect(size_t At) const {
    return {double(S32(At)), double(S32(At + 4)), double(S32(At + 8)), double(S32(At + 12))};
  }
  TMetaXForm XForm(size_t At) const {
    return {F32(At), F32(At + 4), F32(At + 8), F32(At + 12), F32(At + 16), F32(At + 20)};
  }
  // Count points at At, 32-bit pairs or (Short) 16-bit; the caller checked
  // they fit.
  std::vector<TMetaPoint> Points(size_t At, size_t Count, bool Short) const;
  // The block whose offset and size fields are at OffsetAt and SizeAt; false
  // when it leaves the record. An empty block is fine.
  bool Block(size_t OffsetAt, size_t SizeAt, std::span<const uint8_t>& Out) const;
};

// The code point of the UTF-16 units at Unit, which moves past them; a
// surrogate without its partner gives U+FFFD.
uint32_t NextUtf16(std::span<const uint8_t> Text, size_t& Unit);
void AppendUtf8(std::string& Out, uint32_t CodePoint);

class TEmfPlayer {
public:
  explicit TEmfPlayer(TMetaDC& ADC) : DC(ADC) {}
  // False for a record skipped: unknown, or too short for its fields.
  bool Play(uint32_t Type, const TEmfRecord& R);

private:
  bool PlayState(uint32_t Type, const TEmfRecord& R);
  bool PlayMapping(uint32_t Type, const TEmfRecord& R);
  bool PlayShape(uint32_t Type, const TEmfRecord& R);
  bool PlayPoly(uint32_t Type, const TEmfRecord& R);
  bool PlayPath(uint32_t Type, const TEmfRecord& R);
  bool PlayObject(uint32_t Type, const TEmfRecord& R);
  bool PlayRegion(uint32_t Type, const TEmfRecord& R);
  bool PlayBitmap(uint32_t Type, const TEmfRecord& R);
  bool PlayBlend(uint32_t Type, const TEmfRecord& R);
  bool PlayGradient(const TEmfRecord& R);
  bool PlayText(uint32_t Type, const TEmfRecord& R);
  bool PlayExtPen(const TEmfRecord& R);
  bool PlayPatternBrush(const TEmfRecord& R);

  TMetaDC& DC;
};
