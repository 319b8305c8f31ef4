#pragma once

#include <QHash>
#include <QObject>

#include <functional>

class TSimpleTimer;

// One shared hidden object receives the ticks of every TSimpleTimer; it lives
// while any timer does.
class TSimpleTimerHandler : public QObject {
  Q_OBJECT
public:
  static TSimpleTimerHandler* Acquire();
  static void Release();
  static TSimpleTimerHandler* Instance();

  int RefCount() const { return FRefCount; }

protected:
  void timerEvent(QTimerEvent* e) override;

private:
  friend class TSimpleTimer;
  TSimpleTimerHandler();

  int FRefCount = 0;
  QHash<int, TSimpleTimer*> FTimers;
};

// A light timer calling OnTimer(Sender) every Interval milliseconds while
// Active. Id is the identifier Qt gave the running timer (0 when stopped).
class TSimpleTimer {
public:
  using TTimerEvent = std::function<void(QObject* Sender)>;

  TSimpleTimer(QObject* Sender, TTimerEvent OnTimer);
  ~TSimpleTimer();
  TSimpleTimer(const TSimpleTimer&) = delete;
  TSimpleTimer& operator=(const TSimpleTimer&) = delete;

  bool Start(int Interval);
  void Stop();

  QObject* Sender() const { return FSender; }
  int Id() const { return FId; }
  bool Active() const { return FActive; }
  int Interval() const { return FInterval; }

  TTimerEvent OnTimer;

private:
  QObject* FSender;
  int FId = 0;
  bool FActive = false;
  int FInterval = 0;
};
