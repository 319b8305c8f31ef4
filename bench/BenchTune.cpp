#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <vector>

#include "BenchPicture.h"
#include "DibTune.h"
#include "PillowRef.h"

namespace {

std::array<TLut, 3> Tables() {
  return {ChannelTable(20, 130, GammaTable(80)), ChannelTable(-10, 90, GammaTable(120)), LevelsTable(10, 240)};
}

void BM_Tables(benchmark::State& State) {
  std::unique_ptr<TDib> D = Picture().Clone();
  const auto L = Tables();
  for (auto _ : State) {
    ApplyTables(*D, L[0], L[1], L[2]);
    benchmark::DoNotOptimize(D->Bits());
  }
  SetPictureCounters(State);
}

void BM_TablesPillow(benchmark::State& State) {
  const auto L = Tables();
  std::vector<uint8_t> Flat;
  for (const TLut& T : L)
    Flat.insert(Flat.end(), T.begin(), T.end());
  TPillowImage& Image = PillowPicture();
  for (auto _ : State)
    if (!Image.Point(Flat)) {
      State.SkipWithError(Image.Error().c_str());
      break;
    }
  SetPictureCounters(State);
}

void BM_Hls(benchmark::State& State) {
  std::unique_ptr<TDib> D = Picture().Clone();
  for (auto _ : State) {
    ApplyHls(*D, THlsShift{0, 100, 130});
    benchmark::DoNotOptimize(D->Bits());
  }
  SetPictureCounters(State);
}

void BM_HlsPillow(benchmark::State& State) {
  TPillowImage& Image = PillowPicture();
  for (auto _ : State)
    if (!Image.EnhanceColor(1.3)) {
      State.SkipWithError(Image.Error().c_str());
      break;
    }
  SetPictureCounters(State);
}

// The dialogs' preview while a slider moves: 320 x 320, mapped from the
// unchanged copy; the reference copies the same bytes.
void BM_HlsPreview(benchmark::State& State) {
  std::unique_ptr<TDib> Orig = MakeTunePreview(Picture());
  std::unique_ptr<TDib> Work = Orig->Clone();
  for (auto _ : State) {
    MapHlsPreview(*Orig, *Work, THlsShift{40, 90, 140});
    benchmark::DoNotOptimize(Work->Bits());
  }
}

void BM_PreviewCopy(benchmark::State& State) {
  std::unique_ptr<TDib> Orig = MakeTunePreview(Picture());
  std::vector<uint8_t> Out(size_t(Orig->ImageSize()));
  for (auto _ : State) {
    std::memcpy(Out.data(), Orig->Bits(), Out.size());
    benchmark::DoNotOptimize(Out.data());
  }
}

void BM_Histogram(benchmark::State& State) {
  const TDib& P = Picture();
  for (auto _ : State) {
    THistogram H = ChannelHistogram(P);
    benchmark::DoNotOptimize(H);
  }
  SetPictureCounters(State);
}

} // namespace

BENCHMARK(BM_Tables)->Name("tune.tables")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(CopyPicture)->Name("tune.tables@memcpy")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_TablesPillow)->Name("tune.tables@pillow")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Hls)->Name("tune.hls")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_HlsPillow)->Name("tune.hls@pillow")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_HlsPreview)->Name("tune.hls-preview")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PreviewCopy)->Name("tune.hls-preview@memcpy")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Histogram)->Name("tune.histogram")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(CopyPicture)->Name("tune.histogram@memcpy")->Unit(benchmark::kMillisecond)->UseRealTime();
