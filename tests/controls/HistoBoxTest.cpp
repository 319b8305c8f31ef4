#include "ControlTestUtil.h"
#include "DsHistoBox.h"

#include <QKeyEvent>
#include <QSignalSpy>
#include <QTest>

namespace {

// Sized as the tuning dialog has it, so that the level texts fit below.
struct HistoBoxFixture : ::testing::Test {
  HistoBoxFixture() { Box.resize(292, 82); }

  QPoint AtLevel(int Level) const { return {Level + THistoBox::LevelX, 30}; }
  // The last notification's levels, or -1s without one.
  static std::pair<int, int> Last(const QSignalSpy& Spy) {
    if (Spy.isEmpty())
      return {-1, -1};
    return {Spy.last().at(1).toInt(), Spy.last().at(2).toInt()};
  }

  THistoBox Box;
};

} // namespace

TEST_F(HistoBoxFixture, LevelsAreClampedAndEverySetNotifies) {
  QSignalSpy Switched(&Box, &THistoBox::OnSwitch);
  struct TStep {
    bool Min;
    int Value, ExpectedMin, ExpectedMax;
    bool ExpectedSwitched;
  };
  const TStep Steps[] = {
      {true, -5, 0, 255, false},   {false, 300, 0, 255, false},  {true, 40, 40, 255, true}, {false, 20, 40, 41, true},
      {true, 80, 40, 41, true},    {false, 200, 40, 200, true},  {true, 0, 0, 200, true},   {false, 255, 0, 255, false},
      {true, 255, 254, 255, true}, {false, 254, 254, 255, true},
  };
  int Count = 0;
  for (const TStep& S : Steps) {
    if (S.Min)
      Box.SetMin(S.Value);
    else
      Box.SetMax(S.Value);
    const std::string Step = (S.Min ? "min " : "max ") + std::to_string(S.Value);
    EXPECT_EQ((std::pair{Box.Min(), Box.Max()}), (std::pair{S.ExpectedMin, S.ExpectedMax})) << Step;
    EXPECT_EQ(Box.Switched(), S.ExpectedSwitched) << Step;
    ASSERT_EQ(Switched.count(), ++Count) << Step;
    EXPECT_EQ(Last(Switched), (std::pair{S.ExpectedMin, S.ExpectedMax})) << Step;
    EXPECT_EQ(Switched.last().at(0).value<THistoBox*>(), &Box);
  }
}

TEST_F(HistoBoxFixture, ResetLevelsNotifiesOnceAndOnlyWhenMoved) {
  QSignalSpy Switched(&Box, &THistoBox::OnSwitch);
  Box.ResetLevels();
  EXPECT_EQ(Switched.count(), 0);
  Box.SetMin(10);
  Box.SetMax(100);
  Switched.clear();
  Box.ResetLevels();
  ASSERT_EQ(Switched.count(), 1);
  EXPECT_EQ(Last(Switched), (std::pair{0, 255}));
  EXPECT_FALSE(Box.Switched());
  Box.SetMax(254);
  Box.ResetLevels();
  EXPECT_EQ(Switched.count(), 3) << "the maximum alone moving back notifies too";
}

TEST_F(HistoBoxFixture, KeysMoveTheLevelsWithinEachOther) {
  QSignalSpy Switched(&Box, &THistoBox::OnSwitch);
  struct TKeyStep {
    Qt::Key Key;
    int ExpectedMin, ExpectedMax;
    bool Notifies;
  };
  const TKeyStep Steps[] = {
      {Qt::Key_Home, 0, 255, true},      {Qt::Key_PageUp, 0, 255, true},     {Qt::Key_End, 1, 255, true},
      {Qt::Key_End, 2, 255, true},       {Qt::Key_Home, 1, 255, true},       {Qt::Key_PageDown, 1, 254, true},
      {Qt::Key_Backspace, 0, 255, true}, {Qt::Key_Backspace, 0, 255, false},
  };
  for (const TKeyStep& S : Steps) {
    const int Before = int(Switched.count());
    QTest::keyClick(&Box, S.Key);
    EXPECT_EQ((std::pair{Box.Min(), Box.Max()}), (std::pair{S.ExpectedMin, S.ExpectedMax})) << S.Key;
    EXPECT_EQ(Switched.count() - Before, S.Notifies ? 1 : 0) << S.Key;
  }

  Box.SetMax(1);
  Box.SetMin(0);
  Switched.clear();
  QTest::keyClick(&Box, Qt::Key_End);
  QTest::keyClick(&Box, Qt::Key_PageDown);
  EXPECT_EQ((std::pair{Box.Min(), Box.Max()}), (std::pair{0, 1})) << "neighbouring levels stay apart";
  EXPECT_EQ(Switched.count(), 0);
}

TEST_F(HistoBoxFixture, KeysStayHereExceptTheDialogsOwn) {
  for (Qt::Key Key : {Qt::Key_A, Qt::Key_Up, Qt::Key_Left, Qt::Key_Space, Qt::Key_Home, Qt::Key_Delete}) {
    QKeyEvent E(QEvent::KeyPress, Key, Qt::NoModifier);
    QApplication::sendEvent(&Box, &E);
    EXPECT_TRUE(E.isAccepted()) << Key;
  }
  for (Qt::Key Key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Enter}) {
    QKeyEvent E(QEvent::KeyPress, Key, Qt::NoModifier);
    QApplication::sendEvent(&Box, &E);
    EXPECT_FALSE(E.isAccepted()) << Key;
  }
}

