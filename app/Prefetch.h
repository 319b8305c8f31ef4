#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "XImageRead.h"

// The memory the kept images may take at most: 512 MB, and never more than
// a quarter of the machine's physical memory. The settings record has no
// room left for it, so it is fixed.
inline constexpr uint64_t PrefetchDefaultBound = uint64_t(512) << 20;
uint64_t PrefetchBound(uint64_t Wanted = PrefetchDefaultBound);

// An image read ahead: the read as the sequence returned it, what the header
// told before the rows came (the viewer takes its texts from there), and
// the file's size and modification time when the read began.
struct TPrefetched {
  std::filesystem::path Path;
  TImageRead Header;
  TImageRead Read;
  int64_t Size = 0;
  std::filesystem::file_time_type Time{};
};

// Reads the neighbours of the shown image in a thread of its own, each with
// a reader of its own, so that stepping to one shows it without decoding.
// The thread never touches a widget: the user-interface thread asks for a
// path and takes the image under the lock. Every call is made on that one
// thread.
class TPrefetcher {
public:
  // Reads one file; ReadImageFile unless a test puts its own in.
  using TReadFunction =
      std::function<TImageRead(const std::filesystem::path&, const TReadOptions&, const TBufferEvent&)>;

  explicit TPrefetcher(uint64_t Bound = PrefetchBound(), TReadFunction Read = {});
  // Stops the thread; a read under way ends at its next progress report.
  ~TPrefetcher();
  TPrefetcher(const TPrefetcher&) = delete;
  TPrefetcher& operator=(const TPrefetcher&) = delete;

  // Reads Paths (at most two, the first first) with Options; images kept for
  // other paths are dropped, a read of another path under way is stopped.
  void Request(const std::vector<std::filesystem::path>& Paths, const TReadOptions& Options);
  // Stops the read under way and drops the queue and every kept image.
  void Cancel();
  // The image kept for Path, read with options like Options, when the file
  // still has the size and time it had when it was read; it is no longer
  // kept. A read of Path under way is waited for. None otherwise.
  std::optional<TPrefetched> Take(const std::filesystem::path& Path, const TReadOptions& Options);

  // For tests: waits until the queue is empty and no read runs.
  bool WaitIdle(int Milliseconds);
  // Reads begun and images kept since the start.
  int32_t ReadsStarted() const { return Started.load(); }
  bool Holds(const std::filesystem::path& Path) const;
  uint64_t KeptBytes() const;
  uint64_t Bound() const { return Limit; }

private:
  struct TJob {
    std::filesystem::path Path;
    TReadOptions Options;
  };
  struct TKept {
    TPrefetched Image;
    TReadOptions Options;
    uint64_t Bytes = 0;
  };
  void Run();
  std::optional<TKept> ReadOne(const TJob& Job, uint64_t Room);
  uint64_t KeptBytesLocked() const;
  bool Busy() const { return !Queue.empty() || Running; }

  const uint64_t Limit;
  TReadFunction ReadFile;
  mutable std::mutex Mutex;
  std::condition_variable Wake, Finished;
  std::deque<TJob> Queue;
  std::vector<TKept> Kept;
  std::filesystem::path Current;
  bool Running = false;
  bool Stopping = false;
  // Checked by the read's progress reports: the read under way is not wanted.
  std::atomic<bool> StopCurrent{false};
  std::atomic<int32_t> Started{0};
  std::thread Thread;
};
