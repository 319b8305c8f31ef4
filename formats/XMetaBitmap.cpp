#include <algorithm>
#include <array>
#include <cmath>

#include "ByteOrder.h"
#include "PixelLayout.h"
#include "XMetaDCState.h"

namespace {

constexpr int64_t MaxBitmapPixels = int64_t(64) << 20;
constexpr uint32_t BiRgb = 0, BiRle8 = 1, BiRle4 = 2, BiBitfields = 3, BiAlphaBitfields = 6;
constexpr uint32_t OpaqueBlack = 0xFF000000;

// One channel of a bit-field pixel: where it sits and how to widen it to
// eight bits.
struct TChannel {
  uint32_t Mask = 0;
  int Shift = 0;
  uint32_t Max = 0;

  explicit TChannel(uint32_t M = 0) : Mask(M) {
    if (!M)
      return;
    while (!((M >> Shift) & 1))
      ++Shift;
    Max = M >> Shift;
  }
  uint32_t Get(uint32_t V) const { return Max ? ((V & Mask) >> Shift) * 255 / Max : 0; }
};

struct THeader {
  int32_t Width = 0, Height = 0;
  bool TopDown = false;
  uint32_t Bits = 0, Compression = BiRgb, ColorsUsed = 0;
  uint32_t HeaderSize = 0;
  size_t PaletteAt = 0;
  size_t EntrySize = 4;
  uint32_t Masks[4] = {0, 0, 0, 0};
};

bool ReadHeader(std::span<const uint8_t> Info, THeader& H) {
  if (Info.size() < 12)
    return false;
  const uint8_t* P = Info.data();
  H.HeaderSize = GetLE32(P);
  if (H.HeaderSize > Info.size())
    return false;
  if (H.HeaderSize == 12) {
    H.Width = GetLE16(P + 4);
    H.Height = GetLE16(P + 6);
    H.Bits = GetLE16(P + 10);
    H.PaletteAt = 12;
    H.EntrySize = 3;
    return true;
  }
  if (H.HeaderSize < 40)
    return false;
  H.Width = GetLESigned32(P + 4);
  const int32_t Height = GetLESigned32(P + 8);
  if (Height == INT32_MIN)
    return false;
  H.TopDown = Height < 0;
  H.Height = H.TopDown ? -Height : Height;
  H.Bits = GetLE16(P + 14);
  H.Compression = GetLE32(P + 16);
  H.ColorsUsed = GetLE32(P + 32);
  H.PaletteAt = H.HeaderSize;
  const bool Fields = H.Compression == BiBitfields || H.Compression == BiAlphaBitfields;
  if (H.HeaderSize >= 52) {
    for (int I = 0; I < 3; ++I)
      H.Masks[I] = GetLE32(P + 40 + 4 * I);
    if (H.HeaderSize >= 56)
      H.Masks[3] = GetLE32(P + 52);
  } else if (Fields) {
    // The plain header keeps its masks just after it, before the colors.
    const size_t Count = H.Compression == BiAlphaBitfields ? 4 : 3;
    if (Info.size() < 40 + 4 * Count)
      return false;
    for (size_t I = 0; I < Count; ++I)
      H.Masks[I] = GetLE32(P + 40 + 4 * I);
    H.PaletteAt = 40 + 4 * Count;
  }
  return true;
}

bool Acceptable(const THeader& H) {
  if (H.Width <= 0 || H.Height <= 0 || int64_t(H.Width) * H.Height > MaxBitmapPixels)
    return false;
  switch (H.Compression) {
  case BiRgb: return H.Bits == 1 || H.Bits == 4 || H.Bits == 8 || H.Bits == 16 || H.Bits == 24 || H.Bits == 32;
  case BiRle8: return H.Bits == 8 && !H.TopDown;
  case BiRle4: return H.Bits == 4 && !H.TopDown;
  case BiBitfields:
  case BiAlphaBitfields: return H.Bits == 16 || H.Bits == 32;
  }
  return false;
}

// Entries the file stores (which decide where the bits start) and the colors
// taken from them; entries the block does not hold stay black.
size_t ReadPalette(std::span<const uint8_t> Info, const THeader& H, std::array<uint32_t, 256>& Palette) {
  Palette.fill(OpaqueBlack);
  const uint64_t Stored = H.ColorsUsed ? H.ColorsUsed : H.Bits <= 8 ? (1u << H.Bits) : 0;
  const size_t Room = H.PaletteAt <= Info.size() ? (Info.size() - H.PaletteAt) / H.EntrySize : 0;
  const size_t Usable = size_t(std::min<uint64_t>({Stored, Room, Palette.size()}));
  for (size_t I = 0; I < Usable; ++I) {
    const uint8_t* E = Info.data() + H.PaletteAt + I * H.EntrySize;
    Palette[I] = OpaqueBlack | (uint32_t(E[2]) << 16) | (uint32_t(E[1]) << 8) | E[0];
  }
  return size_t(std::min<uint64_t>(Stored, Room));
}

uint32_t Premultiply(uint32_t R, uint32_t G, uint32_t B, uint32_t A) {
  if (A != 255) {
    R = (R * A + 127) / 255;
    G = (G * A + 127) / 255;
    B = (B * A + 127) / 255;
  }
  return (A << 24) | (R << 16) | (G << 8) | B;
}

uint32_t* OutRow(const THeader& H, TMetaBitmap& Out, int32_t FileRow) {
  const int32_t Y = H.TopDown ? FileRow : H.Height - 1 - FileRow;
  return Out.Pixels.data() + size_t(Y) * size_t(H.Width);
}

void DecodeIndexed(const THeader& H, const uint8_t* Row, const std::array<uint32_t, 256>& Palette, uint32_t* Dst) {
  for (int32_t X = 0; X < H.Width; ++X)
    Dst[X] = Palette[H.Bits == 1 ? Get1(Row, X) : H.Bits == 4 ? Get4(Row, X) : Row[X]];
}

// Masks for the uncompressed deep layouts: 5-5-5 and 8-8-8 without alpha.
void DefaultMasks(THeader& H) {
  if (H.Compression != BiRgb)
    return;
  if (H.Bits == 16) {
    H.Masks[0] = 0x7C00, H.Masks[1] = 0x03E0, H.Masks[2] = 0x001F, H.Masks[3] = 0;
  } else if (H.Bits == 32) {
    H.Masks[0] = 0xFF0000, H.Masks[1] = 0xFF00, H.Masks[2] = 0xFF, H.Masks[3] = 0xFF000000;
  }
}

// Returns whether any pixel had a non-zero alpha sample.
bool DecodeDeep(const THeader& H, const uint8_t* Row, const TChannel* Ch, uint32_t* Dst) {
  bool AnyAlpha = false;
  for (int32_t X = 0; X < H.Width; ++X) {
    if (H.Bits == 24) {
      const uint8_t* S = Row + 3 * size_t(X);
      Dst[X] = OpaqueBlack | (uint32_t(S[2]) << 16) | (uint32_t(S[1]) << 8) | S[0];
      continue;
    }
    const uint32_t V = H.Bits == 16 ? GetLE16(Row + 2 * size_t(X)) : GetLE32(Row + 4 * size_t(X));
    const uint32_t A = Ch[3].Mask ? Ch[3].Get(V) : 255;
    AnyAlpha |= Ch[3].Mask && A != 0;
    // Alpha is applied once the whole bitmap shows whether it is used.
    Dst[X] = (A << 24) | (Ch[0].Get(V) << 16) | (Ch[1].Get(V) << 8) | Ch[2].Get(V);
  }
  return AnyAlpha;
}

bool DecodeRows(const THeader& HIn, std::span<const uint8_t> Bits, const std::array<uint32_t, 256>& Palette,
                TMetaBitmap& Out) {
  THeader H = HIn;
  const int64_t RowBytes = DibRowBytes(H.Width, int32_t(H.Bits));
  if (RowBytes * H.Height > int64_t(Bits.size()))
    return false;
  DefaultMasks(H);
  const TChannel Ch[4] = {TChannel(H.Masks[0]), TChannel(H.Masks[1]), TChannel(H.Masks[2]),
                          TChannel(H.Bits == 32 ? H.Masks[3] : 0)};
  bool AnyAlpha = false;
  for (int32_t Y = 0; Y < H.Height; ++Y) {
    const uint8_t* Row = Bits.data() + size_t(RowBytes) * size_t(Y);
    uint32_t* Dst = OutRow(H, Out, Y);
    if (H.Bits <= 8)
      DecodeIndexed(H, Row, Palette, Dst);
    else
      AnyAlpha |= DecodeDeep(H, Row, Ch, Dst);
  }
  // Writers fill the fourth byte with zeros far more often than they mean a
  // transparent picture.
  for (uint32_t& P : Out.Pixels)
    P = AnyAlpha ? Premultiply((P >> 16) & 0xFF, (P >> 8) & 0xFF, P & 0xFF, P >> 24) : (P | OpaqueBlack);
  return true;
}

// Run-length bitmaps: pixels the codes skip stay transparent, so that what
// lies under them shows through.
class TRleDecoder {
public:
  TRleDecoder(const THeader& H, std::span<const uint8_t> Bits, const std::array<uint32_t, 256>& Palette,
              TMetaBitmap& Out)
      : FH(H), FBits(Bits), FPalette(Palette), FOut(Out) {}

