#include <QFileDialog>
#include <QLabel>
#include <QProgressBar>
#include <QSlider>
#include <array>
#include <cstring>
#include <fstream>
#include <memory>

#include "AppTestUtil.h"
#include "DsVCL.h"
#include "ImgFormats.h"
#include "Progress.h"
#include "SaveOptions.h"
#include "XGif.h"
#include "XPng.h"

namespace {

std::string Contents(const std::string& Name) {
  std::ifstream In(Name, std::ios::binary);
  return {std::istreambuf_iterator<char>(In), {}};
}

// Value of a SHORT or LONG tag of the first directory of a TIFF file; -1
// when the tag is missing.
int64_t TiffTag(const std::string& F, uint16_t Tag) {
  const bool Big = F.compare(0, 2, "MM") == 0;
  auto U = [&](size_t At, int Bytes) {
    uint32_t V = 0;
    for (int I = 0; I < Bytes; ++I) {
      const uint32_t B = uint8_t(F.at(At + size_t(Big ? I : Bytes - 1 - I)));
      V = V << 8 | B;
    }
    return V;
  };
  const size_t Dir = U(4, 4);
  for (uint32_t I = 0, N = U(Dir, 2); I < N; ++I) {
    const size_t E = Dir + 2 + I * 12;
    if (U(E, 2) == Tag)
      return U(E + 2, 2) == 3 ? U(E + 8, 2) : U(E + 8, 4);
  }
  return -1;
}

std::array<uint8_t, SettingsSize> Bytes(const TSettings& S) { return SettingsToBytes(S); }

class SaveOptions : public TMainFixture {
protected:
  // Shows Dib in the main window as if loaded from a file.
  void Show(std::unique_ptr<TDib> Dib) {
    WriteBmp(File("source.bmp"), *Dib);
    Main->LoadImage(QFile("source.bmp"), false);
    Main->Image->IsGray = Dib->IsGray;
  }

