#include <QAction>
#include <QBuffer>
#include <QClipboard>
#include <QGuiApplication>

#include "AppTestUtil.h"
#include "ByteOrder.h"
#include "Clipboard.h"

namespace {

uint32_t U32At(const QByteArray& B, qsizetype Offset) {
  return GetLE32(reinterpret_cast<const uint8_t*>(B.constData()) + Offset);
}

// An image of the format with distinct colors or indexes in every pixel.
std::unique_ptr<TDib> Sample(TPixelFormat Format, int32_t W = 7, int32_t H = 3) {
  auto D = std::make_unique<TDib>(W, H, Format);
  for (int32_t I = 0; I < D->PaletteSize(); ++I)
    D->SetPaletteColor(I, TColor((I * 37 & 0xFF) | (I * 11 & 0xFF) << 8 | (255 - I) << 16));
  for (int32_t Y = 0; Y < H; ++Y)
    for (int32_t X = 0; X < W; ++X) {
      if (D->PaletteSize() > 0)
        D->SetPixelValue(X, Y, uint32_t(X + Y * W) % uint32_t(D->PaletteSize()));
      else
        D->SetPixelColor(X, Y, TColor((X * 40) | (Y * 80) << 8 | 0x50 << 16));
    }
  return D;
}

void ExpectSameColors(const TDib& A, const TDib& B) {
  ASSERT_EQ(A.Width(), B.Width());
  ASSERT_EQ(A.Height(), B.Height());
  for (int32_t Y = 0; Y < A.Height(); ++Y)
    for (int32_t X = 0; X < A.Width(); ++X)
      ASSERT_EQ(A.GetPixelColor(X, Y), B.GetPixelColor(X, Y)) << X << "," << Y;
}

TEST(ClipboardData, BmpIsFileHeaderAndBottomUpPackedBitmap) {
  auto D = Sample(pf8bit, 5, 2);
  const QByteArray B = BmpFromDib(*D);
  ASSERT_EQ(B.size(), 14 + 40 + 1024 + 16);
  EXPECT_EQ(B.left(2), "BM");
  EXPECT_EQ(U32At(B, 2), uint32_t(B.size()));
  EXPECT_EQ(U32At(B, 10), 14u + 40 + 1024);
  EXPECT_EQ(U32At(B, 14), 40u);
  EXPECT_EQ(int32_t(U32At(B, 22)), 2); // positive height: bottom-up
  // The first stored row is the image's last.
  EXPECT_EQ(uint8_t(B[14 + 40 + 1024]), D->GetPixelValue(0, 1));
}

TEST(ClipboardData, EveryPixelFormatSurvivesBmpAndQImage) {
  for (TPixelFormat F : {pf1bit, pf4bit, pf8bit, pf15bit, pf24bit, pf32bit}) {
    SCOPED_TRACE(testing::Message() << "format " << int(F));
    auto D = Sample(F);
    auto Back = DibFromBmp(BmpFromDib(*D));
    ASSERT_TRUE(Back);
    ExpectSameColors(*D, *Back);
    // What other programs get: the image for image/png and the like.
    auto Mime = MimeFromDib(*D);
    ASSERT_TRUE(Mime->hasImage());
    const QImage Q = qvariant_cast<QImage>(Mime->imageData());
    for (int32_t Y = 0; Y < D->Height(); ++Y)
      for (int32_t X = 0; X < D->Width(); ++X) {
        // Five-bit channels are widened in slightly different ways.
        const int Tolerance = F == pf15bit ? 7 : 0;
        const TColor C = D->GetPixelColor(X, Y);
        const QRgb P = Q.pixel(X, Y);
        ASSERT_NEAR(qRed(P), int(C & 0xFF), Tolerance) << X << "," << Y;
        ASSERT_NEAR(qGreen(P), int((C >> 8) & 0xFF), Tolerance) << X << "," << Y;
        ASSERT_NEAR(qBlue(P), int((C >> 16) & 0xFF), Tolerance) << X << "," << Y;
      }
  }
}

TEST(ClipboardData, ImagesWithoutBmpBecomeBuffers) {
  QImage Argb(4, 3, QImage::Format_ARGB32);
  Argb.fill(qRgba(10, 20, 30, 255));
  Argb.setPixel(3, 2, qRgba(200, 100, 50, 255));
  Argb.setDotsPerMeterX(3780);
  QMimeData Mime;
  Mime.setImageData(Argb);
  ASSERT_TRUE(MimeHoldsDib(&Mime));
  auto D = DibFromMime(&Mime);
  ASSERT_TRUE(D);
  EXPECT_EQ(D->PixelFormat(), pf24bit);
  EXPECT_EQ(D->GetPixelColor(3, 2), TColor(200 | 100 << 8 | 50 << 16));
  EXPECT_EQ(D->GetPixelColor(0, 0), TColor(10 | 20 << 8 | 30 << 16));
  EXPECT_EQ(D->Resolution(), 96);

  QImage Indexed(5, 2, QImage::Format_Indexed8);
  Indexed.setColorTable({qRgb(0, 0, 0), qRgb(255, 0, 0), qRgb(0, 0, 255)});
  Indexed.fill(2);
  Indexed.setPixel(4, 1, 1);
  auto P = DibFromQImage(Indexed);
  EXPECT_EQ(P->PixelFormat(), pf8bit);
  EXPECT_EQ(P->GetPixelColor(4, 1), TColor(0x0000FF));
  EXPECT_EQ(P->GetPixelColor(0, 0), TColor(0xFF0000));
}

TEST(ClipboardData, GapBeforeTheRowsIsSkipped) {
  for (TPixelFormat F : {pf4bit, pf24bit}) {
    auto D = Sample(F);
    QByteArray B = BmpFromDib(*D);
    const qsizetype Rows = qsizetype(U32At(B, 10));
    B.insert(Rows, QByteArray(6, char(0x55)));
    B[10] = char(uint8_t(Rows + 6));
    B[11] = char(uint8_t((Rows + 6) >> 8));
    ExpectSameColors(*D, *DibFromBmp(B));
  }
}

TEST(ClipboardData, FiveSixFiveMasksAreApplied) {
  // A 2 x 1 bitmap of 16-bit pixels with 5-6-5 masks: pure green, pure red.
  QByteArray B(14 + 40 + 12 + 4, '\0');
  auto Put = [&B](int Offset, uint32_t V, int Bytes) {
    for (int I = 0; I < Bytes; ++I)
      B[Offset + I] = char(uint8_t(V >> (8 * I)));
  };
  B[0] = 'B';
  B[1] = 'M';
  Put(2, uint32_t(B.size()), 4);
  Put(10, 14 + 40 + 12, 4);
  Put(14, 40, 4);
  Put(18, 2, 4);
  Put(22, 1, 4);
  Put(26, 1, 2);
  Put(28, 16, 2);
  Put(30, 3, 4);
  Put(54, 0xF800, 4);
  Put(58, 0x07E0, 4);
  Put(62, 0x001F, 4);
  Put(66, 0x07E0, 2);
  Put(68, 0xF800, 2);
  auto D = DibFromBmp(B);
  ASSERT_TRUE(D);
  EXPECT_EQ(D->GetPixelColor(0, 0) & 0xF8F8F8, TColor(0x00F800));
  EXPECT_EQ(D->GetPixelColor(1, 0) & 0xF8F8F8, TColor(0x0000F8));
}

TEST(ClipboardData, BrokenBitmapsRaiseOrFallBackToTheImage) {
  QByteArray Bmp = BmpFromDib(*Sample(pf24bit));
  QByteArray Cut = Bmp.left(Bmp.size() - 10);
  EXPECT_THROW(DibFromBmp(Cut), EInvalidGraphicOperation);
  EXPECT_THROW(DibFromBmp(QByteArray("BM")), EInvalidGraphicOperation);
  QMimeData Mime;
  Mime.setData(QString::fromLatin1(BmpMimeType), Cut);
  EXPECT_THROW(DibFromMime(&Mime), EInvalidGraphicOperation);
  QImage Fallback(2, 2, QImage::Format_RGB32);
  Fallback.fill(qRgb(1, 2, 3));
  Mime.setImageData(Fallback);
  auto D = DibFromMime(&Mime);
  ASSERT_TRUE(D);
  EXPECT_EQ(D->GetPixelColor(1, 1), TColor(1 | 2 << 8 | 3 << 16));
}

class ClipboardCommands : public TMainFixture {
protected:
  void SetUp() override {
    TMainFixture::SetUp();
    QGuiApplication::clipboard()->clear();
  }
  void Show(std::unique_ptr<TDib> Dib) {
    WriteBmp(File("shown.bmp"), *Dib);
    Main->LoadImage(QFile("shown.bmp"), false);
  }
  bool Enabled(const char* Name) const { return Main->Item(QString::fromLatin1(Name))->isEnabled(); }
};

TEST_F(ClipboardCommands, CopyPasteMoveAndClear) {
  Show(Sample(pf8bit, 6, 5));
  EXPECT_FALSE(Enabled("ClpbrdCopyFromItem"));
  Main->ClpbrdCopyToItemClick();
  const QMimeData* Mime = QGuiApplication::clipboard()->mimeData();
  ASSERT_TRUE(Mime && Mime->hasFormat("image/bmp"));
  EXPECT_TRUE(Mime->hasImage());
  // The items follow the clipboard without a popup being opened.
  EXPECT_TRUE(Enabled("ClpbrdCopyFromItem"));
  EXPECT_TRUE(Enabled("ClpbrdMoveFromItem"));
  EXPECT_TRUE(Enabled("ClpbrdClearItem"));

  const auto Copied = Main->Image->Clone();
  Main->Image->Invert();
  Main->ClpbrdCopyFromItemClick();
  EXPECT_EQ(Main->FileName, "Clipboard");
  EXPECT_EQ(Main->SourceKind, 0);
  EXPECT_EQ(Main->windowTitle(), "Clipboard [1:1]");
  EXPECT_EQ(Main->Image->PixelFormat(), pf8bit);
  ExpectSameColors(*Copied, *Main->Image);
  EXPECT_TRUE(QGuiApplication::clipboard()->mimeData()->hasFormat("image/bmp"));

  Main->ClpbrdMoveFromItemClick();
  EXPECT_FALSE(MimeHoldsDib(QGuiApplication::clipboard()->mimeData()));
  EXPECT_FALSE(Enabled("ClpbrdCopyFromItem"));
  // An empty clipboard pastes nothing.
  Main->ClpbrdCopyFromItemClick();
  ExpectSameColors(*Copied, *Main->Image);

  Main->ClpbrdCopyToItemClick();
  Main->ClpbrdClearItemClick();
  EXPECT_FALSE(MimeHoldsDib(QGuiApplication::clipboard()->mimeData()));
  EXPECT_TRUE(Messages.empty());
}

TEST_F(ClipboardCommands, PastingClearsTheHistoryAndWaitsForTheToolWindow) {
  Settings.UndoEnabled = true;
  Main->ApplyUndoSetting();
  Show(Sample(pf24bit, 4, 4));
  Main->InvertItemClick();
  ASSERT_TRUE(Main->UndoStream.Active());
  QImage Other(3, 2, QImage::Format_RGB32);
  Other.fill(qRgb(0, 255, 0));
  QGuiApplication::clipboard()->setImage(Other);
  Main->ModalLock = true;
  Main->ClpbrdCopyFromItemClick();
  EXPECT_EQ(Main->Image->Width(), 4);
  Main->ModalLock = false;
  Main->ClpbrdCopyFromItemClick();
  EXPECT_EQ(Main->Image->Width(), 3);
  EXPECT_EQ(Main->Image->GetPixelColor(2, 1), TColor(0x00FF00));
  EXPECT_FALSE(Main->UndoStream.Active());
  EXPECT_FALSE(Enabled("UndoItem"));
  Settings.UndoEnabled = false;
}

TEST_F(ClipboardCommands, BrokenClipboardBitmapKeepsTheShownImage) {
  Show(Sample(pf24bit, 4, 4));
  auto Mime = std::make_unique<QMimeData>();
  Mime->setData(QStringLiteral("image/bmp"), QByteArray("BM\x10\0\0\0garbage", 13));
  QGuiApplication::clipboard()->setMimeData(Mime.release());
  Main->Guarded([&] { Main->ClpbrdCopyFromItemClick(); });
  ASSERT_EQ(Messages.size(), 1u);
  EXPECT_EQ(Main->Image->Width(), 4);
  EXPECT_EQ(Main->SourceKind, 1);
}

TEST_F(ClipboardCommands, CopyRefusesSixteenMegabytesOfPixels) {
  Main->Image = std::make_unique<TDib>(4096, 4096, pf24bit);
  Main->SourceKind = 1;
  Main->ClpbrdCopyToItemClick();
  ASSERT_EQ(Messages.size(), 1u);
  EXPECT_EQ(Messages[0].Text, "Sorry, cannot handle image data above 16MB");
  EXPECT_EQ(Messages[0].Kind, mkError);
  EXPECT_FALSE(MimeHoldsDib(QGuiApplication::clipboard()->mimeData()));
  Main->Image = std::make_unique<TDib>(2000, 2000, pf24bit);
  Main->ClpbrdCopyToItemClick();
  EXPECT_EQ(Messages.size(), 1u);
  EXPECT_TRUE(QGuiApplication::clipboard()->mimeData()->hasFormat("image/bmp"));
}

} // namespace
