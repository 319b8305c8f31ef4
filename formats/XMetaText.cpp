#include <algorithm>
#include <cctype>
#include <cmath>
#include <initializer_list>
#include <numbers>
#include <string>
#include <utility>
#include <vector>

#include "XMetaDCState.h"
#include "XMetaPlay.h"

namespace {

constexpr uint8_t GreekCharset = 161, RussianCharset = 204;

// Windows 1252 in 0x80-0x9F, where it departs from Latin-1.
constexpr uint16_t Cp1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                     0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                     0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                     0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// Windows 1251 in 0x80-0xBF; the letters above follow in Unicode's order.
constexpr uint16_t Cp1251High[64] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039, 0x040A,
    0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0xFFFD, 0x2122,
    0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6,
    0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456,
    0x0491, 0x00B5, 0x00B6, 0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457};

// The symbol font's letters 0x41-0x7E: Greek where the Latin letters are.
constexpr uint16_t SymbolLetters[62] = {
    0x0391, 0x0392, 0x03A7, 0x0394, 0x0395, 0x03A6, 0x0393, 0x0397, 0x0399, 0x03D1, 0x039A, 0x039B, 0x039C,
    0x039D, 0x039F, 0x03A0, 0x0398, 0x03A1, 0x03A3, 0x03A4, 0x03A5, 0x03C2, 0x03A9, 0x039E, 0x03A8, 0x0396,
    0x005B, 0x2234, 0x005D, 0x22A5, 0x005F, 0x203E, 0x03B1, 0x03B2, 0x03C7, 0x03B4, 0x03B5, 0x03C6, 0x03B3,
    0x03B7, 0x03B9, 0x03D5, 0x03BA, 0x03BB, 0x03BC, 0x03BD, 0x03BF, 0x03C0, 0x03B8, 0x03C1, 0x03C3, 0x03C4,
    0x03C5, 0x03D6, 0x03C9, 0x03BE, 0x03C8, 0x03B6, 0x007B, 0x007C, 0x007D, 0x223C};

// The symbol font's 0xA0-0xFF: arrows, operators, relations, bracket pieces.
constexpr uint16_t SymbolHigh[96] = {
    0x20AC, 0x03D2, 0x2032, 0x2264, 0x2044, 0x221E, 0x0192, 0x2663, 0x2666, 0x2665, 0x2660, 0x2194, 0x2190, 0x2191,
    0x2192, 0x2193, 0x00B0, 0x00B1, 0x2033, 0x2265, 0x00D7, 0x221D, 0x2202, 0x2022, 0x00F7, 0x2260, 0x2261, 0x2248,
    0x2026, 0x23D0, 0x23AF, 0x21B5, 0x2135, 0x2111, 0x211C, 0x2118, 0x2297, 0x2295, 0x2205, 0x2229, 0x222A, 0x2283,
    0x2287, 0x2284, 0x2282, 0x2286, 0x2208, 0x2209, 0x2220, 0x2207, 0x00AE, 0x00A9, 0x2122, 0x220F, 0x221A, 0x22C5,
    0x00AC, 0x2227, 0x2228, 0x21D4, 0x21D0, 0x21D1, 0x21D2, 0x21D3, 0x25CA, 0x27E8, 0x00AE, 0x00A9, 0x2122, 0x2211,
    0x239B, 0x239C, 0x239D, 0x23A1, 0x23A2, 0x23A3, 0x23A7, 0x23A8, 0x23A9, 0x23AA, 0xFFFD, 0x27E9, 0x222B, 0x2320,
    0x23AE, 0x2321, 0x239E, 0x239F, 0x23A0, 0x23A4, 0x23A5, 0x23A6, 0x23AB, 0x23AC, 0x23AD, 0xFFFD};

uint32_t SymbolChar(uint8_t B) {
  switch (B) {
  case 0x22: return 0x2200;
  case 0x24: return 0x2203;
  case 0x27: return 0x220B;
  case 0x2A: return 0x2217;
  case 0x2D: return 0x2212;
  case 0x40: return 0x2245;
  }
  if (B >= 0x41 && B <= 0x7E)
    return SymbolLetters[B - 0x41];
  if (B >= 0xA0)
    return SymbolHigh[B - 0xA0];
  return B < 0x7F ? B : 0xFFFD;
}

