// Decode of the corpus's Photo CD file at the base resolution beside Pillow's
// decode of the same bytes, and at the highest resolution the file holds
// beside a memcpy of the output size into a new pixel buffer.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "PillowRef.h"
#include "XPcd.h"

namespace {

const std::vector<uint8_t>& Hopper() {
  static const std::vector<uint8_t> File = [] {
    const char* Root = std::getenv("PELORIN_CORPUS");
    const std::filesystem::path Name =
        std::filesystem::path(Root ? Root : PELORIN_BENCH_CORPUS) / "pillow/pcd/hopper.pcd";
    std::ifstream In(Name, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(In), {});
  }();
  return File;
}

bool HaveHopper(benchmark::State& State) {
  if (!Hopper().empty())
    return true;
  State.SkipWithError("pillow/pcd/hopper.pcd not found (PELORIN_CORPUS)");
  return false;
}

void DecodeOurs(benchmark::State& State, uint8_t Resolution) {
  if (!HaveHopper(State))
    return;
  int64_t Bytes = 0;
  for (auto _ : State) {
    TPcdReader Reader;
    Reader.PcdResolution = Resolution;
    Reader.OpenMemory(Hopper());
    Reader.CreateDib();
    auto Dib = Reader.TakeDib();
    Reader.Read();
    Bytes = int64_t(Dib->Width()) * Dib->Height() * 3;
    benchmark::DoNotOptimize(Dib->Bits());
  }
  State.SetBytesProcessed(State.iterations() * Bytes);
}

void BM_DecodeBase(benchmark::State& State) { DecodeOurs(State, 2); }

void BM_DecodeBasePillow(benchmark::State& State) {
  if (HaveHopper(State))
    BenchPillowDecode(State, Hopper(), 768 * 512 * 3);
}

// Asks for 16 base; the reader lowers it to what the file holds.
void BM_DecodeHighest(benchmark::State& State) { DecodeOurs(State, 4); }

void BM_MemcpyHighest(benchmark::State& State) {
  if (!HaveHopper(State))
    return;
  TPcdReader Probe;
  Probe.PcdResolution = 4;
  Probe.OpenMemory(Hopper());
  const std::vector<uint8_t> Src(size_t(Probe.Width) * size_t(Probe.Height) * 3, 0x5A);
  for (auto _ : State) {
    TDib Dib(Probe.Width, Probe.Height, pf24bit);
    for (int32_t Y = 0; Y < Dib.Height(); ++Y)
      std::memcpy(Dib.ScanLine(Y), &Src[size_t(Y) * size_t(Dib.Width()) * 3], size_t(Dib.Width()) * 3);
    benchmark::DoNotOptimize(Dib.Bits());
  }
  State.SetBytesProcessed(State.iterations() * int64_t(Src.size()));
}

} // namespace

// "name@reference" is the reference the table sets beside "name".
BENCHMARK(BM_DecodeBase)->Name("pcd.decode-base")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeBasePillow)->Name("pcd.decode-base@pillow")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeHighest)->Name("pcd.decode-highest")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MemcpyHighest)->Name("pcd.decode-highest@memcpy")->Unit(benchmark::kMillisecond);
