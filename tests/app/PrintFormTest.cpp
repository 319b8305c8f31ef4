#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPrinter>
#include <QTest>

#include "AppTestUtil.h"
#include "DsSpinEdit.h"
#include "DsVCL.h"
#include "Print.h"
#include "PrintPreview.h"
#include "PrintTestUtil.h"

namespace {

class PrintForm : public TMainFixture {
protected:
  void SetUp() override {
    TMainFixture::SetUp();
    SetDefaultSettings(Settings);
    // One device pixel a PDF point: the rasterized page maps pixel to pixel.
    Settings.PrinterDpi = 72;
    Printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    Printer->setOutputFormat(QPrinter::PdfFormat);
  }

  std::unique_ptr<TPrintForm> Form(const TDib& Dib, const char* Name = "picture.bmp") {
    auto F = std::make_unique<TPrintForm>(Dib, QFile(Name), Settings, *Printer);
    F->OnError = [this](const std::exception& E) { Errors.push_back(E.what()); };
    return F;
  }

  // Prints one page to a PDF file and answers it rasterized.
  TPrintedPage Print(TPrintForm& F, const char* Name = "out.pdf") {
    const QString Pdf = QFile(Name);
    F.AskPdfFile = [Pdf](const QString&) { return Pdf; };
    F.PrintBtn->click();
    EXPECT_TRUE(Errors.empty()) << Errors.front();
    return RasterizePdf(Pdf, 72, QFile("page"));
  }

  std::unique_ptr<QPrinter> Printer;
  std::vector<std::string> Errors;
};

// The color a device pixel of the image should show: at Scale percent,
// placed at Placed on the sheet.
QRgb Expected(const TDib& Dib, const TIntRect& Placed, int X, int Y) {
  const int32_t Sx = int32_t(int64_t(X - Placed.Left) * Dib.Width() / Placed.Width);
  const int32_t Sy = int32_t(int64_t(Y - Placed.Top) * Dib.Height() / Placed.Height);
  const TColor C = Dib.GetPixelColor(Sx, Sy);
  return qRgb(C & 0xFF, C >> 8 & 0xFF, C >> 16 & 0xFF);
}

std::unique_ptr<TDib> Pattern(TPixelFormat Format, int32_t W, int32_t H) {
  if (Format == pf24bit)
    return Pattern24(W, H);
  auto D = std::make_unique<TDib>(W, H, Format);
  const int32_t Colors = Format == pf1bit ? 2 : 256;
  for (int32_t I = 0; I < Colors; ++I)
    D->SetPaletteColor(I,
                       Format == pf1bit ? (I ? 0x00FFFF : 0x800000) : TColor(I | (255 - I) << 8 | (I * 7 & 255) << 16));
  for (int32_t Y = 0; Y < H; ++Y)
    for (int32_t X = 0; X < W; ++X)
      D->SetPixelValue(X, Y, Format == pf1bit ? (X + Y / 3) & 1 : (X * 5 + Y * 11) & 255);
  return D;
}

} // namespace

TEST_F(PrintForm, PdfPagesShowTheBufferPixelForPixelAtEveryScaleAndPlacement) {
  struct TCase {
    TPixelFormat Format;
    int32_t Scale;
    bool Centered;
  } Cases[] = {
      {pf1bit, 100, true}, {pf8bit, 100, false}, {pf24bit, 100, true}, {pf24bit, 300, false}, {pf8bit, 200, true}};
  for (const TCase& C : Cases) {
    SCOPED_TRACE(testing::Message() << "format " << C.Format << " at " << C.Scale << "%");
    const std::unique_ptr<TDib> Dib = Pattern(C.Format, 37, 23);
    const auto F = Form(*Dib);
    const TPrinterFacts& Facts = F->Facts();
    ASSERT_EQ(Facts.PhysWidth, 595);
    ASSERT_EQ(Facts.OffsetX, 10);
    F->ScaleSpin->SetValue(C.Scale);
    if (!C.Centered) {
      F->CenterX->click();
      F->CenterY->click();
    }
    F->TtlEnable->click();
    const TPrintedPage Page = Print(*F);
    ASSERT_FALSE(Page.isNull());
    TIntRect Placed = PrintImageRect(Facts, 37, 23, C.Scale, C.Centered, C.Centered);
    Placed.Left += Facts.OffsetX;
    Placed.Top += Facts.OffsetY;
    int Wrong = 0;
    for (int Y = Placed.Top - 1; Y <= Placed.Bottom(); ++Y)
      for (int X = Placed.Left - 1; X <= Placed.Right(); ++X) {
        const bool Inside = X >= Placed.Left && X < Placed.Right() && Y >= Placed.Top && Y < Placed.Bottom();
        const QRgb Want = Inside ? Expected(*Dib, Placed, X, Y) : qRgb(255, 255, 255);
        if (Page.Pixel(X, Y) != Want && Wrong++ < 3)
          ADD_FAILURE() << "pixel " << X << "," << Y << " is " << std::hex << Page.Pixel(X, Y) << " not " << Want;
      }
    EXPECT_EQ(Wrong, 0);
  }
}

