#include <algorithm>
#include <cmath>

#include "XEmfPlayer.h"

// The enhanced format's object, region, bitmap and text records. Bitmaps and
// strings sit at offsets the records give from their own start.

namespace {

constexpr uint32_t EtoOpaque = 0x2, EtoClipped = 0x4, EtoGlyphIndex = 0x10, EtoPdy = 0x2000;
constexpr uint8_t AcSrcAlpha = 1;
constexpr uint32_t GradientRectH = 0, GradientRectV = 1, GradientTriangle = 2;
constexpr size_t RegionHeaderBytes = 32, RectBytes = 16, VertexBytes = 16;
constexpr size_t LogFontFaceAt = 40, FaceNameBytes = 64;
// The most dash entries a user-styled pen takes, as the drawing system does.
constexpr uint32_t MaxDashes = 16;
constexpr uint32_t InfoHeaderBytes = 40;

// A region's data: a header (its own size, type, count, bytes, bounds) and
// count rectangles.
bool ReadRegion(std::span<const uint8_t> Data, TMetaRegion& Out) {
  if (Data.size() < RegionHeaderBytes)
    return false;
  const uint32_t HeaderBytes = GetLE32(Data.data()), Count = GetLE32(Data.data() + 8);
  if (HeaderBytes < RegionHeaderBytes || HeaderBytes > Data.size() || Count > (Data.size() - HeaderBytes) / RectBytes)
    return false;
  Out.Rects.resize(Count);
  for (size_t K = 0; K < Count; ++K) {
    const uint8_t* P = Data.data() + HeaderBytes + K * RectBytes;
    Out.Rects[K] = {double(GetLESigned32(P)), double(GetLESigned32(P + 4)), double(GetLESigned32(P + 8)),
                    double(GetLESigned32(P + 12))};
  }
  return true;
}

// The region whose byte count is at SizeAt and whose data follows at DataAt.
bool RegionAt(const TEmfRecord& R, size_t SizeAt, size_t DataAt, TMetaRegion& Out) {
  return R.Has(DataAt) && R.HasItems(DataAt, R.U32(SizeAt), 1) &&
         ReadRegion(R.Data.subspan(DataAt, R.U32(SizeAt)), Out);
}

// The source bitmap of a transfer whose header block's offset and size are
// at InfoAt, the bits' at BitsAt.
bool SourceBitmap(const TEmfRecord& R, size_t InfoAt, size_t BitsAt, TMetaBitmap& Out) {
  std::span<const uint8_t> Info, Bits;
  return R.Block(InfoAt, InfoAt + 4, Info) && R.Block(BitsAt, BitsAt + 4, Bits) && !Info.empty() &&
         DecodeMetaBitmap(Info, Bits, Out);
}

// The device-independent records count the source's rows from the bottom
// unless the header stores the picture top row first.
bool BottomUp(const TEmfRecord& R, size_t InfoAt) {
  std::span<const uint8_t> Info;
  if (!R.Block(InfoAt, InfoAt + 4, Info) || Info.size() < InfoHeaderBytes || GetLE32(Info.data()) < InfoHeaderBytes)
    return true;
  return GetLESigned32(Info.data() + 8) > 0;
}

TMetaRect SourceRect(double X, double Y, double W, double H, const TMetaBitmap& B, bool FromBottom) {
  const double Top = FromBottom ? B.Height - Y - H : Y;
  return {X, Top, X + W, Top + H};
}

TMetaRect DestRect(const TEmfRecord& R, size_t At, double W, double H) {
  const double X = R.S32(At), Y = R.S32(At + 4);
  return {X, Y, X + W, Y + H};
}

TMetaDC::TVertex ReadVertex(const TEmfRecord& R, size_t At) {
  return {R.Point(At), (R.U16(At + 8) >> 8) / 255.0, (R.U16(At + 10) >> 8) / 255.0, (R.U16(At + 12) >> 8) / 255.0};
}

size_t CodePoints(const std::string& Utf8) {
  return size_t(std::count_if(Utf8.begin(), Utf8.end(), [](char C) { return (uint8_t(C) & 0xC0) != 0x80; }));
}

// The record's advances, Count of them (every other one when pairs of x
// and y), or none when they do not fit.
std::vector<double> ReadAdvances(const TEmfRecord& R, size_t Count, bool Pairs) {
  const size_t At = R.U32(72), Stride = Pairs ? 8 : 4;
  std::vector<double> Dx;
  if (At < 8 || !R.HasItems(At, Count, Stride))
    return Dx;
  Dx.resize(Count);
  for (size_t K = 0; K < Count; ++K)
    Dx[K] = R.S32(At + K * Stride);
  return Dx;
}

// Appends a character's advance; a NUL's goes to the character before it,
// since the NUL itself is not drawn.
void AddAdvance(std::vector<double>& Out, const std::vector<double>& Dx, size_t First, size_t End, bool Drawn) {
  double Advance = 0;
  for (size_t K = First; K < End && K < Dx.size(); ++K)
    Advance += Dx[K];
  if (Drawn)
    Out.push_back(Advance);
  else if (!Out.empty())
    Out.back() += Advance;
}

} // namespace

