// Decode of a 6000 x 4000 24-bit Sun raster file: plain beside memcpy of the
// same pixels into a new pixel buffer, byte-encoded beside Pillow in this process.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>

#include "PillowRef.h"
#include "XRas.h"

namespace {

constexpr int32_t W = 6000, H = 4000;
constexpr uint8_t Escape = 0x80;

// Flat gray stretches between colored noisy ones: the encoding works on
// bytes, so that gray gives runs and color gives literal bytes.
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

const std::vector<uint8_t>& Plain() {
  static const auto F = [] {
    TMemoryStream S;
    TRasWriter Writer;
    Writer.CreateStream(S);
    Writer.Write(Picture());
    return std::vector<uint8_t>(S.Bytes().begin(), S.Bytes().end());
  }();
  return F;
}

// The plain file's rows byte-encoded: runs of three or more and every
// escape byte as escape codes, the rest literal.
const std::vector<uint8_t>& Encoded() {
  static const auto F = [] {
    const auto& P = Plain();
    std::vector<uint8_t> Out(P.begin(), P.begin() + RasHeaderSize);
    PutBE32(Out.data() + 20, 2);
    for (size_t I = RasHeaderSize; I < P.size();) {
      size_t N = 1;
      while (I + N < P.size() && N < 256 && P[I + N] == P[I])
        ++N;
      if (N >= 3 || P[I] == Escape) {
        if (N == 1)
          Out.insert(Out.end(), {Escape, 0});
        else
          Out.insert(Out.end(), {Escape, uint8_t(N - 1), P[I]});
      } else {
        Out.insert(Out.end(), P.begin() + std::ptrdiff_t(I), P.begin() + std::ptrdiff_t(I + N));
      }
      I += N;
    }
    PutBE32(Out.data() + 16, uint32_t(Out.size() - RasHeaderSize));
    return Out;
  }();
  return F;
}

void Decode(benchmark::State& State, const std::vector<uint8_t>& File) {
  std::unique_ptr<TDib> Dib;
  for (auto _ : State) {
    TRasReader Reader;
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

// memcpy of the pixel bytes into a new pixel buffer, the floor of any decoder.
void BM_MemcpyNewDib(benchmark::State& State) {
  const auto& File = Plain();
  for (auto _ : State) {
    TDib Dib(W, H, pf24bit);
    std::memcpy(Dib.Bits(), File.data() + RasHeaderSize, size_t(Dib.ImageSize()));
    benchmark::DoNotOptimize(Dib.Bits());
  }
  State.SetBytesProcessed(State.iterations() * int64_t(W) * H * 3);
}

void BM_DecodeRas(benchmark::State& State) { Decode(State, Plain()); }
void BM_DecodeRasRle(benchmark::State& State) {
  State.counters["encoded_bytes"] = double(Encoded().size());
  Decode(State, Encoded());
}

void BM_DecodeRasRlePillow(benchmark::State& State) { BenchPillowDecode(State, Encoded(), int64_t(W) * H * 3); }

} // namespace

// "name@reference" is the reference the table sets beside "name".
BENCHMARK(BM_DecodeRas)->Name("ras.decode24")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MemcpyNewDib)->Name("ras.decode24@memcpy-new-buffer")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeRasRle)->Name("ras.decode-rle24")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeRasRlePillow)->Name("ras.decode-rle24@pillow")->Unit(benchmark::kMillisecond);
