#include <algorithm>

#include "ByteOrder.h"
#include "XMetaPlay.h"

// The older format's records: a size in 16-bit words, a function number and
// parameters, most of them 16-bit and stored in reverse order of the call.

namespace {

constexpr uint16_t WmfEof = 0x0000, WmfSaveDC = 0x001E, WmfRealizePalette = 0x0035, WmfCreatePalette = 0x00F7,
                   WmfSetBkMode = 0x0102, WmfSetMapMode = 0x0103, WmfSetRop2 = 0x0104, WmfSetPolyFillMode = 0x0106,
                   WmfRestoreDC = 0x0127, WmfInvertRegion = 0x012A, WmfPaintRegion = 0x012B,
                   WmfSelectClipRegion = 0x012C, WmfSelectObject = 0x012D, WmfSetTextAlign = 0x012E,
                   WmfDibCreatePatternBrush = 0x0142, WmfDeleteObject = 0x01F0, WmfCreatePatternBrush = 0x01F9,
                   WmfSetBkColor = 0x0201, WmfSetTextColor = 0x0209, WmfSetWindowOrg = 0x020B, WmfSetWindowExt = 0x020C,
                   WmfOffsetWindowOrg = 0x020F, WmfLineTo = 0x0213, WmfMoveTo = 0x0214, WmfOffsetClipRgn = 0x0220,
                   WmfFillRegion = 0x0228, WmfSelectPalette = 0x0234, WmfCreatePenIndirect = 0x02FA,
                   WmfCreateFontIndirect = 0x02FB, WmfCreateBrushIndirect = 0x02FC, WmfPolygon = 0x0324,
                   WmfPolyline = 0x0325, WmfScaleWindowExt = 0x0410, WmfExcludeClipRect = 0x0415,
                   WmfIntersectClipRect = 0x0416, WmfEllipse = 0x0418, WmfRectangle = 0x041B, WmfSetPixel = 0x041F,
                   WmfFrameRegion = 0x0429, WmfTextOut = 0x0521, WmfPolyPolygon = 0x0538, WmfRoundRect = 0x061C,
                   WmfPatBlt = 0x061D, WmfCreateRegion = 0x06FF, WmfArc = 0x0817, WmfPie = 0x081A, WmfChord = 0x0830,
                   WmfBitBlt = 0x0922, WmfDibBitBlt = 0x0940, WmfExtTextOut = 0x0A32, WmfStretchBlt = 0x0B23,
                   WmfDibStretchBlt = 0x0B41, WmfSetDibToDev = 0x0D33, WmfStretchDib = 0x0F43;

constexpr uint16_t EtoOpaque = 2, EtoClipped = 4;
constexpr size_t RecordHeaderWords = 3;
constexpr size_t FaceNameBytes = 32;

// One record's parameters, every access checked against its size.
struct TWmfRecord {
  const uint8_t* P = nullptr;
  size_t Words = 0;

  bool Has(size_t N) const { return N <= Words; }
  double S(size_t I) const { return int16_t(GetLE16(P + 2 * I)); }
  uint16_t U(size_t I) const { return GetLE16(P + 2 * I); }
  uint32_t U32(size_t I) const { return GetLE32(P + 2 * I); }
  std::span<const uint8_t> Bytes(size_t FromWord) const {
    return FromWord < Words ? std::span<const uint8_t>(P + 2 * FromWord, 2 * (Words - FromWord))
                            : std::span<const uint8_t>();
  }
  // Points as x, y pairs from word I.
  std::vector<TMetaPoint> Points(size_t I, size_t Count) const {
    std::vector<TMetaPoint> Out(Count);
    for (size_t K = 0; K < Count; ++K)
      Out[K] = {S(I + 2 * K), S(I + 2 * K + 1)};
    return Out;
  }
  // Left, top, right, bottom stored bottom first from word I.
  TMetaRect ReversedRect(size_t I) const { return {S(I + 3), S(I + 2), S(I + 1), S(I)}; }
};

class TWmfPlayer {
public:
  TWmfPlayer(TMetaDC& ADC) : DC(ADC) {}
  // False for a record too short for its own fields.
  bool Play(uint16_t Function, const TWmfRecord& R);

private:
  bool PlayState(uint16_t Function, const TWmfRecord& R);
  bool PlayObject(uint16_t Function, const TWmfRecord& R);
  bool PlayShape(uint16_t Function, const TWmfRecord& R);
  bool PlayRegion(uint16_t Function, const TWmfRecord& R);
  bool PlayText(uint16_t Function, const TWmfRecord& R);
  bool PlayBitmap(uint16_t Function, const TWmfRecord& R);
  const TMetaRegion* RegionAt(uint32_t Index) const {
    const TMetaObject* O = DC.Object(Index);
    return O && O->Kind == TMetaObject::okRegion ? &O->Region : nullptr;
  }
  const TMetaBrush* BrushAt(uint32_t Index) const {
    const TMetaObject* O = DC.Object(Index);
    return O && O->Kind == TMetaObject::okBrush ? &O->Brush : nullptr;
  }