  void Run() {
    while (FAt + 2 <= FBits.size() && FY < FH.Height) {
      const uint8_t Count = FBits[FAt], Value = FBits[FAt + 1];
      FAt += 2;
      if (Count > 0)
        Repeat(Count, Value);
      else if (Value == 0)
        FX = 0, ++FY;
      else if (Value == 1)
        return;
      else if (Value == 2)
        Delta();
      else
        Absolute(Value);
    }
  }

private:
  void Put(uint32_t Index) {
    if (FX < FH.Width)
      OutRow(FH, FOut, FY)[FX] = FPalette[Index];
    ++FX;
  }
  void Repeat(uint32_t Count, uint8_t Value) {
    const bool Four = FH.Compression == BiRle4;
    for (uint32_t I = 0; I < Count && FX < FH.Width; ++I)
      Put(Four ? ((I & 1) ? Value & 0x0F : Value >> 4) : Value);
  }
  void Delta() {
    if (FAt + 2 > FBits.size()) {
      FAt = FBits.size();
      return;
    }
    FX = std::min(FX + FBits[FAt], FH.Width);
    FY += FBits[FAt + 1];
    FAt += 2;
  }
  void Absolute(uint32_t Count) {
    const bool Four = FH.Compression == BiRle4;
    size_t Bytes = Four ? (Count + 1) / 2 : Count;
    const size_t Have = std::min(Bytes, FBits.size() - FAt);
    for (uint32_t I = 0; I < Count && (Four ? I / 2 : I) < Have && FX < FH.Width; ++I) {
      const uint8_t B = FBits[FAt + (Four ? I / 2 : I)];
      Put(Four ? ((I & 1) ? B & 0x0F : B >> 4) : B);
    }
    Bytes += Bytes & 1;
    FAt = std::min(FAt + Bytes, FBits.size());
  }

