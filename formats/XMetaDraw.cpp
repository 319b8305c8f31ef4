#include <algorithm>
#include <cmath>
#include <numbers>

#include "XMetaDCState.h"

namespace {

constexpr int32_t HatchSize = 8;
constexpr uint8_t PtCloseFigure = 1, PtLineTo = 2, PtBezierTo = 4, PtMoveTo = 6;

// Dash patterns of the styles, in multiples of the line width for wide pens
// and in pixels for thin ones, as thin lines look on screen.
std::vector<double> StyleDashes(int32_t Style, double Width) {
  const bool Thin = Width <= 1.5;
  const double U = Thin ? 1 : Width;
  switch (Style) {
  case Meta::PsDash: return Thin ? std::vector<double>{18, 6} : std::vector<double>{3 * U, U};
  case Meta::PsDot: return Thin ? std::vector<double>{3, 3} : std::vector<double>{U, U};
  case Meta::PsDashDot: return Thin ? std::vector<double>{9, 6, 3, 6} : std::vector<double>{3 * U, U, U, U};
  case Meta::PsDashDotDot:
    return Thin ? std::vector<double>{9, 3, 3, 3, 3, 3} : std::vector<double>{3 * U, U, U, U, U, U};
  }
  return {};
}

void DrawHatch(cairo_t* Cr, int32_t Hatch) {
  const double S = HatchSize;
  auto Line = [Cr](double X1, double Y1, double X2, double Y2) {
    cairo_move_to(Cr, X1, Y1);
    cairo_line_to(Cr, X2, Y2);
  };
  const bool Horizontal = Hatch == 0 || Hatch == 4, Vertical = Hatch == 1 || Hatch == 4;
  const bool Forward = Hatch == 2 || Hatch == 5, Backward = Hatch == 3 || Hatch == 5;
  if (Horizontal)
    Line(0, S / 2, S, S / 2);
  if (Vertical)
    Line(S / 2, 0, S / 2, S);
  if (Forward) {
    Line(0, 0, S, S);
    Line(-S, 0, 0, S);
    Line(S, 0, 2 * S, S);
  }
  if (Backward) {
    Line(S, 0, 0, S);
    Line(2 * S, 0, S, S);
    Line(0, 0, -S, S);
  }
  cairo_set_line_width(Cr, 1);
  cairo_stroke(Cr);
}

double Angle(TMetaPoint P, double Cx, double Cy, double Rx, double Ry) {
  return std::atan2((P.Y - Cy) / Ry, (P.X - Cx) / Rx);
}

} // namespace

// ROP2 modes as Cairo operators: the ones built from the pen's color alone
// are exact, the mixing ones take the nearest blend.
bool TMetaDC::SetRopColor(TColor C) {
  cairo_operator_t Op = CAIRO_OPERATOR_OVER;
  switch (FState->Rop2) {
  case Meta::R2Nop: return false;
  case Meta::R2Black: C = 0x000000; break;
  case Meta::R2White: C = 0xFFFFFF; break;
  case Meta::R2NotCopyPen: C = ~C & 0xFFFFFF; break;
  case Meta::R2Not:
    C = 0xFFFFFF;
    Op = CAIRO_OPERATOR_DIFFERENCE;
    break;
  case Meta::R2XorPen:
  case Meta::R2NotXorPen: Op = CAIRO_OPERATOR_DIFFERENCE; break;
  case Meta::R2MaskPen: Op = CAIRO_OPERATOR_MULTIPLY; break;
  case Meta::R2MergePen: Op = CAIRO_OPERATOR_LIGHTEN; break;
  default: break;
  }
  cairo_set_operator(FCr, Op);
  SetCairoColor(FCr, C);
  return true;
}

