// Decode of a 6000 x 4000 24-bit run-length PCX file beside Pillow's decode
// of the same bytes in this process.
#include "BenchCodec.h"
#include "PillowRef.h"
#include "XPcx.h"

namespace {

using BenchCodec::GrayBandPicture;

const std::vector<uint8_t>& Encoded() {
  static const auto F = BenchCodec::Encode<TPcxWriter>(GrayBandPicture());
  return F;
}

void BM_DecodePcx(benchmark::State& State) {
  State.counters["encoded_bytes"] = double(Encoded().size());
  BenchCodec::Decode<TPcxReader>(State, Encoded(), &GrayBandPicture());
}

void BM_DecodePcxPillow(benchmark::State& State) {
  BenchPillowDecode(State, Encoded(), int64_t(BenchCodec::W) * BenchCodec::H * 3);
}

} // namespace

// "name@reference" is the reference the table sets beside "name".
BENCHMARK(BM_DecodePcx)->Name("pcx.decode24")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodePcxPillow)->Name("pcx.decode24@pillow")->Unit(benchmark::kMillisecond);