  // The save command from the chosen name on, with Fill working the options
  // dialog of type T; false when that dialog did not come up.
  template <class T>
  bool SaveThrough(int Filter, const char* Name, const std::function<void(T&)>& Fill) {
    return WorkModal<T>(
        [&] {
          if (Main->SaveOptionsAccepted(Filter))
            Main->SaveImageAs(QFile(Name), Filter);
        },
        Fill);
  }
};

TEST_F(SaveOptions, EachDialogShowsItsControlsFromTheDefaults) {
  TSettings S{};
  SetDefaultSettings(S);
  TSaveBmpForm Bmp(S);
  EXPECT_EQ(Bmp.windowTitle(), "Save BMP options");
  EXPECT_EQ(Bmp.GroupBox1->Caption(), "File type");
  EXPECT_TRUE(Bmp.WinRadio->Checked());
  EXPECT_EQ(Bmp.Os2Radio->Caption(), "&OS/2  bitmap");
  TSaveGifForm Gif(S);
  EXPECT_TRUE(Gif.NoCmpRadio->Checked());
  EXPECT_EQ(Gif.IBox->Checked(), S.GifInterlaced);
  TSavePnmForm Pnm(S);
  EXPECT_TRUE(Pnm.RadioBtn2->Checked());
  TSaveTgaForm Tga(S);
  EXPECT_EQ(Tga.Radio2->Checked(), S.TgaRle);
  EXPECT_EQ(Tga.Radio2->Caption(), "&run length coding");

  TSaveJpgForm Jpg(S);
  EXPECT_EQ(Jpg.size(), QSize(187, 158));
  EXPECT_EQ(Jpg.Label2->text(), "90%");
  EXPECT_EQ(Jpg.TrackBar1->minimum(), 10);
  EXPECT_EQ(Jpg.TrackBar1->maximum(), 100);
  EXPECT_EQ(Jpg.TrackBar1->tickInterval(), 5);
  Jpg.TrackBar1->setValue(47);
  EXPECT_EQ(Jpg.Label2->text(), "47%");

  TSavePngForm Png(S);
  EXPECT_EQ(Png.size(), QSize(182, 269));
  EXPECT_EQ(Png.Label2->text(), "6 (default)");
  for (auto [Level, Text] : {std::pair{0, "0 (uncompressed)"}, {1, "1 (minimum)"}, {4, "4"}, {9, "9 (maximum)"}}) {
    Png.Track->setValue(Level);
    EXPECT_EQ(Png.Label2->text(), Text);
  }
  EXPECT_TRUE(Png.SubBox->Checked() && Png.UpBox->Checked() && Png.AverageBox->Checked() && Png.PaethBox->Checked());

  TSaveTifForm Tif(S);
  EXPECT_EQ(Tif.size(), QSize(186, 290));
  EXPECT_TRUE(Tif.RBPc->Checked());
  EXPECT_TRUE(Tif.Rb32k->Checked());
  EXPECT_TRUE(Tif.RbNoCmp->Checked());
  EXPECT_TRUE(Tif.PredictBox->Checked());
  EXPECT_FALSE(Tif.PredictBox->isEnabled());
}

// What a dialog closed with OK stores; Cancel stores nothing.
TEST_F(SaveOptions, SettingsChangeOnlyOnOk) {
  struct TCase {
    const char* Name;
    std::function<std::unique_ptr<TSaveOptionsForm>(TSettings&)> Make;
    std::function<void(TSaveOptionsForm&)> Work;
    std::function<void(const TSettings&)> Check;
  };
  const TCase Cases[] = {
      {"bmp", [](TSettings& S) { return std::make_unique<TSaveBmpForm>(S); },
       [](TSaveOptionsForm& F) { static_cast<TSaveBmpForm&>(F).Os2Radio->click(); },
       [](const TSettings& S) { EXPECT_EQ(S.BmpOs2, 1); }},
      {"gif", [](TSettings& S) { return std::make_unique<TSaveGifForm>(S); },
       [](TSaveOptionsForm& F) {
         static_cast<TSaveGifForm&>(F).LzwCmpRadio->click();
         static_cast<TSaveGifForm&>(F).IBox->click();
       },
       [](const TSettings& S) {
         EXPECT_EQ(S.GifCompression, 3);
         EXPECT_TRUE(S.GifInterlaced);
       }},
      {"pnm", [](TSettings& S) { return std::make_unique<TSavePnmForm>(S); },
       [](TSaveOptionsForm& F) { static_cast<TSavePnmForm&>(F).RadioBtn1->click(); },
       [](const TSettings& S) { EXPECT_EQ(S.PnmCompression, 14); }},
      {"tga", [](TSettings& S) { return std::make_unique<TSaveTgaForm>(S); },
       [](TSaveOptionsForm& F) { static_cast<TSaveTgaForm&>(F).Radio1->click(); },
       [](const TSettings& S) { EXPECT_FALSE(S.TgaRle); }},
      {"jpg", [](TSettings& S) { return std::make_unique<TSaveJpgForm>(S); },
       [](TSaveOptionsForm& F) {
         static_cast<TSaveJpgForm&>(F).TrackBar1->setValue(35);
         static_cast<TSaveJpgForm&>(F).CheckBox1->click();
       },
       [](const TSettings& S) {
         EXPECT_EQ(S.JpgQuality, 35);
         EXPECT_FALSE(S.JpgProgressive);
       }},
      {"tif", [](TSettings& S) { return std::make_unique<TSaveTifForm>(S); },
       [](TSaveOptionsForm& F) {
         auto& T = static_cast<TSaveTifForm&>(F);
         T.RBMac->click();
         T.Rb16k->click();
         T.RbLzwCmp->click();
       },
       [](const TSettings& S) {
         EXPECT_EQ(S.TifBigEndian, 1);
         EXPECT_EQ(S.TifStripSize, 16384);
         EXPECT_EQ(S.TifCompression, 4);
       }},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.Name);
    TSettings S{};
    SetDefaultSettings(S);
    const auto Before = Bytes(S);
    auto Cancelled = C.Make(S);
    C.Work(*Cancelled);
    Cancelled->reject();
    EXPECT_EQ(Bytes(S), Before);
    auto Accepted = C.Make(S);
    C.Work(*Accepted);
    Accepted->accept();
    C.Check(S);
  }
}

