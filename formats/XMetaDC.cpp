#include <algorithm>
#include <cmath>

#include "XMetaDCState.h"

namespace {

// The table may not grow past what a file's records could ever fill.
constexpr size_t MaxObjects = 1 << 20;
// Pixels a file may cover in all before its drawing stops: enough for
// thousands of full-picture fills of a normal size.
constexpr double WorkBudget = 4e9;
constexpr int32_t MaxSavedStates = 4096;
constexpr double MaxUnitPixels = 1e6;
// Curves are flattened into segments by their size on the picture: a radius
// beyond this would never finish, and only a sliver of it could show.
constexpr double MaxCurvePixels = 1e7;

cairo_matrix_t ToCairo(const TMetaXForm& X) {
  cairo_matrix_t M;
  cairo_matrix_init(&M, X.M11, X.M12, X.M21, X.M22, X.Dx, X.Dy);
  return M;
}

TMetaXForm FromCairo(const cairo_matrix_t& M) { return {M.xx, M.yx, M.xy, M.yy, M.x0, M.y0}; }

bool Invertible(const cairo_matrix_t& M) {
  cairo_matrix_t Copy = M;
  return std::isfinite(M.xx + M.yx + M.xy + M.yy + M.x0 + M.y0) && cairo_matrix_invert(&Copy) == CAIRO_STATUS_SUCCESS;
}

// Logical units per millimetre of the fixed mapping modes, y up for all.
double UnitsPerMm(int32_t Mode) {
  switch (Mode) {
  case Meta::MmLoMetric: return 10;
  case Meta::MmHiMetric: return 100;
  case Meta::MmLoEnglish: return 100 / 25.4;
  case Meta::MmHiEnglish: return 1000 / 25.4;
  case Meta::MmTwips: return 1440 / 25.4;
  }
  return 0;
}

TMetaPen StockPen(TColor Color, int32_t Style) { return {Style, 0, Color, {}}; }
TMetaBrush StockBrush(TColor Color, int32_t Style) { return {Style, Color, 0, nullptr}; }

} // namespace

TMetaDC::TMetaDC(int32_t AWidth, int32_t AHeight, bool Measure)
    : FWidth(std::max(AWidth, 1)), FHeight(std::max(AHeight, 1)), FState(std::make_unique<TState>()),
      FBudget(WorkBudget), FMeasure(Measure) {
  FSurface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, Measure ? 1 : FWidth, Measure ? 1 : FHeight);
  FCr = cairo_create(FSurface);
  if (cairo_surface_status(FSurface) != CAIRO_STATUS_SUCCESS || cairo_status(FCr) != CAIRO_STATUS_SUCCESS) {
    cairo_destroy(FCr);
    cairo_surface_destroy(FSurface);
    throw std::bad_alloc();
  }
  cairo_set_source_rgb(FCr, 1, 1, 1);
  cairo_paint(FCr);
}

TMetaDC::~TMetaDC() {
  if (FPath)
    cairo_path_destroy(static_cast<cairo_path_t*>(FPath));
  cairo_destroy(FCr);
  cairo_surface_destroy(FSurface);
}

const uint32_t* TMetaDC::SurfaceRow(int32_t Y) const {
  cairo_surface_flush(FSurface);
  const unsigned char* Data = cairo_image_surface_get_data(FSurface);
  return reinterpret_cast<const uint32_t*>(Data + size_t(Y) * size_t(cairo_image_surface_get_stride(FSurface)));
}

void TMetaDC::SetDevice(TMetaPoint Origin, double ScaleX, double ScaleY) {
  FDeviceOrigin = Origin;
  FDeviceScaleX = ScaleX;
  FDeviceScaleY = ScaleY;
}

void TMetaDC::SetDeviceResolution(double PixelsPerMmX, double PixelsPerMmY) {
  if (PixelsPerMmX > 0 && PixelsPerMmY > 0 && std::isfinite(PixelsPerMmX) && std::isfinite(PixelsPerMmY)) {
    FPixelsPerMmX = PixelsPerMmX;
    FPixelsPerMmY = PixelsPerMmY;
  }
}

