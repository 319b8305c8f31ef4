#include <benchmark/benchmark.h>

#include <memory>

#include "BenchPicture.h"
#include "PeQuant.h"
#include "PillowRef.h"

namespace {

// 256 adaptive colors with Floyd-Steinberg by quantizer (range 0: 2 median
// cut 6 bit, 4 network with sampling factor 4).
void BM_Indexed(benchmark::State& State) {
  const TDib& In = Picture();
  for (auto _ : State) {
    std::unique_ptr<TDib> Out;
    ConvertToIndexed(In, Out, 256, 1, 5, int32_t(State.range(0)));
    benchmark::DoNotOptimize(Out.get());
  }
  SetPictureCounters(State);
}

void BM_Gray(benchmark::State& State) {
  const TDib& In = Picture();
  for (auto _ : State) {
    std::unique_ptr<TDib> Out;
    ConvertToGray(In, Out, int32_t(State.range(0)), int32_t(State.range(1)), 7, 72, 21);
    benchmark::DoNotOptimize(Out.get());
  }
  SetPictureCounters(State);
}

void BM_PillowQuantize(benchmark::State& State) { PillowEval(State, "im.quantize(256, method=0, dither=3)"); }
void BM_PillowGray(benchmark::State& State) { PillowEval(State, "im.convert('L')"); }
void BM_PillowMono(benchmark::State& State) { PillowEval(State, "im.convert('1')"); }

} // namespace

BENCHMARK(BM_Indexed)->Name("quant.indexed")->Arg(2)->Arg(4)->ArgName("quantizer")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PillowQuantize)->Name("quant.indexed@pillow-mediancut-floyd")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Gray)->Name("quant.gray")->Args({256, 0})->ArgNames({"levels", "dither"})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PillowGray)->Name("quant.gray@pillow-L")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Gray)->Name("quant.mono")->Args({2, 1})->ArgNames({"levels", "dither"})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PillowMono)->Name("quant.mono@pillow-floyd")->Unit(benchmark::kMillisecond);
