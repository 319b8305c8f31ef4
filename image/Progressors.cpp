#include "Progressors.h"

#include <algorithm>
#include <cmath>

void TXProgressor::Init(int32_t AWidth, int32_t AHeight, TProgressEvent AOnProgress) {
  Width = AWidth;
  Height = AHeight;
  OnProgress = std::move(AOnProgress);
  // Readers never pass an empty image; a zero height simply never reports rows.
  Step = AHeight > 0 ? 100.0 / AHeight : 0.0;
  ReportRects = true;
  BigEnough = AHeight >= 100;
  Active = true;
}

void TXProgressor::Report(TProgressStage Stage, const TRect& Rect, bool Draw) const {
  if (OnProgress)
    OnProgress(Stage, Percent, Rect, Draw);
}

void TXProgressor::Start() {
  if (!Active)
    return;
  Percent = 0;
  RowsDone = BottomUp ? Height : 0;
  LastRow = RowsDone;
  Report(psStart, TRect{}, false);
}

void TXProgressor::RowDone() {
  if (!Active)
    return;
  int32_t P;
  // nearbyint rounds half to even under the default rounding mode.
  if (BottomUp) {
    --RowsDone;
    P = int32_t(std::nearbyint((Height - RowsDone) * Step));
  } else {
    ++RowsDone;
    P = int32_t(std::nearbyint(RowsDone * Step));
  }
  if (P <= Percent)
    return;
  const bool Draw = ReportRects && BigEnough;
  Percent = P;
  TRect R{};
  if (Draw)
    R = TRect{0, std::min(LastRow, RowsDone), Width, std::max(LastRow, RowsDone)};
  Report(psProgress, R, Draw);
  LastRow = RowsDone;
}

void TXProgressor::Error() {
  if (!Active)
    return;
  Report(psError, TRect{0, 0, Width, Height}, BigEnough);
}

void TXProgressor::Finish() {
  if (!Active)
    return;
  Percent = 100;
  TRect R{0, 0, Width, Height};
  if (ReportRects && BigEnough)
    R = BottomUp ? TRect{0, 0, Width, LastRow} : TRect{0, LastRow, Width, Height};
  Report(psEnd, R, true);
}