bool TEmfPlayer::PlayObject(uint32_t Type, const TEmfRecord& R) {
  TMetaObject O;
  switch (Type) {
  case Emf::CreatePen:
    if (!R.Has(28))
      return false;
    O.Kind = TMetaObject::okPen;
    O.Pen = {R.S32(12), std::abs(double(R.S32(16))), R.U32(24) & 0xFFFFFF, {}};
    break;
  case Emf::CreateBrushIndirect:
    if (!R.Has(24))
      return false;
    O.Kind = TMetaObject::okBrush;
    O.Brush = {R.S32(12), R.U32(16) & 0xFFFFFF, R.S32(20), nullptr};
    if (O.Brush.Style != Meta::BsSolid && O.Brush.Style != Meta::BsNull && O.Brush.Style != Meta::BsHatched)
      O.Brush.Style = Meta::BsSolid;
    break;
  case Emf::CreatePalette:
    if (!R.Has(12))
      return false;
    O.Kind = TMetaObject::okPalette;
    break;
  case Emf::ExtCreateFontIndirectW: {
    if (!R.Has(LogFontFaceAt))
      return false;
    O.Kind = TMetaObject::okFont;
    O.Font = {double(R.S32(12)), double(R.S32(16)), R.S32(20), R.S32(28), R.U8(32) != 0,
              R.U8(33) != 0,     R.U8(34) != 0,     R.U8(35),  {}};
    const std::span<const uint8_t> Face =
        R.Data.subspan(LogFontFaceAt, std::min(FaceNameBytes, R.Size() - LogFontFaceAt) & ~size_t(1));
    size_t Units = 0;
    while (Units < Face.size() / 2 && GetLE16(Face.data() + 2 * Units) != 0)
      ++Units;
    O.Font.Face = Utf16ToUtf8(Face.first(2 * Units));
    break;
  }
  case Emf::ExtCreatePen: return PlayExtPen(R);
  case Emf::CreateMonoBrush:
  case Emf::CreateDibPatternBrushPt: return PlayPatternBrush(R);
  default: return false;
  }
  return DC.PutObject(R.U32(8), std::move(O));
}

bool TEmfPlayer::PlayExtPen(const TEmfRecord& R) {
  // Slot, bitmap blocks, then style, width, brush style, color, hatch and
  // the user style's dash lengths.
  if (!R.Has(52))
    return false;
  TMetaObject O;
  O.Kind = TMetaObject::okPen;
  O.Pen = {R.S32(28), double(R.U32(32)), R.U32(40) & 0xFFFFFF, {}};
  if ((O.Pen.Style & Meta::PsStyleMask) == Meta::PsUserStyle) {
    const uint32_t Count = R.U32(48);
    if (Count > 0 && Count <= MaxDashes && R.HasItems(52, Count, 4)) {
      for (size_t K = 0; K < Count; ++K)
        O.Pen.Dashes.push_back(R.U32(52 + 4 * K));
    } else {
      O.Pen.Style = (O.Pen.Style & ~Meta::PsStyleMask) | Meta::PsSolid;
    }
  }
  if (R.S32(36) == Meta::BsNull)
    O.Pen.Style = (O.Pen.Style & ~Meta::PsStyleMask) | Meta::PsNull;
  return DC.PutObject(R.U32(8), std::move(O));
}

bool TEmfPlayer::PlayPatternBrush(const TEmfRecord& R) {
  // Slot, color usage, header and bits blocks. A pattern that does not
  // decode leaves a gray, so that the slot still holds a brush.
  if (!R.Has(32))
    return false;
  TMetaObject O;
  O.Kind = TMetaObject::okBrush;
  O.Brush = {Meta::BsDibPatternPt, 0x808080, 0, nullptr};
  auto Bitmap = std::make_shared<TMetaBitmap>();
  if (SourceBitmap(R, 16, 24, *Bitmap))
    O.Brush.Pattern = std::move(Bitmap);
  else
    O.Brush.Style = Meta::BsSolid;
  return DC.PutObject(R.U32(8), std::move(O));
}

