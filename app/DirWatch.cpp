#include "DirWatch.h"

#include <QFile>
#include <QMetaObject>
#include <QtGlobal>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <string>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

using TClock = std::chrono::steady_clock;

namespace {

// A burst of changes (a program writing many files) becomes one notice:
// it is sent once nothing changed for Quiet, or MaxDelay after the first.
constexpr auto Quiet = std::chrono::milliseconds(100);
constexpr auto MaxDelay = std::chrono::milliseconds(500);

// Names and last-write times; a touch changes only the attributes.
constexpr uint32_t FileEvents =
    IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_CLOSE_WRITE | IN_MODIFY | IN_ATTRIB;
// The folder itself went away or moved: its files are no longer where the
// owner looks for them.
constexpr uint32_t FolderGone = IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT;

// Reads enough at a time to come back to the stop check soon while changes
// keep coming.
constexpr int MaxReadsAtOnce = 64;

} // namespace

struct TDirWatch::TShared {
  QObject* Context = nullptr;
  std::function<void()> OnChange;
  int WakeFd = -1;

  std::mutex Lock;
  std::condition_variable Cond;
  // Under Lock.
  bool Stopping = false;
  bool RestartPending = false;
  std::string Folder;
  bool CallDone = true;

  std::atomic<bool> Busy{false};
  std::atomic<int> Restarts{0};
  std::atomic<bool> Watching{false};

  void Wake() const {
    const uint64_t One = 1;
    while (write(WakeFd, &One, sizeof One) < 0 && errno == EINTR) {
    }
  }
};

namespace {

using TShared = TDirWatch::TShared;

// Runs on the thread of Context. The stop request may have come since the
// call was queued; then the owner is going away and nothing may run.
void RunCallback(const std::shared_ptr<TShared>& S) {
  {
    std::lock_guard L(S->Lock);
    if (S->Stopping || S->CallDone)
      return;
  }
  try {
    S->OnChange();
  } catch (const std::exception& E) {
    qWarning("Folder notice failed: %s", E.what());
  } catch (...) {
    qWarning("Folder notice failed");
  }
  {
    std::lock_guard L(S->Lock);
    S->CallDone = true;
  }
  S->Cond.notify_all();
}

// The thread's side of a notice: queued to Context, then waited for until
// it returned or a stop is asked. A blocking queued call would leave the
// thread stuck when the owner's thread stops it and waits for it to end.
bool Dispatch(const std::shared_ptr<TShared>& S) {
  std::unique_lock L(S->Lock);
  if (S->Stopping)
    return false;
  S->CallDone = false;
  L.unlock();
  QMetaObject::invokeMethod(
      S->Context, [S] { RunCallback(S); }, Qt::QueuedConnection);
  L.lock();
  S->Cond.wait(L, [&] { return S->CallDone || S->Stopping; });
  return !S->Stopping;
}

int OpenWatch(const std::string& Folder) {
  if (Folder.empty())
    return -1;
  const int Fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (Fd < 0)
    return -1;
  if (inotify_add_watch(Fd, Folder.c_str(), FileEvents | FolderGone | IN_ONLYDIR | IN_EXCL_UNLINK) < 0) {
    close(Fd);
    return -1;
  }
  return Fd;
}

void CloseWatch(int& Fd) {
  if (Fd >= 0)
    close(Fd);
  Fd = -1;
}

// Reads what is queued; true when any of it is a change of a file in the
// folder (subfolders and their contents do not count). Gone: the watch has
// ended.
bool ReadEvents(int Fd, bool& Gone) {
  alignas(inotify_event) char Buffer[8192];
  bool Changed = false;
  for (int Reads = 0; Reads < MaxReadsAtOnce; ++Reads) {
    const ssize_t Length = read(Fd, Buffer, sizeof Buffer);
    if (Length < 0 && errno == EINTR)
      continue;
    if (Length <= 0)
      break;
    for (ssize_t At = 0; At + ssize_t(sizeof(inotify_event)) <= Length;) {
      const auto* E = reinterpret_cast<const inotify_event*>(Buffer + At);
      At += ssize_t(sizeof(inotify_event) + E->len);
      if (E->mask & IN_Q_OVERFLOW)
        Changed = true;
      if (E->mask & IN_IGNORED)
        Gone = true;
      if (E->mask & FolderGone) {
        Changed = true;
        Gone = true;
      } else if (!(E->mask & IN_ISDIR) && (E->mask & FileEvents)) {
        Changed = true;
      }
    }
  }
  return Changed;
}

class TWatchLoop {
public:
  explicit TWatchLoop(std::shared_ptr<TShared> AShared) : S(std::move(AShared)) {}
  ~TWatchLoop() { Unwatch(); }
  TWatchLoop(const TWatchLoop&) = delete;
  TWatchLoop& operator=(const TWatchLoop&) = delete;

