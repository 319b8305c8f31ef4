#include <gtest/gtest.h>

#include <vector>

#include "Progressors.h"

namespace {
struct TReport {
  TProgressStage Stage;
  int32_t Percent;
  TRect Rect;
  bool Draw;
};

struct TProgressLog {
  std::vector<TReport> Reports;
  TProgressEvent Event() {
    return [this](TProgressStage S, int32_t P, const TRect& R, bool D) { Reports.push_back({S, P, R, D}); };
  }
};
} // namespace

TEST(Progressor, TopDownReportsOnlyWhenPercentGrows) {
  TProgressLog Log;
  TXProgressor P;
  P.Init(640, 200, Log.Event());
  P.Start();
  P.RowDone();
  ASSERT_EQ(Log.Reports.size(), 1u) << "half a percent rounds to 0: no report";
  P.RowDone();
  ASSERT_EQ(Log.Reports.size(), 2u);
  EXPECT_EQ(Log.Reports[1].Percent, 1);
  EXPECT_TRUE(Log.Reports[1].Draw);
  EXPECT_EQ(Log.Reports[1].Rect, (TRect{0, 0, 640, 2}));
  P.RowDone();
  EXPECT_EQ(Log.Reports.back().Percent, 2) << "1.5 rounds to even";
  EXPECT_EQ(Log.Reports.back().Rect, (TRect{0, 2, 640, 3}));
  for (int I = 3; I < 200; ++I)
    P.RowDone();
  EXPECT_LE(Log.Reports.size(), 101u);
  P.Finish();
  EXPECT_EQ(Log.Reports.back().Stage, psEnd);
  EXPECT_EQ(Log.Reports.back().Percent, 100);
  EXPECT_EQ(Log.Reports.back().Rect, (TRect{0, 199, 640, 200})) << "99.5 already rounded to 100 a row early";
}

TEST(Progressor, SmallImagesNeverAskToDraw) {
  TProgressLog Log;
  TXProgressor P;
  P.Init(10, 50, Log.Event());
  P.Start();
  for (int I = 0; I < 50; ++I)
    P.RowDone();
  EXPECT_EQ(Log.Reports.size(), 51u) << "every row adds two percent";
  for (size_t I = 1; I < Log.Reports.size(); ++I) {
    EXPECT_FALSE(Log.Reports[I].Draw);
    EXPECT_TRUE(Log.Reports[I].Rect.IsEmpty());
  }
  P.Finish();
  EXPECT_TRUE(Log.Reports.back().Draw);
  EXPECT_EQ(Log.Reports.back().Rect, (TRect{0, 0, 10, 50}));
}

TEST(Progressor, BottomUpRectangles) {
  TProgressLog Log;
  TXProgressor P;
  P.Init(5, 1000, Log.Event());
  P.BottomUp = true;
  P.Start();
  for (int I = 0; I < 5; ++I)
    P.RowDone();
  EXPECT_EQ(Log.Reports.size(), 1u);
  P.RowDone();
  ASSERT_EQ(Log.Reports.size(), 2u);
  EXPECT_EQ(Log.Reports[1].Rect, (TRect{0, 994, 5, 1000}));
  for (int I = 0; I < 100; ++I)
    P.RowDone();
  P.Finish();
  EXPECT_EQ(Log.Reports.back().Rect, (TRect{0, 0, 5, Log.Reports[Log.Reports.size() - 2].Rect.Top}));
}

TEST(Progressor, ErrorAndInactive) {
  TProgressLog Log;
  TXProgressor Idle;
  Idle.OnProgress = Log.Event();
  Idle.Start();
  Idle.RowDone();
  Idle.Finish();
  EXPECT_TRUE(Log.Reports.empty()) << "nothing before Init";

  TXProgressor P;
  P.Init(7, 300, Log.Event());
  P.ReportRects = false;
  P.Start();
  for (int I = 0; I < 30; ++I)
    P.RowDone();
  EXPECT_FALSE(Log.Reports.back().Draw);
  P.Error();
  EXPECT_EQ(Log.Reports.back().Stage, psError);
  EXPECT_EQ(Log.Reports.back().Percent, 10);
  EXPECT_EQ(Log.Reports.back().Rect, (TRect{0, 0, 7, 300}));
  P.Finish();
  EXPECT_EQ(Log.Reports.back().Rect, (TRect{0, 0, 7, 300}));

  TXProgressor Silent;
  Silent.Init(1, 1, nullptr);
  Silent.Start();
  Silent.RowDone();
  Silent.Finish();
}