bool TEmfPlayer::PlayRegion(uint32_t Type, const TEmfRecord& R) {
  TMetaRegion Region;
  switch (Type) {
  case Emf::FillRgn:
  case Emf::FrameRgn: {
    // Bounds, data size, brush slot, (the frame's width and height), data.
    const bool Frame = Type == Emf::FrameRgn;
    if (!RegionAt(R, 24, Frame ? 40 : 32, Region))
      return false;
    const TMetaObject* O = DC.Object(R.U32(28));
    if (!O || O->Kind != TMetaObject::okBrush)
      return false;
    (Frame ? DC.FrameRegion(Region, O->Brush, R.S32(32), R.S32(36)) : DC.FillRegion(Region, O->Brush));
    return true;
  }
  case Emf::InvertRgn:
  case Emf::PaintRgn:
    if (!RegionAt(R, 24, 28, Region))
      return false;
    (Type == Emf::InvertRgn ? DC.InvertRegion(Region) : DC.PaintRegion(Region));
    return true;
  case Emf::ExtSelectClipRgn: {
    // Data size, mode, data; no data with the copy mode is the whole picture.
    if (!R.Has(16))
      return false;
    const int32_t Mode = R.S32(12);
    if (R.U32(8) < RegionHeaderBytes) {
      if (Mode != Meta::RgnCopy)
        return false;
      DC.SelectClipDeviceRegion(nullptr, Mode);
      return true;
    }
    if (!RegionAt(R, 8, 16, Region))
      return false;
    DC.SelectClipDeviceRegion(&Region, Mode);
    return true;
  }
  }
  return false;
}

bool TEmfPlayer::PlayBitmap(uint32_t Type, const TEmfRecord& R) {
  TMetaBitmap B;
  switch (Type) {
  case Emf::BitBlt:
  case Emf::StretchBlt:
  case Emf::MaskBlt: {
    // Bounds, destination, raster operation, source origin, its transform
    // and background, the bitmap blocks; stretching adds the source's size,
    // the mask's fields follow and are left alone.
    const size_t Need = Type == Emf::BitBlt ? 100 : Type == Emf::StretchBlt ? 108 : 128;
    if (!R.Has(Need))
      return false;
    const double W = R.S32(32), H = R.S32(36);
    const TMetaRect Dest = DestRect(R, 24, W, H);
    const uint32_t Rop = R.U32(40);
    if (R.U32(88) == 0) {
      DC.PatBlt(Dest, Rop);
      return true;
    }
    if (!SourceBitmap(R, 84, 92, B))
      return false;
    const bool Stretch = Type == Emf::StretchBlt;
    const double Sw = Stretch ? R.S32(100) : W, Sh = Stretch ? R.S32(104) : H;
    DC.StretchBitmap(B, Dest, SourceRect(R.S32(44), R.S32(48), Sw, Sh, B, false),
                     Type == Emf::MaskBlt ? Meta::SrcCopy : Rop);
    return true;
  }
  case Emf::PlgBlt: {
    // Only parallelograms that are upright rectangles are drawn.
    if (!R.Has(112) || !SourceBitmap(R, 96, 104, B))
      return false;
    const TMetaPoint P0 = R.Point(24), P1 = R.Point(32), P2 = R.Point(40);
    if (P1.Y != P0.Y || P2.X != P0.X)
      return false;
    DC.StretchBitmap(B, {P0.X, P0.Y, P1.X, P2.Y}, SourceRect(R.S32(48), R.S32(52), R.S32(56), R.S32(60), B, false),
                     Meta::SrcCopy);
    return true;
  }
  case Emf::SetDIBitsToDevice: {
    if (!R.Has(76) || !SourceBitmap(R, 48, 56, B))
      return false;
    const double W = R.S32(40), H = R.S32(44);
    DC.StretchBitmap(B, DestRect(R, 24, W, H), SourceRect(R.S32(32), R.S32(36), W, H, B, BottomUp(R, 48)),
                     Meta::SrcCopy);
    return true;
  }
  case Emf::StretchDIBits: {
    if (!R.Has(80))
      return false;
    const TMetaRect Dest = DestRect(R, 24, R.S32(72), R.S32(76));
    if (R.U32(52) == 0) {
      DC.PatBlt(Dest, R.U32(68));
      return true;
    }
    if (!SourceBitmap(R, 48, 56, B))
      return false;
    DC.StretchBitmap(B, Dest, SourceRect(R.S32(32), R.S32(36), R.S32(40), R.S32(44), B, BottomUp(R, 48)), R.U32(68));
    return true;
  }
  }
  return false;
}

