// Decode of a 6000 x 4000 24-bit raw pixmap and uncompressed Targa beside
// memcpy of the same pixels into a new pixel buffer, and of a run-length
// Targa beside Pillow's Targa reader in the same run.
#include <benchmark/benchmark.h>

#include <cstring>

#include "PillowRef.h"
#include "XPmg.h"
#include "XTga.h"

namespace {

constexpr int32_t W = 6000, H = 4000;

// Bands of flat color with noisy stretches, so that run-length data holds
// both runs and literals.
const TDib& Picture() {
  static const TDib Dib = [] {
    TDib D(W, H, pf24bit);
    for (int32_t Y = 0; Y < H; ++Y) {
      uint8_t* P = D.ScanLine(Y);
      for (int32_t X = 0; X < W; ++X, P += 3) {
        const bool Noisy = (X / 300 + Y / 200) % 3 == 0;
        const uint8_t V = Noisy ? uint8_t(X * 7 + Y * 13) : uint8_t((X / 50) * 20 + Y / 100);
        P[0] = V;
        P[1] = uint8_t(V + 40);
        P[2] = uint8_t(V ^ 0x55);
      }
    }
    return D;
  }();
  return Dib;
}

template <class TWriter, class TSetup>
std::vector<uint8_t> Encode(TSetup Setup) {
  TMemoryStream S;
  TWriter Writer;
  Setup(Writer);
  Writer.CreateStream(S);
  Writer.Write(Picture());
  return {S.Bytes().begin(), S.Bytes().end()};
}

const std::vector<uint8_t>& Ppm() {
  static const auto F = Encode<TPmgWriter>([](TPmgWriter&) {});
  return F;
}
const std::vector<uint8_t>& Tga() {
  static const auto F = Encode<TTgaWriter>([](TTgaWriter&) {});
  return F;
}
const std::vector<uint8_t>& TgaRle() {
  static const auto F = Encode<TTgaWriter>([](TTgaWriter& T) { T.RunLength = true; });
  return F;
}

template <class TReader>
void DecodeOurs(benchmark::State& State, const std::vector<uint8_t>& File) {
  for (auto _ : State) {
    TReader Reader;
    Reader.OpenMemory(File);
    Reader.CreateDib();
    auto Dib = Reader.TakeDib();
    Reader.Read();
    benchmark::DoNotOptimize(Dib->Bits());
  }
  State.SetBytesProcessed(State.iterations() * int64_t(W) * H * 3);
}

// memcpy of the pixel bytes into a new pixel buffer, the floor of any decoder.
void BM_MemcpyNewDib(benchmark::State& State) {
  const auto& File = Tga();
  for (auto _ : State) {
    TDib Dib(W, H, pf24bit);
    std::memcpy(Dib.Bits(), File.data() + 18, size_t(Dib.ImageSize()));
    benchmark::DoNotOptimize(Dib.Bits());
  }
  State.SetBytesProcessed(State.iterations() * int64_t(W) * H * 3);
}

void BM_DecodePpm(benchmark::State& State) { DecodeOurs<TPmgReader>(State, Ppm()); }
void BM_DecodeTga(benchmark::State& State) { DecodeOurs<TTgaReader>(State, Tga()); }
void BM_DecodeTgaRle(benchmark::State& State) { DecodeOurs<TTgaReader>(State, TgaRle()); }

void BM_DecodeTgaRlePillow(benchmark::State& State) { BenchPillowDecode(State, TgaRle(), int64_t(W) * H * 3); }

} // namespace

// "name@reference" is the reference the table sets beside "name".
BENCHMARK(BM_DecodePpm)->Name("ppm.decode24")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MemcpyNewDib)->Name("ppm.decode24@memcpy-new-buffer")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeTga)->Name("tga.decode24")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MemcpyNewDib)->Name("tga.decode24@memcpy-new-buffer")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeTgaRle)->Name("tga.decode-rle24")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeTgaRlePillow)->Name("tga.decode-rle24@pillow")->Unit(benchmark::kMillisecond);