  const THeader& FH;
  std::span<const uint8_t> FBits;
  const std::array<uint32_t, 256>& FPalette;
  TMetaBitmap& FOut;
  size_t FAt = 0;
  int32_t FX = 0, FY = 0;
};

} // namespace

bool DecodeMetaBitmap(std::span<const uint8_t> Info, std::span<const uint8_t> Bits, TMetaBitmap& Out) {
  THeader H;
  if (!ReadHeader(Info, H) || !Acceptable(H))
    return false;
  std::array<uint32_t, 256> Palette;
  const size_t Entries = ReadPalette(Info, H, Palette);
  if (Bits.empty()) {
    const uint64_t BitsAt = uint64_t(H.PaletteAt) + uint64_t(Entries) * H.EntrySize;
    if (BitsAt >= Info.size())
      return false;
    Bits = Info.subspan(size_t(BitsAt));
  }
  Out.Width = H.Width;
  Out.Height = H.Height;
  const bool Rle = H.Compression == BiRle8 || H.Compression == BiRle4;
  Out.Pixels.assign(size_t(H.Width) * size_t(H.Height), 0);
  if (Rle) {
    TRleDecoder(H, Bits, Palette, Out).Run();
    return true;
  }
  if (DecodeRows(H, Bits, Palette, Out))
    return true;
  Out = TMetaBitmap{};
  return false;
}

