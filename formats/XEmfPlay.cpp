#include <cmath>

#include "XEmfPlayer.h"

// The enhanced format's records: a 32-bit type and size, then fields of
// 32 bits mostly, coordinates in logical units.

namespace {

constexpr size_t RecordHeaderBytes = 8;
constexpr uint32_t StockObjectBit = 0x80000000;
// The miter limit is an integer by the format's word and a float in the
// files its main writer makes; a float's bit pattern is far above any
// sensible integer limit.
constexpr uint32_t LargestIntegerMiter = 0x10000;

// Angles of hostile files can be huge; turns past the first look the same
// and the sweep keeps its end.
double Turn(double Degrees) { return std::fmod(Degrees, 360.0); }
double Sweep(double Degrees) {
  return std::abs(Degrees) <= 360 ? Degrees : Turn(Degrees) + std::copysign(360.0, Degrees);
}

bool IsPolyShort(uint32_t Type) { return Type >= Emf::PolyBezier16 && Type <= Emf::PolyDraw16; }

} // namespace

std::vector<TMetaPoint> TEmfRecord::Points(size_t At, size_t Count, bool Short) const {
  std::vector<TMetaPoint> Out(Count);
  const size_t Stride = Short ? 4 : 8;
  for (size_t K = 0; K < Count; ++K)
    Out[K] = Short ? Point16(At + K * Stride) : Point(At + K * Stride);
  return Out;
}

bool TEmfRecord::Block(size_t OffsetAt, size_t SizeAt, std::span<const uint8_t>& Out) const {
  const uint32_t Offset = U32(OffsetAt), Bytes = U32(SizeAt);
  Out = {};
  if (Bytes == 0)
    return true;
  if (Offset < RecordHeaderBytes || Offset > Data.size() || Bytes > Data.size() - Offset)
    return false;
  Out = Data.subspan(Offset, Bytes);
  return true;
}

uint32_t NextUtf16(std::span<const uint8_t> Text, size_t& Unit) {
  const size_t Units = Text.size() / 2;
  const uint32_t C = GetLE16(Text.data() + 2 * Unit++);
  if (C < 0xD800 || C >= 0xE000)
    return C;
  if (C >= 0xDC00 || Unit >= Units)
    return 0xFFFD;
  const uint32_t Low = GetLE16(Text.data() + 2 * Unit);
  if (Low < 0xDC00 || Low >= 0xE000)
    return 0xFFFD;
  ++Unit;
  return 0x10000 + ((C - 0xD800) << 10) + (Low - 0xDC00);
}

void AppendUtf8(std::string& Out, uint32_t C) {
  if (C < 0x80) {
    Out += char(C);
  } else if (C < 0x800) {
    Out += char(0xC0 | (C >> 6));
    Out += char(0x80 | (C & 0x3F));
  } else if (C < 0x10000) {
    Out += char(0xE0 | (C >> 12));
    Out += char(0x80 | ((C >> 6) & 0x3F));
    Out += char(0x80 | (C & 0x3F));
  } else {
    Out += char(0xF0 | (C >> 18));
    Out += char(0x80 | ((C >> 12) & 0x3F));
    Out += char(0x80 | ((C >> 6) & 0x3F));
    Out += char(0x80 | (C & 0x3F));
  }
}

std::string Utf16ToUtf8(std::span<const uint8_t> Text) {
  std::string Out;
  Out.reserve(Text.size());
  const size_t Units = Text.size() / 2;
  for (size_t Unit = 0; Unit < Units;) {
    const uint32_t C = NextUtf16(Text, Unit);
    if (C != 0)
      AppendUtf8(Out, C);
  }
  return Out;
}

bool TEmfPlayer::Play(uint32_t Type, const TEmfRecord& R) {
  return PlayState(Type, R) || PlayMapping(Type, R) || PlayShape(Type, R) || PlayPoly(Type, R) || PlayPath(Type, R) ||
         PlayObject(Type, R) || PlayRegion(Type, R) || PlayBitmap(Type, R) || PlayBlend(Type, R) || PlayText(Type, R);
}