bool TMetaDC::SetBrushSource(const TMetaBrush& Brush) {
  switch (Brush.Style) {
  case Meta::BsSolid: return SetRopColor(Brush.Color);
  case Meta::BsHatched: {
    if (!SetRopColor(Brush.Color))
      return false;
    cairo_surface_t* Tile = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, HatchSize, HatchSize);
    cairo_t* T = cairo_create(Tile);
    if (FState->BkMode == Meta::Opaque) {
      SetCairoColor(T, FState->BkColor);
      cairo_paint(T);
    }
    SetCairoColor(T, Brush.Color);
    DrawHatch(T, Brush.Hatch);
    cairo_destroy(T);
    cairo_pattern_t* P = cairo_pattern_create_for_surface(Tile);
    cairo_pattern_set_extend(P, CAIRO_EXTEND_REPEAT);
    cairo_set_source(FCr, P);
    cairo_pattern_destroy(P);
    cairo_surface_destroy(Tile);
    return true;
  }
  case Meta::BsPattern:
  case Meta::BsDibPattern:
  case Meta::BsDibPatternPt: {
    const TMetaBitmap* B = Brush.Pattern.get();
    if (!B || B->Width <= 0 || B->Height <= 0)
      return SetRopColor(Brush.Color);
    if (!SetRopColor(0))
      return false;
    cairo_surface_t* Tile =
        cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(const_cast<uint32_t*>(B->Pixels.data())),
                                            CAIRO_FORMAT_RGB24, B->Width, B->Height, B->Width * 4);
    cairo_pattern_t* P = cairo_pattern_create_for_surface(Tile);
    cairo_pattern_set_extend(P, CAIRO_EXTEND_REPEAT);
    cairo_set_source(FCr, P);
    cairo_pattern_destroy(P);
    cairo_surface_destroy(Tile);
    return true;
  }
  }
  return false;
}

void TMetaDC::FillCurrent(const TMetaBrush& Brush, int32_t FillMode) {
  cairo_save(FCr);
  cairo_identity_matrix(FCr);
  double X1, Y1, X2, Y2;
  cairo_path_extents(FCr, &X1, &Y1, &X2, &Y2);
  Spend((std::min(X2, double(FWidth)) - std::max(X1, 0.0)) * (std::min(Y2, double(FHeight)) - std::max(Y1, 0.0)));
  if (Brush.Style != Meta::BsNull)
    NoteDrawn(X1, Y1, X2, Y2);
  if (SetBrushSource(Brush)) {
    const int32_t Mode = FillMode ? FillMode : FState->PolyFillMode;
    cairo_set_fill_rule(FCr, Mode == Meta::Winding ? CAIRO_FILL_RULE_WINDING : CAIRO_FILL_RULE_EVEN_ODD);
    cairo_fill_preserve(FCr);
  }
  cairo_restore(FCr);
}

void TMetaDC::StrokeCurrent(double Scale) {
  const TMetaPen& Pen = FState->Pen;
  const int32_t Style = Pen.Style & Meta::PsStyleMask;
  if (Style == Meta::PsNull || !SetRopColor(Pen.Color))
    return;
  const bool Geometric = (Pen.Style & Meta::PsGeometric) || Pen.Width > 1;
  const double Width = std::max(Geometric ? Pen.Width * Scale : 1.0, 1.0);
  cairo_save(FCr);
  cairo_identity_matrix(FCr);
  double X1, Y1, X2, Y2;
  cairo_path_extents(FCr, &X1, &Y1, &X2, &Y2);
  Spend((X2 - X1 + Y2 - Y1) * Width);
  NoteDrawn(X1 - Width / 2, Y1 - Width / 2, X2 + Width / 2, Y2 + Width / 2);
  cairo_set_line_width(FCr, Width);
  cairo_set_miter_limit(FCr, FState->MiterLimit);
  std::vector<double> Dashes;
  if (Style == Meta::PsUserStyle) {
    for (double D : Pen.Dashes)
      Dashes.push_back(std::max(Geometric ? D * Scale : D, 0.5));
  } else
    Dashes = StyleDashes(Style, Width);
  cairo_set_dash(FCr, Dashes.data(), int(Dashes.size()), 0);
  cairo_line_cap_t Cap = Geometric ? CAIRO_LINE_CAP_ROUND : CAIRO_LINE_CAP_BUTT;
  cairo_line_join_t Join = Geometric ? CAIRO_LINE_JOIN_ROUND : CAIRO_LINE_JOIN_MITER;
  if (Geometric) {
    if ((Pen.Style & Meta::PsEndCapMask) == Meta::PsEndCapSquare)
      Cap = CAIRO_LINE_CAP_SQUARE;
    else if ((Pen.Style & Meta::PsEndCapMask) == Meta::PsEndCapFlat)
      Cap = CAIRO_LINE_CAP_BUTT;
    if ((Pen.Style & Meta::PsJoinMask) == Meta::PsJoinBevel)
      Join = CAIRO_LINE_JOIN_BEVEL;
    else if ((Pen.Style & Meta::PsJoinMask) == Meta::PsJoinMiter)
      Join = CAIRO_LINE_JOIN_MITER;
  }
  cairo_set_line_cap(FCr, Cap);
  cairo_set_line_join(FCr, Join);
  cairo_stroke_preserve(FCr);
  cairo_restore(FCr);
}