// Drawing.

namespace {

bool ValidBitmap(const TMetaBitmap& B) {
  return B.Width > 0 && B.Height > 0 && B.Pixels.size() == size_t(B.Width) * size_t(B.Height);
}

bool HasAlpha(const std::vector<uint32_t>& Pixels) {
  return std::any_of(Pixels.begin(), Pixels.end(), [](uint32_t P) { return (P >> 24) != 0xFF; });
}

// A Cairo surface over pixels the caller keeps alive.
struct TSurfaceRef {
  cairo_surface_t* S = nullptr;
  TSurfaceRef(const std::vector<uint32_t>& Pixels, int32_t W, int32_t H, bool Alpha) {
    const cairo_format_t F = Alpha ? CAIRO_FORMAT_ARGB32 : CAIRO_FORMAT_RGB24;
    auto* Data = reinterpret_cast<unsigned char*>(const_cast<uint32_t*>(Pixels.data()));
    S = cairo_image_surface_create_for_data(Data, F, W, H, W * 4);
  }
  ~TSurfaceRef() { cairo_surface_destroy(S); }
  TSurfaceRef(const TSurfaceRef&) = delete;
  TSurfaceRef& operator=(const TSurfaceRef&) = delete;
  bool Ok() const { return cairo_surface_status(S) == CAIRO_STATUS_SUCCESS; }
};

// Device pixels per bitmap pixel, the larger of the two directions.
double Magnification(cairo_t* Cr, const TMetaRect& Dest, const TMetaRect& Src) {
  double Wx = Dest.Right - Dest.Left, Wy = 0, Hx = 0, Hy = Dest.Bottom - Dest.Top;
  cairo_user_to_device_distance(Cr, &Wx, &Wy);
  cairo_user_to_device_distance(Cr, &Hx, &Hy);
  const double Sx = std::hypot(Wx, Wy) / std::fabs(Src.Right - Src.Left);
  const double Sy = std::hypot(Hx, Hy) / std::fabs(Src.Bottom - Src.Top);
  return std::max(Sx, Sy);
}

cairo_filter_t FilterFor(double Scale) {
  if (std::fabs(Scale - 1) < 1e-3)
    return CAIRO_FILTER_NEAREST;
  if (Scale < 1)
    return CAIRO_FILTER_GOOD;
  // Large enlargements are mostly icons and screen shots: keep their pixels.
  return Scale > 2 ? CAIRO_FILTER_NEAREST : CAIRO_FILTER_BILINEAR;
}

// Sets the bitmap as the source, mapped so that Src lands on Dest, and the
// path to the part of Dest the bitmap covers. False when nothing is covered.
bool PlaceBitmap(cairo_t* Cr, cairo_surface_t* S, int32_t W, int32_t H, const TMetaRect& Dest, const TMetaRect& Src) {
  const double SrcW = Src.Right - Src.Left, SrcH = Src.Bottom - Src.Top;
  const double DestW = Dest.Right - Dest.Left, DestH = Dest.Bottom - Dest.Top;
  if (SrcW == 0 || SrcH == 0 || DestW == 0 || DestH == 0 || !std::isfinite(SrcW * SrcH * DestW * DestH))
    return false;
  const double L = std::clamp(std::min(Src.Left, Src.Right), 0.0, double(W));
  const double R = std::clamp(std::max(Src.Left, Src.Right), 0.0, double(W));
  const double T = std::clamp(std::min(Src.Top, Src.Bottom), 0.0, double(H));
  const double B = std::clamp(std::max(Src.Top, Src.Bottom), 0.0, double(H));
  if (R <= L || B <= T)
    return false;
  const double Kx = DestW / SrcW, Ky = DestH / SrcH;
  const double X0 = Dest.Left + (L - Src.Left) * Kx, X1 = Dest.Left + (R - Src.Left) * Kx;
  const double Y0 = Dest.Top + (T - Src.Top) * Ky, Y1 = Dest.Top + (B - Src.Top) * Ky;
  cairo_pattern_t* P = cairo_pattern_create_for_surface(S);
  cairo_matrix_t M;
  cairo_matrix_init(&M, 1 / Kx, 0, 0, 1 / Ky, Src.Left - Dest.Left / Kx, Src.Top - Dest.Top / Ky);
  cairo_pattern_set_matrix(P, &M);
  cairo_pattern_set_extend(P, CAIRO_EXTEND_PAD);
  cairo_pattern_set_filter(P, FilterFor(Magnification(Cr, Dest, Src)));
  cairo_set_source(Cr, P);
  cairo_pattern_destroy(P);
  cairo_new_path(Cr);
  cairo_rectangle(Cr, X0, Y0, X1 - X0, Y1 - Y0);
  return true;
}

// The negative of premultiplied pixels.
std::vector<uint32_t> Inverted(const std::vector<uint32_t>& Pixels) {
  std::vector<uint32_t> Out(Pixels.size());
  std::transform(Pixels.begin(), Pixels.end(), Out.begin(), [](uint32_t P) {
    const uint32_t A = P >> 24, Gray = A * 0x010101u;
    return (P & 0xFF000000u) | (Gray - (P & 0xFFFFFFu));
  });
  return Out;
}

cairo_operator_t OperatorFor(uint32_t Rop) {
  switch (Rop) {
  case Meta::SrcAnd: return CAIRO_OPERATOR_MULTIPLY;
  case Meta::SrcPaint:
  case Meta::MergePaint: return CAIRO_OPERATOR_LIGHTEN;
  case Meta::SrcInvert: return CAIRO_OPERATOR_DIFFERENCE;
  }
  return CAIRO_OPERATOR_OVER;
}

// The operation's truth table (the code byte of the 32-bit value) decides,
// whatever the low word a writer stored.
uint8_t RopCode(uint32_t Rop) { return uint8_t(Rop >> 16); }
constexpr uint8_t CodeBlack = 0x00, CodeInvert = 0x55, CodePatInvert = 0x5A, CodeNop = 0xAA, CodePattern = 0xF0,
                  CodeWhite = 0xFF;

bool NeedsNoSource(uint32_t Rop) {
  switch (RopCode(Rop)) {
  case CodeBlack:
  case CodeInvert:
  case CodePatInvert:
  case CodeNop:
  case CodePattern:
  case CodeWhite: return true;
  }
  return false;
}

// Bitmaps are no part of a path being recorded: the path is set aside while
// they are drawn and put back after.
class TPathKeeper {
public:
  TPathKeeper(cairo_t* Cr, bool Keep) : FCr(Cr) {
    if (!Keep)
      return;
    cairo_save(Cr);
    cairo_identity_matrix(Cr);
    FPath = cairo_copy_path(Cr);
    cairo_restore(Cr);
  }
  ~TPathKeeper() {
    if (!FPath)
      return;
    cairo_save(FCr);
    cairo_identity_matrix(FCr);
    cairo_new_path(FCr);
    if (FPath->status == CAIRO_STATUS_SUCCESS)
      cairo_append_path(FCr, FPath);
    cairo_restore(FCr);
    cairo_path_destroy(FPath);
  }
  TPathKeeper(const TPathKeeper&) = delete;
  TPathKeeper& operator=(const TPathKeeper&) = delete;

private:
  cairo_t* FCr;
  cairo_path_t* FPath = nullptr;
};

// The current path's extents in bitmap pixels.
TMetaRect PathBox(cairo_t* Cr) {
  TMetaRect B;
  cairo_save(Cr);
  cairo_identity_matrix(Cr);
  cairo_path_extents(Cr, &B.Left, &B.Top, &B.Right, &B.Bottom);
  cairo_restore(Cr);
  return B;
}

} // namespace

