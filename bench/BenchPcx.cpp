// Decode of a 6000 x 4000 24-bit run-length PCX file beside Pillow's decode
// of the same bytes in this process.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>

#include "PillowRef.h"
#include "XPcx.h"

namespace {

constexpr int32_t W = 6000, H = 4000;

// Flat stretches between noisy ones, so that rows hold runs and literals.
const TDib& Picture() {
  static const TDib Dib = [] {
    TDib D(W, H, pf24bit);
    for (int32_t Y = 0; Y < H; ++Y) {
      uint8_t* P = D.ScanLine(Y);
      for (int32_t X = 0; X < W; ++X, P += 3) {
        const bool Flat = (X / 400 + Y / 250) % 2 == 0;
        const uint8_t V = Flat ? uint8_t(Y / 16) : uint8_t(X * 5 + Y * 11);
        P[0] = V;
        P[1] = Flat ? V : uint8_t(V + 40);
        P[2] = Flat ? V : uint8_t(V ^ 0x55);
      }
    }
    return D;
  }();
  return Dib;
}

const std::vector<uint8_t>& Encoded() {
  static const auto F = [] {
    TMemoryStream S;
    TPcxWriter Writer;
    Writer.CreateStream(S);
    Writer.Write(Picture());
    return std::vector<uint8_t>(S.Bytes().begin(), S.Bytes().end());
  }();
  return F;
}

void BM_DecodePcx(benchmark::State& State) {
  const auto& File = Encoded();
  State.counters["encoded_bytes"] = double(File.size());
  std::unique_ptr<TDib> Dib;
  for (auto _ : State) {
    TPcxReader Reader;
    Reader.OpenMemory(File);
    Reader.CreateDib();
    Dib = Reader.TakeDib();
    Reader.Read();
    benchmark::DoNotOptimize(Dib->Bits());
  }
  if (std::memcmp(Dib->Bits(), Picture().Bits(), size_t(Dib->ImageSize())) != 0)
    State.SkipWithError("decoded pixels differ from the picture");
  State.SetBytesProcessed(State.iterations() * int64_t(W) * H * 3);
}

void BM_DecodePcxPillow(benchmark::State& State) { BenchPillowDecode(State, Encoded(), int64_t(W) * H * 3); }

} // namespace

// "name@reference" is the reference the table sets beside "name".
BENCHMARK(BM_DecodePcx)->Name("pcx.decode24")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodePcxPillow)->Name("pcx.decode24@pillow")->Unit(benchmark::kMillisecond);
