#include <gtest/gtest.h>

#include "PrintLayout.h"

namespace {

// A4 at 600 dpi with a printable area 100 pixels in from the left, 80 from
// the top and 60 from the other two edges.
TPrinterFacts A4At600() {
  TPrinterFacts F;
  F.PhysWidth = 4960;
  F.PhysHeight = 7016;
  F.OffsetX = 100;
  F.OffsetY = 80;
  F.PageWidth = 4960 - 160;
  F.PageHeight = 7016 - 140;
  F.HorzSize = 203;
  F.VertSize = 291;
  return F;
}

TPrinterFacts Landscape(TPrinterFacts F) {
  std::swap(F.PhysWidth, F.PhysHeight);
  std::swap(F.PageWidth, F.PageHeight);
  std::swap(F.OffsetX, F.OffsetY);
  std::swap(F.HorzSize, F.VertSize);
  return F;
}

} // namespace

TEST(PrintLayout, SheetKeepsItsAspectInThePanel) {
  const TSheetLayout Portrait = LayoutSheet(A4At600(), 360, 360);
  EXPECT_EQ(Portrait.Sheet, (TIntRect{54, 2, 252, 356}));
  EXPECT_DOUBLE_EQ(Portrait.Scale, 356.0 / 7016);
  const TSheetLayout Wide = LayoutSheet(Landscape(A4At600()), 360, 360);
  EXPECT_EQ(Wide.Sheet, (TIntRect{2, 54, 356, 252}));
  EXPECT_DOUBLE_EQ(Wide.Scale, 356.0 / 7016);
  // A printer that answers nothing gives an empty sheet, not a division by zero.
  EXPECT_EQ(LayoutSheet(TPrinterFacts{}, 360, 360).Scale, 0);
}

TEST(PrintLayout, PrintableEdgesAreTheLastColumnsAndRowsInside) {
  const TPrinterFacts F = A4At600();
  const double K = 0.05;
  // 100 x 0.05 = 5; (100 + 4800) x 0.05 = 245, minus one; 80 x 0.05 = 4; 6956 x 0.05 = 347.8.
  EXPECT_EQ(PrintableEdges(F, K), (TPreviewEdges{5, 4, 244, 347}));
}

TEST(PrintLayout, FitScaleIsTheSmallerRatioWithinTheSpinRange) {
  TPrinterFacts F;
  F.PageWidth = 4800;
  F.PageHeight = 6600;
  struct TCase {
    int32_t W, H, Scale;
  } Cases[] = {{3000, 2000, 160}, {2000, 6600, 100}, {1, 1, MaxPrintScale}, {1000000, 5, MinPrintScale}, {0, 5, 100}};
  for (const TCase& C : Cases)
    EXPECT_EQ(FitScale(F, C.W, C.H), C.Scale) << C.W << " x " << C.H;
}

TEST(PrintLayout, ImagePlacementOnThePage) {
  const TPrinterFacts F = A4At600();
  struct TCase {
    int32_t W, H, Scale;
    bool CX, CY;
    TIntRect Expected;
  } Cases[] = {
      {600, 400, 100, true, true, {2100, 3238, 600, 400}},
      {600, 400, 100, false, false, {0, 0, 600, 400}},
      {600, 400, 250, true, false, {1650, 0, 1500, 1000}},
      {3, 3, 50, false, true, {0, 3437, 2, 2}}, // 1.5 rounds to the even 2
      // Wider than the area: centered, it reaches past both edges.
      {6000, 100, 100, true, true, {-600, 3388, 6000, 100}},
      {6001, 100, 100, true, false, {-600, 0, 6001, 100}}, // -1201 div 2 truncates toward zero
  };
  for (const TCase& C : Cases)
    EXPECT_EQ(PrintImageRect(F, C.W, C.H, C.Scale, C.CX, C.CY), C.Expected) << C.W << " at " << C.Scale;
}

TEST(PrintLayout, PreviewShowsTheImageWhereItPrints) {
  const TPrinterFacts F = A4At600();
  const double K = 0.05;
  // Centered: (100 + 2100) x 0.05 = 110, (80 + 3238) x 0.05 = 165.9.
  EXPECT_EQ(PreviewImageRect(F, K, 600, 400, 100, true, true), (TIntRect{110, 166, 30, 20}));
  // At the top left the image starts at the printable area's edges.
  const TPreviewEdges E = PrintableEdges(F, K);
  const TIntRect TopLeft = PreviewImageRect(F, K, 600, 400, 200, false, false);
  EXPECT_EQ(TopLeft, (TIntRect{E.Left, E.Top, 60, 40}));
}