void TMetaDC::StretchBitmap(const TMetaBitmap& Bitmap, const TMetaRect& Dest, const TMetaRect& Source, uint32_t Rop) {
  if (NeedsNoSource(Rop)) {
    PatBlt(Dest, Rop);
    return;
  }
  if (!ValidBitmap(Bitmap) || OutOfBudget())
    return;
  const bool Invert = Rop == Meta::NotSrcCopy || Rop == Meta::MergePaint;
  const std::vector<uint32_t> Negative = Invert ? Inverted(Bitmap.Pixels) : std::vector<uint32_t>{};
  const std::vector<uint32_t>& Pixels = Invert ? Negative : Bitmap.Pixels;
  const TSurfaceRef Surface(Pixels, Bitmap.Width, Bitmap.Height, HasAlpha(Pixels));
  if (!Surface.Ok())
    return;
  const TPathKeeper Keep(FCr, FInPath);
  ApplyMatrix();
  if (!FMatrixOK)
    return;
  SpendArea(Dest, double(Bitmap.Pixels.size()));
  cairo_save(FCr);
  if (Rop == Meta::MergeCopy) {
    // The bitmap and the brush multiplied, then laid down like a copy.
    cairo_push_group(FCr);
    if (PlaceBitmap(FCr, Surface.S, Bitmap.Width, Bitmap.Height, Dest, Source)) {
      const TMetaRect Box = PathBox(FCr);
      NoteDrawn(Box.Left, Box.Top, Box.Right, Box.Bottom);
      cairo_fill_preserve(FCr);
      cairo_set_operator(FCr, CAIRO_OPERATOR_MULTIPLY);
      if (SetBrushSource(FState->Brush))
        cairo_fill_preserve(FCr);
    }
    cairo_pop_group_to_source(FCr);
    cairo_set_operator(FCr, CAIRO_OPERATOR_OVER);
    cairo_paint(FCr);
  } else if (PlaceBitmap(FCr, Surface.S, Bitmap.Width, Bitmap.Height, Dest, Source)) {
    const TMetaRect Box = PathBox(FCr);
    NoteDrawn(Box.Left, Box.Top, Box.Right, Box.Bottom);
    cairo_set_operator(FCr, OperatorFor(Rop));
    cairo_fill(FCr);
  }
  cairo_restore(FCr);
  cairo_new_path(FCr);
}