TEST_F(SaveOptions, TiffPredictionFollowsTheImageAndTheCompression) {
  TSettings S{};
  SetDefaultSettings(S);
  S.TifCompression = 4;
  S.TifStripSize = 12345;
  {
    // A 4-bit image: LZW without prediction, whatever the box says.
    TSaveTifForm F(S);
    F.SetPrediction(false);
    EXPECT_TRUE(F.RbLzwCmp->Checked());
    EXPECT_TRUE(F.Rb32k->Checked());
    EXPECT_FALSE(F.PredictBox->isEnabled());
    F.accept();
    EXPECT_EQ(S.TifCompression, 3);
    EXPECT_EQ(S.TifStripSize, 32768);
  }
  {
    // The box starts checked every time: LZW for 24 bits means prediction.
    TSaveTifForm F(S);
    F.SetPrediction(true);
    EXPECT_TRUE(F.PredictBox->isEnabled());
    EXPECT_TRUE(F.PredictBox->Checked());
    F.RbZZCmp->click();
    EXPECT_FALSE(F.PredictBox->isEnabled());
    F.RbLzwCmp->click();
    EXPECT_TRUE(F.PredictBox->isEnabled());
    F.accept();
    EXPECT_EQ(S.TifCompression, 4);
  }
  {
    // A stored value no button stands for stays as it was.
    S.TifCompression = 7;
    TSaveTifForm F(S);
    EXPECT_FALSE(F.RbNoCmp->Checked() || F.RbLzwCmp->Checked() || F.RbZZCmp->Checked());
    F.accept();
    EXPECT_EQ(S.TifCompression, 7);
  }
}

TEST_F(SaveOptions, PngModesDecideTheFiltersAndThePaletteOption) {
  TSettings S{};
  SetDefaultSettings(S);
  {
    TSavePngForm F(S);
    F.SetMode(1);
    EXPECT_TRUE(F.SubBox->isEnabled());
    F.Track->setValue(0);
    EXPECT_FALSE(F.PaethBox->isEnabled());
    EXPECT_EQ(F.FiltersInUse(), 0);
    F.Track->setValue(3);
    EXPECT_EQ(F.FiltersInUse(), 1);
    F.SubBox->click();
    F.accept();
    EXPECT_EQ(S.PngFilters, pngFilterNone | pngFilterUp | pngFilterAverage | pngFilterPaeth);
    EXPECT_EQ(S.PngCompressionLevel, 3);
  }
  {
    // An indexed color image: only the palette option, and the remembered
    // filters go back to None.
    TSavePngForm F(S);
    F.SetMode(2);
    EXPECT_TRUE(F.SubBox->isHidden() && F.AverageBox->isHidden() && F.PaethBox->isHidden());
    EXPECT_EQ(F.UpBox->Caption(), "&Optimize palette");
    EXPECT_EQ(F.PeGroupBox2->Caption(), "Color table");
    EXPECT_EQ(F.UpBox->Checked(), S.PngOptimizePalette);
    EXPECT_EQ(F.FiltersInUse(), 2);
    F.UpBox->click();
    F.accept();
    EXPECT_EQ(S.PngFilters, pngFilterNone);
    EXPECT_FALSE(S.PngOptimizePalette);
  }
  {
    TSavePngForm F(S);
    F.SetMode(1);
    EXPECT_FALSE(F.SubBox->Checked() || F.UpBox->Checked() || F.AverageBox->Checked() || F.PaethBox->Checked());
    F.SetMode(0);
    EXPECT_FALSE(F.UpBox->isEnabled());
    EXPECT_EQ(F.FiltersInUse(), 0);
  }
}

