#include <csignal>
#include <fstream>
#include <sys/resource.h>

#include <QLocalSocket>
#include <QTest>

#include "AppTestUtil.h"
#include "ImgFormats.h"
#include "XGif.h"
#include "XTif.h"

namespace {

std::string Contents(const std::string& Name) {
  std::ifstream In(Name, std::ios::binary);
  return {std::istreambuf_iterator<char>(In), {}};
}

class OpenSave : public TMainFixture {};

TEST_F(OpenSave, LoadShowsTheFileAndKeepsItsData) {
  Settings.ZoomToFit = false;
  WriteBmp(File("p.bmp"), *Pattern24(33, 17));
  Main->LoadImage(QFile("p.bmp"), false);
  ASSERT_TRUE(Main->Image);
  EXPECT_EQ(Main->SourceKind, 1);
  EXPECT_EQ(Main->Image->Width(), 33);
  EXPECT_EQ(Main->Image->GetPixelColor(32, 16), Pattern24(33, 17)->GetPixelColor(32, 16));
  EXPECT_EQ(Main->windowTitle(), "p.bmp [1:1]");
  EXPECT_EQ(Main->FileSize, int64_t(std::filesystem::file_size(File("p.bmp"))));
  EXPECT_TRUE(Main->PaintEnabled);
  EXPECT_EQ(Main->OpenDialog.InitialDir.toStdString(), Folder.string());
  // The paint box shows the image, centered when the window is larger.
  Main->resize(200, 100);
  QCoreApplication::processEvents();
  EXPECT_EQ(Main->ImgBox->geometry(), QRect((200 - 33) / 2, (100 - 17) / 2, 33, 17));
  const QImage Shot = Main->ImgBox->grab().toImage();
  EXPECT_EQ(Shot.pixel(5, 9), qRgb(5, 9, 7));
  Settings.ZoomToFit = true;
}

TEST_F(OpenSave, UnreadableOrVanishedFileKeepsTheCurrentImage) {
  WriteBmp(File("keep.bmp"), *Pattern24(10, 10));
  Main->LoadImage(QFile("keep.bmp"), false);
  std::ofstream(File("bad.bmp"), std::ios::binary) << "BMnot a bitmap at all";
  Main->Guarded([&] { Main->LoadImage(QFile("bad.bmp"), false); });
  Main->Guarded([&] { Main->LoadImage(QFile("gone.bmp"), false); });
  ASSERT_EQ(Messages.size(), 2u);
  EXPECT_EQ(Messages[0].Kind, mkError);
  EXPECT_EQ(Messages[1].Kind, mkError);
  EXPECT_EQ(Main->FileName, QFile("keep.bmp"));
  EXPECT_EQ(Main->Image->Width(), 10);
  EXPECT_TRUE(Main->PaintEnabled);
}

TEST_F(OpenSave, FailedOpenKeepsTheShownImagesTransparency) {
  auto Dib = std::make_unique<TDib>(8, 8, pf8bit);
  TGifWriter W;
  W.Transparency.TransparentIndex = 3;
  W.CreateFile(File("t.gif"));
  W.Write(*Dib);
  Main->LoadImage(QFile("t.gif"), false);
  ASSERT_EQ(Main->Transparency.TransparentIndex, 3);
  std::ofstream(File("bad.gif"), std::ios::binary) << "GIF89a broken";
  Main->Guarded([&] { Main->LoadImage(QFile("bad.gif"), false); });
  Main->LoadImage(QFile("x.jp2"), false);
  EXPECT_EQ(Main->FileName, QFile("t.gif"));
  EXPECT_EQ(Main->Transparency.TransparentIndex, 3);
  EXPECT_TRUE(Main->HasTransparency);
  // Saved again, the file keeps its transparent entry.
  Main->SaveImageAs(QFile("again.gif"), 3);
  TGifReader R;
  R.Open(File("again.gif"));
  EXPECT_EQ(R.Transparency.TransparentIndex, 3);
  // A file that does replace the image brings its own (here none).
  WriteBmp(File("plain.bmp"), *Pattern24(4, 4));
  Main->LoadImage(QFile("plain.bmp"), false);
  EXPECT_EQ(Main->Transparency.TransparentIndex, -1);
}

TEST_F(OpenSave, TypesWithoutAReaderAreReported) {
  WriteBmp(File("keep.bmp"), *Pattern24(10, 10));
  Main->LoadImage(QFile("keep.bmp"), false);
  for (const char* Name : {"x.jp2", "x.zip"}) {
    Messages.clear();
    Main->LoadImage(QFile(Name), false);
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Kind, mkInformation);
    EXPECT_EQ(Messages[0].Text, "File type not supported:\n" + QFile(Name));
  }
  EXPECT_EQ(Main->FileName, QFile("keep.bmp"));
}