void TMetaDC::AlphaBitmap(const TMetaBitmap& Bitmap, const TMetaRect& Dest, const TMetaRect& Source, uint8_t Alpha,
                          bool PerPixel) {
  if (!ValidBitmap(Bitmap) || OutOfBudget() || Alpha == 0)
    return;
  const TSurfaceRef Surface(Bitmap.Pixels, Bitmap.Width, Bitmap.Height, PerPixel);
  if (!Surface.Ok())
    return;
  const TPathKeeper Keep(FCr, FInPath);
  ApplyMatrix();
  if (!FMatrixOK)
    return;
  SpendArea(Dest, double(Bitmap.Pixels.size()));
  cairo_save(FCr);
  if (PlaceBitmap(FCr, Surface.S, Bitmap.Width, Bitmap.Height, Dest, Source)) {
    const TMetaRect Box = PathBox(FCr);
    NoteDrawn(Box.Left, Box.Top, Box.Right, Box.Bottom);
    cairo_clip(FCr);
    cairo_paint_with_alpha(FCr, Alpha / 255.0);
  }
  cairo_restore(FCr);
  cairo_new_path(FCr);
}

void TMetaDC::GradientRect(const TVertex& A, const TVertex& B, bool Horizontal) {
  if (OutOfBudget())
    return;
  const TPathKeeper Keep(FCr, FInPath);
  ApplyMatrix();
  if (!FMatrixOK)
    return;
  const TMetaRect R{A.P.X, A.P.Y, B.P.X, B.P.Y};
  SpendArea(R);
  cairo_pattern_t* P =
      Horizontal ? cairo_pattern_create_linear(A.P.X, 0, B.P.X, 0) : cairo_pattern_create_linear(0, A.P.Y, 0, B.P.Y);
  cairo_pattern_add_color_stop_rgb(P, 0, A.R, A.G, A.B);
  cairo_pattern_add_color_stop_rgb(P, 1, B.R, B.G, B.B);
  cairo_pattern_set_extend(P, CAIRO_EXTEND_PAD);
  cairo_set_source(FCr, P);
  cairo_pattern_destroy(P);
  cairo_new_path(FCr);
  cairo_rectangle(FCr, R.Left, R.Top, R.Right - R.Left, R.Bottom - R.Top);
  const TMetaRect Box = PathBox(FCr);
  NoteDrawn(Box.Left, Box.Top, Box.Right, Box.Bottom);
  cairo_fill(FCr);
}

