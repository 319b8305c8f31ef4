// Windows metafiles (placeable, with their bounding box and units per inch,
// and plain ones) and enhanced metafiles, played record by record through
// our own players onto Cairo. Refuses what has neither header; a picture
// with no size or an absurd one is drawn at a bounded size with a warning.
#include "XWmf.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "XMetaPlay.h"

namespace {

constexpr uint32_t PlaceableKey = 0x9AC6CDD7;
constexpr size_t PlaceableSize = 22;
constexpr size_t WmfHeaderSize = 18;
constexpr uint16_t WmfHeaderWords = 9;
constexpr uint16_t WmfVersion1 = 0x0100, WmfVersion3 = 0x0300;
constexpr uint32_t EmfHeaderType = 1;
constexpr uint32_t EmfSignature = 0x464D4520;
constexpr size_t EmfHeaderMin = 88;
// The screen a placeable file's units per inch are scaled to.
constexpr double ScreenDpi = 96;
constexpr double DefaultPixelsPerMm = ScreenDpi / 25.4;
constexpr int32_t DefaultWidth = 1024, DefaultHeight = 768;
constexpr int32_t MaxSide = 32767;
// Extents beyond this are taken to be in fine units and scaled to fit
// NaturalSide pixels.
constexpr double MaxNaturalWindow = 2048, NaturalSide = 1024;
constexpr int64_t MaxFileBytes = int64_t(1) << 30;
// Share of the picture's side drawing may pass its edge by before the
// picture grows to hold it: antialiased edges and wide pens at the border.
constexpr double SpillTolerance = 0.02;

TMetaRect ReadRect32(const uint8_t* P) {
  return {double(GetLESigned32(P)), double(GetLESigned32(P + 4)), double(GetLESigned32(P + 8)),
          double(GetLESigned32(P + 12))};
}

double Signed16(const uint8_t* P) { return int16_t(GetLE16(P)); }

bool IsWmfHeader(std::span<const uint8_t> File, size_t At) {
  if (File.size() < At + WmfHeaderSize)
    return false;
  const uint8_t* P = File.data() + At;
  const uint16_t Type = GetLE16(P), Words = GetLE16(P + 2), Version = GetLE16(P + 4);
  return (Type == 1 || Type == 2) && Words == WmfHeaderWords && (Version == WmfVersion1 || Version == WmfVersion3);
}

bool ParseEmfHeader(std::span<const uint8_t> File, TMetaHeader& H) {
  if (File.size() < EmfHeaderMin)
    return false;
  const uint8_t* P = File.data();
  const uint32_t Size = GetLE32(P + 4);
  if (GetLE32(P) != EmfHeaderType || GetLE32(P + 40) != EmfSignature || Size < EmfHeaderMin || Size > File.size())
    return false;
  H.Enhanced = true;
  H.Box = ReadRect32(P + 8);
  H.Frame = ReadRect32(P + 24);
  H.Objects = GetLE16(P + 56);
  H.DevicePixelsX = GetLESigned32(P + 72);
  H.DevicePixelsY = GetLESigned32(P + 76);
  H.DeviceMmX = GetLESigned32(P + 80);
  H.DeviceMmY = GetLESigned32(P + 84);
  return true;
}

void ReferencePixelsPerMm(const TMetaHeader& H, double& X, double& Y) {
  X = H.DevicePixelsX > 0 && H.DeviceMmX > 0 ? double(H.DevicePixelsX) / H.DeviceMmX : DefaultPixelsPerMm;
  Y = H.DevicePixelsY > 0 && H.DeviceMmY > 0 ? double(H.DevicePixelsY) / H.DeviceMmY : DefaultPixelsPerMm;
}

// The frame in reference device pixels, or the bounds when the frame is empty.
TMetaRect EmfPictureRect(const TMetaHeader& H) {
  double Px, Py;
  ReferencePixelsPerMm(H, Px, Py);
  const TMetaRect& F = H.Frame;
  if (F.Right > F.Left && F.Bottom > F.Top)
    return {F.Left / 100 * Px, F.Top / 100 * Py, F.Right / 100 * Px, F.Bottom / 100 * Py};
  const TMetaRect& B = H.Box;
  if (B.Right >= B.Left && B.Bottom >= B.Top)
    return {B.Left, B.Top, B.Right + 1, B.Bottom + 1};
  return {};
}

} // namespace

