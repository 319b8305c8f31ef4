#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMouseEvent>
#include <QScrollBar>
#include <filesystem>

#include "AppTestUtil.h"
#include "ColorTbl.h"
#include "Crop.h"
#include "DsSpinEdit.h"
#include "DsVCL.h"
#include "XColor.h"

namespace {

TEST(InfoTexts, BufferFormatsAndTheirDataSizes) {
  struct {
    int32_t Format;
    bool Gray;
    int32_t W, H;
    const char* Text;
    int64_t Size;
  } const Cases[] = {
      // 300 row bytes are a multiple of 4 already; 303 made even is 304.
      {pf24bit, false, 100, 10, "True Color RGB (24 bit)", 3000},
      {pf24bit, false, 101, 10, "True Color RGB (24 bit)", 3040},
      {pf32bit, false, 3, 2, "True Color RGB (32 bit)", 24},
      {pf15bit, false, 2, 3, "High Color RGB (15bit)", 12},
      {pf8bit, false, 5, 2, "Color Palette (256)", 16},
      {pf8bit, true, 4, 1, "Grayscale (256)", 4},
      {pf4bit, true, 9, 1, "Grayscale (16)", 8},
      {pf1bit, true, 33, 2, "Monochrome", 16},
      {pf1bit, false, 8, 1, "Color Palette (2)", 4},
  };
  for (const auto& C : Cases) {
    EXPECT_EQ(PixelFormatText(C.Format, C.Gray), QLatin1String(C.Text)) << C.Format;
    EXPECT_EQ(BufferDataSize(C.W, C.H, C.Format), C.Size) << C.Text << " " << C.W;
  }
  // Sizes past 32 bits stay exact.
  EXPECT_EQ(BufferDataSize(100000, 100000, pf32bit), int64_t(40000000000));
}

TEST(InfoTexts, SourceColorFormatsAndTheirDataSizes) {
  struct {
    int32_t Model, Bits, W, H, Format;
    const char* Text;
    int64_t Size;
  } const Cases[] = {
      // A 16-bit RGB TIFF read into a 24-bit buffer.
      {cfRGB, 16, 10, 10, pf24bit, "True Color RGB (48 bit)", 600},
      {cfBGR, 8, 101, 1, pf24bit, "True Color RGB (24 bit)", 304},
      {cfRGBA, 8, 10, 2, pf32bit, "True Color RGBA (32 bit)", 80},
      {cfBGRA, 16, 10, 1, pf32bit, "True Color RGBA (64 bit)", 80},
      // Palette indices are never doubled, however wide the palette's samples.
      {cfPalette, 16, 10, 3, pf8bit, "Color Palette (16 bit)", 30},
      {cfPalette, 2, 10, 1, pf4bit, "Color Palette (2 bit)", 5},
      {cfGray, 16, 10, 2, pf8bit, "Grayscale (16 bit)", 40},
      {cfGrayAlpha, 8, 10, 1, pf8bit, "Grayscale+Alpha (16 bit)", 20},
      {cfCMYK, 8, 4, 2, pf24bit, "True Color CMYK (32 bit)", 32},
      {cfCMYKA, 8, 4, 1, pf32bit, "True Color CMYKA (40 bit)", 20},
      {cfCIELabA, 16, 3, 1, pf32bit, "True Color CIE L*A*B A (64 bit)", 24},
      {cfYCbCr, 8, 4, 1, pf24bit, "True Color YCbCr (24 bit)", 12},
      // Four samples, yet rows as long as the buffer's.
      {cfYCCK, 8, 4, 1, pf24bit, "True Color YCCK (32 bit)", 12},
      {8, 8, 5, 1, pf16bit, "High Color RGB (15bit)", 10},
      {cfLogLuv, 16, 5, 1, pf24bit, "High Dyn. Range LogLUV", 32},
      {cfLogL, 8, 5, 1, pf8bit, "High Dyn. Gray LogL", 5},
      // Unknown models name the buffer's format.
      {0, 8, 7, 2, pf8bit, "Color Palette (256)", 14},
      {20, 8, 7, 2, pf24bit, "True Color RGB (24 bit)", 44},
  };
  for (const auto& C : Cases) {
    EXPECT_EQ(SourceColorText(C.Model, C.Bits, C.Format, false), QLatin1String(C.Text)) << C.Model;
    EXPECT_EQ(SourceDataSize(C.Model, C.Bits, C.W, C.H, C.Format), C.Size) << C.Text;
  }
}

TEST(InfoTexts, CompressionNamesBytesAndPixels) {
  // The last name, and codes past the table.
  EXPECT_EQ(CompressionName(17, false), QStringLiteral("LogLUV 32bit RLE"));
  EXPECT_EQ(CompressionName(18, false), QStringLiteral("Unknown"));
  EXPECT_EQ(CompressionName(255, true), QStringLiteral("Unknown interlaced"));
  EXPECT_EQ(CompressionName(3, true), QStringLiteral("LZW interlaced"));

  const QString Sep = QLocale().groupSeparator();
  EXPECT_EQ(ByteText(0), QStringLiteral("0 byte"));
  EXPECT_EQ(ByteText(999), QStringLiteral("999 byte"));
  EXPECT_EQ(ByteText(1234567), QStringLiteral("1") + Sep + "234" + Sep + "567 byte");

  EXPECT_EQ(PixelText(3, 4, 0x030201), QStringLiteral("XY: 3,4  RGB: 1,2,3"));
  EXPECT_EQ(PixelText(0, 0, 0xFFFFFF), QStringLiteral("XY: 0,0  RGB: 255,255,255"));
  EXPECT_EQ(PixelText(5, 5, -1), QStringLiteral("none"));
}

TEST(InfoTexts, DatesKeepFourDigitYearsInEveryLocale) {
  const QDateTime When(QDate(1999, 12, 31), QTime(23, 58));
  const QLocale Before;
  for (const QLocale& L :
       {QLocale::c(), QLocale(QLocale::English, QLocale::UnitedStates), QLocale(QLocale::German, QLocale::Germany),
        QLocale(QLocale::English, QLocale::UnitedKingdom)}) {
    QLocale::setDefault(L);
    const QString Text = DateTimeText(When);
    EXPECT_TRUE(Text.contains(QStringLiteral("1999"))) << Text.toStdString();
    const qsizetype Gap = Text.indexOf(QStringLiteral("   "));
    EXPECT_GT(Gap, 0) << Text.toStdString();
    EXPECT_EQ(Text.mid(Gap + 3), L.toString(When.time(), QLocale::ShortFormat)) << Text.toStdString();
    EXPECT_TRUE(DateTimeText(QDateTime(QDate(2031, 1, 2), QTime(1, 2))).contains(QStringLiteral("2031")));
  }
  QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
  EXPECT_EQ(DateTimeText(When).left(10), QStringLiteral("12/31/1999"));
  QLocale::setDefault(Before);
  // A file's time stamp comes out as the same moment.
  const auto Now = std::filesystem::file_time_type::clock::now();
  const QDateTime Converted = FileTimeToDateTime(Now);
  EXPECT_LE(std::abs(Converted.msecsTo(QDateTime::currentDateTime())), 5000);
}

std::string Str(const QString& S) { return S.toStdString(); }

// Mouse input to a widget at a point of its own.
void Move(QWidget* W, const QPoint& P) {
  QMouseEvent E(QEvent::MouseMove, QPointF(P), W->mapToGlobal(QPointF(P)), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
  QCoreApplication::sendEvent(W, &E);
}

void Leave(QWidget* W) {
  QEvent E(QEvent::Leave);
  QCoreApplication::sendEvent(W, &E);
}

void SendKey(QWidget* To, int Key) {
  QKeyEvent E(QEvent::KeyPress, Key, Qt::NoModifier);
  QCoreApplication::sendEvent(To, &E);
}

// A field of the window, a label or an edit, and the text it must show.
struct TField {
  const QWidget* Widget;
  QString Text;
};
using TFields = std::vector<TField>;

TFields operator+(TFields A, const TFields& B) {
  A.insert(A.end(), B.begin(), B.end());
  return A;
}

QString FieldText(const QWidget* W) {
  if (const auto* Label = qobject_cast<const QLabel*>(W))
    return Label->text();
  return qobject_cast<const QLineEdit*>(W)->text();
}

void ExpectFields(const TFields& Fields) {
  for (const TField& F : Fields)
    EXPECT_EQ(Str(FieldText(F.Widget)), Str(F.Text)) << F.Widget->objectName().toStdString();
}

class InfoWindow : public TMainFixture {
protected:
  void SetUp() override {
    TMainFixture::SetUp();
    Settings.ZoomToFit = false;
  }
  void TearDown() override {
    Settings.UndoEnabled = false;
    TMainFixture::TearDown();
  }
  TInfoForm* Info() const { return Main->InfoForm; }
  void ShowInfo() {
    if (!Info()->isVisible())
      Main->InfoItemClick();
  }
  // The file group of an image without a file.
  TFields NoFile(const char* Caption) const {
    const QString None = QStringLiteral("none"), Dash = QStringLiteral("-");
    return {{Info()->TypeText, Caption}, {Info()->Name, None},     {Info()->Path, None},
            {Info()->SizeText, Dash},    {Info()->TimeText, Dash}, {Info()->CompText, Dash}};
  }
  // The file group of a file as it is on disk now.
  TFields OfFile(const std::string& Path) const {
    const std::filesystem::path P(Path);
    return {{Info()->Name, QString::fromStdString(P.filename().string())},
            {Info()->Path, QString::fromStdString(P.parent_path().string())},
            {Info()->SizeText, ByteText(int64_t(std::filesystem::file_size(P)))},
            {Info()->TimeText, DateTimeText(FileTimeToDateTime(std::filesystem::last_write_time(P)))}};
  }
  // The buffer group, at the shown image's resolution.
  TFields OfDib(int W, int H, const QString& Color, int64_t Size) const {
    return {{Info()->DibDimText, QStringLiteral("%1 x %2 pixel").arg(W).arg(H)},
            {Info()->DibColText, Color},
            {Info()->DibDataText, ByteText(Size)},
            {Info()->DibResText, QStringLiteral("%1 dpi").arg(Main->Image->Resolution())}};
  }
  TFields OfImage(const char* Dimensions) const { return {{Info()->ImgDimText, Dimensions}}; }
  // An 8-bit image of colors that are no grays, entry I at pixel I.
  static std::unique_ptr<TDib> Palette8(int32_t W, int32_t H) {
    auto D = std::make_unique<TDib>(W, H, pf8bit);
    for (int32_t I = 0; I < 256; ++I)
      D->SetPaletteColor(I, TColor(I | (255 - I) << 8 | 40 << 16));
    for (int32_t Y = 0; Y < H; ++Y)
      for (int32_t X = 0; X < W; ++X)
        D->SetPixelValue(X, Y, uint32_t((X + Y * W) & 0xFF));
    return D;
  }
};

// Every format the program writes, saved by the program and opened again.
TEST_F(InfoWindow, EveryFieldOfEveryWrittenFormat) {
  struct {
    int Filter;
    const char* Name;
    bool Indexed;
    const char* Type;
    const char* Compression;
    const char* SourceColor;
    int64_t SourceSize;
  } const Cases[] = {
      {1, "a.bmp", false, "Windows Bitmap", "Uncompressed", "True Color RGB (24 bit)", 180},
      {2, "a.pcx", false, "ZSoft Paintbrush Image", "Run Length Coding", "True Color RGB (24 bit)", 180},
      {3, "a.gif", true, "GIF 89a", "LZW", "Color Palette (8 bit)", 60},
      {4, "a.png", false, "Portable Network Graphic", "LZ77 deflate", "True Color RGB (24 bit)", 180},
      {5, "a.tif", false, "Tagged Image File (pc)", "Uncompressed", "True Color RGB (24 bit)", 180},
      {6, "a.jpg", false, "JPEG Image", "DCT progressive interlaced", "True Color YCbCr (24 bit)", 180},
      {7, "a.tga", false, "TARGA True Vision Image", "Run Length Coding", "True Color RGB (24 bit)", 180},
      {8, "a.ppm", false, "Portable Pixelmap Image", "Uncompressed", "True Color RGB (24 bit)", 180},
      {9, "a.sgi", false, "Silicon Graphics Image", "Uncompressed", "True Color RGB (24 bit)", 180},
      {10, "a.ras", false, "SUN Raster File", "Uncompressed", "True Color RGB (24 bit)", 180},
      {11, "a.iff", false, "Interchange File Format", "Uncompressed", "True Color RGB (24 bit)", 180},
      {12, "a.psd", false, "Photoshop Image", "Uncompressed", "True Color RGB (24 bit)", 180},
      {13, "a.bum", false, "Poser Bump Map", "Uncompressed", "True Color RGB (24 bit)", 180},
  };
  ShowInfo();
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Name);
    Main->AdoptImage(C.Indexed ? Palette8(10, 6) : Pattern24(10, 6), QStringLiteral("Clipboard"));
    Main->SaveImageAs(QFile(C.Name), C.Filter);
    ASSERT_TRUE(Messages.empty()) << Messages.front().Text.toStdString();
    // The saved file is the shown one now; opened again, it tells the same.
    for (const bool Reopened : {false, true}) {
      SCOPED_TRACE(Reopened ? "opened" : "saved");
      if (Reopened)
        Main->LoadImage(QFile(C.Name), false);
      const TDib& D = *Main->Image;
      TFields Want = OfFile(File(C.Name)) + OfImage("10 x 6 pixel") +
                     TFields{{Info()->CompText, C.Compression},
                             {Info()->ImgColText, C.SourceColor},
                             {Info()->ImgDataText, ByteText(C.SourceSize)}} +
                     OfDib(10, 6, PixelFormatText(D.PixelFormat(), D.IsGray), BufferDataSize(10, 6, D.PixelFormat()));
      if (Reopened || C.Filter != 3)
        Want.push_back({Info()->TypeText, C.Type});
      ExpectFields(Want);
    }
  }
  // The writer names a new GIF by its version as well.
  Main->AdoptImage(Palette8(10, 6), QStringLiteral("Clipboard"));
  Main->SaveImageAs(QFile("b.gif"), 3);
  EXPECT_EQ(Str(Info()->TypeText->text()), Str(QStringLiteral("Graphic Interchange Format 89a")));
}