TEST_F(PrintForm, ImageIsCutAtThePrintableArea) {
  const std::unique_ptr<TDib> Dib = Pattern24(100, 100);
  const auto F = Form(*Dib);
  F->ScaleSpin->SetValue(700);
  F->TtlEnable->click();
  const TPrintedPage Page = Print(*F);
  const TPrinterFacts& Facts = F->Facts();
  // Centered, 700 pixels reach 62 past the 575 of the area on either side.
  TIntRect Placed = PrintImageRect(Facts, 100, 100, 700, true, true);
  ASSERT_EQ(Placed.Left, -62);
  Placed.Left += Facts.OffsetX;
  Placed.Top += Facts.OffsetY;
  const int Row = Facts.OffsetY + 100, Last = Facts.OffsetX + Facts.PageWidth - 1;
  EXPECT_EQ(Page.Pixel(Facts.OffsetX - 1, Row), qRgb(255, 255, 255));
  EXPECT_EQ(Page.Pixel(Facts.OffsetX, Row), Expected(*Dib, Placed, Facts.OffsetX, Row));
  EXPECT_EQ(Page.Pixel(Last, Row), Expected(*Dib, Placed, Last, Row));
  EXPECT_EQ(Page.Pixel(Last + 1, Row), qRgb(255, 255, 255));
  EXPECT_EQ(Page.Pixel(300, Facts.OffsetY - 1), qRgb(255, 255, 255));
}

TEST_F(PrintForm, DraggedTitlePrintsWhereThePreviewShowsItInItsFont) {
  Settings.PrintFontColor = 0x0000FF; // red
  Settings.PrintCenterTitle = false;
  const std::unique_ptr<TDib> Dib = Pattern24(20, 20);
  const auto F = Form(*Dib);
  // A font 16 screen pixels high prints 32 device pixels high.
  F->ChooseFont = [](QFont& Font) {
    Font.setPixelSize(16);
    return true;
  };
  F->TtlFontBtn->click();
  EXPECT_EQ(QFontInfo(F->TitleFont()).pixelSize(), 16);
  ASSERT_EQ(F->TitleHeight(), 32);
  QTest::mouseClick(F->TtlEdit, Qt::LeftButton);
  EXPECT_EQ(F->TtlEdit->selectedText(), QStringLiteral("picture.bmp"));
  F->TtlEdit->setText(QStringLiteral("HHHH"));
  const QPoint Start = F->TtlLabel->pos();
  F->TtlLabelMouseDown({100, 100});
  F->TtlLabelMouseMove({110, 105});
  F->TtlLabelMouseMove({120, 140});
  F->TtlLabelMouseUp({120, 140});
  EXPECT_EQ(F->TtlLabel->pos(), Start + QPoint(20, 40));
  const TIntPoint At = F->TitlePos();
  EXPECT_NEAR(At.X, 20 / F->Layout().Scale, 2);
  EXPECT_NEAR(At.Y, 40 / F->Layout().Scale, 2);
  const TPrintedPage Page = Print(*F);
  const QRect Ink = Page.InkBox([](QRgb C) { return qRed(C) > 200 && qGreen(C) < 90 && qBlue(C) < 90; });
  ASSERT_FALSE(Ink.isNull());
  const TPrinterFacts& Facts = F->Facts();
  EXPECT_NEAR(Ink.left(), Facts.OffsetX + At.X, 4);
  EXPECT_GE(Ink.top(), Facts.OffsetY + At.Y);
  EXPECT_LE(Ink.bottom(), Facts.OffsetY + At.Y + 32);
  // Capital letters: about seven tenths of the character height.
  EXPECT_NEAR(Ink.height(), 23, 3);
}

TEST_F(PrintForm, CenteredTitleIsCenteredOnThePageAndAnEmptyOnePrintsNothing) {
  Settings.PrintFontColor = 0x0000FF;
  const std::unique_ptr<TDib> Dib = Pattern24(20, 20);
  const auto F = Form(*Dib);
  ASSERT_TRUE(F->TtlCenter->Checked());
  F->TtlEdit->setText(QStringLiteral("HIHIHIH"));
  const auto Red = [](QRgb C) { return qRed(C) > 200 && qGreen(C) < 90 && qBlue(C) < 90; };
  const QRect Ink = Print(*F).InkBox(Red);
  ASSERT_FALSE(Ink.isNull());
  const TPrinterFacts& Facts = F->Facts();
  EXPECT_NEAR((Ink.left() + Ink.right()) / 2.0, Facts.OffsetX + Facts.PageWidth / 2.0, 3);
  F->TtlEdit->clear();
  ASSERT_TRUE(F->TtlEnable->Checked());
  EXPECT_TRUE(Print(*F, "empty.pdf").InkBox(Red).isNull());
}

