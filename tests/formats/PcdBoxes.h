#pragma once
#include <cstdlib>

#include "DibImage.h"

// Mean green difference between Small and Big averaged in F x F boxes: how
// far a larger resolution strays from a smaller one of the same picture.
inline double MeanBoxDifference(const TDib& Big, const TDib& Small, int F) {
  double Sum = 0;
  for (int32_t Y = 0; Y < Small.Height(); ++Y)
    for (int32_t X = 0; X < Small.Width(); ++X) {
      int G = 0;
      for (int Dy = 0; Dy < F; ++Dy)
        for (int Dx = 0; Dx < F; ++Dx)
          G += GetGValue(Big.GetPixelColor(X * F + Dx, Y * F + Dy));
      Sum += std::abs(G / double(F * F) - GetGValue(Small.GetPixelColor(X, Y)));
    }
  return Sum / (double(Small.Width()) * Small.Height());
}