TEST_F(InfoWindow, PortableMapsAndHeadersReadAlone) {
  struct {
    const char* Name;
    std::unique_ptr<TDib> (*Make)();
    const char* Type;
  } const Cases[] = {
      {"a.pbm",
       [] {
         auto D = std::make_unique<TDib>(9, 3, pf1bit);
         D->MakeGrayPalette();
         return D;
       },
       "Portable Bitmap Image"},
      {"a.pgm",
       [] {
         auto D = std::make_unique<TDib>(9, 3, pf8bit);
         D->MakeGrayPalette();
         return D;
       },
       "Portable Graymap Image"},
      {"a.ppm", [] { return Pattern24(9, 3); }, "Portable Pixelmap Image"},
  };
  ShowInfo();
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Name);
    Main->AdoptImage(C.Make(), QStringLiteral("Clipboard"));
    Main->SaveImageAs(QFile(C.Name), SaveFilterPnm);
    EXPECT_EQ(Str(Info()->TypeText->text()), C.Type);
    Main->LoadImage(QFile(C.Name), false);
    EXPECT_EQ(Str(Info()->TypeText->text()), C.Type);
    // The header alone tells what the whole read does, without rows.
    const TImageRead Whole = ReadImageFile(File(C.Name), {});
    const TImageRead Header = ReadImageHeader(File(C.Name), {});
    EXPECT_FALSE(Header.Dib);
    EXPECT_EQ(Header.FormatText, C.Type);
    EXPECT_EQ(Header.Facts.Width, Whole.Facts.Width);
    EXPECT_EQ(Header.Facts.ColorFormat, Whole.Facts.ColorFormat);
    EXPECT_EQ(Header.Facts.SourceBits, Whole.Facts.SourceBits);
    EXPECT_EQ(Header.Facts.Compression, Whole.Facts.Compression);
    EXPECT_EQ(Header.Facts.FileSize, int64_t(std::filesystem::file_size(File(C.Name))));
  }
  EXPECT_THROW(ReadImageHeader(File("missing.png"), {}), std::exception);
  EXPECT_THROW(ReadImageHeader(File("a.xyz"), {}), std::exception);
}

