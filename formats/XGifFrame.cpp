#include "XGifFrame.h"

#include <algorithm>
#include <cstring>

void TGifCanvas::SetColors(const std::array<TColor, 256>& Colors) {
  for (size_t I = 0; I < Colors.size(); ++I)
    ColorToBGRBytes(Colors[I], FBgr.data() + 3 * I);
}

void TGifCanvas::Begin(int32_t Left, int32_t Top, int32_t Width, int32_t Height, int32_t Transparent) {
  FLeft = std::min(Left, FDib.Width());
  FTop = std::min(Top, FDib.Height());
  FRight = std::min(Left + Width, FDib.Width());
  FBottom = std::min(Top + Height, FDib.Height());
  FTransparent = Transparent;
}

void TGifCanvas::StoreRow(int32_t Row, const uint8_t* Line, int32_t Count) {
  uint8_t* D = FDib.ScanLine(FTop + Row);
  const int32_t N = std::min(Count, FRight - FLeft);
  const int32_t X0 = FLeft;
  const int32_t T = FTransparent;
  switch (FDib.PixelFormat()) {
  case pf8bit:
    if (T < 0) {
      std::memcpy(D + X0, Line, size_t(N));
      break;
    }
    for (int32_t I = 0; I < N; ++I)
      if (Line[I] != T)
        D[X0 + I] = Line[I];
    break;
  case pf24bit:
    for (int32_t I = 0; I < N; ++I)
      if (Line[I] != T)
        std::memcpy(D + 3 * size_t(X0 + I), FBgr.data() + 3 * size_t(Line[I]), 3);
    break;
  case pf4bit:
    for (int32_t I = 0; I < N; ++I)
      if (Line[I] != T)
        Set4(D, X0 + I, Line[I]);
    break;
  default:
    for (int32_t I = 0; I < N; ++I)
      if (Line[I] != T)
        Set1(D, X0 + I, Line[I]);
    break;
  }
}

void TGifCanvas::Clear(TColor Color) {
  uint8_t Bgr[3];
  ColorToBGRBytes(Color, Bgr);
  for (int32_t Y = FTop; Y < FBottom; ++Y) {
    uint8_t* D = FDib.ScanLine(Y);
    switch (FDib.PixelFormat()) {
    case pf8bit: std::memset(D + FLeft, 0, size_t(FRight - FLeft)); break;
    case pf24bit:
      for (int32_t X = FLeft; X < FRight; ++X)
        std::memcpy(D + 3 * size_t(X), Bgr, 3);
      break;
    case pf4bit:
      for (int32_t X = FLeft; X < FRight; ++X)
        Set4(D, X, 0);
      break;
    default:
      for (int32_t X = FLeft; X < FRight; ++X)
        Set1(D, X, 0);
      break;
    }
  }
}

// Whole bytes around the rectangle's columns: pixels beside it that share
// them do not change while the image is drawn.
void TGifCanvas::RowBytes(int64_t& First, int64_t& End) const {
  const int32_t Bits = FDib.BitCount();
  First = int64_t(FLeft) * Bits / 8;
  End = PackedRowBytes(FRight, Bits);
}

void TGifCanvas::Save() {
  FSaved.clear();
  if (!Visible())
    return;
  int64_t First, End;
  RowBytes(First, End);
  const size_t N = size_t(End - First);
  FSaved.resize(N * size_t(FBottom - FTop));
  for (int32_t Y = FTop; Y < FBottom; ++Y)
    std::memcpy(FSaved.data() + size_t(Y - FTop) * N, FDib.ScanLine(Y) + First, N);
}

void TGifCanvas::Restore() {
  if (!Visible() || FSaved.empty())
    return;
  int64_t First, End;
  RowBytes(First, End);
  const size_t N = size_t(End - First);
  for (int32_t Y = FTop; Y < FBottom; ++Y)
    std::memcpy(FDib.ScanLine(Y) + First, FSaved.data() + size_t(Y - FTop) * N, N);
}