void TMetaDC::Spend(double Work) { FBudget -= std::max(Work, 1.0); }

void TMetaDC::NoteDrawn(double X1, double Y1, double X2, double Y2) {
  X1 = std::max(X1, FClipBox.Left), Y1 = std::max(Y1, FClipBox.Top);
  X2 = std::min(X2, FClipBox.Right), Y2 = std::min(Y2, FClipBox.Bottom);
  if (!(X2 > X1 && Y2 > Y1))
    return;
  if (FDrawn.Right <= FDrawn.Left)
    FDrawn = {X1, Y1, X2, Y2};
  else
    FDrawn = {std::min(FDrawn.Left, X1), std::min(FDrawn.Top, Y1), std::max(FDrawn.Right, X2),
              std::max(FDrawn.Bottom, Y2)};
}

// Objects.

void TMetaDC::SetObjectCount(size_t Count) { FObjects.assign(std::min(Count, MaxObjects), TMetaObject{}); }

bool TMetaDC::AddObject(TMetaObject Obj) {
  for (TMetaObject& Slot : FObjects)
    if (Slot.Kind == TMetaObject::okNone) {
      Slot = std::move(Obj);
      return true;
    }
  return false;
}

bool TMetaDC::PutObject(uint32_t Index, TMetaObject Obj) {
  if (Index >= MaxObjects)
    return false;
  // Some writers count their handles short; the slot a record names is the
  // better witness.
  if (Index >= FObjects.size())
    FObjects.resize(Index + 1);
  FObjects[Index] = std::move(Obj);
  return true;
}

const TMetaObject* TMetaDC::Object(uint32_t Index) const {
  if (Index >= FObjects.size() || FObjects[Index].Kind == TMetaObject::okNone)
    return nullptr;
  return &FObjects[Index];
}

bool TMetaDC::SelectObject(uint32_t Index) {
  const TMetaObject* Obj = Object(Index);
  if (!Obj)
    return false;
  switch (Obj->Kind) {
  case TMetaObject::okPen: FState->Pen = Obj->Pen; break;
  case TMetaObject::okBrush: FState->Brush = Obj->Brush; break;
  case TMetaObject::okFont: FState->Font = Obj->Font; break;
  case TMetaObject::okRegion: SelectClipRegion(&Obj->Region, Meta::RgnCopy); break;
  default: break;
  }
  return true;
}

bool TMetaDC::DeleteObject(uint32_t Index) {
  if (Index >= FObjects.size())
    return false;
  FObjects[Index] = TMetaObject{};
  return true;
}

bool TMetaDC::SelectStockObject(uint32_t Stock) {
  switch (Stock & 0x7FFFFFFF) {
  case 0: FState->Brush = StockBrush(0xFFFFFF, Meta::BsSolid); break;
  case 1: FState->Brush = StockBrush(0xC0C0C0, Meta::BsSolid); break;
  case 2: FState->Brush = StockBrush(0x808080, Meta::BsSolid); break;
  case 3: FState->Brush = StockBrush(0x404040, Meta::BsSolid); break;
  case 4: FState->Brush = StockBrush(0x000000, Meta::BsSolid); break;
  case 5: FState->Brush = StockBrush(0, Meta::BsNull); break;
  case 6: FState->Pen = StockPen(0xFFFFFF, Meta::PsSolid); break;
  case 7: FState->Pen = StockPen(0x000000, Meta::PsSolid); break;
  case 8: FState->Pen = StockPen(0, Meta::PsNull); break;
  case 10:
  case 11:
  case 12:
  case 13:
  case 14:
  case 16:
  case 17: FState->Font = TMetaFont{}; break;
  case 15: break;
  case 18: FState->Brush = StockBrush(0xFFFFFF, Meta::BsSolid); break;
  case 19: FState->Pen = StockPen(0x000000, Meta::PsSolid); break;
  default: return false;
  }
  return true;
}

const TMetaPen& TMetaDC::Pen() const { return FState->Pen; }
const TMetaBrush& TMetaDC::Brush() const { return FState->Brush; }
const TMetaFont& TMetaDC::Font() const { return FState->Font; }

