// Decode of a 6000 x 4000 24-bit raw pixmap and uncompressed Targa beside
// memcpy of the same pixels into a new pixel buffer, and of a run-length
// Targa beside Pillow's Targa reader in the same run.
#include "BenchCodec.h"
#include "PillowRef.h"
#include "XPmg.h"
#include "XTga.h"

namespace {

using BenchCodec::BandPicture;
using BenchCodec::Encode;
using BenchCodec::H;
using BenchCodec::W;

const std::vector<uint8_t>& Ppm() {
  static const auto F = Encode<TPmgWriter>(BandPicture());
  return F;
}
const std::vector<uint8_t>& Tga() {
  static const auto F = Encode<TTgaWriter>(BandPicture());
  return F;
}
const std::vector<uint8_t>& TgaRle() {
  static const auto F = Encode<TTgaWriter>(BandPicture(), [](TTgaWriter& T) { T.RunLength = true; });
  return F;
}

void BM_MemcpyNewDib(benchmark::State& State) { BenchCodec::MemcpyNewDib(State, Tga().data() + 18); }

void BM_DecodePpm(benchmark::State& State) { BenchCodec::Decode<TPmgReader>(State, Ppm()); }
void BM_DecodeTga(benchmark::State& State) { BenchCodec::Decode<TTgaReader>(State, Tga()); }
void BM_DecodeTgaRle(benchmark::State& State) { BenchCodec::Decode<TTgaReader>(State, TgaRle()); }

void BM_DecodeTgaRlePillow(benchmark::State& State) { BenchPillowDecode(State, TgaRle(), int64_t(W) * H * 3); }

} // namespace

// "name@reference" is the reference the table sets beside "name".
BENCHMARK(BM_DecodePpm)->Name("ppm.decode24")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MemcpyNewDib)->Name("ppm.decode24@memcpy-new-buffer")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeTga)->Name("tga.decode24")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MemcpyNewDib)->Name("tga.decode24@memcpy-new-buffer")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeTgaRle)->Name("tga.decode-rle24")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeTgaRlePillow)->Name("tga.decode-rle24@pillow")->Unit(benchmark::kMillisecond);
