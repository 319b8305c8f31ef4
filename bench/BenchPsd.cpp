// Decode of a 6000 x 4000 RGB layered image file's merged image, PackBits
// rows as image editors save them and raw planes, beside Pillow's decode of
// the same bytes in the same process.
#include <benchmark/benchmark.h>

#include "BenchCodec.h"
#include "PillowRef.h"
#include "XPsd.h"

namespace {

using BenchCodec::BandSample;
using BenchCodec::H;
using BenchCodec::W;
constexpr int32_t Channels = 3;
constexpr int32_t MaxPacket = 128;

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
          Row[size_t(X)] = BandSample(X, Y, C);
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
    BenchCodec::AppendPlanes(F, Channels, BandSample);
    return F;
  }();
  return File;
}

void BM_DecodePsdRle(benchmark::State& State) { BenchCodec::Decode<TPSDReader>(State, PsdRle()); }
void BM_DecodePsdRlePillow(benchmark::State& State) { BenchPillowDecode(State, PsdRle(), int64_t(W) * H * Channels); }
void BM_DecodePsd(benchmark::State& State) { BenchCodec::Decode<TPSDReader>(State, PsdRaw()); }
void BM_DecodePsdPillow(benchmark::State& State) { BenchPillowDecode(State, PsdRaw(), int64_t(W) * H * Channels); }

} // namespace

// "name@reference" is the reference the table sets beside "name".
BENCHMARK(BM_DecodePsdRle)->Name("psd.decode-rle24")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodePsdRlePillow)->Name("psd.decode-rle24@pillow")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodePsd)->Name("psd.decode24")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodePsdPillow)->Name("psd.decode24@pillow")->Unit(benchmark::kMillisecond);
