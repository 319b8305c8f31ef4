// The image view: repainting the visible window of a 6000 x 4000 image at
// 1:1, 1/8 and 8:1, beside a plain blit of a window-sized picture; and
// stepping to the next image of a folder of such files, beside decoding one,
// and stepping through such JPEGs with and without reading ahead.
#include <QApplication>
#include <QImage>
#include <QPainter>
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <sys/stat.h>

#include "DibImage.h"
#include "FullScreen.h"
#include "Info.h"
#include "List.h"
#include "Main.h"
#include "Prefetch.h"
#include "PainterSurface.h"
#include "QtBenchMain.h"
#include "Settings.h"
#include "XBmp.h"
#include "XFormats.h"
#include "XImageRead.h"

namespace {

constexpr int32_t W = 6000, H = 4000;
constexpr int WindowW = 1280, WindowH = 1024;
constexpr int FolderSize = 20;

std::filesystem::path Work;

std::unique_ptr<TDib> MakeImage() {
  auto D = std::make_unique<TDib>(W, H, pf24bit);
  for (int32_t Y = 0; Y < H; ++Y) {
    uint8_t* P = D->ScanLine(Y);
    for (int32_t X = 0; X < W; ++X, P += 3) {
      P[0] = uint8_t(X);
      P[1] = uint8_t(Y);
      P[2] = uint8_t(X ^ Y);
    }
  }
  return D;
}

TDib& Image() {
  static std::unique_ptr<TDib> D = MakeImage();
  return *D;
}

// What the window system's backing store receives: the visible part of the
// image box, scrolled to the middle of the image.
void BM_Repaint(benchmark::State& State) {
  TDib& D = Image();
  D.SetZoom(int32_t(State.range(0)));
  D.Tiled = State.range(1) != 0;
  QImage Window(WindowW, WindowH, QImage::Format_RGB32);
  const int Sx = std::max(0, (D.ZoomedWidth() - WindowW) / 2), Sy = std::max(0, (D.ZoomedHeight() - WindowH) / 2);
  TPainterSurface Surface;
  D.Canvas = &Surface;
  for (auto _ : State) {
    QPainter P(&Window);
    P.translate(-Sx, -Sy);
    Surface.Begin(&P, TRect{Sx, Sy, std::min(D.ZoomedWidth(), Sx + WindowW), std::min(D.ZoomedHeight(), Sy + WindowH)});
    D.DrawZoomed();
    Surface.End();
    P.end();
    benchmark::DoNotOptimize(Window.constBits());
  }
  D.Canvas = nullptr;
}

// The reference: a window-sized picture blitted unscaled.
void BM_BlitWindow(benchmark::State& State) {
  QImage Picture(WindowW, WindowH, QImage::Format_RGB32);
  Picture.fill(Qt::darkCyan);
  QImage Window(WindowW, WindowH, QImage::Format_RGB32);
  for (auto _ : State) {
    QPainter P(&Window);
    P.drawImage(0, 0, Picture);
    P.end();
    benchmark::DoNotOptimize(Window.constBits());
  }
}

std::filesystem::path FolderFile(int I) { return Work / "folder" / ("img" + std::to_string(100 + I) + ".bmp"); }

void MakeFolder() {
  static bool Made = false;
  if (Made)
    return;
  Made = true;
  std::filesystem::create_directories(Work / "folder");
  TBmpWriter Writer;
  Writer.CreateFile(FolderFile(0));
  Writer.Write(Image());
  for (int I = 1; I < FolderSize; ++I)
    std::filesystem::copy_file(FolderFile(0), FolderFile(I), std::filesystem::copy_options::overwrite_existing);
}

// The reference: reading one of the files into a new buffer.
void BM_DecodeBmp(benchmark::State& State) {
  MakeFolder();
  for (auto _ : State) {
    TBmpReader R;
    const TImageRead Read = ReadImageWith(R, FolderFile(0));
    Read.ThrowFailure();
    benchmark::DoNotOptimize(Read.Dib->Bits());
  }
}

// Down in the main window: the next file is read, fitted and painted.
void BM_StepNext(benchmark::State& State) {
  MakeFolder();
  TPelorinMain Main;
  Main.SetSideForms(new TInfoForm(&Main), new TListForm(&Main), new TScreenForm(&Main));
  Main.LoadImage(QString::fromStdString(FolderFile(0).string()), false);
  for (auto _ : State) {
    if (Main.ListForm->CurrentItem == FolderSize - 1)
      Main.ListForm->FirstFile();
    else
      Main.ListForm->NextFile();
    QCoreApplication::processEvents();
  }
  if (Main.ListForm->ItemCount != FolderSize)
    State.SkipWithError("folder not listed");
}

std::filesystem::path JpegFile(int I) { return Work / "jpegs" / ("img" + std::to_string(100 + I) + ".jpg"); }
constexpr int JpegCount = 6;

void MakeJpegFolder() {
  static bool Made = false;
  if (Made)
    return;
  Made = true;
  std::filesystem::create_directories(Work / "jpegs");
  std::unique_ptr<TImgWriter> Writer = FindFormat(fmtJPEG)->NewWriter(TWriteOptions{}, Image());
  Writer->CreateFile(JpegFile(0));
  Writer->Write(Image());
  for (int I = 1; I < JpegCount; ++I)
    std::filesystem::copy_file(JpegFile(0), JpegFile(I), std::filesystem::copy_options::overwrite_existing);
}

// Stepping to the next 6000 x 4000 JPEG, from the call to the painted
// picture: read in the step, or read ahead while the shown one was looked
// at (the untimed wait gives the reader time to finish).
void BM_StepNextJpeg(benchmark::State& State) {
  const bool Ahead = State.range(0) != 0;
  MakeJpegFolder();
  TPelorinMain Main;
  Main.SetSideForms(new TInfoForm(&Main), new TListForm(&Main), new TScreenForm(&Main));
  if (!Ahead)
    Main.Prefetcher.reset();
  Main.LoadImage(QString::fromStdString(JpegFile(0).string()), false);
  for (auto _ : State) {
    State.PauseTiming();
    if (Main.ListForm->CurrentItem == JpegCount - 1)
      Main.ListForm->FirstFile();
    QCoreApplication::processEvents();
    if (Main.Prefetcher)
      Main.Prefetcher->WaitIdle(10000);
    State.ResumeTiming();
    Main.ListForm->NextFile();
    QCoreApplication::processEvents();
  }
  if (Main.ListForm->ItemCount != JpegCount)
    State.SkipWithError("folder not listed");
  else if (Ahead && Main.FilesPrefetched == 0)
    State.SkipWithError("nothing was read ahead");
}

} // namespace

BENCHMARK(BM_BlitWindow)->Name("view.repaint@blit")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Repaint)
    ->Name("view.repaint")
    ->ArgNames({"zoom", "tiled"})
    ->ArgsProduct({{0, -7, 7}, {0, 1}})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeBmp)->Name("view.step-next@decode-bmp")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StepNext)->Name("view.step-next")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StepNextJpeg)
    ->Name("view.step-next-jpeg")
    ->ArgNames({"prefetched"})
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) { return RunQtBenchmarks(argc, argv, "view", Work); }
