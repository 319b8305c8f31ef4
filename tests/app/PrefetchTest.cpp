#include <QElapsedTimer>
#include <chrono>
#include <thread>
#include <unistd.h>

#include "AppTestUtil.h"
#include "ImgFormats.h"
#include "Prefetch.h"
#include "XFormats.h"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

// An 8-bit image whose palette and pixels differ from entry to entry.
std::unique_ptr<TDib> Indexed(int32_t W, int32_t H) {
  auto D = std::make_unique<TDib>(W, H, pf8bit);
  for (int32_t I = 0; I < 256; ++I)
    D->SetPaletteColor(I, TColor(I | (255 - I) << 8 | (I * 3 & 0xFF) << 16));
  for (int32_t Y = 0; Y < H; ++Y)
    for (int32_t X = 0; X < W; ++X)
      D->SetPixelValue(X, Y, uint8_t(X + 2 * Y));
  return D;
}

void WriteFormat(int32_t Format, const fs::path& Name, const TDib& Dib, const TWriteOptions& O = {}) {
  std::unique_ptr<TImgWriter> W = FindFormat(Format)->NewWriter(O, Dib);
  W->CreateFile(Name);
  W->Write(Dib);
  ASSERT_TRUE(W->OK);
}

bool SamePalette(const TDib& A, const TDib& B) {
  if (A.PaletteSize() != B.PaletteSize())
    return false;
  for (int32_t I = 0; I < A.PaletteSize(); ++I)
    if (A.GetPaletteColor(I) != B.GetPaletteColor(I))
      return false;
  return true;
}

// A read that stands for a slow decoder: it makes a small buffer, then
// reports progress every millisecond for up to Ms milliseconds.
TPrefetcher::TReadFunction SlowRead(int Ms, bool Reports) {
  return [Ms, Reports](const fs::path&, const TReadOptions& O, const TBufferEvent& OnBuffer) {
    TImageRead R;
    auto Buffer = std::make_unique<TDib>(8, 8, pf24bit);
    OnBuffer(Buffer, R);
    R.Dib = std::move(Buffer);
    for (int I = 0; I < Ms; ++I) {
      std::this_thread::sleep_for(1ms);
      if (Reports)
        O.OnProgress(psProgress, I * 100 / Ms, TRect{}, false);
    }
    return R;
  };
}

class Prefetch : public TFolderFixture {
protected:
  bool Idle() const { return Main->Prefetcher->WaitIdle(5000); }
};

TEST_F(Prefetch, ThePrefetchedImageIsTheReadOne) {
  // A palette with a transparent entry and texts, a true-color image, and
  // a TIFF: what the viewer keeps of each must not depend on the thread.
  TWriteOptions Gif;
  Gif.Transparency.TransparentIndex = 5;
  TWriteOptions Png;
  Png.Texts = {"A title", "An author", "Rights"};
  const struct {
    int32_t Format;
    const char* Name;
    TWriteOptions Options;
    bool Palette;
  } Cases[] = {{fmtGIF, "a.gif", Gif, true}, {fmtPNG, "b.png", Png, false}, {fmtTIFF, "c.tif", {}, true}};
  for (const auto& C : Cases)
    WriteFormat(C.Format, Folder / C.Name, C.Palette ? *Indexed(37, 23) : *Pattern24(41, 19), C.Options);
  WriteBmp(Folder / "d.bmp", *Pattern24(5, 5));

  Main->LoadImage(QFile("d.bmp"), false);
  for (int I = 2; I >= 0; --I) {
    SCOPED_TRACE(Cases[I].Name);
    ASSERT_TRUE(Idle());
    ASSERT_TRUE(Main->Prefetcher->Holds(File(Cases[I].Name)));
    const int32_t Read = Main->FilesRead;
    List().PreviousFile();
    ASSERT_EQ(Shown(), Cases[I].Name);
    EXPECT_EQ(Main->FilesRead, Read) << "taken from the prefetcher";
    const std::unique_ptr<TDib> Ahead = Main->Image->Clone();
    const QString Caption = Main->windowTitle(), Format = Main->FileFormatText, Title = Main->MetaTitle,
                  Author = Main->MetaAuthor, Rights = Main->MetaRights;
    const TTransparencyInfo Trans = Main->Transparency;
    const bool Gray = Main->Image->IsGray;
    const TImageFacts Facts = Main->FileFacts;

    Main->OpenAgainItemClick();
    EXPECT_EQ(Main->FilesRead, Read + 1) << "read again on this thread";
    EXPECT_TRUE(SamePixels(*Ahead, *Main->Image));
    EXPECT_TRUE(SamePalette(*Ahead, *Main->Image));
    EXPECT_EQ(Ahead->PixelFormat(), Main->Image->PixelFormat());
    EXPECT_EQ(Gray, Main->Image->IsGray);
    EXPECT_EQ(Caption, Main->windowTitle());
    EXPECT_EQ(Format, Main->FileFormatText);
    EXPECT_FALSE(Format.isEmpty());
    EXPECT_EQ(Title, Main->MetaTitle);
    EXPECT_EQ(Author, Main->MetaAuthor);
    EXPECT_EQ(Rights, Main->MetaRights);
    EXPECT_EQ(Trans.TransparentIndex, Main->Transparency.TransparentIndex);
    EXPECT_EQ(Trans.TransparentColor, Main->Transparency.TransparentColor);
    EXPECT_EQ(Facts.FileSize, Main->FileFacts.FileSize);
    EXPECT_EQ(Facts.PixelFormat, Main->FileFacts.PixelFormat);
    EXPECT_EQ(Facts.Compression, Main->FileFacts.Compression);
    // The cases carry what they are there for.
    if (Cases[I].Format == fmtPNG) {
      EXPECT_EQ(Title, "A title");
    }
    if (Cases[I].Format == fmtGIF) {
      EXPECT_EQ(Trans.TransparentIndex, 5);
    }
  }
  EXPECT_TRUE(Messages.empty());
}

