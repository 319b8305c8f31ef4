// An undo step of a 6000 x 4000 24-bit image (the snapshot before the edit,
// then Undo, which stores the shown state and reads the earlier one back),
// beside writing and reading the same bytes with plain system calls in the
// same folder.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <filesystem>
#include <unistd.h>
#include <vector>

#include "Undo.h"

namespace {

constexpr int32_t W = 6000, H = 4000;

std::filesystem::path Folder() {
  static const std::filesystem::path F = [] {
    char Template[] = "/tmp/pelorin-bench-undo-XXXXXX";
    return std::filesystem::path(mkdtemp(Template));
  }();
  return F;
}

std::unique_ptr<TDib> Image() {
  auto D = std::make_unique<TDib>(W, H, pf24bit);
  for (int32_t Y = 0; Y < H; ++Y) {
    uint8_t* P = D->ScanLine(Y);
    for (int32_t X = 0; X < 3 * W; ++X)
      P[X] = uint8_t(X * 7 + Y * 13);
  }
  return D;
}

void BM_SnapshotAndUndo(benchmark::State& State) {
  const auto Shown = Image();
  TUndoHistory History;
  History.SetFolder(Folder());
  for (auto _ : State) {
    History.TakeSnapshot(*Shown, {});
    auto S = History.Undo(*Shown, {});
    benchmark::DoNotOptimize(S->Image->Bits());
  }
  State.SetBytesProcessed(State.iterations() * int64_t(Shown->ImageSize()) * 3);
}

// Two writes and a read of the pixel memory, nothing checked or linked.
void BM_PlainWritesAndRead(benchmark::State& State) {
  const auto Shown = Image();
  const size_t Size = size_t(Shown->ImageSize());
  std::vector<uint8_t> Back(Size);
  const std::filesystem::path Name = Folder() / "plain.tmp";
  const int Fd = ::open(Name.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
  for (auto _ : State) {
    benchmark::DoNotOptimize(::pwrite(Fd, Shown->Bits(), Size, 0));
    benchmark::DoNotOptimize(::pwrite(Fd, Shown->Bits(), Size, off_t(Size)));
    benchmark::DoNotOptimize(::pread(Fd, Back.data(), Size, 0));
  }
  ::close(Fd);
  ::unlink(Name.c_str());
  State.SetBytesProcessed(State.iterations() * int64_t(Size) * 3);
}

BENCHMARK(BM_SnapshotAndUndo)->Name("undo.snapshot-and-undo")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainWritesAndRead)->Name("undo.snapshot-and-undo@file-write-read")->Unit(benchmark::kMillisecond);

} // namespace