TEST_F(InfoWindow, WriterOptionsShowAsCompressionAndInterlace) {
  struct {
    int Filter;
    const char* Name;
    void (*Set)(TSettings&);
    const char* Compression;
  } const Cases[] = {
      {3, "i.gif", [](TSettings& S) { S.GifInterlaced = true; }, "LZW interlaced"},
      {4, "i.png", [](TSettings& S) { S.PngInterlaced = true; }, "LZ77 deflate interlaced"},
      {5, "l.tif", [](TSettings& S) { S.TifCompression = 3; }, "LZW"},
      {6, "p.jpg", [](TSettings& S) { S.JpgProgressive = false; }, "DCT"},
      {7, "r.tga", [](TSettings& S) { S.TgaRle = false; }, "Uncompressed"},
      {8, "a.ppm", [](TSettings& S) { S.PnmCompression = 14; }, "Uncompressed Ascii"},
  };
  const TSettings Saved = Settings;
  ShowInfo();
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Name);
    C.Set(Settings);
    Main->AdoptImage(C.Filter == 3 ? Palette8(16, 16) : Pattern24(16, 16), QStringLiteral("Clipboard"));
    Main->SaveImageAs(QFile(C.Name), C.Filter);
    EXPECT_EQ(Str(Info()->CompText->text()), Str(QLatin1String(C.Compression)));
    Main->LoadImage(QFile(C.Name), false);
    EXPECT_EQ(Str(Info()->CompText->text()), Str(QLatin1String(C.Compression)));
    Settings = Saved;
  }
}