bool TMetaDC::BeginShape() {
  if (OutOfBudget())
    return false;
  ApplyMatrix();
  if (!FMatrixOK)
    return false;
  if (!FInPath)
    cairo_new_path(FCr);
  return true;
}

void TMetaDC::EndShape(bool Fill) {
  if (FInPath)
    return;
  const double Scale = DeviceUnitsPerLogical();
  if (Fill)
    FillCurrent(FState->Brush);
  StrokeCurrent(Scale);
  cairo_new_path(FCr);
  if (cairo_status(FCr) != CAIRO_STATUS_SUCCESS) {
    // A context in error draws nothing more; start a fresh one on the same
    // pixels so that one bad shape does not end the picture.
    cairo_destroy(FCr);
    FCr = cairo_create(FSurface);
    ApplyClip();
  }
}

void TMetaDC::AddPolyline(std::span<const TMetaPoint> Points, bool Close) {
  Spend(double(Points.size()));
  for (size_t I = 0; I < Points.size(); ++I)
    (I == 0 ? cairo_move_to : cairo_line_to)(FCr, Points[I].X, Points[I].Y);
  if (Close && !Points.empty())
    cairo_close_path(FCr);
}

void TMetaDC::MoveTo(TMetaPoint P) {
  FState->Position = P;
  if (FInPath && BeginShape())
    cairo_move_to(FCr, P.X, P.Y);
}

void TMetaDC::LineTo(TMetaPoint P) {
  if (BeginShape()) {
    if (!FInPath || !cairo_has_current_point(FCr))
      cairo_move_to(FCr, FState->Position.X, FState->Position.Y);
    cairo_line_to(FCr, P.X, P.Y);
    EndShape(false);
  }
  FState->Position = P;
}

TMetaPoint TMetaDC::CurrentPosition() const { return FState->Position; }

void TMetaDC::Polyline(std::span<const TMetaPoint> Points) {
  if (Points.size() < 2 || !BeginShape())
    return;
  AddPolyline(Points, false);
  EndShape(false);
}

void TMetaDC::PolylineTo(std::span<const TMetaPoint> Points) {
  if (Points.empty())
    return;
  if (BeginShape()) {
    if (!FInPath || !cairo_has_current_point(FCr))
      cairo_move_to(FCr, FState->Position.X, FState->Position.Y);
    for (TMetaPoint P : Points)
      cairo_line_to(FCr, P.X, P.Y);
    Spend(double(Points.size()));
    EndShape(false);
  }
  FState->Position = Points.back();
}

void TMetaDC::Polygon(std::span<const TMetaPoint> Points) {
  if (Points.size() < 2 || !BeginShape())
    return;
  AddPolyline(Points, true);
  EndShape(true);
}

void TMetaDC::AddPolyPolygon(std::span<const TMetaPoint> Points, std::span<const uint32_t> Counts, bool Close) {
  size_t Start = 0;
  for (uint32_t Count : Counts) {
    if (Count > Points.size() - Start)
      break;
    AddPolyline(Points.subspan(Start, Count), Close);
    Start += Count;
  }
}

