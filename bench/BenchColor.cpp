#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "DibImage.h"
#include "XColor.h"

namespace {

constexpr int32_t W = 6000, H = 4000;

std::vector<uint8_t> MakeSource(size_t RowBytes) {
  std::vector<uint8_t> Data(RowBytes * H);
  uint32_t S = 12345;
  for (uint8_t& B : Data) {
    S = S * 1103515245u + 12345u;
    B = uint8_t(S >> 16);
  }
  return Data;
}

// The reference: copying the source image's bytes once.
void BM_Memcpy(benchmark::State& State) {
  const size_t RowBytes = size_t(State.range(0)) * W / 8;
  const auto Source = MakeSource(RowBytes);
  std::vector<uint8_t> Out(Source.size());
  for (auto _ : State) {
    std::memcpy(Out.data(), Source.data(), Out.size());
    benchmark::DoNotOptimize(Out.data());
  }
  State.SetBytesProcessed(int64_t(State.iterations()) * int64_t(Source.size()));
}

// Converts a whole image of PixelBits bits per source pixel row by row.
void RunRows(benchmark::State& State, TColorManager& CM, int32_t PixelBits, TPixelFormat Format) {
  const size_t RowBytes = size_t(PixelBits) * W / 8;
  const auto Source = MakeSource(RowBytes);
  TDib Dib(W, H, Format);
  for (auto _ : State) {
    for (int32_t Y = 0; Y < H; ++Y)
      CM.ConvertRow(std::span(Source.data() + size_t(Y) * RowBytes, RowBytes), Dib.Row(Y), 0, 0, W);
    benchmark::DoNotOptimize(Dib.Bits());
  }
  State.SetBytesProcessed(int64_t(State.iterations()) * int64_t(Source.size()));
}

void BM_Rgb8ToBgr(benchmark::State& State) {
  TColorManager CM;
  CM.SetSource(cfRGB, 3, 8);
  CM.SetTarget(cfBGR, 8);
  RunRows(State, CM, 24, pf24bit);
}

void BM_RgbaCompositeToBgr(benchmark::State& State) {
  TColorManager CM;
  CM.SetSource(cfRGBA, 4, 8);
  CM.SetTarget(cfBGR, 8);
  CM.SetFlags(cmfComposite);
  CM.SetBackground(255, 255, 255);
  RunRows(State, CM, 32, pf24bit);
}

void BM_Rgb16ToBgr(benchmark::State& State) {
  TColorManager CM;
  CM.SetSource(cfRGB, 3, 16);
  CM.SetTarget(cfBGR, 8);
  CM.SetSourceFlags(sfSwap16);
  RunRows(State, CM, 48, pf24bit);
}

void BM_YCbCrToBgr(benchmark::State& State) {
  TColorManager CM;
  CM.SetSource(cfYCbCr, 3, 8);
  CM.SetTarget(cfBGR, 8);
  RunRows(State, CM, 24, pf24bit);
}

void BM_Gray8(benchmark::State& State) {
  TColorManager CM;
  CM.SetSource(cfGray, 1, 8);
  CM.SetTarget(cfGray, 8);
  RunRows(State, CM, 8, pf8bit);
}

void BM_Palette4To8(benchmark::State& State) {
  TColorManager CM;
  CM.SetSource(cfPalette, 1, 4);
  CM.SetTarget(cfPalette, 8);
  CM.SetFlags(cmfKeepValues);
  RunRows(State, CM, 4, pf8bit);
}

void BM_Palette1To8(benchmark::State& State) {
  TColorManager CM;
  CM.SetSource(cfPalette, 1, 1);
  CM.SetTarget(cfPalette, 8);
  CM.SetFlags(cmfKeepValues);
  RunRows(State, CM, 1, pf8bit);
}

} // namespace

// Memcpy's argument is the source bits per pixel of the conversion it stands beside.
BENCHMARK(BM_Rgb8ToBgr)->Name("color.rgb8-to-bgr")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Memcpy)->Name("color.rgb8-to-bgr@memcpy")->Arg(24)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RgbaCompositeToBgr)->Name("color.rgba-composite-to-bgr")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Memcpy)->Name("color.rgba-composite-to-bgr@memcpy")->Arg(32)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Rgb16ToBgr)->Name("color.rgb16-to-bgr")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Memcpy)->Name("color.rgb16-to-bgr@memcpy")->Arg(48)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_YCbCrToBgr)->Name("color.ycbcr-to-bgr")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Memcpy)->Name("color.ycbcr-to-bgr@memcpy")->Arg(24)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Gray8)->Name("color.gray8")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Memcpy)->Name("color.gray8@memcpy")->Arg(8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Palette4To8)->Name("color.palette4-to-8")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Memcpy)->Name("color.palette4-to-8@memcpy")->Arg(4)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Palette1To8)->Name("color.palette1-to-8")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Memcpy)->Name("color.palette1-to-8@memcpy")->Arg(1)->Unit(benchmark::kMillisecond);
