#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "DibImage.h"

// The 6000 x 4000 photo-like picture of the workbench benchmarks: smooth
// gradients with noise, so that no operation meets constant rows.
inline constexpr int32_t PictureWidth = 6000, PictureHeight = 4000;

inline const TDib& Picture() {
  static std::unique_ptr<TDib> P = [] {
    auto D = std::make_unique<TDib>(PictureWidth, PictureHeight, pf24bit);
    uint32_t S = 12345;
    for (int32_t Y = 0; Y < PictureHeight; ++Y) {
      uint8_t* Px = D->ScanLine(Y);
      for (int32_t X = 0; X < PictureWidth; ++X, Px += 3) {
        S = S * 1103515245u + 12345u;
        const int32_t Noise = int32_t(S >> 28);
        Px[0] = uint8_t((X / 24 + Noise) & 255);
        Px[1] = uint8_t((Y / 16 + Noise) & 255);
        Px[2] = uint8_t(((X + Y) / 40 + Noise) & 255);
      }
    }
    return D;
  }();
  return *P;
}

// The picture as red, green, blue bytes, for Pillow.
inline std::vector<uint8_t> PictureRgb() {
  const TDib& P = Picture();
  std::vector<uint8_t> Rgb(size_t(PictureWidth) * PictureHeight * 3);
  for (int32_t Y = 0; Y < PictureHeight; ++Y) {
    const uint8_t* S = P.ScanLine(Y);
    uint8_t* O = Rgb.data() + size_t(Y) * PictureWidth * 3;
    for (int32_t X = 0; X < PictureWidth; ++X) {
      O[3 * X] = S[3 * X + 2];
      O[3 * X + 1] = S[3 * X + 1];
      O[3 * X + 2] = S[3 * X];
    }
  }
  return Rgb;
}