void TMetaDC::PolyPolygon(std::span<const TMetaPoint> Points, std::span<const uint32_t> Counts) {
  if (!BeginShape())
    return;
  AddPolyPolygon(Points, Counts, true);
  EndShape(true);
}

void TMetaDC::PolyPolyline(std::span<const TMetaPoint> Points, std::span<const uint32_t> Counts) {
  if (!BeginShape())
    return;
  AddPolyPolygon(Points, Counts, false);
  EndShape(false);
}

void TMetaDC::PolyBezier(std::span<const TMetaPoint> Points) {
  if (Points.size() < 4 || !BeginShape())
    return;
  cairo_move_to(FCr, Points[0].X, Points[0].Y);
  for (size_t I = 1; I + 2 < Points.size(); I += 3)
    cairo_curve_to(FCr, Points[I].X, Points[I].Y, Points[I + 1].X, Points[I + 1].Y, Points[I + 2].X, Points[I + 2].Y);
  Spend(double(Points.size()) * 4);
  EndShape(false);
}

void TMetaDC::PolyBezierTo(std::span<const TMetaPoint> Points) {
  if (Points.size() < 3)
    return;
  if (BeginShape()) {
    if (!FInPath || !cairo_has_current_point(FCr))
      cairo_move_to(FCr, FState->Position.X, FState->Position.Y);
    for (size_t I = 0; I + 2 < Points.size(); I += 3)
      cairo_curve_to(FCr, Points[I].X, Points[I].Y, Points[I + 1].X, Points[I + 1].Y, Points[I + 2].X, Points[I + 2].Y);
    Spend(double(Points.size()) * 4);
    EndShape(false);
  }
  FState->Position = Points[Points.size() / 3 * 3 - 1];
}

void TMetaDC::PolyDraw(std::span<const TMetaPoint> Points, std::span<const uint8_t> Types) {
  const size_t N = std::min(Points.size(), Types.size());
  if (N == 0 || !BeginShape())
    return;
  if (!cairo_has_current_point(FCr))
    cairo_move_to(FCr, FState->Position.X, FState->Position.Y);
  for (size_t I = 0; I < N; ++I) {
    const uint8_t Kind = Types[I] & ~PtCloseFigure;
    if (Kind == PtMoveTo)
      cairo_move_to(FCr, Points[I].X, Points[I].Y);
    else if (Kind == PtLineTo)
      cairo_line_to(FCr, Points[I].X, Points[I].Y);
    else if (Kind == PtBezierTo && I + 2 < N) {
      cairo_curve_to(FCr, Points[I].X, Points[I].Y, Points[I + 1].X, Points[I + 1].Y, Points[I + 2].X, Points[I + 2].Y);
      I += 2;
    } else
      continue;
    if (Types[I] & PtCloseFigure)
      cairo_close_path(FCr);
    FState->Position = Points[I];
  }
  Spend(double(N));
  EndShape(false);
}

void TMetaDC::Rectangle(const TMetaRect& R) {
  if (!BeginShape())
    return;
  cairo_rectangle(FCr, R.Left, R.Top, R.Right - R.Left, R.Bottom - R.Top);
  EndShape(true);
}

void TMetaDC::RoundRect(const TMetaRect& R, double CornerW, double CornerH) {
  if (!BeginShape())
    return;
  const double L = std::min(R.Left, R.Right), T = std::min(R.Top, R.Bottom);
  const double W = std::fabs(R.Right - R.Left), H = std::fabs(R.Bottom - R.Top);
  const double Rx = std::min(std::fabs(CornerW) / 2, W / 2), Ry = std::min(std::fabs(CornerH) / 2, H / 2);
  if (Rx <= 0 || Ry <= 0 || !CurveFits(Rx, Ry))
    cairo_rectangle(FCr, L, T, W, H);
  else {
    cairo_matrix_t Saved;
    cairo_get_matrix(FCr, &Saved);
    cairo_new_sub_path(FCr);
    const double Cx[] = {L + W - Rx, L + W - Rx, L + Rx, L + Rx}, Cy[] = {T + Ry, T + H - Ry, T + H - Ry, T + Ry};
    for (int I = 0; I < 4; ++I) {
      cairo_save(FCr);
      cairo_translate(FCr, Cx[I], Cy[I]);
      cairo_scale(FCr, Rx, Ry);
      cairo_arc(FCr, 0, 0, 1, (I - 1) * std::numbers::pi / 2, I * std::numbers::pi / 2);
      cairo_restore(FCr);
    }
    cairo_close_path(FCr);
  }
  EndShape(true);
}

