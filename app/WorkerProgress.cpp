#include "WorkerProgress.h"

#include <QCoreApplication>
#include <QProgressDialog>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

namespace {
constexpr int ShowAfterMs = 400, PollMs = 20;
int Running = 0;

// Counts a running worker for the life of a scope, also when it throws.
class TRunningScope {
public:
  TRunningScope() { ++Running; }
  ~TRunningScope() { --Running; }
  TRunningScope(const TRunningScope&) = delete;
  TRunningScope& operator=(const TRunningScope&) = delete;
};
} // namespace

bool WorkerRunning() { return Running > 0; }

void RunWithProgress(QWidget* Parent, const QString& Caption, const std::function<void(const TProgressFn&)>& Work) {
  std::atomic<int32_t> Done{0}, Rows{1};
  std::mutex Lock;
  std::condition_variable Wake;
  bool Finished = false;
  std::exception_ptr Error;
  TRunningScope Scope;
  std::thread Worker([&] {
    try {
      Work([&](int32_t D, int32_t R) {
        Done = D;
        Rows = std::max(R, 1);
      });
    } catch (...) {
      Error = std::current_exception();
    }
    const std::lock_guard<std::mutex> Guard(Lock);
    Finished = true;
    Wake.notify_one();
  });
  {
    QProgressDialog Progress(Caption, QString(), 0, 100, Parent);
    Progress.setWindowModality(Qt::WindowModal);
    Progress.setMinimumDuration(ShowAfterMs);
    for (;;) {
      QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, PollMs);
      Progress.setValue(int(int64_t(Done) * 100 / Rows));
      // Waiting here rather than spinning leaves the cores to the worker.
      std::unique_lock<std::mutex> Wait(Lock);
      if (Wake.wait_for(Wait, std::chrono::milliseconds(PollMs), [&] { return Finished; }))
        break;
    }
  }
  Worker.join();
  if (Error)
    std::rethrow_exception(Error);
}