  TMetaDC& DC;
};

bool TWmfPlayer::Play(uint16_t Function, const TWmfRecord& R) {
  return PlayState(Function, R) || PlayObject(Function, R) || PlayShape(Function, R) || PlayRegion(Function, R) ||
         PlayText(Function, R) || PlayBitmap(Function, R);
}

bool TWmfPlayer::PlayState(uint16_t Function, const TWmfRecord& R) {
  switch (Function) {
  case WmfSaveDC: DC.SaveDC(); return true;
  case WmfRestoreDC: return R.Has(1) && (DC.RestoreDC(int32_t(R.S(0))), true);
  case WmfSetBkMode: return R.Has(1) && (DC.SetBkMode(R.U(0)), true);
  case WmfSetRop2: return R.Has(1) && (DC.SetROP2(R.U(0)), true);
  case WmfSetPolyFillMode: return R.Has(1) && (DC.SetPolyFillMode(R.U(0)), true);
  case WmfSetTextAlign: return R.Has(1) && (DC.SetTextAlign(R.U(0)), true);
  case WmfSetBkColor: return R.Has(2) && (DC.SetBkColor(R.U32(0)), true);
  case WmfSetTextColor: return R.Has(2) && (DC.SetTextColor(R.U32(0)), true);
  // The picture's window always maps onto the whole bitmap, so only the
  // isotropic mode's equal scales change anything.
  case WmfSetMapMode:
    return R.Has(1) && (DC.SetMapMode(R.U(0) == Meta::MmIsotropic ? Meta::MmIsotropic : Meta::MmAnisotropic), true);
  case WmfSetWindowOrg: return R.Has(2) && (DC.SetWindowOrg({R.S(1), R.S(0)}), true);
  case WmfSetWindowExt: return R.Has(2) && (DC.SetWindowExt({R.S(1), R.S(0)}), true);
  case WmfOffsetWindowOrg: return R.Has(2) && (DC.OffsetWindowOrg({R.S(1), R.S(0)}), true);
  case WmfScaleWindowExt:
    return R.Has(4) && (DC.ScaleWindowExt(int32_t(R.S(3)), int32_t(R.S(2)), int32_t(R.S(1)), int32_t(R.S(0))), true);
  case WmfMoveTo: return R.Has(2) && (DC.MoveTo({R.S(1), R.S(0)}), true);
  case WmfExcludeClipRect: return R.Has(4) && (DC.ExcludeClipRect(R.ReversedRect(0)), true);
  case WmfIntersectClipRect: return R.Has(4) && (DC.IntersectClipRect(R.ReversedRect(0)), true);
  case WmfOffsetClipRgn: return R.Has(2) && (DC.OffsetClip({R.S(1), R.S(0)}), true);
  case WmfSelectClipRegion: return R.Has(1) && (DC.SelectClipRegion(RegionAt(R.U(0)), Meta::RgnCopy), true);
  case WmfSelectObject: return R.Has(1) && DC.SelectObject(R.U(0));
  case WmfDeleteObject: return R.Has(1) && DC.DeleteObject(R.U(0));
  case WmfSelectPalette:
  case WmfRealizePalette: return true;
  }
  return false;
}

TMetaFont ReadFont(const TWmfRecord& R) {
  TMetaFont F;
  F.Height = R.S(0);
  F.Width = R.S(1);
  F.Escapement = int32_t(R.S(2));
  F.Weight = int32_t(R.S(4));
  const std::span<const uint8_t> B = R.Bytes(5);
  F.Italic = B[0] != 0;
  F.Underline = B[1] != 0;
  F.StrikeOut = B[2] != 0;
  F.Charset = B[3];
  const std::span<const uint8_t> Face = B.subspan(8, std::min(FaceNameBytes, B.size() - 8));
  const auto End = std::find(Face.begin(), Face.end(), uint8_t(0));
  F.Face = AnsiToUtf8({Face.begin(), End}, 0);
  return F;
}

bool TWmfPlayer::PlayObject(uint16_t Function, const TWmfRecord& R) {
  TMetaObject O;
  switch (Function) {
  case WmfCreatePenIndirect:
    if (!R.Has(5))
      return false;
    O.Kind = TMetaObject::okPen;
    O.Pen = {R.U(0), R.S(1) < 0 ? -R.S(1) : R.S(1), R.U32(3) & 0xFFFFFF, {}};
    break;
  case WmfCreateBrushIndirect:
    if (!R.Has(4))
      return false;
    O.Kind = TMetaObject::okBrush;
    O.Brush = {R.U(0), R.U32(1) & 0xFFFFFF, R.U(3), nullptr};
    if (O.Brush.Style != Meta::BsSolid && O.Brush.Style != Meta::BsNull && O.Brush.Style != Meta::BsHatched)
      O.Brush.Style = Meta::BsSolid;
    break;
  case WmfCreateFontIndirect:
    if (!R.Has(9))
      return false;
    O.Kind = TMetaObject::okFont;
    O.Font = ReadFont(R);
    break;
  case WmfDibCreatePatternBrush: {
    O.Kind = TMetaObject::okBrush;
    O.Brush = {Meta::BsDibPattern, 0x808080, 0, nullptr};
    auto Bitmap = std::make_shared<TMetaBitmap>();
    if (R.Has(2) && DecodeMetaBitmap(R.Bytes(2), {}, *Bitmap))
      O.Brush.Pattern = std::move(Bitmap);
    break;
  }
  // Old device-dependent patterns: a gray stands in, the slot still counts.
  case WmfCreatePatternBrush:
    O.Kind = TMetaObject::okBrush;
    O.Brush = {Meta::BsSolid, 0x808080, 0, nullptr};
    break;
  case WmfCreatePalette: O.Kind = TMetaObject::okPalette; break;
  case WmfCreateRegion: O.Kind = TMetaObject::okRegion; break;
  default: return false;
  }
  if (Function == WmfCreateRegion) {
    // Scans after an 11-word header: count, top, bottom, count / 2 pairs of
    // left and right, count again.
    if (!R.Has(11))
      return false;
    const size_t Scans = R.U(5);
    size_t I = 11;
    for (size_t S = 0; S < Scans && R.Has(I + 3); ++S) {
      const size_t Count = R.U(I);
      if (!R.Has(I + 3 + Count + 1))
        break;
      const double Top = R.S(I + 1), Bottom = R.S(I + 2);
      for (size_t K = 0; K + 1 < Count; K += 2)
        O.Region.Rects.push_back({R.S(I + 3 + K), Top, R.S(I + 4 + K), Bottom});
      I += 3 + Count + 1;
    }
    if (O.Region.Rects.empty())
      O.Region.Rects.push_back({R.S(7), R.S(8), R.S(9), R.S(10)});
  }
  DC.AddObject(std::move(O));
  return true;
}

bool TWmfPlayer::PlayShape(uint16_t Function, const TWmfRecord& R) {
  switch (Function) {
  case WmfLineTo: return R.Has(2) && (DC.LineTo({R.S(1), R.S(0)}), true);
  case WmfRectangle: return R.Has(4) && (DC.Rectangle(R.ReversedRect(0)), true);
  case WmfEllipse: return R.Has(4) && (DC.Ellipse(R.ReversedRect(0)), true);
  case WmfRoundRect: return R.Has(6) && (DC.RoundRect(R.ReversedRect(2), R.S(1), R.S(0)), true);
  case WmfSetPixel: return R.Has(4) && (DC.SetPixel({R.S(3), R.S(2)}, R.U32(0)), true);
  case WmfArc:
  case WmfPie:
  case WmfChord: {
    if (!R.Has(8))
      return false;
    const TMetaRect Box = R.ReversedRect(4);
    const TMetaPoint Start{R.S(3), R.S(2)}, End{R.S(1), R.S(0)};
    const auto Draw = Function == WmfArc ? &TMetaDC::Arc : Function == WmfPie ? &TMetaDC::Pie : &TMetaDC::Chord;
    (DC.*Draw)(Box, Start, End);
    return true;
  }
  case WmfPolygon:
  case WmfPolyline: {
    if (!R.Has(1) || !R.Has(1 + 2 * size_t(R.U(0))))
      return false;
    const std::vector<TMetaPoint> Points = R.Points(1, R.U(0));
    (Function == WmfPolygon ? DC.Polygon(Points) : DC.Polyline(Points));
    return true;
  }
  case WmfPolyPolygon: {
    if (!R.Has(1) || !R.Has(1 + size_t(R.U(0))))
      return false;
    const size_t Polys = R.U(0);
    std::vector<uint32_t> Counts(Polys);
    size_t Total = 0;
    for (size_t K = 0; K < Polys; ++K)
      Total += Counts[K] = R.U(1 + K);
    if (!R.Has(1 + Polys + 2 * Total))
      return false;
    DC.PolyPolygon(R.Points(1 + Polys, Total), Counts);
    return true;
  }
  }
  return false;
}

bool TWmfPlayer::PlayRegion(uint16_t Function, const TWmfRecord& R) {
  switch (Function) {
  case WmfFillRegion: {
    if (!R.Has(2))
      return false;
    const TMetaRegion* Region = RegionAt(R.U(0));
    const TMetaBrush* Brush = BrushAt(R.U(1));
    if (Region && Brush)
      DC.FillRegion(*Region, *Brush);
    return Region && Brush;
  }
  case WmfFrameRegion: {
    if (!R.Has(4))
      return false;
    const TMetaRegion* Region = RegionAt(R.U(0));
    const TMetaBrush* Brush = BrushAt(R.U(1));
    if (Region && Brush)
      DC.FrameRegion(*Region, *Brush, R.S(3), R.S(2));
    return Region && Brush;
  }
  case WmfInvertRegion:
  case WmfPaintRegion: {
    const TMetaRegion* Region = R.Has(1) ? RegionAt(R.U(0)) : nullptr;
    if (Region)
      (Function == WmfInvertRegion ? DC.InvertRegion(*Region) : DC.PaintRegion(*Region));
    return Region != nullptr;
  }
  }
  return false;
}

bool TWmfPlayer::PlayText(uint16_t Function, const TWmfRecord& R) {
  const uint8_t Charset = DC.Font().Charset;
  if (Function == WmfTextOut) {
    if (!R.Has(1))
      return false;
    const size_t Count = R.U(0), StringWords = (Count + 1) / 2;
    if (!R.Has(1 + StringWords + 2))
      return false;
    const std::string Text = AnsiToUtf8(R.Bytes(1).first(Count), Charset);
    DC.TextOut({R.S(2 + StringWords), R.S(1 + StringWords)}, Text, {}, nullptr, false, false);
    return true;
  }
  if (Function != WmfExtTextOut)
    return false;
  if (!R.Has(4))
    return false;
  const TMetaPoint P{R.S(1), R.S(0)};
  const size_t Count = R.U(2);
  const uint16_t Options = R.U(3);
  const bool HasRect = Options & (EtoOpaque | EtoClipped);
  const size_t TextAt = HasRect ? 8 : 4, StringWords = (Count + 1) / 2;
  if (!R.Has(TextAt + StringWords))
    return false;
  const TMetaRect Box = HasRect ? TMetaRect{R.S(4), R.S(5), R.S(6), R.S(7)} : TMetaRect{};
  std::vector<double> Dx;
  if (R.Has(TextAt + StringWords + Count))
    for (size_t K = 0; K < Count; ++K)
      Dx.push_back(R.S(TextAt + StringWords + K));
  const std::string Text = AnsiToUtf8(R.Bytes(TextAt).first(Count), Charset);
  DC.TextOut(P, Text, Dx, HasRect ? &Box : nullptr, Options & EtoOpaque, Options & EtoClipped);
  return true;
}

bool TWmfPlayer::PlayBitmap(uint16_t Function, const TWmfRecord& R) {
  // Source rectangle (x, y, w, h), destination (x, y, w, h) and the word the
  // bitmap starts at; the forms without a bitmap paint with the brush.
  double Sx = 0, Sy = 0, Sw = 0, Sh = 0, Dx = 0, Dy = 0, Dw = 0, Dh = 0;
  size_t BitmapAt = 0;
  uint32_t Rop = 0;
  switch (Function) {
  case WmfPatBlt:
    if (!R.Has(6))
      return false;
    DC.PatBlt({R.S(5), R.S(4), R.S(5) + R.S(3), R.S(4) + R.S(2)}, R.U32(0));
    return true;
  case WmfBitBlt:
  case WmfDibBitBlt: {
    if (!R.Has(8))
      return false;
    const bool NoBitmap = R.Words == 9;
    const size_t D = NoBitmap ? 4 : 3;
    Rop = R.U32(0);
    Sy = R.S(2), Sx = R.S(3), Sh = Dh = R.S(D), Sw = Dw = R.S(D + 1), Dy = R.S(D + 2), Dx = R.S(D + 3);
    if (NoBitmap || Function == WmfBitBlt) {
      DC.PatBlt({Dx, Dy, Dx + Dw, Dy + Dh}, Rop);
      return true;
    }
    BitmapAt = 10;
    break;
  }
  case WmfStretchBlt:
  case WmfDibStretchBlt: {
    if (!R.Has(10))
      return false;
    const bool NoBitmap = R.Words == 11;
    const size_t D = NoBitmap ? 7 : 6;
    Rop = R.U32(0);
    Sh = R.S(2), Sw = R.S(3), Sy = R.S(4), Sx = R.S(5);
    Dh = R.S(D), Dw = R.S(D + 1), Dy = R.S(D + 2), Dx = R.S(D + 3);
    if (NoBitmap || Function == WmfStretchBlt) {
      DC.PatBlt({Dx, Dy, Dx + Dw, Dy + Dh}, Rop);
      return true;
    }
    BitmapAt = 10;
    break;
  }
  case WmfStretchDib:
    if (!R.Has(11))
      return false;
    Rop = R.U32(0);
    Sh = R.S(3), Sw = R.S(4), Sy = R.S(5), Sx = R.S(6);
    Dh = R.S(7), Dw = R.S(8), Dy = R.S(9), Dx = R.S(10);
    BitmapAt = 11;
    break;
  case WmfSetDibToDev:
    if (!R.Has(9))
      return false;
    Rop = Meta::SrcCopy;
    Sy = R.S(3), Sx = R.S(4), Sh = Dh = R.S(5), Sw = Dw = R.S(6), Dy = R.S(7), Dx = R.S(8);
    BitmapAt = 9;
    break;
  default: return false;
  }
  TMetaBitmap Bitmap;
  if (!DecodeMetaBitmap(R.Bytes(BitmapAt), {}, Bitmap))
    return false;
  DC.StretchBitmap(Bitmap, {Dx, Dy, Dx + Dw, Dy + Dh}, {Sx, Sy, Sx + Sw, Sy + Sh}, Rop);
  return true;
}

// Walks the records: calls Visit(function, record) for each until the end
// record, the data's end or a record that does not fit.
template <class TVisit>
TMetaPlayResult WalkRecords(std::span<const uint8_t> File, size_t Offset, TVisit Visit) {
  TMetaPlayResult Result;
  size_t At = Offset;
  while (Result.Played + Result.Skipped < MaxMetaRecords) {
    if (File.size() - std::min(At, File.size()) < 2 * RecordHeaderWords) {
      Result.Truncated = true;
      break;
    }
    const uint64_t Words = GetLE32(File.data() + At);
    const uint16_t Function = GetLE16(File.data() + At + 4);
    if (Function == WmfEof)
      break;
    if (Words < RecordHeaderWords || Words > (File.size() - At) / 2) {
      Result.Truncated = true;
      break;
    }
    const TWmfRecord R{File.data() + At + 2 * RecordHeaderWords, size_t(Words) - RecordHeaderWords};
    if (!Visit(Function, R))
      break;
    At += size_t(Words) * 2;
  }
  return Result;
}

} // namespace

