// Decode of a 6000 x 4000 24-bit Sun raster file: plain beside memcpy of the
// same pixels into a new pixel buffer, byte-encoded beside Pillow in this process.
#include "BenchCodec.h"
#include "PillowRef.h"
#include "XRas.h"

namespace {

using BenchCodec::GrayBandPicture;
using BenchCodec::H;
using BenchCodec::W;
constexpr uint8_t Escape = 0x80;

const std::vector<uint8_t>& Plain() {
  static const auto F = BenchCodec::Encode<TRasWriter>(GrayBandPicture());
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
  BenchCodec::Decode<TRasReader>(State, File, &GrayBandPicture());
}

void BM_MemcpyNewDib(benchmark::State& State) { BenchCodec::MemcpyNewDib(State, Plain().data() + RasHeaderSize); }

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