TEST_F(InfoWindow, ImagesWithoutFileShowNoneAndTheirCaption) {
  ShowInfo();
  Main->ShowSplash();
  ExpectFields(NoFile("Pelorin"));
  QGuiApplication::clipboard()->setImage(QImage(7, 5, QImage::Format_RGB32));
  Main->ClpbrdCopyFromItemClick();
  QGuiApplication::clipboard()->clear();
  ASSERT_EQ(Main->FileName, QStringLiteral("Clipboard"));
  const TDib& D = *Main->Image;
  ExpectFields(NoFile("Clipboard") + OfImage("7 x 5 pixel") +
               TFields{{Info()->ImgColText, PixelFormatText(D.PixelFormat(), D.IsGray)}} +
               OfDib(7, 5, PixelFormatText(D.PixelFormat(), false), BufferDataSize(7, 5, D.PixelFormat())));
  // A file shown before leaves nothing behind.
  WriteBmp(File("a.bmp"), *Pattern24(4, 4));
  Main->LoadImage(QFile("a.bmp"), false);
  Main->AdoptImage(Pattern24(3, 2), QStringLiteral("Acquired"));
  ExpectFields(NoFile("Acquired") + OfImage("3 x 2 pixel"));
}

TEST_F(InfoWindow, EveryKindOfChangeRefreshesTheWindow) {
  Settings.UndoEnabled = true;
  Main->ApplyUndoSetting();
  WriteBmp(File("a.bmp"), *Palette8(10, 6));
  Main->LoadImage(QFile("a.bmp"), false);
  // Edits change the buffer, never what the file holds.
  const char* const Palette = "Color Palette (256)";
  const TFields FileColor{{Info()->ImgColText, QStringLiteral("Color Palette (8 bit)")}};
  const struct {
    const char* What;
    std::function<void()> Do;
    int W, H;
    const char* Color;
    int64_t Size;
    // What the file holds, unchanged.
    TFields Kept;
  } Steps[] = {
      {"shown", [this] { ShowInfo(); }, 10, 6, Palette, 72, {}},
      {"turned", [this] { Main->RotateClick(1); }, 6, 10, Palette, 80, OfImage("10 x 6 pixel")},
      {"converted", [this] { Main->ConvRgbItemClick(); }, 6, 10, "True Color RGB (24 bit)", 200, FileColor},
      {"undone", [this] { Main->UndoItemClick(); }, 6, 10, Palette, 80, {}},
      {"undone twice", [this] { Main->UndoItemClick(); }, 10, 6, Palette, 72, {}},
      {"redone", [this] { Main->RedoItemClick(); }, 6, 10, Palette, 80, {}},
  };
  for (const auto& S : Steps) {
    SCOPED_TRACE(S.What);
    S.Do();
    ExpectFields(OfDib(S.W, S.H, S.Color, S.Size) + S.Kept);
  }
  // The crop tool.
  Main->CropItemClick();
  auto* Crop = qobject_cast<TCropForm*>(Main->CropForm.data());
  ASSERT_TRUE(Crop);
  Crop->WidthSpin->SetValue(4);
  Crop->HeightSpin->SetValue(3);
  Crop->CropBtnClick();
  ASSERT_TRUE(WaitFor([this] { return Main->CropForm.isNull(); }));
  ExpectFields(OfDib(4, 3, Palette, 12));
  // Saving over the shown file: the window describes the file as it is now.
  Main->SaveImageAs(QFile("a.bmp"), 1);
  ExpectFields(OfFile(File("a.bmp")) + OfImage("4 x 3 pixel"));
  // Saving a copy elsewhere leaves the shown file as it is.
  Main->SaveImageAs(QFile("copy.png"), 4);
  EXPECT_EQ(Str(Info()->Name->text()), Str(QStringLiteral("a.bmp")));
  // A new name for the shown file.
  std::filesystem::rename(File("a.bmp"), File("b.bmp"));
  Main->FileRenamed(QFile("b.bmp"));
  EXPECT_EQ(Str(Info()->Name->text()), Str(QStringLiteral("b.bmp")));
  // The clipboard's image.
  QGuiApplication::clipboard()->setImage(QImage(7, 5, QImage::Format_RGB32));
  Main->ClpbrdCopyFromItemClick();
  QGuiApplication::clipboard()->clear();
  ExpectFields(NoFile("Clipboard"));
  // Hidden, the window is left alone and catches up when it shows.
  Main->InfoItemClick();
  ASSERT_FALSE(Info()->isVisible());
  Main->MirrorUpDownItemClick();
  Main->RotateClick(1);
  EXPECT_EQ(Str(Info()->DibDimText->text()), Str(QStringLiteral("7 x 5 pixel")));
  Main->InfoItemClick();
  EXPECT_EQ(Str(Info()->DibDimText->text()), Str(QStringLiteral("5 x 7 pixel")));
}

