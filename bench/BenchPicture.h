#pragma once
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include <benchmark/benchmark.h>

#include "PillowRef.h"

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

inline constexpr int64_t PictureBytes = int64_t(PictureWidth) * PictureHeight * 3;

inline void SetPictureCounters(benchmark::State& State) {
  State.SetBytesProcessed(int64_t(State.iterations()) * PictureBytes);
}

// The picture as Pillow holds it, made once per benchmark program.
inline TPillowImage& PillowPicture() {
  static TPillowImage Image(PictureRgb(), PictureWidth, PictureHeight);
  return Image;
}

// A Pillow row: evaluates Code (see TPillowImage::Eval) on every iteration.
inline void PillowEval(benchmark::State& State, const char* Code) {
  TPillowImage& Image = PillowPicture();
  for (auto _ : State)
    if (!Image.Eval(Code)) {
      State.SkipWithError(Image.Error().c_str());
      break;
    }
  SetPictureCounters(State);
}

// The physical limit: copying the picture once.
inline void CopyPicture(benchmark::State& State) {
  const TDib& P = Picture();
  std::vector<uint8_t> Out(size_t(P.ImageSize()));
  for (auto _ : State) {
    std::memcpy(Out.data(), P.Bits(), Out.size());
    benchmark::DoNotOptimize(Out.data());
  }
  SetPictureCounters(State);
}
