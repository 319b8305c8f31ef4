#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include <jpeglib.h>

#include "XJpg.h"
#include "XImageRead.h"

// The binding beside the library called directly on the same file, in the
// same run; the binding's own share is the difference.

namespace {

constexpr int32_t W = 6000, H = 4000;

// A smooth photo-like picture: soft waves with a little grain, BGR rows.
std::unique_ptr<TDib> MakePhoto() {
  auto Dib = std::make_unique<TDib>(W, H, pf24bit);
  std::vector<double> SinU(W), CosU(W);
  for (int32_t X = 0; X < W; ++X) {
    SinU[size_t(X)] = std::sin(6.0 * X / W);
    CosU[size_t(X)] = std::cos(3.0 * X / W);
  }
  uint32_t Seed = 1;
  for (int32_t Y = 0; Y < H; ++Y) {
    const double V = double(Y) / H, SinV = std::sin(4.0 * V), CosV = std::cos(5.0 * V);
    uint8_t* P = Dib->ScanLine(Y);
    for (int32_t X = 0; X < W; ++X, P += 3) {
      Seed = Seed * 1664525u + 1013904223u;
      const double Grain = double(Seed >> 29) - 3.5;
      P[0] = uint8_t(std::clamp(100 + 70 * SinV * CosU[size_t(X)] + Grain, 0.0, 255.0));
      P[1] = uint8_t(std::clamp(120 + 80 * CosV + 30 * SinU[size_t(X)] + Grain, 0.0, 255.0));
      P[2] = uint8_t(std::clamp(128 + 90 * SinU[size_t(X)] * SinV + Grain, 0.0, 255.0));
    }
  }
  return Dib;
}

struct TFixture {
  std::unique_ptr<TDib> Photo = MakePhoto();
  std::vector<uint8_t> File;
  std::vector<uint8_t> Rgb;
  TFixture() {
    TMemoryStream Out;
    TJpgWriter Writer;
    Writer.CreateStream(Out);
    Writer.Write(*Photo);
    File.assign(Out.Bytes().begin(), Out.Bytes().end());
    Rgb.resize(size_t(W) * H * 3);
    for (int32_t Y = 0; Y < H; ++Y) {
      const uint8_t* S = Photo->ScanLine(Y);
      uint8_t* D = Rgb.data() + size_t(Y) * W * 3;
      for (int32_t X = 0; X < W; ++X) {
        D[X * 3] = S[X * 3 + 2];
        D[X * 3 + 1] = S[X * 3 + 1];
        D[X * 3 + 2] = S[X * 3];
      }
    }
  }
};

TFixture& Fixture() {
  static TFixture F;
  return F;
}

void BM_DecodeBinding(benchmark::State& State) {
  const auto& F = Fixture();
  for (auto _ : State) {
    TJpgReader Reader;
    const TImageRead Read = ReadImageWith(Reader, F.File);
    Read.ThrowFailure();
    benchmark::DoNotOptimize(Read.Dib->ScanLine(H - 1));
  }
  State.counters["MB"] = double(F.File.size()) / 1e6;
}

// Plain libjpeg into an RGB buffer.
void DecodeWithLibrary(const std::vector<uint8_t>& File, uint8_t* Pixels, size_t Stride) {
  jpeg_decompress_struct C{};
  jpeg_error_mgr E{};
  C.err = jpeg_std_error(&E);
  jpeg_create_decompress(&C);
  jpeg_mem_src(&C, File.data(), static_cast<unsigned long>(File.size()));
  jpeg_read_header(&C, TRUE);
  C.out_color_space = JCS_RGB;
  jpeg_start_decompress(&C);
  while (C.output_scanline < C.output_height) {
    JSAMPROW Rows[4];
    const JDIMENSION N = std::min<JDIMENSION>(JDIMENSION(C.rec_outbuf_height), 4);
    for (JDIMENSION I = 0; I < N; ++I)
      Rows[I] = Pixels + Stride * std::min<size_t>(C.output_scanline + I, C.output_height - 1);
    jpeg_read_scanlines(&C, Rows, N);
  }
  jpeg_finish_decompress(&C);
  jpeg_destroy_decompress(&C);
}

// The library's own time: one buffer for all decodes.
void BM_DecodeLibrary(benchmark::State& State) {
  const auto& F = Fixture();
  std::vector<uint8_t> Pixels(size_t(W) * H * 3);
  for (auto _ : State) {
    DecodeWithLibrary(F.File, Pixels.data(), size_t(W) * 3);
    benchmark::DoNotOptimize(Pixels.data());
  }
}

// The same with a fresh pixel buffer per decode, as the binding makes one:
// the difference to the binding is the binding's own.
void BM_DecodeLibraryFreshBuffer(benchmark::State& State) {
  const auto& F = Fixture();
  for (auto _ : State) {
    TDib Dib(W, H, pf24bit);
    DecodeWithLibrary(F.File, Dib.ScanLine(0), size_t(Dib.RowBytes()));
    benchmark::DoNotOptimize(Dib.ScanLine(H - 1));
  }
}

void BM_EncodeBinding(benchmark::State& State) {
  const auto& F = Fixture();
  for (auto _ : State) {
    TMemoryStream Out;
    TJpgWriter Writer;
    Writer.CreateStream(Out);
    Writer.Write(*F.Photo);
    benchmark::DoNotOptimize(Out.Bytes().data());
  }
}

void BM_EncodeLibrary(benchmark::State& State) {
  const auto& F = Fixture();
  for (auto _ : State) {
    jpeg_compress_struct C{};
    jpeg_error_mgr E{};
    C.err = jpeg_std_error(&E);
    jpeg_create_compress(&C);
    unsigned char* Mem = nullptr;
    unsigned long Size = 0;
    jpeg_mem_dest(&C, &Mem, &Size);
    C.image_width = W;
    C.image_height = H;
    C.input_components = 3;
    C.in_color_space = JCS_RGB;
    jpeg_set_defaults(&C);
    jpeg_set_quality(&C, 90, TRUE);
    jpeg_start_compress(&C, TRUE);
    while (C.next_scanline < C.image_height) {
      JSAMPROW Row = const_cast<JSAMPROW>(F.Rgb.data() + size_t(C.next_scanline) * W * 3);
      jpeg_write_scanlines(&C, &Row, 1);
    }
    jpeg_finish_compress(&C);
    jpeg_destroy_compress(&C);
    benchmark::DoNotOptimize(Mem);
    std::free(Mem);
  }
}

} // namespace

BENCHMARK(BM_DecodeLibrary)->Name("jpeg.decode@libjpeg")->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_DecodeBinding)->Name("jpeg.decode")->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_DecodeLibraryFreshBuffer)
    ->Name("jpeg.decode@libjpeg-new-buffer")
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);
BENCHMARK(BM_EncodeLibrary)->Name("jpeg.encode@libjpeg")->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_EncodeBinding)->Name("jpeg.encode")->Unit(benchmark::kMillisecond)->MinTime(2.0);