TEST_F(InfoWindow, TheItemAndTheKeysFollowTheWindow) {
  WriteBmp(File("a.bmp"), *Pattern24(10, 6));
  Main->LoadImage(QFile("a.bmp"), false);
  QAction* Item = Main->Item(QStringLiteral("InfoItem"));
  ASSERT_TRUE(Item->isEnabled());
  ASSERT_TRUE(Item->isCheckable());
  Item->trigger();
  EXPECT_TRUE(Info()->isVisible());
  EXPECT_TRUE(Item->isChecked());
  EXPECT_EQ(Str(Info()->TypeText->text()), Str(QStringLiteral("Windows Bitmap")));
  EXPECT_EQ(Info()->windowTitle(), QStringLiteral("Image Information"));
  EXPECT_EQ(Info()->size(), QSize(273, 369));
  // Escape hides it, from the window and from its edits alike.
  SendKey(Info(), Qt::Key_Escape);
  EXPECT_FALSE(Info()->isVisible());
  EXPECT_FALSE(Item->isChecked());
  Main->InfoItemClick();
  SendKey(Info()->Path, Qt::Key_Escape);
  EXPECT_FALSE(Info()->isVisible());
  // Other keys are the main window's: I toggles the window, V inverts.
  Main->InfoItemClick();
  const TColor Before = Main->Image->GetPixelColor(0, 0);
  SendKey(Info()->Name, Qt::Key_V);
  EXPECT_EQ(Main->Image->GetPixelColor(0, 0), Before ^ 0xFFFFFF);
  SendKey(Info(), Qt::Key_I);
  EXPECT_FALSE(Info()->isVisible());
  EXPECT_FALSE(Item->isChecked());
}