TEST(PrintLayout, ClipKeepsWholeSourcePixelsInsideThePrintableArea) {
  struct TCase {
    const char* What;
    TIntRect Placed;
    int32_t W, H;
    bool Visible;
    TImagePart Expected;
  } Cases[] = {
      {"inside", {10, 20, 40, 30}, 40, 30, true, {0, 0, 40, 30, 10, 20, 40, 30}},
      {"past the right and bottom", {80, 90, 40, 30}, 40, 30, true, {0, 0, 20, 10, 80, 90, 20, 10}},
      {"before the left and top", {-15, -4, 40, 30}, 40, 30, true, {15, 4, 25, 26, -0.0, 0, 25, 26}},
      // Three device pixels a source pixel: a cut pixel is kept whole.
      {"scaled, cut in a pixel", {-4, 0, 30, 30}, 10, 10, true, {1, 0, 9, 10, -1, 0, 27, 30}},
      {"scaled, cut at the far edge", {95, 0, 30, 30}, 10, 10, true, {0, 0, 2, 10, 95, 0, 6, 30}},
      {"outside", {100, 0, 40, 30}, 40, 30, false, {}},
      {"empty", {0, 0, 0, 30}, 40, 30, false, {}},
  };
  for (const TCase& C : Cases) {
    TImagePart P;
    ASSERT_EQ(ClipImage(C.Placed, C.W, C.H, 100, 100, P), C.Visible) << C.What;
    if (!C.Visible)
      continue;
    const TImagePart& X = C.Expected;
    EXPECT_EQ(P.SrcX, X.SrcX) << C.What;
    EXPECT_EQ(P.SrcY, X.SrcY) << C.What;
    EXPECT_EQ(P.SrcWidth, X.SrcWidth) << C.What;
    EXPECT_EQ(P.SrcHeight, X.SrcHeight) << C.What;
    EXPECT_DOUBLE_EQ(P.DstX, X.DstX) << C.What;
    EXPECT_DOUBLE_EQ(P.DstY, X.DstY) << C.What;
    EXPECT_DOUBLE_EQ(P.DstWidth, X.DstWidth) << C.What;
    EXPECT_DOUBLE_EQ(P.DstHeight, X.DstHeight) << C.What;
  }
}

TEST(PrintLayout, TitleHeightAndPosition) {
  EXPECT_EQ(TitleHeight(16), 32);
  EXPECT_EQ(TitleHeight(-16), 32);
  EXPECT_EQ(PreviewTitleHeight(64, 0.05), 3);
  EXPECT_EQ(PreviewTitleHeight(4, 0.05), 1);
  const TPrinterFacts F = A4At600();
  const TSheetLayout L = LayoutSheet(F, 360, 360);
  const TPreviewEdges E = PrintableEdges(F, L.Scale);
  // The label at the printable area's corner prints at the area's origin;
  // one preview pixel further is 1 / scale device pixels.
  const TIntPoint Corner{L.Sheet.Left + E.Left, L.Sheet.Top + E.Top};
  EXPECT_EQ(TitleDevicePos(Corner, L, E), (TIntPoint{0, 0}));
  EXPECT_EQ(TitleDevicePos({Corner.X + 10, Corner.Y + 1}, L, E), (TIntPoint{197, 20}));
  EXPECT_EQ(CenteredLeft(4800, 1001), 1899);
  EXPECT_EQ(CenteredLeft(100, 103), -1);
}

TEST(PrintLayout, TitleIsKeptInsideThePrintableArea) {
  const TPrinterFacts F = A4At600();
  const TSheetLayout L = LayoutSheet(F, 360, 360);
  const TPreviewEdges E = PrintableEdges(F, L.Scale);
  const int32_t Left = L.Sheet.Left + E.Left, Top = L.Sheet.Top + E.Top;
  EXPECT_EQ(KeepTitleInside({0, 0}, 40, false, L, E), (TIntPoint{Left, Top}));
  EXPECT_EQ(KeepTitleInside({Left + 30, Top + 50}, 40, false, L, E), (TIntPoint{Left + 30, Top + 50}));
  const int32_t Width = E.Right + 1 - E.Left;
  EXPECT_EQ(KeepTitleInside({Left + 30, Top + 50}, 40, true, L, E), (TIntPoint{Left + (Width - 40) / 2, Top + 50}));
}

TEST(PrintLayout, SizesInMillimetres) {
  const TPrinterFacts F = A4At600();
  EXPECT_EQ(PaperSizeMm(F), (TMmSize{210, 297}));
  // 600 pixels at 250 % is 1500 device pixels: 1500 x 203 / 4800 = 63.4.
  EXPECT_EQ(ImageSizeMm(F, 600, 400, 250), (TMmSize{63, 42}));
  EXPECT_EQ(ImageSizeMm(TPrinterFacts{}, 600, 400, 100), (TMmSize{0, 0}));
}