// State.

void TMetaDC::SaveDC() {
  if (FSaved.size() < MaxSavedStates)
    FSaved.push_back(*FState);
}

void TMetaDC::RestoreDC(int32_t Level) {
  const int64_t Depth = int64_t(FSaved.size());
  // Negative levels count back from the newest state, positive ones name a
  // state by the order it was saved in.
  const int64_t Keep = Level < 0 ? Depth + Level : int64_t(Level) - 1;
  if (Level == 0 || Keep < 0 || Keep >= Depth)
    return;
  *FState = std::move(FSaved[size_t(Keep)]);
  FSaved.resize(size_t(Keep));
  ApplyClip();
}

void TMetaDC::SetMapMode(int32_t Mode) {
  if (Mode < Meta::MmText || Mode > Meta::MmAnisotropic)
    return;
  FState->MapMode = Mode;
  if (Mode != Meta::MmIsotropic && Mode != Meta::MmAnisotropic) {
    FState->WindowExt = {1, 1};
    FState->ViewportExt = {1, 1};
  }
}

void TMetaDC::SetWindowOrg(TMetaPoint P) { FState->WindowOrg = P; }
void TMetaDC::SetViewportOrg(TMetaPoint P) { FState->ViewportOrg = P; }

void TMetaDC::SetWindowExt(TMetaPoint E) {
  if (E.X == 0 || E.Y == 0)
    return;
  FState->WindowExt = E;
  FState->WindowExtSet = true;
}

void TMetaDC::SetViewportExt(TMetaPoint E) {
  if (E.X != 0 && E.Y != 0)
    FState->ViewportExt = E;
}

void TMetaDC::OffsetWindowOrg(TMetaPoint D) {
  FState->WindowOrg.X += D.X;
  FState->WindowOrg.Y += D.Y;
}

void TMetaDC::OffsetViewportOrg(TMetaPoint D) {
  FState->ViewportOrg.X += D.X;
  FState->ViewportOrg.Y += D.Y;
}

void TMetaDC::ScaleWindowExt(int32_t XNum, int32_t XDenom, int32_t YNum, int32_t YDenom) {
  if (XNum != 0 && XDenom != 0 && YNum != 0 && YDenom != 0)
    SetWindowExt({FState->WindowExt.X * XNum / XDenom, FState->WindowExt.Y * YNum / YDenom});
}

void TMetaDC::ScaleViewportExt(int32_t XNum, int32_t XDenom, int32_t YNum, int32_t YDenom) {
  if (XNum != 0 && XDenom != 0 && YNum != 0 && YDenom != 0)
    SetViewportExt({FState->ViewportExt.X * XNum / XDenom, FState->ViewportExt.Y * YNum / YDenom});
}

bool TMetaDC::WindowExtSet() const { return FState->WindowExtSet; }

void TMetaDC::SetWorldTransform(const TMetaXForm& X) {
  if (Invertible(ToCairo(X)))
    FState->World = X;
}

void TMetaDC::ModifyWorldTransform(const TMetaXForm& X, int32_t Mode) {
  const cairo_matrix_t New = ToCairo(X), Old = ToCairo(FState->World);
  cairo_matrix_t R;
  switch (Mode) {
  case 1: FState->World = TMetaXForm{}; return;
  case 2: cairo_matrix_multiply(&R, &New, &Old); break;
  case 3: cairo_matrix_multiply(&R, &Old, &New); break;
  case 4: R = New; break;
  default: return;
  }
  if (Invertible(R))
    FState->World = FromCairo(R);
}

