#include <QAction>
#include <QKeyEvent>
#include <QLabel>
#include <QProcess>
#include <cstring>
#include <tuple>

#include "AppTestUtil.h"
#include "ColorTbl.h"
#include "DsSpinEdit.h"
#include "DsVCL.h"
#include "ImgFormats.h"

namespace {

TColor EntryColor(int32_t I) { return TColor((I * 7 & 0xFF) | (255 - I) << 8 | (I * 3 & 0xFF) << 16); }

QRgb Rgb(TColor C) { return qRgb(C & 0xFF, (C >> 8) & 0xFF, (C >> 16) & 0xFF); }

// Pixel (x, y) of a W x H image holds entry (y * W + x) mod the palette size.
std::unique_ptr<TDib> PaletteImage(TPixelFormat Format, int32_t W, int32_t H) {
  auto D = std::make_unique<TDib>(W, H, Format);
  for (int32_t I = 0; I < D->PaletteSize(); ++I)
    D->SetPaletteColor(I, EntryColor(I));
  for (int32_t Y = 0; Y < H; ++Y)
    for (int32_t X = 0; X < W; ++X)
      D->SetPixelValue(X, Y, uint32_t((Y * W + X) % D->PaletteSize()));
  return D;
}

bool operator==(const TTransparencyInfo& A, const TTransparencyInfo& B) {
  return A.TransparentIndex == B.TransparentIndex && A.TransparentColor == B.TransparentColor &&
         A.BackIndex == B.BackIndex && A.BackColor == B.BackColor;
}

class ColorTbl : public TMainFixture {
protected:
  void SetUp() override {
    TMainFixture::SetUp();
    Saved = Settings;
    SetDefaultSettings(Settings);
    Settings.UndoEnabled = true;
    Main->ApplyUndoSetting();
  }
  void TearDown() override {
    TMainFixture::TearDown();
    Settings = Saved;
    ChooseColorHook = nullptr;
  }
  // Loads the image with transparent entry T and background entry B, shown
  // as the window shows a file's transparency.
  void Load(TPixelFormat Format, int32_t W, int32_t H, int32_t T = -1, int32_t B = -1) {
    WriteBmp(File("p.bmp"), *PaletteImage(Format, W, H));
    Main->LoadImage(QFile("p.bmp"), false);
    ASSERT_TRUE(Main->Image);
    Main->Transparency = {T, int32_t(EntryColor(T)), B, int32_t(EntryColor(B))};
    Main->ApplyTransparency();
    StartInfo = Main->Transparency;
    StartPalette = PaletteBytes();
  }
  TColorTblForm* Open() {
    Main->ColorTblItemClick();
    return Main->ColorTblForm.data();
  }
  std::vector<uint8_t> PaletteBytes() const {
    const uint8_t* P = Main->Image->PaletteEntries();
    return {P, P + 4 * Main->Image->PaletteSize()};
  }
  TColor Entry(int32_t I) const { return Main->Image->GetPaletteColor(I); }
  bool Enabled(const char* Name) const { return Main->Item(QLatin1String(Name))->isEnabled(); }
  void ExpectClosedAsBefore() {
    EXPECT_EQ(PaletteBytes(), StartPalette);
    EXPECT_TRUE(Main->Transparency == StartInfo);
    EXPECT_FALSE(Main->ModalLock);
    EXPECT_FALSE(Main->ColorTblShowing);
    EXPECT_TRUE(Main->acceptDrops());
    EXPECT_NE(Main->ImgBox->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_TRUE(WaitFor([this] { return Main->ColorTblForm.isNull(); }));
  }
  TSettings Saved{};
  TTransparencyInfo StartInfo;
  std::vector<uint8_t> StartPalette;
};

void SendKey(QWidget* To, int Key) {
  QKeyEvent E(QEvent::KeyPress, Key, Qt::NoModifier);
  QCoreApplication::sendEvent(To, &E);
}

TEST_F(ColorTbl, EditsReachThePaletteTheViewAndTheGridAtOnce) {
  Settings.ZoomToFit = false;
  Load(pf4bit, 16, 2);
  TColorTblForm* F = Open();
  ASSERT_TRUE(F);
  EXPECT_EQ(Main->ImgBox->cursor().shape(), Qt::PointingHandCursor);
  F->SelectEntry(3);
  F->RSpin->SetValue(200);
  F->BSpin->SetValue(10);
  const TColor Want = (EntryColor(3) & 0x00FF00) | 200 | 10 << 16;
  EXPECT_EQ(Entry(3), Want);
  EXPECT_EQ(Main->ImgBox->grab().toImage().pixel(3, 0), Rgb(Want));
  const QImage Grid = F->IdxBox->grab().toImage();
  EXPECT_EQ(Grid.pixel(3 * 72 + 30, 30), Rgb(Want));
  // The sunken frame around the selected cell, none around the others.
  EXPECT_EQ(Grid.pixel(3 * 72, 30), qRgb(0x80, 0x80, 0x80));
  EXPECT_EQ(Grid.pixel(3 * 72 + 73, 30), qRgb(0xFF, 0xFF, 0xFF));
  EXPECT_EQ(Grid.pixel(2 * 72, 30), qRgb(0xC0, 0xC0, 0xC0));
  F->reject();
}

TEST_F(ColorTbl, EveryWayOfClosingButApplyRestoresPaletteAndRecord) {
  const std::vector<std::pair<const char*, std::function<void(TPelorinMain&, TColorTblForm&)>>> Ways = {
      {"cancel", [](TPelorinMain&, TColorTblForm& F) { F.CancelBtn->click(); }},
      {"close box", [](TPelorinMain&, TColorTblForm& F) { F.close(); }},
      {"escape", [](TPelorinMain&, TColorTblForm& F) { SendKey(&F, Qt::Key_Escape); }},
      {"escape on a spin", [](TPelorinMain&, TColorTblForm& F) { SendKey(F.GSpin, Qt::Key_Escape); }},
      {"main window's escape", [](TPelorinMain& M, TColorTblForm&) { M.FormKeyDown(Qt::Key_Escape, {}); }},
  };
  for (const auto& [Name, Close] : Ways) {
    Load(pf8bit, 16, 16, 5, 2);
    TColorTblForm* F = Open();
    ASSERT_TRUE(F) << Name;
    F->SelectEntry(2);
    F->GSpin->SetValue(1);
    F->SelectEntry(7);
    F->SelTransBtn->click();
    F->BackNoneBtn->click();
    EXPECT_NE(PaletteBytes(), StartPalette) << Name;
    Close(*Main, *F);
    SCOPED_TRACE(Name);
    ExpectClosedAsBefore();
  }
}

TEST_F(ColorTbl, ApplyKeepsTheEditsAsOneUndoStep) {
  for (const bool Undo : {true, false}) {
    Settings.UndoEnabled = Undo;
    Main->ApplyUndoSetting();
    Load(pf8bit, 16, 16, 5, -1);
    TColorTblForm* F = Open();
    ASSERT_TRUE(F);
    F->SelectEntry(1);
    F->RSpin->SetValue(0);
    F->SelectEntry(9);
    F->SelTransBtn->click();
    F->SelectEntry(4);
    F->SelBackBtn->click();
    SendKey(F->RSpin, Qt::Key_Return);
    EXPECT_FALSE(Main->ModalLock);
    EXPECT_TRUE(Main->Edited);
    EXPECT_EQ(Entry(1), EntryColor(1) & 0xFFFF00);
    EXPECT_TRUE(Main->Transparency == (TTransparencyInfo{9, int32_t(EntryColor(9)), 4, int32_t(EntryColor(4))}));
    // Shown with the background entry's color; the old one has its own again.
    EXPECT_EQ(Entry(9), EntryColor(4));
    EXPECT_EQ(Entry(5), EntryColor(5));
    EXPECT_TRUE(Main->HasTransparency);
    ASSERT_EQ(Enabled("UndoItem"), Undo);
    if (!Undo)
      continue;
    Main->UndoItemClick();
    EXPECT_EQ(PaletteBytes(), StartPalette);
    EXPECT_TRUE(Main->Transparency == StartInfo);
    EXPECT_FALSE(Enabled("UndoItem"));
  }
}

TEST_F(ColorTbl, GridGeometryFollowsThePaletteSize) {
  struct TCase {
    TPixelFormat Format;
    int32_t Columns;
  };
  for (const TCase& C : {TCase{pf1bit, 4}, TCase{pf4bit, 4}, TCase{pf8bit, 16}}) {
    Load(C.Format, 16, 16);
    TColorTblForm* F = Open();
    ASSERT_TRUE(F);
    EXPECT_EQ(F->Columns(), C.Columns);
    EXPECT_EQ(F->CellAt(QPoint(287, 287)), C.Columns * C.Columns - 1);
    EXPECT_EQ(F->CellAt(QPoint(289, 0)), -1);
    F->reject();
  }
  // Two colors: 14 black cells that are not entries.
  Load(pf1bit, 8, 8);
  TColorTblForm* F = Open();
  const QImage Grid = F->IdxBox->grab().toImage();
  for (int32_t I = 2; I < 16; ++I)
    EXPECT_EQ(Grid.pixel((I % 4) * 72 + 30, (I / 4) * 72 + 30), qRgb(0, 0, 0)) << I;
  F->HoverEntry(5);
  EXPECT_EQ(F->HovIdxLbl->text(), QStringLiteral("none"));
  EXPECT_EQ(F->RBox->Caption(), QStringLiteral("-"));
  F->SelectEntry(5);
  EXPECT_EQ(F->Selected(), 0);
  F->HoverEntry(1);
  EXPECT_EQ(F->GBox->Caption(), QString::number((EntryColor(1) >> 8) & 0xFF));
  F->reject();
}

TEST_F(ColorTbl, TransparentAndBackgroundEntriesShowTheRightColors) {
  Settings.BackColor = 0x123456;
  Load(pf4bit, 16, 2);
  TColorTblForm* F = Open();
  F->SelectEntry(3);
  F->SelTransBtn->click();
  EXPECT_EQ(Entry(3), 0x123456u);
  F->HoverEntry(3);
  EXPECT_EQ(F->HovIdxLbl->text(), QStringLiteral("3 transparent"));
  F->TrnsNoneBtn->click();
  EXPECT_EQ(Entry(3), EntryColor(3));
  EXPECT_FALSE(F->TrnsNoneBtn->isEnabled());
  // The background entry's color is the transparent entry's display color.
  F->SelTransBtn->click();
  F->SelectEntry(6);
  F->SelBackBtn->click();
  EXPECT_EQ(Entry(3), EntryColor(6));
  F->GSpin->SetValue(0);
  EXPECT_EQ(Entry(3), EntryColor(6) & 0xFF00FF);
  EXPECT_EQ(Entry(6), EntryColor(6) & 0xFF00FF);
  // A new background color reaches it only without a background entry.
  ChooseColorHook = [](TColor& C) {
    C = 0x00AA00;
    return true;
  };
  SendKey(F, Qt::Key_B);
  EXPECT_EQ(Entry(3), EntryColor(6) & 0xFF00FF);
  F->BackNoneBtn->click();
  EXPECT_EQ(Entry(3), 0x00AA00u);
  EXPECT_EQ(Main->palette().color(QPalette::Window), QColor(0, 0xAA, 0));
  F->reject();
}

TEST_F(ColorTbl, UndoingEveryEditByHandLeavesApplyDisabled) {
  Load(pf4bit, 16, 2, 2, -1);
  TColorTblForm* F = Open();
  F->SelectEntry(4);
  const int R = F->RSpin->Value(), G = F->GSpin->Value();
  F->RSpin->SetValue(R - 9);
  F->GSpin->SetValue(G - 9);
  // Double-clicking a spin puts back its own channel only.
  emit F->RSpin->OnDblClick(F->RSpin);
  EXPECT_EQ(F->RSpin->Value(), R);
  EXPECT_EQ(Entry(4), (EntryColor(4) & 0xFF00FF) | TColor(G - 9) << 8);
  F->GSpin->SetValue(G);
  F->SelectEntry(8);
  F->SelTransBtn->click();
  F->TrnsResetBtn->click();
  F->BackNoneBtn->click();
  EXPECT_FALSE(F->ResetAllBtn->isEnabled());
  EXPECT_FALSE(F->ApplyBtn->isEnabled());
  F->ApplyBtn->click();
  SendKey(F->RSpin, Qt::Key_Return);
  EXPECT_TRUE(Main->ModalLock);
  F->reject();
  EXPECT_FALSE(Enabled("UndoItem"));
  ExpectClosedAsBefore();
}

TEST_F(ColorTbl, WhileOpenCommandsAndDropsAreRefused) {
  Main->ListForm->show();
  Load(pf8bit, 16, 16, 5);
  TColorTblForm* F = Open();
  ASSERT_TRUE(F);
  EXPECT_TRUE(Main->windowTitle().endsWith(QStringLiteral("alpha edit")));
  EXPECT_FALSE(Main->ListForm->isVisible());
  EXPECT_FALSE(Main->acceptDrops());
  for (const char* Item : {"InvertItem", "ColorTblItem", "ConvGrayItem", "ResizeItem", "OpenItem"})
    Main->TriggerItem(QLatin1String(Item));
  WriteBmp(File("other.bmp"), *Pattern24(3, 3));
  Main->DropFiles({QFile("other.bmp")});
  EXPECT_EQ(Main->ColorTblForm.data(), F);
  EXPECT_EQ(Main->FileName, QFile("p.bmp"));
  EXPECT_EQ(PaletteBytes(), StartPalette);
  Main->close();
  EXPECT_FALSE(Main->ModalLock);
  EXPECT_TRUE(WaitFor([this] { return Main->ColorTblForm.isNull(); }));
}

// Tiled and reduced, the view leaves the odd rows at the top.
TEST_F(ColorTbl, ClickingTheImagePicksTheEntryShownThere) {
  Settings.ZoomToFit = false;
  struct TCase {
    int32_t TileMode, Height, Zoom;
    QPoint Pos;
    int32_t Entry;
  };
  const TCase Cases[] = {{0, 8, 0, {5, 1}, 37},   {0, 8, 1, {13, 3}, 38}, {0, 8, -1, {2, 1}, 68},
                         {2, 9, -1, {2, 1}, 100}, {2, 8, 2, {20, 4}, 38}, {0, 8, 0, {-1, 0}, 0},
                         {0, 8, 0, {32, 0}, 0}};
  for (const TCase& C : Cases) {
    Settings.TileMode = C.TileMode;
    Load(pf8bit, 32, C.Height);
    TColorTblForm* F = Open();
    Main->SetZoom(C.Zoom);
    Main->PickColorEntry(C.Pos);
    EXPECT_EQ(F->Selected(), C.Entry) << C.TileMode << " " << C.Zoom << " " << C.Pos.x();
    // What the view draws there comes from the picked pixel's block.
    if (C.Entry > 0) {
      const QRgb Shown = Main->ImgBox->grab().toImage().pixel(C.Pos);
      const int32_t F1 = std::max(1, 1 - C.Zoom);
      bool Covered = false;
      for (const int32_t I : {0, 1, 32, 33})
        Covered = Covered || (I % 32 < F1 && I / 32 < F1 && Shown == Rgb(EntryColor(C.Entry + I)));
      EXPECT_TRUE(Covered) << C.TileMode << " " << C.Zoom;
    }
    F->reject();
  }
  Load(pf8bit, 32, 8);
  TColorTblForm* F = Open();
  Main->SetZoom(0);
  QMouseEvent Press(QEvent::MouseButtonPress, QPointF(9, 2), Main->ImgBox->mapToGlobal(QPointF(9, 2)), Qt::LeftButton,
                    Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(Main->ImgBox, &Press);
  EXPECT_EQ(F->Selected(), 73);
  // Without a button the entry under the pointer is marked, and cleared
  // when the pointer leaves the image; the hand stays after a click.
  QMouseEvent Release(QEvent::MouseButtonRelease, QPointF(9, 2), Main->ImgBox->mapToGlobal(QPointF(9, 2)),
                      Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
  QCoreApplication::sendEvent(Main->ImgBox, &Release);
  EXPECT_EQ(Main->ImgBox->cursor().shape(), Qt::PointingHandCursor);
  QMouseEvent Move(QEvent::MouseMove, QPointF(3, 1), Main->ImgBox->mapToGlobal(QPointF(3, 1)), Qt::NoButton,
                   Qt::NoButton, Qt::NoModifier);
  QCoreApplication::sendEvent(Main->ImgBox, &Move);
  EXPECT_EQ(F->HovIdxLbl->text(), QStringLiteral("35"));
  QEvent Leave(QEvent::Leave);
  QCoreApplication::sendEvent(Main->ImgBox, &Leave);
  EXPECT_EQ(F->HovIdxLbl->text(), QStringLiteral("none"));
  F->reject();
}

// Records with several transparent entries, or one beyond the palette, stay
// as they were and break nothing.
TEST_F(ColorTbl, OddTransparencyRecordsSurviveTheDialog) {
  for (const int32_t T : {-2, 20}) {
    Load(pf4bit, 16, 2, T);
    Main->HasTransparency = true;
    TColorTblForm* F = Open();
    EXPECT_EQ(F->TrnsIdxLbl->text(), T == -2 ? QStringLiteral("several") : QStringLiteral("none"));
    F->SelectEntry(1);
    F->BSpin->SetValue(0);
    F->ApplyBtn->click();
    EXPECT_EQ(Main->Transparency.TransparentIndex, T);
    EXPECT_EQ(Main->HasTransparency, T == -2);
    EXPECT_EQ(Entry(1), EntryColor(1) & 0x00FFFF);
  }
}

// Pillow's view of a file: "transparency background".
QString PillowInfo(const std::string& Name) {
  QProcess P;
  P.start(QStringLiteral("/usr/bin/python3"),
          {QStringLiteral("-c"),
           QStringLiteral("import sys\nfrom PIL import Image\nim=Image.open(sys.argv[1])\n"
                          "print(im.info.get('transparency'), im.info.get('background'))"),
           QString::fromStdString(Name)});
  P.waitForFinished(30000);
  return QString::fromUtf8(P.readAllStandardOutput()).trimmed();
}

TEST_F(ColorTbl, ChosenEntriesReachSavedGifAndPng) {
  Load(pf8bit, 16, 16, 3, 1);
  TColorTblForm* F = Open();
  F->SelectEntry(9);
  F->SelTransBtn->click();
  F->SelectEntry(4);
  F->SelBackBtn->click();
  F->RSpin->SetValue(1);
  F->ApplyBtn->click();
  // This Pillow does not read a PNG's background chunk.
  const std::tuple<const char*, int, const char*> Files[] = {{"t.gif", 3, "9 4"}, {"t.png", 4, "9 "}};
  for (const auto& [Name, Filter, Pillow] : Files) {
    Main->SaveImageAs(QFile(Name), Filter);
    TImageRead Read = ReadImageFile(File(Name), ReadOptionsOf(Settings));
    Read.ThrowFailure();
    ASSERT_TRUE(Read.Transparency) << Name;
    EXPECT_EQ(Read.Transparency->TransparentIndex, 9) << Name;
    EXPECT_EQ(TColor(Read.Transparency->TransparentColor), EntryColor(9)) << Name;
    EXPECT_EQ(Read.Transparency->BackIndex, 4) << Name;
    EXPECT_EQ(TColor(Read.Transparency->BackColor), (EntryColor(4) & 0xFFFF00) | 1) << Name;
    EXPECT_TRUE(PillowInfo(File(Name)).startsWith(QLatin1String(Pillow))) << Name;
  }
  EXPECT_TRUE(Messages.empty());
}

} // namespace