// Windows 1253: the Greek letters follow Unicode's order from 0xB8 on.
uint32_t GreekChar(uint8_t B) {
  if (B == 0xA1 || B == 0xA2)
    return B == 0xA1 ? 0x0385 : 0x0386;
  if (B == 0xB4)
    return 0x0384;
  if (B >= 0xB8 && B <= 0xBA)
    return 0x0388 + (B - 0xB8);
  if (B == 0xBC || B == 0xBE || B == 0xBF)
    return 0x038C + (B - 0xBC);
  if (B >= 0xC0 && B <= 0xFE && B != 0xD2)
    return 0x0390 + (B - 0xC0);
  if (B == 0xD2 || B == 0xFF)
    return 0xFFFD;
  return B >= 0x80 && B < 0xA0 ? Cp1252High[B - 0x80] : B;
}

uint32_t CharFor(uint8_t B, uint8_t Charset) {
  if (Charset == Meta::SymbolCharset)
    return SymbolChar(B);
  if (B < 0x80)
    return B;
  if (Charset == RussianCharset)
    return B >= 0xC0 ? 0x0410 + (B - 0xC0) : Cp1251High[B - 0x80];
  if (Charset == GreekCharset)
    return GreekChar(B);
  return B < 0xA0 ? Cp1252High[B - 0x80] : B;
}

void AppendUtf8(std::string& S, uint32_t C) {
  if (C < 0x80) {
    S += char(C);
  } else if (C < 0x800) {
    S += char(0xC0 | (C >> 6));
    S += char(0x80 | (C & 0x3F));
  } else {
    S += char(0xE0 | (C >> 12));
    S += char(0x80 | ((C >> 6) & 0x3F));
    S += char(0x80 | (C & 0x3F));
  }
}

// Length of the well-formed sequence at S[I], 0 when it is not one.
size_t SequenceLength(const std::string& S, size_t I, uint32_t& C) {
  const uint8_t B = uint8_t(S[I]);
  const size_t Length = B < 0x80                ? 1
                        : B >= 0xC2 && B < 0xE0 ? 2
                        : B >= 0xE0 && B < 0xF0 ? 3
                        : B >= 0xF0 && B < 0xF5 ? 4
                                                : 0;
  if (Length == 0 || I + Length > S.size())
    return 0;
  C = Length == 1 ? B : B & (0x7F >> Length);
  for (size_t K = 1; K < Length; ++K) {
    const uint8_t T = uint8_t(S[I + K]);
    if ((T & 0xC0) != 0x80)
      return 0;
    C = (C << 6) | (T & 0x3F);
  }
  const uint32_t Least[] = {0, 0, 0x80, 0x800, 0x10000};
  if (C < Least[Length] || C > 0x10FFFF || (C >= 0xD800 && C < 0xE000))
    return 0;
  return Length;
}

// The code points one by one, each valid UTF-8 on its own (Cairo refuses a
// whole string for one bad byte); broken sequences become U+FFFD and NULs
// keep their place with nothing to show. Symbol fonts' text from the wide
// records sits in the private use area, which the installed fonts lack.
std::vector<std::string> SplitCodePoints(const std::string& S, bool Symbol) {
  std::vector<std::string> Out;
  for (size_t I = 0; I < S.size();) {
    uint32_t C = 0;
    const size_t Length = SequenceLength(S, I, C);
    if (Length == 0) {
      Out.emplace_back("\xEF\xBF\xBD");
      ++I;
    } else {
      std::string One;
      if (Symbol && C >= 0xF020 && C <= 0xF0FF)
        AppendUtf8(One, SymbolChar(uint8_t(C - 0xF000)));
      else if (C != 0)
        One = S.substr(I, Length);
      Out.push_back(std::move(One));
      I += Length;
    }
  }
  return Out;
}