TEST_F(InfoWindow, ReadoutAtEveryZoomAndScrollPosition) {
  WriteBmp(File("a.bmp"), *Pattern24(120, 90));
  Main->LoadImage(QFile("a.bmp"), false);
  ShowInfo();
  EXPECT_EQ(Str(Info()->PixelReadout), Str(QStringLiteral("none")));
  EXPECT_TRUE(Main->ImgBox->hasMouseTracking());
  struct {
    int32_t Zoom;
    int Scroll;
    QPoint InWindow, Pixel;
  } const Cases[] = {
      {0, 0, {10, 5}, {10, 5}}, {1, 0, {10, 5}, {5, 2}},    {-1, 0, {30, 17}, {40, 20}}, {-2, 0, {30, 20}, {30, 15}},
      {2, 0, {10, 5}, {3, 1}},  {0, 30, {10, 5}, {40, 35}}, {1, 40, {10, 6}, {25, 23}},  {3, 100, {7, 9}, {26, 27}},
  };
  Main->resize(80, 60);
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Zoom);
    Main->SetZoom(C.Zoom);
    Main->resize(80, 60);
    Main->HorzScrollBar->setValue(C.Scroll);
    Main->VertScrollBar->setValue(C.Scroll);
    const QPoint At = Main->ImgBox->mapFrom(Main.get(), C.InWindow);
    Move(Main->ImgBox, At);
    EXPECT_EQ(Str(Info()->PixelReadout),
              Str(PixelText(C.Pixel.x(), C.Pixel.y(), C.Pixel.x() | C.Pixel.y() << 8 | 7 << 16)))
        << C.Scroll;
    EXPECT_EQ(Info()->PixelIndex, -1);
    Leave(Main->ImgBox);
    EXPECT_EQ(Str(Info()->PixelReadout), Str(QStringLiteral("none")));
  }
  // Past the image's end nothing is under the pointer.
  Main->SetZoom(-1);
  Move(Main->ImgBox, QPoint(Main->Image->ZoomedWidth() + 5, 1));
  EXPECT_EQ(Str(Info()->PixelReadout), Str(QStringLiteral("none")));
}

