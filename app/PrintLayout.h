#pragma once
#include <cstdint>

// The page arithmetic of the print dialog: where the sheet sits in the
// preview, where the image and the title land on the page, in printer
// device pixels and in preview pixels. Plain values, no printer needed.

inline constexpr int32_t MinPrintScale = 1, MaxPrintScale = 1000;

// What the dialog knows of the chosen printer, in its device pixels.
struct TPrinterFacts {
  int32_t PageWidth = 0, PageHeight = 0; // the printable area
  int32_t PhysWidth = 0, PhysHeight = 0; // the whole sheet
  int32_t OffsetX = 0, OffsetY = 0;      // the printable area from the sheet's edge
  int32_t HorzSize = 0, VertSize = 0;    // the printable area in millimetres

  double MmPerPixelX() const { return PageWidth > 0 ? double(HorzSize) / PageWidth : 0; }
  double MmPerPixelY() const { return PageHeight > 0 ? double(VertSize) / PageHeight : 0; }
};

struct TIntRect {
  int32_t Left = 0, Top = 0, Width = 0, Height = 0;
  int32_t Right() const { return Left + Width; } // exclusive
  int32_t Bottom() const { return Top + Height; }
  bool operator==(const TIntRect&) const = default;
};

struct TIntPoint {
  int32_t X = 0, Y = 0;
  bool operator==(const TIntPoint&) const = default;
};

struct TMmSize {
  int32_t Width = 0, Height = 0;
  bool operator==(const TMmSize&) const = default;
};

// The sheet in the preview panel and the preview pixels per device pixel.
struct TSheetLayout {
  TIntRect Sheet;
  double Scale = 0;
};
TSheetLayout LayoutSheet(const TPrinterFacts& F, int32_t PanelWidth, int32_t PanelHeight);

// The printable area's edge columns and rows in preview pixels, relative to
// the sheet; Right and Bottom are the last ones inside.
struct TPreviewEdges {
  int32_t Left = 0, Top = 0, Right = -1, Bottom = -1;
  bool operator==(const TPreviewEdges&) const = default;
};
TPreviewEdges PrintableEdges(const TPrinterFacts& F, double PreviewScale);

// round(Pixels x Scale / 100).
int32_t ScaledLength(int32_t Pixels, int32_t Scale);
// The largest scale at which the image fits the printable area.
int32_t FitScale(const TPrinterFacts& F, int32_t ImageWidth, int32_t ImageHeight);

// The image on the page in device pixels relative to the printable area:
// centered in it, or at its top-left corner. A centered image larger than
// the area reaches beyond both of its edges.
TIntRect PrintImageRect(const TPrinterFacts& F, int32_t ImageWidth, int32_t ImageHeight, int32_t Scale, bool CenterX,
                        bool CenterY);
// The same placement in preview pixels relative to the sheet.
TIntRect PreviewImageRect(const TPrinterFacts& F, double PreviewScale, int32_t ImageWidth, int32_t ImageHeight,
                          int32_t Scale, bool CenterX, bool CenterY);

// The part of an image drawn into Placed that a clip of ClipWidth x
// ClipHeight at the origin lets through: whole source pixels (rows from the
// top) and where they land, which may reach a little past the clip.
struct TImagePart {
  int32_t SrcX = 0, SrcY = 0, SrcWidth = 0, SrcHeight = 0;
  double DstX = 0, DstY = 0, DstWidth = 0, DstHeight = 0;
};
bool ClipImage(const TIntRect& Placed, int32_t ImageWidth, int32_t ImageHeight, int32_t ClipWidth, int32_t ClipHeight,
               TImagePart& Part);

// The title's character height in device pixels: twice the screen font's.
int32_t TitleHeight(int32_t ScreenPixelHeight);
// The preview label's character height, at least one pixel.
int32_t PreviewTitleHeight(int32_t TitleHeight, double PreviewScale);
// The title's device position from the label's top-left corner in the
// panel: its offset from the printable area, in device pixels.
TIntPoint TitleDevicePos(TIntPoint Label, const TSheetLayout& Layout, const TPreviewEdges& Printable);
// The left edge of a title TextWidth wide centered in Width.
int32_t CenteredLeft(int32_t Width, int32_t TextWidth);
// The label moved into the printable area (panel pixels): to its left edge
// unless centered in it, and down to its top edge.
TIntPoint KeepTitleInside(TIntPoint Label, int32_t LabelWidth, bool Centered, const TSheetLayout& Layout,
                          const TPreviewEdges& Printable);

// The sizes the dialog shows in millimetres.
TMmSize PaperSizeMm(const TPrinterFacts& F);
TMmSize ImageSizeMm(const TPrinterFacts& F, int32_t ImageWidth, int32_t ImageHeight, int32_t Scale);
