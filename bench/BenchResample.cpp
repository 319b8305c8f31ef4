#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "BenchPicture.h"
#include "DibResample.h"
#include "PillowRef.h"

namespace {

constexpr int32_t W = PictureWidth, H = PictureHeight;

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
  TPillowImage* Image = &PillowPicture();
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