  void Run() {
    for (;;) {
      pollfd Fds[2] = {{S->WakeFd, POLLIN, 0}, {Notify, POLLIN, 0}};
      const int Count = poll(Fds, Notify >= 0 ? 2 : 1, Timeout());
      if (Count < 0 && errno != EINTR)
        return;
      if (Count > 0 && (Fds[0].revents & POLLIN)) {
        uint64_t Value;
        while (read(S->WakeFd, &Value, sizeof Value) < 0 && errno == EINTR) {
        }
      }
      std::string NewFolder;
      bool Restart = false;
      {
        std::lock_guard L(S->Lock);
        if (S->Stopping)
          return;
        if (S->RestartPending) {
          Restart = true;
          NewFolder = S->Folder;
          S->RestartPending = false;
        }
      }
      if (Restart) {
        Watch(NewFolder);
        continue;
      }
      if (Count > 0 && Notify >= 0 && Fds[1].revents)
        Collect();
      if (Pending && TClock::now() >= Deadline()) {
        Pending = false;
        if (!S->Busy && !Dispatch(S))
          return;
        // Changes while the owner handled the notice are not passed on:
        // they are mostly its own doing.
        Discard();
      }
    }
  }

private:
  void Watch(const std::string& Folder) {
    Unwatch();
    Pending = false;
    Notify = OpenWatch(Folder);
    S->Watching = Notify >= 0;
    ++S->Restarts;
  }

  void Unwatch() {
    CloseWatch(Notify);
    S->Watching = false;
  }

  void Collect() {
    bool Gone = false;
    if (ReadEvents(Notify, Gone)) {
      const TClock::time_point Now = TClock::now();
      if (!Pending)
        First = Now;
      Last = Now;
      Pending = true;
    }
    // The notice still goes out; the next folder comes with SetFolder.
    if (Gone)
      Unwatch();
  }

  void Discard() {
    if (Notify < 0)
      return;
    bool Gone = false;
    ReadEvents(Notify, Gone);
    if (Gone)
      Unwatch();
  }

  TClock::time_point Deadline() const { return std::min(Last + Quiet, First + MaxDelay); }

  int Timeout() const {
    if (!Pending)
      return -1;
    const auto Left = std::chrono::ceil<std::chrono::milliseconds>(Deadline() - TClock::now()).count();
    return int(std::max<decltype(Left)>(Left, 0));
  }

  std::shared_ptr<TShared> S;
  int Notify = -1;
  bool Pending = false;
  TClock::time_point First, Last;
};

} // namespace

TDirWatch::TDirWatch(QObject* Context, std::function<void()> OnChange) : Shared(std::make_shared<TShared>()) {
  Shared->Context = Context;
  Shared->OnChange = std::move(OnChange);
  Shared->WakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  // Without a way to wake the thread it could not be stopped: the program
  // then goes without notices.
  if (Shared->WakeFd < 0) {
    qWarning("The folder watcher cannot start: no event descriptor");
    return;
  }
  try {
    Thread = std::thread([S = Shared] { TWatchLoop(S).Run(); });
  } catch (const std::exception& E) {
    qWarning("The folder watcher cannot start: %s", E.what());
  }
}

TDirWatch::~TDirWatch() {
  Stop();
  if (Shared->WakeFd >= 0)
    close(Shared->WakeFd);
}

void TDirWatch::SetFolder(const QString& Path) {
  QString Name = Path;
  // The root keeps its "/": without it, it would mean no folder.
  if (Name.size() > 1 && Name.endsWith(QLatin1Char('/')))
    Name.chop(1);
  if (Name == FolderName)
    return;
  FolderName = Name;
  {
    std::lock_guard L(Shared->Lock);
    if (Shared->Stopping || !Thread.joinable())
      return;
    Shared->Folder = QFile::encodeName(Name).toStdString();
    Shared->RestartPending = true;
  }
  Shared->Wake();
}

void TDirWatch::SetBusy(bool Busy) { Shared->Busy = Busy; }

void TDirWatch::Stop() {
  {
    std::lock_guard L(Shared->Lock);
    Shared->Stopping = true;
  }
  Shared->Cond.notify_all();
  if (!Thread.joinable())
    return;
  Shared->Wake();
  Thread.join();
}

int TDirWatch::Restarts() const { return Shared->Restarts; }

bool TDirWatch::Watching() const { return Shared->Watching; }
