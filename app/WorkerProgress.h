#pragma once
#include <QString>
#include <cstdint>
#include <functional>

class QWidget;

// Told the rows finished so far out of all; called on the worker thread.
using TProgressFn = std::function<void(int32_t Done, int32_t Rows)>;

// Runs Work on a worker thread while the calling thread keeps painting and
// shows a progress dialog over Parent (after a moment, with Caption). User
// input waits until Work is done; what Work throws is thrown here.
void RunWithProgress(QWidget* Parent, const QString& Caption, const std::function<void(const TProgressFn&)>& Work);

// Some RunWithProgress is waiting for its worker: windows must not free
// what the worker reads, so they refuse to close meanwhile.
bool WorkerRunning();