bool ParseMetaHeader(std::span<const uint8_t> File, TMetaHeader& H) {
  H = TMetaHeader{};
  if (ParseEmfHeader(File, H))
    return true;
  if (File.size() >= PlaceableSize && GetLE32(File.data()) == PlaceableKey) {
    const uint8_t* P = File.data();
    H.Placeable = true;
    H.Box = {Signed16(P + 6), Signed16(P + 8), Signed16(P + 10), Signed16(P + 12)};
    H.UnitsPerInch = GetLE16(P + 14);
    H.RecordsOffset = PlaceableSize;
  }
  if (!IsWmfHeader(File, H.RecordsOffset))
    return false;
  H.Objects = GetLE16(File.data() + H.RecordsOffset + 10);
  H.RecordsOffset += WmfHeaderSize;
  return true;
}

TWmfReader::TWmfReader() { FormatName = "WMF"; }

void TWmfReader::LoadFile() {
  if (FileSize <= 0 || FileSize > MaxFileBytes)
    Fail(ImgMsg::InvalidMetafile);
  FData.resize(size_t(FileSize));
  Seek(0);
  if (ReadSome(FData.data(), FData.size()) != FData.size())
    Fail(ImgMsg::InvalidMetafile);
}

void TWmfReader::NaturalSize(double& W, double& H) {
  W = H = 0;
  if (FHeader.Enhanced) {
    const TMetaRect R = EmfPictureRect(FHeader);
    W = R.Right - R.Left;
    H = R.Bottom - R.Top;
  } else if (FHeader.Placeable) {
    const double Inch = FHeader.UnitsPerInch > 0 ? FHeader.UnitsPerInch : 1440;
    W = std::fabs(FHeader.Box.Right - FHeader.Box.Left) * ScreenDpi / Inch;
    H = std::fabs(FHeader.Box.Bottom - FHeader.Box.Top) * ScreenDpi / Inch;
  } else if ((FHasWindow = FindWmfWindow(FData, FHeader.RecordsOffset, FWindow))) {
    W = std::fabs(FWindow.Right - FWindow.Left);
    H = std::fabs(FWindow.Bottom - FWindow.Top);
    const double Longer = std::max(W, H);
    if (Longer > MaxNaturalWindow) {
      W = W * NaturalSide / Longer;
      H = H * NaturalSide / Longer;
    }
  }
}

void TWmfReader::BoundSize(double W, double H) {
  char Text[160];
  if (!(W >= 0.5 && H >= 0.5) || !std::isfinite(W * H)) {
    Width = DefaultWidth;
    Height = DefaultHeight;
    std::snprintf(Text, sizeof Text, "The metafile gives no size; it is drawn at %d x %d pixels.", Width, Height);
    SetWarning(Text);
    return;
  }
  FScale = 1;
  const double Pixels = W * H, Longer = std::max(W, H);
  if (Pixels > double(MaxPixels) || Longer > MaxSide)
    FScale = std::min(std::sqrt(double(MaxPixels) / Pixels), MaxSide / Longer);
  // Bounded sizes round down so that they stay within the bound.
  const auto Side = [this](double V) { return std::max(1, int32_t(FScale < 1 ? V * FScale : std::lround(V))); };
  Width = Side(W);
  Height = Side(H);
  if (FScale < 1) {
    std::snprintf(Text, sizeof Text, "The metafile's picture of %.0f x %.0f pixels is drawn at %d x %d.", W, H, Width,
                  Height);
    SetWarning(Text);
  }
}

void TWmfReader::ReadHeader() {
  FormatName = "WMF";
  FScale = 1;
  FHasWindow = false;
  LoadFile();
  if (!ParseMetaHeader(FData, FHeader))
    Fail(ImgMsg::InvalidMetafile);
  double W, H;
  NaturalSize(W, H);
  BoundSize(W, H);
  Resolution = FHeader.Placeable ? FHeader.UnitsPerInch : 0;
  PixelFormat = pf24bit;
  RowBytes = Width * 3;
  Compression = cmpVector;
  ColorFormat = cfRGB;
  ColorManager.SetSource(cfRGB, 3, 8);
  DataOffset = 0;
  OK = true;
}

