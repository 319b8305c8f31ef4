#include "ParallelRows.h"

#include <algorithm>
#include <exception>
#include <thread>
#include <vector>

namespace {

// Below this many weight products a band is not worth a thread.
constexpr int64_t MinWorkPerBand = int64_t(1) << 20;
constexpr unsigned MaxBands = 8;

} // namespace

void ParallelRows(int32_t Count, int64_t WorkPerRow, const std::function<void(int32_t, int32_t)>& Body) {
  if (Count <= 0)
    return;
  const int64_t Work = std::max<int64_t>(WorkPerRow, 1) * Count;
  const unsigned Cores = std::max(1u, std::min(std::thread::hardware_concurrency(), MaxBands));
  const int64_t Bands = std::min<int64_t>({int64_t(Cores), Work / MinWorkPerBand, Count});
  if (Bands <= 1) {
    Body(0, Count);
    return;
  }
  std::vector<std::exception_ptr> Errors(static_cast<size_t>(Bands));
  std::vector<std::thread> Threads;
  Threads.reserve(size_t(Bands) - 1);
  auto Run = [&](int64_t B) {
    try {
      Body(int32_t(Count * B / Bands), int32_t(Count * (B + 1) / Bands));
    } catch (...) {
      Errors[size_t(B)] = std::current_exception();
    }
  };
  try {
    for (int64_t B = 1; B < Bands; ++B)
      Threads.emplace_back(Run, B);
  } catch (...) {
    // No thread for the rest: the calling thread does their bands itself.
    for (int64_t B = int64_t(Threads.size()) + 1; B < Bands; ++B)
      Run(B);
  }
  Run(0);
  for (std::thread& T : Threads)
    T.join();
  for (const std::exception_ptr& E : Errors)
    if (E)
      std::rethrow_exception(E);
}