TEST_F(InfoWindow, ReadoutOfPaletteImagesAndWhilePanning) {
  WriteBmp(File("a.bmp"), *Palette8(16, 16));
  Main->LoadImage(QFile("a.bmp"), false);
  ShowInfo();
  Main->SetZoom(0);
  Move(Main->ImgBox, QPoint(3, 2));
  const int32_t Index = 3 + 2 * 16;
  EXPECT_EQ(Info()->PixelIndex, Index);
  EXPECT_EQ(Str(Info()->PixelReadout), Str(PixelText(3, 2, Main->Image->GetPaletteColor(Index))));
  // Panning moves the image under the pointer: the readout stays.
  Main->Dragging = true;
  Move(Main->ImgBox, QPoint(5, 5));
  EXPECT_EQ(Info()->PixelIndex, Index);
  Main->Dragging = false;
  Leave(Main->ImgBox);
  EXPECT_EQ(Info()->PixelIndex, -1);
  // The color table still marks the entry under the pointer, and moves
  // still reach the readout after it closed.
  Main->ColorTblItemClick();
  ASSERT_TRUE(Main->ColorTblForm);
  Move(Main->ImgBox, QPoint(1, 0));
  EXPECT_EQ(Str(Main->ColorTblForm->HovIdxLbl->text()), Str(QStringLiteral("1")));
  EXPECT_EQ(Info()->PixelIndex, 1);
  Main->ColorTblForm->reject();
  ASSERT_TRUE(WaitFor([this] { return Main->ColorTblForm.isNull(); }));
  EXPECT_TRUE(Main->ImgBox->hasMouseTracking());
  Move(Main->ImgBox, QPoint(2, 0));
  EXPECT_EQ(Info()->PixelIndex, 2);
}