void TWmfReader::PlaceDevice(TMetaDC& DC) const {
  if (FHeader.Enhanced) {
    double Px, Py;
    ReferencePixelsPerMm(FHeader, Px, Py);
    DC.SetDeviceResolution(Px, Py);
    const TMetaRect R = EmfPictureRect(FHeader);
    if (R.Right > R.Left && R.Bottom > R.Top)
      DC.SetDevice({R.Left, R.Top}, Width / (R.Right - R.Left), Height / (R.Bottom - R.Top));
    return;
  }
  // The window of the picture maps onto the whole bitmap; records that set
  // another window change what is shown of the logical plane.
  TMetaRect Window{0, 0, double(Width), double(Height)};
  if (FHeader.Placeable)
    Window = FHeader.Box;
  else if (FHasWindow)
    Window = FWindow;
  if (Window.Right == Window.Left || Window.Bottom == Window.Top)
    Window = {0, 0, double(Width), double(Height)};
  DC.SetMapMode(Meta::MmAnisotropic);
  DC.SetWindowOrg({Window.Left, Window.Top});
  DC.SetWindowExt({Window.Right - Window.Left, Window.Bottom - Window.Top});
  DC.SetViewportOrg({0, 0});
  DC.SetViewportExt({double(Width), double(Height)});
}

// Drawing that spills out of a window or frame would be cut off at its edge; such a
// picture shows what is drawn instead, scaled to fit and centred, as other
// renderers of these files do.
void TWmfReader::FitDrawing(TMetaDC& DC) const {
  TMetaDC Probe(Width, Height, true);
  Probe.SetObjectCount(FHeader.Objects);
  PlaceDevice(Probe);
  if (FHeader.Enhanced)
    PlayEmf(FData, Probe);
  else
    PlayWmf(FData, FHeader.RecordsOffset, Probe);
  TMetaRect D = Probe.DrawnBounds();
  const double SlackX = Width * SpillTolerance, SlackY = Height * SpillTolerance;
  if (D.Right <= D.Left ||
      (D.Left >= -SlackX && D.Top >= -SlackY && D.Right <= Width + SlackX && D.Bottom <= Height + SlackY))
    return;
  // The probe drew in bitmap pixels; the device maps the viewport's units.
  double OX = 0, OY = 0, SX = 1, SY = 1;
  DC.Device(OX, OY, SX, SY);
  const double DW = D.Right - D.Left, DH = D.Bottom - D.Top;
  const double Scale = std::min(Width / DW, Height / DH);
  const double Left = D.Left - (Width / Scale - DW) / 2, Top = D.Top - (Height / Scale - DH) / 2;
  DC.SetDevice({OX + Left / SX, OY + Top / SY}, SX * Scale, SY * Scale);
}

void TWmfReader::ReadImage() {
  TMetaDC DC(Width, Height);
  DC.SetObjectCount(FHeader.Objects);
  PlaceDevice(DC);
  FitDrawing(DC);
  const TMetaPlayResult Result = FHeader.Enhanced ? PlayEmf(FData, DC) : PlayWmf(FData, FHeader.RecordsOffset, DC);
  SkippedRecords = Result.Skipped;
  if (Result.Truncated)
    SetWarning("The metafile ends early; what it holds is shown.");
  else if (DC.OutOfBudget())
    SetWarning("The metafile asks for too much drawing; part of it is shown.");
  for (int32_t Y = 0; Y < Height; ++Y) {
    const uint32_t* Src = DC.SurfaceRow(Y);
    uint8_t* Out = Dib->ScanLine(Y);
    for (int32_t X = 0; X < Width; ++X, Out += 3) {
      Out[0] = uint8_t(Src[X]);
      Out[1] = uint8_t(Src[X] >> 8);
      Out[2] = uint8_t(Src[X] >> 16);
    }
    RowDone();
  }
  FData = std::vector<uint8_t>();
}
