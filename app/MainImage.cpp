#include <QFileInfo>
#include <QPainter>
#include <QScreen>
#include <cstdio>
#include <ctime>

#include "DirWatch.h"
#include "DsPaintBox.h"
#include "FullScreen.h"
#include "ImgFormats.h"
#include "List.h"
#include "Main.h"
#include "Paths.h"
#include "Prefetch.h"
#include "Settings.h"
#include "XImageRead.h"

namespace {

constexpr QRgb Color(TColor C) { return qRgb(C & 0xFF, (C >> 8) & 0xFF, (C >> 16) & 0xFF); }

} // namespace

void TPelorinMain::ShowSplash() {
  std::unique_ptr<TDib> Splash;
  const QString SplashFile = FindProgramFile(ProgramDir, QStringLiteral("splash.png"), fkData);
  if (QFileInfo::exists(SplashFile)) {
    try {
      // The splash is drawn for the window's background, not blended.
      TReadOptions O = ReadOptionsOf(Settings);
      O.AlphaEnabled = false;
      TImageRead R = ReadImageFile(SplashFile.toStdString(), O);
      R.ThrowFailure();
      Splash = std::move(R.Dib);
    } catch (const std::exception&) {
      Splash.reset();
    }
  }
  if (!Splash) {
    Splash = std::make_unique<TDib>(170, 50, pf24bit);
    Splash->Fill(Settings.BackColor);
  }
  AdoptImage(std::move(Splash), QStringLiteral("Pelorin"));
  SourceKind = -1;
}

void TPelorinMain::PlaceImage(std::unique_ptr<TDib> NewImage, int Source, const QString& Caption) {
  // The history and the transparency record go with the image they belong to.
  ClearUndo();
  Transparency.Reset();
  HasTransparency = false;
  Image = std::move(NewImage);
  SourceKind = Source;
  // Full screen keeps showing; the main window only follows the image.
  const bool Full = FullScreenShowing();
  Image->Canvas = Full ? ScreenForm->Canvas() : &Surface;
  if (Full)
    ScreenForm->ImageChanged();
  const QSize Screen = ScreenDeviceSize(this);
  Image->SetZoom(Settings.ZoomToFit ? FitZoom(Image->Width(), Image->Height(), Screen.width(), Screen.height()) : 0);
  ChooseTiling();
  CheckZoomItem(Image->Zoom());
  if (!Full)
    show();
  WindowFit();
  if (!isMaximized())
    FormResize();
  ImgBox->update();
  SetFileName(Caption);
}

void TPelorinMain::ApplyOrientation(int32_t Mirror, int32_t Angle) {
  if (!Image)
    return;
  ::ApplyOrientation(*Image, {Mirror, 0});
  if (Angle < 1)
    return;
  PaintEnabled = false;
  Image->Rotate(Angle);
  // The zoomed size follows the turned image; the window then fits it.
  SetScrollRanges(0, 0);
  Image->SetZoom(Image->Zoom());
  FormResize();
  ResetScrollRanges();
  WindowFit();
}

void TPelorinMain::AdoptImage(std::unique_ptr<TDib> NewImage, const QString& Caption) {
  PaintEnabled = false;
  PlaceImage(std::move(NewImage), 0, Caption);
  Image->DetectGray();
  KeepBufferFacts();
  DrawImage(ImgBox->rect());
  if (ListForm)
    ListForm->RefreshList(QString(), false);
  if (DirWatch)
    DirWatch->SetFolder(QString());
  // No folder to step through any more.
  if (Prefetcher)
    Prefetcher->Cancel();
  MetaTitle.clear();
  MetaAuthor.clear();
  MetaRights.clear();
  UpdateConvertItems();
  PaintEnabled = true;
  NewImageShown();
}

void TPelorinMain::NewImageShown() {
  // Commands follow the image at once, not only when a popup opens.
  MainPopupPopup();
  WorkPopupPopup();
  UpdateInfo();
  if (Image && FullScreenShowing()) {
    Image->Canvas = ScreenForm->Canvas();
    ScreenForm->update();
    // Last, so that running out of memory here leaves the rest done.
    ScreenForm->PrepareScaled();
  }
}

void TPelorinMain::SetFileName(const QString& Name) {
  FileName = Name;
  UpdateCaption();
  UpdateInfo();
}

void TPelorinMain::UpdateCaption() {
  // Only "/" separates folders here; ":" and "\\" are ordinary name characters.
  QString Caption = FileName.mid(FileName.lastIndexOf(QLatin1Char('/')) + 1);
  const int32_t Z = Image ? Image->Zoom() : 0;
  if (Z == 0)
    Caption += QStringLiteral(" [1:1]");
  else if (Z > 0)
    Caption += QStringLiteral(" [%1:1]").arg(Z + 1);
  else
    Caption += QStringLiteral(" [1/%1]").arg(1 - Z);
  if (HasTransparency)
    Caption += QStringLiteral(" alpha ") + (ColorTblShowing ? QStringLiteral("edit")
                                            : AlphaShown    ? QStringLiteral("on")
                                                            : QStringLiteral("off"));
  setWindowTitle(Caption);
}