bool TEmfPlayer::PlayBlend(uint32_t Type, const TEmfRecord& R) {
  if (Type == Emf::GradientFill)
    return PlayGradient(R);
  if (Type != Emf::AlphaBlend && Type != Emf::TransparentBlt)
    return false;
  // The stretching transfer's layout with the blend function or the
  // transparent color where the raster operation would be.
  TMetaBitmap B;
  if (!R.Has(108) || !SourceBitmap(R, 84, 92, B))
    return false;
  const TMetaRect Dest = DestRect(R, 24, R.S32(32), R.S32(36));
  const TMetaRect Source = SourceRect(R.S32(44), R.S32(48), R.S32(100), R.S32(104), B, false);
  if (Type == Emf::AlphaBlend) {
    DC.AlphaBitmap(B, Dest, Source, R.U8(42), (R.U8(43) & AcSrcAlpha) != 0);
    return true;
  }
  const TColor Key = R.U32(40);
  const uint32_t Rgb = (uint32_t(GetRValue(Key)) << 16) | (uint32_t(GetGValue(Key)) << 8) | GetBValue(Key);
  for (uint32_t& P : B.Pixels)
    if ((P & 0xFFFFFF) == Rgb)
      P = 0;
  DC.AlphaBitmap(B, Dest, Source, 255, true);
  return true;
}

bool TEmfPlayer::PlayGradient(const TEmfRecord& R) {
  // Bounds, vertex count, mesh count, mode, vertices (point and 16-bit
  // channels), then pairs or triples of vertex indexes.
  if (!R.Has(36))
    return false;
  const uint32_t Vertices = R.U32(24), Meshes = R.U32(28), Mode = R.U32(32);
  const bool KnownMode = Mode == GradientRectH || Mode == GradientRectV || Mode == GradientTriangle;
  if (!KnownMode || !R.HasItems(36, Vertices, VertexBytes))
    return false;
  const size_t MeshAt = 36 + Vertices * VertexBytes, Corners = Mode == GradientTriangle ? 3 : 2;
  if (!R.HasItems(MeshAt, Meshes, 4 * Corners))
    return false;
  for (size_t M = 0; M < Meshes && !DC.OutOfBudget(); ++M) {
    uint32_t Index[3] = {};
    for (size_t K = 0; K < Corners; ++K)
      Index[K] = R.U32(MeshAt + (M * Corners + K) * 4);
    if (std::any_of(Index, Index + Corners, [&](uint32_t I) { return I >= Vertices; }))
      continue;
    const auto V = [&](size_t K) { return ReadVertex(R, 36 + Index[K] * VertexBytes); };
    if (Mode == GradientTriangle)
      DC.GradientTriangle(V(0), V(1), V(2));
    else
      DC.GradientRect(V(0), V(1), Mode == GradientRectH);
  }
  return true;
}

bool TEmfPlayer::PlayText(uint32_t Type, const TEmfRecord& R) {
  if (Type != Emf::ExtTextOutA && Type != Emf::ExtTextOutW)
    return false;
  // Bounds, graphics mode and scales, then the text: reference point,
  // count, string offset, options, rectangle, advances' offset. The scales
  // only tell what the reference device made of the font; the mapping
  // gives the same.
  if (!R.Has(76))
    return false;
  const bool Wide = Type == Emf::ExtTextOutW;
  const size_t Count = R.U32(44), StringAt = R.U32(48);
  const uint32_t Options = R.U32(52);
  const bool Opaque = Options & EtoOpaque, Clipped = Options & EtoClipped;
  const TMetaRect Box = R.Rect(56);
  if (Count > 0 && (StringAt < 8 || !R.HasItems(StringAt, Count, Wide ? 2 : 1)))
    return false;
  // Glyph indexes name shapes of the writer's font; only the background
  // they would have filled can be drawn.
  if (Options & EtoGlyphIndex) {
    if (!Opaque)
      return false;
    DC.TextOut(R.Point(36), {}, {}, &Box, true, Clipped);
    return true;
  }
  const std::vector<double> Dx = ReadAdvances(R, Count, Options & EtoPdy);
  const std::span<const uint8_t> Text = Count > 0 ? R.Data.subspan(StringAt, Count * (Wide ? 2 : 1)) : R.Data.first(0);
  std::string Utf8;
  std::vector<double> Advances;
  if (Wide) {
    for (size_t Unit = 0; Unit < Count;) {
      const size_t First = Unit;
      const uint32_t C = NextUtf16(Text, Unit);
      if (C != 0)
        AppendUtf8(Utf8, C);
      AddAdvance(Advances, Dx, First, Unit, C != 0);
    }
  } else {
    std::vector<uint8_t> Bytes;
    for (size_t K = 0; K < Count; ++K) {
      if (Text[K] != 0)
        Bytes.push_back(Text[K]);
      AddAdvance(Advances, Dx, K, K + 1, Text[K] != 0);
    }
    Utf8 = AnsiToUtf8(Bytes, DC.Font().Charset);
  }
  // Multibyte code pages join bytes into one character: their advances no
  // longer line up and the font's own are used.
  if (Dx.empty() || CodePoints(Utf8) != Advances.size())
    Advances.clear();
  DC.TextOut(R.Point(36), Utf8, Advances, Opaque || Clipped ? &Box : nullptr, Opaque, Clipped);
  return true;
}