void TMetaDC::SetBkColor(TColor C) { FState->BkColor = C & 0xFFFFFF; }
void TMetaDC::SetBkMode(int32_t Mode) {
  if (Mode == Meta::Transparent || Mode == Meta::Opaque)
    FState->BkMode = Mode;
}
void TMetaDC::SetTextColor(TColor C) { FState->TextColor = C & 0xFFFFFF; }
void TMetaDC::SetTextAlign(int32_t Align) { FState->TextAlign = Align; }
void TMetaDC::SetPolyFillMode(int32_t Mode) {
  if (Mode == Meta::Alternate || Mode == Meta::Winding)
    FState->PolyFillMode = Mode;
}
void TMetaDC::SetROP2(int32_t Rop) {
  if (Rop >= Meta::R2Black && Rop <= Meta::R2White)
    FState->Rop2 = Rop;
}
void TMetaDC::SetArcDirection(int32_t Direction) {
  if (Direction == Meta::CounterClockwise || Direction == Meta::Clockwise)
    FState->ArcDirection = Direction;
}
void TMetaDC::SetMiterLimit(double Limit) {
  if (Limit >= 1 && std::isfinite(Limit))
    FState->MiterLimit = Limit;
}
void TMetaDC::SetTextCharacterExtra(double Extra) {
  if (std::isfinite(Extra))
    FState->CharExtra = Extra;
}

// Mapping: world transform, then window to viewport, then viewport to bitmap.
void TMetaDC::ApplyMatrix() {
  const TState& S = *FState;
  double Sx = 1, Sy = 1;
  const double PerMm = UnitsPerMm(S.MapMode);
  if (PerMm > 0) {
    Sx = FPixelsPerMmX / PerMm;
    Sy = -FPixelsPerMmY / PerMm;
  } else if (S.MapMode == Meta::MmIsotropic || S.MapMode == Meta::MmAnisotropic) {
    Sx = S.ViewportExt.X / S.WindowExt.X;
    Sy = S.ViewportExt.Y / S.WindowExt.Y;
    if (S.MapMode == Meta::MmIsotropic) {
      const double Scale = std::min(std::fabs(Sx), std::fabs(Sy));
      Sx = std::copysign(Scale, Sx);
      Sy = std::copysign(Scale, Sy);
    }
  }
  cairo_matrix_t World = ToCairo(S.World), Page, Device, WP, M;
  cairo_matrix_init(&Page, Sx, 0, 0, Sy, S.ViewportOrg.X - S.WindowOrg.X * Sx, S.ViewportOrg.Y - S.WindowOrg.Y * Sy);
  cairo_matrix_init(&Device, FDeviceScaleX, 0, 0, FDeviceScaleY, -FDeviceOrigin.X * FDeviceScaleX,
                    -FDeviceOrigin.Y * FDeviceScaleY);
  cairo_matrix_multiply(&WP, &World, &Page);
  cairo_matrix_multiply(&M, &WP, &Device);
  // A logical unit of more than a million pixels is no picture's, and Cairo
  // would flatten its curves into billions of segments.
  const double Norm = std::hypot(M.xx, M.yx, std::hypot(M.xy, M.yy));
  if (Invertible(M) && Norm < MaxUnitPixels) {
    cairo_set_matrix(FCr, &M);
    FMatrixOK = true;
  } else {
    cairo_identity_matrix(FCr);
    FMatrixOK = false;
  }
}

TMetaPoint TMetaDC::ToDevice(TMetaPoint P) const {
  double X = P.X, Y = P.Y;
  cairo_user_to_device(FCr, &X, &Y);
  return {X, Y};
}

bool TMetaDC::CurveFits(double Rx, double Ry) const {
  cairo_matrix_t M;
  cairo_get_matrix(FCr, &M);
  const double Radius = std::max(std::fabs(Rx), std::fabs(Ry)) * std::hypot(M.xx, M.yx, std::hypot(M.xy, M.yy));
  return std::isfinite(Radius) && Radius < MaxCurvePixels;
}

double TMetaDC::DeviceUnitsPerLogical() const {
  cairo_matrix_t M;
  cairo_get_matrix(FCr, &M);
  return std::sqrt(std::fabs(M.xx * M.yy - M.xy * M.yx));
}

// Clipping: a list of steps in bitmap pixels, so that SaveDC keeps it whole
// and offsets and restores need no region arithmetic.