// Faces the files name most, mapped to the metric-compatible ones installed
// with fontconfig; others go to fontconfig as named.
std::string FamilyFor(const std::string& Face) {
  std::string F;
  for (char C : Face)
    F += char(std::tolower(uint8_t(C)));
  struct TAlias {
    const char* Face;
    const char* Family;
  };
  static constexpr TAlias Aliases[] = {{"", "Liberation Sans"},
                                       {"arial", "Liberation Sans"},
                                       {"helvetica", "Liberation Sans"},
                                       {"ms sans serif", "Liberation Sans"},
                                       {"times new roman", "Liberation Serif"},
                                       {"times", "Liberation Serif"},
                                       {"ms serif", "Liberation Serif"},
                                       {"courier new", "Liberation Mono"},
                                       {"courier", "Liberation Mono"},
                                       {"symbol", "DejaVu Sans"},
                                       {"wingdings", "DejaVu Sans"}};
  for (const TAlias& A : Aliases)
    if (F == A.Face)
      return A.Family;
  return Face;
}

// Metrics of the selected face at one em, without hinting, so that layout
// does not depend on the size it is measured at.
struct TFaceMetrics {
  double Ascent = 0.9, Descent = 0.2, AverageWidth = 0.5;
};

constexpr double MeasureSize = 256;
constexpr double MaxGlyphPixels = 1024, MaxFontPixels = 30000;

TFaceMetrics MeasureFace(cairo_t* Cr) {
  TFaceMetrics M;
  cairo_font_extents_t F;
  cairo_font_extents(Cr, &F);
  cairo_text_extents_t T;
  cairo_text_extents(Cr, "abcdefghijklmnopqrstuvwxyz", &T);
  if (F.ascent + F.descent > 0) {
    M.Ascent = F.ascent / MeasureSize;
    M.Descent = F.descent / MeasureSize;
  }
  if (T.x_advance > 0)
    M.AverageWidth = T.x_advance / 26 / MeasureSize;
  return M;
}

double Advance(cairo_t* Cr, const char* Utf8) {
  cairo_text_extents_t T;
  cairo_text_extents(Cr, Utf8, &T);
  return T.x_advance / MeasureSize;
}

} // namespace

std::string AnsiToUtf8(std::span<const uint8_t> Text, uint8_t Charset) {
  std::string S;
  S.reserve(Text.size());
  for (uint8_t B : Text) {
    if (B == 0)
      break;
    AppendUtf8(S, CharFor(B, Charset));
  }
  return S;
}

namespace {

// The text laid out in em units along its baseline: where each code point
// starts, the whole advance, and the font matrix from em units to logical.
struct TTextLayout {
  std::vector<std::string> Chars;
  std::vector<double> X;
  double Total = 0;
  TFaceMetrics Metrics;
  cairo_matrix_t Font;
  TMetaPoint Origin;

