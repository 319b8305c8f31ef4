#pragma once
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "RgbTypes.h"

// The drawing state both metafile players share: the GDI-like device context
// (objects, mapping, pens, brushes, text, clipping, paths) on a Cairo image
// surface. Players decode records and call these; coordinates are logical
// units of the picture unless a name says otherwise.

struct _cairo;
struct _cairo_surface;
struct _cairo_pattern;

struct TMetaPoint {
  double X = 0, Y = 0;
};

struct TMetaRect {
  double Left = 0, Top = 0, Right = 0, Bottom = 0;
};

// A 2 x 3 affine transform as the enhanced format stores it:
// x' = M11 x + M21 y + Dx, y' = M12 x + M22 y + Dy.
struct TMetaXForm {
  double M11 = 1, M12 = 0, M21 = 0, M22 = 1, Dx = 0, Dy = 0;
};

// Values of the file formats the players hand on unchanged.
namespace Meta {
inline constexpr int32_t PsSolid = 0, PsDash = 1, PsDot = 2, PsDashDot = 3, PsDashDotDot = 4, PsNull = 5,
                         PsInsideFrame = 6, PsUserStyle = 7, PsStyleMask = 0x0F;
inline constexpr int32_t PsEndCapMask = 0x0F00, PsEndCapSquare = 0x0100, PsEndCapFlat = 0x0200;
inline constexpr int32_t PsJoinMask = 0xF000, PsJoinBevel = 0x1000, PsJoinMiter = 0x2000;
inline constexpr int32_t PsGeometric = 0x10000;
inline constexpr int32_t BsSolid = 0, BsNull = 1, BsHatched = 2, BsPattern = 3, BsDibPattern = 5, BsDibPatternPt = 6;
inline constexpr int32_t TaUpdateCp = 1, TaRight = 2, TaCenter = 6, TaHorzMask = 6, TaBottom = 8, TaBaseline = 24,
                         TaVertMask = 24;
inline constexpr int32_t Transparent = 1, Opaque = 2;
inline constexpr int32_t Alternate = 1, Winding = 2;
inline constexpr int32_t MmText = 1, MmLoMetric = 2, MmHiMetric = 3, MmLoEnglish = 4, MmHiEnglish = 5, MmTwips = 6,
                         MmIsotropic = 7, MmAnisotropic = 8;
inline constexpr int32_t RgnAnd = 1, RgnOr = 2, RgnXor = 3, RgnDiff = 4, RgnCopy = 5;
inline constexpr int32_t R2Black = 1, R2NotMergePen = 2, R2MaskNotPen = 3, R2NotCopyPen = 4, R2MaskPenNot = 5,
                         R2Not = 6, R2XorPen = 7, R2NotMaskPen = 8, R2MaskPen = 9, R2NotXorPen = 10, R2Nop = 11,
                         R2MergeNotPen = 12, R2CopyPen = 13, R2MergePenNot = 14, R2MergePen = 15, R2White = 16;
inline constexpr int32_t CounterClockwise = 1, Clockwise = 2;
inline constexpr int32_t FwBold = 700;
inline constexpr uint8_t SymbolCharset = 2;
// Raster operations of the bit-block transfers (the high word of the file's
// 32-bit code).
inline constexpr uint32_t SrcCopy = 0xCC0020, SrcPaint = 0xEE0086, SrcAnd = 0x8800C6, SrcInvert = 0x660046,
                          SrcErase = 0x440328, NotSrcCopy = 0x330008, NotSrcErase = 0x1100A6, MergeCopy = 0xC000CA,
                          MergePaint = 0xBB0226, PatCopy = 0xF00021, PatPaint = 0xFB0A09, PatInvert = 0x5A0049,
                          DstInvert = 0x550009, Blackness = 0x000042, Whiteness = 0xFF0062;
} // namespace Meta

// A bitmap decoded for drawing: premultiplied 0xAARRGGBB words, top row first.
struct TMetaBitmap {
  int32_t Width = 0, Height = 0;
  std::vector<uint32_t> Pixels;
};

// Decodes a packed device-independent bitmap (header, colors, bits) as the
// metafile records carry it; false for anything it cannot place safely.
// Bits may be a separate block (the enhanced records store them apart).
bool DecodeMetaBitmap(std::span<const uint8_t> Info, std::span<const uint8_t> Bits, TMetaBitmap& Out);

