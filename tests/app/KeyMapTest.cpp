#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QScrollBar>
#include <QTest>
#include <cstring>
#include <map>

#include "AppTestUtil.h"
#include "KeyMap.h"

namespace {

constexpr auto Shift = Qt::ShiftModifier;
constexpr auto Alt = Qt::AltModifier;
constexpr auto Ctrl = Qt::ControlModifier;
constexpr auto Num = Qt::KeypadModifier;
constexpr Qt::KeyboardModifiers None = Qt::NoModifier;

struct TItemKey {
  int Key;
  Qt::KeyboardModifiers Mods;
  const char* Item;
};

// Every key that runs a menu item's command, with that item.
const TItemKey ItemKeys[] = {
    {Qt::Key_Space, None, "FullScreenItem"},
    {Qt::Key_A, None, "TwainAquireItem"},
    {Qt::Key_C, None, "ConfigItem"},
    {Qt::Key_G, None, "ConvGrayItem"},
    {Qt::Key_I, None, "InfoItem"},
    {Qt::Key_L, None, "ListItem"},
    {Qt::Key_M, None, "leftright1"},
    {Qt::Key_M, Shift, "updown1"},
    {Qt::Key_M, Shift | Alt, "updown1"},
    {Qt::Key_O, None, "Rot90item"},
    {Qt::Key_O, Shift, "Ror270Item"},
    {Qt::Key_O, Alt, "Rot180item"},
    {Qt::Key_P, None, "CropItem"},
    {Qt::Key_R, None, "ResizeItem"},
    {Qt::Key_S, Alt, "SignItem"},
    {Qt::Key_T, None, "TuneRgbItem"},
    {Qt::Key_T, Shift, "TuneHistoItem"},
    {Qt::Key_T, Alt, "TuneHslItem"},
    {Qt::Key_V, None, "InvertItem"},
    {Qt::Key_X, None, "ConvPalItem"},
    {Qt::Key_Z, Alt, "RedoItem"},
    {Qt::Key_F1, None, "HelpGeneralItem"},
    {Qt::Key_F1, Alt, "About1"},
    {Qt::Key_F2, None, "OpenItem"},
    {Qt::Key_F3, None, "OpenAgainItem"},
    {Qt::Key_F4, None, "SaveItem"},
    {Qt::Key_F5, None, "FennickItem"},
    {Qt::Key_F6, None, "LaunchItem1"},
    {Qt::Key_F7, Shift, "LaunchItem2"},
    {Qt::Key_F8, None, "LaunchItem3"},
    {Qt::Key_F9, None, "ExploreItem"},
    {Qt::Key_C, Ctrl, "ClpbrdCopyToItem"},
    {Qt::Key_D, Ctrl, "DocItem"},
    {Qt::Key_M, Ctrl, "ClpbrdMoveFromItem"},
    {Qt::Key_O, Ctrl, "OpenItem"},
    {Qt::Key_P, Ctrl, "PrintItem"},
    {Qt::Key_Q, Ctrl, "QuitItem"},
    {Qt::Key_S, Ctrl, "SaveItem"},
    {Qt::Key_V, Ctrl, "ClpbrdCopyFromItem"},
    {Qt::Key_Z, Ctrl, "UndoItem"},
    {Qt::Key_F1, Ctrl, "HelpShortcutsItem"},
};

TEST(KeyMap, ModifierRules) {
  // Ctrl only alone; Shift and Alt only where a row names them.
  for (auto [Key, Mods] : {std::pair{Qt::Key_O, Ctrl | Shift},
                           {Qt::Key_O, Ctrl | Alt},
                           {Qt::Key_O, Shift | Alt},
                           {Qt::Key_Z, Qt::KeyboardModifiers()},
                           {Qt::Key_F4, Qt::KeyboardModifiers(Alt)},
                           {Qt::Key_V, Qt::KeyboardModifiers(Qt::MetaModifier)},
                           {Qt::Key_1, Qt::KeyboardModifiers()},
                           {Qt::Key_Plus, Qt::KeyboardModifiers()}})
    EXPECT_EQ(KeyBinding(Key, Mods).Action, kaNone) << Key << " " << Mods.toInt();
  EXPECT_EQ(KeyBinding(Qt::Key_Down, Shift).Action, kaNextFile);
  EXPECT_EQ(KeyBinding(Qt::Key_Backtab, Shift).Action, kaCycleFocus);
  // With Num Lock off the keypad gives the navigation keys and acts as them.
  EXPECT_EQ(KeyBinding(Qt::Key_End, Num).Action, kaLastFile);
  EXPECT_EQ(KeyBinding(Qt::Key_Insert, Num).Action, kaZoomOne);
}

class Keys : public TMainFixture {
protected:
  void SetUp() override {
    TMainFixture::SetUp();
    for (int I = 0; I < 3; ++I)
      WriteBmp(Folder / (std::string(1, char('a' + I)) + ".bmp"), *Pattern24(40 + I, 30));
    Main->LoadImage(QFile("b.bmp"), false);
  }
  void Key(int K, Qt::KeyboardModifiers M = Qt::NoModifier) { QTest::keyClick(Main.get(), Qt::Key(K), M); }
  QString Shown() const { return QFileInfo(Main->FileName).fileName(); }
};

TEST_F(Keys, EachItemKeyReachesItsItemOnceAndOnlyWhenEnabled) {
  // Not built yet: nothing.
  std::map<QString, int> Runs;
  for (const char* Name : {"UndoItem"})
    QObject::connect(Main->Item(Name), &QAction::triggered, [&Runs] { ++Runs["any"]; });
  Key(Qt::Key_Z, Ctrl);
  EXPECT_TRUE(Runs.empty());
  // The commands themselves are replaced by counters; items still to be
  // built count as built, as their commands will once they exist.
  for (const TItemKey& K : ItemKeys) {
    QAction* A = Main->Item(QString::fromLatin1(K.Item));
    ASSERT_NE(A, nullptr) << K.Item;
    QObject::disconnect(A, &QAction::triggered, nullptr, nullptr);
    QObject::connect(A, &QAction::triggered, [&Runs, Name = A->objectName()] { ++Runs[Name]; });
    A->setProperty("Built", true);
    A->setEnabled(true);
  }
  QGuiApplication::clipboard()->setImage(QImage(2, 2, QImage::Format_RGB32));
  for (const TItemKey& K : ItemKeys) {
    Runs.clear();
    Key(K.Key, K.Mods);
    EXPECT_EQ(Runs.size(), 1u) << K.Item;
    EXPECT_EQ(Runs[K.Item], 1) << K.Item;
  }
  QGuiApplication::clipboard()->clear();
  // The color table needs a palette.
  Main->Image = std::make_unique<TDib>(4, 4, pf8bit);
  Runs.clear();
  Key(Qt::Key_N);
  EXPECT_TRUE(Runs.empty());
  QAction* ColorTbl = Main->Item("ColorTblItem");
  QObject::connect(ColorTbl, &QAction::triggered, [&Runs] { ++Runs["ColorTblItem"]; });
  ColorTbl->setProperty("Built", true);
  Main->Image->SetPaletteColor(1, 0x0000FF);
  Key(Qt::Key_N);
  EXPECT_EQ(Runs["ColorTblItem"], 1);

  // Disabled by the rules: the key does nothing, as the menu item would.
  Main->Image = std::make_unique<TDib>(4, 4, pf8bit);
  Main->Image->MakeGrayPalette();
  Main->Image->IsGray = true;
  Main->UpdateConvertItems();
  Runs.clear();
  Key(Qt::Key_G);
  Key(Qt::Key_X);
  Key(Qt::Key_T, Alt);
  Key(Qt::Key_V, Ctrl);
  EXPECT_TRUE(Runs.empty());
  // Nothing open: the image commands are off, opening is not.
  Main->ShowSplash();
  Key(Qt::Key_V);
  Key(Qt::Key_O);
  Key(Qt::Key_F4);
  EXPECT_TRUE(Runs.empty());
  Key(Qt::Key_F2);
  EXPECT_EQ(Runs["OpenItem"], 1);
}

TEST_F(Keys, ZoomScrollAndFitKeys) {
  Key(Qt::Key_Plus, Ctrl | Num);
  Key(Qt::Key_Plus, Ctrl | Num);
  EXPECT_EQ(Main->Image->Zoom(), 2);
  EXPECT_EQ(Main->size(), QSize(123, 90)) << "Ctrl fits the window";
  Key(Qt::Key_Plus, Num);
  EXPECT_EQ(Main->size(), QSize(123, 90)) << "without Ctrl the window stays";
  // 164 x 120 behind scroll bars: a page, then a step of one image pixel.
  Key(Qt::Key_1, Num);
  EXPECT_EQ(Main->HorzScrollBar->value(), std::min(Main->ClientWidth(), Main->HorzScrollBar->maximum()));
  Key(Qt::Key_7, Num);
  Key(Qt::Key_2, Ctrl | Num);
  EXPECT_EQ(Main->HorzScrollBar->value(), 0);
  EXPECT_EQ(Main->VertScrollBar->value(), 4);
  Key(Qt::Key_Insert);
  EXPECT_EQ(Main->Image->Zoom(), 0);
  Key(Qt::Key_F);
  EXPECT_EQ(Main->size(), QSize(41, 30));
  Key(Qt::Key_Minus, Num);
  Key(Qt::Key_Return);
  EXPECT_EQ(Main->Image->Zoom(), 0) << "the fitting zoom of a small image is 1:1";
}

TEST_F(Keys, BackgroundAndPopupKeysRespectTheModalLock) {
  const TColor Old = Settings.BackColor;
  TColor Offered = 0;
  ChooseColorHook = [&](TColor& C) {
    Offered = C;
    C = 0x00336699;
    return true;
  };
  Key(Qt::Key_B);
  ChooseColorHook = nullptr;
  EXPECT_EQ(Offered, Old);
  EXPECT_EQ(TColor(Settings.BackColor), 0x00336699u);
  EXPECT_EQ(Main->palette().color(QPalette::Window), QColor(0x99, 0x66, 0x33));
  Main->ModalLock = true;
  bool Asked = false;
  ChooseColorHook = [&](TColor&) { return Asked = true; };
  Key(Qt::Key_B, Ctrl);
  EXPECT_FALSE(Asked) << "an editing dialog owns the image";
  Main->ColorTblShowing = true;
  Key(Qt::Key_B, Ctrl);
  EXPECT_TRUE(Asked) << "but the color table dialog takes the color";
  ChooseColorHook = nullptr;
  Main->ColorTblShowing = false;
  Main->ModalLock = false;

  Key(Qt::Key_F10, Shift);
  EXPECT_TRUE(Main->WorkPopup->isVisible());
  Main->WorkPopup->hide();
  Main->ModalLock = true;
  Key(Qt::Key_F10);
  EXPECT_FALSE(Main->MainPopup->isVisible());
  Main->ModalLock = false;
}

} // namespace
