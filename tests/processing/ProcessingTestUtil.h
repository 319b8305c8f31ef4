#pragma once
#include <memory>
#include <random>

#include "DibImage.h"

// A buffer of random pixels; palette formats get a random palette, or with
// Gray an ascending gray ramp (and IsGray).
inline std::unique_ptr<TDib> RandomDib(int32_t W, int32_t H, TPixelFormat Pf, uint32_t Seed, bool Gray = false) {
  auto D = std::make_unique<TDib>(W, H, Pf);
  std::mt19937 Rng(Seed);
  if (Gray) {
    const int32_t N = D->PaletteSize(), Step = 255 / (N - 1);
    for (int32_t I = 0; I < N; ++I)
      D->SetPaletteColor(I, RGBColor(uint8_t(I * Step), uint8_t(I * Step), uint8_t(I * Step)));
    D->IsGray = true;
  } else {
    for (int32_t I = 0; I < D->PaletteSize(); ++I)
      D->SetPaletteColor(I, TColor(Rng() & 0xFFFFFF));
  }
  for (int32_t Y = 0; Y < H; ++Y)
    for (size_t B = 0; B < size_t(D->RowBytes()); ++B)
      D->ScanLine(Y)[B] = uint8_t(Rng());
  return D;
}
