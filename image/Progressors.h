#pragma once
#include <cstdint>
#include <functional>

#include "Rects.h"

enum TProgressStage : int32_t { psStart = 0, psProgress = 1, psError = 2, psEnd = 3 };

// Receiver of progress reports: stage, percent, the rows newly finished and
// whether they are worth drawing now.
using TProgressEvent = std::function<void(TProgressStage Stage, int32_t Percent, const TRect& Rect, bool Draw)>;

// Turns "one more row done" into at most 100 percentage reports, each with the
// rectangle of rows finished since the previous one, whichever way rows arrive.
class TXProgressor {
public:
  void Init(int32_t AWidth, int32_t AHeight, TProgressEvent AOnProgress);
  void Start();
  void RowDone();
  void Error();
  void Finish();

  int32_t Percent = 0;
  double Step = 0;
  int32_t RowsDone = 0;
  int32_t LastRow = 0;
  int32_t Width = 0, Height = 0;
  bool BottomUp = false;
  bool ReportRects = false;
  bool BigEnough = false;
  TProgressEvent OnProgress;
  bool Active = false;

private:
  void Report(TProgressStage Stage, const TRect& Rect, bool Draw) const;
};