TEST_F(HistoBoxFixture, LeftDragMovesTheMinimumAndStopsBelowTheMaximum) {
  Box.SetMax(120);
  QSignalSpy Switched(&Box, &THistoBox::OnSwitch);
  QTest::mousePress(&Box, Qt::LeftButton, {}, AtLevel(50));
  EXPECT_EQ(Box.Min(), 50);
  EXPECT_EQ(Box.DragMode(), THistoBox::dmMin);
  EXPECT_EQ(Box.cursor().shape(), Qt::SizeHorCursor);
  EXPECT_TRUE(Box.toolTip().isEmpty()) << "no hint while dragging";
  const std::pair<int, int> Moves[] = {{80, 80}, {120, 119}, {200, 119}, {-30, 0}, {300, 119}};
  for (const auto& [Level, Expected] : Moves) {
    QTest::mouseMove(&Box, AtLevel(Level));
    EXPECT_EQ(Box.Min(), Expected) << Level;
  }
  EXPECT_EQ(Box.Max(), 120);
  QTest::mouseRelease(&Box, Qt::LeftButton, {}, AtLevel(300));
  EXPECT_EQ(Box.DragMode(), THistoBox::dmNone);
  EXPECT_EQ(Box.cursor().shape(), Qt::ArrowCursor);
  EXPECT_EQ(Switched.count(), 6);
  EXPECT_EQ(Last(Switched), (std::pair{119, 120}));

  QTest::mouseClick(&Box, Qt::LeftButton, {}, AtLevel(120));
  QTest::mouseClick(&Box, Qt::LeftButton, {}, AtLevel(-1));
  EXPECT_EQ(Box.DragMode(), THistoBox::dmNone) << "a press at or above the maximum or left of the bars does nothing";
  EXPECT_EQ(Box.Min(), 119);
  EXPECT_EQ(Switched.count(), 6);
}

TEST_F(HistoBoxFixture, RightDragMovesTheMaximumAndStopsAboveTheMinimum) {
  Box.SetMin(60);
  QSignalSpy Switched(&Box, &THistoBox::OnSwitch);
  QTest::mouseClick(&Box, Qt::RightButton, {}, AtLevel(60));
  QTest::mouseClick(&Box, Qt::RightButton, {}, AtLevel(256));
  EXPECT_EQ(Switched.count(), 0) << "a right press at or below the minimum or right of the bars does nothing";

  QTest::mousePress(&Box, Qt::RightButton, {}, AtLevel(200));
  EXPECT_EQ(Box.Max(), 200);
  EXPECT_EQ(Box.DragMode(), THistoBox::dmMax);
  const std::pair<int, int> Moves[] = {{100, 100}, {60, 61}, {-10, 61}, {400, 255}};
  for (const auto& [Level, Expected] : Moves) {
    QTest::mouseMove(&Box, AtLevel(Level));
    EXPECT_EQ(Box.Max(), Expected) << Level;
  }
  QTest::mouseRelease(&Box, Qt::RightButton, {}, AtLevel(128));
  EXPECT_EQ(Box.DragMode(), THistoBox::dmNone);
  EXPECT_EQ(Box.cursor().shape(), Qt::PointingHandCursor);
  EXPECT_EQ(Box.toolTip(), THistoBox::HintText());
}

TEST_F(HistoBoxFixture, DrawsFrameBarsLevelLinesAndTexts) {
  std::array<int32_t, 256> Heights{};
  Heights[10] = 63;
  Heights[20] = 10;
  Heights[30] = 99; // drawn at the full height
  Box.SetHeights(Heights);
  Box.SetColor(Rgb(0xFF0000));
  Box.SetMin(100);
  Box.SetMax(200);
  Box.setFont(SolidFont());
  const QImage Image = Grab(Box);
  const auto At = [&](int Level, int y) { return Pixel(Image, Level + THistoBox::LevelX, y); };

  EXPECT_COLOR(At(10, 66), Rgb(0xFF0000));
  EXPECT_COLOR(At(10, 4), Rgb(0xFF0000));
  EXPECT_COLOR(At(10, 3), BtnFaceColor());
  EXPECT_COLOR(At(20, 57), Rgb(0xFF0000));
  EXPECT_COLOR(At(20, 56), Rgb(0xFFFFFF));
  EXPECT_COLOR(At(20, 4), Rgb(0xFFFFFF));
  EXPECT_COLOR(At(30, 4), Rgb(0xFF0000));
  EXPECT_COLOR(At(0, 66), Rgb(0xFFFFFF));
  for (int Level : {100, 200}) {
    EXPECT_COLOR(At(Level, 4), Rgb(0x000000)) << Level;
    EXPECT_COLOR(At(Level, 66), Rgb(0x000000)) << Level;
  }

  // The minimum's text ends at its line, the maximum's starts there.
  const int TextTop = Box.height() - 13;
  EXPECT_TRUE(HasColor(Image, QRect(100 + 16 - 30, TextTop, 30, 13), Qt::black));
  EXPECT_FALSE(HasColor(Image, QRect(100 + 17, TextTop, 60, 13), Qt::black));
  EXPECT_TRUE(HasColor(Image, QRect(200 + 16, TextTop, 30, 13), Qt::black));
  EXPECT_FALSE(HasColor(Image, QRect(200 + 16 - 40, TextTop, 40, 13), Qt::black));
  EXPECT_FALSE(HasColor(Image, QRect(0, 0, 12, 82), Qt::black)) << "no focus rectangle without the focus";
}