  TMetaPoint At(double U, double V) const {
    double X0 = U, Y0 = V;
    cairo_matrix_transform_distance(&Font, &X0, &Y0);
    return {Origin.X + X0, Origin.Y + Y0};
  }
};

void SelectFace(cairo_t* Cr, const TMetaFont& Font) {
  cairo_select_font_face(Cr, FamilyFor(Font.Face).c_str(),
                         Font.Italic ? CAIRO_FONT_SLANT_ITALIC : CAIRO_FONT_SLANT_NORMAL,
                         Font.Weight >= 600 ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
  cairo_font_options_t* O = cairo_font_options_create();
  cairo_font_options_set_hint_metrics(O, CAIRO_HINT_METRICS_OFF);
  cairo_font_options_set_hint_style(O, CAIRO_HINT_STYLE_NONE);
  cairo_set_font_options(Cr, O);
  cairo_font_options_destroy(O);
}

// Logical units per em along and across the baseline: negative heights are
// the em, positive ones the cell; widths are average character widths. The
// y sign follows the mapping so that glyphs never come out mirrored, and the
// escapement turns the text counterclockwise as it is seen.
cairo_matrix_t FontMatrix(const TMetaFont& Font, const TFaceMetrics& M, const cairo_matrix_t& Ctm) {
  const double Cell = M.Ascent + M.Descent;
  double Em = Font.Height < 0 ? -Font.Height : Font.Height > 0 ? Font.Height / Cell : 12;
  const double ScaleX = std::hypot(Ctm.xx, Ctm.yx), ScaleY = std::hypot(Ctm.xy, Ctm.yy);
  double Across = Em;
  if (Font.Width != 0)
    Across = std::fabs(Font.Width) / M.AverageWidth;
  else if (ScaleX > 0)
    Across = Em * ScaleY / ScaleX;
  const double Sign = Ctm.xx * Ctm.yy - Ctm.xy * Ctm.yx < 0 ? -1 : 1;
  const double A = -Sign * Font.Escapement / 10.0 * std::numbers::pi / 180;
  cairo_matrix_t F;
  cairo_matrix_init(&F, std::cos(A) * Across, std::sin(A) * Across, -std::sin(A) * Em * Sign, std::cos(A) * Em * Sign,
                    0, 0);
  return F;
}

// Where each code point starts along the baseline, in ems: Dx where the
// record gives it, the font's advance and the extra spacing elsewhere.
void MeasureAdvances(cairo_t* Cr, TTextLayout& L, const std::string& Utf8, std::span<const double> Dx, double CharExtra,
                     bool Symbol) {
  const double PerLogical = std::hypot(L.Font.xx, L.Font.yx);
  L.Chars = SplitCodePoints(Utf8, Symbol);
  for (size_t I = 0; I < L.Chars.size(); ++I) {
    L.X.push_back(L.Total);
    const double Step = I < Dx.size() ? Dx[I] / PerLogical : Advance(Cr, L.Chars[I].c_str()) + CharExtra / PerLogical;
    L.Total += std::isfinite(Step) ? Step : 0;
  }
}

// The bitmap pixels the text's cell covers, and the opaquing rectangle.
TMetaRect DeviceBox(cairo_t* Cr, const TTextLayout& L, const TMetaRect* Clip) {
  const double A = L.Metrics.Ascent, D = L.Metrics.Descent;
  std::vector<TMetaPoint> Corners = {L.At(0, -A), L.At(L.Total, -A), L.At(L.Total, D), L.At(0, D)};
  if (Clip)
    Corners.insert(Corners.end(), {{Clip->Left, Clip->Top}, {Clip->Right, Clip->Bottom}});
  TMetaRect B{INFINITY, INFINITY, -INFINITY, -INFINITY};
  for (TMetaPoint C : Corners) {
    cairo_user_to_device(Cr, &C.X, &C.Y);
    B = {std::min(B.Left, C.X), std::min(B.Top, C.Y), std::max(B.Right, C.X), std::max(B.Bottom, C.Y)};
  }
  return B;
}

void FillPolygon(cairo_t* Cr, std::initializer_list<TMetaPoint> Points) {
  cairo_new_path(Cr);
  for (TMetaPoint Q : Points)
    cairo_line_to(Cr, Q.X, Q.Y);
  cairo_close_path(Cr);
  cairo_fill(Cr);
}

// The opaquing rectangle the record gives, or the text's own cell.
void DrawTextBackground(cairo_t* Cr, const TTextLayout& L, const TMetaRect* Clip, bool Opaque, bool BkOpaque,
                        TColor BkColor) {
  SetCairoColor(Cr, BkColor);
  if (Opaque && Clip) {
    cairo_new_path(Cr);
    cairo_rectangle(Cr, Clip->Left, Clip->Top, Clip->Right - Clip->Left, Clip->Bottom - Clip->Top);
    cairo_fill(Cr);
  } else if (Opaque || BkOpaque) {
    const double A = L.Metrics.Ascent, D = L.Metrics.Descent;
    FillPolygon(Cr, {L.At(0, -A), L.At(L.Total, -A), L.At(L.Total, D), L.At(0, D)});
  }
}

// A line along the baseline Offset ems below it.
void DrawTextLine(cairo_t* Cr, const TTextLayout& L, double Offset) {
  constexpr double Thickness = 0.07;
  const double T = Offset - Thickness / 2, B = Offset + Thickness / 2;
  FillPolygon(Cr, {L.At(0, T), L.At(L.Total, T), L.At(L.Total, B), L.At(0, B)});
}

// Each code point at its own place; in a path the outlines join the path.
void DrawTextRuns(cairo_t* Cr, const TTextLayout& L, const TMetaFont& Font, bool InPath, bool Large) {
  // Glyphs too large for the glyph cache are filled as outlines.
  const bool Outlines = InPath || Large;
  for (size_t I = 0; I < L.Chars.size(); ++I) {
    const TMetaPoint Q = L.At(L.X[I], 0);
    cairo_move_to(Cr, Q.X, Q.Y);
    if (Outlines)
      cairo_text_path(Cr, L.Chars[I].c_str());
    else
      cairo_show_text(Cr, L.Chars[I].c_str());
  }
  if (InPath)
    return;
  if (Large)
    cairo_fill(Cr);
  cairo_new_path(Cr);
  if (Font.Underline)
    DrawTextLine(Cr, L, 0.1);
  if (Font.StrikeOut)
    DrawTextLine(Cr, L, -0.26);
}

} // namespace

void TMetaDC::TextOut(TMetaPoint P, const std::string& Utf8, std::span<const double> Dx, const TMetaRect* Clip,
                      bool Opaque, bool Clipped) {
  if (OutOfBudget())
    return;
  ApplyMatrix();
  if (!FMatrixOK)
    return;
  const TState& S = *FState;
  cairo_save(FCr);
  cairo_matrix_t Ctm;
  cairo_get_matrix(FCr, &Ctm);
  SelectFace(FCr, S.Font);
  TTextLayout L;
  // Metrics are taken in device space at a fixed size.
  cairo_identity_matrix(FCr);
  cairo_set_font_size(FCr, MeasureSize);
  L.Metrics = MeasureFace(FCr);
  L.Font = FontMatrix(S.Font, L.Metrics, Ctm);
  MeasureAdvances(FCr, L, Utf8, Dx, S.CharExtra, S.Font.Charset == Meta::SymbolCharset);
  const size_t Count = L.Chars.size();
  cairo_set_matrix(FCr, &Ctm);
  cairo_set_font_matrix(FCr, &L.Font);
  cairo_matrix_t Device;
  cairo_matrix_multiply(&Device, &L.Font, &Ctm);
  const double DeviceEm = std::sqrt(std::fabs(Device.xx * Device.yy - Device.xy * Device.yx));
  const double Stretch = std::max(std::hypot(Device.xx, Device.yx), std::hypot(Device.xy, Device.yy));
  // Past FreeType's sizes a glyph fails and leaves Cairo in its error state.
  if (!std::isfinite(DeviceEm) || DeviceEm < 1e-3 || Stretch > MaxFontPixels || !std::isfinite(L.Total)) {
    cairo_restore(FCr);
    return;
  }
  // A glyph covers at most the picture, however large its size.
  Spend(double(Count) * std::min(DeviceEm * DeviceEm, double(FWidth) * FHeight) + 1);

  const bool UpdateCp = S.TextAlign & Meta::TaUpdateCp;
  const TMetaPoint Start = UpdateCp ? S.Position : P;
  const int32_t Horz = S.TextAlign & Meta::TaHorzMask, Vert = S.TextAlign & Meta::TaVertMask;
  const double U = Horz == Meta::TaRight ? -L.Total : Horz == Meta::TaCenter ? -L.Total / 2 : 0;
  const double V = Vert == Meta::TaBaseline ? 0 : Vert == Meta::TaBottom ? -L.Metrics.Descent : L.Metrics.Ascent;
  L.Origin = Start;
  L.Origin = L.At(U, V);

  if (!FInPath)
    DrawTextBackground(FCr, L, Clip, Opaque, S.BkMode == Meta::Opaque, S.BkColor);
  if (Clipped && Clip && !FInPath) {
    cairo_rectangle(FCr, Clip->Left, Clip->Top, Clip->Right - Clip->Left, Clip->Bottom - Clip->Top);
    cairo_clip(FCr);
  }
  if (!FInPath) {
    const TMetaRect Box = DeviceBox(FCr, L, Opaque ? Clip : nullptr);
    NoteDrawn(Box.Left, Box.Top, Box.Right, Box.Bottom);
  }
  SetCairoColor(FCr, S.TextColor);
  DrawTextRuns(FCr, L, S.Font, FInPath, Stretch > MaxGlyphPixels);
  cairo_restore(FCr);
  if (UpdateCp && Horz != Meta::TaCenter)
    FState->Position = L.At(Horz == Meta::TaRight ? 0 : L.Total, -V);
}