// The options reach the file; Cancel writes nothing.
TEST_F(SaveOptions, ChoicesReachTheWrittenFile) {
  Show(Pattern24(64, 48));
  ASSERT_TRUE(SaveThrough<TSaveJpgForm>(6, "low", [](TSaveJpgForm& F) {
    F.TrackBar1->setValue(20);
    F.accept();
  }));
  ASSERT_TRUE(SaveThrough<TSaveJpgForm>(6, "high", [](TSaveJpgForm& F) {
    F.TrackBar1->setValue(100);
    F.CheckBox1->click();
    F.accept();
  }));
  const std::string Low = Contents(File("low.jpg")), High = Contents(File("high.jpg"));
  EXPECT_LT(Low.size(), High.size());
  // Progressive by default; the box turned it off for the second.
  EXPECT_NE(Low.find("\xFF\xC2"), std::string::npos) << "no progressive frame";
  EXPECT_EQ(High.find("\xFF\xC2"), std::string::npos);

  ASSERT_TRUE(SaveThrough<TSavePngForm>(4, "adam7", [](TSavePngForm& F) {
    F.IntBox->click();
    F.accept();
  }));
  EXPECT_EQ(Contents(File("adam7.png")).at(28), 1) << "IHDR interlace method";

  ASSERT_TRUE(SaveThrough<TSaveTifForm>(5, "mac", [](TSaveTifForm& F) {
    F.RBMac->click();
    F.RbLzwCmp->click();
    F.accept();
  }));
  const std::string Tif = Contents(File("mac.tif"));
  EXPECT_EQ(Tif.substr(0, 2), "MM");
  EXPECT_EQ(TiffTag(Tif, 259), 5);
  EXPECT_EQ(TiffTag(Tif, 317), 2);

  ASSERT_TRUE(SaveThrough<TSaveBmpForm>(1, "os2", [](TSaveBmpForm& F) {
    F.Os2Radio->click();
    F.accept();
  }));
  EXPECT_EQ(Contents(File("os2.bmp")).at(14), 12) << "OS/2 header size";
  ASSERT_TRUE(SaveThrough<TSaveTgaForm>(7, "rle", [](TSaveTgaForm& F) {
    F.Radio2->click();
    F.accept();
  }));
  EXPECT_EQ(Contents(File("rle.tga")).at(2), 10) << "run-length true color";
  ASSERT_TRUE(SaveThrough<TSavePnmForm>(SaveFilterPnm, "plain", [](TSavePnmForm& F) {
    EXPECT_EQ(F.windowTitle(), "Save PPM options");
    F.RadioBtn1->click();
    F.accept();
  }));
  EXPECT_EQ(Contents(File("plain.ppm")).substr(0, 2), "P3");

  const auto Before = Bytes(Settings);
  ASSERT_TRUE(SaveThrough<TSaveJpgForm>(6, "cancelled", [](TSaveJpgForm& F) {
    F.TrackBar1->setValue(55);
    F.reject();
  }));
  EXPECT_FALSE(std::filesystem::exists(File("cancelled.jpg")));
  EXPECT_EQ(Bytes(Settings), Before);
  EXPECT_TRUE(Messages.empty());
}

TEST_F(SaveOptions, GifDialogOnlyForImagesItCanHoldAndFormatsWithoutOptionsSaveAtOnce) {
  Show(Pattern24(8, 8));
  // Should a dialog come up, it is closed and counted.
  bool Asked = false;
  QTimer::singleShot(1000, [&] {
    if (QWidget* W = QApplication::activeModalWidget()) {
      Asked = true;
      W->close();
    }
  });
  EXPECT_TRUE(Main->SaveOptionsAccepted(3));
  Main->SaveImageAs(QFile("refused"), 3);
  EXPECT_FALSE(Asked);
  EXPECT_FALSE(std::filesystem::exists(File("refused.gif")));
  ASSERT_EQ(Messages.size(), 1u);
  EXPECT_EQ(Messages[0].Text, "Convert to grayscale or indexed colors to save as GIF");
  for (int Filter : {2, 9, 10, 11, 12, 13})
    EXPECT_FALSE(SaveOptionsFormFor(Filter, *Main->Image, Settings, nullptr)) << Filter;
  EXPECT_TRUE(Main->SaveOptionsAccepted(9));

  auto Gray = std::make_unique<TDib>(64, 64, pf8bit);
  for (int32_t I = 0; I < 256; ++I)
    Gray->SetPaletteColor(I, TColor(I * 0x010101));
  Gray->IsGray = true;
  Show(std::move(Gray));
  ASSERT_TRUE(SaveThrough<TSaveGifForm>(3, "gray", [](TSaveGifForm& F) {
    F.LzwCmpRadio->click();
    F.IBox->click();
    F.accept();
  }));
  // The flat image shrinks with LZW; the image descriptor says interlaced.
  EXPECT_LT(Contents(File("gray.gif")).size(), 64u * 64u / 2);
  TGifReader R;
  R.Open(File("gray.gif"));
  EXPECT_TRUE(R.Interlaced);
}