bool TEmfPlayer::PlayState(uint32_t Type, const TEmfRecord& R) {
  const bool One = R.Has(12);
  switch (Type) {
  // Records that change nothing a still picture shows.
  case Emf::Header:
  case Emf::GdiComment:
  case Emf::SetBrushOrgEx:
  case Emf::SetMapperFlags:
  case Emf::SetStretchBltMode:
  case Emf::SetColorAdjustment:
  case Emf::SetMetaRgn:
  case Emf::SetTextJustification:
  case Emf::SetLayout:
  case Emf::SetLinkedUfis:
  case Emf::SetIcmMode:
  case Emf::CreateColorSpace:
  case Emf::CreateColorSpaceW:
  case Emf::SetColorSpace:
  case Emf::DeleteColorSpace:
  case Emf::SetIcmProfileA:
  case Emf::SetIcmProfileW:
  case Emf::ColorMatchToTargetW:
  case Emf::SelectPalette:
  case Emf::SetPaletteEntries:
  case Emf::ResizePalette:
  case Emf::RealizePalette: return true;
  case Emf::SaveDC: DC.SaveDC(); return true;
  case Emf::RestoreDC: return One && (DC.RestoreDC(R.S32(8)), true);
  case Emf::SetBkMode: return One && (DC.SetBkMode(R.S32(8)), true);
  case Emf::SetPolyFillMode: return One && (DC.SetPolyFillMode(R.S32(8)), true);
  case Emf::SetRop2: return One && (DC.SetROP2(R.S32(8)), true);
  case Emf::SetTextAlign: return One && (DC.SetTextAlign(R.S32(8)), true);
  case Emf::SetTextColor: return One && (DC.SetTextColor(R.U32(8) & 0xFFFFFF), true);
  case Emf::SetBkColor: return One && (DC.SetBkColor(R.U32(8) & 0xFFFFFF), true);
  case Emf::SetArcDirection: return One && (DC.SetArcDirection(R.S32(8)), true);
  case Emf::SetMiterLimit:
    return One && (DC.SetMiterLimit(R.U32(8) < LargestIntegerMiter ? double(R.U32(8)) : R.F32(8)), true);
  case Emf::SelectObject:
    if (!One)
      return false;
    return R.U32(8) & StockObjectBit ? DC.SelectStockObject(R.U32(8)) : DC.SelectObject(R.U32(8));
  case Emf::DeleteObject: return One && ((R.U32(8) & StockObjectBit) || DC.DeleteObject(R.U32(8)));
  case Emf::OffsetClipRgn: return R.Has(16) && (DC.OffsetClip(R.Point(8)), true);
  case Emf::ExcludeClipRect: return R.Has(24) && (DC.ExcludeClipRect(R.Rect(8)), true);
  case Emf::IntersectClipRect: return R.Has(24) && (DC.IntersectClipRect(R.Rect(8)), true);
  }
  return false;
}

bool TEmfPlayer::PlayMapping(uint32_t Type, const TEmfRecord& R) {
  switch (Type) {
  case Emf::SetMapMode: return R.Has(12) && (DC.SetMapMode(R.S32(8)), true);
  case Emf::SetWindowExtEx: return R.Has(16) && (DC.SetWindowExt(R.Point(8)), true);
  case Emf::SetWindowOrgEx: return R.Has(16) && (DC.SetWindowOrg(R.Point(8)), true);
  case Emf::SetViewportExtEx: return R.Has(16) && (DC.SetViewportExt(R.Point(8)), true);
  case Emf::SetViewportOrgEx: return R.Has(16) && (DC.SetViewportOrg(R.Point(8)), true);
  case Emf::ScaleViewportExtEx:
    return R.Has(24) && (DC.ScaleViewportExt(R.S32(8), R.S32(12), R.S32(16), R.S32(20)), true);
  case Emf::ScaleWindowExtEx: return R.Has(24) && (DC.ScaleWindowExt(R.S32(8), R.S32(12), R.S32(16), R.S32(20)), true);
  case Emf::SetWorldTransform: return R.Has(32) && (DC.SetWorldTransform(R.XForm(8)), true);
  case Emf::ModifyWorldTransform: return R.Has(36) && (DC.ModifyWorldTransform(R.XForm(8), R.S32(32)), true);
  }
  return false;
}

bool TEmfPlayer::PlayShape(uint32_t Type, const TEmfRecord& R) {
  switch (Type) {
  case Emf::MoveToEx: return R.Has(16) && (DC.MoveTo(R.Point(8)), true);
  case Emf::LineTo: return R.Has(16) && (DC.LineTo(R.Point(8)), true);
  case Emf::SetPixelV: return R.Has(20) && (DC.SetPixel(R.Point(8), R.U32(16) & 0xFFFFFF), true);
  // A radius beyond the signed range is one the drawing system refuses.
  case Emf::AngleArc:
    return R.Has(28) && R.S32(16) >= 0 && (DC.AngleArc(R.Point(8), R.S32(16), Turn(R.F32(20)), Sweep(R.F32(24))), true);
  case Emf::Ellipse: return R.Has(24) && (DC.Ellipse(R.Rect(8)), true);
  case Emf::Rectangle: return R.Has(24) && (DC.Rectangle(R.Rect(8)), true);
  case Emf::RoundRect: return R.Has(32) && (DC.RoundRect(R.Rect(8), R.S32(24), R.S32(28)), true);
  case Emf::Arc:
  case Emf::ArcTo:
  case Emf::Chord:
  case Emf::Pie: {
    if (!R.Has(40))
      return false;
    const auto Draw = Type == Emf::Arc     ? &TMetaDC::Arc
                      : Type == Emf::ArcTo ? &TMetaDC::ArcTo
                      : Type == Emf::Chord ? &TMetaDC::Chord
                                           : &TMetaDC::Pie;
    (DC.*Draw)(R.Rect(8), R.Point(24), R.Point(32));
    return true;
  }
  }
  return false;
}

