#include <cstring>
#include <memory>
#include <vector>

#include <benchmark/benchmark.h>

#include "BenchPicture.h"
#include "PixelLayout.h"
#include "DibImage.h"

namespace {

// The picture cut to 5000 x 3000 at an offset that is no whole byte for the
// packed formats, so that their rows must be shifted.
constexpr int32_t CropX = 501, CropY = 400, CropW = 5000, CropH = 3000;

const TDib& PictureAs(TPixelFormat Pf) {
  static std::unique_ptr<TDib> Copies[pf32bit + 1];
  std::unique_ptr<TDib>& C = Copies[Pf];
  if (!C) {
    C = std::make_unique<TDib>(PictureWidth, PictureHeight, Pf);
    // Noise: no format meets constant rows.
    uint32_t S = 12345;
    uint8_t* B = C->Bits();
    for (int64_t I = 0; I < C->ImageSize(); ++I, S = S * 1103515245u + 12345u)
      B[I] = uint8_t(S >> 24);
  }
  return *C;
}

// Runs Replace on a fresh copy of the source of the row's layout each
// iteration; the copy is not timed.
template <class TReplace>
void OnFreshCopies(benchmark::State& State, TReplace Replace) {
  const TDib& Source = PictureAs(TPixelFormat(State.range(0)));
  for (auto _ : State) {
    State.PauseTiming();
    std::unique_ptr<TDib> D = Source.Clone();
    State.ResumeTiming();
    Replace(D);
  }
}

void BM_Crop(benchmark::State& State) {
  OnFreshCopies(State, [](std::unique_ptr<TDib>& D) {
    D->Crop(CropX, CropY, CropW, CropH);
    benchmark::DoNotOptimize(D->Bits());
  });
}

// The same rows copied whole into a new buffer, the old one given back:
// what replacing an image by its rectangle cannot beat.
void BM_CropCopy(benchmark::State& State) {
  OnFreshCopies(State, [](std::unique_ptr<TDib>& D) {
    const size_t Row = size_t(PackedRowBytes(CropW, D->BitCount()));
    TDib Out(CropW, CropH, D->PixelFormat());
    for (int32_t Y = 0; Y < CropH; ++Y)
      std::memcpy(Out.ScanLine(Y), D->ScanLine(CropY + Y) + size_t(CropX) * D->BitCount() / 8, Row);
    D.reset();
    benchmark::DoNotOptimize(Out.Bits());
  });
}

// Every byte layout of the buffer.
void Layouts(benchmark::internal::Benchmark* B) {
  for (TPixelFormat Pf : {pf1bit, pf4bit, pf8bit, pf24bit, pf32bit})
    B->Arg(Pf);
  B->Unit(benchmark::kMillisecond)->UseRealTime();
}

} // namespace

BENCHMARK(BM_Crop)->Name("crop")->Apply(Layouts);
BENCHMARK(BM_CropCopy)->Name("crop@memcpy")->Apply(Layouts);
