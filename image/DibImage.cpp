#include "DibImage.h"
#include "ByteOrder.h"
#include "DibRotate.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstring>

#include <sys/mman.h>

static_assert(std::endian::native == std::endian::little, "pixel words are stored little-endian");

namespace {

const char* const SInvalidPixelFormat = "invalid Pixel Format";
const char* const SOutOfMemory = "out of memory!";
const char* const SInvalidPackedDib = "Invalid bitmap data";

constexpr TColor Expand555(uint32_t V) {
  return RGBColor(uint8_t(((V >> 10) & 31) * 8 + 3), uint8_t(((V >> 5) & 31) * 8 + 3), uint8_t((V & 31) * 8 + 3));
}
constexpr uint32_t Pack555(TColor C) {
  return (uint32_t(GetRValue(C) >> 3) << 10) | (uint32_t(GetGValue(C) >> 3) << 5) | uint32_t(GetBValue(C) >> 3);
}

// Large pixel blocks come straight from the kernel, mapped and populated at
// once: touching a fresh 70 MB block page by page costs many times more than
// the transform that fills it. Only the targets of transposes are advised
// for huge pages, whose rows each lie on another page: a starting viewer
// rarely finds free huge pages, and having the kernel make them for every
// decoded picture delayed the first one of a large PNG by 0.6 s.
constexpr size_t MappedMinimum = size_t(1) << 20;
constexpr size_t HugePage = size_t(2) << 20;
#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23
#endif

uint8_t* AllocPixels(size_t Size, TPixelPages Pages = TPixelPages::Normal) {
  if (Size < MappedMinimum)
    return static_cast<uint8_t*>(std::calloc(std::max<size_t>(Size, 4), 1));
  void* Raw = mmap(nullptr, Size + HugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (Raw == MAP_FAILED)
    return nullptr;
  const uintptr_t Start = reinterpret_cast<uintptr_t>(Raw);
  const uintptr_t Aligned = (Start + HugePage - 1) & ~uintptr_t(HugePage - 1);
  // Give back the unused head and tail so that only the aligned block stays.
  if (Aligned > Start)
    munmap(Raw, Aligned - Start);
  const uintptr_t End = Aligned + ((Size + 4095) & ~size_t(4095));
  if (Start + Size + HugePage > End)
    munmap(reinterpret_cast<void*>(End), Start + Size + HugePage - End);
  uint8_t* P = reinterpret_cast<uint8_t*>(Aligned);
  if (Pages == TPixelPages::Huge)
    madvise(P, Size, MADV_HUGEPAGE);
  if (madvise(P, Size, MADV_POPULATE_WRITE) != 0) {
    // Only a kernel without the call gets the pages faulted in by hand. Any
    // other failure means the memory is not there, and touching it would end
    // in the kernel's out-of-memory kill instead of an error message.
    if (errno != EINVAL) {
      munmap(P, (Size + 4095) & ~size_t(4095));
      return nullptr;
    }
    for (size_t I = 0; I < Size; I += 4096)
      P[I] = 0;
  }
  return P;
}

void FreePixels(uint8_t* P, size_t Size) {
  if (!P)
    return;
  if (Size < MappedMinimum)
    std::free(P);
  else
    munmap(P, (Size + 4095) & ~size_t(4095));
}

// Colors as stored (red, green, blue, unused) to blue, green, red. Each pixel
// is written as four bytes, the fourth overwritten by the next pixel, which
// keeps the loop free of byte stores; the last pixel is written as three.
void ColorRowToBGR(const uint8_t* S, uint8_t* O, int32_t Width) {
  int32_t X = 0;
  for (; X + 1 < Width; ++X) {
    const uint32_t BGR = __builtin_bswap32(GetLE32(S + 4 * X)) >> 8;
    PutLE32(O + 3 * X, BGR);
  }
  if (X < Width)
    ColorToBGRBytes(TColor(GetLE32(S + 4 * X)), O + 3 * X);
}

template <int N>
inline void CopyPixel(uint8_t* D, const uint8_t* S) {
  std::memcpy(D, S, N);
}

} // namespace

TDib::TDib(int32_t AWidth, int32_t AHeight, TPixelFormat APixelFormat, TPixelPages Pages) {
  FWidth = AWidth;
  FHeight = AHeight;
  FPixelFormat = APixelFormat;
  FResolution = 72;
  if (APixelFormat < pf1bit || APixelFormat > pf32bit)
    throw EInvalidGraphicOperation(SInvalidPixelFormat);
  if (AWidth < 0 || AHeight < 0)
    throw EInvalidGraphicOperation(SOutOfMemory);

  FPaletteSize = PaletteSizeOf(APixelFormat);
  // Sizes are computed wide: a buffer whose size does not fit the 32-bit
  // ImageSize cannot be allocated, never wraps.
  const int64_t Rounded = DibRowBytes(AWidth, BitCountOf(APixelFormat));
  const int64_t Size = Rounded * AHeight;
  if (Rounded > INT32_MAX || Size > INT32_MAX)
    throw EInvalidGraphicOperation(SOutOfMemory);
  FRowBytes = int32_t(Rounded);
  FImageSize = int32_t(Size);

  switch (APixelFormat) {
  case pf1bit:
    FGetPixelValue = [](const TDib& D, int32_t X, int32_t Y) { return Get1(D.ScanLine(Y), X); };
    FSetPixelValue = [](TDib& D, int32_t X, int32_t Y, uint32_t V) { Set1(D.ScanLine(Y), X, V); };
    FGetPixelColor = [](const TDib& D, int32_t X, int32_t Y) {
      return D.GetPaletteColor(int32_t(Get1(D.ScanLine(Y), X)));
    };
    FSwapPixels = [](TDib& D, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
      const uint32_t A = Get1(D.ScanLine(Y1), X1);
      Set1(D.ScanLine(Y1), X1, Get1(D.ScanLine(Y2), X2));
      Set1(D.ScanLine(Y2), X2, A);
    };
    break;
  case pf4bit:
    FGetPixelValue = [](const TDib& D, int32_t X, int32_t Y) { return Get4(D.ScanLine(Y), X); };
    FSetPixelValue = [](TDib& D, int32_t X, int32_t Y, uint32_t V) { Set4(D.ScanLine(Y), X, V); };
    FGetPixelColor = [](const TDib& D, int32_t X, int32_t Y) {
      return D.GetPaletteColor(int32_t(Get4(D.ScanLine(Y), X)));
    };
    FSwapPixels = [](TDib& D, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
      const uint32_t A = Get4(D.ScanLine(Y1), X1);
      Set4(D.ScanLine(Y1), X1, Get4(D.ScanLine(Y2), X2));
      Set4(D.ScanLine(Y2), X2, A);
    };
    break;
  case pf8bit:
    FGetPixelValue = [](const TDib& D, int32_t X, int32_t Y) { return uint32_t(D.ScanLine(Y)[X]); };
    FSetPixelValue = [](TDib& D, int32_t X, int32_t Y, uint32_t V) { D.ScanLine(Y)[X] = uint8_t(V); };
    FGetPixelColor = [](const TDib& D, int32_t X, int32_t Y) { return D.GetPaletteColor(D.ScanLine(Y)[X]); };
    FSwapPixels = [](TDib& D, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
      std::swap(D.ScanLine(Y1)[X1], D.ScanLine(Y2)[X2]);
    };
    break;
  case pf15bit:
  case pf16bit:
    FGetPixelValue = [](const TDib& D, int32_t X, int32_t Y) { return uint32_t(GetLE16(D.ScanLine(Y) + 2 * X)); };
    FSetPixelValue = [](TDib& D, int32_t X, int32_t Y, uint32_t V) { PutLE16(D.ScanLine(Y) + 2 * X, V); };
    FGetPixelColor = [](const TDib& D, int32_t X, int32_t Y) { return Expand555(GetLE16(D.ScanLine(Y) + 2 * X)); };
    FSwapPixels = [](TDib& D, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
      std::swap_ranges(D.ScanLine(Y1) + 2 * X1, D.ScanLine(Y1) + 2 * X1 + 2, D.ScanLine(Y2) + 2 * X2);
    };
    break;
  case pf24bit:
    FGetPixelValue = [](const TDib& D, int32_t X, int32_t Y) { return ColorFromBGRBytes(D.ScanLine(Y) + 3 * X); };
    FSetPixelValue = [](TDib& D, int32_t X, int32_t Y, uint32_t V) { ColorToBGRBytes(V, D.ScanLine(Y) + 3 * X); };
    FGetPixelColor = [](const TDib& D, int32_t X, int32_t Y) { return ColorFromBGRBytes(D.ScanLine(Y) + 3 * X); };
    FSwapPixels = [](TDib& D, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
      std::swap_ranges(D.ScanLine(Y1) + 3 * X1, D.ScanLine(Y1) + 3 * X1 + 3, D.ScanLine(Y2) + 3 * X2);
    };
    break;
  case pf32bit:
    FGetPixelValue = [](const TDib& D, int32_t X, int32_t Y) { return GetLE32(D.ScanLine(Y) + 4 * X); };
    FSetPixelValue = [](TDib& D, int32_t X, int32_t Y, uint32_t V) { PutLE32(D.ScanLine(Y) + 4 * X, V); };
    FGetPixelColor = [](const TDib& D, int32_t X, int32_t Y) { return TColor(GetLE32(D.ScanLine(Y) + 4 * X)); };
    FSwapPixels = [](TDib& D, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
      std::swap_ranges(D.ScanLine(Y1) + 4 * X1, D.ScanLine(Y1) + 4 * X1 + 4, D.ScanLine(Y2) + 4 * X2);
    };
    break;
  }

  FBitmapInfo.assign(size_t(BitmapInfoHeaderSize + 4 * FPaletteSize), 0);
  FillHeader();
  SetResolution(72);

  FBits = std::unique_ptr<uint8_t, TPixelDeleter>(AllocPixels(size_t(FImageSize), Pages),
                                                  TPixelDeleter{size_t(FImageSize)});
  if (!FBits)
    throw EInvalidGraphicOperation(SOutOfMemory);
  Lock();
  SetZoom(0);
}

void TPixelDeleter::operator()(uint8_t* P) const { FreePixels(P, Size); }

std::unique_ptr<uint8_t, TPixelDeleter> AllocPixelBlock(size_t Size) {
  return std::unique_ptr<uint8_t, TPixelDeleter>(AllocPixels(Size), TPixelDeleter{Size});
}

TDib::TDib(TDib&&) noexcept = default;
TDib& TDib::operator=(TDib&&) noexcept = default;
TDib::~TDib() = default;

int32_t TDib::BitCount() const { return BitCountOf(FPixelFormat); }

void TDib::FillHeader() {
  uint8_t* H = FBitmapInfo.data();
  PutLE32(H + 0, BitmapInfoHeaderSize);
  PutLE32(H + 4, uint32_t(FWidth));
  PutLE32(H + 8, uint32_t(-FHeight));
  PutLE16(H + 12, 1);
  PutLE16(H + 14, uint32_t(BitCount()));
  PutLE32(H + 16, 0);
  PutLE32(H + 20, uint32_t(FImageSize));
  PutLE32(H + 32, uint32_t(FPaletteSize));
  PutLE32(H + 36, uint32_t(FPaletteSize));
}

void TDib::SetResolution(int32_t Dpi) {
  FResolution = Dpi;
  const int32_t Pels = DpiToPelsPerMetre(Dpi);
  PutLE32(FBitmapInfo.data() + 24, uint32_t(Pels));
  PutLE32(FBitmapInfo.data() + 28, uint32_t(Pels));
}

std::unique_ptr<TDib> TDib::Clone() const {
  auto D = std::make_unique<TDib>(FWidth, FHeight, FPixelFormat);
  D->CopyAttributes(*this);
  D->CopyPalette(*this);
  if (FImageSize > 0)
    std::memcpy(D->Bits(), Bits(), size_t(FImageSize));
  return D;
}

std::unique_ptr<TDib> TDib::CreateLike(int32_t AWidth, int32_t AHeight, const TDib& Source, TPixelPages Pages) {
  auto D = std::make_unique<TDib>(AWidth, AHeight, Source.FPixelFormat, Pages);
  D->CopyAttributes(Source);
  if (Source.FPaletteSize > 0)
    D->CopyPalette(Source);
  return D;
}

void TDib::CopyAttributes(const TDib& Source) {
  Canvas = Source.Canvas;
  SetZoom(Source.FZoom);
  Tiled = Source.Tiled;
  IsGray = Source.IsGray;
  SetResolution(Source.FResolution);
}

void TDib::CopyPalette(const TDib& Source) {
  if (Source.FPixelFormat == FPixelFormat && FPaletteSize > 0)
    std::memcpy(PaletteEntries(), Source.PaletteEntries(), size_t(4 * FPaletteSize));
}

void TDib::ReplaceWith(std::unique_ptr<TDib> Other) { *this = std::move(*Other); }

void TDib::SetPixelColor(int32_t X, int32_t Y, TColor Color) {
  switch (FPixelFormat) {
  case pf1bit:
  case pf4bit:
  case pf8bit: SetPixelValue(X, Y, uint32_t(NearestPaletteIndex(Color))); break;
  case pf15bit:
  case pf16bit: SetPixelValue(X, Y, Pack555(Color)); break;
  case pf24bit:
  case pf32bit: SetPixelValue(X, Y, Color); break;
  }
}

void TDib::GetRowColors(int32_t Y, std::span<TColor> Colors) const {
  const int32_t N = std::min<int32_t>(FWidth, int32_t(Colors.size()));
  const uint8_t* Row = ScanLine(Y);
  TColor* Out = Colors.data();
  switch (FPixelFormat) {
  case pf1bit:
  case pf4bit:
  case pf8bit: {
    TColor Pal[256];
    for (int32_t I = 0; I < FPaletteSize; ++I)
      Pal[I] = GetPaletteColor(I);
    if (FPixelFormat == pf8bit)
      for (int32_t X = 0; X < N; ++X)
        Out[X] = Pal[Row[X]];
    else if (FPixelFormat == pf4bit)
      for (int32_t X = 0; X < N; ++X)
        Out[X] = Pal[Get4(Row, X)];
    else
      for (int32_t X = 0; X < N; ++X)
        Out[X] = Pal[Get1(Row, X)];
    break;
  }
  case pf15bit:
  case pf16bit:
    for (int32_t X = 0; X < N; ++X)
      Out[X] = Expand555(GetLE16(Row + 2 * X));
    break;
  case pf24bit:
    for (int32_t X = 0; X < N; ++X)
      Out[X] = ColorFromBGRBytes(Row + 3 * X);
    break;
  case pf32bit: std::memcpy(Out, Row, size_t(N) * 4); break;
  }
}

TColor TDib::GetPaletteColor(int32_t I) const {
  if (I < 0 || I >= FPaletteSize)
    return 0;
  return ColorFromBGRBytes(PaletteEntries() + 4 * I);
}

void TDib::SetPaletteColor(int32_t I, TColor Color) {
  if (I < 0 || I >= FPaletteSize)
    return;
  uint8_t* E = PaletteEntries() + 4 * I;
  ColorToBGRBytes(Color, E);
  E[3] = 0;
}

TDib::TRgbBytes TDib::GetPaletteRGB(int32_t I) const {
  const TColor C = GetPaletteColor(I);
  return {GetRValue(C), GetGValue(C), GetBValue(C)};
}

int32_t TDib::NearestPaletteIndex(TColor Color) const {
  int32_t Best = 0, BestSum = 16777215;
  const int R = GetRValue(Color), G = GetGValue(Color), B = GetBValue(Color);
  for (int32_t I = 0; I < FPaletteSize; ++I) {
    const uint8_t* E = PaletteEntries() + 4 * I;
    const int32_t Sum = std::abs(E[2] - R) + std::abs(E[1] - G) + std::abs(E[0] - B);
    if (Sum < BestSum) {
      BestSum = Sum;
      Best = I;
      if (Sum == 0)
        break;
    }
  }
  return Best;
}

void TDib::MakeGrayPalette() {
  if (FPaletteSize < 2)
    return;
  const int32_t Step = 255 / (FPaletteSize - 1);
  for (int32_t I = 0; I < FPaletteSize; ++I) {
    const uint8_t V = uint8_t(I * Step);
    SetPaletteColor(I, RGBColor(V, V, V));
  }
  IsGray = true;
}

void TDib::DetectGray() {
  if (IsGray || FPaletteSize == 0)
    return;
  const int32_t Step = FPixelFormat == pf1bit ? 255 : FPixelFormat == pf4bit ? 17 : 1;
  bool Ordered = true;
  for (int32_t I = 0; I < FPaletteSize; ++I) {
    const uint8_t* E = PaletteEntries() + 4 * I;
    if (E[0] != E[1] || E[1] != E[2])
      return;
    if (E[0] != I * Step)
      Ordered = false;
  }
  if (Ordered) {
    IsGray = true;
    return;
  }
  if (FPixelFormat == pf1bit)
    return;
  // A gray palette in another order: rewrite every pixel as its ramp index.
  const int32_t Div = 255 / (FPaletteSize - 1);
  uint8_t Map[256];
  for (int32_t I = 0; I < FPaletteSize; ++I)
    Map[I] = uint8_t(Luminance(GetPaletteColor(I)) / Div);
  for (int32_t Y = 0; Y < FHeight; ++Y) {
    uint8_t* Row = ScanLine(Y);
    if (FPixelFormat == pf8bit) {
      for (int32_t X = 0; X < FWidth; ++X)
        Row[X] = Map[Row[X]];
    } else {
      for (int32_t X = 0; X < FWidth; ++X)
        Set4(Row, X, Map[Get4(Row, X)]);
    }
  }
  MakeGrayPalette();
}

void TDib::Invert() {
  if (FPaletteSize > 0 && !IsGray) {
    for (int32_t I = 0; I < FPaletteSize; ++I)
      SetPaletteColor(I, ~GetPaletteColor(I) & 0x00FFFFFFu);
    return;
  }
  uint8_t* P = Bits();
  const size_t Words = size_t(FImageSize) / 4;
  for (size_t I = 0; I < Words; ++I) {
    uint32_t W;
    std::memcpy(&W, P + 4 * I, 4);
    W = ~W;
    std::memcpy(P + 4 * I, &W, 4);
  }
}

void TDib::MirrorUpDown() {
  for (int32_t Y = 0; Y < FHeight / 2; ++Y)
    std::swap_ranges(ScanLine(Y), ScanLine(Y) + FRowBytes, ScanLine(FHeight - 1 - Y));
}

namespace {
template <int N>
void ReversePixels(uint8_t* Row, int32_t Width) {
  uint8_t* L = Row;
  uint8_t* R = Row + size_t(Width - 1) * N;
  uint8_t T[N];
  while (L < R) {
    std::memcpy(T, L, N);
    std::memcpy(L, R, N);
    std::memcpy(R, T, N);
    L += N;
    R -= N;
  }
}
} // namespace

void TDib::MirrorLeftRight() {
  if (FWidth < 2)
    return;
  for (int32_t Y = 0; Y < FHeight; ++Y) {
    uint8_t* Row = ScanLine(Y);
    switch (FPixelFormat) {
    case pf1bit:
      for (int32_t X = 0, X2 = FWidth - 1; X < X2; ++X, --X2) {
        const uint32_t A = Get1(Row, X);
        Set1(Row, X, Get1(Row, X2));
        Set1(Row, X2, A);
      }
      break;
    case pf4bit:
      for (int32_t X = 0, X2 = FWidth - 1; X < X2; ++X, --X2) {
        const uint32_t A = Get4(Row, X);
        Set4(Row, X, Get4(Row, X2));
        Set4(Row, X2, A);
      }
      break;
    case pf8bit: std::reverse(Row, Row + FWidth); break;
    case pf15bit:
    case pf16bit: ReversePixels<2>(Row, FWidth); break;
    case pf24bit: ReversePixels<3>(Row, FWidth); break;
    case pf32bit: ReversePixels<4>(Row, FWidth); break;
    }
  }
}

void TDib::Rotate(int32_t Angle) {
  Angle %= 360;
  if (Angle < 0)
    Angle += 360;
  if (Angle < 45 || Angle >= 315)
    return;
  if (Angle < 135)
    RotateQuarter(true);
  else if (Angle < 225) {
    MirrorUpDown();
    MirrorLeftRight();
  } else
    RotateQuarter(false);
}

void TDib::RotateQuarter(bool Clockwise) {
  // Square images turn into a new buffer as well: a blocked transpose beats
  // the in-place ring exchange, which walks columns pixel by pixel.
  auto D = CreateLike(FHeight, FWidth, *this, TPixelPages::Huge);
  if (FWidth > 0 && FHeight > 0) {
    const ptrdiff_t Step = FRowBytes, Out = D->RowBytes();
    // Clockwise, the bottom row becomes the first column: the source is read
    // bottom up. Counter-clockwise, the last column becomes the first row:
    // the destination is written bottom up.
    if (Clockwise)
      TransposePixels(ScanLine(FHeight - 1), -Step, D->Bits(), Out, FHeight, FWidth, BitCount());
    else
      TransposePixels(Bits(), Step, D->ScanLine(FWidth - 1), -Out, FHeight, FWidth, BitCount());
  }
  ReplaceWith(std::move(D));
}

void TDib::Fill(TColor Color) {
  if (FWidth == 0 || FHeight == 0)
    return;
  // One palette search for the whole row, not one per pixel.
  SetPixelColor(0, 0, Color);
  const uint32_t Value = GetPixelValue(0, 0);
  for (int32_t X = 1; X < FWidth; ++X)
    SetPixelValue(X, 0, Value);
  for (int32_t Y = 1; Y < FHeight; ++Y)
    std::memcpy(ScanLine(Y), ScanLine(0), size_t(FRowBytes));
}

void TDib::Crop(int32_t X, int32_t Y, int32_t W, int32_t H) {
  // Callers keep the rectangle inside; clipping it anyway keeps a wrong one
  // from reading outside the buffer.
  const int64_t L = std::max<int64_t>(X, 0), T = std::max<int64_t>(Y, 0);
  const int64_t R = std::min<int64_t>(int64_t(X) + W, FWidth), B = std::min<int64_t>(int64_t(Y) + H, FHeight);
  if (W < 1 || H < 1 || R <= L || B <= T)
    return;
  X = int32_t(L);
  Y = int32_t(T);
  W = int32_t(R - L);
  H = int32_t(B - T);
  auto D = CreateLike(W, H, *this);
  const int32_t Bpp = BitCount();
  for (int32_t J = 0; J < H; ++J) {
    const uint8_t* S = ScanLine(Y + J);
    uint8_t* O = D->ScanLine(J);
    if (Bpp >= 8)
      std::memcpy(O, S + size_t(X) * (Bpp / 8), size_t(W) * (Bpp / 8));
    else
      CopyRowBits(S, PackedRowBytes(FWidth, Bpp), int64_t(X) * Bpp, int64_t(W) * Bpp, O);
  }
  ReplaceWith(std::move(D));
}

std::unique_ptr<TDib> TDib::ScaledCopy(int32_t W, int32_t H) const {
  std::unique_ptr<TDib> D;
  if (IsGray) {
    D = std::make_unique<TDib>(W, H, pf8bit);
    D->MakeGrayPalette();
  } else {
    D = std::make_unique<TDib>(W, H, pf24bit);
  }
  if (W <= 0 || H <= 0 || FWidth <= 0 || FHeight <= 0)
    return D;
  const float Fx = float(FWidth) / float(W);
  std::vector<int32_t> SrcX(size_t(W), 0);
  for (int32_t I = 0; I < W; ++I)
    SrcX[size_t(I)] = std::min(FWidth - 1, int32_t(float(I) * Fx));
  std::vector<TColor> Colors(static_cast<size_t>(FWidth));
  int32_t LastRow = -1;
  for (int32_t J = 0; J < H; ++J) {
    const int32_t Sy = int32_t(std::min<int64_t>(FHeight - 1, int64_t(J) * FHeight / H));
    if (Sy != LastRow) {
      GetRowColors(Sy, Colors);
      LastRow = Sy;
    }
    uint8_t* O = D->ScanLine(J);
    if (IsGray) {
      for (int32_t I = 0; I < W; ++I)
        O[I] = uint8_t(Luminance(Colors[size_t(SrcX[size_t(I)])]));
    } else {
      for (int32_t I = 0; I < W; ++I)
        ColorToBGRBytes(Colors[size_t(SrcX[size_t(I)])], O + 3 * I);
    }
  }
  return D;
}

void TDib::ConvertTo24() {
  if (FPixelFormat == pf24bit)
    return;
  auto D = std::make_unique<TDib>(FWidth, FHeight, pf24bit);
  D->CopyAttributes(*this);
  D->IsGray = false;
  if (FPixelFormat == pf32bit) {
    for (int32_t Y = 0; Y < FHeight; ++Y)
      ColorRowToBGR(ScanLine(Y), D->ScanLine(Y), FWidth);
  } else {
    std::vector<TColor> Colors(static_cast<size_t>(FWidth));
    for (int32_t Y = 0; Y < FHeight; ++Y) {
      GetRowColors(Y, Colors);
      ColorRowToBGR(reinterpret_cast<const uint8_t*>(Colors.data()), D->ScanLine(Y), FWidth);
    }
  }
  ReplaceWith(std::move(D));
}

int32_t TDib::CountColors() const {
  // One bit per blue value for every red/green pair: 2 MiB.
  std::vector<uint64_t> Seen(size_t(256) * 256 * 4, 0);
  std::vector<TColor> Colors(static_cast<size_t>(FWidth));
  int32_t Count = 0;
  for (int32_t Y = 0; Y < FHeight; ++Y) {
    GetRowColors(Y, Colors);
    for (TColor C : Colors) {
      C &= 0x00FFFFFF;
      uint64_t& Word = Seen[C >> 6];
      const uint64_t Bit = uint64_t(1) << (C & 63);
      if (!(Word & Bit)) {
        Word |= Bit;
        ++Count;
      }
    }
  }
  return Count;
}

bool ReadPackedDibInfo(std::span<const uint8_t> Packed, TPackedDibInfo& Info) {
  const uint8_t* P = Packed.data();
  if (Packed.size() < 12)
    return false;
  Info = {};
  Info.HeaderSize = GetLE32(P);
  Info.Core = Info.HeaderSize == 12;
  if (Info.Core) {
    Info.Width = GetLE16(P + 4);
    Info.Height = GetLE16(P + 6);
    Info.Bits = GetLE16(P + 10);
  } else {
    if (Info.HeaderSize < 40 || Info.HeaderSize > Packed.size())
      return false;
    Info.Width = GetLESigned32(P + 4);
    Info.Height = GetLESigned32(P + 8);
    Info.Bits = GetLE16(P + 14);
    Info.Compression = GetLE32(P + 16);
    Info.PelsPerMetre = GetLESigned32(P + 24);
    Info.ColorsUsed = GetLE32(P + 32);
  }
  // Masks after a 40-byte header, then the palette: as many entries as
  // colors-used names, up to the full size of an indexed image.
  const uint64_t Full = Info.Bits <= 8 ? uint64_t(1) << Info.Bits : 0;
  const uint64_t Used = Info.ColorsUsed;
  Info.ColorEntries = (Info.HeaderSize == 40 && Info.Compression == 3 ? 3 : 0) +
                      (Info.Bits <= 8 ? (Used > 0 && Used < Full ? Used : Full) : Used);
  return true;
}

std::unique_ptr<TDib> TDib::FromGlobalDib(std::span<const uint8_t> Packed) {
  TPackedDibInfo Info;
  if (!ReadPackedDibInfo(Packed, Info))
    throw EInvalidGraphicOperation(SInvalidPackedDib);
  const uint32_t Bits = Info.Bits;
  int32_t W = Info.Width, H = Info.Height;
  TPixelFormat Pf;
  switch (Bits) {
  case 1: Pf = pf1bit; break;
  case 4: Pf = pf4bit; break;
  case 8: Pf = pf8bit; break;
  case 15: Pf = pf15bit; break;
  case 16: Pf = pf16bit; break;
  case 24:
  case 32: Pf = pf24bit; break;
  default: throw EInvalidGraphicOperation(SInvalidPixelFormat);
  }
  // Only plain rows (and 16/32-bit rows with masks) can be copied; run-length
  // or embedded JPEG/PNG data would be read as garbage.
  if (Info.Compression != 0 && Info.Compression != 3)
    throw EInvalidGraphicOperation(SInvalidPackedDib);
  if (W <= 0 || H == 0 || H == INT32_MIN)
    throw EInvalidGraphicOperation(SInvalidPackedDib);
  const bool BottomUp = H > 0;
  H = std::abs(H);

  const int32_t FullPalette = PaletteSizeOf(Pf);
  const uint64_t Entries = Info.ColorEntries;
  const uint64_t EntrySize = Info.Core ? 3 : 4;
  const uint64_t RowSize = uint64_t(DibRowBytes(W, StoredBitsOf(int32_t(Bits))));
  const uint64_t DataStart = Info.RowsStart();
  const size_t Size = Packed.size();
  const uint8_t* P = Packed.data();
  if (DataStart > Size || RowSize * uint64_t(H) > Size - DataStart)
    throw EInvalidGraphicOperation(SInvalidPackedDib);

  auto D = std::make_unique<TDib>(W, H, Pf);
  if (FullPalette > 0) {
    const uint8_t* E = P + Info.HeaderSize;
    const int32_t N = int32_t(std::min<uint64_t>(Entries, uint64_t(FullPalette)));
    for (int32_t I = 0; I < N; ++I)
      D->SetPaletteColor(I, ColorFromBGRBytes(E + EntrySize * size_t(I)));
  }
  const uint8_t* Data = P + DataStart;
  for (int32_t Y = 0; Y < H; ++Y) {
    const uint8_t* S = Data + RowSize * size_t(BottomUp ? H - 1 - Y : Y);
    uint8_t* O = D->ScanLine(Y);
    if (Bits == 32) {
      for (int32_t X = 0; X < W; ++X)
        CopyPixel<3>(O + 3 * X, S + 4 * X);
    } else {
      std::memcpy(O, S, size_t(std::min<uint64_t>(RowSize, uint64_t(D->RowBytes()))));
    }
  }
  if (Info.PelsPerMetre > 0)
    D->SetResolution(PelsPerMetreToDpi(uint32_t(Info.PelsPerMetre)));
  return D;
}

std::vector<uint8_t> TDib::ToGlobalDib() const {
  const size_t HeadBytes = FBitmapInfo.size();
  std::vector<uint8_t> Out(HeadBytes + size_t(FImageSize));
  std::memcpy(Out.data(), FBitmapInfo.data(), HeadBytes);
  PutLE32(Out.data() + 8, uint32_t(FHeight));
  uint8_t* Dst = Out.data() + HeadBytes;
  for (int32_t Y = 0; Y < FHeight; ++Y) {
    const uint8_t* S = ScanLine(FHeight - 1 - Y);
    uint8_t* O = Dst + size_t(Y) * size_t(FRowBytes);
    if (FPixelFormat == pf32bit) {
      // Other programs read 32-bit rows as blue, green, red, unused.
      for (int32_t X = 0; X < FWidth; ++X) {
        O[4 * X] = S[4 * X + 2];
        O[4 * X + 1] = S[4 * X + 1];
        O[4 * X + 2] = S[4 * X];
        O[4 * X + 3] = 0;
      }
    } else {
      std::memcpy(O, S, size_t(FRowBytes));
    }
  }
  return Out;
}

void TDib::SetZoom(int32_t Z) {
  static constexpr int32_t TileSrcs[15] = {512, 448, 384, 320, 256, 192, 128, 64, 32, 20, 16, 12, 10, 9, 8};
  Z = std::clamp(Z, -7, 7);
  FZoom = Z;
  FTileSrc = TileSrcs[Z + 7];
  FTileDst = Z < 0 ? 64 : FTileSrc * (Z + 1);
  if (Z < 0) {
    FZoomedWidth = FWidth / (1 - Z);
    FZoomedHeight = FHeight / (1 - Z);
  } else {
    FZoomedWidth = FWidth * (Z + 1);
    FZoomedHeight = FHeight * (Z + 1);
  }
}

void TDib::Draw() { DrawAt(0, 0); }

void TDib::DrawAt(int32_t X, int32_t Y) {
  if (Canvas)
    Canvas->StretchDib(*this, X, Y, FWidth, FHeight, 0, 0, FWidth, FHeight);
}

void TDib::DrawRect(const TRect& Dest, const TRect& Source) {
  if (Canvas)
    Canvas->StretchDib(*this, Dest.Left, Dest.Top, Dest.Width(), Dest.Height(), Source.Left, FHeight - Source.Bottom,
                       Source.Width(), Source.Height());
}

void TDib::DrawZoomed() {
  if (!Canvas)
    return;
  const TRect Clip = Canvas->ClipRect();
  if (!Tiled) {
    int32_t X = Clip.Left, Y = Clip.Top, W = Clip.Width(), H = Clip.Height();
    if (FZoom > 0) {
      const int32_t F = FZoom + 1;
      W = std::max(W, F);
      H = std::max(H, F);
      Canvas->StretchDib(*this, X, Y, W, H, Clip.Left / F, FHeight - Clip.Bottom / F, W / F, H / F);
    } else if (FZoom < 0) {
      const int32_t F = 1 - FZoom;
      Canvas->StretchDib(*this, X, Y, W, H, Clip.Left * F, FHeight - F * Clip.Bottom, W * F, H * F);
    } else {
      Canvas->StretchDib(*this, X, Y, W, H, X, FHeight - Clip.Bottom, W, H);
    }
    return;
  }
  if (FZoomedWidth <= 0 || FZoomedHeight <= 0)
    return;
  const int32_t Rows = (FZoomedHeight - 1) / FTileDst + 1;
  const int32_t Cols = (FZoomedWidth - 1) / FTileDst + 1;
  for (int32_t R = 0; R < Rows; ++R) {
    const int32_t Ty = FZoomedHeight - FTileDst * (R + 1);
    const int32_t Sy = R * FTileSrc;
    for (int32_t C = 0; C < Cols; ++C) {
      const TRect Tile{C * FTileDst, Ty, C * FTileDst + FTileDst, Ty + FTileDst};
      if (Tile.Intersects(Clip))
        Canvas->StretchDib(*this, Tile.Left, Tile.Top, FTileDst, FTileDst, C * FTileSrc, Sy, FTileSrc, FTileSrc);
    }
  }
}