void TPelorinMain::ApplyTransparency() {
  if (Image && Transparency.TransparentIndex >= 0 && Transparency.TransparentIndex < Image->PaletteSize()) {
    HasTransparency = true;
    TColor C;
    if (Settings.ApplyAlpha)
      C = Transparency.BackIndex >= 0 && Transparency.BackIndex < Image->PaletteSize() ? TColor(Transparency.BackColor)
                                                                                       : TColor(Settings.BackColor);
    else
      C = TColor(Transparency.TransparentColor);
    Image->SetPaletteColor(Transparency.TransparentIndex, C);
  } else {
    HasTransparency = false;
  }
}

bool TPelorinMain::RefreshAlpha(bool Force) {
  if (!Image)
    return false;
  bool Reloaded = false;
  if (Transparency.TransparentIndex < 0) {
    if (HasTransparency && (Force || bool(Settings.ApplyAlpha) != AlphaShown) && !Edited && SourceKind == 1) {
      OpenAgainItemClick();
      Reloaded = true;
    }
    AlphaShown = Settings.ApplyAlpha;
  } else {
    AlphaShown = Settings.ApplyAlpha;
    ApplyTransparency();
    UpdateCaption();
    Redraw();
  }
  return Reloaded;
}

bool TPelorinMain::ApplyBrushes() {
  const QColor Back(Color(Settings.BackColor));
  if (palette().color(QPalette::Window) == Back)
    return false;
  QPalette Pal = palette();
  Pal.setColor(QPalette::Window, Back);
  setPalette(Pal);
  if (ScreenForm) {
    ScreenForm->SetBackground(Back);
    if (ScreenForm->isVisible())
      ScreenForm->update();
  }
  return true;
}

void TPelorinMain::ApplyBackground() {
  if (!ApplyBrushes())
    RefreshAlpha(false);
  else if (!RefreshAlpha(true) && isVisible())
    update();
}

bool TPelorinMain::FilterAllowed() const {
  if (!Image)
    return false;
  const int F = Image->PixelFormat();
  if (F == pf1bit)
    return false;
  if ((F == pf4bit || F == pf8bit) && !Image->IsGray)
    return false;
  return true;
}

void TPelorinMain::ChooseTiling() {
  if (!Image)
    return;
  switch (Settings.TileMode) {
  case 0: Image->Tiled = false; break;
  case 2: Image->Tiled = true; break;
  default:
    Image->Tiled = int64_t(Image->RowBytes()) * Image->Height() > int64_t(Settings.TileThreshold) * 1024000;
    break;
  }
}

void TPelorinMain::ImgBoxPaint(QPainter& Painter, const QRect& Rect) {
  if (!Image || !(PaintEnabled || DrawNow))
    return;
  TRect Clip{Rect.left(), Rect.top(), Rect.right() + 1, Rect.bottom() + 1};
  // Enlarged, the stretch starts at the clip's edge: an edge inside a source
  // pixel would shift the repainted part against the rest of the image. The
  // painter still clips to what needs painting.
  if (const int32_t F = Image->Zoom() + 1; F > 1) {
    Clip.Left -= Clip.Left % F;
    Clip.Top -= Clip.Top % F;
    Clip.Right = std::min(Image->ZoomedWidth(), (Clip.Right + F - 1) / F * F);
    Clip.Bottom = std::min(Image->ZoomedHeight(), (Clip.Bottom + F - 1) / F * F);
  }
  Surface.Begin(&Painter, Clip);
  Image->Canvas = &Surface;
  Image->DrawZoomed();
  Surface.End();
  if (!FirstPaintReported && !Loading) {
    FirstPaintReported = true;
    if (qEnvironmentVariableIsSet("PELORIN_REPORT_FIRST_PAINT")) {
      timespec T;
      clock_gettime(CLOCK_REALTIME, &T);
      std::fprintf(stderr, "pelorin: first paint %lld.%09ld\n", static_cast<long long>(T.tv_sec), T.tv_nsec);
    }
  }
}

void TPelorinMain::DrawImage(const QRect& Rect) {
  if (!Image || !isVisible())
    return;
  DrawNow = true;
  ImgBox->repaint(Rect);
  DrawNow = false;
}

void TPelorinMain::Redraw() {
  if (FullScreenShowing()) {
    // The image may have changed in place, which the copy does not follow.
    ScreenForm->ImageChanged();
    ScreenForm->update();
  } else if (Image)
    DrawImage(ImgBox->rect());
}