bool TEmfPlayer::PlayPoly(uint32_t Type, const TEmfRecord& R) {
  const bool Short = IsPolyShort(Type);
  const size_t Stride = Short ? 4 : 8;
  switch (Type) {
  case Emf::PolyBezier:
  case Emf::Polygon:
  case Emf::Polyline:
  case Emf::PolyBezierTo:
  case Emf::PolylineTo:
  case Emf::PolyBezier16:
  case Emf::Polygon16:
  case Emf::Polyline16:
  case Emf::PolyBezierTo16:
  case Emf::PolylineTo16: {
    // Bounds, count, points.
    if (!R.Has(28) || !R.HasItems(28, R.U32(24), Stride))
      return false;
    const std::vector<TMetaPoint> Points = R.Points(28, R.U32(24), Short);
    switch (Short ? Type - Emf::PolyBezier16 + Emf::PolyBezier : Type) {
    case Emf::PolyBezier: DC.PolyBezier(Points); break;
    case Emf::Polygon: DC.Polygon(Points); break;
    case Emf::Polyline: DC.Polyline(Points); break;
    case Emf::PolyBezierTo: DC.PolyBezierTo(Points); break;
    default: DC.PolylineTo(Points); break;
    }
    return true;
  }
  case Emf::PolyPolyline:
  case Emf::PolyPolygon:
  case Emf::PolyPolyline16:
  case Emf::PolyPolygon16: {
    // Bounds, polygon count, point count, the polygons' sizes, points.
    if (!R.Has(32) || !R.HasItems(32, R.U32(24), 4))
      return false;
    const size_t Polys = R.U32(24), Total = R.U32(28), PointsAt = 32 + 4 * Polys;
    if (!R.HasItems(PointsAt, Total, Stride))
      return false;
    std::vector<uint32_t> Counts(Polys);
    uint64_t Sum = 0;
    for (size_t K = 0; K < Polys; ++K)
      Sum += Counts[K] = R.U32(32 + 4 * K);
    if (Sum > Total)
      return false;
    const std::vector<TMetaPoint> Points = R.Points(PointsAt, Total, Short);
    (Type == Emf::PolyPolygon || Type == Emf::PolyPolygon16 ? DC.PolyPolygon(Points, Counts)
                                                            : DC.PolyPolyline(Points, Counts));
    return true;
  }
  case Emf::PolyDraw:
  case Emf::PolyDraw16: {
    // Bounds, count, points, one type byte per point.
    if (!R.Has(28) || !R.HasItems(28, R.U32(24), Stride + 1))
      return false;
    const size_t Count = R.U32(24);
    DC.PolyDraw(R.Points(28, Count, Short), R.Data.subspan(28 + Count * Stride, Count));
    return true;
  }
  }
  return false;
}

bool TEmfPlayer::PlayPath(uint32_t Type, const TEmfRecord& R) {
  switch (Type) {
  case Emf::BeginPath: DC.BeginPath(); return true;
  case Emf::EndPath: DC.EndPath(); return true;
  case Emf::AbortPath: DC.AbortPath(); return true;
  case Emf::CloseFigure: DC.CloseFigure(); return true;
  case Emf::FillPath: DC.FillPath(); return true;
  case Emf::StrokePath: DC.StrokePath(); return true;
  case Emf::StrokeAndFillPath: DC.StrokeAndFillPath(); return true;
  case Emf::FlattenPath: DC.FlattenPath(); return true;
  case Emf::WidenPath: DC.WidenPath(); return true;
  case Emf::SelectClipPath: return R.Has(12) && (DC.SelectClipPath(R.S32(8)), true);
  }
  return false;
}

TMetaPlayResult PlayEmf(std::span<const uint8_t> File, TMetaDC& DC) {
  TEmfPlayer Player(DC);
  TMetaPlayResult Result;
  size_t At = 0;
  while (Result.Played + Result.Skipped < MaxMetaRecords && !DC.OutOfBudget()) {
    if (File.size() - At < RecordHeaderBytes) {
      Result.Truncated = true;
      break;
    }
    const uint32_t Type = GetLE32(File.data() + At), Size = GetLE32(File.data() + At + 4);
    if (Size < RecordHeaderBytes || Size % 4 != 0 || Size > File.size() - At) {
      Result.Truncated = true;
      break;
    }
    if (Type == Emf::Eof) {
      ++Result.Played;
      break;
    }
    (Player.Play(Type, TEmfRecord{File.subspan(At, Size)}) ? Result.Played : Result.Skipped) += 1;
    At += Size;
  }
  return Result;
}