TEST_F(SaveOptions, PngFiltersReachTheWriterOnlyForTrueColorAboveLevelZero) {
  TSettings S{};
  SetDefaultSettings(S);
  S.PngFilters = pngFilterPaeth;
  const TDib Color(2, 2, pf24bit), Mono(2, 2, pf1bit), Indexed(2, 2, pf4bit);
  auto FiltersOf = [&](const TDib& D) {
    return dynamic_cast<TPngWriter&>(*CreateWriter(4, D, S, {}, {}).Writer).Filters;
  };
  EXPECT_EQ(FiltersOf(Color), pngFilterPaeth | pngFilterNone);
  EXPECT_EQ(FiltersOf(Mono), pngFilterNone);
  EXPECT_EQ(FiltersOf(Indexed), pngFilterNone);
  S.PngCompressionLevel = 0;
  EXPECT_EQ(FiltersOf(Color), pngFilterNone);
}

TEST_F(SaveOptions, TheWholeCommandAsksNameThenOptions) {
  Show(Pattern24(40, 30));
  const QString Filter = QString::fromStdString(SaveFiltersFor(*Main->Image).at(5));
  int Step = 0;
  std::function<void()> Poll = [&] {
    QWidget* W = QApplication::activeModalWidget();
    if (auto* D = qobject_cast<QFileDialog*>(W); D && Step == 0) {
      Step = 1;
      D->selectNameFilter(Filter);
      D->selectFile(QFile("named"));
      QMetaObject::invokeMethod(D, "accept");
    } else if (auto* J = qobject_cast<TSaveJpgForm*>(W); J && Step == 1) {
      Step = 2;
      J->TrackBar1->setValue(50);
      J->accept();
    }
    if (Step < 2)
      QTimer::singleShot(10, Poll);
  };
  QTimer::singleShot(0, Poll);
  Main->Guarded([&] { Main->SaveItemClick(); });
  EXPECT_EQ(Step, 2);
  EXPECT_TRUE(std::filesystem::exists(File("named.jpg")));
  EXPECT_EQ(Settings.JpgQuality, 50);
  EXPECT_EQ(Settings.SaveFilterIndex, 6);
}

// The window shows while the writer works, and is gone afterwards, also
// when the write failed.
TEST_F(SaveOptions, ProgressFormShowsDuringTheWriteAndIsFreedAfter) {
  Show(Pattern24(300, 200));
  bool SeenVisible = false;
  int SeenValue = -1;
  QTimer::singleShot(0, [&] {
    for (QWidget* W : QApplication::topLevelWidgets())
      if (auto* P = qobject_cast<TProgressForm*>(W); P && P->isVisible()) {
        SeenVisible = true;
        SeenValue = P->Bar->value();
        EXPECT_EQ(P->windowTitle(), "Saving...");
        EXPECT_EQ(P->size(), QSize(360, 58));
      }
  });
  Main->SaveImageAs(QFile("shown"), 5);
  EXPECT_TRUE(SeenVisible);
  EXPECT_EQ(SeenValue, 0);
  auto Forms = [&] { return Main->findChildren<TProgressForm*>().size(); };
  EXPECT_EQ(Forms(), 0u);
  Main->Guarded([&] { Main->SaveImageAs(QFile("no/such/folder/x"), 5); });
  EXPECT_EQ(Forms(), 0u);
  ASSERT_FALSE(Messages.empty());
  EXPECT_EQ(Messages.back().Kind, mkError);

  TProgressForm F;
  F.SetPercent(140);
  EXPECT_EQ(F.Bar->value(), 100);
  F.FormActivate();
  EXPECT_TRUE(F.isVisible());
  EXPECT_EQ(F.Bar->value(), 0);
}

} // namespace
