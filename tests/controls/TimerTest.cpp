#include "ControlTestUtil.h"
#include "DsSpinEdit.h"
#include "SimpleTimer.h"

#include <QSignalSpy>
#include <QTest>

#include <memory>

TEST(SimpleTimer, SharesOneHandlerWhileAnyTimerLives) {
  QObject Owner;
  auto First = std::make_unique<TSimpleTimer>(&Owner, nullptr);
  TSimpleTimerHandler* Handler = TSimpleTimerHandler::Instance();
  ASSERT_NE(Handler, nullptr);
  const int Base = Handler->RefCount();
  {
    TSimpleTimer Second(&Owner, nullptr);
    EXPECT_EQ(TSimpleTimerHandler::Instance(), Handler);
    EXPECT_EQ(Handler->RefCount(), Base + 1);
  }
  EXPECT_EQ(Handler->RefCount(), Base);
  if (Base == 1) {
    First.reset();
    EXPECT_EQ(TSimpleTimerHandler::Instance(), nullptr);
    TSimpleTimer Again(&Owner, nullptr);
    EXPECT_NE(TSimpleTimerHandler::Instance(), nullptr);
    EXPECT_TRUE(Again.Start(1000));
  }
}

TEST(SimpleTimer, StartStopAndTicks) {
  QObject Owner;
  QObject* SeenSender = nullptr;
  int Ticks = 0;
  TSimpleTimer Timer(&Owner, [&](QObject* Sender) {
    SeenSender = Sender;
    ++Ticks;
  });
  EXPECT_FALSE(Timer.Active());
  EXPECT_EQ(Timer.Id(), 0);
  EXPECT_TRUE(Timer.Start(1));
  EXPECT_TRUE(Timer.Active());
  EXPECT_NE(Timer.Id(), 0);
  EXPECT_EQ(Timer.Interval(), 1);
  EXPECT_TRUE(QTest::qWaitFor([&] { return Ticks >= 2; }, 5000));
  EXPECT_EQ(SeenSender, &Owner);

  Timer.Stop();
  EXPECT_FALSE(Timer.Active());
  const int Stopped = Ticks;
  QCoreApplication::processEvents();
  QCoreApplication::processEvents();
  EXPECT_EQ(Ticks, Stopped);

  EXPECT_FALSE(Timer.Start(-1));
  EXPECT_FALSE(Timer.Active());
}

TEST(SimpleTimer, RestartingReplacesTheRunningTimer) {
  QObject Owner;
  int Ticks = 0;
  TSimpleTimer Timer(&Owner, [&](QObject*) { ++Ticks; });
  Timer.Start(100000);
  Timer.Start(1);
  EXPECT_TRUE(QTest::qWaitFor([&] { return Ticks >= 1; }, 5000));
  EXPECT_TRUE(Timer.Active());
  EXPECT_EQ(Timer.Interval(), 1);
}

TEST(SimpleTimer, ATimerMayBeDestroyedInItsOwnTick) {
  QObject Owner;
  int Ticks = 0;
  auto Timer = std::make_unique<TSimpleTimer>(&Owner, nullptr);
  Timer->OnTimer = [&](QObject*) {
    ++Ticks;
    Timer.reset();
  };
  Timer->Start(1);
  EXPECT_TRUE(QTest::qWaitFor([&] { return !Timer; }, 5000));
  QCoreApplication::processEvents();
  EXPECT_EQ(Ticks, 1);
}

TEST(TimerSpeedButton, PressClicksThenRepeatsAt250And21Milliseconds) {
  TTimerSpeedButton Button;
  Button.resize(15, 11);
  QSignalSpy Clicked(&Button, &QAbstractButton::clicked);
  const TSimpleTimer& Timer = Button.RepeatTimer();

  QTest::mousePress(&Button, Qt::LeftButton);
  EXPECT_EQ(Clicked.count(), 1);
  EXPECT_TRUE(Timer.Active());
  EXPECT_EQ(Timer.Interval(), 250);

  Button.TimerExpired();
  EXPECT_EQ(Clicked.count(), 2);
  EXPECT_EQ(Timer.Interval(), 21);
  Button.TimerExpired();
  Button.TimerExpired();
  EXPECT_EQ(Clicked.count(), 4);
  EXPECT_EQ(Timer.Interval(), 21);

  QTest::mouseRelease(&Button, Qt::LeftButton);
  EXPECT_FALSE(Timer.Active());
  EXPECT_EQ(Clicked.count(), 4);
  Button.TimerExpired();
  EXPECT_EQ(Clicked.count(), 4);
}

TEST(TimerSpeedButton, NoRepeatWhileThePointerIsOutside) {
  TTimerSpeedButton Button;
  Button.resize(15, 11);
  QSignalSpy Clicked(&Button, &QAbstractButton::clicked);
  QTest::mousePress(&Button, Qt::LeftButton);
  QTest::mouseMove(&Button, QPoint(40, 40));
  Button.TimerExpired();
  EXPECT_EQ(Clicked.count(), 1);
  QTest::mouseMove(&Button, QPoint(5, 5));
  Button.TimerExpired();
  EXPECT_EQ(Clicked.count(), 2);
  QTest::mouseRelease(&Button, Qt::LeftButton, {}, QPoint(5, 5));
}

TEST(TimerSpeedButton, DisablingStopsTheRepeat) {
  TTimerSpeedButton Button;
  Button.resize(15, 11);
  QSignalSpy Clicked(&Button, &QAbstractButton::clicked);
  QTest::mousePress(&Button, Qt::LeftButton);
  Button.setEnabled(false);
  EXPECT_FALSE(Button.RepeatTimer().Active());
  Button.TimerExpired();
  EXPECT_EQ(Clicked.count(), 1);
}

TEST(TimerSpeedButton, HeldSpinButtonKeepsStepping) {
  TPeSpinEdit Spin;
  Spin.SetMinValue(0);
  Spin.SetMaxValue(3);
  Spin.resize(80, 22);
  TTimerSpeedButton* Up = Spin.Button()->UpButton();
  QTest::mousePress(Up, Qt::LeftButton);
  for (int i = 0; i < 5; ++i)
    Up->TimerExpired();
  QTest::mouseRelease(Up, Qt::LeftButton);
  EXPECT_EQ(Spin.Value(), 3);
}