TEST_F(PrintForm, PreviewShowsTheImageTheMarginsAndTheFitScale) {
  const std::unique_ptr<TDib> Dib = Pattern24(500, 300);
  const auto F = Form(*Dib);
  // 575 x 100 / 500 = 115 is less than 822 x 100 / 300.
  F->FitBtn->click();
  EXPECT_EQ(F->ScaleSpin->Value(), 115);
  EXPECT_EQ(F->ImageSizeLbl->text(), QStringLiteral("203 x 122 mm"));
  const QImage Shot = F->Paper->grab().toImage();
  const TPreviewEdges& E = F->PrintableInPreview();
  const TIntRect R = F->Paper->ImageRect;
  EXPECT_EQ(R.Width, E.Right - E.Left + 1);
  const QColor Margin(0x8F, 0x8F, 0xFF);
  EXPECT_EQ(Shot.pixelColor(E.Left, 3), Margin);
  EXPECT_EQ(Shot.pixelColor(E.Left + 1, 3), Qt::white);
  EXPECT_NE(Shot.pixelColor(R.Left + R.Width / 2, R.Top + R.Height / 2), Qt::white);
  EXPECT_EQ(Shot.pixelColor(R.Left + R.Width / 2, R.Bottom() + 2), Qt::white);
  F->MarginBox->click();
  EXPECT_EQ(F->Paper->grab().toImage().pixelColor(E.Left, 3), Qt::white);
}

TEST_F(PrintForm, SetupThatTurnsThePageLaysThePreviewOutAgain) {
  const std::unique_ptr<TDib> Dib = Pattern24(20, 20);
  const auto F = Form(*Dib);
  EXPECT_LT(F->Layout().Sheet.Width, F->Layout().Sheet.Height);
  F->RunPrinterSetup = [](QPrinter& P) { return P.setPageOrientation(QPageLayout::Landscape); };
  F->SetupBtn->click();
  EXPECT_EQ(F->Facts().PhysWidth, 842);
  EXPECT_EQ(F->Layout().Sheet, (TIntRect{2, 54, 356, 252}));
  EXPECT_EQ(F->PaperSizeLbl->text(), QStringLiteral("297 x 210 mm"));
}

TEST_F(PrintForm, ClosingStoresTheTitleFontAndBoxesEvenOnCancel) {
  const std::unique_ptr<TDib> Dib = Pattern24(20, 20);
  const auto F = Form(*Dib);
  F->ChooseFont = [](QFont& Font) {
    Font.setFamily(QStringLiteral("DejaVu Serif"));
    Font.setPointSize(30);
    Font.setItalic(true);
    Font.setStrikeOut(true);
    return true;
  };
  F->TtlFontBtn->click();
  F->TtlCenter->click();
  F->MarginBox->click();
  F->show();
  F->CancelBtn->click();
  EXPECT_EQ(Settings.PrintFontName.Text(), "DejaVu Serif");
  EXPECT_EQ(int32_t(Settings.PrintFontSize), 30);
  EXPECT_EQ(Settings.PrintFontStyle, 2 | 8);
  EXPECT_FALSE(Settings.PrintCenterTitle);
  EXPECT_TRUE(Settings.PrintTitle);
  EXPECT_FALSE(Settings.PrintKeepMargins);
}

TEST_F(PrintForm, CtrlPOpensTheDialogWithPdfWhenNoPrinterIsInstalledAndEnterPrints) {
  WriteBmp(File("a.bmp"), *Pattern24(30, 20));
  Main->LoadImage(QFile("a.bmp"), false);
  const QString Pdf = QFile("keys.pdf");
  EXPECT_TRUE(WorkModal<TPrintForm>([this] { Main->FormKeyDown(Qt::Key_P, Qt::ControlModifier); },
                                    [&](TPrintForm& F) {
                                      EXPECT_EQ(F.PrinterBox->Items(), QStringList{PdfPrinterEntry});
                                      EXPECT_EQ(F.PrinterBox->ItemIndex(), 0);
                                      EXPECT_EQ(F.TtlEdit->text(), QStringLiteral("a.bmp"));
                                      F.AskPdfFile = [&](const QString& Suggested) {
                                        EXPECT_EQ(Suggested, QFile("a.pdf"));
                                        return Pdf;
                                      };
                                      QTest::keyClick(F.ScaleSpin, Qt::Key_Return);
                                      EXPECT_TRUE(F.isVisible()); // printing keeps the dialog
                                      QTest::keyClick(F.TtlEdit, Qt::Key_Escape);
                                    }));
  EXPECT_TRUE(std::filesystem::file_size(File("keys.pdf")) > 0);
  EXPECT_TRUE(Messages.empty());
  // While a tool window is up the command does nothing.
  Main->ModalLock = true;
  bool Shown = false;
  QObject Guard;
  QTimer::singleShot(300, &Guard, [&] {
    if (auto* F = qobject_cast<TPrintForm*>(QApplication::activeModalWidget())) {
      Shown = true;
      F->reject();
    }
  });
  Main->PrintItemClick();
  Main->ModalLock = false;
  EXPECT_FALSE(Shown);
}