void TMetaDC::ApplyClip() {
  // The boxes of the steps that keep only their inside bound what can show.
  constexpr double Unbounded = 1e300;
  FClipBox = {-Unbounded, -Unbounded, Unbounded, Unbounded};
  for (const TClipOp& Op : FState->Clip) {
    if (Op.Exclude || Op.Points.empty())
      continue;
    double L = Op.Points[0].X, T = Op.Points[0].Y, R = L, B = T;
    for (const TMetaPoint& P : Op.Points) {
      L = std::min(L, P.X), R = std::max(R, P.X);
      T = std::min(T, P.Y), B = std::max(B, P.Y);
    }
    FClipBox = {std::max(FClipBox.Left, L), std::max(FClipBox.Top, T), std::min(FClipBox.Right, R),
                std::min(FClipBox.Bottom, B)};
  }
  cairo_reset_clip(FCr);
  cairo_identity_matrix(FCr);
  for (const TClipOp& Op : FState->Clip) {
    cairo_new_path(FCr);
    AddDevicePolygons(Op.Points, Op.Counts);
    if (Op.Exclude) {
      // Everything but the shape: a frame around the picture, even-odd.
      cairo_rectangle(FCr, -1, -1, FWidth + 2.0, FHeight + 2.0);
      cairo_set_fill_rule(FCr, CAIRO_FILL_RULE_EVEN_ODD);
    } else
      cairo_set_fill_rule(FCr, Op.EvenOdd ? CAIRO_FILL_RULE_EVEN_ODD : CAIRO_FILL_RULE_WINDING);
    cairo_clip(FCr);
  }
  cairo_new_path(FCr);
}

void TMetaDC::AddDevicePolygons(const std::vector<TMetaPoint>& Points, const std::vector<uint32_t>& Counts) {
  size_t I = 0;
  for (uint32_t Count : Counts) {
    for (uint32_t K = 0; K < Count && I < Points.size(); ++K, ++I)
      (K == 0 ? cairo_move_to : cairo_line_to)(FCr, Points[I].X, Points[I].Y);
    cairo_close_path(FCr);
  }
}

TMetaDC::TClipOp TMetaDC::RegionOp(const TMetaRegion& Region, bool Device) {
  TClipOp Op;
  for (const TMetaRect& R : Region.Rects) {
    const TMetaPoint Corners[] = {{R.Left, R.Top}, {R.Right, R.Top}, {R.Right, R.Bottom}, {R.Left, R.Bottom}};
    for (TMetaPoint C : Corners)
      Op.Points.push_back(
          Device ? TMetaPoint{(C.X - FDeviceOrigin.X) * FDeviceScaleX, (C.Y - FDeviceOrigin.Y) * FDeviceScaleY}
                 : ToDevice(C));
    Op.Counts.push_back(4);
  }
  return Op;
}

// Unions and exclusive ors of a clip with a region would need region
// arithmetic; with a whole-picture clip they reduce to the region or its
// complement, otherwise the clip widens to the whole picture.
void TMetaDC::CombineClip(TClipOp Op, int32_t Mode) {
  std::vector<TClipOp>& Clip = FState->Clip;
  switch (Mode) {
  case Meta::RgnCopy: Clip.assign(1, std::move(Op)); break;
  case Meta::RgnAnd: Clip.push_back(std::move(Op)); break;
  case Meta::RgnDiff:
    Op.Exclude = true;
    Clip.push_back(std::move(Op));
    break;
  case Meta::RgnXor:
    if (Clip.empty()) {
      Op.Exclude = true;
      Clip.push_back(std::move(Op));
    } else
      Clip.clear();
    break;
  case Meta::RgnOr: Clip.clear(); break;
  default: return;
  }
  ApplyClip();
}

void TMetaDC::IntersectClipRect(const TMetaRect& R) {
  ApplyMatrix();
  CombineClip(RegionOp({{R}}, false), Meta::RgnAnd);
}

void TMetaDC::ExcludeClipRect(const TMetaRect& R) {
  ApplyMatrix();
  CombineClip(RegionOp({{R}}, false), Meta::RgnDiff);
}

void TMetaDC::OffsetClip(TMetaPoint D) {
  ApplyMatrix();
  const TMetaPoint A = ToDevice({0, 0}), B = ToDevice(D);
  for (TClipOp& Op : FState->Clip)
    for (TMetaPoint& P : Op.Points) {
      P.X += B.X - A.X;
      P.Y += B.Y - A.Y;
    }
  ApplyClip();
}