void TMetaDC::AddEllipse(const TMetaRect& R) {
  const double Rx = std::fabs(R.Right - R.Left) / 2, Ry = std::fabs(R.Bottom - R.Top) / 2;
  if (Rx <= 0 || Ry <= 0 || !CurveFits(Rx, Ry))
    return;
  cairo_new_sub_path(FCr);
  cairo_save(FCr);
  cairo_translate(FCr, (R.Left + R.Right) / 2, (R.Top + R.Bottom) / 2);
  cairo_scale(FCr, Rx, Ry);
  cairo_arc(FCr, 0, 0, 1, 0, 2 * std::numbers::pi);
  cairo_restore(FCr);
  cairo_close_path(FCr);
}

void TMetaDC::Ellipse(const TMetaRect& R) {
  if (!BeginShape())
    return;
  AddEllipse(R);
  EndShape(true);
}

// Arcs run counterclockwise as the picture shows them unless the direction
// says otherwise; a mapping that turns y over turns the logical sense too.
void TMetaDC::AddArc(const TMetaRect& R, TMetaPoint Start, TMetaPoint End, bool Connect) {
  const double Cx = (R.Left + R.Right) / 2, Cy = (R.Top + R.Bottom) / 2;
  const double Rx = std::fabs(R.Right - R.Left) / 2, Ry = std::fabs(R.Bottom - R.Top) / 2;
  if (Rx <= 0 || Ry <= 0 || !CurveFits(Rx, Ry))
    return;
  const double A1 = Angle(Start, Cx, Cy, Rx, Ry);
  double A2 = Angle(End, Cx, Cy, Rx, Ry);
  cairo_matrix_t M;
  cairo_get_matrix(FCr, &M);
  const bool Flipped = M.xx * M.yy - M.xy * M.yx < 0;
  const bool Negative = (FState->ArcDirection == Meta::CounterClockwise) != Flipped;
  if (A1 == A2)
    A2 = Negative ? A1 - 2 * std::numbers::pi : A1 + 2 * std::numbers::pi;
  if (!Connect)
    cairo_new_sub_path(FCr);
  cairo_save(FCr);
  cairo_translate(FCr, Cx, Cy);
  cairo_scale(FCr, Rx, Ry);
  (Negative ? cairo_arc_negative : cairo_arc)(FCr, 0, 0, 1, A1, A2);
  cairo_restore(FCr);
}

void TMetaDC::Arc(const TMetaRect& R, TMetaPoint Start, TMetaPoint End) {
  if (!BeginShape())
    return;
  AddArc(R, Start, End, false);
  EndShape(false);
}

void TMetaDC::ArcTo(const TMetaRect& R, TMetaPoint Start, TMetaPoint End) {
  if (BeginShape()) {
    if (!cairo_has_current_point(FCr))
      cairo_move_to(FCr, FState->Position.X, FState->Position.Y);
    AddArc(R, Start, End, true);
    double X = 0, Y = 0;
    if (cairo_has_current_point(FCr)) {
      cairo_get_current_point(FCr, &X, &Y);
      FState->Position = {X, Y};
    }
    EndShape(false);
  }
}

void TMetaDC::Chord(const TMetaRect& R, TMetaPoint Start, TMetaPoint End) {
  if (!BeginShape())
    return;
  AddArc(R, Start, End, false);
  cairo_close_path(FCr);
  EndShape(true);
}

