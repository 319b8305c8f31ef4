#include <QAction>

#include "BarPopupMenu.h"

#include "AppTestUtil.h"

namespace {

class CommandRules : public TMainFixture {
protected:
  // Makes Dib the current image as if it had been read from a file.
  void Show(std::unique_ptr<TDib> Dib, int32_t Kind = 1) {
    Main->Image = std::move(Dib);
    Main->SourceKind = Kind;
    Main->MainPopupPopup();
    Main->WorkPopupPopup();
  }
  bool Rule(const char* Name) const { return Main->RuleEnabled(QString::fromLatin1(Name)); }
  bool Enabled(const char* Name) const { return Main->Item(QString::fromLatin1(Name))->isEnabled(); }
};

TEST_F(CommandRules, NothingOpenDisablesTheImageCommands) {
  Main->ShowSplash();
  ASSERT_EQ(Main->SourceKind, -1);
  Main->MainPopupPopup();
  for (const char* Name : {"OpenAgainItem", "ClpbrdCopyToItem", "SaveItem", "PrintItem", "ZoomItem", "WorkItem",
                           "SignItem", "TuneItem", "FilterItem", "CropItem", "ColorTblItem", "ResizeItem", "MirrorItem",
                           "RotateItem", "InvertItem", "ConvertItem"}) {
    EXPECT_FALSE(Rule(Name)) << Name;
    EXPECT_FALSE(Enabled(Name)) << Name;
  }
  EXPECT_TRUE(Enabled("OpenItem"));
  EXPECT_TRUE(Enabled("QuitItem"));
}

TEST_F(CommandRules, PixelFormatsDecideTuneFilterAndColorTable) {
  struct TCase {
    TPixelFormat Format;
    bool Gray, Tune, TuneHsl, Filter, ColorTbl;
  };
  const TCase Cases[] = {
      {pf1bit, false, false, true, false, true}, {pf4bit, false, true, true, false, true},
      {pf8bit, false, true, true, false, true},  {pf8bit, true, true, false, true, true},
      {pf4bit, true, true, false, true, true},   {pf15bit, false, true, true, true, false},
      {pf24bit, false, true, true, true, false}, {pf32bit, false, true, true, true, false},
  };
  for (const TCase& C : Cases) {
    auto Dib = std::make_unique<TDib>(4, 4, C.Format);
    Dib->IsGray = C.Gray;
    Show(std::move(Dib));
    SCOPED_TRACE(testing::Message() << "format " << int(C.Format) << " gray " << C.Gray);
    EXPECT_EQ(Rule("TuneItem"), C.Tune);
    EXPECT_EQ(Rule("TuneHslItem"), C.TuneHsl);
    EXPECT_EQ(Rule("FilterItem"), C.Filter);
    EXPECT_EQ(Rule("ColorTblItem"), C.ColorTbl);
    EXPECT_EQ(Rule("WTuneItem"), C.Tune);
    EXPECT_EQ(Rule("WTuneHslItem"), C.TuneHsl);
    EXPECT_EQ(Rule("WFilterItem"), C.Filter);
    EXPECT_EQ(Rule("WColorTblItem"), C.ColorTbl);
    for (const char* Name : {"SaveItem", "WorkItem", "MirrorItem", "RotateItem", "InvertItem", "ZoomItem"})
      EXPECT_TRUE(Rule(Name)) << Name;
    // Built commands follow the rules; the others wait for their dialogs.
    EXPECT_TRUE(Enabled("SaveItem"));
    EXPECT_TRUE(Enabled("InvertItem"));
    EXPECT_TRUE(Enabled("CropItem"));
    EXPECT_TRUE(Enabled("PrintItem"));
  }
}

TEST_F(CommandRules, FullScreenDisablesViewDependentCommands) {
  Show(std::make_unique<TDib>(4, 4, pf8bit));
  Main->ScreenForm->show();
  Main->MainPopupPopup();
  Main->WorkPopupPopup();
  EXPECT_TRUE(Main->Item("FullScreenItem")->isChecked());
  for (const char* Name :
       {"ZoomItem", "CropItem", "ResizeItem", "ConvertItem", "TuneItem", "FilterItem", "ColorTblItem", "WResizeItem",
        "WCropItem", "WConvertItem", "WTuneItem", "WFilterItem", "WColorTblItem"})
    EXPECT_FALSE(Rule(Name)) << Name;
  for (const char* Name : {"SaveItem", "MirrorItem", "RotateItem", "InvertItem", "WMirrorItem", "WInvertItem"})
    EXPECT_TRUE(Rule(Name)) << Name;
  Main->ScreenForm->hide();
  Main->MainPopupPopup();
  EXPECT_FALSE(Main->Item("FullScreenItem")->isChecked());
  EXPECT_TRUE(Rule("ZoomItem"));
}

TEST_F(CommandRules, OpenAgainOnlyForImagesFromFiles) {
  WriteBmp(File("a.bmp"), *Pattern24(8, 8));
  Main->LoadImage(QFile("a.bmp"), false);
  Main->MainPopupPopup();
  EXPECT_TRUE(Enabled("OpenAgainItem"));
  Main->AdoptImage(Pattern24(3, 3), QStringLiteral("Clipboard"));
  Main->MainPopupPopup();
  EXPECT_EQ(Main->SourceKind, 0);
  EXPECT_FALSE(Enabled("OpenAgainItem"));
  EXPECT_TRUE(Enabled("SaveItem"));
}

TEST_F(CommandRules, ConvertItemsFollowTheImage) {
  struct TCase {
    TPixelFormat Format;
    bool Gray, ToGray, ToPal, ToRgb;
  };
  const TCase Cases[] = {{pf8bit, true, false, false, true},   {pf8bit, false, true, false, true},
                         {pf15bit, false, true, true, true},   {pf24bit, false, true, true, false},
                         {pf32bit, true, false, false, false}, {pf1bit, false, true, false, true}};
  for (const TCase& C : Cases) {
    Main->Image = std::make_unique<TDib>(2, 2, C.Format);
    Main->Image->IsGray = C.Gray;
    Main->Edited = true;
    Main->UpdateConvertItems();
    SCOPED_TRACE(testing::Message() << "format " << int(C.Format) << " gray " << C.Gray);
    EXPECT_EQ(Rule("ConvGrayItem"), C.ToGray);
    EXPECT_EQ(Rule("ConvPalItem"), C.ToPal);
    EXPECT_EQ(Rule("ConvRGBitem"), C.ToRgb);
    EXPECT_EQ(Rule("WConvGrayItem"), C.ToGray);
    EXPECT_EQ(Rule("WConvPalItem"), C.ToPal);
    EXPECT_EQ(Rule("WConvRgbItem"), C.ToRgb);
    EXPECT_EQ(Enabled("ConvRGBitem"), C.ToRgb);
    EXPECT_FALSE(Main->Edited);
  }
}

TEST_F(CommandRules, MenuTreeCaptionsShortcutsAndTags) {
  const QList<QAction*> Top = Main->MainPopup->actions();
  ASSERT_GE(Top.size(), 2);
  EXPECT_TRUE(Top.front()->isSeparator());
  EXPECT_TRUE(Top.back()->isSeparator());
  EXPECT_EQ(Main->Item("OpenItem")->text(), "&Open image...");
  EXPECT_EQ(Main->Item("OpenItem")->shortcut(), QKeySequence(Qt::Key_F2));
  EXPECT_EQ(Main->Item("ClpbrdMoveFromItem")->text(), "move from ");
  EXPECT_EQ(Main->Item("ConfigItem")->text(), "&Configuration...       ");
  EXPECT_EQ(Main->Item("QuitItem")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
  EXPECT_EQ(Main->Item("WUndoEnabledItem")->text(), "Undo Enabled      ");
  EXPECT_EQ(Main->Item("Rot90item")->text(), QString::fromUtf8("  90\u00B0"));
  EXPECT_TRUE(Main->Item("z11")->isChecked());
  int Tag = 7;
  for (const char* Name :
       {"z81", "z71", "z61", "z51", "z41", "z31", "z21", "z11", "z12", "z13", "z14", "z15", "z16", "z17", "z18"})
    EXPECT_EQ(Main->Item(Name)->property("Tag").toInt(), Tag--) << Name;
  EXPECT_EQ(Main->Item("FilterPosterizeItem")->property("Tag").toInt(), 51);
  EXPECT_EQ(Main->Item("WFilterBartlettBlur")->property("Tag").toInt(), 4);
  EXPECT_EQ(Main->Item("LaunchItem3")->property("Tag").toInt(), 3);
  EXPECT_FALSE(Main->Item("UndoItem")->isEnabled());
  Main->CheckZoomItem(-2);
  EXPECT_TRUE(Main->Item("z13")->isChecked());
  EXPECT_FALSE(Main->Item("z11")->isChecked());
}

class Captions : public TMainFixture {};

TEST_F(Captions, ZoomAndAlphaTexts) {
  Main->Image = std::make_unique<TDib>(40, 40, pf8bit);
  Main->FileName = QStringLiteral("/pics/photo.gif");
  Main->UpdateCaption();
  EXPECT_EQ(Main->windowTitle(), "photo.gif [1:1]");
  Main->Image->SetZoom(3);
  Main->HasTransparency = true;
  Main->AlphaShown = true;
  Main->UpdateCaption();
  EXPECT_EQ(Main->windowTitle(), "photo.gif [4:1] alpha on");
  Main->AlphaShown = false;
  Main->UpdateCaption();
  EXPECT_EQ(Main->windowTitle(), "photo.gif [4:1] alpha off");
  Main->ColorTblShowing = true;
  Main->UpdateCaption();
  EXPECT_EQ(Main->windowTitle(), "photo.gif [4:1] alpha edit");
  Main->ColorTblShowing = false;
  Main->HasTransparency = false;
  // Colons and backslashes are part of a Linux file name.
  Main->FileName = QStringLiteral("/shots/shot 12:30\\b.tif");
  Main->Image->SetZoom(-2);
  Main->UpdateCaption();
  EXPECT_EQ(Main->windowTitle(), "shot 12:30\\b.tif [1/3]");
  Main->Image->SetZoom(-7);
  Main->FileName = QStringLiteral("Clipboard");
  Main->UpdateCaption();
  EXPECT_EQ(Main->windowTitle(), "Clipboard [1/8]");
}

TEST_F(Captions, TransparentEntryFollowsTheAlphaSetting) {
  Main->Image = std::make_unique<TDib>(4, 4, pf8bit);
  Main->Transparency = {3, 0x112233, 5, 0x445566};
  Settings.ApplyAlpha = true;
  Settings.BackColor = 0x808080;
  Main->ApplyTransparency();
  EXPECT_TRUE(Main->HasTransparency);
  EXPECT_EQ(Main->Image->GetPaletteColor(3), 0x445566u);
  Main->Transparency.BackIndex = -1;
  Main->ApplyTransparency();
  EXPECT_EQ(Main->Image->GetPaletteColor(3), 0x808080u);
  Settings.ApplyAlpha = false;
  Main->ApplyTransparency();
  EXPECT_EQ(Main->Image->GetPaletteColor(3), 0x112233u);
  // An index the palette does not have is no transparency at all.
  Main->Image = std::make_unique<TDib>(4, 4, pf1bit);
  Main->ApplyTransparency();
  EXPECT_FALSE(Main->HasTransparency);
  Settings.ApplyAlpha = true;
}

TEST(FitZoomTest, ReducesUntilTheScreenHoldsTheImage) {
  EXPECT_EQ(FitZoom(3000, 500, 1024, 768), -2);
  EXPECT_EQ(FitZoom(800, 600, 1024, 768), 0);
  EXPECT_EQ(FitZoom(1024, 768, 1024, 768), -1);
  EXPECT_EQ(FitZoom(100000, 10, 1024, 768), -7);
  EXPECT_EQ(FitZoom(10, 10, 0, 0), 0);
}

} // namespace