TEST_F(Prefetch, SteppingThroughAFolderTakesEveryImageReadAhead) {
  MakeFolder();
  Main->LoadImage(QFile("a.bmp"), false);
  for (int I = 1; I < 5; ++I) {
    ASSERT_TRUE(Idle());
    List().NextFile();
    EXPECT_EQ(Main->Image->Width(), 10 + I);
  }
  EXPECT_EQ(Main->FilesRead, 1);
  EXPECT_EQ(Main->FilesPrefetched, 4);
  // Backward: the previous file is asked for first, then the next.
  ASSERT_TRUE(Idle());
  List().PreviousFile();
  EXPECT_EQ(Shown(), "d.bmp");
  EXPECT_EQ(List().NeighbourPaths(), QStringList({QFile("c.bmp"), QFile("e.bmp")}));
  ASSERT_TRUE(Idle());
  List().NextFile();
  EXPECT_EQ(List().NeighbourPaths(), QStringList({QFile("d.bmp")})) << "nothing after the last";
  EXPECT_EQ(Main->FilesRead, 1);
  EXPECT_EQ(Main->FilesPrefetched, 6);
  // A jump to the first file was not read ahead.
  List().FirstFile();
  EXPECT_EQ(List().NeighbourPaths(), QStringList({QFile("b.bmp")}));
  EXPECT_EQ(Main->FilesRead, 2);
}

TEST_F(Prefetch, AFileChangedSinceItWasReadIsReadAgain) {
  MakeFolder();
  Main->LoadImage(QFile("a.bmp"), false);
  ASSERT_TRUE(Idle());
  ASSERT_TRUE(Main->Prefetcher->Holds(File("b.bmp")));
  // The same size, only another time stamp.
  WriteBmp(File("b.bmp"), *Pattern24(11, 6));
  std::filesystem::last_write_time(File("b.bmp"), std::filesystem::last_write_time(File("b.bmp")) + 2s);
  List().NextFile();
  EXPECT_EQ(Main->FilesRead, 2);
  ASSERT_TRUE(Idle());
  // Another size.
  WriteBmp(File("c.bmp"), *Pattern24(30, 6));
  List().NextFile();
  EXPECT_EQ(Main->FilesRead, 3);
  EXPECT_EQ(Main->Image->Width(), 30) << "the file as it is now";

  // The prefetcher on its own: a file that changes after its read.
  TPrefetcher P;
  const TReadOptions O = ReadOptionsOf(Settings);
  P.Request({File("d.bmp")}, O);
  ASSERT_TRUE(P.WaitIdle(5000));
  WriteBmp(File("d.bmp"), *Pattern24(3, 3));
  EXPECT_FALSE(P.Take(File("d.bmp"), O).has_value());
  EXPECT_FALSE(P.Holds(File("d.bmp"))) << "a stale image is not kept either";
  // Other read options, another image.
  P.Request({File("e.bmp")}, O);
  ASSERT_TRUE(P.WaitIdle(5000));
  TReadOptions Other = O;
  Other.Background = TColor(0x123456);
  EXPECT_FALSE(P.Take(File("e.bmp"), Other).has_value());
}

