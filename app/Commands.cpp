#include "Commands.h"

#include <QClipboard>
#include <QGuiApplication>
#include <iterator>

#include "Clipboard.h"
#include "Main.h"

namespace {

template <void (TPelorinMain::*F)()>
void Click(TPelorinMain& Main, int) {
  (Main.*F)();
}

template <void (TPelorinMain::*F)(int)>
void TagClick(TPelorinMain& Main, int Tag) {
  (Main.*F)(Tag);
}

using M = TPelorinMain;

// Name, workbench twin, caption, shortcut, handler, rule, tag.
const TCommandRow Rows[] = {
    {ckLine},
    {ckItem, "OpenItem", "", "&Open image...", "F2", Click<&M::OpenItemClick>},
    {ckItem, "OpenAgainItem", "", "Open again", "F3", Click<&M::OpenAgainItemClick>, crOpenAgain},
    {ckMenu, "ClipboardItem", "", "Clip&board"},
    {ckItem, "ClpbrdCopyToItem", "", "copy to", "Ctrl+C", Click<&M::ClpbrdCopyToItemClick>, crImage},
    {ckItem, "ClpbrdCopyFromItem", "", "copy from", "Ctrl+V", Click<&M::ClpbrdCopyFromItemClick>, crClipboard},
    {ckItem, "ClpbrdMoveFromItem", "", "move from ", "Ctrl+M", Click<&M::ClpbrdMoveFromItemClick>, crClipboard},
    {ckLine},
    {ckItem, "ClpbrdClearItem", "", "clear", "", Click<&M::ClpbrdClearItemClick>, crClipboard},
    {ckEnd},
    {ckMenu, "TwainItem", "", "Twain"},
    {ckItem, "TwainAquireItem", "", "&acquire...", "", Click<&M::TwainAquireItemClick>},
    {ckItem, "TwainSourceItem", "", "select source...", "", Click<&M::TwainSourceItemClick>},
    {ckEnd},
    {ckLine},
    {ckItem, "SaveItem", "", "&Save image...", "F4", Click<&M::SaveItemClick>, crImage},
    {ckItem, "PrintItem", "", "&Print...", "Ctrl+P", Click<&M::PrintItemClick>, crImage},
    {ckLine},
    {ckCheck, "InfoItem", "", "&Info", "", Click<&M::InfoItemClick>},
    {ckCheck, "ListItem", "", "&List", "", Click<&M::ListItemClick>},
    {ckMenu, "LaunchItem", "", "Launch"},
    {ckItem, "FennickItem", "", "Fennick", "F5", TagClick<&M::LaunchItemClick>},
    {ckLine},
    {ckItem, "LaunchItem1", "", "none", "F6", TagClick<&M::LaunchItemClick>, crNone, 1},
    {ckItem, "LaunchItem2", "", "none", "F7", TagClick<&M::LaunchItemClick>, crNone, 2},
    {ckItem, "LaunchItem3", "", "none", "F8", TagClick<&M::LaunchItemClick>, crNone, 3},
    {ckLine},
    {ckItem, "ExploreItem", "", "Explore folder   ", "F9", Click<&M::ExplorerItemClick>},
    {ckEnd},
    {ckLine},
    {ckCheck, "FullScreenItem", "", "Full screen", "Space", Click<&M::FullScreen>},
    {ckItem, "WindowFitItem", "", "Window &fit", "", Click<&M::WindowFit>},
    {ckMenu, "ZoomItem", "", "Zoom", "", nullptr, crWindowed},
    {ckZoom, "z81", "", "8 : 1  +", "", TagClick<&M::SetZoom>, crNone, 7},
    {ckZoom, "z71", "", "7 : 1", "", TagClick<&M::SetZoom>, crNone, 6},
    {ckZoom, "z61", "", "6 : 1", "", TagClick<&M::SetZoom>, crNone, 5},
    {ckZoom, "z51", "", "5 : 1", "", TagClick<&M::SetZoom>, crNone, 4},
    {ckZoom, "z41", "", "4 : 1", "", TagClick<&M::SetZoom>, crNone, 3},
    {ckZoom, "z31", "", "3 : 1", "", TagClick<&M::SetZoom>, crNone, 2},
    {ckZoom, "z21", "", "2 : 1", "", TagClick<&M::SetZoom>, crNone, 1},
    {ckZoom, "z11", "", "1 : 1", "", TagClick<&M::SetZoom>, crNone, 0},
    {ckZoom, "z12", "", "1 / 2", "", TagClick<&M::SetZoom>, crNone, -1},
    {ckZoom, "z13", "", "1 / 3", "", TagClick<&M::SetZoom>, crNone, -2},
    {ckZoom, "z14", "", "1 / 4", "", TagClick<&M::SetZoom>, crNone, -3},
    {ckZoom, "z15", "", "1 / 5", "", TagClick<&M::SetZoom>, crNone, -4},
    {ckZoom, "z16", "", "1 / 6", "", TagClick<&M::SetZoom>, crNone, -5},
    {ckZoom, "z17", "", "1 / 7", "", TagClick<&M::SetZoom>, crNone, -6},
    {ckZoom, "z18", "", "1 / 8   -", "", TagClick<&M::SetZoom>, crNone, -7},
    {ckEnd},
    {ckLine},
    {ckWork, "WorkItem", "", "Workbench", "", nullptr, crImage},
    {ckMenu, "TuneItem", "WTuneItem", "Tune", "", nullptr, crTune},
    {ckItem, "TuneRgbItem", "WTuneRgbItem", "Brightness / Contrast / Gamma...", "Ctrl+T", Click<&M::TuneRgbItemClick>},
    {ckItem, "TuneHslItem", "WTuneHslItem", "Hue / Lightness / Saturation...", "Alt+T", Click<&M::TuneHslItemClick>,
     crTuneHsl},
    {ckItem, "TuneHistoItem", "WTuneHistoItem", "Histogram...", "Shift+T", Click<&M::TuneHistoItemClick>},
    {ckEnd},
    {ckMenu, "FilterItem", "WFilterItem", "Filter", "", nullptr, crFilter},
    {ckItem, "FilterAverageItem", "WFilterAverageItem", "Average...", "", TagClick<&M::FilterItemClick>, crNone, 1},
    {ckItem, "FilterBlurItem", "WFilterBlurItem", "Blur...", "", TagClick<&M::FilterItemClick>, crNone, 2},
    {ckItem, "FilterGaussBlurItem", "WFilterGaussBlurItem", "Gaussian Blur...  ", "", TagClick<&M::FilterItemClick>,
     crNone, 3},
    {ckItem, "FilterBartlettBlurItem", "WFilterBartlettBlur", "Bartlett Blur...", "", TagClick<&M::FilterItemClick>,
     crNone, 4},
    {ckLine},
    {ckItem, "FilterSharpenItem", "WFilterSharpenItem", "Sharpen...", "", TagClick<&M::FilterItemClick>, crNone, 10},
    {ckItem, "FilterEdgeItem", "WFilterEdgeItem", "Edge enhance...", "", TagClick<&M::FilterItemClick>, crNone, 11},
    {ckLine},
    {ckItem, "FilterContourItem", "WFilterContourItem", "Trace Contour...", "", TagClick<&M::FilterItemClick>, crNone,
     20},
    {ckItem, "FilterEmbossItem", "WFilterEmbossItem", "Emboss...", "", TagClick<&M::FilterItemClick>, crNone, 21},
    {ckItem, "FilterGlowItem", "WFilterGlowItem", "Glow...", "", TagClick<&M::FilterItemClick>, crNone, 22},
    {ckLine},
    {ckItem, "FilterSolarizeItem", "WFilterSolarizeItem", "Solarize...", "", TagClick<&M::FilterItemClick>, crNone, 50},
    {ckItem, "FilterPosterizeItem", "WFilterPosterizeItem", "Posterize...", "", TagClick<&M::FilterItemClick>, crNone,
     51},
    {ckEnd},
    {ckItem, "ColorTblItem", "WColorTblItem", "Color table...       ", "", Click<&M::ColorTblItemClick>, crColorTbl, 0,
     "Color table..."},
    {ckItem, "CropItem", "WCropItem", "Cro&p...", "", Click<&M::CropItemClick>, crWindowed},
    {ckItem, "ResizeItem", "WResizeItem", "&Resize...", "", Click<&M::ResizeItemClick>, crWindowed},
    {ckLine},
    {ckItem, "InvertItem", "WInvertItem", "In&vert", "", Click<&M::InvertItemClick>, crImage},
    {ckMenu, "MirrorItem", "WMirrorItem", "&Mirror", "", nullptr, crImage},
    {ckItem, "updown1", "updown2", "up / down", "", Click<&M::MirrorUpDownItemClick>},
    {ckItem, "leftright1", "leftright2", "left / right", "", Click<&M::MirrorLeftRightItemClick>},
    {ckEnd},
    {ckMenu, "RotateItem", "WRotateItem", "R&otate", "", nullptr, crImage},
    {ckItem, "Rot90item", "N901", "  90\u00B0", "", TagClick<&M::RotateClick>, crNone, 1},
    {ckItem, "Rot180item", "N1801", "180\u00B0", "", TagClick<&M::RotateClick>, crNone, 2},
    {ckItem, "Ror270Item", "N2702", "270\u00B0", "", TagClick<&M::RotateClick>, crNone, 3},
    {ckEnd},
    {ckMenu, "ConvertItem", "WConvertItem", "Convert to", "", nullptr, crWindowed},
    {ckItem, "ConvGrayItem", "WConvGrayItem", "&grayscales...", "", Click<&M::ConvGrayItemClick>, crToGray},
    {ckItem, "ConvPalItem", "WConvPalItem", "inde&xed colors...", "", Click<&M::ConvPalItemClick>, crToPal},
    {ckItem, "ConvRGBitem", "WConvRgbItem", "RGB true color", "", Click<&M::ConvRgbItemClick>, crToRgb},
    {ckEnd},
    {ckLine},
    {ckCheck, "UndoEnabledItem", "WUndoEnabledItem", "Undo enabled", "", Click<&M::UndoEnabledItemClick>, crNone, 0,
     "Undo Enabled      "},
    {ckItem, "UndoItem", "WUndoItem", "Undo", "Ctrl+Z", Click<&M::UndoItemClick>, crUndo},
    {ckItem, "RedoItem", "WRedoItem", "Redo", "Alt+Z", Click<&M::RedoItemClick>, crRedo},
    {ckEnd},
    {ckItem, "SignItem", "", "&Signature...", "", Click<&M::SignItemClick>, crImage},
    {ckLine},
    {ckItem, "ConfigItem", "", "&Configuration...       ", "", Click<&M::ConfigItemClick>},
    {ckMenu, "HelpItem", "", "Help"},
    {ckItem, "HelpGeneralItem", "", "General", "F1", Click<&M::HelpGeneralItemClick>},
    {ckItem, "HelpShortcutsItem", "", "Shortcuts", "Ctrl+F1", Click<&M::HelpShortcutsItemClick>},
    {ckItem, "DocItem", "", "Documentation     ", "Ctrl+D", Click<&M::DocItemClick>},
    {ckLine},
    {ckItem, "About1", "", "About...", "Alt+F1", Click<&M::AboutItemClick>},
    {ckEnd},
    {ckItem, "QuitItem", "", "Quit", "Ctrl+Q", Click<&M::QuitItemClick>},
    {ckLine},
};

} // namespace

std::span<const TCommandRow> CommandRows() { return Rows; }

bool TPelorinMain::Allows(TCommandRule Rule, bool Now) const {
  const bool Open = Image && SourceKind >= 0;
  const bool Windowed = Open && !FullScreenShowing();
  const bool Gray = Image && Image->IsGray;
  const int Format = Image ? Image->PixelFormat() : pf24bit;
  switch (Rule) {
  case crNone: return Now;
  case crImage: return Open;
  case crWindowed: return Windowed;
  case crTune: return Windowed && Format > pf1bit;
  case crTuneHsl: return Open && !Gray;
  case crFilter: return Windowed && FilterAllowed();
  case crColorTbl: return Windowed && Image->PaletteSize() > 0;
  // Only the file list and reading the file turn it on.
  case crOpenAgain: return Now && Open && SourceKind == 1;
  case crClipboard: return MimeHoldsDib(QGuiApplication::clipboard()->mimeData());
  case crUndo: return UndoStream.CanUndo();
  case crRedo: return UndoStream.CanRedo();
  case crToGray: return !Gray;
  case crToPal: return Format > pf8bit && !Gray;
  case crToRgb: return Format != pf24bit && Format != pf32bit;
  }
  return Now;
}