TEST_F(OpenSave, BrokenPixelsShowThePartReadWithAWarning) {
  auto Dib = Pattern24(64, 64);
  WriteBmp(File("cut.bmp"), *Dib);
  std::filesystem::resize_file(File("cut.bmp"), 54 + 64 * 64 * 3 / 2);
  Main->LoadImage(QFile("cut.bmp"), false);
  ASSERT_TRUE(Main->Image);
  ASSERT_FALSE(Messages.empty());
  EXPECT_EQ(Messages.back().Kind, mkWarning);
  EXPECT_EQ(Main->FileName, QFile("cut.bmp"));
  // Bottom-up rows: the lower half arrived.
  EXPECT_EQ(Main->Image->GetPixelColor(3, 60), Dib->GetPixelColor(3, 60));
}

TEST_F(OpenSave, RowsAreDrawnAsTheyArriveWithProgressView) {
  Settings.ShowProgress = true;
  Settings.ZoomToFit = false;
  WriteBmp(File("big.bmp"), *Pattern24(300, 200));
  int Paints = 0;
  // Also when the window is not on the screen yet, as at start.
  Main->ImgBox->installEventFilter(new TPaintCounter(&Paints, Main->ImgBox));
  Main->LoadImage(QFile("big.bmp"), false);
  EXPECT_GT(Paints, 3);
  Settings.ShowProgress = false;
  Settings.ZoomToFit = true;
}

TEST_F(OpenSave, SaveRoundTripAndExtensions) {
  auto Dib = Pattern24(21, 13);
  WriteBmp(File("src.bmp"), *Dib);
  Main->LoadImage(QFile("src.bmp"), false);
  Main->SaveImageAs(QFile("copy"), 1);
  ASSERT_TRUE(std::filesystem::exists(File("copy.bmp")));
  EXPECT_EQ(ReadBmp(File("copy.bmp"))->GetPixelColor(20, 12), Dib->GetPixelColor(20, 12));
  Main->SaveImageAs(QFile("photo.png.bmp"), 1);
  EXPECT_TRUE(std::filesystem::exists(File("photo.png.bmp")));
  Main->SaveImageAs(QFile("photo"), 4);
  EXPECT_TRUE(std::filesystem::exists(File("photo.png")));
  // A loaded file stays the shown one.
  EXPECT_EQ(Main->FileName, QFile("src.bmp"));
  EXPECT_TRUE(Messages.empty());
  for (const auto& E : std::filesystem::directory_iterator(Folder))
    EXPECT_NE(E.path().filename().string()[0], '.') << "temporary file left: " << E.path();
}

TEST_F(OpenSave, TiffTakesItsSettingsAndReadsBack) {
  auto Dib = Pattern24(21, 13);
  WriteBmp(File("src.bmp"), *Dib);
  Main->LoadImage(QFile("src.bmp"), false);
  Settings.TifCompression = 4;
  Settings.TifBigEndian = 1;
  Settings.SignTif = true;
  Main->MetaAuthor = QStringLiteral("A. Writer");
  Main->SaveImageAs(QFile("photo"), 5);
  TTifReader R;
  TImageRead Read = ReadImageWith(R, File("photo.tif"));
  Read.ThrowFailure();
  EXPECT_TRUE(R.BigEndian);
  EXPECT_EQ(R.Predictor, 2);
  EXPECT_EQ(R.Author, "A. Writer");
  EXPECT_EQ(Read.Dib->GetPixelColor(20, 12), Dib->GetPixelColor(20, 12));
  EXPECT_TRUE(Messages.empty());
  if (std::system("command -v tiffinfo >/dev/null 2>&1") == 0) {
    const std::string Cmd = "tiffinfo -D '" + File("photo.tif") + "' >/dev/null 2>'" + File("err.txt") + "'";
    EXPECT_EQ(std::system(Cmd.c_str()), 0);
    EXPECT_EQ(Contents(File("err.txt")), "");
  }
}

TEST_F(OpenSave, AddedExtensionDoesNotReplaceAFileUnasked) {
  Main->AdoptImage(Pattern24(4, 4), QStringLiteral("Clipboard"));
  std::ofstream(File("photo.bmp"), std::ios::binary) << "keep me";
  Answer = QMessageBox::No;
  Main->SaveImageAs(QFile("photo"), 1, true);
  ASSERT_EQ(Messages.size(), 1u);
  EXPECT_EQ(Messages[0].Kind, mkConfirm);
  EXPECT_EQ(Contents(File("photo.bmp")), "keep me");
  Answer = QMessageBox::Yes;
  Main->SaveImageAs(QFile("photo"), 1, true);
  EXPECT_EQ(ReadBmp(File("photo.bmp"))->Width(), 4);
  // A name the dialog already confirmed is not asked about again.
  Messages.clear();
  Main->SaveImageAs(QFile("photo.bmp"), 1, true);
  EXPECT_TRUE(Messages.empty());
}

