#include "Prefetch.h"

#include <algorithm>
#include <chrono>
#include <system_error>
#include <unistd.h>

namespace {

// Thrown through the reader by a progress report or the buffer event; the
// read is simply not kept.
struct TPrefetchStopped {};

bool SameOptions(const TReadOptions& A, const TReadOptions& B) {
  return A.Resolution == B.Resolution && A.Background == B.Background && A.AlphaEnabled == B.AlphaEnabled &&
         A.PcdResolution == B.PcdResolution && A.LuvStonits == B.LuvStonits &&
         A.ApplyOrientation == B.ApplyOrientation && A.ApplyProfile == B.ApplyProfile;
}

// Without the callbacks, which belong to the caller's thread.
TReadOptions PlainOptions(const TReadOptions& O) {
  TReadOptions P = O;
  P.OnProgress = nullptr;
  P.OnLuvRow = nullptr;
  return P;
}

} // namespace

uint64_t PrefetchBound(uint64_t Wanted) {
  const long Pages = sysconf(_SC_PHYS_PAGES);
  const long PageSize = sysconf(_SC_PAGE_SIZE);
  if (Pages <= 0 || PageSize <= 0)
    return Wanted;
  return std::min(Wanted, uint64_t(Pages) * uint64_t(PageSize) / 4);
}

TPrefetcher::TPrefetcher(uint64_t Bound, TReadFunction Read) : Limit(Bound), ReadFile(std::move(Read)) {
  if (!ReadFile)
    ReadFile = [](const std::filesystem::path& Path, const TReadOptions& O, const TBufferEvent& OnBuffer) {
      return ReadImageFile(Path, O, OnBuffer);
    };
  Thread = std::thread([this] { Run(); });
}

TPrefetcher::~TPrefetcher() {
  {
    const std::lock_guard L(Mutex);
    Stopping = true;
    StopCurrent = true;
    Queue.clear();
  }
  Wake.notify_all();
  Thread.join();
}

void TPrefetcher::Request(const std::vector<std::filesystem::path>& Paths, const TReadOptions& Options) {
  const std::vector<std::filesystem::path> Wanted(Paths.begin(), Paths.begin() + std::min<size_t>(Paths.size(), 2));
  auto IsWanted = [&](const std::filesystem::path& P) {
    return std::find(Wanted.begin(), Wanted.end(), P) != Wanted.end();
  };
  const TReadOptions Plain = PlainOptions(Options);
  std::vector<TKept> Dropped;
  {
    const std::lock_guard L(Mutex);
    if (Stopping)
      return;
    for (auto I = Kept.begin(); I != Kept.end();) {
      if (IsWanted(I->Image.Path) && SameOptions(I->Options, Plain)) {
        ++I;
      } else {
        Dropped.push_back(std::move(*I));
        I = Kept.erase(I);
      }
    }
    Queue.clear();
    if (Running && !IsWanted(Current))
      StopCurrent = true;
    for (const std::filesystem::path& P : Wanted) {
      const bool Held = std::any_of(Kept.begin(), Kept.end(), [&](const TKept& K) { return K.Image.Path == P; });
      const bool Reading = Running && !StopCurrent && Current == P;
      if (!Held && !Reading)
        Queue.push_back({P, Plain});
    }
  }
  Wake.notify_one();
  // The dropped buffers are freed here, outside the lock.
}

void TPrefetcher::Cancel() {
  std::vector<TKept> Dropped;
  {
    const std::lock_guard L(Mutex);
    Queue.clear();
    if (Running)
      StopCurrent = true;
    Dropped.swap(Kept);
  }
  Finished.notify_all();
}