void TMetaDC::GradientTriangle(const TVertex& A, const TVertex& B, const TVertex& C) {
  if (OutOfBudget())
    return;
  const TPathKeeper Keep(FCr, FInPath);
  ApplyMatrix();
  if (!FMatrixOK)
    return;
  double Ux = B.P.X - A.P.X, Uy = B.P.Y - A.P.Y, Vx = C.P.X - A.P.X, Vy = C.P.Y - A.P.Y;
  cairo_user_to_device_distance(FCr, &Ux, &Uy);
  cairo_user_to_device_distance(FCr, &Vx, &Vy);
  Spend(std::min(std::fabs(Ux * Vy - Uy * Vx) / 2, double(FWidth) * FHeight));
  cairo_pattern_t* P = cairo_pattern_create_mesh();
  cairo_mesh_pattern_begin_patch(P);
  cairo_mesh_pattern_move_to(P, A.P.X, A.P.Y);
  cairo_mesh_pattern_line_to(P, B.P.X, B.P.Y);
  cairo_mesh_pattern_line_to(P, C.P.X, C.P.Y);
  const TVertex* Corners[] = {&A, &B, &C};
  for (unsigned I = 0; I < 3; ++I)
    cairo_mesh_pattern_set_corner_color_rgb(P, I, Corners[I]->R, Corners[I]->G, Corners[I]->B);
  cairo_mesh_pattern_end_patch(P);
  cairo_set_source(FCr, P);
  cairo_pattern_destroy(P);
  cairo_new_path(FCr);
  cairo_move_to(FCr, A.P.X, A.P.Y);
  cairo_line_to(FCr, B.P.X, B.P.Y);
  cairo_line_to(FCr, C.P.X, C.P.Y);
  cairo_close_path(FCr);
  const TMetaRect Box = PathBox(FCr);
  NoteDrawn(Box.Left, Box.Top, Box.Right, Box.Bottom);
  cairo_fill(FCr);
}

void TMetaDC::PatBlt(const TMetaRect& R, uint32_t Rop) {
  if (OutOfBudget())
    return;
  const TPathKeeper Keep(FCr, FInPath);
  ApplyMatrix();
  if (!FMatrixOK)
    return;
  SpendArea(R);
  cairo_save(FCr);
  bool Draw = true;
  // Operations that read a source have none here and leave the picture be.
  switch (RopCode(Rop)) {
  case CodeBlack: cairo_set_source_rgb(FCr, 0, 0, 0); break;
  case CodeWhite: cairo_set_source_rgb(FCr, 1, 1, 1); break;
  case CodeInvert:
    cairo_set_source_rgb(FCr, 1, 1, 1);
    cairo_set_operator(FCr, CAIRO_OPERATOR_DIFFERENCE);
    break;
  case CodePatInvert:
    Draw = SetBrushSource(FState->Brush);
    cairo_set_operator(FCr, CAIRO_OPERATOR_DIFFERENCE);
    break;
  case CodePattern: Draw = SetBrushSource(FState->Brush); break;
  default: Draw = false; break;
  }
  cairo_new_path(FCr);
  cairo_rectangle(FCr, R.Left, R.Top, R.Right - R.Left, R.Bottom - R.Top);
  if (Draw) {
    const TMetaRect Box = PathBox(FCr);
    NoteDrawn(Box.Left, Box.Top, Box.Right, Box.Bottom);
    cairo_fill(FCr);
  }
  cairo_restore(FCr);
  cairo_new_path(FCr);
}

// Work is counted in the pixels a drawing covers, at most the picture.
void TMetaDC::SpendArea(const TMetaRect& R, double Extra) {
  double Wx = R.Right - R.Left, Wy = 0, Hx = 0, Hy = R.Bottom - R.Top;
  cairo_user_to_device_distance(FCr, &Wx, &Wy);
  cairo_user_to_device_distance(FCr, &Hx, &Hy);
  Spend(std::min(std::fabs(Wx * Hy - Wy * Hx), double(FWidth) * FHeight) + Extra);
}