void TMetaDC::SelectClipRegion(const TMetaRegion* Region, int32_t Mode) {
  if (!Region) {
    if (Mode == Meta::RgnCopy) {
      FState->Clip.clear();
      ApplyClip();
    }
    return;
  }
  ApplyMatrix();
  CombineClip(RegionOp(*Region, false), Mode);
}

void TMetaDC::SelectClipDeviceRegion(const TMetaRegion* Region, int32_t Mode) {
  if (!Region) {
    if (Mode == Meta::RgnCopy) {
      FState->Clip.clear();
      ApplyClip();
    }
    return;
  }
  CombineClip(RegionOp(*Region, true), Mode);
}

// Paths: drawing between BeginPath and EndPath only adds to Cairo's current
// path, which EndPath keeps in bitmap pixels.

void TMetaDC::DropPath() {
  if (FPath)
    cairo_path_destroy(static_cast<cairo_path_t*>(FPath));
  FPath = nullptr;
}

void TMetaDC::BeginPath() {
  DropPath();
  FInPath = true;
  cairo_new_path(FCr);
}

void TMetaDC::EndPath() {
  if (!FInPath)
    return;
  FInPath = false;
  cairo_identity_matrix(FCr);
  FPath = cairo_copy_path(FCr);
  cairo_new_path(FCr);
}

void TMetaDC::AbortPath() {
  FInPath = false;
  DropPath();
  cairo_new_path(FCr);
}

void TMetaDC::CloseFigure() {
  if (FInPath && cairo_has_current_point(FCr))
    cairo_close_path(FCr);
}

// Puts the kept path back as Cairo's current path; the scale of the pen is
// that of the mapping now in force.
bool TMetaDC::RestorePath(double& Scale) {
  if (!FPath || static_cast<cairo_path_t*>(FPath)->status != CAIRO_STATUS_SUCCESS)
    return false;
  ApplyMatrix();
  Scale = DeviceUnitsPerLogical();
  cairo_identity_matrix(FCr);
  cairo_new_path(FCr);
  cairo_append_path(FCr, static_cast<cairo_path_t*>(FPath));
  return true;
}

void TMetaDC::StrokePath() {
  double Scale = 1;
  if (RestorePath(Scale))
    StrokeCurrent(Scale);
  cairo_new_path(FCr);
  DropPath();
}

void TMetaDC::FillPath() {
  double Scale = 1;
  if (RestorePath(Scale))
    FillCurrent(FState->Brush);
  cairo_new_path(FCr);
  DropPath();
}

void TMetaDC::StrokeAndFillPath() {
  double Scale = 1;
  if (RestorePath(Scale)) {
    FillCurrent(FState->Brush);
    StrokeCurrent(Scale);
  }
  cairo_new_path(FCr);
  DropPath();
}

void TMetaDC::WidenPath() {}

void TMetaDC::SelectClipPath(int32_t Mode) {
  double Scale = 1;
  if (!RestorePath(Scale))
    return;
  cairo_path_t* Flat = cairo_copy_path_flat(FCr);
  cairo_new_path(FCr);
  TClipOp Op;
  Op.EvenOdd = FState->PolyFillMode == Meta::Alternate;
  for (int I = 0; Flat->status == CAIRO_STATUS_SUCCESS && I < Flat->num_data; I += Flat->data[I].header.length) {
    const cairo_path_data_t& D = Flat->data[I];
    if (D.header.type == CAIRO_PATH_MOVE_TO)
      Op.Counts.push_back(0);
    if ((D.header.type == CAIRO_PATH_MOVE_TO || D.header.type == CAIRO_PATH_LINE_TO) && !Op.Counts.empty()) {
      Op.Points.push_back({Flat->data[I + 1].point.x, Flat->data[I + 1].point.y});
      ++Op.Counts.back();
    }
  }
  cairo_path_destroy(Flat);
  DropPath();
  CombineClip(std::move(Op), Mode);
}
