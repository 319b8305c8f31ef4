#include <benchmark/benchmark.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

#include "DibImage.h"
#include "XIcc.h"

namespace {

constexpr int32_t W = 6000, H = 4000;
const char* const AdobeIcc = "/usr/share/color/icc/compatibleWithAdobeRGB1998.icc";
const char* const CmykIcc = "/usr/share/color/icc/ghostscript/default_cmyk.icc";

std::vector<uint8_t> Bytes(const char* Name) {
  std::ifstream F(Name, std::ios::binary);
  return {std::istreambuf_iterator<char>(F), {}};
}

// Smooth gradients with noise, as a photograph has: a transform that
// caches the last pixel gains nothing from it.
std::unique_ptr<TDib> Photo() {
  auto D = std::make_unique<TDib>(W, H, pf24bit);
  uint32_t S = 12345;
  for (int32_t Y = 0; Y < H; ++Y) {
    uint8_t* P = D->ScanLine(Y);
    for (int32_t X = 0; X < W; ++X, P += 3) {
      S = S * 1103515245u + 12345u;
      const int32_t Noise = int32_t(S >> 28);
      P[0] = uint8_t((X / 24 + Noise) & 255);
      P[1] = uint8_t((Y / 16 + Noise) & 255);
      P[2] = uint8_t(((X + Y) / 40 + Noise) & 255);
    }
  }
  return D;
}

// The physical limit: copying the 24-bit buffer once.
void BM_Memcpy(benchmark::State& State) {
  const auto D = Photo();
  std::vector<uint8_t> Out(size_t(D->ImageSize()));
  for (auto _ : State) {
    std::memcpy(Out.data(), D->Bits(), Out.size());
    benchmark::DoNotOptimize(Out.data());
  }
  State.SetBytesProcessed(int64_t(State.iterations()) * D->ImageSize());
}

// Each run converts the picture again in place: the cost does not depend
// on the colors, so it need not be restored.
void BM_RgbToSrgb(benchmark::State& State) {
  const std::vector<uint8_t> Profile = Bytes(AdobeIcc);
  if (Profile.empty()) {
    State.SkipWithError("icc-profiles-free is not installed");
    return;
  }
  const auto D = Photo();
  for (auto _ : State) {
    if (ConvertToSrgb(*D, Profile, TIccModel::Rgb) != TIccOutcome::Applied) {
      State.SkipWithError("the profile was refused");
      return;
    }
    benchmark::DoNotOptimize(D->Bits());
  }
  State.SetBytesProcessed(int64_t(State.iterations()) * D->ImageSize());
}

// CMYK rows as the JPEG reader converts them, one call per row.
void BM_CmykRows(benchmark::State& State) {
  const std::vector<uint8_t> Profile = Bytes(CmykIcc);
  TIccCmykRows Rows;
  if (Profile.empty() || !Rows.Open(Profile, true)) {
    State.SkipWithError("no CMYK profile");
    return;
  }
  const auto D = Photo();
  std::vector<uint8_t> Cmyk(size_t(W) * 4);
  for (size_t I = 0; I < Cmyk.size(); ++I)
    Cmyk[I] = uint8_t(I * 13 / 7);
  for (auto _ : State) {
    for (int32_t Y = 0; Y < H; ++Y)
      Rows.Convert(Cmyk.data(), D->ScanLine(Y), uint32_t(W));
    benchmark::DoNotOptimize(D->Bits());
  }
  State.SetBytesProcessed(int64_t(State.iterations()) * D->ImageSize());
}

} // namespace

// Each conversion of a 6000 x 4000 picture beside a memcpy of its buffer.
BENCHMARK(BM_RgbToSrgb)->Name("icc.adobe-rgb-to-srgb")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Memcpy)->Name("icc.adobe-rgb-to-srgb@memcpy")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CmykRows)->Name("icc.cmyk-rows-to-srgb")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Memcpy)->Name("icc.cmyk-rows-to-srgb@memcpy")->Unit(benchmark::kMillisecond);
