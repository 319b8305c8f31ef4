#include "SimpleTimer.h"

#include <QCoreApplication>
#include <QPointer>
#include <QTimerEvent>

#include <algorithm>

namespace {

QPointer<TSimpleTimerHandler>& SharedHandler() {
  static QPointer<TSimpleTimerHandler> Handler;
  return Handler;
}

} // namespace

// Parented to the application so that it goes at program end even if a
// timer is never released.
TSimpleTimerHandler::TSimpleTimerHandler() : QObject(QCoreApplication::instance()) {}

TSimpleTimerHandler* TSimpleTimerHandler::Acquire() {
  QPointer<TSimpleTimerHandler>& Handler = SharedHandler();
  if (!Handler)
    Handler = new TSimpleTimerHandler;
  ++Handler->FRefCount;
  return Handler;
}

void TSimpleTimerHandler::Release() {
  QPointer<TSimpleTimerHandler>& Handler = SharedHandler();
  if (!Handler || --Handler->FRefCount > 0)
    return;
  // A timer may be released from inside its own tick.
  Handler->deleteLater();
  Handler = nullptr;
}

TSimpleTimerHandler* TSimpleTimerHandler::Instance() { return SharedHandler(); }

void TSimpleTimerHandler::timerEvent(QTimerEvent* e) {
  TSimpleTimer* Timer = FTimers.value(e->timerId());
  if (Timer && Timer->OnTimer)
    Timer->OnTimer(Timer->Sender());
}

TSimpleTimer::TSimpleTimer(QObject* Sender, TTimerEvent OnTimer) : OnTimer(std::move(OnTimer)), FSender(Sender) {
  TSimpleTimerHandler::Acquire();
}

TSimpleTimer::~TSimpleTimer() {
  Stop();
  TSimpleTimerHandler::Release();
}

bool TSimpleTimer::Start(int Interval) {
  Stop();
  FInterval = Interval;
  TSimpleTimerHandler* Handler = TSimpleTimerHandler::Instance();
  if (Handler && Interval >= 0)
    FId = Handler->startTimer(std::max(Interval, 1), Qt::PreciseTimer);
  if (FId != 0)
    Handler->FTimers.insert(FId, this);
  FActive = FId != 0;
  return FActive;
}

void TSimpleTimer::Stop() {
  FActive = false;
  if (FId == 0)
    return;
  if (TSimpleTimerHandler* Handler = TSimpleTimerHandler::Instance()) {
    Handler->killTimer(FId);
    Handler->FTimers.remove(FId);
  }
  FId = 0;
}
