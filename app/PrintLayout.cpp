#include "PrintLayout.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

constexpr int32_t PanelBorder = 2;

// Halves go to the even neighbour; huge values are cut before the cast.
int32_t RoundI(double Value) { return int32_t(std::nearbyint(std::clamp(Value, -1e9, 1e9))); }

// Division truncating toward zero, as the layout's "div" does.
int32_t Half(int64_t Value) { return int32_t(Value / 2); }

int64_t FloorDiv(int64_t A, int64_t B) { return A >= 0 ? A / B : -((-A + B - 1) / B); }
int64_t CeilDiv(int64_t A, int64_t B) { return -FloorDiv(-A, B); }

// The source pixels of a span Placed..Placed+Length (Pixels wide) that
// fall inside 0..Clip, and where they land.
bool ClipSpan(int32_t Placed, int32_t Length, int32_t Pixels, int32_t Clip, int32_t& Src, int32_t& SrcLength,
              double& Dst, double& DstLength) {
  const int64_t From = std::max<int64_t>(0, Placed), To = std::min<int64_t>(Clip, int64_t(Placed) + Length);
  if (Length <= 0 || Pixels <= 0 || From >= To)
    return false;
  const int64_t First = FloorDiv((From - Placed) * Pixels, Length);
  const int64_t Last = std::min<int64_t>(CeilDiv((To - Placed) * Pixels, Length), Pixels);
  Src = int32_t(First);
  SrcLength = int32_t(Last - First);
  const double Step = double(Length) / Pixels;
  Dst = Placed + First * Step;
  DstLength = SrcLength * Step;
  return SrcLength > 0;
}

} // namespace

TSheetLayout LayoutSheet(const TPrinterFacts& F, int32_t PanelWidth, int32_t PanelHeight) {
  TSheetLayout L;
  if (F.PhysWidth <= 0 || F.PhysHeight <= 0)
    return L;
  TIntRect& S = L.Sheet;
  if (F.PhysWidth > F.PhysHeight) {
    S.Width = PanelWidth - 2 * PanelBorder;
    L.Scale = double(S.Width) / F.PhysWidth;
    S.Height = RoundI(F.PhysHeight * L.Scale);
    S.Left = PanelBorder;
    S.Top = PanelBorder + Half(int64_t(PanelHeight) - 2 * PanelBorder - S.Height);
  } else {
    S.Height = PanelHeight - 2 * PanelBorder;
    L.Scale = double(S.Height) / F.PhysHeight;
    S.Width = RoundI(F.PhysWidth * L.Scale);
    S.Top = PanelBorder;
    S.Left = PanelBorder + Half(int64_t(PanelWidth) - 2 * PanelBorder - S.Width);
  }
  return L;
}

TPreviewEdges PrintableEdges(const TPrinterFacts& F, double PreviewScale) {
  return {RoundI(F.OffsetX * PreviewScale), RoundI(F.OffsetY * PreviewScale),
          RoundI((double(F.OffsetX) + F.PageWidth) * PreviewScale) - 1,
          RoundI((double(F.OffsetY) + F.PageHeight) * PreviewScale) - 1};
}

int32_t ScaledLength(int32_t Pixels, int32_t Scale) { return RoundI(double(Pixels) * Scale / 100.0); }

int32_t FitScale(const TPrinterFacts& F, int32_t ImageWidth, int32_t ImageHeight) {
  if (ImageWidth <= 0 || ImageHeight <= 0)
    return 100;
  const int32_t Scale = std::min(RoundI(F.PageWidth * 100.0 / ImageWidth), RoundI(F.PageHeight * 100.0 / ImageHeight));
  return std::clamp(Scale, MinPrintScale, MaxPrintScale);
}

TIntRect PrintImageRect(const TPrinterFacts& F, int32_t ImageWidth, int32_t ImageHeight, int32_t Scale, bool CenterX,
                        bool CenterY) {
  TIntRect R;
  R.Width = ScaledLength(ImageWidth, Scale);
  R.Height = ScaledLength(ImageHeight, Scale);
  R.Left = CenterX ? Half(int64_t(F.PageWidth) - R.Width) : 0;
  R.Top = CenterY ? Half(int64_t(F.PageHeight) - R.Height) : 0;
  return R;
}

TIntRect PreviewImageRect(const TPrinterFacts& F, double PreviewScale, int32_t ImageWidth, int32_t ImageHeight,
                          int32_t Scale, bool CenterX, bool CenterY) {
  // Placed where the print puts it, so that the preview shows the page.
  const TIntRect Device = PrintImageRect(F, ImageWidth, ImageHeight, Scale, CenterX, CenterY);
  TIntRect R;
  R.Width = RoundI(ImageWidth * PreviewScale * Scale / 100.0);
  R.Height = RoundI(ImageHeight * PreviewScale * Scale / 100.0);
  R.Left = RoundI((double(F.OffsetX) + Device.Left) * PreviewScale);
  R.Top = RoundI((double(F.OffsetY) + Device.Top) * PreviewScale);
  return R;
}

bool ClipImage(const TIntRect& Placed, int32_t ImageWidth, int32_t ImageHeight, int32_t ClipWidth, int32_t ClipHeight,
               TImagePart& Part) {
  return ClipSpan(Placed.Left, Placed.Width, ImageWidth, ClipWidth, Part.SrcX, Part.SrcWidth, Part.DstX,
                  Part.DstWidth) &&
         ClipSpan(Placed.Top, Placed.Height, ImageHeight, ClipHeight, Part.SrcY, Part.SrcHeight, Part.DstY,
                  Part.DstHeight);
}

int32_t TitleHeight(int32_t ScreenPixelHeight) { return 2 * std::abs(ScreenPixelHeight); }

int32_t PreviewTitleHeight(int32_t TitleHeight, double PreviewScale) {
  return std::max(1, RoundI(TitleHeight * PreviewScale));
}

TIntPoint TitleDevicePos(TIntPoint Label, const TSheetLayout& Layout, const TPreviewEdges& Printable) {
  if (Layout.Scale <= 0)
    return {};
  return {RoundI((double(Label.X) - Layout.Sheet.Left - Printable.Left) / Layout.Scale),
          RoundI((double(Label.Y) - Layout.Sheet.Top - Printable.Top) / Layout.Scale)};
}

int32_t CenteredLeft(int32_t Width, int32_t TextWidth) { return Half(int64_t(Width) - TextWidth); }

TIntPoint KeepTitleInside(TIntPoint Label, int32_t LabelWidth, bool Centered, const TSheetLayout& Layout,
                          const TPreviewEdges& Printable) {
  const int32_t Left = Layout.Sheet.Left + Printable.Left, Top = Layout.Sheet.Top + Printable.Top;
  if (Centered)
    Label.X = Left + CenteredLeft(Printable.Right + 1 - Printable.Left, LabelWidth);
  else if (Label.X < Left)
    Label.X = Left;
  if (Label.Y < Top)
    Label.Y = Top;
  return Label;
}

TMmSize PaperSizeMm(const TPrinterFacts& F) {
  return {RoundI(F.PhysWidth * F.MmPerPixelX()), RoundI(F.PhysHeight * F.MmPerPixelY())};
}

TMmSize ImageSizeMm(const TPrinterFacts& F, int32_t ImageWidth, int32_t ImageHeight, int32_t Scale) {
  return {RoundI(ImageWidth * (Scale / 100.0) * F.MmPerPixelX()),
          RoundI(ImageHeight * (Scale / 100.0) * F.MmPerPixelY())};
}
