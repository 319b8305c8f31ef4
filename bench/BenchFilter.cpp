#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <vector>

#include "BenchPicture.h"
#include "DibFilter.h"
#include "PillowRef.h"

namespace {

// The filter (range 0) with its parameter (range 1) at strength 60, into a
// second buffer as the dialog's preview and the converter do.
void BM_Filter(benchmark::State& State) {
  const TDib& In = Picture();
  TDib Out(PictureWidth, PictureHeight, pf24bit);
  for (auto _ : State) {
    ApplyFilter(In, Out, int32_t(State.range(0)), int32_t(State.range(1)), 60);
    benchmark::DoNotOptimize(Out.Bits());
  }
  SetPictureCounters(State);
}

void BM_PillowKernel5(benchmark::State& State) {
  PillowEval(State, "im.filter(ImageFilter.Kernel((5, 5), [1, 2, 3, 2, 1] * 5, 45))");
}
void BM_PillowGauss(benchmark::State& State) { PillowEval(State, "im.filter(ImageFilter.GaussianBlur(2))"); }

void Kernels(benchmark::internal::Benchmark* B) {
  B->Args({fnAverage, 1})->Args({fnAverage, 3})->Args({fnBlur, 3})->Args({fnGaussBlur, 0});
  B->Args({fnBartlettBlur, 0})->Args({fnSharpen, 0})->Args({fnEdge, 0})->Args({fnContour, 0});
  B->Args({fnEmboss, 2})->Args({fnGlow, 0});
  B->ArgNames({"filter", "param"})->Unit(benchmark::kMillisecond)->UseRealTime();
}

void Points(benchmark::internal::Benchmark* B) {
  B->Args({fnSolarize, 0})->Args({fnPosterize, 0});
  B->ArgNames({"filter", "param"})->Unit(benchmark::kMillisecond)->UseRealTime();
}

} // namespace

BENCHMARK(BM_Filter)->Name("filter.kernel")->Apply(Kernels);
BENCHMARK(BM_PillowKernel5)->Name("filter.kernel@pillow-kernel5x5")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PillowGauss)->Name("filter.kernel@pillow-gaussian")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Filter)->Name("filter.point")->Apply(Points);
BENCHMARK(CopyPicture)->Name("filter.point@memcpy")->Unit(benchmark::kMillisecond)->UseRealTime();
