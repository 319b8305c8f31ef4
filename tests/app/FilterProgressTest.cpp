#include <QAction>
#include <QTimer>

#include "AppTestUtil.h"
#include "DibFilter.h"

namespace {

class FilterProgress : public TMainFixture {};

} // namespace

TEST_F(FilterProgress, ALongFilterKeepsTheEventLoopRunningAndGivesTheRoutinesResult) {
  Settings.UndoEnabled = true;
  Main->ApplyUndoSetting();
  Main->AdoptImage(Pattern24(2400, 1600), QStringLiteral("pattern"));
  const std::unique_ptr<TDib> Before = Main->Image->Clone();
  // Timers fire while the worker filters: the window keeps painting.
  int Ticks = 0;
  QTimer Tick;
  QObject::connect(&Tick, &QTimer::timeout, [&Ticks] { ++Ticks; });
  Tick.start(5);
  Main->Guarded([this] { Main->ApplyFilterWithProgress(fnGaussBlur, 0, 40); });
  Tick.stop();
  EXPECT_GT(Ticks, 0);
  std::unique_ptr<TDib> Expected = Before->Clone();
  ApplyFilter(*Before, *Expected, fnGaussBlur, 0, 40);
  EXPECT_TRUE(SamePixels(*Main->Image, *Expected));
  EXPECT_FALSE(Main->ModalLock);
  Main->UndoItemClick();
  EXPECT_TRUE(SamePixels(*Main->Image, *Before));
  Settings.UndoEnabled = false;
}