struct TMetaPen {
  int32_t Style = Meta::PsNull;
  double Width = 0;
  TColor Color = 0;
  std::vector<double> Dashes;
};

struct TMetaBrush {
  int32_t Style = Meta::BsNull;
  TColor Color = 0;
  int32_t Hatch = 0;
  std::shared_ptr<const TMetaBitmap> Pattern;
};

struct TMetaFont {
  double Height = 0;
  double Width = 0;
  int32_t Escapement = 0;
  int32_t Weight = 400;
  bool Italic = false, Underline = false, StrikeOut = false;
  uint8_t Charset = 0;
  std::string Face;
};

// A region as a set of rectangles in logical units, to be unioned.
struct TMetaRegion {
  std::vector<TMetaRect> Rects;
};

// One object of a metafile's table.
struct TMetaObject {
  enum TKind { okNone, okPen, okBrush, okFont, okPalette, okRegion } Kind = okNone;
  TMetaPen Pen;
  TMetaBrush Brush;
  TMetaFont Font;
  TMetaRegion Region;
};

class TMetaDC {
public:
  // The picture of Width x Height pixels on white. DeviceScaleX/Y turn the
  // reference device's pixels (the units of the viewport) into the bitmap's.
  // A measuring context keeps the mapping of a Width x Height picture but
  // draws on a single pixel; it only gathers DrawnBounds.
  TMetaDC(int32_t Width, int32_t Height, bool Measure = false);
  ~TMetaDC();
  TMetaDC(const TMetaDC&) = delete;
  TMetaDC& operator=(const TMetaDC&) = delete;

  int32_t Width() const { return FWidth; }
  int32_t Height() const { return FHeight; }
  // Row Y as the surface holds it: 0x00RRGGBB words.
  const uint32_t* SurfaceRow(int32_t Y) const;
  // Bitmap pixels the shapes cover, within their clips; empty (Right <=
  // Left) when nothing was drawn.
  TMetaRect DrawnBounds() const { return FDrawn; }

  // Places the device: viewport units map to bitmap pixels as
  // bitmap = (v - Origin) * Scale.
  void SetDevice(TMetaPoint Origin, double ScaleX, double ScaleY);
  void Device(double& OriginX, double& OriginY, double& ScaleX, double& ScaleY) const {
    OriginX = FDeviceOrigin.X, OriginY = FDeviceOrigin.Y, ScaleX = FDeviceScaleX, ScaleY = FDeviceScaleY;
  }
  // Reference device pixels per millimetre, for the metric mapping modes.
  void SetDeviceResolution(double PixelsPerMmX, double PixelsPerMmY);

  // The object table. Indexes come from the file: every call checks them.
  void SetObjectCount(size_t Count);
  size_t ObjectCount() const { return FObjects.size(); }
  // The first free slot (the older format's rule); false when the table is full.
  bool AddObject(TMetaObject Object);
  // The slot the file names (the enhanced format's rule); false outside.
  bool PutObject(uint32_t Index, TMetaObject Object);
  bool SelectObject(uint32_t Index);
  bool DeleteObject(uint32_t Index);
  // The stock objects of the enhanced format (index with the high bit set).
  bool SelectStockObject(uint32_t Stock);
  const TMetaObject* Object(uint32_t Index) const;

  // Device context state.
  void SaveDC();
  // Relative (negative) or absolute levels as the files give them.
  void RestoreDC(int32_t Level);
  void SetMapMode(int32_t Mode);
  void SetWindowOrg(TMetaPoint P);
  void SetWindowExt(TMetaPoint E);
  void SetViewportOrg(TMetaPoint P);
  void SetViewportExt(TMetaPoint E);
  void OffsetWindowOrg(TMetaPoint D);
  void OffsetViewportOrg(TMetaPoint D);
  void ScaleWindowExt(int32_t XNum, int32_t XDenom, int32_t YNum, int32_t YDenom);
  void ScaleViewportExt(int32_t XNum, int32_t XDenom, int32_t YNum, int32_t YDenom);
  bool WindowExtSet() const;
  void SetWorldTransform(const TMetaXForm& X);
  // Modes 1 identity, 2 left multiply, 3 right multiply, 4 set.
  void ModifyWorldTransform(const TMetaXForm& X, int32_t Mode);
  void SetBkColor(TColor C);
  void SetBkMode(int32_t Mode);
  void SetTextColor(TColor C);
  void SetTextAlign(int32_t Align);
  void SetPolyFillMode(int32_t Mode);
  void SetROP2(int32_t Rop);
  void SetArcDirection(int32_t Direction);
  void SetMiterLimit(double Limit);
  void SetTextCharacterExtra(double Extra);

