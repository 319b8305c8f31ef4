// Decode of a 6000 x 4000 RGB layered image file's merged image, PackBits
// rows as image editors save them and raw planes, beside Pillow's decode of
// the same bytes in the same process.
#include <benchmark/benchmark.h>

#include "PillowRef.h"
#include "XPsd.h"

namespace {

constexpr int32_t W = 6000, H = 4000, Channels = 3;
constexpr int32_t MaxPacket = 128;

// Bands of flat color with noisy stretches, so that rows hold both runs and
// literals.
uint8_t Sample(int32_t X, int32_t Y, int32_t C) {
  const bool Noisy = (X / 300 + Y / 200) % 3 == 0;
  const uint8_t V = Noisy ? uint8_t(X * 7 + Y * 13) : uint8_t((X / 50) * 20 + Y / 100);
  return C == 0 ? V : C == 1 ? uint8_t(V + 40) : uint8_t(V ^ 0x55);
}

// Runs of three or more equal bytes as repeat packets, literals between.
void PackRow(const std::vector<uint8_t>& Row, std::vector<uint8_t>& Out) {
  for (int32_t I = 0; I < W;) {
    int32_t Run = 1;
    while (I + Run < W && Run < MaxPacket && Row[size_t(I + Run)] == Row[size_t(I)])
      ++Run;
    if (Run >= 3) {
      Out.insert(Out.end(), {uint8_t(1 - Run), Row[size_t(I)]});
      I += Run;
      continue;
    }
    int32_t N = 0;
    while (I + N < W && N < MaxPacket &&
           !(I + N + 2 < W && Row[size_t(I + N)] == Row[size_t(I + N + 1)] &&
             Row[size_t(I + N)] == Row[size_t(I + N + 2)]))
      ++N;
    Out.push_back(uint8_t(N - 1));
    Out.insert(Out.end(), Row.begin() + I, Row.begin() + I + N);
    I += N;
  }
}

std::vector<uint8_t> Header(uint16_t Compression) {
  std::vector<uint8_t> F(26 + 12 + 2, 0);
  F[0] = '8', F[1] = 'B', F[2] = 'P', F[3] = 'S';
  PutBE16(&F[4], 1);
  PutBE16(&F[12], Channels);
  PutBE32(&F[14], H);
  PutBE32(&F[18], W);
  PutBE16(&F[22], 8);
  PutBE16(&F[24], 3);
  PutBE16(&F[38], Compression);
  return F;
}

const std::vector<uint8_t>& PsdRle() {
  static const std::vector<uint8_t> File = [] {
    std::vector<uint8_t> F = Header(1), Data, Row(W);
    const size_t Table = F.size();
    F.resize(Table + 2 * size_t(H) * Channels);
    for (int32_t C = 0; C < Channels; ++C)
      for (int32_t Y = 0; Y < H; ++Y) {
        for (int32_t X = 0; X < W; ++X)
          Row[size_t(X)] = Sample(X, Y, C);
        const size_t Start = Data.size();
        PackRow(Row, Data);
        PutBE16(&F[Table + 2 * (size_t(C) * H + size_t(Y))], uint16_t(Data.size() - Start));
      }
    F.insert(F.end(), Data.begin(), Data.end());
    return F;
  }();
  return File;
}

const std::vector<uint8_t>& PsdRaw() {
  static const std::vector<uint8_t> File = [] {
    std::vector<uint8_t> F = Header(0);
    F.reserve(F.size() + size_t(W) * H * Channels);
    for (int32_t C = 0; C < Channels; ++C)
      for (int32_t Y = 0; Y < H; ++Y)
        for (int32_t X = 0; X < W; ++X)
          F.push_back(Sample(X, Y, C));
    return F;
  }();
  return File;
}

void DecodeOurs(benchmark::State& State, const std::vector<uint8_t>& File) {
  for (auto _ : State) {
    TPSDReader Reader;
    Reader.OpenMemory(File);
    Reader.CreateDib();
    auto Dib = Reader.TakeDib();
    Reader.Read();
    benchmark::DoNotOptimize(Dib->Bits());
  }
  State.SetBytesProcessed(State.iterations() * int64_t(W) * H * Channels);
}

void BM_DecodePsdRle(benchmark::State& State) { DecodeOurs(State, PsdRle()); }
void BM_DecodePsdRlePillow(benchmark::State& State) { BenchPillowDecode(State, PsdRle(), int64_t(W) * H * Channels); }
void BM_DecodePsd(benchmark::State& State) { DecodeOurs(State, PsdRaw()); }
void BM_DecodePsdPillow(benchmark::State& State) { BenchPillowDecode(State, PsdRaw(), int64_t(W) * H * Channels); }

} // namespace

// "name@reference" is the reference the table sets beside "name".
BENCHMARK(BM_DecodePsdRle)->Name("psd.decode-rle24")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodePsdRlePillow)->Name("psd.decode-rle24@pillow")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodePsd)->Name("psd.decode24")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodePsdPillow)->Name("psd.decode24@pillow")->Unit(benchmark::kMillisecond);
