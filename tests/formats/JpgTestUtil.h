#pragma once
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "XJpg.h"

namespace JpgTest {

// A smooth picture with some texture, like a photo: gradients, soft waves and
// a little deterministic grain.
inline std::unique_ptr<TDib> MakePhoto(int32_t W, int32_t H) {
  auto Dib = std::make_unique<TDib>(W, H, pf24bit);
  uint32_t Seed = 12345;
  for (int32_t Y = 0; Y < H; ++Y) {
    uint8_t* P = Dib->ScanLine(Y);
    for (int32_t X = 0; X < W; ++X, P += 3) {
      Seed = Seed * 1664525u + 1013904223u;
      const double Grain = double(Seed >> 28) - 7.5;
      const double U = double(X) / W, V = double(Y) / H;
      const double R = 128 + 90 * std::sin(6.0 * U + 2.0 * V) + Grain;
      const double G = 120 + 80 * std::cos(5.0 * V - 3.0 * U) + Grain;
      const double B = 100 + 70 * std::sin(4.0 * (U + V)) * std::cos(3.0 * U) + Grain;
      P[0] = uint8_t(std::clamp(B, 0.0, 255.0));
      P[1] = uint8_t(std::clamp(G, 0.0, 255.0));
      P[2] = uint8_t(std::clamp(R, 0.0, 255.0));
    }
  }
  return Dib;
}

inline std::vector<uint8_t> Encode(const TDib& Dib, int Quality, bool Progressive) {
  TMemoryStream Out;
  TJpgWriter W;
  W.Quality = uint8_t(Quality);
  W.Progressive = Progressive;
  W.CreateStream(Out);
  W.Write(Dib);
  const auto Bytes = Out.Bytes();
  return {Bytes.begin(), Bytes.end()};
}

} // namespace JpgTest