  // Drawing. While a path is open these add to it instead.
  void MoveTo(TMetaPoint P);
  void LineTo(TMetaPoint P);
  TMetaPoint CurrentPosition() const;
  void Polyline(std::span<const TMetaPoint> Points);
  // From the current position, which moves to the last point.
  void PolylineTo(std::span<const TMetaPoint> Points);
  void Polygon(std::span<const TMetaPoint> Points);
  // Counts says how many points each polygon takes from Points, in order.
  void PolyPolygon(std::span<const TMetaPoint> Points, std::span<const uint32_t> Counts);
  void PolyPolyline(std::span<const TMetaPoint> Points, std::span<const uint32_t> Counts);
  // Cubic Béziers: 1 + 3n points; the To form starts at the current position.
  void PolyBezier(std::span<const TMetaPoint> Points);
  void PolyBezierTo(std::span<const TMetaPoint> Points);
  // Points with the enhanced format's PolyDraw types.
  void PolyDraw(std::span<const TMetaPoint> Points, std::span<const uint8_t> Types);
  void Rectangle(const TMetaRect& R);
  void RoundRect(const TMetaRect& R, double CornerW, double CornerH);
  void Ellipse(const TMetaRect& R);
  void Arc(const TMetaRect& R, TMetaPoint Start, TMetaPoint End);
  void ArcTo(const TMetaRect& R, TMetaPoint Start, TMetaPoint End);
  void Chord(const TMetaRect& R, TMetaPoint Start, TMetaPoint End);
  void Pie(const TMetaRect& R, TMetaPoint Start, TMetaPoint End);
  // Angles in degrees, counterclockwise from the x axis.
  void AngleArc(TMetaPoint Center, double Radius, double StartAngle, double SweepAngle);
  // Sets one pixel.
  void SetPixel(TMetaPoint P, TColor C);
  // Fills with the selected brush (or Brush), the pen untouched.
  void FillRect(const TMetaRect& R, const TMetaBrush& Brush);
  void FillRegion(const TMetaRegion& Region, const TMetaBrush& Brush);
  void FrameRegion(const TMetaRegion& Region, const TMetaBrush& Brush, double W, double H);
  void InvertRegion(const TMetaRegion& Region);
  void PaintRegion(const TMetaRegion& Region);
  // A pattern block transfer with the selected brush.
  void PatBlt(const TMetaRect& R, uint32_t Rop);

  // Text in UTF-8 at P with the selected font; Dx, when not empty, gives the
  // advance of each character (one per code point) in logical units.
  // Opaque fills Clip (or the text's box) with the background color first;
  // Clipped clips to Clip.
  void TextOut(TMetaPoint P, const std::string& Utf8, std::span<const double> Dx, const TMetaRect* Clip, bool Opaque,
               bool Clipped);

  // The bitmap's source rectangle (pixels, top row 0) stretched over the
  // logical rectangle Dest with a raster operation.
  void StretchBitmap(const TMetaBitmap& Bitmap, const TMetaRect& Dest, const TMetaRect& Source, uint32_t Rop);
  // Alpha-blends with a constant alpha (0..255) and, when PerPixel, the
  // bitmap's own alpha.
  void AlphaBitmap(const TMetaBitmap& Bitmap, const TMetaRect& Dest, const TMetaRect& Source, uint8_t Alpha,
                   bool PerPixel);
  // Gradient-filled rectangles (Horizontal or vertical) and triangles.
  struct TVertex {
    TMetaPoint P;
    double R = 0, G = 0, B = 0; // 0..1
  };
  void GradientRect(const TVertex& A, const TVertex& B, bool Horizontal);
  void GradientTriangle(const TVertex& A, const TVertex& B, const TVertex& C);