TEST_F(InfoWindow, ReadoutPassesThroughTheCropFrame) {
  WriteBmp(File("a.bmp"), *Pattern24(40, 30));
  Main->LoadImage(QFile("a.bmp"), false);
  ShowInfo();
  for (const int32_t Zoom : {0, 1, -1}) {
    SCOPED_TRACE(Zoom);
    Main->SetZoom(Zoom);
    Main->CropItemClick();
    auto* Crop = qobject_cast<TCropForm*>(Main->CropForm.data());
    ASSERT_TRUE(Crop);
    TRectBox* Frame = Crop->RectBox();
    const int F = Zoom > 0 ? Zoom + 1 : 1, D = Zoom < 0 ? 1 - Zoom : 1;
    // The frame covers the whole image and 3 pixels around it.
    Move(Frame, QPoint(3 + 8, 3 + 6));
    EXPECT_EQ(Str(Info()->PixelReadout),
              Str(PixelText(8 / F * D, 6 / F * D, (8 / F * D) | (6 / F * D) << 8 | 7 << 16)));
    Move(Frame, QPoint(1, 1));
    EXPECT_EQ(Str(Info()->PixelReadout), Str(QStringLiteral("none")));
    Move(Frame, QPoint(3 + 2, 3 + 4));
    Leave(Frame);
    EXPECT_EQ(Str(Info()->PixelReadout), Str(QStringLiteral("none")));
    Crop->reject();
    ASSERT_TRUE(WaitFor([this] { return Main->CropForm.isNull(); }));
  }
}

TEST_F(InfoWindow, MovesRepaintOnlyTheReadout) {
  WriteBmp(File("a.bmp"), *Pattern24(40, 30));
  Main->LoadImage(QFile("a.bmp"), false);
  ShowInfo();
  QCoreApplication::processEvents();
  int FilePaints = 0, PixelPaints = 0;
  Info()->FileGroup->installEventFilter(new TPaintCounter(&FilePaints, Info()));
  Info()->PeGroupBox4->installEventFilter(new TPaintCounter(&PixelPaints, Info()));
  for (int I = 0; I < 20; ++I) {
    Move(Main->ImgBox, QPoint(I, I / 2));
    QCoreApplication::processEvents();
  }
  EXPECT_EQ(FilePaints, 0);
  EXPECT_GT(PixelPaints, 0);
  // The same pixel again changes nothing.
  const int Paints = PixelPaints;
  Move(Main->ImgBox, QPoint(19, 9));
  QCoreApplication::processEvents();
  EXPECT_EQ(PixelPaints, Paints);
}

} // namespace
