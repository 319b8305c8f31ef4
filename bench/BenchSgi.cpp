// Decode of a 6000 x 4000 RGB SGI file, run-length encoded and as planes,
// beside Pillow's decode of the same bytes in the same process.
#include <benchmark/benchmark.h>

#include "BenchCodec.h"
#include "PillowRef.h"
#include "XSgi.h"

namespace {

using BenchCodec::BandSample;
using BenchCodec::H;
using BenchCodec::W;
constexpr int32_t Channels = 3;
constexpr int32_t MaxPacket = 127;

// One channel row as packets: runs of three or more equal samples, literals
// between them, each closed by a zero header.
void EncodeRow(const std::vector<uint8_t>& Row, std::vector<uint8_t>& Out) {
  for (int32_t I = 0; I < W;) {
    int32_t Run = 1;
    while (I + Run < W && Run < MaxPacket && Row[size_t(I + Run)] == Row[size_t(I)])
      ++Run;
    if (Run >= 3) {
      Out.insert(Out.end(), {uint8_t(Run), Row[size_t(I)]});
      I += Run;
      continue;
    }
    int32_t N = 0;
    while (I + N < W && N < MaxPacket &&
           !(I + N + 2 < W && Row[size_t(I + N)] == Row[size_t(I + N + 1)] &&
             Row[size_t(I + N)] == Row[size_t(I + N + 2)]))
      ++N;
    Out.push_back(uint8_t(0x80 | N));
    Out.insert(Out.end(), Row.begin() + I, Row.begin() + I + N);
    I += N;
  }
  Out.push_back(0);
}

std::vector<uint8_t> Header(uint8_t Storage) {
  std::vector<uint8_t> F(512, 0);
  PutBE16(&F[0], 474);
  F[2] = Storage;
  F[3] = 1;
  PutBE16(&F[4], 3);
  PutBE16(&F[6], W);
  PutBE16(&F[8], H);
  PutBE16(&F[10], Channels);
  PutBE32(&F[16], 255);
  return F;
}

const std::vector<uint8_t>& SgiRle() {
  static const std::vector<uint8_t> File = [] {
    const size_t Entries = size_t(H) * Channels;
    std::vector<uint8_t> F = Header(1), Data, Row(W);
    F.resize(F.size() + 8 * Entries);
    const uint32_t Base = uint32_t(F.size());
    for (int32_t C = 0; C < Channels; ++C)
      for (int32_t Y = 0; Y < H; ++Y) {
        for (int32_t X = 0; X < W; ++X)
          Row[size_t(X)] = BandSample(X, Y, C);
        const size_t Entry = size_t(C) * H + size_t(Y), Start = Data.size();
        EncodeRow(Row, Data);
        PutBE32(&F[512 + 4 * Entry], uint32_t(Base + Start));
        PutBE32(&F[512 + 4 * (Entries + Entry)], uint32_t(Data.size() - Start));
      }
    F.insert(F.end(), Data.begin(), Data.end());
    return F;
  }();
  return File;
}

const std::vector<uint8_t>& SgiPlain() {
  static const std::vector<uint8_t> File = [] {
    std::vector<uint8_t> F = Header(0);
    BenchCodec::AppendPlanes(F, Channels, BandSample);
    return F;
  }();
  return File;
}

void BM_DecodeSgiRle(benchmark::State& State) { BenchCodec::Decode<TSgiReader>(State, SgiRle()); }
void BM_DecodeSgiRlePillow(benchmark::State& State) { BenchPillowDecode(State, SgiRle(), int64_t(W) * H * Channels); }
void BM_DecodeSgi(benchmark::State& State) { BenchCodec::Decode<TSgiReader>(State, SgiPlain()); }
void BM_DecodeSgiPillow(benchmark::State& State) { BenchPillowDecode(State, SgiPlain(), int64_t(W) * H * Channels); }

} // namespace

// "name@reference" is the reference the table sets beside "name".
BENCHMARK(BM_DecodeSgiRle)->Name("sgi.decode-rle24")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeSgiRlePillow)->Name("sgi.decode-rle24@pillow")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeSgi)->Name("sgi.decode24")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeSgiPillow)->Name("sgi.decode24@pillow")->Unit(benchmark::kMillisecond);