  // Clipping, in logical units.
  void IntersectClipRect(const TMetaRect& R);
  void ExcludeClipRect(const TMetaRect& R);
  void OffsetClip(TMetaPoint D);
  // A region in logical units combined with the clip by Mode; none resets
  // (for copy) the clip to the whole picture.
  void SelectClipRegion(const TMetaRegion* Region, int32_t Mode);
  // A region given in device units (the enhanced format stores them so).
  void SelectClipDeviceRegion(const TMetaRegion* Region, int32_t Mode);

  // Paths.
  void BeginPath();
  void EndPath();
  void AbortPath();
  void CloseFigure();
  void StrokePath();
  void FillPath();
  void StrokeAndFillPath();
  void SelectClipPath(int32_t Mode);
  void FlattenPath() {}
  void WidenPath();
  bool InPath() const { return FInPath; }

  // Drawing stops adding work once the budget of points and pixels is spent,
  // so that a hostile file cannot keep the player busy for minutes.
  bool OutOfBudget() const { return FBudget <= 0; }

  // Pen, brush and font now selected.
  const TMetaPen& Pen() const;
  const TMetaBrush& Brush() const;
  const TMetaFont& Font() const;

private:
  struct TState;
  struct TClipOp;

  void ApplyMatrix();
  void ApplyClip();
  void AddDevicePolygons(const std::vector<TMetaPoint>& Points, const std::vector<uint32_t>& Counts);
  TClipOp RegionOp(const TMetaRegion& Region, bool Device);
  void CombineClip(TClipOp Op, int32_t Mode);
  void DropPath();
  bool RestorePath(double& Scale);
  // Sets the color through the ROP2 mode; false when nothing is to be drawn.
  bool SetRopColor(TColor C);
  bool SetBrushSource(const TMetaBrush& Brush);
  // Fill and stroke Cairo's current path (in bitmap pixels once built),
  // keeping it; Scale is the mapping's pixels per logical unit.
  // FillMode 0 takes the DC's polygon fill mode.
  void FillCurrent(const TMetaBrush& Brush, int32_t FillMode = 0);
  void StrokeCurrent(double Scale);
  // Starts a shape outside a path, or adds to the open one.
  bool BeginShape();
  // Ends a shape: filled and stroked, or stroked only, unless a path is open.
  void EndShape(bool Fill);
  void AddPolyline(std::span<const TMetaPoint> Points, bool Close);
  // Counts says how many points each figure takes from Points, in order.
  void AddPolyPolygon(std::span<const TMetaPoint> Points, std::span<const uint32_t> Counts, bool Close);
  void AddEllipse(const TMetaRect& R);
  void AddArc(const TMetaRect& R, TMetaPoint Start, TMetaPoint End, bool Connect);
  void AddRegion(const TMetaRegion& Region);
  void Spend(double Work);
  // Spends the pixels the logical rectangle R covers, at most the picture's.
  void SpendArea(const TMetaRect& R, double Extra = 0);
  // Adds a shape's extents in bitmap pixels to DrawnBounds, within the clip.
  void NoteDrawn(double X1, double Y1, double X2, double Y2);
  double DeviceUnitsPerLogical() const;
  // False for a curve too large on the picture to flatten.
  bool CurveFits(double Rx, double Ry) const;
  TMetaPoint ToDevice(TMetaPoint P) const;

  int32_t FWidth = 0, FHeight = 0;
  _cairo_surface* FSurface = nullptr;
  _cairo* FCr = nullptr;
  std::unique_ptr<TState> FState;
  std::vector<TState> FSaved;
  std::vector<TMetaObject> FObjects;
  TMetaPoint FDeviceOrigin;
  double FDeviceScaleX = 1, FDeviceScaleY = 1;
  double FPixelsPerMmX = 96 / 25.4, FPixelsPerMmY = 96 / 25.4;
  bool FInPath = false;
  // The finished path in bitmap pixels, as cairo_copy_path gave it.
  void* FPath = nullptr;
  double FBudget = 0;
  bool FMeasure = false;
  TMetaRect FDrawn{0, 0, -1, -1};
  // The box the clip keeps, in bitmap pixels; kept with the clip so that
  // shapes need not walk its points.
  TMetaRect FClipBox{-1e300, -1e300, 1e300, 1e300};
  // The mapping can be drawn with: a singular one draws nothing.
  bool FMatrixOK = true;
};
