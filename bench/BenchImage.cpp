#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>

#include "DibImage.h"

namespace {

constexpr int32_t W = 6000, H = 4000;

std::unique_ptr<TDib> MakeImage(TPixelFormat Pf) {
  auto D = std::make_unique<TDib>(W, H, Pf);
  uint8_t* P = D->Bits();
  uint32_t S = 12345;
  for (int32_t I = 0; I < D->ImageSize(); ++I) {
    S = S * 1103515245u + 12345u;
    P[I] = uint8_t(S >> 16);
  }
  return D;
}

TPixelFormat FormatArg(const benchmark::State& State) { return TPixelFormat(State.range(0)); }

// The physical limit: copying the same number of bytes once.
void BM_Memcpy(benchmark::State& State) {
  auto D = MakeImage(FormatArg(State));
  std::vector<uint8_t> Out(size_t(D->ImageSize()));
  for (auto _ : State) {
    std::memcpy(Out.data(), D->Bits(), Out.size());
    benchmark::DoNotOptimize(Out.data());
  }
  State.SetBytesProcessed(int64_t(State.iterations()) * D->ImageSize());
}

void BM_Rotate90(benchmark::State& State) {
  auto D = MakeImage(FormatArg(State));
  for (auto _ : State) {
    D->Rotate(90);
    benchmark::DoNotOptimize(D->Bits());
  }
  State.SetBytesProcessed(int64_t(State.iterations()) * D->ImageSize());
}

void BM_MirrorLeftRight(benchmark::State& State) {
  auto D = MakeImage(FormatArg(State));
  for (auto _ : State) {
    D->MirrorLeftRight();
    benchmark::DoNotOptimize(D->Bits());
  }
  State.SetBytesProcessed(int64_t(State.iterations()) * D->ImageSize());
}

void BM_MirrorUpDown(benchmark::State& State) {
  auto D = MakeImage(FormatArg(State));
  for (auto _ : State) {
    D->MirrorUpDown();
    benchmark::DoNotOptimize(D->Bits());
  }
  State.SetBytesProcessed(int64_t(State.iterations()) * D->ImageSize());
}

void BM_ConvertTo24(benchmark::State& State) {
  auto Src = MakeImage(FormatArg(State));
  for (auto _ : State) {
    State.PauseTiming();
    auto D = Src->Clone();
    State.ResumeTiming();
    D->ConvertTo24();
    benchmark::DoNotOptimize(D->Bits());
  }
  State.SetBytesProcessed(int64_t(State.iterations()) * Src->ImageSize());
}

void FormatArgs(benchmark::internal::Benchmark* B) {
  B->ArgName("pf")->Arg(pf8bit)->Arg(pf24bit)->Arg(pf32bit)->Unit(benchmark::kMillisecond);
}

void ConvertArgs(benchmark::internal::Benchmark* B) {
  B->ArgName("pf")->Arg(pf8bit)->Arg(pf15bit)->Arg(pf32bit)->Unit(benchmark::kMillisecond);
}

} // namespace

// Each operation beside a memcpy of the same bytes.
BENCHMARK(BM_Rotate90)->Name("image.rotate90")->Apply(FormatArgs);
BENCHMARK(BM_Memcpy)->Name("image.rotate90@memcpy")->Apply(FormatArgs);
BENCHMARK(BM_MirrorLeftRight)->Name("image.mirror-left-right")->Apply(FormatArgs);
BENCHMARK(BM_Memcpy)->Name("image.mirror-left-right@memcpy")->Apply(FormatArgs);
BENCHMARK(BM_MirrorUpDown)->Name("image.mirror-up-down")->Apply(FormatArgs);
BENCHMARK(BM_Memcpy)->Name("image.mirror-up-down@memcpy")->Apply(FormatArgs);
BENCHMARK(BM_ConvertTo24)->Name("image.convert-to-24")->Apply(ConvertArgs);
BENCHMARK(BM_Memcpy)->Name("image.convert-to-24@memcpy")->Apply(ConvertArgs);
