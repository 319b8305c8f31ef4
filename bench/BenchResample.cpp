#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "DibResample.h"
#include "PillowRef.h"

namespace {

constexpr int32_t W = 6000, H = 4000;

// A photo-like picture: smooth gradients with noise, so that neither
// resampler meets constant rows.
std::unique_ptr<TDib> MakePicture() {
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

const TDib& Picture() {
  static std::unique_ptr<TDib> P = MakePicture();
  return *P;
}

struct TTarget {
  int32_t W, H;
};
// up: 0 shrinks to a third, 1 enlarges by half, 2 fits a 1280 x 1024 screen
// as full screen does.
TTarget TargetOf(const benchmark::State& State) {
  switch (State.range(1)) {
  case 1: return {9000, 6000};
  case 2: return {1280, 853};
  default: return {2000, 1333};
  }
}

void SetCounters(benchmark::State& State) { State.SetBytesProcessed(int64_t(State.iterations()) * W * H * 3); }

void BM_Resize(benchmark::State& State) {
  const TFilterDef& F = FilterDef(int32_t(State.range(0)));
  const TTarget T = TargetOf(State);
  TDib Out(T.W, T.H, pf24bit);
  const TDib& In = Picture();
  for (auto _ : State) {
    Stretch(F.Func, F.Support, In, Out);
    benchmark::DoNotOptimize(Out.Bits());
  }
  SetCounters(State);
}

// Pillow's filter for each of ours measured: Box, bilinear (its triangle),
// bicubic (the cubic of the same support as Mitchell) and Lanczos.
int32_t PillowFilterOf(int32_t Filter) {
  switch (Filter) {
  case rfBox: return 4;
  case rfTriangle: return 2;
  case rfMitchell: return 3;
  default: return 1;
  }
}

void BM_ResizePillow(benchmark::State& State) {
  static std::unique_ptr<TPillowImage> Image = [] {
    const TDib& P = Picture();
    std::vector<uint8_t> Rgb(size_t(W) * H * 3);
    for (int32_t Y = 0; Y < H; ++Y) {
      const uint8_t* S = P.ScanLine(Y);
      uint8_t* O = Rgb.data() + size_t(Y) * W * 3;
      for (int32_t X = 0; X < W; ++X) {
        O[3 * X] = S[3 * X + 2];
        O[3 * X + 1] = S[3 * X + 1];
        O[3 * X + 2] = S[3 * X];
      }
    }
    return std::make_unique<TPillowImage>(Rgb, W, H);
  }();
  const TTarget T = TargetOf(State);
  for (auto _ : State)
    if (!Image->Resize(T.W, T.H, PillowFilterOf(int32_t(State.range(0))))) {
      State.SkipWithError(Image->Error().c_str());
      break;
    }
  SetCounters(State);
}

void Args(benchmark::internal::Benchmark* B) {
  for (int64_t Up : {0, 1})
    for (int64_t F : {rfBox, rfTriangle, rfMitchell, rfLanczos})
      B->Args({F, Up});
  B->Args({rfBox, 2})->Args({rfMitchell, 2});
  B->ArgNames({"filter", "up"})->Unit(benchmark::kMillisecond)->UseRealTime();
}

} // namespace

BENCHMARK(BM_Resize)->Name("resample.resize")->Apply(Args);
BENCHMARK(BM_ResizePillow)->Name("resample.resize@pillow")->Apply(Args);