TEST_F(Prefetch, TheBoundRefusesWhatWouldNotFit) {
  WriteBmp(File("small.bmp"), *Pattern24(10, 10)); // 320 bytes of rows
  WriteBmp(File("large.bmp"), *Pattern24(100, 100));
  const TReadOptions O{};
  {
    TPrefetcher P(1000);
    P.Request({File("large.bmp"), File("small.bmp")}, O);
    ASSERT_TRUE(P.WaitIdle(5000));
    EXPECT_FALSE(P.Holds(File("large.bmp")));
    EXPECT_TRUE(P.Holds(File("small.bmp")));
    EXPECT_EQ(P.KeptBytes(), 320u);
  }
  {
    // Two that fit one at a time but not together: the first is kept.
    TPrefetcher P(40000);
    WriteBmp(File("large2.bmp"), *Pattern24(100, 100));
    P.Request({File("large.bmp"), File("large2.bmp")}, O);
    ASSERT_TRUE(P.WaitIdle(5000));
    EXPECT_TRUE(P.Holds(File("large.bmp")));
    EXPECT_FALSE(P.Holds(File("large2.bmp")));
    EXPECT_LE(P.KeptBytes(), 40000u);
  }
  // Never more than a quarter of the memory, whatever is asked.
  const uint64_t Quarter = uint64_t(sysconf(_SC_PHYS_PAGES)) * uint64_t(sysconf(_SC_PAGE_SIZE)) / 4;
  EXPECT_EQ(PrefetchBound(uint64_t(1) << 62), Quarter);
  EXPECT_EQ(PrefetchBound(1000), 1000u);
  EXPECT_EQ(Main->Prefetcher->Bound(), PrefetchBound());
}

TEST_F(Prefetch, CancelStopsAtOnceAndNothingOfTheReadIsUsed) {
  WriteBmp(File("a.bmp"), *Pattern24(4, 4));
  const TReadOptions O{};
  for (const bool Reports : {true, false}) {
    SCOPED_TRACE(Reports ? "a read that reports" : "a read that never reports");
    TPrefetcher P(PrefetchBound(), SlowRead(Reports ? 10000 : 300, Reports));
    P.Request({File("a.bmp")}, O);
    QElapsedTimer Started;
    Started.start();
    while (P.ReadsStarted() == 0 && Started.elapsed() < 5000)
      std::this_thread::sleep_for(1ms);
    ASSERT_EQ(P.ReadsStarted(), 1);
    QElapsedTimer T;
    T.start();
    P.Cancel();
    EXPECT_LT(T.elapsed(), 50) << "Cancel itself never waits";
    ASSERT_TRUE(P.WaitIdle(5000));
    if (Reports) {
      EXPECT_LT(T.elapsed(), 200) << "the read stops at its next report";
    }
    EXPECT_FALSE(P.Holds(File("a.bmp")));
    EXPECT_FALSE(P.Take(File("a.bmp"), O).has_value());
  }
  // A read of another file is stopped by a new request, the wanted one kept.
  WriteBmp(File("b.bmp"), *Pattern24(4, 4));
  TPrefetcher P(PrefetchBound(), SlowRead(10000, true));
  P.Request({File("a.bmp")}, O);
  while (P.ReadsStarted() == 0)
    std::this_thread::sleep_for(1ms);
  QElapsedTimer T;
  T.start();
  P.Request({File("b.bmp")}, O);
  while (P.ReadsStarted() < 2 && T.elapsed() < 5000)
    std::this_thread::sleep_for(1ms);
  EXPECT_LT(T.elapsed(), 200);
  EXPECT_FALSE(P.Holds(File("a.bmp")));
}

TEST_F(Prefetch, OpeningElsewhereAdoptingAndClosingCancel) {
  MakeFolder();
  Main->LoadImage(QFile("c.bmp"), false);
  ASSERT_TRUE(Idle());
  EXPECT_TRUE(Main->Prefetcher->Holds(File("d.bmp")));
  EXPECT_TRUE(Main->Prefetcher->Holds(File("b.bmp")));
  // Another file of the folder: the old neighbours go, the new ones come.
  Main->LoadImage(QFile("a.bmp"), false);
  EXPECT_FALSE(Main->Prefetcher->Holds(File("d.bmp")));
  ASSERT_TRUE(Idle());
  EXPECT_TRUE(Main->Prefetcher->Holds(File("b.bmp")));
  Main->AdoptImage(Pattern24(3, 3), QStringLiteral("Clipboard"));
  EXPECT_FALSE(Main->Prefetcher->Holds(File("b.bmp")));
  EXPECT_EQ(Main->Prefetcher->KeptBytes(), 0u);
  Main->close();
  EXPECT_TRUE(Main->Prefetcher == nullptr);
}

} // namespace