TMetaPlayResult PlayWmf(std::span<const uint8_t> File, size_t Offset, TMetaDC& DC) {
  TWmfPlayer Player(DC);
  int32_t Played = 0, Skipped = 0;
  TMetaPlayResult Result = WalkRecords(File, Offset, [&](uint16_t Function, const TWmfRecord& R) {
    (Player.Play(Function, R) ? Played : Skipped) += 1;
    return !DC.OutOfBudget() && Played + Skipped < MaxMetaRecords;
  });
  Result.Played = Played;
  Result.Skipped = Skipped;
  return Result;
}

bool FindWmfWindow(std::span<const uint8_t> File, size_t Offset, TMetaRect& Window) {
  bool HasOrg = false, HasExt = false;
  TMetaPoint Org, Ext;
  int32_t Seen = 0;
  WalkRecords(File, Offset, [&](uint16_t Function, const TWmfRecord& R) {
    if (Function == WmfSetWindowOrg && R.Has(2) && !HasOrg) {
      Org = {R.S(1), R.S(0)};
      HasOrg = true;
    } else if (Function == WmfSetWindowExt && R.Has(2) && !HasExt) {
      Ext = {R.S(1), R.S(0)};
      HasExt = Ext.X != 0 && Ext.Y != 0;
    }
    return !HasExt && ++Seen < MaxMetaRecords;
  });
  if (!HasExt)
    return false;
  Window = {Org.X, Org.Y, Org.X + Ext.X, Org.Y + Ext.Y};
  return true;
}