TEST_F(OpenSave, NothingReplacesTheImageWhileItIsWritten) {
  auto Dib = Pattern24(1500, 1000);
  WriteBmp(File("shown.bmp"), *Dib);
  WriteBmp(File("other.bmp"), *Pattern24(5, 5));
  Main->LoadImage(QFile("shown.bmp"), false);
  // The message waits in the socket until the progress dialog lets events run.
  QLocalSocket Client;
  Client.connectToServer(OpenFileServerName());
  ASSERT_TRUE(Client.waitForConnected(2000));
  Client.write(QFile("other.bmp").toUtf8());
  ASSERT_TRUE(Client.waitForBytesWritten(2000));
  Client.disconnectFromServer();
  Main->SaveImageAs(QFile("copy"), 1);
  EXPECT_EQ(Main->FileName, QFile("shown.bmp"));
  EXPECT_FALSE(Main->ModalLock);
  EXPECT_EQ(ReadBmp(File("copy.bmp"))->GetPixelColor(1499, 999), Dib->GetPixelColor(1499, 999));
}

TEST_F(OpenSave, GifRefusesTrueColorAndWritesNothing) {
  Main->AdoptImage(Pattern24(4, 4), QStringLiteral("Clipboard"));
  Main->SaveImageAs(QFile("x"), 3);
  ASSERT_EQ(Messages.size(), 1u);
  EXPECT_EQ(Messages[0].Text, "Convert to grayscale or indexed colors to save as GIF");
  EXPECT_FALSE(std::filesystem::exists(File("x.gif")));
  EXPECT_EQ(Main->SourceKind, 0);
}

TEST_F(OpenSave, SavingAnImageNotFromAFileMakesItTheShownFile) {
  Main->AdoptImage(Pattern24(4, 4), QStringLiteral("Clipboard"));
  EXPECT_EQ(Main->windowTitle(), "Clipboard [1:1]");
  Main->SaveImageAs(QFile("pasted"), 1);
  EXPECT_EQ(Main->SourceKind, 1);
  EXPECT_EQ(Main->FileName, QFile("pasted.bmp"));
  EXPECT_EQ(Main->windowTitle(), "pasted.bmp [1:1]");
  EXPECT_TRUE(Main->Item("OpenAgainItem")->isEnabled());
}

TEST_F(OpenSave, FailedSaveKeepsTheExistingFile) {
  Main->AdoptImage(Pattern24(600, 600), QStringLiteral("Clipboard"));
  std::ofstream(File("old.bmp"), std::ios::binary) << "the original";
  // The disk fills up halfway through the write.
  rlimit Old{};
  getrlimit(RLIMIT_FSIZE, &Old);
  const auto OldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit Small = Old;
  Small.rlim_cur = 100000;
  setrlimit(RLIMIT_FSIZE, &Small);
  Main->Guarded([&] { Main->SaveImageAs(QFile("old.bmp"), 1); });
  setrlimit(RLIMIT_FSIZE, &Old);
  std::signal(SIGXFSZ, OldHandler);
  ASSERT_EQ(Messages.size(), 1u);
  EXPECT_EQ(Messages[0].Kind, mkError);
  EXPECT_EQ(Contents(File("old.bmp")), "the original");
  EXPECT_EQ(Main->SourceKind, 0);
  for (const auto& E : std::filesystem::directory_iterator(Folder))
    EXPECT_NE(E.path().filename().string()[0], '.') << "temporary file left: " << E.path();
}

TEST(SaveTables, PlaceholderAndExtensions) {
  TDib Bits(2, 2, pf1bit), Gray(2, 2, pf8bit), Color(2, 2, pf24bit);
  Gray.IsGray = true;
  EXPECT_EQ(SaveFilters()[SaveFilterPnm - 1], "MAP (*.pnm)");
  EXPECT_EQ(SaveFiltersFor(Bits)[SaveFilterPnm - 1], "PBM (Portable Bitmap) (*.pbm)");
  EXPECT_EQ(SaveFiltersFor(Gray)[SaveFilterPnm - 1], "PGM (Portable Graymap) (*.pgm)");
  EXPECT_EQ(SaveFiltersFor(Color)[SaveFilterPnm - 1], "PPM (Portable Pixelmap) (*.ppm)");
  EXPECT_EQ(SaveFilters().size(), size_t(SaveFilterCount));
  EXPECT_EQ(OpenFilters()[OpenFilterAll - 1].rfind("All supported bitmap files", 0), 0u);
  EXPECT_EQ(NameWithExtension("photo", ".png"), "photo.png");
  EXPECT_EQ(NameWithExtension("photo.png.bmp", ".bmp"), "photo.png.bmp");
  EXPECT_EQ(NameWithExtension("PHOTO.BMP", ".bmp"), "PHOTO.BMP");
  const TTransparencyInfo T;
  TSettings S{};
  SetDefaultSettings(S);
  EXPECT_EQ(CreateWriter(8, Gray, S, T, {}).Extension, ".pgm");
  EXPECT_EQ(CreateWriter(13, Color, S, T, {}).FormatText, "Poser Bump Map");
  EXPECT_TRUE(CreateWriter(3, Gray, S, T, {}).Writer);
  EXPECT_TRUE(CreateWriter(5, Color, S, T, {}).Writer);
  EXPECT_EQ(CreateWriter(SaveFilterCount + 1, Color, S, T, {}).Refusal, "File type not supported");
}

} // namespace