std::optional<TPrefetched> TPrefetcher::Take(const std::filesystem::path& Path, const TReadOptions& Options) {
  std::unique_lock L(Mutex);
  // Half of it is read already: the rest is sooner done than all of it.
  Finished.wait(L, [&] { return !(Running && Current == Path && !StopCurrent); });
  const auto I = std::find_if(Kept.begin(), Kept.end(), [&](const TKept& K) { return K.Image.Path == Path; });
  if (I == Kept.end())
    return std::nullopt;
  TKept Found = std::move(*I);
  Kept.erase(I);
  L.unlock();
  if (!SameOptions(Found.Options, PlainOptions(Options)))
    return std::nullopt;
  // Changed since it was read: the caller reads it again.
  std::error_code Ec;
  const auto Size = std::filesystem::file_size(Path, Ec);
  if (Ec || int64_t(Size) != Found.Image.Size)
    return std::nullopt;
  const auto Time = std::filesystem::last_write_time(Path, Ec);
  if (Ec || Time != Found.Image.Time)
    return std::nullopt;
  return std::move(Found.Image);
}

bool TPrefetcher::WaitIdle(int Milliseconds) {
  std::unique_lock L(Mutex);
  return Finished.wait_for(L, std::chrono::milliseconds(Milliseconds), [&] { return !Busy(); });
}

bool TPrefetcher::Holds(const std::filesystem::path& Path) const {
  const std::lock_guard L(Mutex);
  return std::any_of(Kept.begin(), Kept.end(), [&](const TKept& K) { return K.Image.Path == Path; });
}

uint64_t TPrefetcher::KeptBytes() const {
  const std::lock_guard L(Mutex);
  return KeptBytesLocked();
}

uint64_t TPrefetcher::KeptBytesLocked() const {
  uint64_t Sum = 0;
  for (const TKept& K : Kept)
    Sum += K.Bytes;
  return Sum;
}

void TPrefetcher::Run() {
  std::unique_lock L(Mutex);
  for (;;) {
    Wake.wait(L, [&] { return Stopping || !Queue.empty(); });
    if (Stopping)
      return;
    const TJob Job = std::move(Queue.front());
    Queue.pop_front();
    Current = Job.Path;
    Running = true;
    StopCurrent = false;
    const uint64_t Used = KeptBytesLocked();
    const uint64_t Room = Limit > Used ? Limit - Used : 0;
    L.unlock();
    std::optional<TKept> Read = ReadOne(Job, Room);
    L.lock();
    const bool Wanted = Read && !StopCurrent && !Stopping;
    if (Wanted)
      Kept.push_back(std::move(*Read));
    Running = false;
    Current.clear();
    L.unlock();
    Finished.notify_all();
    // A read not wanted any more is freed outside the lock.
    Read.reset();
    L.lock();
  }
}

std::optional<TPrefetcher::TKept> TPrefetcher::ReadOne(const TJob& Job, uint64_t Room) {
  ++Started;
  TKept K;
  K.Options = Job.Options;
  K.Image.Path = Job.Path;
  // Taken before the read, so that a change while it runs is seen later.
  std::error_code Ec;
  K.Image.Size = int64_t(std::filesystem::file_size(Job.Path, Ec));
  if (Ec)
    return std::nullopt;
  K.Image.Time = std::filesystem::last_write_time(Job.Path, Ec);
  if (Ec)
    return std::nullopt;
  TReadOptions O = Job.Options;
  O.OnProgress = [this](TProgressStage, int32_t, const TRect&, bool) {
    if (StopCurrent)
      throw TPrefetchStopped();
  };
  try {
    K.Image.Read = ReadFile(Job.Path, O, [&](std::unique_ptr<TDib>& Buffer, const TImageRead& Header) {
      // Too large for what is left of the bound, or no longer wanted: the
      // rows are not read at all.
      if (!Buffer || uint64_t(Buffer->ImageSize()) > Room || StopCurrent)
        throw TPrefetchStopped();
      K.Image.Header = Header.HeaderPart();
    });
  } catch (...) {
    return std::nullopt;
  }
  // A failed read is left to the viewer, which reports it.
  if (!K.Image.Read.Dib || K.Image.Read.Failure || StopCurrent)
    return std::nullopt;
  K.Bytes = uint64_t(K.Image.Read.Dib->ImageSize());
  return K;
}