void TMetaDC::Pie(const TMetaRect& R, TMetaPoint Start, TMetaPoint End) {
  if (!BeginShape())
    return;
  cairo_move_to(FCr, (R.Left + R.Right) / 2, (R.Top + R.Bottom) / 2);
  AddArc(R, Start, End, true);
  cairo_close_path(FCr);
  EndShape(true);
}

void TMetaDC::AngleArc(TMetaPoint Center, double Radius, double StartAngle, double SweepAngle) {
  if (!std::isfinite(Radius + StartAngle + SweepAngle) || !BeginShape() || !CurveFits(Radius, Radius))
    return;
  // Turns past the first draw nothing new; the sweep keeps its end.
  StartAngle = std::fmod(StartAngle, 360.0);
  if (std::fabs(SweepAngle) > 360)
    SweepAngle = std::fmod(SweepAngle, 360.0) + std::copysign(360.0, SweepAngle);
  const double A1 = StartAngle * std::numbers::pi / 180, A2 = (StartAngle + SweepAngle) * std::numbers::pi / 180;
  if (!FInPath || !cairo_has_current_point(FCr))
    cairo_move_to(FCr, FState->Position.X, FState->Position.Y);
  // Counterclockwise with y growing downwards is the negative sense.
  (SweepAngle >= 0 ? cairo_arc_negative : cairo_arc)(FCr, Center.X, Center.Y, std::fabs(Radius), -A1, -A2);
  FState->Position = {Center.X + Radius * std::cos(A2), Center.Y - Radius * std::sin(A2)};
  EndShape(false);
}

void TMetaDC::SetPixel(TMetaPoint P, TColor C) {
  if (FInPath || !BeginShape())
    return;
  const TMetaPoint D = ToDevice(P);
  cairo_save(FCr);
  cairo_identity_matrix(FCr);
  cairo_rectangle(FCr, std::floor(D.X), std::floor(D.Y), 1, 1);
  SetCairoColor(FCr, C);
  cairo_fill(FCr);
  cairo_restore(FCr);
}

void TMetaDC::AddRegion(const TMetaRegion& Region) {
  for (const TMetaRect& R : Region.Rects)
    cairo_rectangle(FCr, R.Left, R.Top, R.Right - R.Left, R.Bottom - R.Top);
  Spend(double(Region.Rects.size()));
}

void TMetaDC::FillRect(const TMetaRect& R, const TMetaBrush& Brush) {
  if (FInPath || !BeginShape())
    return;
  cairo_rectangle(FCr, R.Left, R.Top, R.Right - R.Left, R.Bottom - R.Top);
  FillCurrent(Brush);
  cairo_new_path(FCr);
}

void TMetaDC::FillRegion(const TMetaRegion& Region, const TMetaBrush& Brush) {
  if (FInPath || !BeginShape())
    return;
  AddRegion(Region);
  FillCurrent(Brush, Meta::Winding);
  cairo_new_path(FCr);
}

void TMetaDC::PaintRegion(const TMetaRegion& Region) { FillRegion(Region, FState->Brush); }

void TMetaDC::FrameRegion(const TMetaRegion& Region, const TMetaBrush& Brush, double W, double H) {
  if (FInPath || !BeginShape())
    return;
  // Each rectangle less its inside, W by H in from the edges.
  for (const TMetaRect& R : Region.Rects) {
    cairo_rectangle(FCr, R.Left, R.Top, R.Right - R.Left, R.Bottom - R.Top);
    const double L = R.Left + W, T = R.Top + H, Ri = R.Right - W, B = R.Bottom - H;
    if (Ri > L && B > T)
      cairo_rectangle(FCr, L, T, Ri - L, B - T);
  }
  FillCurrent(Brush, Meta::Alternate);
  cairo_new_path(FCr);
}

void TMetaDC::InvertRegion(const TMetaRegion& Region) {
  if (FInPath || !BeginShape())
    return;
  AddRegion(Region);
  cairo_save(FCr);
  cairo_set_operator(FCr, CAIRO_OPERATOR_DIFFERENCE);
  cairo_set_source_rgb(FCr, 1, 1, 1);
  cairo_fill(FCr);
  cairo_restore(FCr);
}
