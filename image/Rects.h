#pragma once
#include <cstdint>

// Left and top inclusive, right and bottom exclusive.
struct TRect {
  int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;
  int32_t Width() const { return Right - Left; }
  int32_t Height() const { return Bottom - Top; }
  bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
  bool Intersects(const TRect& R) const { return Left < R.Right && R.Left < Right && Top < R.Bottom && R.Top < Bottom; }
  friend bool operator==(const TRect&, const TRect&) = default;
};
